// bursty_reads_test.cpp: the emulated motor read as a busy program reads a
// port, several bursts at a time, each report back-dated by its line time.
#include <gtest/gtest.h>

#include "current_tracker.h"
#include "emulated_motor.h"
#include "sweep_analysis.h"

namespace velkor::analysis {
namespace {

const std::vector<uint32_t> READ_PERIODS_MS = {1, 7, 23, 3, 12, 30, 2, 16};

TEST(BurstyReads, NothingLostCloseTrackingBelowTheLimitAndTheImbalanceWhereverTheShaftStops) {
  EmulatedMotor sweeping({.supplyVolts = 24});  // regulation is lost above about 735 rpm
  sweeping.readPeriodsMs = READ_PERIODS_MS;
  SweepRecorder recorder;
  sweeping.listeners.push_back(&recorder);
  for (int16_t rpm : {105, 255, 405, 555, 705}) {
    sweeping.Jog(rpm);
    recorder.BeginStep(rpm, sweeping.Now());
    sweeping.Run(1.0);
    recorder.EndStep(sweeping.Now());
  }
  for (const SweepStepFigures& step : AnalyzeSweep(recorder.Steps()).steps) {
    EXPECT_GT(step.basis.readings, 150u) << step.targetRpm;
    EXPECT_EQ(step.basis.lostReadings, 0u) << step.targetRpm;
    EXPECT_LT(*step.rmsErrorMa, 5) << step.targetRpm;
  }
  // Microsteps from phase 0 (32 to the period) and the imbalance read there.
  const std::pair<int16_t, std::optional<double>> stops[] = {{3, 10}, {4, 10}, {6, 10}, {1, std::nullopt}};
  for (const auto& [microsteps, imbalance] : stops) {
    SCOPED_TRACE(microsteps);
    EmulatedMotor motor({.supplyVolts = 24, .imbalancePercent = 10});
    motor.readPeriodsMs = READ_PERIODS_MS;
    CurrentTracker tracker;
    motor.listeners.push_back(&tracker);
    motor.Command(CMD_SET_STEPS, microsteps);
    motor.Command(CMD_ACTION, ACT_STEP_RIGHT);
    motor.Run(3.0);
    const TrackerFigures f = tracker.Figures(motor.Now());
    EXPECT_EQ(f.windings[0].all.basis.lostReadings + f.windings[1].all.basis.gaps, 0u);
    EXPECT_GT(f.windings[1].all.basis.readings, 190u);
    if (imbalance) EXPECT_NEAR(*f.imbalance.percent, *imbalance, 1);
    // At 11.25° B carries a fifth of A.
    else EXPECT_STREQ(f.imbalance.why, "too few readings with both windings' set currents at 30 % of the largest or more");
  }
}

}  // namespace
}  // namespace velkor::analysis
