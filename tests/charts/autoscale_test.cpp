// autoscale_test.cpp: the vertical range holds still while the data stays
// well inside it, and moves only when the data leaves it or shrinks within it;
// its ticks fall on whole, round numbers.
#include "autoscale.h"

#include <gtest/gtest.h>

namespace velkor::charts {
namespace {

struct Case {
  const char* name;
  AxisRange current;
  double low, high;
  bool moves;
};

TEST(Autoscaled, MovesOnlyWhenTheDataLeavesTheRangeOrLosesItselfInIt) {
  const Case cases[] = {
      {"data well inside holds the range", {-1000, 1000}, -900, 950, false},
      {"data clear of the edges holds it", {-1000, 1000}, -950, 950, false},
      {"data along an edge moves it", {0, 60}, 0, 60, true},
      {"data above it moves it", {-1000, 1000}, -900, 1001, true},
      {"data below it moves it", {-1000, 1000}, -1001, 0, true},
      {"data in a sliver of it moves it", {-1000, 1000}, 10, 20, true},
      {"a range from nothing moves", {0, 0}, 500, 500, true},
  };
  for (const Case& c : cases) {
    const AxisRange range = Autoscaled(c.current, c.low, c.high);
    EXPECT_EQ(range != c.current, c.moves) << c.name;
    EXPECT_LE(range.low, c.low) << c.name;
    EXPECT_GE(range.high, c.high) << c.name;
  }
}

TEST(Autoscaled, ANewRangeFitsTheDataWithAMarginAndHoldsOnTheNextFrame) {
  const AxisRange range = Autoscaled({0, 1}, -100, 300);
  EXPECT_LT(range.low, -100);
  EXPECT_GT(range.high, 300);
  EXPECT_LT(range.high - range.low, 2 * 400);
  EXPECT_EQ(Autoscaled(range, -100, 300), range);
}

TEST(Autoscaled, AFlatTraceGetsABandAroundIt) {
  const AxisRange range = Autoscaled({0, 0}, 500, 500);
  EXPECT_LT(range.low, 500);
  EXPECT_GT(range.high, 500);
  EXPECT_EQ(Autoscaled(range, 500, 500), range);
}

TEST(TickStep, IsOneTwoOrFiveTimesAPowerOfTenAndNeverBelowOne) {
  EXPECT_EQ(TickStep({-13.5, 28.5}, 5), 10);
  EXPECT_EQ(TickStep({0, 1000}, 5), 200);
  EXPECT_EQ(TickStep({0, 130000}, 5), 50000);
  EXPECT_EQ(TickStep({-1.2, 1.2}, 5), 1);
  EXPECT_EQ(TickStep({5, 5}, 5), 1);
}

TEST(RoundedOut, WidensTheRangeToWholeSteps) {
  EXPECT_EQ(RoundedOut({-13.5, 28.5}, 10), (AxisRange{-20, 30}));
  EXPECT_EQ(RoundedOut({-20, 30}, 10), (AxisRange{-20, 30}));
  EXPECT_EQ(RoundedOut({-1.2, 1.2}, 1), (AxisRange{-2, 2}));
}

}  // namespace
}  // namespace velkor::charts
