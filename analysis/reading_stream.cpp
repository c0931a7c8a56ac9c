// reading_stream.cpp: pairing reports into winding readings, the motion
// state from the speed, and the count of what was lost.
#include "reading_stream.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "codes.h"

namespace velkor::analysis {
namespace {

std::optional<int16_t> FreshValue(bool heard, int16_t value, double at, double now) {
  if (!heard || now - at > PAIRING_SECONDS) return std::nullopt;
  return value;
}

}  // namespace

void ReadingStream::WatchBadFrames(const uint64_t* counter) {
  badFrameCounter_ = counter;
  badFramesSeen_ = counter ? *counter : 0;
}

void ReadingStream::NoteBadFrames() {
  if (!badFrameCounter_) return;
  const uint64_t now = *badFrameCounter_;
  // A counter that went back was replaced; only growth means frames were lost.
  if (now > badFramesSeen_) badFrames_ += now - badFramesSeen_;
  badFramesSeen_ = now;
}

std::optional<WindingReading> ReadingStream::Feed(uint8_t type, int16_t value, double time) {
  NoteBadFrames();
  const auto winding = [](uint8_t t, uint8_t a) { return static_cast<size_t>(t - a); };
  switch (type) {
    case RPT_PHASE: phase_ = {value, time, true, burst_}; break;
    case RPT_SET_CURRENT_A:
    case RPT_SET_CURRENT_B: {
      const size_t w = winding(type, RPT_SET_CURRENT_A);
      set_[w] = {value, time, true, burst_};
      if (measured_[w].heard && measured_[w].burst == burst_ && !paired_[w]) return Pair(w);
      break;
    }
    case RPT_PWM_A:
    case RPT_PWM_B: pwm_[winding(type, RPT_PWM_A)] = {value, time, true, burst_}; break;
    case RPT_STATUS:
      NoteStatus(value, time);
      for (size_t w = 0; w < WINDING_COUNT; ++w) together_[w] = set_[w].burst == burst_ && measured_[w].burst == burst_;
      ++burst_;
      break;
    case RPT_ACTUAL_CURRENT_A:
    case RPT_ACTUAL_CURRENT_B: {
      const size_t w = winding(type, RPT_ACTUAL_CURRENT_A);
      NoteInterval(w, time);
      measured_[w] = {value, time, true, burst_};
      paired_[w] = false;
      const Latest& set = set_[w];
      const bool sameBurst = set.heard && set.burst == burst_;
      const bool fresh = FreshValue(set.heard, set.value, set.time, time).has_value();
      if (sameBurst || (fresh && (state_ == MotionState::Holding || !together_[w]))) return Pair(w);
      break;
    }
    default:
      if (type < RPT_PHASE)
        for (bool& answered : answered_) answered = true;
      break;
  }
  return std::nullopt;
}

// The reading of the winding's measured current and set current.
std::optional<WindingReading> ReadingStream::Pair(size_t w) {
  paired_[w] = true;
  const double time = measured_[w].time;
  WindingReading reading;
  reading.time = time;
  reading.winding = static_cast<Winding>(w);
  reading.set = set_[w].value;
  reading.measured = measured_[w].value;
  reading.pwm = FreshValue(pwm_[w].heard, pwm_[w].value, pwm_[w].time, time);
  reading.speed = FreshValue(speed_.heard, speed_.value, speed_.time, time);
  reading.phase = FreshValue(phase_.heard, phase_.value, phase_.time, time);
  reading.state = state_;
  return reading;
}

// A reading's interval to the one before, once enough are heard. One well past
// the mean of the last ones opens a gap, unless the driver was answering
// commands meanwhile. Reports read together are back-dated from the read, so
// a late read makes one interval long and later ones short: the gap's excess
// over the median is carried, the shortfalls of the following intervals paid
// off against it and further gaps added; what is left after
// GAP_SETTLE_READINGS counts as lost readings.
void ReadingStream::NoteInterval(size_t w, double time) {
  if (measuredHeard_[w]) {
    const double dt = time - lastMeasured_[w];
    if (dt > 0) {
      std::array<double, INTERVAL_HISTORY>& history = intervals_[w];
      const size_t heard = std::min(intervalCount_[w], INTERVAL_HISTORY);
      if (heard >= MIN_INTERVALS) {
        double sum = 0;
        for (size_t i = 0; i < heard; ++i) sum += history[i];
        const double usual = sum / static_cast<double>(heard);
        interval_[w] = usual;
        Gap& gap = openGaps_[w];
        if (gap.open) {
          if (dt < gap.usual) gap.excess -= gap.usual - dt;
          if (dt > gap.usual * GAP_FACTOR) gap.excess += dt - gap.usual;
          ++gap.readings;
        } else if (dt > usual * GAP_FACTOR && !answered_[w]) {
          gap = {true, dt - usual, 0, usual};
        }
        if (gap.open && gap.excess < gap.usual / 2) {
          gap = {};
        } else if (gap.open && gap.readings >= GAP_SETTLE_READINGS) {
          ++gaps_[w];
          lost_[w] += static_cast<uint64_t>(std::max(1L, std::lround(gap.excess / gap.usual)));
          gap = {};
        }
      }
      history[intervalCount_[w] % INTERVAL_HISTORY] = dt;
      ++intervalCount_[w];
    }
  }
  lastMeasured_[w] = time;
  measuredHeard_[w] = true;
  answered_[w] = false;
}

// Holding: at rest and no jog. Accelerating: the speed differs from the one a
// span ago, or a jog has not started turning yet. Otherwise a constant speed.
void ReadingStream::NoteStatus(int16_t speed, double time) {
  speed_ = {speed, time, true};
  speeds_[statuses_ % SPEED_HISTORY] = {time, speed};
  ++statuses_;
  // The reference only moves forward: constant cost on average.
  if (statuses_ > SPEED_HISTORY && reference_ < statuses_ - SPEED_HISTORY) reference_ = statuses_ - SPEED_HISTORY;
  while (reference_ + 1 < statuses_ && time - speeds_[(reference_ + 1) % SPEED_HISTORY].time >= ACCELERATION_SPAN_SECONDS)
    ++reference_;
  const SpeedAt& before = speeds_[reference_ % SPEED_HISTORY];
  const int change = std::abs(int{speed} - int{before.speed});
  // Until a whole span has been heard the threshold shrinks with the time
  // heard, to one rpm: a shaft starting from rest is accelerating at once.
  const double heard = std::min(1.0, (time - before.time) / ACCELERATION_SPAN_SECONDS);
  const double threshold =
      std::max(1.0, heard * std::max<double>(ACCELERATION_MIN_RPM, ACCELERATION_MIN_SHARE * std::abs(int{speed})));
  if (speed == 0 && before.speed == 0)
    state_ = jogging_ ? MotionState::Accelerating : MotionState::Holding;
  else if (change >= threshold)
    state_ = MotionState::Accelerating;
  else
    state_ = MotionState::ConstantSpeed;
}

void ReadingStream::Reset(double) {
  NoteBadFrames();
  ++resets_;
  for (size_t w = 0; w < WINDING_COUNT; ++w) {
    set_[w] = {};
    pwm_[w] = {};
    measured_[w] = {};
    measuredHeard_[w] = false;
    intervalCount_[w] = 0;
    openGaps_[w] = {};
  }
  speed_ = {};
  phase_ = {};
  statuses_ = 0;
  reference_ = 0;
  state_ = MotionState::Holding;
}

void ReadingStream::Pause() {
  for (size_t w = 0; w < WINDING_COUNT; ++w) {
    measuredHeard_[w] = false;
    openGaps_[w] = {};
  }
}

LossCounts ReadingStream::Losses(Winding winding) const {
  const size_t w = static_cast<size_t>(winding);
  return {lost_[w], gaps_[w], badFrames_, resets_};
}

std::optional<double> ReadingStream::ReadingInterval(Winding winding) const {
  return interval_[static_cast<size_t>(winding)];
}

void ReadingStream::Clear() {
  const uint64_t* counter = badFrameCounter_;
  const bool jogging = jogging_;
  *this = ReadingStream{};
  jogging_ = jogging;
  WatchBadFrames(counter);
}

}  // namespace velkor::analysis
