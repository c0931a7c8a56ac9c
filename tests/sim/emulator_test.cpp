// emulator_test.cpp: the emulated driver on its own, in virtual time: what it
// sends, when, how fast, and what each command does to it.
#include "emulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <fstream>
#include <string>
#include <vector>

#include "codes.h"
#include "eeprom_file.h"
#include "report_reader.h"

namespace velkor::sim {
namespace {

using testing::CountOf;
using testing::LastValue;
using testing::ReportReader;
using testing::SendByte;
using testing::SendFrame;
using testing::TimedReport;

constexpr uint64_t MS = 1000;

// A woken emulator whose wake-up chatter has been read away.
struct Woken {
  Emulator emulator;
  ReportReader reader;
  explicit Woken(EmulatorOptions options = {}) : emulator(std::move(options)) {
    SendByte(emulator, WAKE_BYTE);
    reader.Run(emulator, 20 * MS);
  }
  std::vector<TimedReport> Run(uint64_t us) { return reader.Run(emulator, us); }
  // Sends a frame and returns what came back within `us`.
  std::vector<TimedReport> Command(uint8_t seq, uint8_t code, int16_t value, uint64_t us = 30 * MS) {
    SendFrame(emulator, seq, code, value);
    return Run(us);
  }
};

TEST(Emulator, SaysNothingUntilTheWakeByte) {
  Emulator emulator;
  ReportReader reader;
  EXPECT_TRUE(reader.Run(emulator, 200 * MS).empty());
  EXPECT_EQ(reader.BytesRead(), 0u);
  SendByte(emulator, WAKE_BYTE);
  // Woken, it opens its first period at once: live readings, then the status report.
  const auto reports = reader.Run(emulator, 8 * MS);
  std::vector<uint8_t> types;
  for (const auto& r : reports) types.push_back(r.type);
  EXPECT_EQ(types, (std::vector<uint8_t>{RPT_PHASE, RPT_SET_CURRENT_A, RPT_SET_CURRENT_B, RPT_PWM_A, RPT_STATUS}));
}

TEST(Emulator, SendsTheStatusReportOnceEveryPeriod) {
  for (uint32_t period : {10u, 25u}) {
    EmulatorOptions options;
    options.statusPeriodMs = period;
    Woken w(options);
    const auto reports = w.Run(1000 * MS);
    EXPECT_NEAR(static_cast<double>(CountOf(reports, RPT_STATUS)), 1000.0 / period, 1.0) << period;
    std::vector<uint64_t> times;
    for (const TimedReport& r : reports)
      if (r.type == RPT_STATUS) times.push_back(r.atUs);
    for (size_t i = 1; i < times.size(); ++i)
      EXPECT_NEAR(static_cast<double>(times[i] - times[i - 1]), period * 1000.0, 1500.0) << i;
  }
}

TEST(Emulator, TheLineRestsAfterEveryStatusReportSoThatThePanelsReadEndsThere) {
  Woken w;
  const auto reports = w.Run(500 * MS);
  size_t statuses = 0;
  for (size_t i = 0; i + 1 < reports.size(); ++i) {
    if (reports[i].type != RPT_STATUS) continue;
    ++statuses;
    // The panel's read ends 2 ms after a byte with no next byte.
    EXPECT_GT(reports[i + 1].atUs - reports[i].atUs, 3000u) << "after status report " << statuses;
  }
  EXPECT_GE(statuses, 45u);
  // Every live reading still comes round, several times a second.
  for (uint8_t type = RPT_PHASE; type <= RPT_POSITION; ++type) EXPECT_GE(CountOf(reports, type), 20u) << int{type};
}

TEST(Emulator, NeverSendsFasterThanTheLineAllows) {
  Emulator emulator;
  SendByte(emulator, WAKE_BYTE);
  // Re-reads keep the line as busy as it gets.
  std::vector<uint64_t> arrivals;
  for (uint64_t t = 0; t < 1000 * MS; t += 10) {
    if (t % (5 * MS) == 0) SendFrame(emulator, static_cast<uint8_t>(t / (5 * MS) % 100), CMD_ACTION, ACT_REREAD);
    emulator.Advance(10);
    uint8_t buffer[16];
    for (size_t n = emulator.TakeOutput(buffer, sizeof buffer); n > 0; --n) arrivals.push_back(emulator.NowMicroseconds());
  }
  for (size_t i = 1; i < arrivals.size(); ++i)
    ASSERT_GE(arrivals[i] - arrivals[i - 1], 250u) << "byte " << i;  // 260.4 µs a byte, seen in 10 µs steps
  EXPECT_LE(arrivals.size(), size_t{LINE_BYTES_PER_SECOND});
  EXPECT_GE(arrivals.size(), size_t{LINE_BYTES_PER_SECOND} * 95 / 100);  // and does use it
}

struct AckCase {
  const char* name;
  uint8_t seq, code;
  int16_t value;
  int16_t ack;
};

// Worked by hand: (value as unsigned 16-bit + code + seq + check) mod 256.
const AckCase kAcks[] = {
    {"handshake 01 01 DC", 1, 1, 0, 222},
    {"0A 04 5C 0B D0", 10, 4, 1500, 186},
    {"0C 45 20 2B F7, sign bit left out", 12, 5, -5536, 104},
    {"0D 02 7F E9", 13, 2, 127, 119},
};

// What lets the pseudo-terminal runner sleep between bytes: 3840 bytes a
// second put a byte's end every 260.4 µs.
TEST(Emulator, TellsWhenItsNextByteWillHaveLeftTheLine) {
  Emulator emulator;
  EXPECT_EQ(emulator.NextOutputMicroseconds(), Emulator::NOTHING_DUE);
  SendByte(emulator, WAKE_BYTE);
  EXPECT_EQ(emulator.NextOutputMicroseconds(), 261u);  // the first period opens at once

  uint8_t out[64];
  emulator.Advance(260);
  EXPECT_EQ(emulator.TakeOutput(out, sizeof out), 0u);
  EXPECT_EQ(emulator.NextOutputMicroseconds(), 261u);
  emulator.Advance(100);
  EXPECT_EQ(emulator.TakeOutput(out, sizeof out), 1u);
  EXPECT_EQ(emulator.NextOutputMicroseconds(), 521u);

  // Between periods, the next status period's first byte.
  emulator.Advance(9 * MS);
  while (emulator.TakeOutput(out, sizeof out) != 0) {
  }
  EXPECT_EQ(emulator.NextOutputMicroseconds(), 10 * MS + 261);
}

TEST(Emulator, AcknowledgesWithTheValueThePanelExpects) {
  for (const AckCase& c : kAcks) {
    Woken w;
    const auto reports = w.Command(c.seq, c.code, c.value);
    EXPECT_EQ(LastValue(reports, RPT_ACK), c.ack) << c.name;
    EXPECT_EQ(CountOf(reports, RPT_ACK), 1u) << c.name;
  }
}

TEST(Emulator, AnswersAReReadWithGreetingAckAndAllParametersBeforeTheNextStatus) {
  Woken w;
  // Wait for a status report, then answer it as the panel does.
  std::vector<TimedReport> seen;
  while (CountOf(seen, RPT_STATUS) == 0) seen = w.Run(100);
  const auto reports = w.Command(1, CMD_ACTION, ACT_REREAD, 40 * MS);
  std::vector<uint8_t> handshake;
  for (const TimedReport& r : reports) {
    if (r.type == RPT_STATUS) break;
    if (r.type < RPT_PHASE) handshake.push_back(r.type);
  }
  EXPECT_EQ(handshake, (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(LastValue(reports, RPT_GREETING), GREETING_VALUE);
}

TEST(Emulator, DropsACommandWithAWrongCheckByteAndAnswersNothing) {
  Woken w;
  const uint8_t damaged[] = {0x0A, 0x04, 0x5C, 0x0B, 0xD1};  // D0 would be right
  w.emulator.Receive(damaged, sizeof damaged);
  const auto reports = w.Run(100 * MS);
  for (uint8_t type = RPT_GREETING; type <= RPT_FAULT_CURRENT; ++type) EXPECT_EQ(CountOf(reports, type), 0u) << int{type};
  EXPECT_EQ(w.emulator.CurrentParameters(), Parameters{});
  EXPECT_TRUE(w.emulator.CommandLog().empty());
}

struct ParameterCase {
  uint8_t code;
  int16_t value;
  uint8_t report;
  int16_t reported;
};

const ParameterCase kParameterCommands[] = {
    {CMD_SET_KP, 77, RPT_KP, 77},
    {CMD_SET_DIVISION, 120, RPT_DIVISION, 120},
    {CMD_SET_MOTION_CURRENT, 1500, RPT_MOTION_CURRENT, 1500},
    {CMD_SET_REDUCTION_DELAY, -5536, RPT_REDUCTION_DELAY, -5536},  // 60000 ms both ways
    {CMD_SET_HOLDING_CURRENT, 20000, RPT_HOLDING_CURRENT, 20000},
    {CMD_SET_KL, 9, RPT_KL_SMOOTHING, 9},
    {CMD_SET_STEPS, 30000, RPT_STEPS, 30000},
    {CMD_SET_JOG_SPEED, 1200, RPT_JOG_SPEED, 1200},
    {CMD_SET_JOG_ACCEL, 1000, RPT_JOG_ACCEL, 1000},
    {CMD_SET_FAULT_CURRENT, 7000, RPT_FAULT_CURRENT, 7000},
};

TEST(Emulator, StoresEachParameterAndReportsItBackRightAfterTheAck) {
  for (const ParameterCase& c : kParameterCommands) {
    Woken w;
    const auto reports = w.Command(11, c.code, c.value);
    std::vector<uint8_t> answers;
    for (const TimedReport& r : reports)
      if (r.type < RPT_PHASE) answers.push_back(r.type);
    EXPECT_EQ(answers, (std::vector<uint8_t>{RPT_ACK, c.report})) << int{c.code};
    EXPECT_EQ(LastValue(reports, c.report), c.reported) << int{c.code};
    // And the re-read reports the stored value too.
    EXPECT_EQ(LastValue(w.Command(12, CMD_ACTION, ACT_REREAD), c.report), c.reported) << int{c.code};
  }
}

TEST(Emulator, ReportFiveCarriesKlInBitsZeroToThreeAndSmoothingInBitFour) {
  Woken w;
  EXPECT_EQ(LastValue(w.Command(10, CMD_SET_KL, 9), RPT_KL_SMOOTHING), 0x09);
  EXPECT_EQ(LastValue(w.Command(11, CMD_ACTION, ACT_TOGGLE_SMOOTHING), RPT_KL_SMOOTHING), 0x19);
  EXPECT_EQ(LastValue(w.Command(12, CMD_SET_KL, 31), RPT_KL_SMOOTHING), 0x1F);  // KL keeps four bits
  EXPECT_EQ(LastValue(w.Command(13, CMD_ACTION, ACT_TOGGLE_SMOOTHING), RPT_KL_SMOOTHING), 0x0F);
}

TEST(Emulator, AcknowledgesARepeatedFrameAgainWithoutRunningItAgain) {
  Woken w;
  w.Command(10, CMD_SET_STEPS, 100);
  const auto first = w.Command(11, CMD_ACTION, ACT_STEP_RIGHT, 200 * MS);
  EXPECT_EQ(w.emulator.Position(), 100);
  const auto again = w.Command(11, CMD_ACTION, ACT_STEP_RIGHT, 200 * MS);
  EXPECT_EQ(LastValue(again, RPT_ACK), LastValue(first, RPT_ACK));
  EXPECT_EQ(w.emulator.Position(), 100) << "a repeated step must not move the shaft twice";
  // The next sequence byte is a new command.
  w.Command(12, CMD_ACTION, ACT_STEP_RIGHT, 200 * MS);
  EXPECT_EQ(w.emulator.Position(), 200);
  const std::vector<ReceivedCommand> log(w.emulator.CommandLog().begin() + 1, w.emulator.CommandLog().end());
  EXPECT_EQ(log, (std::vector<ReceivedCommand>{{11, CMD_ACTION, ACT_STEP_RIGHT, true},
                                               {11, CMD_ACTION, ACT_STEP_RIGHT, false},
                                               {12, CMD_ACTION, ACT_STEP_RIGHT, true}}));
}

TEST(Emulator, AStrayWakeByteNeverMakesARepeatedFrameRunAgain) {
  Woken w;
  w.Command(10, CMD_SET_STEPS, 100);
  // 1E 01 06 FF is a step to the right whose check byte happens to be 0xFF;
  // losing its value byte leaves 1E 01 FF, which reads as a wake byte.
  const Frame step = EncodeCommandFrame(0x1E, CMD_ACTION, ACT_STEP_RIGHT);
  ASSERT_EQ(step.check, 0xFF);
  const uint8_t damaged[] = {0x1E, 0x01, 0xFF};
  w.emulator.Receive(step.bytes, step.size);
  w.Run(200 * MS);
  ASSERT_EQ(w.emulator.Position(), 100);
  w.emulator.Receive(damaged, sizeof damaged);
  w.emulator.Receive(step.bytes, step.size);  // the panel's resend
  w.Run(200 * MS);
  EXPECT_EQ(w.emulator.Position(), 100);
}

TEST(Emulator, StepMovesTheConfiguredStepsAtTheJogSpeedAndStops) {
  Woken w;
  w.Command(10, CMD_SET_STEPS, 400);
  w.Command(11, CMD_SET_JOG_SPEED, 60);  // division 8: 1600 steps a second
  const auto left = w.Command(12, CMD_ACTION, ACT_STEP_LEFT, 100 * MS);
  EXPECT_TRUE(w.emulator.Jogging());
  EXPECT_NEAR(w.emulator.Position(), -160, 10);
  EXPECT_EQ(LastValue(left, RPT_STATUS), -60);
  const auto rest = w.Run(200 * MS);
  EXPECT_FALSE(w.emulator.Moving());
  EXPECT_EQ(w.emulator.Position(), -400);
  EXPECT_EQ(LastValue(rest, RPT_POSITION), -400);
  EXPECT_EQ(LastValue(rest, RPT_STATUS), 0);
}

TEST(Emulator, RotationRampsWithTheAccelerationUntilStopped) {
  Woken w;
  w.Command(10, CMD_SET_JOG_SPEED, 120);
  w.Command(11, CMD_SET_JOG_ACCEL, 200);  // rpm per second
  SendFrame(w.emulator, 12, CMD_ACTION, ACT_ROTATE_RIGHT);
  std::vector<TimedReport> reports;
  for (int i = 0; i < 10; ++i) {  // keep-alives as the panel sends them
    auto part = w.Run(100 * MS);
    reports.insert(reports.end(), part.begin(), part.end());
    SendByte(w.emulator, KEEP_ALIVE_BYTE);
  }
  EXPECT_NEAR(w.emulator.MotorState().speedRpm, 120, 0.5);
  EXPECT_NEAR(LastValue(reports, RPT_STATUS).value_or(0), 120, 1);
  // 0.3 s into the ramp: 60 rpm.
  int16_t at300 = 0;
  for (const TimedReport& r : reports)
    if (r.type == RPT_STATUS && r.atUs <= w.emulator.NowMicroseconds() - 700 * MS) at300 = r.value;
  EXPECT_NEAR(at300, 60, 4);
  w.Command(13, CMD_ACTION, ACT_STOP, 20 * MS);
  EXPECT_FALSE(w.emulator.Moving());
}

TEST(Emulator, StopsAJogWhenNeitherKeepAliveNorCommandArrivesInTime) {
  Woken w;
  SendFrame(w.emulator, 10, CMD_ACTION, ACT_ROTATE_LEFT);
  for (int i = 0; i < 20; ++i) {  // two seconds of keep-alives every 100 ms
    w.Run(100 * MS);
    ASSERT_TRUE(w.emulator.Jogging()) << i;
    SendByte(w.emulator, KEEP_ALIVE_BYTE);
  }
  w.Run(290 * MS);
  EXPECT_TRUE(w.emulator.Jogging()) << "300 ms have not passed";
  w.Run(20 * MS);
  EXPECT_FALSE(w.emulator.Jogging());
  EXPECT_EQ(w.emulator.MotorState().speedRpm, 0);
}

TEST(Emulator, TestActionMovesThereAndBack) {
  Woken w;
  w.Command(10, CMD_SET_STEPS, 50);
  w.Command(11, CMD_ACTION, ACT_STEP_RIGHT, 100 * MS);
  ASSERT_EQ(w.emulator.Position(), 50);
  w.Command(12, CMD_ACTION, ACT_TEST, 100 * MS);
  EXPECT_GT(w.emulator.Position(), 50);
  w.Run(400 * MS);
  EXPECT_FALSE(w.emulator.Moving());
  EXPECT_EQ(w.emulator.Position(), 50);
}

TEST(Emulator, PositionCountsStepsAsASigned16BitNumberUntilZeroed) {
  Woken w;
  w.Command(10, CMD_SET_STEPS, 30000);
  w.Command(11, CMD_SET_JOG_SPEED, 6000);  // 160000 steps a second
  w.Command(12, CMD_ACTION, ACT_STEP_RIGHT, 200 * MS);
  const auto reports = w.Command(13, CMD_ACTION, ACT_STEP_RIGHT, 200 * MS);  // a new seq, or it is a repeat
  EXPECT_EQ(LastValue(reports, RPT_POSITION), static_cast<int16_t>(60000));
  EXPECT_EQ(LastValue(w.Command(14, CMD_ACTION, ACT_ZERO_POSITION), RPT_POSITION), 0);
}

TEST(Emulator, SetCurrentsFollowCosineAndSineAndDropToHoldingAfterTheDelay) {
  Woken w;
  w.Command(10, CMD_SET_STEPS, 3);  // phase 3 of 32: 33.75 degrees
  w.Command(11, CMD_ACTION, ACT_STEP_RIGHT, 50 * MS);
  auto reports = w.Run(100 * MS);  // within the 500 ms delay: motion current
  const double angle = 2 * std::numbers::pi * 3 / 32;
  EXPECT_EQ(LastValue(reports, RPT_PHASE), 3);
  EXPECT_EQ(LastValue(reports, RPT_SET_CURRENT_A), std::lround(1000 * std::cos(angle)));
  EXPECT_EQ(LastValue(reports, RPT_SET_CURRENT_B), std::lround(1000 * std::sin(angle)));
  reports = w.Run(600 * MS);
  EXPECT_EQ(LastValue(reports, RPT_SET_CURRENT_A), std::lround(500 * std::cos(angle)));
  EXPECT_EQ(LastValue(reports, RPT_SET_CURRENT_B), std::lround(500 * std::sin(angle)));
  // Measured follows set, a little noisy; PWM follows measured.
  const double actualA = LastValue(reports, RPT_ACTUAL_CURRENT_A).value_or(0);
  EXPECT_NEAR(actualA, 500 * std::cos(angle), 40);
  EXPECT_NEAR(LastValue(reports, RPT_PWM_A).value_or(0), actualA * 1.2 / 24, 3);
}

TEST(Emulator, AutoTuneSettlesKpAndKlAndReportsThem) {
  Woken w;
  auto reports = w.Command(10, CMD_ACTION, ACT_AUTOTUNE, 100 * MS);
  EXPECT_EQ(CountOf(reports, RPT_KP), 0u) << "tuning takes its time";
  reports = w.Run(200 * MS);
  const Parameters tuned = w.emulator.CurrentParameters();
  EXPECT_NE(tuned.proportionalK, Parameters{}.proportionalK);
  EXPECT_NE(tuned.levelingK, Parameters{}.levelingK);
  EXPECT_EQ(LastValue(reports, RPT_KP), tuned.proportionalK);
  EXPECT_EQ(LastValue(reports, RPT_KL_SMOOTHING), tuned.levelingK);
}

TEST(Emulator, OnlySavedParametersSurviveAPowerCycle) {
  Woken w;
  w.Command(10, CMD_SET_MOTION_CURRENT, 1800);
  w.Command(11, CMD_ACTION, ACT_SAVE_EEPROM);
  w.Command(12, CMD_SET_MOTION_CURRENT, 2500);
  w.emulator.PowerCycle();
  EXPECT_TRUE(w.Run(100 * MS).empty()) << "silent until woken";
  SendByte(w.emulator, WAKE_BYTE);
  EXPECT_EQ(LastValue(w.Command(13, CMD_ACTION, ACT_REREAD), RPT_MOTION_CURRENT), 1800);
}

TEST(Emulator, KeepsTheEepromInAFileAcrossRuns) {
  const std::string path = ::testing::TempDir() + "velkor_sim_eeprom_test.txt";
  std::remove(path.c_str());
  EmulatorOptions options;
  options.eepromPath = path;
  {
    Woken w(options);
    EXPECT_EQ(w.emulator.CurrentParameters(), Parameters{}) << "no file: factory settings";
    w.Command(10, CMD_SET_REDUCTION_DELAY, -5536);
    w.Command(11, CMD_ACTION, ACT_TOGGLE_SMOOTHING);
    w.Command(12, CMD_ACTION, ACT_SAVE_EEPROM);
  }
  Emulator restarted(options);
  EXPECT_EQ(restarted.CurrentParameters().reductionDelay, 60000);
  EXPECT_TRUE(restarted.CurrentParameters().smoothing);
  std::remove(path.c_str());
}

TEST(EepromFile, ADamagedFileIsNotHalfTrusted) {
  const std::string path = ::testing::TempDir() + "velkor_sim_eeprom_damaged.txt";
  for (const char* text : {"steps 100\nkp\n", "steps 100\nwhat 3\n", "kl 16\n", "steps 40000\n", "steps 1 2\n"}) {
    std::ofstream(path) << text;
    EXPECT_FALSE(LoadEeprom(path).has_value()) << text;
  }
  std::ofstream(path) << "steps 100\n\nkl 15\n";
  ASSERT_TRUE(LoadEeprom(path).has_value());
  EXPECT_EQ(LoadEeprom(path)->steps, 100);
  EXPECT_EQ(LoadEeprom(path)->levelingK, 15);
  std::remove(path.c_str());
}

TEST(Emulator, IgnoreKnobSwallowsCommandsWithoutRunningThem) {
  EmulatorOptions options;
  options.ignoreCommandProbability = 1;
  Woken w(options);
  const auto reports = w.Command(10, CMD_SET_MOTION_CURRENT, 1500);
  EXPECT_EQ(CountOf(reports, RPT_ACK), 0u);
  EXPECT_EQ(w.emulator.CurrentParameters().motionCurrent, Parameters{}.motionCurrent);
  ASSERT_EQ(w.emulator.CommandLog().size(), 1u);
  EXPECT_FALSE(w.emulator.CommandLog()[0].executed);
}

TEST(Emulator, WrongAckKnobRunsTheCommandButAcknowledgesWrongly) {
  EmulatorOptions options;
  options.wrongAckProbability = 1;
  Woken w(options);
  const auto reports = w.Command(10, CMD_SET_MOTION_CURRENT, 1500);
  ASSERT_EQ(CountOf(reports, RPT_ACK), 1u);
  EXPECT_NE(LastValue(reports, RPT_ACK), 186);
  EXPECT_EQ(LastValue(reports, RPT_MOTION_CURRENT), 1500);
}

TEST(Emulator, StaysSilentForTheTimeItIsToldAndThenReportsAgain) {
  Woken w;
  w.emulator.StaySilent(50);
  w.Run(2 * MS);  // the frame on the wire finishes
  EXPECT_TRUE(w.Run(47 * MS).empty());
  EXPECT_GT(CountOf(w.Run(20 * MS), RPT_STATUS), 0u);
}

TEST(Emulator, SilentPeriodOfTheOptionsComesAtItsTime) {
  EmulatorOptions options;
  options.silentAtMs = 100;
  options.silentForMs = 50;
  Emulator emulator(options);
  SendByte(emulator, WAKE_BYTE);
  ReportReader reader;
  const auto reports = reader.Run(emulator, 200 * MS);
  for (const TimedReport& r : reports) EXPECT_FALSE(r.atUs > 102 * MS && r.atUs < 150 * MS) << r.atUs;
  EXPECT_GT(CountOf(reports, RPT_STATUS), 12u);
}

TEST(Emulator, ByteFaultsHitBothDirections) {
  Woken corrupted;
  corrupted.emulator.Options().corruptByteProbability = 1;
  SendFrame(corrupted.emulator, 10, CMD_SET_MOTION_CURRENT, 1500);
  EXPECT_TRUE(corrupted.emulator.CommandLog().empty()) << "every byte in has a flipped bit";
  size_t valid = 0;
  for (int i = 0; i < 100; ++i) valid += corrupted.Run(MS).size();
  EXPECT_LT(valid, 10u) << "every byte out has a flipped bit";

  Woken dropped;
  const size_t before = dropped.reader.BytesRead();
  dropped.emulator.Options().dropByteProbability = 1;
  dropped.Run(100 * MS);
  EXPECT_EQ(dropped.reader.BytesRead(), before);
}

TEST(Emulator, TheSameSeedRepeatsTheRunAndAnotherSeedDoesNot) {
  auto run = [](uint64_t seed) {
    EmulatorOptions options;
    options.seed = seed;
    options.corruptByteProbability = 0.05;
    Emulator emulator(options);
    SendByte(emulator, WAKE_BYTE);
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 300; ++i) {
      if (i % 10 == 0) SendFrame(emulator, static_cast<uint8_t>(10 + i / 10 % 10), CMD_ACTION, ACT_REREAD);
      emulator.Advance(1000);
      uint8_t buffer[64];
      const size_t n = emulator.TakeOutput(buffer, sizeof buffer);
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
  };
  EXPECT_EQ(run(7), run(7));
  EXPECT_NE(run(7), run(8));
}

}  // namespace
}  // namespace velkor::sim
