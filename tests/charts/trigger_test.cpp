// trigger_test.cpp: the capture trigger against scripted reading sequences, a
// sample every 10 ms: where it fires, what the capture holds, what each mode
// does after it.
#include "trigger.h"

#include <gtest/gtest.h>

#include <vector>

namespace velkor::charts {
namespace {

constexpr double STEP = 0.01;

// Feeds one reading's values, a sample every STEP from 0; the set current A
// stays 0, so the measured current A is its tracking error.
void Feed(TriggerEngine& engine, const std::vector<int>& values, LiveReading reading = LiveReading::ActualCurrentA,
          int from = 0) {
  for (size_t i = 0; i < values.size(); ++i) {
    Sample sample;
    sample.seconds = (from + static_cast<int>(i)) * STEP;
    sample.values[Index(reading)] = values[i];
    sample.known = 0x3ff;  // every reading reported
    engine.OnSample(sample);
  }
}

std::vector<double> TriggerTimes(const TriggerEngine& engine) {
  std::vector<double> times;
  for (const Capture& capture : engine.Captures()) times.push_back(capture.triggerSeconds);
  return times;
}

TriggerSettings Level(TriggerEdge edge, TriggerMode mode = TriggerMode::Normal, double holdOff = 0) {
  return {.edge = edge, .level = 5, .holdOffSeconds = holdOff, .preSeconds = 0.02, .postSeconds = 0, .mode = mode};
}

struct EdgeRow {
  const char* name;
  TriggerEdge edge;
  std::vector<double> fires;
};

TEST(Trigger, EachEdgeFiresWhereTheReadingCrossesTheLevelThatWay) {
  const std::vector<int> values{0, 5, 10, 5, 0, 4, 6};  // up at 0.01, down at 0.03 and 0.04, up at 0.06
  const std::vector<EdgeRow> rows{
      {"rising", TriggerEdge::Rising, {0.01, 0.06}},
      {"falling", TriggerEdge::Falling, {0.03}},
      {"either", TriggerEdge::Either, {0.01, 0.03, 0.06}},
  };
  for (const EdgeRow& row : rows) {
    TriggerEngine engine;
    engine.SetKept(10);
    engine.Configure(Level(row.edge));
    engine.Arm();
    Feed(engine, values);
    const std::vector<double> times = TriggerTimes(engine);
    ASSERT_EQ(times.size(), row.fires.size()) << row.name;
    for (size_t i = 0; i < times.size(); ++i) EXPECT_NEAR(times[i], row.fires[i], 1e-9) << row.name;
  }
}

TEST(Trigger, NoEdgeIsSeenAcrossAGap) {
  TriggerEngine engine;
  engine.Configure(Level(TriggerEdge::Rising));
  engine.Arm();
  Feed(engine, {0});
  engine.OnSample(GapAt(0.015));
  Feed(engine, {9, 9}, LiveReading::ActualCurrentA, 2);
  EXPECT_EQ(engine.State(), TriggerState::Armed);
}

TEST(Trigger, HoldOffIgnoresEdgesUntilItHasPassed) {
  TriggerEngine engine;
  engine.SetKept(10);
  engine.Configure(Level(TriggerEdge::Rising, TriggerMode::Normal, 0.035));
  engine.Arm();
  Feed(engine, {0, 9, 0, 9, 0, 9, 0, 9});  // rising at 0.01, 0.03, 0.05, 0.07
  const std::vector<double> times = TriggerTimes(engine);
  ASSERT_EQ(times.size(), 2u);
  EXPECT_NEAR(times[0], 0.01, 1e-9);
  EXPECT_NEAR(times[1], 0.05, 1e-9);
}

TEST(Trigger, ACaptureHoldsThePreAndPostLengthsAroundTheTrigger) {
  TriggerEngine engine;
  engine.Configure({.level = 5, .preSeconds = 0.03, .postSeconds = 0.02, .mode = TriggerMode::Single});
  engine.Arm();
  Feed(engine, {0, 0, 0, 0, 0});
  EXPECT_EQ(engine.State(), TriggerState::Armed);
  Feed(engine, {7, 7}, LiveReading::ActualCurrentA, 5);  // rises at 0.05
  EXPECT_EQ(engine.State(), TriggerState::Triggered);
  Feed(engine, {7, 7, 7}, LiveReading::ActualCurrentA, 7);
  ASSERT_EQ(engine.State(), TriggerState::Held);
  const Capture& capture = engine.Captures().back();
  EXPECT_NEAR(capture.triggerSeconds, 0.05, 1e-9);
  ASSERT_EQ(capture.samples.size(), 6u);  // 0.02 .. 0.07
  EXPECT_NEAR(capture.samples.front().seconds, 0.02, 1e-9);
  EXPECT_NEAR(capture.samples.back().seconds, 0.07, 1e-9);
  EXPECT_EQ(capture.cause, "Ток A = 7");
}

TEST(Trigger, APreTriggerLengthenedLaterTakesTheSamplesAlreadySeen) {
  TriggerEngine engine;
  engine.Configure({.level = 5, .preSeconds = 0.01, .postSeconds = 0, .mode = TriggerMode::Single});
  Feed(engine, {0, 0, 0, 0, 0});
  engine.Configure({.level = 5, .preSeconds = 0.04, .postSeconds = 0, .mode = TriggerMode::Single});
  engine.Arm();
  Feed(engine, {7}, LiveReading::ActualCurrentA, 5);  // rises at 0.05
  ASSERT_EQ(engine.Captures().size(), 1u);
  EXPECT_NEAR(engine.Captures().back().samples.front().seconds, 0.01, 1e-9);
}

struct ModeRow {
  const char* name;
  TriggerMode mode;
  size_t captures;  // after one edge, then a long quiet time
  bool forced;      // the last of them came without an edge
  bool rearmed;
};

TEST(Trigger, SingleHoldsNormalArmsAgainAutoCapturesWithoutAnEdge) {
  const std::vector<ModeRow> rows{
      {"single", TriggerMode::Single, 1, false, false},
      {"normal", TriggerMode::Normal, 1, false, true},
      {"auto", TriggerMode::Auto, 2, true, true},
  };
  for (const ModeRow& row : rows) {
    TriggerEngine engine;
    engine.SetKept(10);
    engine.Configure({.level = 5, .preSeconds = 0.02, .postSeconds = 0.02, .mode = row.mode});
    engine.Arm();
    std::vector<int> values(12, 9);
    values[0] = 0;  // one rising edge at 0.01, then 0.11 s without one
    Feed(engine, values);
    EXPECT_EQ(engine.Captures().size(), row.captures) << row.name;
    EXPECT_EQ(engine.Captures().back().forced, row.forced) << row.name;
    EXPECT_EQ(engine.Rearmed(), row.rearmed) << row.name;
  }
}

TEST(Trigger, OnlyTheChosenEventTriggersAndItsWordsAreTheCause) {
  TriggerEngine engine;
  engine.Configure({.source = TriggerSource::LinkLost, .preSeconds = 0.02, .postSeconds = 0});
  engine.Arm();
  Feed(engine, {1, 2, 3});
  engine.OnMarker({0.024, MarkerKind::Parameter, "proportionalK=5"});
  EXPECT_EQ(engine.State(), TriggerState::Armed);
  engine.OnMarker({0.025, MarkerKind::LinkLost, ""});
  ASSERT_EQ(engine.Captures().size(), 1u);
  EXPECT_EQ(engine.Captures().back().cause, "Обрыв связи");
  EXPECT_EQ(engine.Captures().back().samples.size(), 2u);  // 0.01 and 0.02
  EXPECT_EQ(engine.Captures().back().markers.size(), 2u);  // the parameter's and the trigger's own
}

TEST(Trigger, TrackingErrorFiresWhenItStepsAboveTheBound) {
  TriggerEngine engine;
  engine.Configure({.source = TriggerSource::TrackingError, .bound = 100, .postSeconds = 0});
  engine.Arm();
  Feed(engine, {0, 100, -150, -200});  // |measured − 0|: 0, 100, 150
  ASSERT_EQ(engine.Captures().size(), 1u);
  EXPECT_NEAR(engine.Captures().back().triggerSeconds, 0.02, 1e-9);
  EXPECT_EQ(engine.Captures().back().cause, "Ошибка слежения A = 150");
}

TEST(Trigger, OnlyTheLastKeptCapturesStay) {
  TriggerEngine engine;
  engine.SetKept(2);
  engine.Configure(Level(TriggerEdge::Rising));
  engine.Arm();
  Feed(engine, {0, 9, 0, 9, 0, 9});
  EXPECT_EQ(engine.Completed(), 3u);
  const std::vector<double> times = TriggerTimes(engine);
  ASSERT_EQ(times.size(), 2u);
  EXPECT_NEAR(times[0], 0.03, 1e-9);
  EXPECT_NEAR(times[1], 0.05, 1e-9);
}

}  // namespace
}  // namespace velkor::charts
