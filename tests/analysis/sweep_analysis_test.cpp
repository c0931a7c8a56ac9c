// sweep_analysis_test.cpp: a sweep of the emulated motor on a 24 V supply,
// which runs out of voltage at about 735 rpm at 1000 mA.
#include <gtest/gtest.h>

#include "analysis_json.h"
#include "emulated_motor.h"
#include "sweep_analysis.h"

namespace velkor::analysis {
namespace {

TEST(SweepAnalysis, RegulationIsLostWithinOneStepOfWhereTheSupplyRunsOut) {
  EmulatedMotor motor({.supplyVolts = 24});
  SweepRecorder recorder;
  motor.listeners.push_back(&recorder);
  // Speeds off round numbers, so that readings 10 ms apart meet many phases.
  for (int16_t rpm = 105; rpm <= 1005; rpm += 100) {
    motor.Jog(rpm);
    recorder.BeginStep(rpm, motor.Now());
    motor.Run(1.0);
    recorder.EndStep(motor.Now());
  }
  const SweepFigures f = AnalyzeSweep(recorder.Steps());
  ASSERT_EQ(f.steps.size(), 10u);
  EXPECT_EQ(f.ceiling.source, CeilingSource::FromData);
  EXPECT_EQ(*f.ceiling.pwm, 1000);
  EXPECT_NEAR(*f.regulationLostRpm, 735, 100);
  EXPECT_NEAR(*f.errorRiseRpm, 735, 100);
  EXPECT_EQ(*f.jogFromRpm, 105);
  EXPECT_NEAR(*f.jogToRpm, 705, 100);
  const SweepStepFigures& slow = f.steps[0];
  EXPECT_EQ(slow.regulationLost, false);
  EXPECT_EQ(*slow.rmsErrorMa, 0);
  EXPECT_EQ(*slow.meanSpeedRpm, 105);
  EXPECT_EQ(*slow.speedRippleRpm, 0);
  EXPECT_NEAR(*f.steps[4].meanTotalCurrentMa, 1273, 60);  // 2 × 1000 × 2/π
  EXPECT_EQ(f.steps[9].regulationLost, true);
  EXPECT_GT(*f.steps[9].nearCeilingPercent, 20);
}

TEST(SweepAnalysis, StepsWithoutReadingsLeaveEveryFigureUnknown) {
  SweepStepReadings step;
  step.targetRpm = 100;
  const SweepFigures f = AnalyzeSweep({step});
  EXPECT_FALSE(f.steps[0].rmsErrorMa);
  EXPECT_FALSE(f.steps[0].regulationLost);
  EXPECT_FALSE(f.regulationLostRpm);
  EXPECT_FALSE(f.jogToRpm);
  EXPECT_TRUE(SweepJson(f).starts_with(
            "{\"ceiling\":{\"pwm\":null,\"source\":\"unknown\"},\"regulationLostRpm\":null,\"errorRiseRpm\":null,"
            "\"jogFromRpm\":null,\"jogToRpm\":null,"));
}

}  // namespace
}  // namespace velkor::analysis
