// parameter_state_emulator_test.cpp: what the panel knows of each parameter
// while it talks to the emulated driver: a request pending until its report
// comes, a clamped value as a mismatch, auto-tuning as the driver's own change,
// saving, and a dropped link.
#include <gtest/gtest.h>

#include "codes.h"
#include "parameter_state.h"
#include "virtual_line.h"

namespace velkor::sim {
namespace {

using testing::VirtualLine;

constexpr uint32_t PERIOD_MS = 10;

struct Connected : ::testing::Test {
  explicit Connected(EmulatorOptions options = {}) : line(std::move(options)) {}
  void SetUp() override {
    line.Open();
    ASSERT_TRUE(line.RunUntil([&] { return line.Connected(); }, 3 * PERIOD_MS));
  }
  const ParameterState& Of(ParameterId id) const { return State(line.link.parameters, id); }
  VirtualLine line;
};

EmulatorOptions LimitedTo2000Ma() {
  EmulatorOptions options;
  options.currentLimitMa = 2000;
  return options;
}

struct ClampingDriver : Connected {
  ClampingDriver() : Connected(LimitedTo2000Ma()) {}
};

TEST_F(Connected, TheHandshakeReportsEveryValueAndLeavesTheEepromUnknown) {
  for (const ParameterInfo& p : PARAMETERS) {
    EXPECT_TRUE(Of(p.id).known) << p.name;
    EXPECT_TRUE(Of(p.id).reportedSinceReset) << p.name;
    EXPECT_FALSE(Of(p.id).savedKnown) << p.name;
    EXPECT_FALSE(Unsaved(Of(p.id))) << p.name;
    EXPECT_FALSE(Pending(Of(p.id))) << p.name;
  }
  EXPECT_EQ(Of(ParameterId::MotionCurrent).value, 1000);
  EXPECT_EQ(Of(ParameterId::ReductionDelay).value, 500);
  EXPECT_EQ(Of(ParameterId::Smoothing).value, 0);
}

TEST_F(Connected, ASetValueIsPendingUntilReportedThenConfirmedAndUnsavedUntilSaved) {
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_MOTION_CURRENT, 1500));
  EXPECT_EQ(Of(ParameterId::MotionCurrent).request, RequestPhase::Queued);
  EXPECT_EQ(Of(ParameterId::MotionCurrent).requested, 1500);
  ASSERT_TRUE(line.RunUntil([&] { return !Pending(Of(ParameterId::MotionCurrent)); }, 3 * PERIOD_MS));
  EXPECT_EQ(Of(ParameterId::MotionCurrent).value, 1500);
  EXPECT_FALSE(Of(ParameterId::MotionCurrent).mismatch);
  EXPECT_TRUE(Unsaved(Of(ParameterId::MotionCurrent)));
  EXPECT_FALSE(Of(ParameterId::MotionCurrent).savedKnown);
  EXPECT_EQ(Of(ParameterId::MotionCurrent).connectedValue, 1000);
  EXPECT_FALSE(Unsaved(Of(ParameterId::HoldingCurrent)));

  ASSERT_TRUE(PushCommand(line.link, CMD_ACTION, ACT_SAVE_EEPROM));
  ASSERT_TRUE(line.RunUntil([&] { return line.link.parameters.actionsAcknowledged[ACT_SAVE_EEPROM] == 1; },
                            3 * PERIOD_MS));
  EXPECT_FALSE(Unsaved(Of(ParameterId::MotionCurrent)));
  EXPECT_EQ(Of(ParameterId::MotionCurrent).saved, 1500);
  EXPECT_EQ(line.emulator.SavedParameters().motionCurrent, 1500);
}

TEST_F(Connected, ADelayAbove32767IsConfirmedNotMistakenForItsNegativeWireForm) {
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_REDUCTION_DELAY, 60000));
  ASSERT_TRUE(line.RunUntil([&] { return !Pending(Of(ParameterId::ReductionDelay)); }, 3 * PERIOD_MS));
  EXPECT_EQ(Of(ParameterId::ReductionDelay).value, 60000);
  EXPECT_FALSE(Of(ParameterId::ReductionDelay).mismatch);
}

TEST_F(Connected, TwoQuickSetsStayPendingUntilTheLastIsReported) {
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_STEPS, 300));
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_STEPS, 400));
  ASSERT_TRUE(line.RunUntil([&] { return line.link.values.steps == 300; }, 3 * PERIOD_MS));
  EXPECT_TRUE(Pending(Of(ParameterId::Steps)));
  EXPECT_EQ(Of(ParameterId::Steps).requested, 400);
  ASSERT_TRUE(line.RunUntil([&] { return !Pending(Of(ParameterId::Steps)); }, 3 * PERIOD_MS));
  EXPECT_EQ(Of(ParameterId::Steps).value, 400);
  EXPECT_FALSE(Of(ParameterId::Steps).mismatch);
  EXPECT_FALSE(Of(ParameterId::Steps).changedByDriver);
}

TEST_F(Connected, SmoothingTogglesAreExpectedToFlipTheReportedState) {
  ASSERT_TRUE(PushCommand(line.link, CMD_ACTION, ACT_TOGGLE_SMOOTHING));
  EXPECT_EQ(Of(ParameterId::Smoothing).requested, 1);
  ASSERT_TRUE(PushCommand(line.link, CMD_ACTION, ACT_TOGGLE_SMOOTHING));
  EXPECT_EQ(Of(ParameterId::Smoothing).requested, 0);
  ASSERT_TRUE(line.RunUntil([&] { return !Pending(Of(ParameterId::Smoothing)); }, 5 * PERIOD_MS));
  EXPECT_EQ(Of(ParameterId::Smoothing).value, 0);
  EXPECT_FALSE(Of(ParameterId::Smoothing).mismatch);
  EXPECT_FALSE(Of(ParameterId::Smoothing).changedByDriver);
  EXPECT_FALSE(Unsaved(Of(ParameterId::Smoothing)));
}

TEST_F(ClampingDriver, AClampedCurrentIsAMismatchWithBothValues) {
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_MOTION_CURRENT, 2500));
  ASSERT_TRUE(line.RunUntil([&] { return !Pending(Of(ParameterId::MotionCurrent)); }, 3 * PERIOD_MS));
  const ParameterState& s = Of(ParameterId::MotionCurrent);
  EXPECT_TRUE(s.mismatch);
  EXPECT_EQ(s.mismatchRequested, 2500);
  EXPECT_EQ(s.mismatchReported, 2000);
  EXPECT_EQ(s.value, 2000);
  EXPECT_FALSE(s.changedByDriver);
  // Only the current that was set is held: the fault threshold above the limit stays.
  EXPECT_EQ(line.emulator.CurrentParameters().faultCurrent, 5000);
  EXPECT_FALSE(Of(ParameterId::FaultCurrent).changedByDriver);

  // A value within the limit, confirmed, clears the mismatch.
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_MOTION_CURRENT, 1800));
  ASSERT_TRUE(line.RunUntil([&] { return !Pending(Of(ParameterId::MotionCurrent)); }, 3 * PERIOD_MS));
  EXPECT_FALSE(Of(ParameterId::MotionCurrent).mismatch);
}

TEST_F(Connected, AutoTuningShowsKpAndKlAsChangedByTheDriverUntilSaved) {
  const int32_t kp = Of(ParameterId::ProportionalK).value;
  ASSERT_TRUE(PushCommand(line.link, CMD_ACTION, ACT_AUTOTUNE));
  ASSERT_TRUE(line.RunUntil([&] { return Of(ParameterId::ProportionalK).changedByDriver; }, 400));
  EXPECT_EQ(Of(ParameterId::ProportionalK).changedFrom, kp);
  EXPECT_EQ(Of(ParameterId::ProportionalK).changedTo, line.emulator.CurrentParameters().proportionalK);
  EXPECT_TRUE(Unsaved(Of(ParameterId::ProportionalK)));
  EXPECT_FALSE(Pending(Of(ParameterId::ProportionalK)));

  ASSERT_TRUE(PushCommand(line.link, CMD_ACTION, ACT_SAVE_EEPROM));
  ASSERT_TRUE(line.RunUntil([&] { return line.link.parameters.actionsAcknowledged[ACT_SAVE_EEPROM] == 1; },
                            3 * PERIOD_MS));
  EXPECT_FALSE(Of(ParameterId::ProportionalK).changedByDriver);
  EXPECT_FALSE(Unsaved(Of(ParameterId::ProportionalK)));
}

TEST_F(Connected, ALostDriverIsForgottenButTheRequestItNeverSentStaysFailed) {
  line.emulator.StaySilent(3000);
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_JOG_SPEED, 900));
  const uint32_t resets = line.link.parameters.resets;
  ASSERT_TRUE(line.RunUntil([&] { return line.link.parameters.resets != resets; }, 2000));
  EXPECT_FALSE(Pending(Of(ParameterId::JogSpeed)));
  EXPECT_FALSE(Of(ParameterId::JogSpeed).reportedSinceReset);
  EXPECT_FALSE(Of(ParameterId::JogSpeed).known);
  // Silent, the driver never invited the command out.
  EXPECT_EQ(Of(ParameterId::JogSpeed).failure, RequestFailure::NotSent);
  EXPECT_EQ(Of(ParameterId::JogSpeed).failedValue, 900);
}

TEST_F(Connected, ADriverThatComesBackWithOtherValuesShowsThemAsItsOwnChange) {
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_HOLDING_CURRENT, 700));
  ASSERT_TRUE(line.RunUntil([&] { return !Pending(Of(ParameterId::HoldingCurrent)); }, 3 * PERIOD_MS));
  // Switched off and on without a save: the EEPROM's 500 mA comes back.
  line.emulator.PowerCycle();
  line.Open();
  ASSERT_TRUE(line.RunUntil([&] { return line.Connected(); }, 300));
  const ParameterState& s = Of(ParameterId::HoldingCurrent);
  EXPECT_TRUE(s.changedByDriver);
  EXPECT_EQ(s.changedFrom, 700);
  EXPECT_EQ(s.changedTo, 500);
  EXPECT_FALSE(Unsaved(s));
}

// The same requests against drivers that report at once and in their own cycle.
struct Habit {
  const char* name;
  uint32_t reportDelayMs;
};

struct EachHabit : ::testing::TestWithParam<Habit> {};

const ParameterState& Of(const VirtualLine& line, ParameterId id) { return State(line.link.parameters, id); }

TEST_P(EachHabit, QuickSetsAClampedSaveAndAnUnacknowledgedSetEndAsTheDriverDidThem) {
  EmulatorOptions options;
  options.reportDelayMs = GetParam().reportDelayMs;
  options.currentLimitMa = 2000;
  VirtualLine line(options);
  line.Open();
  ASSERT_TRUE(line.RunUntil([&] { return line.Connected(); }, 3 * PERIOD_MS));
  // Reports after both acknowledgements: neither a mismatch nor a change of its own.
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_STEPS, 300));
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_STEPS, 400));
  // The save may be acknowledged before the clamped value's report comes.
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_MOTION_CURRENT, 2500));
  ASSERT_TRUE(PushCommand(line.link, CMD_ACTION, ACT_SAVE_EEPROM));
  line.RunMs(200);
  EXPECT_EQ(Of(line, ParameterId::Steps).value, 400);
  EXPECT_FALSE(Of(line, ParameterId::Steps).mismatch);
  EXPECT_FALSE(Of(line, ParameterId::Steps).changedByDriver);
  EXPECT_EQ(Of(line, ParameterId::MotionCurrent).saved, 2000);
  EXPECT_FALSE(Unsaved(Of(line, ParameterId::MotionCurrent)));
  // Taken, but every acknowledgement wrong: a failed request, not the driver's change.
  line.emulator.Options().wrongAckProbability = 1;
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_JOG_SPEED, 90));
  line.RunMs(1500);
  line.emulator.Options().wrongAckProbability = 0;
  line.RunMs(200);
  EXPECT_EQ(Of(line, ParameterId::JogSpeed).value, 90);
  EXPECT_EQ(Of(line, ParameterId::JogSpeed).failure, RequestFailure::Unconfirmed);
  EXPECT_FALSE(Of(line, ParameterId::JogSpeed).changedByDriver);
}

INSTANTIATE_TEST_SUITE_P(Drivers, EachHabit,
                         ::testing::Values(Habit{"ReportingAtOnce", 0}, Habit{"ReportingInItsOwnCycle", 35}),
                         [](const auto& info) { return std::string(info.param.name); });

// A driver restarted, or another one, after the link was lost: known afresh,
// with none of its values shown as changes and nothing carried over as saved.
struct Successor {
  const char* name;
  uint32_t powerCycleAtMs, swapAtMs;
  int32_t motionCurrent;
};

struct AfterALoss : ::testing::TestWithParam<Successor> {};

TEST_P(AfterALoss, TheDriverThatAnswersIsKnownFromItsFirstReports) {
  EmulatorOptions options;
  options.powerCycleAtMs = GetParam().powerCycleAtMs;
  options.swapAtMs = GetParam().swapAtMs;
  VirtualLine line(options);
  line.Open();
  ASSERT_TRUE(line.RunUntil([&] { return line.Connected(); }, 3 * PERIOD_MS));
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_MOTION_CURRENT, 1200));
  ASSERT_TRUE(PushCommand(line.link, CMD_ACTION, ACT_SAVE_EEPROM));
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_HOLDING_CURRENT, 700));
  ASSERT_TRUE(line.RunUntil([&] { return line.link.parameters.driversForgotten > 0; }, 3000));
  line.Open();  // the restarted driver waits to be woken, as the port's choice does
  ASSERT_TRUE(line.RunUntil([&] { return line.Connected(); }, 3000));
  EXPECT_EQ(Of(line, ParameterId::MotionCurrent).value, GetParam().motionCurrent);
  for (const ParameterState& p : line.link.parameters.parameters) {
    EXPECT_FALSE(p.changedByDriver);
    EXPECT_FALSE(p.savedKnown);
    EXPECT_FALSE(Unsaved(p));
  }
}

INSTANTIATE_TEST_SUITE_P(Drivers, AfterALoss,
                         ::testing::Values(Successor{"Restarted", 300, 0, 1200}, Successor{"Swapped", 0, 300, 1800}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velkor::sim
