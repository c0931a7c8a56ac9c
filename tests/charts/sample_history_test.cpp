// sample_history_test.cpp: the ring keeps the newest samples of the span, in order.
#include "sample_history.h"

#include <gtest/gtest.h>

namespace velkor::charts {
namespace {

Sample At(double seconds, int32_t speed = 0) {
  Sample sample;
  sample.seconds = seconds;
  sample.values[Index(LiveReading::ShaftSpeed)] = speed;
  return sample;
}

TEST(SampleHistory, SamplesOlderThanTheSpanBeforeTheNewestAreDropped) {
  SampleHistory history;
  history.SetSpan(2);
  for (int i = 0; i <= 50; ++i) history.Add(At(i * 0.1, i));  // 0.0 .. 5.0 s
  EXPECT_EQ(history.Size(), 21u);                             // 3.0 .. 5.0 s
  EXPECT_DOUBLE_EQ(history.At(0).seconds, 3.0);
  EXPECT_EQ(history.Newest()[LiveReading::ShaftSpeed], 50);
}

TEST(SampleHistory, AFullRingDropsTheOldestAndKeepsTheOrder) {
  SampleHistory history;
  const size_t extra = 7;
  // Samples closer together than the fastest tick: the count, not the span, bounds them.
  for (size_t i = 0; i < MAX_SAMPLES + extra; ++i) history.Add(At(i * 1e-5, static_cast<int32_t>(i)));
  ASSERT_EQ(history.Size(), MAX_SAMPLES);
  for (size_t i = 0; i < history.Size(); ++i)
    ASSERT_EQ(history.At(i)[LiveReading::ShaftSpeed], static_cast<int32_t>(i + extra)) << "at " << i;
}

TEST(SampleHistory, ShorteningTheSpanDropsAtOnceWhatFallsOutside) {
  SampleHistory history;
  history.SetSpan(10);
  for (int i = 0; i <= 10; ++i) history.Add(At(i));
  history.SetSpan(3);
  EXPECT_EQ(history.Size(), 4u);  // 7, 8, 9, 10
  EXPECT_DOUBLE_EQ(history.At(0).seconds, 7.0);
}

TEST(SampleHistory, TheSpanStaysWithinTwoToSixtySeconds) {
  SampleHistory history;
  EXPECT_EQ(history.Span(), DEFAULT_SPAN_SECONDS);
  history.SetSpan(1);
  EXPECT_EQ(history.Span(), MIN_SPAN_SECONDS);
  history.SetSpan(600);
  EXPECT_EQ(history.Span(), MAX_SPAN_SECONDS);
}

TEST(SampleHistory, AClearedRingFillsAgainFromItsStart) {
  SampleHistory history;
  for (int i = 0; i < 5; ++i) history.Add(At(i, i));
  history.Clear();
  EXPECT_TRUE(history.Empty());
  history.Add(At(9, 9));
  ASSERT_EQ(history.Size(), 1u);
  EXPECT_EQ(history.At(0)[LiveReading::ShaftSpeed], 9);
}

}  // namespace
}  // namespace velkor::charts
