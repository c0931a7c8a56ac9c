// sweep_analysis.h: behaviour against speed. The motor is jogged at a series
// of speeds and the readings of each are kept apart (SweepRecorder, a
// ReportListener); AnalyzeSweep then gives per speed the RMS tracking error,
// the share of PWM at its ceiling, the speed ripple, the mean total current
// and whether regulation was lost, and over all speeds where regulation is
// lost, where errors rise and a range of jog speeds to use. Depends on
// reading_stream.h, basis.h, pwm_ceiling.h and the link's ReportListener.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "basis.h"
#include "pwm_ceiling.h"
#include "reading_stream.h"
#include "report_listener.h"

namespace velkor::analysis {

// Errors have risen at a step whose RMS error exceeds both this many times
// that of the slowest step and it plus the margin below.
inline constexpr double ERROR_RISE_FACTOR = 2.0;
inline constexpr double ERROR_RISE_MARGIN_MA = 20.0;
inline constexpr size_t DEFAULT_READINGS_PER_STEP = 8192;

struct SweepStepReadings {
  double targetRpm = 0;
  std::vector<WindingReading> readings;
  std::vector<int16_t> speeds;  // every status report's speed, rpm
  LossCounts losses;            // both windings' gaps together
  double start = 0, end = 0;    // seconds, steady clock
};

struct SweepSettings {
  Tolerance tolerance;
  std::optional<double> pwmFullScale;  // the operator's, when known
};

struct SweepStepFigures {
  double targetRpm = 0;
  Basis basis;
  std::optional<double> meanSpeedRpm;
  std::optional<double> speedRippleRpm;      // standard deviation of the speed
  std::optional<double> speedRipplePercent;  // of the mean speed
  std::optional<double> rmsErrorMa;          // both windings
  std::optional<double> nearCeilingPercent;  // readings with PWM at the ceiling
  std::optional<double> meanTotalCurrentMa;  // mean |A| + mean |B|, as the panel sums them
  std::optional<bool> regulationLost;
  bool errorsRisen = false;
};

struct SweepFigures {
  std::vector<SweepStepFigures> steps;  // in the order given
  Ceiling ceiling;
  std::optional<double> regulationLostRpm;  // the slowest step that lost it
  std::optional<double> errorRiseRpm;       // the slowest step whose errors rose
  // From the slowest step to the fastest one below any trouble; unknown when
  // the slowest is already in trouble or no step has readings.
  std::optional<double> jogFromRpm, jogToRpm;
};

// The steps are taken in order of their target speed's magnitude.
SweepFigures AnalyzeSweep(const std::vector<SweepStepReadings>& steps, const SweepSettings& settings = {});

class SweepRecorder : public ReportListener {
 public:
  // Starts a step: what comes until the next BeginStep or EndStep is its.
  // Between EndStep and BeginStep reports need not be fed.
  // Reserves its storage (this allocates); readings past it are not kept.
  void BeginStep(double targetRpm, double time, size_t capacity = DEFAULT_READINGS_PER_STEP);
  void EndStep(double time);
  void SetJogging(bool jogging) { stream_.SetJogging(jogging); }
  void WatchBadFrames(const uint64_t* counter) { stream_.WatchBadFrames(counter); }

  void OnReport(uint8_t type, int16_t value, double time) override;
  void OnLinkReset(double time) override;

  const std::vector<SweepStepReadings>& Steps() const { return steps_; }
  void Clear();

 private:
  LossCounts Losses() const;
  ReadingStream stream_;
  std::vector<SweepStepReadings> steps_;
  bool recording_ = false;
  LossCounts startLosses_;
};

}  // namespace velkor::analysis
