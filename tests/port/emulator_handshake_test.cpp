// emulator_handshake_test.cpp: the whole way from choosing a port to a command
// carried out, over a real pseudo-terminal with the VK-3 emulator at its far
// end, the link ticking on this thread as the panel's timer would drive it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "codes.h"
#include "open_port.h"
#include "pty_runner.h"
#include "real_time.h"
#include "recording_window.h"
#include "serial_port.h"
#include "status_texts.h"

namespace velkor::test {
namespace {

// Ticks until `done` holds; false if five seconds pass first.
bool TickUntil(Link& link, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    PollTick(link);
  }
  return true;
}

TEST(EmulatorHandshake, ThePortConnectsToTheEmulatorAndACommandIsAcknowledgedAndCarriedOut) {
  sim::PtyRunner runner;
  {
    const RealTimeScope serveOnTime;  // the emulator's thread keeps it
    ASSERT_TRUE(runner.Start()) << runner.Error();
  }
  SerialPort port;
  Link link;
  RecordingWindow window(link);
  window.selectedPort = runner.SlavePath();

  OpenPort(link, port);
  ASSERT_TRUE(window.tickRunning) << port.LastErrorText();
  EXPECT_EQ(link.values.statusText, STATUS_CONNECT_DEVICE);

  ASSERT_TRUE(TickUntil(link, [&] { return link.values.statusText == STATUS_CONNECTED; }))
      << "status: " << link.values.statusText;
  EXPECT_EQ(link.state.readyWord, READY_CONNECTED);
  const int16_t factoryCurrent =
      runner.WithEmulator([](sim::Emulator& e) { return e.CurrentParameters().motionCurrent; });
  EXPECT_EQ(link.values.motionCurrent, factoryCurrent);

  const int16_t newCurrent = factoryCurrent + 500;
  ASSERT_TRUE(QueuePush(link.queue, CMD_SET_MOTION_CURRENT, static_cast<uint16_t>(newCurrent)));
  ASSERT_TRUE(TickUntil(link, [&] { return link.values.statusText == STATUS_DONE; }))
      << "status: " << link.values.statusText;
  EXPECT_EQ(link.state.pendingCode, 0);
  EXPECT_TRUE(TickUntil(link, [&] { return link.values.motionCurrent == newCurrent; }));

  const std::vector<sim::ReceivedCommand> log = runner.CommandLog();
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const sim::ReceivedCommand& c) {
    return c.code == CMD_SET_MOTION_CURRENT && c.value == newCurrent && c.executed;
  }));
  runner.Stop();
}

}  // namespace
}  // namespace velkor::test
