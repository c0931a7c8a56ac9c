// trace_buffer_test.cpp: a trace kept one sample at a time holds each column's
// extremes in time order, and exactly the span shown however many frames pass.
#include "trace_buffer.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace velkor::charts {
namespace {

std::vector<std::pair<double, double>> PointsOf(const TraceBuffer& trace) {
  std::vector<std::pair<double, double>> points;
  for (const QCPGraphData& point : *trace.Points()) points.emplace_back(point.key, point.value);
  return points;
}

TEST(TraceBuffer, EachColumnKeepsItsLowestAndHighestSampleInTheOrderTheyCame) {
  TraceBuffer trace;
  trace.Restart(1.0);
  for (const auto& [seconds, value] : std::vector<std::pair<double, double>>{
           {0.1, 5}, {0.2, 1}, {0.3, 9}, {0.4, 4},  // column 0: low at 0.2, high at 0.3
           {1.1, 7}, {1.2, 8}, {1.3, 2},            // column 1: high at 1.2, low at 1.3
           {2.5, 3}, {2.6, 3},                      // column 2: flat, its first sample
           {3.5, -4}})                              // column 3: one sample so far
    trace.Add(seconds, value);
  const std::vector<std::pair<double, double>> expected{{0.2, 1}, {0.3, 9}, {1.2, 8}, {1.3, 2},
                                                        {2.5, 3}, {3.5, -4}};
  EXPECT_EQ(PointsOf(trace), expected);
}

TEST(TraceBuffer, AColumnThatOpensAgainAfterADropStillKeepsItsExtremes) {
  TraceBuffer trace;
  trace.Restart(1.0);
  trace.Add(0.5, 1);
  trace.Add(1.5, 2);
  trace.DropBefore(1.0);
  trace.Add(1.6, 6);
  trace.Add(1.7, -6);
  const std::vector<std::pair<double, double>> expected{{1.6, 6}, {1.7, -6}};
  EXPECT_EQ(PointsOf(trace), expected);
}

// 100 samples a second for 30 s, fed in frames of 3 or 4 samples as a 33 ms
// frame would take them, with a 2 s span: one sample a column, so the trace
// must be exactly the last 2 s of samples.
TEST(TraceBuffer, AfterManyFramesItHoldsExactlyTheSamplesOfTheSpanInOrder) {
  TraceBuffer trace;
  trace.Restart(0.002);
  int sample = 0;
  for (int frame = 0; sample < 3000; ++frame) {
    const int end = sample + (frame % 3 == 0 ? 4 : 3);
    for (; sample < end && sample < 3000; ++sample) trace.Add(sample * 0.01, sample % 17 - 8);
    trace.DropBefore((sample - 1) * 0.01 - 2.0);
  }
  const auto points = PointsOf(trace);
  ASSERT_EQ(points.size(), 201u);  // 27.99 s .. 29.99 s
  EXPECT_DOUBLE_EQ(points.front().first, 27.99);
  EXPECT_DOUBLE_EQ(points.back().first, 29.99);
  EXPECT_EQ(points.front().second, 2799 % 17 - 8);
  for (size_t i = 0; i < points.size(); ++i) {
    EXPECT_DOUBLE_EQ(points[i].first, (2799 + static_cast<int>(i)) * 0.01) << i;
    EXPECT_EQ(points[i].second, (2799 + static_cast<int>(i)) % 17 - 8) << i;
  }
}

TEST(TraceBuffer, ARestartDropsEverything) {
  TraceBuffer trace;
  trace.Restart(1.0);
  trace.Add(0.1, 1);
  trace.Add(1.1, 2);
  trace.Restart(0.5);
  trace.Add(2.1, 3);
  const std::vector<std::pair<double, double>> expected{{2.1, 3}};
  EXPECT_EQ(PointsOf(trace), expected);
}

}  // namespace
}  // namespace velkor::charts
