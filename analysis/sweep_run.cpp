// sweep_run.cpp: one segment a speed, each measured apart.
#include "sweep_run.h"

#include <algorithm>
#include <cmath>

namespace velkor {

size_t SweepSpeeds(const SweepPlan& settings, std::span<int16_t> out) {
  const size_t count = std::min(out.size(), static_cast<size_t>(std::max(2, settings.steps)));
  for (size_t i = 0; i < count; ++i) {
    const double share = static_cast<double>(i) / static_cast<double>(count - 1);
    out[i] = static_cast<int16_t>(std::lround(settings.fromRpm + share * (settings.toRpm - settings.fromRpm)));
  }
  return count;
}

SweepRun::SweepRun(Link& link) : motion_(link, *this) {
  recorder_.WatchBadFrames(&link.state.decoder.badFrames);
}

void SweepRun::Start(const SweepPlan& settings, double now) {
  plan_ = settings;
  recorder_.Clear();
  recorder_.SetJogging(true);
  std::array<MotionSegment, MAX_SEGMENTS> segments = {};
  const size_t count = SweepSpeeds(settings, speeds_);
  for (size_t i = 0; i < count; ++i) segments[i] = {speeds_[i], settings.holdSeconds};
  motion_.Start({segments.data(), count}, settings.right, now);
}

// Each speed's storage is reserved as it begins, while the motor settles on it.
void SweepRun::OnSegmentBegin(size_t segment, double time) { recorder_.BeginStep(speeds_[segment], time); }

void SweepRun::OnSegmentReport(size_t, uint8_t type, int16_t value, double time) {
  recorder_.OnReport(type, value, time);
}

void SweepRun::OnSegmentEnd(size_t, double time) { recorder_.EndStep(time); }

}  // namespace velkor
