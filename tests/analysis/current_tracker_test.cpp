// current_tracker_test.cpp: the tracker's figures for generated streams with
// known errors and losses, and for the emulated motor with known flaws.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "analysis_json.h"
#include "codes.h"
#include "current_tracker.h"
#include "emulated_motor.h"

namespace velkor::analysis {
namespace {

// One burst of the driver: every live reading, then the status report.
void Burst(ReportListener& l, double t, int16_t setA, int16_t setB, int16_t measuredA, int16_t measuredB) {
  for (const auto& [type, value] : {std::pair<uint8_t, int16_t>{RPT_PHASE, 0}, {RPT_SET_CURRENT_A, setA},
                                   {RPT_SET_CURRENT_B, setB}, {RPT_PWM_A, 50}, {RPT_PWM_B, 50},
                                   {RPT_ACTUAL_CURRENT_A, measuredA}, {RPT_ACTUAL_CURRENT_B, measuredB},
                                   {RPT_STATUS, 0}})
    l.OnReport(type, value, t);
}

// A perfect motor: measured = set, on a sine, one burst each 10 ms.
void PerfectBursts(ReportListener& l, int fromTick, int toTick) {
  for (int k = fromTick; k <= toTick; ++k) {
    const double angle = 2 * std::numbers::pi * k / 37;
    const auto a = static_cast<int16_t>(std::lround(1000 * std::cos(angle)));
    const auto b = static_cast<int16_t>(std::lround(1000 * std::sin(angle)));
    Burst(l, k * 0.01, a, b, a, b);
  }
}

TEST(CurrentTracker, APerfectMotorGivesIdealFigures) {
  CurrentTracker tracker;
  PerfectBursts(tracker, 1, 300);
  const TrackerFigures f = tracker.Figures(3.0);
  for (const WindingFigures& w : f.windings) {
    EXPECT_EQ(w.all.basis.readings, 201u);  // 1.00 s .. 3.00 s
    EXPECT_NEAR(*w.all.basis.rateHz, 100, 1e-6);
    EXPECT_EQ(w.all.basis.lostReadings, 0u);
    EXPECT_EQ(*w.all.biasMa, 0);
    EXPECT_EQ(*w.all.rmsErrorMa, 0);
    EXPECT_EQ(*w.all.p95ErrorMa, 0);
    EXPECT_EQ(*w.all.maxErrorMa, 0);
    EXPECT_EQ(*w.all.outsideTolerancePercent, 0);
    EXPECT_DOUBLE_EQ(*w.all.ratio, 1.0);
    EXPECT_EQ(w.byState[static_cast<size_t>(MotionState::Holding)].basis.readings, 201u);
  }
  EXPECT_DOUBLE_EQ(*f.imbalance.percent, 0);
  EXPECT_EQ(f.headroom.regulationLost, false);
}

TEST(CurrentTracker, NothingHeardLeavesEveryFigureUnknown) {
  CurrentTracker tracker;
  const TrackerFigures f = tracker.Figures(10);
  EXPECT_EQ(f.windings[0].all.basis.readings, 0u);
  EXPECT_FALSE(f.windings[0].all.basis.rateHz);
  EXPECT_FALSE(f.windings[0].all.rmsErrorMa);
  EXPECT_FALSE(f.windings[1].all.ratio);
  EXPECT_FALSE(f.imbalance.percent);
  EXPECT_FALSE(f.headroom.regulationLost);
  EXPECT_EQ(f.headroom.ceiling.source, CeilingSource::Unknown);
  const std::string json = TrackerJson(f);
  EXPECT_TRUE(json.starts_with(
            "{\"windowS\":2,\"tolerancePercent\":5,\"toleranceMa\":20,\"windings\":{\"A\":{\"all\":{\"basis\":{\"readings\":0,"
            "\"rateHz\":null,\"spanS\":0,\"lostReadings\":0,"))
      << json;
  EXPECT_NE(json.find("\"ratio\":null"), std::string::npos);
}

TEST(CurrentTracker, ErrorsAndTheToleranceAreCountedAsStated) {
  CurrentTracker tracker;
  // 1000 mA set; measured 1030 (inside ±50 mA) in 9 bursts of 10, 1100 in every tenth.
  for (int k = 1; k <= 100; ++k) Burst(tracker, k * 0.01, 1000, 1000, k % 10 ? 1030 : 1100, 1000);
  const TrackingFigures a = tracker.Figures(1.0).windings[0].all;
  EXPECT_DOUBLE_EQ(*a.biasMa, 37);
  EXPECT_NEAR(*a.rmsErrorMa, 42.5441, 1e-4);  // the root of (90 × 30² + 10 × 100²) / 100
  EXPECT_EQ(*a.p95ErrorMa, 100);
  EXPECT_EQ(*a.maxErrorMa, 100);
  EXPECT_DOUBLE_EQ(*a.outsideTolerancePercent, 10);
}

TEST(CurrentTracker, GapsBadFramesAndLinkResetsAreCounted) {
  CurrentTracker tracker;
  uint64_t badFrames = 0;
  tracker.WatchBadFrames(&badFrames);
  PerfectBursts(tracker, 1, 100);
  PerfectBursts(tracker, 106, 120);  // five bursts missing
  badFrames = 3;
  PerfectBursts(tracker, 121, 150);
  tracker.OnLinkReset(1.505);
  PerfectBursts(tracker, 151, 200);
  const Basis b = tracker.Figures(2.0).windings[1].all.basis;
  EXPECT_EQ(b.readings, 195u);
  EXPECT_EQ(b.gaps, 1u);
  EXPECT_EQ(b.lostReadings, 5u);
  EXPECT_EQ(b.badFrames, 3u);
  EXPECT_EQ(b.linkResets, 1u);
  EXPECT_EQ(BasisJson(b),
            "{\"readings\":195,\"rateHz\":97.487,\"spanS\":1.99,\"lostReadings\":5,\"gaps\":1,\"badFrames\":3,"
            "\"linkResets\":1}");
}

struct EmulatedRow {
  const char* name;
  sim::MotorFlaws flaws;
  int16_t rpm;
  std::optional<double> fullScale;
  double ratioA, imbalance, imbalanceTolerance;
  std::optional<bool> lost;
  CeilingSource source;
  std::optional<double> lossSpeed;
};

TEST(CurrentTracker, FindsTheEmulatedMotorsFlaws) {
  const EmulatedRow rows[] = {
      // B falls short with no PWM ceiling known: whether regulation was lost is unknown.
      {"10 % weaker winding B", {.imbalancePercent = 10}, 7, {}, 1, 10, 1, {}, CeilingSource::Unknown, {}},
      {"±20 mA noise", {.noiseMa = 20}, 7, {}, 1, 0, 1.5, false, CeilingSource::Unknown, {}},
      {"24 V at 305 rpm", {.supplyVolts = 24}, 305, {}, 1, 0, 1, false, CeilingSource::Unknown, {}},
      // 504 mA is all the supply drives at 910 rpm: a sine clipped there keeps 0.63 of its RMS.
      {"24 V at 910 rpm", {.supplyVolts = 24}, 910, {}, 0.63, 0, 3, true, CeilingSource::FromData, 910},
      {"24 V at 910 rpm, full scale given", {.supplyVolts = 24}, 910, 1000, 0.63, 0, 3, true,
       CeilingSource::FromOperator, 910},
  };
  for (const EmulatedRow& row : rows) {
    SCOPED_TRACE(row.name);
    EmulatedMotor motor(row.flaws);
    TrackerSettings settings;
    settings.pwmFullScale = row.fullScale;
    CurrentTracker tracker(settings);
    motor.listeners.push_back(&tracker);
    motor.Jog(row.rpm);
    tracker.SetJogging(true);
    motor.Run(3.0);
    const TrackerFigures f = tracker.Figures(motor.Now());
    EXPECT_NEAR(*f.imbalance.percent, row.imbalance, row.imbalanceTolerance);
    EXPECT_NEAR(*f.windings[0].all.ratio, row.ratioA, 0.02);
    EXPECT_NEAR(*f.windings[0].all.basis.rateHz, 100, 1);
    const auto constant = static_cast<size_t>(MotionState::ConstantSpeed);
    EXPECT_EQ(f.windings[0].byState[constant].basis.readings, f.windings[0].all.basis.readings);
    EXPECT_EQ(f.headroom.regulationLost, row.lost);
    EXPECT_EQ(f.headroom.ceiling.source, row.source);
    EXPECT_EQ(f.headroom.lossSpeedRpm, row.lossSpeed);
    if (row.source != CeilingSource::Unknown) {
      EXPECT_EQ(*f.headroom.ceiling.pwm, 1000);
    }
  }
}

TEST(CurrentTracker, ReadingsAreSplitIntoRampHeldJogAndHolding) {
  EmulatedMotor motor({.noiseMa = 1});
  CurrentTracker tracker;
  motor.listeners.push_back(&tracker);
  const auto count = [&](MotionState state) {
    return tracker.Figures(motor.Now()).windings[0].byState[static_cast<size_t>(state)].basis.readings;
  };
  motor.Command(CMD_SET_JOG_ACCEL, 100);  // 0.6 s up to 60 rpm
  tracker.SetJogging(true);
  motor.Jog(60);
  motor.Run(0.5);
  EXPECT_GE(count(MotionState::Accelerating), 45u);
  EXPECT_EQ(count(MotionState::ConstantSpeed), 0u);
  motor.Run(2.5);
  EXPECT_EQ(count(MotionState::ConstantSpeed), 200u);
  tracker.SetJogging(false);
  motor.Command(CMD_ACTION, ACT_STOP);
  motor.Run(2.5);
  EXPECT_EQ(count(MotionState::Holding), 200u);
}

TEST(CurrentTracker, AutoTuningMeasurablyImprovesADetunedMotor) {
  EmulatedMotor motor({.detunePercent = 10});
  CurrentTracker tracker;
  motor.listeners.push_back(&tracker);
  motor.Command(CMD_SET_STEPS, 4);  // 45 degrees: both windings carry current
  motor.Command(CMD_ACTION, ACT_STEP_RIGHT);
  motor.Run(2.5);
  const double before = *tracker.Figures(motor.Now()).windings[0].all.rmsErrorMa;
  motor.Command(CMD_ACTION, ACT_AUTOTUNE);
  motor.Run(0.5);
  tracker.Clear();
  motor.Run(2.0);
  const double after = *tracker.Figures(motor.Now()).windings[0].all.rmsErrorMa;
  EXPECT_GT(before, 20);  // KL 2 of 6: 6.7 % short; Kp 30 of 60: ±5 % waver
  EXPECT_LT(after, before / 2);
}

}  // namespace
}  // namespace velkor::analysis
