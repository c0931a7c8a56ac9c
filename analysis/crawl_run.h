// crawl_run.h: the crawl test: the motor turns slowly at one speed for a
// time (or a travel) while the crawl analysis takes every reading, so that
// the currents of A against B trace the circle of the set currents. Stepped
// by the caller after every tick; starts only when the caller has the
// operator's confirmation, stops at once on Stop, ends by itself after its
// time. Depends on the motion run and the analysis core's crawl analysis.
#pragma once

#include <cstdint>

#include "crawl_analysis.h"
#include "link_controller.h"
#include "motion_run.h"

namespace velkor {

struct CrawlPlan {
  int16_t rpm = 1;
  double seconds = 5;  // measured, after the motor has settled at its speed
  bool right = true;
};

// How long a crawl at `rpm` takes to travel `revolutions`.
double CrawlSecondsFor(int16_t rpm, double revolutions);

class CrawlRun : public SegmentMeasurer {
 public:
  explicit CrawlRun(Link& link);

  void Start(const CrawlPlan& settings, double now);
  void Step(double now) { motion_.Step(now); }
  void Stop(double now) { motion_.Stop(now); }

  RunEnd End() const { return motion_.End(); }
  bool Running() const { return motion_.End() == RunEnd::Running && motion_.Phase() != MotionPhase::Idle; }
  const MotionRun& Motion() const { return motion_; }
  const CrawlPlan& Plan() const { return plan_; }
  // The figures of what was measured; complete when End() is Finished.
  analysis::CrawlFigures Figures() const { return analyzer_.Figures(); }

  void OnSegmentBegin(size_t segment, double time) override;
  void OnSegmentReport(size_t segment, uint8_t type, int16_t value, double time) override;
  void OnSegmentEnd(size_t segment, double time) override;

 private:
  Link& link_;
  CrawlPlan plan_;
  analysis::CrawlAnalyzer analyzer_;
  MotionRun motion_;
};

}  // namespace velkor
