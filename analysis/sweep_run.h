// sweep_run.h: the speed sweep: the motor jogs at a series of speeds between
// two bounds, each held a few seconds once settled, and the sweep analysis
// takes each speed's readings apart. Stepped by the caller after every tick;
// starts only with the operator's confirmation, stops at once on Stop, ends
// by itself after the last speed. Depends on the motion run and the analysis
// core's sweep analysis.
#pragma once

#include <cstdint>
#include <array>
#include <span>

#include "link_controller.h"
#include "motion_run.h"
#include "sweep_analysis.h"

namespace velkor {

inline constexpr double SWEEP_HOLD_SECONDS = 3.0;

struct SweepPlan {
  int16_t fromRpm = 60;
  int16_t toRpm = 600;
  int steps = 5;  // speeds, both bounds among them; 2..MAX_SEGMENTS
  double holdSeconds = SWEEP_HOLD_SECONDS;
  bool right = true;
};

// The speeds from one bound to the other in equal steps, in whole rpm; as
// many as fit in `out`.
size_t SweepSpeeds(const SweepPlan& settings, std::span<int16_t> out);

class SweepRun : public SegmentMeasurer {
 public:
  explicit SweepRun(Link& link);

  void Start(const SweepPlan& settings, double now);
  void Step(double now) { motion_.Step(now); }
  void Stop(double now) { motion_.Stop(now); }

  RunEnd End() const { return motion_.End(); }
  bool Running() const { return motion_.End() == RunEnd::Running && motion_.Phase() != MotionPhase::Idle; }
  const MotionRun& Motion() const { return motion_; }
  const SweepPlan& Plan() const { return plan_; }
  // One row per speed measured so far; complete when End() is Finished.
  // Costs a pass over every reading kept: for the end of a run or a refresh.
  analysis::SweepFigures Figures() const { return analysis::AnalyzeSweep(recorder_.Steps()); }

  void OnSegmentBegin(size_t segment, double time) override;
  void OnSegmentReport(size_t segment, uint8_t type, int16_t value, double time) override;
  void OnSegmentEnd(size_t segment, double time) override;

 private:
  SweepPlan plan_;
  std::array<int16_t, MAX_SEGMENTS> speeds_ = {};
  analysis::SweepRecorder recorder_;
  MotionRun motion_;
};

}  // namespace velkor
