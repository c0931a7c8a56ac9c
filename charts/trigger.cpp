// trigger.cpp: the trigger's states, its conditions and the captures kept.
#include "trigger.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>

namespace velkor::charts {

namespace {

// Times come from a clock as doubles: a sample a nanosecond off an edge of
// the pre- or post-trigger length still belongs to it.
constexpr double TIME_EPSILON = 1e-9;
// Auto mode waits at least this for a trigger, however short the capture.
constexpr double MIN_AUTO_WAIT_SECONDS = 0.05;

// What a marker triggers, if anything, and its words as the cause.
std::optional<TriggerSource> SourceOf(const Marker& marker) {
  switch (marker.kind) {
    case MarkerKind::Connected: return TriggerSource::LinkConnected;
    case MarkerKind::LinkLost: return TriggerSource::LinkLost;
    case MarkerKind::Parameter: return TriggerSource::ParameterChange;
    case MarkerKind::Saved: return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::string MarkerWords(const Marker& marker) {
  switch (marker.kind) {
    case MarkerKind::Connected: return "Связь установлена";
    case MarkerKind::LinkLost: return "Обрыв связи";
    case MarkerKind::Parameter: return "Параметр " + marker.text;
    case MarkerKind::Saved: return "Сохранено";
  }
  return marker.text;
}

namespace {

bool KnownError(const Sample& sample, Winding winding) {
  return winding == Winding::A ? sample.Known(LiveReading::ActualCurrentA) && sample.Known(LiveReading::SetCurrentA)
                               : sample.Known(LiveReading::ActualCurrentB) && sample.Known(LiveReading::SetCurrentB);
}

double TrackingError(const Sample& sample, Winding winding) {
  return winding == Winding::A ? std::abs(double(sample[LiveReading::ActualCurrentA]) - sample[LiveReading::SetCurrentA])
                               : std::abs(double(sample[LiveReading::ActualCurrentB]) - sample[LiveReading::SetCurrentB]);
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

void TriggerEngine::Configure(const TriggerSettings& settings) {
  settings_ = settings;
  settings_.preSeconds = std::clamp(settings.preSeconds, 0.0, MAX_CAPTURE_SIDE_SECONDS);
  settings_.postSeconds = std::clamp(settings.postSeconds, 0.0, MAX_CAPTURE_SIDE_SECONDS);
  settings_.holdOffSeconds = std::max(settings.holdOffSeconds, 0.0);
  Disarm();
}

void TriggerEngine::Arm() {
  state_ = TriggerState::Armed;
  rearmed_ = false;
  armedTimeKnown_ = false;
}

void TriggerEngine::Disarm() {
  state_ = captures_.empty() ? TriggerState::Idle : TriggerState::Held;
  rearmed_ = false;
}

void TriggerEngine::SetKept(int count) {
  kept_ = std::clamp(count, 1, MAX_KEPT_CAPTURES);
  while (captures_.size() > static_cast<size_t>(kept_)) captures_.pop_front();
}

void TriggerEngine::ClearCaptures() {
  captures_.clear();
  if (state_ == TriggerState::Held) state_ = rearmed_ ? TriggerState::Armed : TriggerState::Idle;
}

void TriggerEngine::OnSample(const Sample& sample) {
  recent_.push_back(sample);
  while (recent_.front().seconds < sample.seconds - MAX_CAPTURE_SIDE_SECONDS - TIME_EPSILON) recent_.pop_front();
  while (!recentMarkers_.empty() && recentMarkers_.front().seconds < sample.seconds - MAX_CAPTURE_SIDE_SECONDS - TIME_EPSILON)
    recentMarkers_.pop_front();

  if (state_ == TriggerState::Triggered) {
    const double end = collecting_.triggerSeconds + settings_.postSeconds;
    if (sample.seconds <= end + TIME_EPSILON) collecting_.samples.push_back(sample);
    if (sample.seconds >= end - TIME_EPSILON) Finish();
  }
  const bool armed = state_ == TriggerState::Armed || (state_ == TriggerState::Held && rearmed_);
  if (armed) {
    if (!armedTimeKnown_) {
      armedSeconds_ = sample.seconds;
      armedTimeKnown_ = true;
    }
    const bool heldOff = triggeredOnce_ && sample.seconds - lastTrigger_ < settings_.holdOffSeconds;
    if (!heldOff && Crossed(sample)) {
      const LiveReadingInfo& info = LIVE_READINGS[Index(settings_.reading)];
      const double value = settings_.source == TriggerSource::Reading ? sample[settings_.reading]
                                                                      : TrackingError(sample, settings_.winding);
      const std::string name = settings_.source == TriggerSource::Reading
                                   ? info.label
                                   : std::string("Ошибка слежения ") + (settings_.winding == Winding::A ? "A" : "B");
      Fire(sample.seconds, false, name + " = " + Number(value));
    } else if (settings_.mode == TriggerMode::Auto &&
               sample.seconds - armedSeconds_ >= std::max(settings_.preSeconds + settings_.postSeconds, MIN_AUTO_WAIT_SECONDS)) {
      Fire(sample.seconds, true, "без события (авто)");
    }
  }
  previous_ = sample;
  havePrevious_ = !sample.gap;
}

void TriggerEngine::OnMarker(const Marker& marker) {
  recentMarkers_.push_back(marker);
  if (state_ == TriggerState::Triggered) collecting_.markers.push_back(marker);
  const bool armed = state_ == TriggerState::Armed || (state_ == TriggerState::Held && rearmed_);
  if (!armed || SourceOf(marker) != settings_.source) return;
  if (triggeredOnce_ && marker.seconds - lastTrigger_ < settings_.holdOffSeconds) return;
  Fire(marker.seconds, false, MarkerWords(marker));
}

bool TriggerEngine::Crossed(const Sample& sample) const {
  if (!havePrevious_) return false;
  double before = 0;
  double now = 0;
  if (settings_.source == TriggerSource::Reading) {
    if (!previous_.Known(settings_.reading) || !sample.Known(settings_.reading)) return false;
    before = previous_[settings_.reading];
    now = sample[settings_.reading];
  } else if (settings_.source == TriggerSource::TrackingError) {
    // Only the step above the bound triggers, not every sample that stays above.
    return KnownError(previous_, settings_.winding) && KnownError(sample, settings_.winding) &&
           TrackingError(previous_, settings_.winding) <= settings_.bound &&
           TrackingError(sample, settings_.winding) > settings_.bound;
  } else {
    return false;
  }
  const bool rising = before < settings_.level && now >= settings_.level;
  const bool falling = before > settings_.level && now <= settings_.level;
  switch (settings_.edge) {
    case TriggerEdge::Rising: return rising;
    case TriggerEdge::Falling: return falling;
    case TriggerEdge::Either: return rising || falling;
  }
  return false;
}

void TriggerEngine::Fire(double seconds, bool forced, std::string cause) {
  collecting_ = Capture{seconds, forced, std::move(cause), {}, {}};
  for (const Sample& sample : recent_)
    if (sample.seconds >= seconds - settings_.preSeconds - TIME_EPSILON && sample.seconds <= seconds)
      collecting_.samples.push_back(sample);
  for (const Marker& marker : recentMarkers_)
    if (marker.seconds >= seconds - settings_.preSeconds - TIME_EPSILON && marker.seconds <= seconds)
      collecting_.markers.push_back(marker);
  state_ = TriggerState::Triggered;
  rearmed_ = false;
  lastTrigger_ = seconds;
  triggeredOnce_ = true;
  if (settings_.postSeconds <= 0) Finish();
}

void TriggerEngine::Finish() {
  captures_.push_back(std::move(collecting_));
  collecting_ = {};
  while (captures_.size() > static_cast<size_t>(kept_)) captures_.pop_front();
  ++completed_;
  state_ = TriggerState::Held;
  rearmed_ = settings_.mode != TriggerMode::Single;
  armedTimeKnown_ = false;
}

}  // namespace velkor::charts
