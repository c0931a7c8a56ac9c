// link_controller_test.cpp: the poll cycle against a scripted port: what goes
// out on the wire, what the status line says, and the link's own counters.
#include "link_controller.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "codes.h"

namespace velkor {
namespace {

using Bytes = std::vector<uint8_t>;

// Hands out one scripted chunk per read and records every write.
class ScriptedPort : public Port {
 public:
  std::deque<Bytes> incoming;
  std::vector<Bytes> writes;
  int reads = 0;

  size_t Read(uint8_t* buffer, size_t capacity) override {
    ++reads;
    if (incoming.empty()) return 0;
    Bytes chunk = std::move(incoming.front());
    incoming.pop_front();
    EXPECT_LE(chunk.size(), capacity);
    std::copy(chunk.begin(), chunk.end(), buffer);
    return chunk.size();
  }
  void Write(const uint8_t* bytes, size_t count) override { writes.emplace_back(bytes, bytes + count); }
};

class RecordingWindow : public PanelWindow {
 public:
  explicit RecordingWindow(const PanelValues& values) : values_(values) {}
  std::vector<std::string> statusLines;  // the status line after each refresh, when it changed
  int refreshes = 0;

  void RefreshPanel() override {
    ++refreshes;
    const std::string now(values_.statusText);
    if (statusLines.empty() || statusLines.back() != now) statusLines.push_back(now);
  }
  void ReadPanel() override {}
  void StartTick() override {}
  void StopTick() override {}
  void ShowMessage(std::string_view) override {}
  void Beep() override {}

 private:
  const PanelValues& values_;
};

Bytes Report(uint8_t type, int16_t value) {
  const Frame f = EncodeReportFrame(type, value);
  return {f.bytes, f.bytes + f.size};
}

Bytes Command(uint8_t seq, uint8_t code, int16_t value) {
  const Frame f = EncodeCommandFrame(seq, code, value);
  return {f.bytes, f.bytes + f.size};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// The greeting, the acknowledgement expected for the handshake request, and
// the ten parameter reports: what a driver sends after a re-read request.
Bytes HandshakeAnswer(const LinkState& s) {
  const uint8_t ack = static_cast<uint8_t>(s.pendingValue + s.pendingCode + s.seq + s.lastCheck);
  Bytes all = Concat({Report(RPT_GREETING, 190), Report(RPT_ACK, ack)});
  for (uint8_t type = RPT_STEPS; type <= RPT_FAULT_CURRENT; ++type) {
    const Bytes r = Report(type, static_cast<int16_t>(type * 10));
    all.insert(all.end(), r.begin(), r.end());
  }
  return all;
}

class LinkTest : public ::testing::Test {
 protected:
  LinkTest() : window(link.values) {
    link.state.port = &port;
    link.window = &window;
  }

  // One tick that reads `bytes` (possibly nothing).
  void Tick(Bytes bytes = {}) {
    port.incoming.push_back(std::move(bytes));
    PollTick(link);
  }

  uint8_t ExpectedAck() const {
    const LinkState& s = link.state;
    return static_cast<uint8_t>(s.pendingValue + s.pendingCode + s.seq + s.lastCheck);
  }

  // Wake, status, handshake, status: the link is connected and nothing is on the wire.
  void Connect() {
    ResetLink(link);
    Tick(Report(RPT_STATUS, 0));
    Tick(HandshakeAnswer(link.state));
    Tick(Report(RPT_STATUS, 0));
    ASSERT_EQ(link.state.readyWord, READY_CONNECTED);
    ASSERT_EQ(link.values.statusText, STATUS_CONNECTED);
    port.writes.clear();
  }

  Link link;
  ScriptedPort port;
  RecordingWindow window;
};

TEST_F(LinkTest, FirstPortSelectionRunsTheHandshakeByteForByte) {
  // The wake byte and the reset belong to opening the port.
  ResetLink(link);
  EXPECT_EQ(link.state.seq, 1);
  EXPECT_EQ(link.state.readyWord, 0);

  Tick({0x17, 0xF1});  // status, speed 0, not connected
  ASSERT_EQ(port.writes.size(), 1u);
  EXPECT_EQ(port.writes[0], (Bytes{0x01, 0x01, 0xDC}));
  EXPECT_EQ(link.values.statusText, STATUS_SENDING);
  EXPECT_EQ(link.state.seq, 2);
  EXPECT_EQ(link.state.readyWord, 0);

  Tick({0x00, 0x3E, 0x01, 0x9A});
  EXPECT_EQ(link.state.readyWord, 0x0001);

  Tick({0x01, 0x5E, 0x01, 0xBB});  // acknowledgement 222 = 0 + 0 + 2 + 0xDC
  EXPECT_EQ(link.state.readyWord, 0x0003);
  EXPECT_EQ(link.values.statusText, STATUS_DONE);
  EXPECT_EQ(link.state.seq, 3);
  EXPECT_EQ(link.state.retries, 0);

  Tick({0x02, 0x64, 0xC1});  // steps 100
  EXPECT_EQ(link.state.readyWord, 0x0007);
  EXPECT_EQ(link.values.steps, 100);
  Bytes rest;
  for (uint8_t type = RPT_JOG_SPEED; type <= RPT_FAULT_CURRENT; ++type) {
    const Bytes r = Report(type, 1);
    rest.insert(rest.end(), r.begin(), r.end());
  }
  Tick(rest);
  EXPECT_EQ(link.state.readyWord, 0x0FFF);

  Tick({0x17, 0xF1});
  EXPECT_EQ(link.state.readyWord, 0xFFFF);
  EXPECT_EQ(link.values.statusText, STATUS_CONNECTED);
  EXPECT_EQ(port.writes.size(), 1u) << "nothing is sent once connected with nothing to do";
  EXPECT_EQ(window.statusLines,
            (std::vector<std::string>{std::string(STATUS_SENDING),
                                      std::string(STATUS_DONE), std::string(STATUS_CONNECTED)}));
}

TEST_F(LinkTest, AQueuedMotionCurrentTravelsAndIsAcknowledged) {
  Connect();
  link.state.seq = 10;
  ASSERT_TRUE(QueuePush(link.queue, CMD_SET_MOTION_CURRENT, 1500));
  Tick(Report(RPT_STATUS, 0));
  ASSERT_EQ(port.writes.size(), 1u);
  EXPECT_EQ(port.writes[0], (Bytes{0x0A, 0x04, 0x5C, 0x0B, 0xD0}));
  EXPECT_EQ(link.values.statusText, STATUS_SENDING);

  Tick(Report(RPT_ACK, 186));
  EXPECT_EQ(link.values.statusText, STATUS_DONE);
  EXPECT_EQ(link.state.seq, 11);
  EXPECT_EQ(link.state.pendingCode, 0);
  Tick(Report(RPT_MOTION_CURRENT, 1500));
  EXPECT_EQ(link.values.motionCurrent, 1500);
  EXPECT_EQ(State(link.parameters, ParameterId::MotionCurrent).acknowledgedAtReport, 1u);
}

TEST_F(LinkTest, AWrongAcknowledgementResendsWithTheSameSequenceByte) {
  Connect();
  ASSERT_TRUE(QueuePush(link.queue, CMD_SET_KP, 127));
  Tick(Report(RPT_STATUS, 0));
  const uint8_t seq = link.state.seq;
  Tick(Report(RPT_ACK, static_cast<int16_t>(ExpectedAck() + 1)));
  EXPECT_EQ(link.values.statusText, STATUS_SENDING);
  EXPECT_EQ(link.state.pendingCode, CMD_SET_KP);
  Tick(Report(RPT_STATUS, 0));
  ASSERT_EQ(port.writes.size(), 2u);
  EXPECT_EQ(port.writes[1], Command(seq, CMD_SET_KP, 127));
  EXPECT_EQ(port.writes[1], port.writes[0]);
  EXPECT_EQ(link.state.readyWord, READY_CONNECTED);
}

TEST_F(LinkTest, TwentyFiveSendsKeepTheLinkAndTheTwentySixthResetsIt) {
  Connect();
  ASSERT_TRUE(QueuePush(link.queue, CMD_SET_STEPS, 200));
  ASSERT_TRUE(QueuePush(link.queue, CMD_ACTION, ACT_TEST));
  link.state.jogActive = true;
  for (int i = 0; i < 25; ++i) Tick(Report(RPT_STATUS, 0));
  EXPECT_EQ(link.state.readyWord, READY_CONNECTED);
  EXPECT_EQ(link.values.statusText, STATUS_SENDING);
  EXPECT_EQ(link.state.retries, 25);

  const uint8_t seq = link.state.seq;
  Tick(Report(RPT_STATUS, 0));
  ASSERT_EQ(port.writes.size(), 26u) << "the 26th frame is written too";
  for (const auto& w : port.writes) EXPECT_EQ(w, Command(seq, CMD_SET_STEPS, 200));
  EXPECT_EQ(link.values.statusText, STATUS_SEND_FAILED);
  EXPECT_EQ(link.state.readyWord, READY_NONE);
  EXPECT_FALSE(QueueNotEmpty(link.queue));
  EXPECT_FALSE(link.state.jogActive);
  EXPECT_EQ(link.state.seq, NextSeq(seq));
  Tick(Report(RPT_STATUS, 0));  // the handshake's re-read: "Передача команды"
  EXPECT_EQ(link.state.drop, LinkDrop::NotAcknowledged);
}

// A late read's status reports all left the driver before our last send.
TEST_F(LinkTest, AReadOfManyStatusReportsResendsTheCommandInFlightOnce) {
  for (const int statusReports : {1, 3, 30}) {
    Connect();
    ASSERT_TRUE(QueuePush(link.queue, CMD_SET_STEPS, 200));
    const Bytes frame = Command(link.state.seq, CMD_SET_STEPS, 200);
    Tick(Report(RPT_STATUS, 0));
    Bytes backlog;
    for (int i = 0; i < statusReports; ++i) backlog = Concat({backlog, Report(RPT_STATUS, 0)});
    Tick(backlog);
    Tick(Concat({Report(RPT_ACK, ExpectedAck()), Report(RPT_STATUS, 0)}));
    EXPECT_EQ(port.writes, (std::vector<Bytes>{frame, frame})) << statusReports;
    EXPECT_EQ(link.values.statusText, STATUS_DONE) << statusReports;
  }
}

TEST_F(LinkTest, SilenceDropsTheLinkOnTheSixthTickButNeverBeforeAGreeting) {
  ResetLink(link);
  for (int i = 0; i < 50; ++i) Tick();
  EXPECT_EQ(link.values.statusText, STATUS_CHOOSE_PORT) << "an unsynchronised link never times out";

  Connect();
  for (int i = 0; i < 4; ++i) Tick();
  Tick({0x18, 0xF2});  // the fifth tick: type 24 means nothing but keeps the link alive
  EXPECT_EQ(link.state.readyWord, READY_CONNECTED);
  for (int i = 0; i < 5; ++i) Tick();
  EXPECT_EQ(link.state.readyWord, READY_CONNECTED);
  Tick();
  EXPECT_EQ(link.state.readyWord, READY_NONE);
  EXPECT_EQ(link.values.statusText, STATUS_LINK_LOST);
  EXPECT_EQ(link.state.drop, LinkDrop::Silent);
}

TEST_F(LinkTest, AJogSendsExactlyOneKeepAlivePerStatusReportAndNoneWithoutIt) {
  Connect();
  Tick(Report(RPT_STATUS, 0));
  EXPECT_TRUE(port.writes.empty());
  link.state.jogActive = true;
  Tick(Concat({Report(RPT_STATUS, 0), Report(RPT_POSITION, 4), Report(RPT_STATUS, 0)}));
  Tick(Report(RPT_PHASE, 3));
  EXPECT_EQ(port.writes, (std::vector<Bytes>{{0x80}, {0x80}}));
  EXPECT_EQ(link.state.retries, 0);
  EXPECT_EQ(link.values.statusText, STATUS_CONNECTED);

  // A pending command takes precedence over the keep-alive.
  ASSERT_TRUE(QueuePush(link.queue, CMD_ACTION, ACT_STOP));
  Tick(Report(RPT_STATUS, 0));
  EXPECT_EQ(port.writes.back(), Command(link.state.seq, CMD_ACTION, ACT_STOP));
}

TEST_F(LinkTest, SeveralFramesInOneReadAreDispatchedInOrderInTheSameTick) {
  Connect();
  Tick(Concat({Report(RPT_POSITION, 5), Report(RPT_POSITION, -7), Report(RPT_PHASE, 12),
               Report(RPT_ACTUAL_CURRENT_A, 100), Report(RPT_ACTUAL_CURRENT_B, -50)}));
  EXPECT_EQ(link.values.position, -7);
  EXPECT_EQ(link.values.phase, 12);
  EXPECT_EQ(link.values.totalCurrent, 100);  // halve(halve(0 + 100) + 100 + 50)
}

TEST_F(LinkTest, ReportsFillThePanelValuesAsTheOperatorReadsThem) {
  Tick(Report(RPT_KL_SMOOTHING, 0x1F));
  EXPECT_EQ(link.values.levelingK, 15);
  EXPECT_EQ(link.values.smoothingCaption, SMOOTHING_ON);
  Tick(Report(RPT_KL_SMOOTHING, 0x2F));
  EXPECT_EQ(link.values.levelingK, 15);
  EXPECT_EQ(link.values.smoothingCaption, SMOOTHING_OFF);
  Tick(Report(RPT_DIVISION, -3));
  EXPECT_EQ(link.values.stepDivision, -3.0);

  Tick(Report(RPT_ACTUAL_CURRENT_A, 100));
  EXPECT_EQ(link.values.totalCurrent, 50);
  Tick(Report(RPT_ACTUAL_CURRENT_B, -50));
  EXPECT_EQ(link.values.totalCurrent, 100);

  std::vector<int32_t> speeds;
  for (int i = 0; i < 3; ++i) {
    Tick(Report(RPT_STATUS, 1000));
    speeds.push_back(link.values.shaftSpeed);
  }
  EXPECT_EQ(speeds, (std::vector<int32_t>{500, 750, 875}));
  Tick(Report(RPT_STATUS, -1));
  EXPECT_EQ(link.values.shaftSpeed, 437);  // (875 - 1) >> 1
  for (int i = 0; i < 20; ++i) Tick(Report(RPT_STATUS, -1));
  EXPECT_EQ(link.values.shaftSpeed, -1) << "the arithmetic shift settles on a negative speed";
}

// Two windings at 20 A each sum past 16 bits; the total climbs to the sum and
// stays there instead of wrapping into negative numbers.
TEST_F(LinkTest, TheTotalOfTwoWindingsAt20000mASettlesWithoutWrapping) {
  std::vector<int32_t> totals;
  for (int i = 0; i < 12; ++i) {
    Tick(Report(RPT_ACTUAL_CURRENT_A, 20000));
    totals.push_back(link.values.totalCurrent);
    Tick(Report(RPT_ACTUAL_CURRENT_B, 20000));
    totals.push_back(link.values.totalCurrent);
  }
  // Halving rounds down, so from below it comes to rest one short of the sum.
  EXPECT_EQ(totals, (std::vector<int32_t>{10000, 25000, 32500, 36250, 38125, 39062, 39531, 39765,
                                          39882, 39941, 39970, 39985, 39992, 39996, 39998, 39999,
                                          39999, 39999, 39999, 39999, 39999, 39999, 39999, 39999}));
  Tick(Report(RPT_ACTUAL_CURRENT_A, -20000));
  EXPECT_EQ(link.values.totalCurrent, 39999) << "a negative winding current counts by its size";
}

TEST_F(LinkTest, AReductionDelayOf60000ShowsAs60000) {
  // What the driver sends back for 60000: the 16-bit pattern of -5536.
  Tick({0x49, 0x20, 0x2B, 0xEF});
  EXPECT_EQ(link.values.reductionDelay, 60000);
  EXPECT_EQ(Report(RPT_REDUCTION_DELAY, static_cast<int16_t>(60000)), (Bytes{0x49, 0x20, 0x2B, 0xEF}));
  Tick(Report(RPT_REDUCTION_DELAY, 500));
  EXPECT_EQ(link.values.reductionDelay, 500);
}

TEST_F(LinkTest, GreetingCountsOnlyWith190BeforeAnythingElse) {
  ResetLink(link);
  Tick(Report(RPT_GREETING, 191));
  EXPECT_EQ(link.state.readyWord, 0);
  Tick(Report(RPT_STEPS, 3));
  EXPECT_EQ(link.state.readyWord, 0x0004);
  Tick(Report(RPT_GREETING, 190));
  EXPECT_EQ(link.state.readyWord, 0x0004) << "a greeting after a parameter report changes nothing";
  // Without the greeting bit the word cannot complete: the next status report restarts.
  Tick(Report(RPT_STATUS, 0));
  EXPECT_EQ(link.state.readyWord, 0);
  EXPECT_EQ(port.writes.size(), 1u);
}

TEST_F(LinkTest, SequenceRunsOneToNineteenThenTenToNineteen) {
  std::vector<int> seen;
  for (int i = 0; i < 25; ++i) {
    ResetLink(link);
    seen.push_back(link.state.seq);
  }
  const std::vector<int> expected = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                                     14, 15, 16, 17, 18, 19, 10, 11, 12, 13, 14, 15};
  EXPECT_EQ(seen, expected);
}

TEST_F(LinkTest, CommandsPushedWhileDisconnectedAreDiscardedByTheNextReset) {
  ResetLink(link);
  ASSERT_TRUE(QueuePush(link.queue, CMD_SET_KL, 5));
  Tick(Report(RPT_STATUS, 0));  // not connected: handshake request, then reset
  EXPECT_EQ(port.writes, (std::vector<Bytes>{{0x01, 0x01, 0xDC}}));
  EXPECT_FALSE(QueueNotEmpty(link.queue));
}

// Records what a listener is told: every report with its time, and resets.
struct HeardReport {
  uint8_t type;
  int16_t value;
  double time;
  bool operator==(const HeardReport&) const = default;
};
class HearingListener : public ReportListener {
 public:
  std::vector<HeardReport> heard;
  std::vector<double> resets;
  void OnReport(uint8_t type, int16_t value, double time) override { heard.push_back({type, value, time}); }
  void OnLinkReset(double time) override { resets.push_back(time); }
};

TEST_F(LinkTest, EveryReportReachesTheListenersWithItsOwnTimeEvenTwoOfOneTypeInOneRead) {
  Connect();
  HearingListener first, second;
  link.listeners = {&first, &second};
  link.steadyClock = [] { return 100.0; };
  // A spike and its return in one read of 3 frames of 3 bytes: the panel keeps
  // only the last, the listeners hear both, 9 and 6 byte times before the end.
  const Bytes spike = Report(RPT_ACTUAL_CURRENT_A, 120);
  ASSERT_EQ(spike.size(), 3u);
  Tick(Concat({spike, Report(RPT_ACTUAL_CURRENT_A, 10), Report(RPT_PWM_B, -7)}));
  const double byte = 10.0 / 38400.0;
  const std::vector<HeardReport> expected{
      {RPT_ACTUAL_CURRENT_A, 120, 100.0 - 6 * byte},
      {RPT_ACTUAL_CURRENT_A, 10, 100.0 - 3 * byte},
      {RPT_PWM_B, -7, 100.0},
  };
  ASSERT_EQ(first.heard.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(first.heard[i].type, expected[i].type);
    EXPECT_EQ(first.heard[i].value, expected[i].value);
    EXPECT_NEAR(first.heard[i].time, expected[i].time, 1e-9);
  }
  EXPECT_EQ(second.heard, first.heard);
  EXPECT_EQ(link.values.actualCurrentA, 10);

  // Six silent ticks drop the link: the listeners are told the stream broke.
  for (int i = 0; i < 6; ++i) Tick();
  EXPECT_EQ(first.resets, std::vector<double>{100.0});
}

}  // namespace
}  // namespace velkor
