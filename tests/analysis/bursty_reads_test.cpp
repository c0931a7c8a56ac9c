// bursty_reads_test.cpp: the emulated motor read as a busy program reads a
// port, several bursts at a time and each report back-dated by its line time:
// nothing counts as lost, a sweep below the supply's limit tracks closely and
// a 10 % weaker winding reads as 10 % wherever the shaft stops.
#include <gtest/gtest.h>

#include <optional>

#include "current_tracker.h"
#include "emulated_motor.h"
#include "sweep_analysis.h"

namespace velkor::analysis {
namespace {

const std::vector<uint32_t> READ_PERIODS_MS = {1, 7, 23, 3, 12, 30, 2, 16};

struct StopRow {
  const char* name;
  int16_t microsteps;  // from phase 0, 32 to the electrical period
  std::optional<double> imbalance;
};

TEST(BurstyReads, NothingLostCloseTrackingAndTheImbalanceWhereverTheShaftStops) {
  EmulatedMotor sweeping({.supplyVolts = 24});
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
    SCOPED_TRACE(step.targetRpm);
    EXPECT_GT(step.basis.readings, 150u);
    EXPECT_EQ(step.basis.lostReadings, 0u);
    EXPECT_LT(*step.rmsErrorMa, 5);
  }

  const StopRow rows[] = {
      {"33.75°", 3, 10}, {"45°", 4, 10}, {"67.5°", 6, 10}, {"11.25°: B carries a fifth of A", 1, std::nullopt}};
  for (const StopRow& row : rows) {
    SCOPED_TRACE(row.name);
    EmulatedMotor motor({.supplyVolts = 24, .imbalancePercent = 10});
    motor.readPeriodsMs = READ_PERIODS_MS;
    CurrentTracker tracker;
    motor.listeners.push_back(&tracker);
    motor.Command(CMD_SET_STEPS, row.microsteps);
    motor.Command(CMD_ACTION, ACT_STEP_RIGHT);
    motor.Run(3.0);
    const TrackerFigures f = tracker.Figures(motor.Now());
    EXPECT_EQ(f.windings[0].all.basis.lostReadings, 0u);
    EXPECT_EQ(f.windings[1].all.basis.gaps, 0u);
    EXPECT_GT(f.windings[1].all.basis.readings, 190u);
    if (row.imbalance) {
      EXPECT_NEAR(*f.imbalance.percent, *row.imbalance, 1);
    } else {
      EXPECT_FALSE(f.imbalance.percent);
      EXPECT_STREQ(f.imbalance.why, "too few readings with both windings' set currents at 30 % of the largest or more");
    }
  }
}

}  // namespace
}  // namespace velkor::analysis
