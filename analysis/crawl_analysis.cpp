// crawl_analysis.cpp: binning by phase and the figures over the bins.
#include "crawl_analysis.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace velkor::analysis {
namespace {

constexpr double SECONDS_PER_MINUTE = 60;

double Mean(int64_t sum, uint64_t count) { return static_cast<double>(sum) / static_cast<double>(count); }

// The harmonic's magnitude in % of the fundamental, from the bins that have
// a mean; needs more than twice the harmonic's order in bins, and half of
// them filled.
std::optional<double> HarmonicPercent(const std::vector<CrawlBin>& bins, bool windingA, int order) {
  const size_t n = bins.size();
  if (n <= static_cast<size_t>(2 * order)) return std::nullopt;
  std::complex<double> fundamental, harmonic;
  size_t filled = 0;
  for (size_t k = 0; k < n; ++k) {
    const std::optional<double>& m = windingA ? bins[k].measuredA : bins[k].measuredB;
    if (!m) continue;
    ++filled;
    const double angle = 2 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(n);
    fundamental += *m * std::polar(1.0, -angle);
    harmonic += *m * std::polar(1.0, -order * angle);
  }
  if (2 * filled < n || std::abs(fundamental) == 0) return std::nullopt;
  return 100.0 * std::abs(harmonic) / std::abs(fundamental);
}

}  // namespace

std::optional<CrawlProposal> ProposeCrawl(double readingRateHz, int division) {
  if (!(readingRateHz > 0) || division <= 0) return std::nullopt;
  // rpm × PERIODS_PER_REVOLUTION / 60 periods a second, each to span
  // MIN_READINGS_PER_PERIOD readings.
  const double fastest = readingRateHz * SECONDS_PER_MINUTE / (PERIODS_PER_REVOLUTION * MIN_READINGS_PER_PERIOD);
  CrawlProposal p;
  p.rpm = std::max(MIN_CRAWL_RPM, static_cast<int>(std::floor(fastest)));
  p.enoughReadings = fastest >= MIN_CRAWL_RPM;
  const double periodSeconds = SECONDS_PER_MINUTE / (p.rpm * PERIODS_PER_REVOLUTION);
  p.readingsPerPeriod = readingRateHz * periodSeconds;
  const double bins = FULL_STEPS_PER_PERIOD * division;
  const double periods = std::max(2.0, std::ceil(READINGS_PER_BIN * bins / p.readingsPerPeriod));
  p.seconds = periods * periodSeconds;
  p.travelSteps = periods * bins;
  return p;
}

void CrawlAnalyzer::Start(int division, size_t maxPoints) {
  division_ = std::max(1, division);
  sums_.assign(static_cast<size_t>(FULL_STEPS_PER_PERIOD * division_), Sums{});
  points_.clear();
  points_.reserve(maxPoints);
  maxPoints_ = maxPoints;
  pointsLeftOut_ = outOfRange_ = readings_ = 0;
  lastA_.reset();
  stream_.Clear();
  first_ = last_ = 0;
}

void CrawlAnalyzer::OnReport(uint8_t type, int16_t value, double time) {
  const std::optional<WindingReading> reading = stream_.Feed(type, value, time);
  if (!reading || sums_.empty()) return;
  if (!reading->phase || *reading->phase < 0 || static_cast<size_t>(*reading->phase) >= sums_.size()) {
    ++outOfRange_;
    return;
  }
  if (readings_ == 0) first_ = reading->time;
  last_ = reading->time;
  ++readings_;
  Sums& bin = sums_[static_cast<size_t>(*reading->phase)];
  if (reading->winding == Winding::A) {
    ++bin.countA;
    bin.setA += reading->set;
    bin.measuredA += reading->measured;
    lastA_ = reading;
    return;
  }
  ++bin.countB;
  bin.setB += reading->set;
  bin.measuredB += reading->measured;
  // The vector needs A from the same moment and the same microstep.
  if (!lastA_ || reading->time - lastA_->time > PAIRING_SECONDS || lastA_->phase != reading->phase) return;
  ++bin.countLength;
  bin.length += std::hypot(static_cast<double>(lastA_->measured), static_cast<double>(reading->measured));
  bin.setLength += std::hypot(static_cast<double>(lastA_->set), static_cast<double>(reading->set));
  if (points_.size() < maxPoints_)
    points_.push_back({lastA_->measured, reading->measured});
  else
    ++pointsLeftOut_;
  lastA_.reset();
}

void CrawlAnalyzer::OnLinkReset(double time) {
  stream_.Reset(time);
  lastA_.reset();
}

CrawlFigures CrawlAnalyzer::Figures() const {
  CrawlFigures f;
  f.division = division_;
  f.basis.readings = readings_;
  if (readings_ > 0) f.basis.spanSeconds = last_ - first_;
  if (readings_ >= 2 && last_ > first_) f.basis.rateHz = static_cast<double>(readings_ - 1) / (last_ - first_);
  const LossCounts a = stream_.Losses(Winding::A), b = stream_.Losses(Winding::B);
  f.basis.lostReadings = a.lostReadings + b.lostReadings;
  f.basis.gaps = a.gaps + b.gaps;
  f.basis.badFrames = a.badFrames;
  f.basis.linkResets = a.linkResets;
  f.outOfRangePhases = outOfRange_;
  f.points = points_;
  f.pointsLeftOut = pointsLeftOut_;

  double lengthLow = 0, lengthHigh = 0, lengthSum = 0, setLengthSum = 0;
  uint64_t lengthBins = 0;
  for (const Sums& s : sums_) {
    CrawlBin bin;
    bin.readingsA = s.countA;
    bin.readingsB = s.countB;
    if (s.countA > 0) {
      bin.setA = Mean(s.setA, s.countA);
      bin.measuredA = Mean(s.measuredA, s.countA);
      bin.errorA = *bin.measuredA - *bin.setA;
    }
    if (s.countB > 0) {
      bin.setB = Mean(s.setB, s.countB);
      bin.measuredB = Mean(s.measuredB, s.countB);
      bin.errorB = *bin.measuredB - *bin.setB;
    }
    if (s.countLength > 0) {
      const double length = s.length / static_cast<double>(s.countLength);
      bin.lengthMa = length;
      lengthLow = lengthBins == 0 ? length : std::min(lengthLow, length);
      lengthHigh = std::max(lengthHigh, length);
      lengthSum += length;
      setLengthSum += s.setLength / static_cast<double>(s.countLength);
      ++lengthBins;
    }
    if (s.countA == 0 && s.countB == 0) ++f.emptyBins;
    f.bins.push_back(bin);
  }
  if (lengthBins > 0) {
    f.measuredRadiusMa = lengthSum / static_cast<double>(lengthBins);
    f.idealRadiusMa = setLengthSum / static_cast<double>(lengthBins);
    if (lengthHigh + lengthLow > 0) f.ripplePercent = 100.0 * (lengthHigh - lengthLow) / (lengthHigh + lengthLow);
  }

  // Near a zero crossing: the winding's set current within a share of the
  // radius of zero.
  if (f.idealRadiusMa && *f.idealRadiusMa > 0) {
    const double near = ZERO_CROSSING_SHARE * *f.idealRadiusMa;
    double sum = 0;
    uint64_t count = 0;
    for (const CrawlBin& bin : f.bins) {
      if (bin.setA && std::abs(*bin.setA) <= near) sum += std::abs(*bin.errorA), ++count;
      if (bin.setB && std::abs(*bin.setB) <= near) sum += std::abs(*bin.errorB), ++count;
    }
    if (count > 0) {
      f.zeroCrossingErrorMa = sum / static_cast<double>(count);
      f.zeroCrossingErrorPercent = 100.0 * *f.zeroCrossingErrorMa / *f.idealRadiusMa;
    }
  }
  f.harmonic3PercentA = HarmonicPercent(f.bins, true, 3);
  f.harmonic3PercentB = HarmonicPercent(f.bins, false, 3);
  f.harmonic5PercentA = HarmonicPercent(f.bins, true, 5);
  f.harmonic5PercentB = HarmonicPercent(f.bins, false, 5);
  return f;
}

}  // namespace velkor::analysis
