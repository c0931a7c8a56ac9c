// crawl_run.cpp: one segment of motion, measured whole.
#include "crawl_run.h"

#include <cmath>

namespace velkor {

double CrawlSecondsFor(int16_t rpm, double revolutions) {
  return rpm > 0 ? std::abs(revolutions) * 60.0 / rpm : 0;
}

CrawlRun::CrawlRun(Link& link) : link_(link), motion_(link, *this) {
  analyzer_.WatchBadFrames(&link.state.decoder.badFrames);
}

void CrawlRun::Start(const CrawlPlan& plan, double now) {
  plan_ = plan;
  // The bins are sized here, before anything moves: feeding allocates nothing.
  analyzer_.Start(static_cast<int>(link_.values.stepDivision));
  analyzer_.SetJogging(true);
  const MotionSegment segment{plan.rpm, plan.seconds};
  motion_.Start({&segment, 1}, plan.right, now);
}

void CrawlRun::OnSegmentBegin(size_t, double) {}

void CrawlRun::OnSegmentReport(size_t, uint8_t type, int16_t value, double time) {
  analyzer_.OnReport(type, value, time);
}

void CrawlRun::OnSegmentEnd(size_t, double) {}

}  // namespace velkor
