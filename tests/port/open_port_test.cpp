// open_port_test.cpp: choosing a port, as the operator sees it, against a
// pseudo-terminal: the window's calls in order, the status line, the wake byte
// on the wire, the link reset, and what an unplugged adapter does to polling.
#include "open_port.h"

#include <gtest/gtest.h>

#include "codes.h"
#include "pty_peer.h"
#include "recording_window.h"
#include "serial_port.h"
#include "status_texts.h"

namespace velkor::test {
namespace {

using std::chrono::milliseconds;
using Calls = std::vector<std::string>;

const Calls kPolling = {"ReadPanel", "StopTick", "Beep", "StartTick", "RefreshPanel"};
const Calls kNotPolling = {"ReadPanel", "StopTick", "Beep", "RefreshPanel"};

std::vector<uint8_t> Bytes(const Frame& f) { return {f.bytes, f.bytes + f.size}; }

// Counts the reads the link makes through it.
class CountingPort : public Port {
 public:
  explicit CountingPort(Port& inner) : inner_(inner) {}
  size_t Read(uint8_t* buffer, size_t capacity) override {
    ++reads;
    return inner_.Read(buffer, capacity);
  }
  void Write(const uint8_t* bytes, size_t count) override { inner_.Write(bytes, count); }
  int reads = 0;

 private:
  Port& inner_;
};

class OpenPortTest : public ::testing::Test {
 protected:
  OpenPortTest() { window.selectedPort = peer.TerminalPath(); }
  PtyPeer peer;
  SerialPort port;
  Link link;
  RecordingWindow window{link};
};

TEST_F(OpenPortTest, APortThatOpensIsWokenWithOneByteAndPolled) {
  OpenPort(link, port);
  EXPECT_EQ(window.calls, kPolling);
  EXPECT_EQ(link.values.portName, peer.TerminalPath());
  EXPECT_EQ(window.statusAtRefresh.back(), STATUS_CONNECT_DEVICE);
  EXPECT_TRUE(window.tickRunning);
  EXPECT_EQ(peer.Receive(2, milliseconds(300)), std::vector<uint8_t>{WAKE_BYTE});
  EXPECT_EQ(link.state.port, &port);
  EXPECT_EQ(link.state.seq, 1);  // the link was reset
  EXPECT_EQ(port.LastError(), PortError::None);
}

TEST_F(OpenPortTest, APortThatDoesNotExistSaysSoWithoutAMessageBoxAndIsNotPolled) {
  link.state.seq = 12;
  link.state.readyWord = READY_CONNECTED;
  window.selectedPort = "/dev/velkor-no-such-port";
  window.tickRunning = true;
  OpenPort(link, port);
  EXPECT_EQ(window.calls, kNotPolling);
  EXPECT_EQ(window.statusAtRefresh.back(), STATUS_OPEN_FAILED);
  EXPECT_FALSE(window.tickRunning);
  // The old port is closed: the link starts over, and waits for a port.
  EXPECT_EQ(link.state.seq, 13);
  EXPECT_EQ(link.state.readyWord, READY_NONE);
  EXPECT_EQ(port.LastError(), PortError::NotFound);
  EXPECT_EQ(port.LastErrorText(), "No such file or directory");
}

TEST_F(OpenPortTest, ChoosingAnotherPortClosesThePreviousOneFirst) {
  OpenPort(link, port);
  SerialPort other;
  EXPECT_FALSE(other.Open(peer.TerminalPath()));

  window.selectedPort = "/dev/velkor-no-such-port";
  OpenPort(link, port);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_TRUE(other.Open(peer.TerminalPath())) << other.LastErrorText();
}

TEST_F(OpenPortTest, ReopeningTheOpenPortWakesTheDriverAgainAndStartsTheLinkOver) {
  OpenPort(link, port);
  ASSERT_EQ(peer.Receive(1), std::vector<uint8_t>{WAKE_BYTE});
  const uint8_t seqBefore = link.state.seq;
  ASSERT_TRUE(QueuePush(link.queue, CMD_SET_KP, 7));
  ASSERT_TRUE(QueuePush(link.queue, CMD_ACTION, ACT_SAVE_EEPROM));
  link.state.jogActive = true;
  window.calls.clear();

  OpenPort(link, port);
  EXPECT_EQ(window.calls, kPolling);
  EXPECT_EQ(peer.Receive(2, milliseconds(300)), std::vector<uint8_t>{WAKE_BYTE});
  EXPECT_EQ(link.state.seq, NextSeq(seqBefore));
  EXPECT_FALSE(QueueNotEmpty(link.queue));
  EXPECT_FALSE(link.state.jogActive);
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(window.statusAtRefresh.back(), STATUS_CONNECT_DEVICE);
}

TEST_F(OpenPortTest, AnUnpluggedAdapterNeitherSpinsTheTickNorGoesUnnoticed) {
  OpenPort(link, port);
  ASSERT_EQ(peer.Receive(1), std::vector<uint8_t>{WAKE_BYTE});
  peer.Send(Bytes(EncodeReportFrame(RPT_GREETING, GREETING_VALUE)));
  for (int tick = 0; tick < 20 && link.state.readyWord == READY_NONE; ++tick) PollTick(link);
  ASSERT_NE(link.state.readyWord, READY_NONE) << "the greeting did not arrive";

  peer.Unplug();
  CountingPort counting(port);
  link.state.port = &counting;
  const auto start = Clock::now();
  int readsInFirstSecond = 0;
  Clock::time_point lostAt{};
  while (Clock::now() - start < std::chrono::seconds(3)) {
    if (Clock::now() - start < std::chrono::seconds(1)) readsInFirstSecond = counting.reads + 1;
    PollTick(link);
    if (link.values.statusText == STATUS_LINK_LOST && lostAt == Clock::time_point{}) lostAt = Clock::now();
    if (lostAt != Clock::time_point{} && Clock::now() - start >= std::chrono::seconds(1)) break;
  }
  // Each failed read waits out its 170 ms, so a second holds at most six.
  EXPECT_LE(readsInFirstSecond, 6);
  EXPECT_GE(readsInFirstSecond, 3);
  ASSERT_NE(lostAt, Clock::time_point{}) << "the link was never declared lost";
  EXPECT_GE(lostAt - start, milliseconds(5 * 170));  // five silent ticks first
  EXPECT_LT(lostAt - start, milliseconds(1500));
  EXPECT_EQ(link.values.statusText, STATUS_LINK_LOST);
  EXPECT_EQ(link.state.readyWord, READY_NONE);
  EXPECT_EQ(port.LastError(), PortError::NotFound);
  EXPECT_EQ(port.LastErrorText(), "No such device");
}

}  // namespace
}  // namespace velkor::test
