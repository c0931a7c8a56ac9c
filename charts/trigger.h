// trigger.h: capture on a trigger, as an oscilloscope does it. The engine is
// fed every sample and the link's and parameters' events in time order; it
// keeps the samples of the pre-trigger length, and when its condition is met
// it goes on collecting for the post-trigger length, then holds the capture.
// Single mode holds it until armed again; normal mode arms again at once;
// auto mode also captures without a trigger when none came within the
// capture's own length. The last captures are kept, oldest dropped first.
// Plain C++; depends on sample.h and marker.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "marker.h"
#include "sample.h"

namespace velkor::charts {

enum class TriggerSource : uint8_t { Reading, LinkConnected, LinkLost, ParameterChange, TrackingError };
enum class TriggerEdge : uint8_t { Rising, Falling, Either };
enum class TriggerMode : uint8_t { Single, Normal, Auto };
// Idle: not armed. Armed: waiting for the condition. Triggered: collecting
// the samples after it. Held: a capture is complete and shown (normal and
// auto modes are armed again while it is shown: see Rearmed()).
enum class TriggerState : uint8_t { Idle, Armed, Triggered, Held };
enum class Winding : uint8_t { A, B };

inline constexpr double MAX_CAPTURE_SIDE_SECONDS = 30;
inline constexpr int MAX_KEPT_CAPTURES = 20;
// A saved capture's header gives its trigger's time under this key, in the
// seconds of its time column.
inline constexpr std::string_view TRIGGER_KEY = "trigger_s";

struct TriggerSettings {
  TriggerSource source = TriggerSource::Reading;
  LiveReading reading = LiveReading::ActualCurrentA;
  TriggerEdge edge = TriggerEdge::Rising;
  double level = 0;
  double holdOffSeconds = 0;  // after a trigger, no other one before this has passed
  Winding winding = Winding::A;  // of the tracking error: |measured − set|
  double bound = 0;              // the tracking error above it triggers, mA
  double preSeconds = 1;
  double postSeconds = 1;
  TriggerMode mode = TriggerMode::Single;
};

struct Capture {
  double triggerSeconds = 0;  // on the samples' clock
  bool forced = false;        // auto mode's capture without a trigger
  std::string cause;          // what triggered it, in the window's words (UTF-8)
  std::vector<Sample> samples;  // from trigger − pre to trigger + post
  std::vector<Marker> markers;  // of the same time
};

// A marker in the window's words (UTF-8): "Обрыв связи", "Параметр motionCurrent=1500".
std::string MarkerWords(const Marker& marker);

class TriggerEngine {
 public:
  // Settings clamped to what the engine can hold; the engine goes idle and
  // the samples it held for the pre-trigger length stay.
  void Configure(const TriggerSettings& settings);
  const TriggerSettings& Settings() const { return settings_; }
  void Arm();
  void Disarm();
  void SetKept(int count);
  int Kept() const { return kept_; }

  // A gap sample (the link started over) ends the stream of readings: no
  // edge is seen across it.
  void OnSample(const Sample& sample);
  // The link's events and the parameters' changes, kept in the captures and
  // triggering one when chosen.
  void OnMarker(const Marker& marker);

  TriggerState State() const { return state_; }
  // A capture is shown while the engine is armed for the next one.
  bool Rearmed() const { return rearmed_; }
  // Triggered by auto mode's clock, not by an event.
  bool CollectingForced() const { return state_ == TriggerState::Triggered && collecting_.forced; }
  // The newest last.
  const std::deque<Capture>& Captures() const { return captures_; }
  // Grows by one with each capture completed, so a window sees a new one.
  uint64_t Completed() const { return completed_; }
  void ClearCaptures();

 private:
  void Fire(double seconds, bool forced, std::string cause);
  void Finish();
  bool Crossed(const Sample& sample) const;

  TriggerSettings settings_;
  TriggerState state_ = TriggerState::Idle;
  bool rearmed_ = false;
  // The longest pre-trigger length before the newest sample, whatever the
  // length set: a longer one set later has its history at once.
  std::deque<Sample> recent_;
  std::deque<Marker> recentMarkers_;
  bool havePrevious_ = false;
  Sample previous_;
  double armedSeconds_ = 0;    // when the engine was last armed, for auto mode
  bool armedTimeKnown_ = false;
  double lastTrigger_ = 0;
  bool triggeredOnce_ = false;
  Capture collecting_;
  std::deque<Capture> captures_;
  int kept_ = 4;
  uint64_t completed_ = 0;
};

}  // namespace velkor::charts
