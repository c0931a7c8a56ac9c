// decimate_test.cpp: a thinned trace keeps every column's extremes, in time order.
#include "decimate.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velkor::charts {
namespace {

Sample At(double seconds, int32_t current) {
  Sample sample;
  sample.seconds = seconds;
  sample.values[Index(Reading::ActualCurrentA)] = current;
  return sample;
}

// 10 s of samples every millisecond, flat at 100 mA but for the spikes given.
SampleHistory Flat(std::initializer_list<std::pair<int, int32_t>> spikes) {
  SampleHistory history;
  history.SetSpan(10);
  for (int i = 0; i <= 10000; ++i) {
    int32_t value = 100;
    for (auto [at, spike] : spikes)
      if (at == i) value = spike;
    history.Add(At(i / 1000.0, value));
  }
  return history;
}

TEST(Decimate, AOneSampleSpikeSurvivesInAColumnOfHundreds) {
  const SampleHistory history = Flat({{4321, 3000}, {7000, -2500}});
  QList<QPointF> points;
  Decimate(history, Reading::ActualCurrentA, 10.0, 50, points);
  const auto [low, high] = std::minmax_element(points.begin(), points.end(),
                                               [](QPointF a, QPointF b) { return a.y() < b.y(); });
  EXPECT_EQ(high->y(), 3000);
  EXPECT_NEAR(high->x(), 4.321 - 10.0, 1e-9);
  EXPECT_EQ(low->y(), -2500);
}

TEST(Decimate, NeverMoreThanTwoPointsAColumnAndAlwaysForwardInTime) {
  const SampleHistory history = Flat({{10, 0}, {500, 900}, {9999, -1}});
  for (int columns : {1, 7, 300, 20000}) {
    QList<QPointF> points;
    Decimate(history, Reading::ActualCurrentA, 10.0, columns, points);
    EXPECT_LE(points.size(), std::min<qsizetype>(2 * columns, history.Size())) << columns << " columns";
    EXPECT_TRUE(std::is_sorted(points.begin(), points.end(), [](QPointF a, QPointF b) { return a.x() < b.x(); }))
        << columns << " columns";
  }
}

TEST(Decimate, AFallingColumnGivesItsHighBeforeItsLow) {
  SampleHistory history;
  history.SetSpan(2);
  for (int i = 0; i < 10; ++i) history.Add(At(1.0 + i * 0.01, 1000 - 100 * i));
  QList<QPointF> points;
  Decimate(history, Reading::ActualCurrentA, 2.0, 1, points);
  ASSERT_EQ(points.size(), 2);
  EXPECT_EQ(points[0].y(), 1000);
  EXPECT_EQ(points[1].y(), 100);
}

TEST(Decimate, AFlatStretchIsDrawnAsItsTwoEnds) {
  SampleHistory history;
  history.SetSpan(10);
  for (int i = 0; i < 1000; ++i) history.Add(At(i * 0.01, i < 300 ? 5 : i < 700 ? -5 : 5));
  QList<QPointF> points;
  Decimate(history, Reading::ActualCurrentA, 10.0, 2000, points);
  // Each level's first and last sample, nothing between them.
  const QList<QPointF> expected{{-10.0, 5}, {-7.01, 5}, {-7.0, -5}, {-3.01, -5}, {-3.0, 5}, {-0.01, 5}};
  ASSERT_EQ(points.size(), expected.size());
  for (qsizetype i = 0; i < points.size(); ++i) {
    EXPECT_NEAR(points[i].x(), expected[i].x(), 1e-9) << i;
    EXPECT_EQ(points[i].y(), expected[i].y()) << i;
  }
}

TEST(Decimate, ALoneSampleIsOnePointAtItsAgeBeforeTheEnd) {
  SampleHistory history;
  history.SetSpan(2);
  history.Add(At(0.5, 7));
  QList<QPointF> points;
  Decimate(history, Reading::ActualCurrentA, 2.0, 100, points);
  ASSERT_EQ(points.size(), 1);
  EXPECT_EQ(points[0], QPointF(-1.5, 7));
}

}  // namespace
}  // namespace velkor::charts
