// procedures_test.cpp: the crawl, the sweep and the auto-tuning with evidence
// stepped after every tick of the real link controller, against the emulated
// driver in virtual time: the commands the driver executed, in order, whether
// the motor turns, and how each run ends.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "crawl_run.h"
#include "sweep_run.h"
#include "tune_run.h"
#include "virtual_line.h"

namespace velkor {
namespace {

using sim::testing::VirtualLine;
using Commands = std::vector<std::pair<int, int>>;  // (code, value) as the driver executed them

VirtualLine* clockLine = nullptr;
double VirtualSeconds() { return static_cast<double>(clockLine->emulator.NowMicroseconds()) / 1e6; }

// A connected line whose report times and run times are the emulator's.
struct Line : VirtualLine {
  explicit Line(sim::EmulatorOptions options = {}) : VirtualLine(std::move(options)) {
    clockLine = this;
    link.steadyClock = VirtualSeconds;
    Open();
    EXPECT_TRUE(RunUntil([&] { return Connected(); }, 30));
    emulator.TakeCommandLog();
  }
  Commands Executed() {
    Commands commands;
    for (const sim::ReceivedCommand& c : emulator.TakeCommandLog()) {
      if (c.executed) commands.emplace_back(c.code, c.value);
    }
    return commands;
  }
  // Steps the run after every tick until it has ended.
  template <class Run>
  bool Finish(Run& run, uint32_t limitMs) {
    return RunUntil([&] { run.Step(VirtualSeconds()); return run.End() != RunEnd::Running; }, limitMs);
  }
};

constexpr std::pair<int, int> SPEED_2{CMD_SET_JOG_SPEED, 2}, SPEED_60{CMD_SET_JOG_SPEED, 60};
constexpr std::pair<int, int> RIGHT{CMD_ACTION, ACT_ROTATE_RIGHT}, STOP{CMD_ACTION, ACT_STOP};
constexpr std::pair<int, int> KP_40{CMD_SET_KP, 40};

TEST(CrawlRun, TurnsAtItsSpeedKeptAliveForItsTimeThenStopsAndGivesTheJogSpeedBack) {
  Line line;
  CrawlRun run(line.link);
  run.Start({2, 1.0, true}, VirtualSeconds());
  ASSERT_TRUE(line.RunUntil([&] { run.Step(VirtualSeconds()); return run.Motion().Phase() == MotionPhase::Measuring; }, 2000));
  // Longer than the driver's keep-alive watch: only the keep-alive keeps it turning.
  line.RunMs(900);
  EXPECT_TRUE(line.emulator.Moving());
  ASSERT_TRUE(line.Finish(run, 2000));
  EXPECT_EQ(run.End(), RunEnd::Finished);
  EXPECT_EQ(line.Executed(), (Commands{SPEED_2, RIGHT, STOP, SPEED_60}));
  EXPECT_FALSE(line.emulator.Moving());
  EXPECT_FALSE(line.link.state.jogActive);
  EXPECT_GT(run.Figures().basis.readings, 50u);
}

// The operator's stop at three moments, with a set command of another part
// of the program queued just before it.
TEST(CrawlRun, StopGoesBeforeAnythingQueuedButNeverBeforeItsOwnRotation) {
  struct Case {
    const char* moment;
    uint32_t afterMs;  // after Start, before the stop
    Commands executed;
  };
  const std::vector<Case> cases = {
      {"the rotation still queued", 0, {SPEED_2, STOP, KP_40, SPEED_60}},
      {"turning", 600, {SPEED_2, RIGHT, STOP, KP_40, SPEED_60}},
  };
  for (const Case& c : cases) {
    Line line;
    CrawlRun run(line.link);
    run.Start({2, 5.0, true}, VirtualSeconds());
    line.RunUntil([&] { run.Step(VirtualSeconds()); return false; }, c.afterMs);
    ASSERT_TRUE(PushCommand(line.link, CMD_SET_KP, 40));
    run.Stop(VirtualSeconds());
    ASSERT_TRUE(line.Finish(run, 2000)) << c.moment;
    EXPECT_EQ(run.End(), RunEnd::Stopped) << c.moment;
    EXPECT_EQ(line.Executed(), c.executed) << c.moment;
    line.RunMs(500);
    EXPECT_FALSE(line.emulator.Moving()) << c.moment;
  }
}

TEST(CrawlRun, ALostLinkEndsItAsLostWithTheJogOffAndOwesTheStopAndJogSpeedOnceTheDriverIsBack) {
  sim::EmulatorOptions options;
  options.silentAtMs = 1500;
  options.silentForMs = 5000;
  options.jogTimeoutMs = 600000;  // only a stop ends the rotation
  Line line(options);
  CrawlRun run(line.link);
  run.Start({2, 10.0, true}, VirtualSeconds());
  ASSERT_TRUE(line.Finish(run, 5000));
  EXPECT_EQ(run.End(), RunEnd::LinkLost);
  EXPECT_FALSE(line.link.state.jogActive);
  OwedStop owed = run.Motion().Owed();
  EXPECT_TRUE(owed.owed);
  EXPECT_TRUE(line.emulator.Moving());
  line.Executed();
  ASSERT_TRUE(line.RunUntil([&] { return PayOwedStop(line.link, owed, VirtualSeconds()); }, 10000));
  ASSERT_TRUE(line.RunUntil([&] { return !line.emulator.Moving() && line.emulator.CurrentParameters().jogSpeed == 60; }, 2000));
  Commands executed = line.Executed();  // without the reconnection's re-read
  std::erase(executed, std::pair<int, int>{CMD_ACTION, ACT_REREAD});
  EXPECT_EQ(executed, (Commands{STOP, SPEED_60}));
  EXPECT_FALSE(owed.owed);  // once
}

TEST(SweepSpeeds, EqualStepsFromOneBoundToTheOtherInWholeRpm) {
  const std::vector<std::pair<SweepPlan, std::vector<int16_t>>> cases = {
      {{60, 600, 5}, {60, 195, 330, 465, 600}},
      {{600, 60, 4}, {600, 420, 240, 60}},
      {{1, 10, 4}, {1, 4, 7, 10}},
      {{100, 101, 2}, {100, 101}},
  };
  for (const auto& [plan, speeds] : cases) {
    std::array<int16_t, MAX_SEGMENTS> out = {};
    const size_t count = SweepSpeeds(plan, out);
    EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + count), speeds) << plan.fromRpm << ".." << plan.toRpm;
  }
}

TEST(SweepRun, ChangesSpeedWhileTurningAndMeasuresEachApart) {
  Line line;
  SweepRun run(line.link);
  SweepPlan plan{60, 120, 2, 0.5, false};
  run.Start(plan, VirtualSeconds());
  ASSERT_TRUE(line.Finish(run, 5000));
  EXPECT_EQ(run.End(), RunEnd::Finished);
  EXPECT_EQ(line.Executed(),
            (Commands{{CMD_ACTION, ACT_ROTATE_LEFT}, {CMD_SET_JOG_SPEED, 120}, STOP, SPEED_60}));
  const analysis::SweepFigures figures = run.Figures();
  ASSERT_EQ(figures.steps.size(), 2u);
  EXPECT_NEAR(figures.steps[0].meanSpeedRpm.value_or(0), -60, 1);
  EXPECT_NEAR(figures.steps[1].meanSpeedRpm.value_or(0), -120, 1);
}

TEST(TuneRun, MeasuresBeforeAndAfterTheDriversTuningThenKeepsAndSavesOrRevertsVerified) {
  for (const bool revert : {false, true}) {
    sim::EmulatorOptions detuned;
    detuned.flaws.detunePercent = 20;
    Line line(detuned);
    TuneRun run(line.link);
    run.Start({1.0, 2, 1.0, true}, VirtualSeconds());
    ASSERT_TRUE(line.RunUntil([&] { run.Step(VirtualSeconds()); return run.Phase() == TunePhase::Deciding; }, 20000));
    EXPECT_EQ(run.KpBefore(), 30);
    EXPECT_EQ(run.KlBefore(), 2);
    EXPECT_EQ(run.KpAfter(), line.emulator.CurrentParameters().proportionalK);
    EXPECT_NE(run.KpAfter(), 30);
    const auto rms = [](const TuneMeasure& m) { return m.standstill.windings[0].all.rmsErrorMa.value_or(0); };
    EXPECT_LT(rms(run.After()), rms(run.Before()));
    if (revert) run.Revert(VirtualSeconds());
    else run.Keep(true, VirtualSeconds());
    ASSERT_TRUE(line.Finish(run, 3000));
    EXPECT_EQ(run.End(), RunEnd::Finished);
    EXPECT_EQ(run.Decision(), revert ? TuneDecision::Reverted : TuneDecision::Saved);
    const sim::Parameters& now = line.emulator.CurrentParameters();
    EXPECT_EQ(now.proportionalK, revert ? 30 : run.KpAfter());
    EXPECT_EQ(now.levelingK, revert ? 2 : run.KlAfter());
    EXPECT_EQ(line.emulator.SavedParameters().proportionalK, revert ? 30 : run.KpAfter());
  }
}

}  // namespace
}  // namespace velkor
