// sweep_analysis.cpp: recording a sweep's steps and the figures over them.
#include "sweep_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "codes.h"

namespace velkor::analysis {
namespace {

bool Troubled(const SweepStepFigures& step) { return step.regulationLost == true || step.errorsRisen; }

}  // namespace

void SweepRecorder::BeginStep(double targetRpm, double time, size_t capacity) {
  EndStep(time);
  SweepStepReadings& step = steps_.emplace_back();
  step.targetRpm = targetRpm;
  step.start = step.end = time;
  step.readings.reserve(capacity);
  step.speeds.reserve(capacity);
  startLosses_ = Losses();
  recording_ = true;
}

void SweepRecorder::EndStep(double time) {
  if (!recording_) return;
  SweepStepReadings& step = steps_.back();
  step.end = time;
  const LossCounts now = Losses();
  step.losses = {now.lostReadings - startLosses_.lostReadings, now.gaps - startLosses_.gaps,
                 now.badFrames - startLosses_.badFrames, now.linkResets - startLosses_.linkResets};
  recording_ = false;
  stream_.Pause();
}

LossCounts SweepRecorder::Losses() const {
  const LossCounts a = stream_.Losses(Winding::A), b = stream_.Losses(Winding::B);
  return {a.lostReadings + b.lostReadings, a.gaps + b.gaps, a.badFrames, a.linkResets};
}

void SweepRecorder::OnReport(uint8_t type, int16_t value, double time) {
  const std::optional<WindingReading> reading = stream_.Feed(type, value, time);
  if (!recording_) return;
  SweepStepReadings& step = steps_.back();
  // Kept only within the storage reserved: no allocation while recording.
  if (type == RPT_STATUS && step.speeds.size() < step.speeds.capacity()) step.speeds.push_back(value);
  if (reading && step.readings.size() < step.readings.capacity()) step.readings.push_back(*reading);
}

void SweepRecorder::OnLinkReset(double time) { stream_.Reset(time); }

void SweepRecorder::Clear() {
  steps_.clear();
  recording_ = false;
  stream_.Clear();
}

SweepFigures AnalyzeSweep(const std::vector<SweepStepReadings>& given, const SweepSettings& settings) {
  std::vector<const SweepStepReadings*> steps;
  for (const SweepStepReadings& step : given) steps.push_back(&step);
  std::stable_sort(steps.begin(), steps.end(), [](const auto* x, const auto* y) {
    return std::abs(x->targetRpm) < std::abs(y->targetRpm);
  });

  CeilingFinder finder(settings.tolerance);
  for (const SweepStepReadings* step : steps)
    for (const WindingReading& r : step->readings)
      if (r.pwm) finder.Add(r.set, r.measured, *r.pwm);
  SweepFigures f;
  f.ceiling = ChooseCeiling(settings.pwmFullScale, finder.Ceiling());

  for (const SweepStepReadings* step : steps) {
    SweepStepFigures s;
    s.targetRpm = step->targetRpm;
    s.basis.readings = step->readings.size();
    s.basis.lostReadings = step->losses.lostReadings;
    s.basis.gaps = step->losses.gaps;
    s.basis.badFrames = step->losses.badFrames;
    s.basis.linkResets = step->losses.linkResets;
    if (!step->readings.empty()) {
      s.basis.spanSeconds = step->readings.back().time - step->readings.front().time;
      if (s.basis.readings >= 2 && s.basis.spanSeconds > 0)
        s.basis.rateHz = static_cast<double>(s.basis.readings - 1) / s.basis.spanSeconds;
    }
    if (!step->speeds.empty()) {
      double sum = 0, sum2 = 0;
      for (const int16_t v : step->speeds) sum += v, sum2 += static_cast<double>(v) * v;
      const double n = static_cast<double>(step->speeds.size());
      const double mean = sum / n;
      s.meanSpeedRpm = mean;
      s.speedRippleRpm = std::sqrt(std::max(0.0, sum2 / n - mean * mean));
      if (mean != 0) s.speedRipplePercent = 100.0 * *s.speedRippleRpm / std::abs(mean);
    }
    double error2 = 0, magnitude[WINDING_COUNT] = {};
    uint64_t count[WINDING_COUNT] = {}, withPwm = 0, near = 0, lost = 0, shortOfSet = 0;
    for (const WindingReading& r : step->readings) {
      const double error = int{r.measured} - int{r.set};
      error2 += error * error;
      const size_t w = static_cast<size_t>(r.winding);
      magnitude[w] += std::abs(int{r.measured});
      ++count[w];
      const bool isShort = ShortOfSet(settings.tolerance, r.set, r.measured);
      shortOfSet += isShort;
      if (!r.pwm) continue;
      ++withPwm;
      const bool atCeiling = f.ceiling.pwm && AtCeiling(*r.pwm, *f.ceiling.pwm);
      near += atCeiling;
      lost += atCeiling && isShort;
    }
    if (!step->readings.empty()) s.rmsErrorMa = std::sqrt(error2 / static_cast<double>(step->readings.size()));
    if (count[0] > 0 && count[1] > 0)
      s.meanTotalCurrentMa = magnitude[0] / static_cast<double>(count[0]) + magnitude[1] / static_cast<double>(count[1]);
    if (withPwm > 0 && f.ceiling.pwm) s.nearCeilingPercent = 100.0 * static_cast<double>(near) / static_cast<double>(withPwm);
    s.regulationLost = RegulationLost(f.ceiling, step->readings.size(), lost, shortOfSet);
    f.steps.push_back(s);
  }

  // Errors are measured against the slowest step that has any.
  std::optional<double> baseline;
  for (SweepStepFigures& s : f.steps) {
    if (!s.rmsErrorMa) continue;
    if (!baseline) {
      baseline = s.rmsErrorMa;
      continue;
    }
    s.errorsRisen = *s.rmsErrorMa > std::max(ERROR_RISE_FACTOR * *baseline, *baseline + ERROR_RISE_MARGIN_MA);
  }
  for (const SweepStepFigures& s : f.steps) {
    if (s.regulationLost == true && !f.regulationLostRpm) f.regulationLostRpm = std::abs(s.targetRpm);
    if (s.errorsRisen && !f.errorRiseRpm) f.errorRiseRpm = std::abs(s.targetRpm);
  }
  for (const SweepStepFigures& s : f.steps) {
    if (Troubled(s)) break;
    if (!s.rmsErrorMa) continue;
    if (!f.jogFromRpm) f.jogFromRpm = std::abs(s.targetRpm);
    f.jogToRpm = std::abs(s.targetRpm);
  }
  return f;
}

}  // namespace velkor::analysis
