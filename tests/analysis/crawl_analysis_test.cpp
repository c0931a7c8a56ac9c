// crawl_analysis_test.cpp: the proposed crawl, and the crawl figures of the
// emulated motor with a known harmonic or zero-crossing distortion.
#include <gtest/gtest.h>

#include "crawl_analysis.h"
#include "emulated_motor.h"

namespace velkor::analysis {
namespace {

TEST(CrawlAnalysis, ProposesTheFastestWholeSpeedWithFiftyReadingsAPeriod) {
  struct Row {
    double rateHz;
    int division;
    int rpm;
    double readingsPerPeriod;
    bool enough;
    double seconds, travelSteps;
  };
  const Row rows[] = {
      {100, 8, 2, 60, true, 1.2, 64},       // 2.4 rpm at most; two periods fill 32 bins thrice
      {30, 8, 1, 36, false, 3.6, 96},       // 0.72 rpm would be needed
      {100, 120, 2, 60, true, 14.4, 11520},  // 480 bins take 24 periods
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.division);
    const std::optional<CrawlProposal> p = ProposeCrawl(row.rateHz, row.division);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->rpm, row.rpm);
    EXPECT_DOUBLE_EQ(p->readingsPerPeriod, row.readingsPerPeriod);
    EXPECT_EQ(p->enoughReadings, row.enough);
    EXPECT_NEAR(p->seconds, row.seconds, 1e-9);
    EXPECT_DOUBLE_EQ(p->travelSteps, row.travelSteps);
  }
  EXPECT_FALSE(ProposeCrawl(0, 8));
  EXPECT_FALSE(ProposeCrawl(100, 0));
}

TEST(CrawlAnalysis, FindsTheEmulatedMotorsHarmonicsRippleAndZeroCrossingError) {
  struct Row {
    const char* name;
    sim::MotorFlaws flaws;
    double ripple, harmonic3, harmonic5, zeroError;  // %, %, %, mA
  };
  const Row rows[] = {
      // Only an ample supply: the measured current is the set current.
      {"ideal", {.supplyVolts = 48}, 0, 0, 0, 0},
      // 50 mA of 3rd harmonic; near the crossings 50 × |cos 3θ| at 0 and ±11.25°.
      {"5 % third harmonic", {.harmonicPercent = 5}, 5, 5, 0, 18.5},
      // 195 mA set becomes 2 × (195 − 150) = 90: 105 short at 4 of the 12 bins
      // near a crossing; the harmonics are the transform of that pattern.
      {"150 mA dead band", {.zeroDeadbandMa = 150}, 0.76, 1.46, 2.17, 70},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EmulatedMotor motor(row.flaws);
    CrawlAnalyzer crawl;
    motor.listeners.push_back(&crawl);
    motor.Jog(2);
    crawl.Start(8);
    crawl.SetJogging(true);
    motor.Run(3.0);
    const CrawlFigures f = crawl.Figures();
    EXPECT_EQ(f.bins.size(), 32u);
    EXPECT_EQ(f.emptyBins, 0u);
    EXPECT_NEAR(*f.idealRadiusMa, 1000, 1);
    EXPECT_NEAR(*f.ripplePercent, row.ripple, 0.3);
    EXPECT_NEAR(*f.harmonic3PercentA, row.harmonic3, 0.3);
    EXPECT_NEAR(*f.harmonic3PercentB, row.harmonic3, 0.3);
    EXPECT_NEAR(*f.harmonic5PercentA, row.harmonic5, 0.3);
    EXPECT_NEAR(*f.zeroCrossingErrorMa, row.zeroError, 1);
    EXPECT_GT(f.points.size(), 250u);
  }
}

}  // namespace
}  // namespace velkor::analysis
