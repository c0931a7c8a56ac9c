// command_log_bound_test.cpp: an emulator served for hours must not grow with
// every command it receives. Its log keeps the latest entries, oldest dropped
// first, and a watcher can take the log as it goes. Depends on the emulator.
#include <gtest/gtest.h>

#include "codes.h"
#include "emulator.h"

using namespace velkor;
using sim::Emulator;

namespace {

void Send(Emulator& emulator, int16_t value) {
  const Frame f = EncodeCommandFrame(10, CMD_SET_STEPS, value);
  emulator.Receive(f.bytes, f.size);
  emulator.Advance(2000);
}

}  // namespace

TEST(CommandLogBound, theLogKeepsTheLatestCommandsInOrderAndDropsTheOldest) {
  Emulator emulator;
  const int sent = static_cast<int>(Emulator::MAX_LOGGED_COMMANDS) + 1000;
  for (int v = 1; v <= sent; ++v) Send(emulator, static_cast<int16_t>(v));
  const auto& log = emulator.CommandLog();
  ASSERT_LE(log.size(), Emulator::MAX_LOGGED_COMMANDS);
  ASSERT_GE(log.size(), Emulator::MAX_LOGGED_COMMANDS / 2);
  EXPECT_EQ(log.back().value, sent);
  for (size_t i = 0; i < log.size(); ++i) EXPECT_EQ(log[i].value, sent - static_cast<int>(log.size() - 1 - i));
}

TEST(CommandLogBound, takingTheLogHandsOverEveryEntryOnceAndStartsAfresh) {
  Emulator emulator;
  Send(emulator, 1);
  Send(emulator, 2);
  const auto first = emulator.TakeCommandLog();
  Send(emulator, 3);
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].value, 1);
  EXPECT_EQ(first[1].value, 2);
  ASSERT_EQ(emulator.CommandLog().size(), 1u);
  EXPECT_EQ(emulator.CommandLog()[0].value, 3);
}
