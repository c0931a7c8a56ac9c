// pty_runner_test.cpp: the emulator served on a real pseudo-terminal, opened
// from the other side as the panel opens a serial port.
#include "pty_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "codes.h"
#include "frame.h"
#include "link_controller.h"
#include "open_port.h"
#include "recording_window.h"
#include "serial_port.h"
#include "status_texts.h"

namespace velkor::sim {
namespace {

using Clock = std::chrono::steady_clock;

// The panel's end of the terminal: raw 38400 8N1, opened without becoming
// the controlling terminal.
class PanelEnd {
 public:
  explicit PanelEnd(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    termios t{};
    if (fd_ < 0 || tcgetattr(fd_, &t) != 0) return;
    cfmakeraw(&t);
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    t.c_cflag |= CLOCAL | CREAD;
    tcsetattr(fd_, TCSANOW, &t);
  }
  ~PanelEnd() {
    if (fd_ >= 0) close(fd_);
  }
  bool Open() const { return fd_ >= 0; }

  void Write(const std::vector<uint8_t>& bytes) { ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
  void Send(uint8_t seq, uint8_t code, int16_t value) {
    const Frame f = EncodeCommandFrame(seq, code, value);
    Write({f.bytes, f.bytes + f.size});
  }

  // Reads reports until `done` holds or `seconds` pass (a generous bound:
  // the machine may be busy). Returns false on a hang-up.
  template <typename Done>
  bool ReadUntil(Done done, double seconds = 5) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done() && Clock::now() < end) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      uint8_t buffer[256];
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) return false;
      raw.insert(raw.end(), buffer, buffer + n);
      for (ssize_t i = 0; i < n; ++i)
        if (const auto r = decoder_.FeedByte(buffer[i])) reports.push_back(*r);
    }
    return true;
  }

  size_t Count(uint8_t type) const {
    size_t n = 0;
    for (const Report& r : reports) n += r.type == type;
    return n;
  }

  std::vector<Report> reports;
  std::vector<uint8_t> raw;

 private:
  int fd_;
  FrameDecoder decoder_;
};

TEST(PtyRunner, ServesStatusReportsOnTheTerminalOnceWoken) {
  PtyRunner runner;
  ASSERT_TRUE(runner.Start()) << runner.Error();
  EXPECT_EQ(runner.SlavePath().rfind("/dev/pts/", 0), 0u) << runner.SlavePath();
  PanelEnd panel(runner.SlavePath());
  ASSERT_TRUE(panel.Open());
  panel.Write({WAKE_BYTE});
  ASSERT_TRUE(panel.ReadUntil([&] { return panel.Count(RPT_STATUS) >= 5; }));
  EXPECT_GE(panel.Count(RPT_STATUS), 5u);
  EXPECT_GT(panel.Count(RPT_PHASE), 0u);
}

TEST(PtyRunner, AnswersTheHandshakeAndLogsTheFrame) {
  PtyRunner runner;
  ASSERT_TRUE(runner.Start()) << runner.Error();
  PanelEnd panel(runner.SlavePath());
  ASSERT_TRUE(panel.Open());
  panel.Write({WAKE_BYTE, 0x01, 0x01, 0xDC});
  ASSERT_TRUE(panel.ReadUntil([&] { return panel.Count(RPT_FAULT_CURRENT) > 0; }));
  ASSERT_EQ(panel.Count(RPT_GREETING), 1u);
  for (const Report& r : panel.reports) {
    if (r.type == RPT_GREETING) {
      EXPECT_EQ(r.value, GREETING_VALUE);
    }
    if (r.type == RPT_ACK) {
      EXPECT_EQ(r.value, 222);
    }
  }
  EXPECT_EQ(runner.CommandLog(), (std::vector<ReceivedCommand>{{1, CMD_ACTION, ACT_REREAD, true}}));
}

TEST(PtyRunner, PassesEveryByteValueUnchangedBothWays) {
  PtyRunner runner;
  ASSERT_TRUE(runner.Start()) << runner.Error();
  PanelEnd panel(runner.SlavePath());
  ASSERT_TRUE(panel.Open());
  // Sequence bytes and values that a cooked terminal would eat or translate:
  // ^C, LF, CR, XON, XOFF, DEL.
  const std::vector<ReceivedCommand> sent = {{0x03, CMD_SET_STEPS, 0x0A, true},
                                            {0x0D, CMD_SET_JOG_SPEED, 0x0D, true},
                                            {0x11, CMD_SET_JOG_ACCEL, 0x13, true},
                                            {0x13, CMD_SET_KP, 0x7F, true},
                                            {0x7F, CMD_SET_FAULT_CURRENT, 0x11 | (0x03 << 7), true}};
  panel.Write({WAKE_BYTE});
  for (const ReceivedCommand& c : sent) panel.Send(c.seq, c.code, c.value);
  ASSERT_TRUE(panel.ReadUntil([&] { return panel.Count(RPT_ACK) >= sent.size() && panel.Count(RPT_FAULT_CURRENT) > 0; }));
  EXPECT_EQ(runner.CommandLog(), sent);
  // And back: report 2 carries LF (02 0A ...), report 3 CR.
  std::vector<int16_t> steps, speeds;
  for (const Report& r : panel.reports) {
    if (r.type == RPT_STEPS) steps.push_back(r.value);
    if (r.type == RPT_JOG_SPEED) speeds.push_back(r.value);
  }
  EXPECT_EQ(steps, std::vector<int16_t>{0x0A});
  EXPECT_EQ(speeds, std::vector<int16_t>{0x0D});
}

TEST(PtyRunner, ThePanelCanCloseAndReopenTheTerminal) {
  PtyRunner runner;
  ASSERT_TRUE(runner.Start()) << runner.Error();
  {
    PanelEnd first(runner.SlavePath());
    ASSERT_TRUE(first.Open());
    first.Write({WAKE_BYTE});
    ASSERT_TRUE(first.ReadUntil([&] { return first.Count(RPT_STATUS) >= 2; }));
  }
  PanelEnd second(runner.SlavePath());
  ASSERT_TRUE(second.Open());
  second.Write({WAKE_BYTE, 0x01, 0x01, 0xDC});
  ASSERT_TRUE(second.ReadUntil([&] { return second.Count(RPT_GREETING) > 0; }));
  EXPECT_EQ(second.Count(RPT_GREETING), 1u);
}

TEST(PtyRunner, StoppingHangsUpOnThePanel) {
  PtyRunner runner;
  ASSERT_TRUE(runner.Start()) << runner.Error();
  PanelEnd panel(runner.SlavePath());
  ASSERT_TRUE(panel.Open());
  panel.Write({WAKE_BYTE});
  ASSERT_TRUE(panel.ReadUntil([&] { return panel.Count(RPT_STATUS) >= 1; }));
  runner.Stop();
  EXPECT_FALSE(runner.Serving());
  EXPECT_FALSE(panel.ReadUntil([] { return false; }, 2)) << "a read after the hang-up must fail at once";
}

TEST(PtyRunner, HangsUpByItselfAtTheTimeOfTheOptions) {
  EmulatorOptions options;
  options.hangUpAfterMs = 100;
  PtyRunner runner(options);
  ASSERT_TRUE(runner.Start()) << runner.Error();
  PanelEnd panel(runner.SlavePath());
  ASSERT_TRUE(panel.Open());
  panel.Write({WAKE_BYTE});
  EXPECT_FALSE(panel.ReadUntil([] { return false; }, 5));
  EXPECT_FALSE(runner.Serving());
  EXPECT_GT(panel.Count(RPT_STATUS), 0u);
}

TEST(PtyRunner, FaultKnobsCanBeTurnedWhileItServes) {
  PtyRunner runner;
  ASSERT_TRUE(runner.Start()) << runner.Error();
  PanelEnd panel(runner.SlavePath());
  ASSERT_TRUE(panel.Open());
  runner.WithEmulator([](Emulator& e) { e.Options().ignoreCommandProbability = 1; });
  panel.Write({WAKE_BYTE, 0x01, 0x01, 0xDC});
  ASSERT_TRUE(panel.ReadUntil([&] { return panel.Count(RPT_STATUS) >= 5; }));
  EXPECT_EQ(panel.Count(RPT_ACK), 0u);
  ASSERT_EQ(runner.CommandLog().size(), 1u);
  EXPECT_FALSE(runner.CommandLog()[0].executed);
}

// Polls as the panel's timer does until `done` holds, for at most `seconds`
// (a generous bound: every read may wait out its timeouts on a busy machine).
template <typename Done>
bool PollUntil(Link& link, Done done, double seconds = 10) {
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    PollTick(link);
    if (done()) return true;
  }
  return false;
}

TEST(PtyRunner, ThePanelsOwnPortSetupOpensTheTerminalConnectsAndSeesTheHangUp) {
  PtyRunner runner;
  ASSERT_TRUE(runner.Start()) << runner.Error();
  Link link;
  testing::RecordingWindow window(link.values);
  link.window = &window;
  SerialPort port;
  link.values.portName = runner.SlavePath();
  OpenPort(link, port);
  ASSERT_EQ(link.values.statusText, STATUS_CONNECT_DEVICE) << port.LastErrorText();

  ASSERT_TRUE(PollUntil(link, [&] { return link.state.readyWord == READY_CONNECTED; }));
  EXPECT_EQ(link.values.statusText, STATUS_CONNECTED);
  ASSERT_TRUE(QueuePush(link.queue, CMD_SET_MOTION_CURRENT, 1500));
  ASSERT_TRUE(PollUntil(link, [&] { return link.values.motionCurrent == 1500; }));
  EXPECT_TRUE(window.Showed(STATUS_DONE));
  const auto log = runner.CommandLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().code, CMD_SET_MOTION_CURRENT);
  EXPECT_EQ(log.back().value, 1500);

  runner.Stop();  // the adapter is pulled
  EXPECT_TRUE(PollUntil(link, [&] { return link.values.statusText == STATUS_LINK_LOST; }));
}

}  // namespace
}  // namespace velkor::sim
