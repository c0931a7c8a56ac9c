// reading_stream.cpp: pairing reports into winding readings, the motion
// state from the speed, and the count of what was lost.
#include "reading_stream.h"

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
    case RPT_PHASE: phase_ = {value, time, true}; break;
    case RPT_SET_CURRENT_A:
    case RPT_SET_CURRENT_B: set_[winding(type, RPT_SET_CURRENT_A)] = {value, time, true}; break;
    case RPT_PWM_A:
    case RPT_PWM_B: pwm_[winding(type, RPT_PWM_A)] = {value, time, true}; break;
    case RPT_STATUS: NoteStatus(value, time); break;
    case RPT_ACTUAL_CURRENT_A:
    case RPT_ACTUAL_CURRENT_B: {
      const size_t w = winding(type, RPT_ACTUAL_CURRENT_A);
      NoteInterval(w, time);
      const Latest& set = set_[w];
      if (!FreshValue(set.heard, set.value, set.time, time)) return std::nullopt;
      WindingReading reading;
      reading.time = time;
      reading.winding = static_cast<Winding>(w);
      reading.set = set.value;
      reading.measured = value;
      reading.pwm = FreshValue(pwm_[w].heard, pwm_[w].value, pwm_[w].time, time);
      reading.speed = FreshValue(speed_.heard, speed_.value, speed_.time, time);
      reading.phase = FreshValue(phase_.heard, phase_.value, phase_.time, time);
      reading.state = state_;
      return reading;
    }
    default: break;
  }
  return std::nullopt;
}

// A reading's interval to the one before: the usual interval follows the
// steady ones slowly, drops at once to a shorter one (the driver reports
// faster), and one well past it is a gap.
void ReadingStream::NoteInterval(size_t w, double time) {
  if (measuredHeard_[w]) {
    const double dt = time - lastMeasured_[w];
    std::optional<double>& usual = interval_[w];
    if (dt > 0) {
      if (!usual || dt < *usual / GAP_FACTOR) {
        usual = dt;
      } else if (dt > *usual * GAP_FACTOR) {
        ++gaps_[w];
        lost_[w] += static_cast<uint64_t>(std::lround(dt / *usual)) - 1;
      } else {
        *usual += 0.05 * (dt - *usual);
      }
    }
  }
  lastMeasured_[w] = time;
  measuredHeard_[w] = true;
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
    measuredHeard_[w] = false;
  }
  speed_ = {};
  phase_ = {};
  statuses_ = 0;
  reference_ = 0;
  state_ = MotionState::Holding;
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
