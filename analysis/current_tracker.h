// current_tracker.h: how well the driver holds its currents, live. Fed with
// every report and its arrival time (a ReportListener on the link), it keeps
// the winding readings of a sliding window and gives, per winding and per
// motion state, the tracking figures; the imbalance between the windings; and
// the voltage headroom. Each report costs a constant time and allocates
// nothing: the window's storage is made when the settings change. Depends on
// the link's ReportListener and on reading_stream.h, basis.h, pwm_ceiling.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "basis.h"
#include "pwm_ceiling.h"
#include "reading_stream.h"
#include "report_listener.h"

namespace velkor::analysis {

inline constexpr double DEFAULT_WINDOW_SECONDS = 2.0;
inline constexpr double MIN_WINDOW_SECONDS = 0.1;
inline constexpr double MAX_WINDOW_SECONDS = 60.0;
// The most readings of one winding a second that the window is sized for:
// more than the 38400-baud line can carry, 3840 bytes a second of which a
// report takes at least two.
inline constexpr double MAX_READINGS_PER_SECOND = 2000.0;

struct TrackerSettings {
  double windowSeconds = DEFAULT_WINDOW_SECONDS;  // clamped to MIN..MAX_WINDOW_SECONDS
  Tolerance tolerance;
  // The driver's PWM full scale, when the operator knows it; otherwise the
  // ceiling is looked for in the readings.
  std::optional<double> pwmFullScale;
};

// Figures of one winding over a set of readings; each unknown without
// readings (the ratio also without a set current).
struct TrackingFigures {
  Basis basis;
  std::optional<double> biasMa;                   // mean of measured − set
  std::optional<double> rmsErrorMa;               // RMS of measured − set
  std::optional<double> p95ErrorMa;               // 95th percentile of |measured − set|
  std::optional<double> maxErrorMa;               // largest |measured − set|
  std::optional<double> outsideTolerancePercent;  // share of readings outside the tolerance
  std::optional<double> ratio;                    // RMS measured / RMS set; 1 is ideal
};

struct WindingFigures {
  TrackingFigures all;
  std::array<TrackingFigures, MOTION_STATE_COUNT> byState;  // indexed by MotionState
};

// The imbalance rests only on readings whose set current is at least this
// share of the largest one of either winding in the window: a winding that
// carries little current (at rest near its zero crossing) makes an
// ill-conditioned ratio. Each winding needs this many such readings.
inline constexpr double IMBALANCE_MIN_SET_SHARE = 0.3;
inline constexpr uint64_t IMBALANCE_MIN_READINGS = 20;

// Ratio of A less ratio of B (RMS measured / RMS set over the readings above),
// in %: positive when B carries less than A. When unknown, `why` says why.
struct ImbalanceFigures {
  Basis basis;  // the winding with fewer readings used
  std::optional<double> percent;
  const char* why = nullptr;
};

// Both windings together: where the PWM stays at its ceiling while the
// measured current falls short of the set current, the supply voltage no
// longer suffices.
struct HeadroomFigures {
  Basis basis;
  Ceiling ceiling;
  std::optional<double> nearCeilingPercent;  // readings with the PWM at the ceiling
  std::optional<double> lostPercent;         // ... and the current short of set
  std::optional<bool> regulationLost;
  // The lowest shaft speed among the readings that lost regulation.
  std::optional<double> lossSpeedRpm;
  // The highest shaft speed among the readings that were not short of set.
  std::optional<double> heldSpeedRpm;
};

struct TrackerFigures {
  double windowSeconds = DEFAULT_WINDOW_SECONDS;
  Tolerance tolerance;
  std::array<WindingFigures, WINDING_COUNT> windings;  // indexed by Winding
  ImbalanceFigures imbalance;
  HeadroomFigures headroom;
};

class CurrentTracker : public ReportListener {
 public:
  explicit CurrentTracker(const TrackerSettings& settings = {});

  // New settings empty the window and size its storage (this allocates).
  void Configure(const TrackerSettings& settings);
  const TrackerSettings& Settings() const { return settings_; }
  // The operator's jog, which tells a starting shaft from a holding one.
  void SetJogging(bool jogging) { stream_.SetJogging(jogging); }
  // The link decoder's bad-frame count, read at each report.
  void WatchBadFrames(const uint64_t* counter) { stream_.WatchBadFrames(counter); }
  // Reports stop coming for a while by the caller's choice; see ReadingStream.
  void Pause() { stream_.Pause(); }
  // Forgets every reading and loss, keeps the settings.
  void Clear();

  void OnReport(uint8_t type, int16_t value, double time) override;
  void OnLinkReset(double time) override;

  // The figures over the window that ends at `now`. Costs a pass over the
  // window; meant for a refresh a few times a second, not for every report.
  // Allocates nothing.
  TrackerFigures Figures(double now);

 private:
  struct Entry {
    WindingReading reading;
    LossCounts lossBefore;  // the winding's counts before this reading came
  };
  struct Ring {
    std::vector<Entry> entries;
    size_t next = 0, count = 0;
  };
  void Push(const WindingReading& reading, const LossCounts& before);
  TrackingFigures Track(Winding winding, std::optional<MotionState> state, double from, double now);
  ImbalanceFigures Imbalance(double from, double now);
  HeadroomFigures Headroom(double from, double now, const Basis& a, const Basis& b);
  Basis BasisOf(Winding winding, uint64_t readings, double first, double last, const LossCounts& before) const;

  TrackerSettings settings_;
  ReadingStream stream_;
  std::array<Ring, WINDING_COUNT> rings_;
  std::vector<double> scratch_;  // |errors| for the percentile, sized with the rings
  std::optional<double> foundCeiling_;  // the highest ceiling found since Clear
};

}  // namespace velkor::analysis
