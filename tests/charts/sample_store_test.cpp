// sample_store_test.cpp: the ring keeps the newest samples of the longest span,
// in order, whatever span the window shows.
#include "sample_store.h"

#include <gtest/gtest.h>

namespace velkor::charts {
namespace {

Sample At(double seconds, int32_t speed = 0) {
  Sample sample;
  sample.seconds = seconds;
  sample.values[Index(LiveReading::ShaftSpeed)] = speed;
  return sample;
}

TEST(SampleStore, SamplesOlderThanTheLongestSpanBeforeTheNewestAreDroppedAndTheirMarkersWithThem) {
  SampleStore store;
  store.Mark({0.5, MarkerKind::Saved, {}});
  store.Mark({3.5, MarkerKind::Connected, {}});
  for (int i = 0; i <= 65; ++i) store.Add(At(i, i));  // 0 .. 65 s
  EXPECT_EQ(store.Size(), 61u);                      // 5 .. 65 s
  EXPECT_DOUBLE_EQ(store.At(0).seconds, 5.0);
  EXPECT_EQ(store.Newest()[LiveReading::ShaftSpeed], 65);
  EXPECT_TRUE(store.Markers().empty());
  EXPECT_EQ(store.Added(), 66u);
}

TEST(SampleStore, AFullRingDropsTheOldestAndKeepsTheOrder) {
  SampleStore store;
  const size_t extra = 7;
  for (size_t i = 0; i < MAX_SAMPLES + extra; ++i) store.Add(At(i * 1e-5, static_cast<int32_t>(i)));
  ASSERT_EQ(store.Size(), MAX_SAMPLES);
  for (size_t i = 0; i < store.Size(); ++i)
    ASSERT_EQ(store.At(i)[LiveReading::ShaftSpeed], static_cast<int32_t>(i + extra)) << "at " << i;
}

TEST(SampleStore, FindsTheFirstSampleOfASpanAndNeverGoesBackInTime) {
  SampleStore store;
  for (int i = 0; i <= 10; ++i) store.Add(At(i));
  store.Add(At(4));  // late: taken as the newest
  const std::pair<double, size_t> rows[] = {{-1, 0}, {0, 0}, {7, 7}, {7.5, 8}, {10, 10}, {10.5, 12}};
  for (auto [seconds, index] : rows) EXPECT_EQ(store.FirstFrom(seconds), index) << seconds;
  EXPECT_DOUBLE_EQ(store.Newest().seconds, 10.0);
}

}  // namespace
}  // namespace velkor::charts
