// crawl_analysis.h: the currents over one electrical period, read during a
// slow rotation. Readings are binned by the phase the driver reports, one bin
// per microstep (the phase runs 0 .. 4 × division − 1: four full steps make an
// electrical period). From the bins: mean set, mean measured and error per
// microstep, the ripple of the current vector's length, the error near the
// zero crossings, the 3rd and 5th harmonics; and the measured A against B
// points beside the ideal circle. Storage is made by Start; feeding allocates
// nothing. Depends on reading_stream.h, basis.h and the link's ReportListener.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "basis.h"
#include "reading_stream.h"
#include "report_listener.h"

namespace velkor::analysis {

inline constexpr int FULL_STEPS_PER_REVOLUTION = 200;
inline constexpr int FULL_STEPS_PER_PERIOD = 4;
inline constexpr int PERIODS_PER_REVOLUTION = FULL_STEPS_PER_REVOLUTION / FULL_STEPS_PER_PERIOD;
inline constexpr double MIN_READINGS_PER_PERIOD = 50;
// A crawl lasts until each bin has had about this many readings of each winding.
inline constexpr double READINGS_PER_BIN = 3;
// The jog speed is set in whole rpm.
inline constexpr int MIN_CRAWL_RPM = 1;
// The bins within this share of the amplitude of zero are "near a zero crossing".
inline constexpr double ZERO_CROSSING_SHARE = 0.25;
inline constexpr size_t DEFAULT_MAX_POINTS = 20000;

// The highest whole speed at which each electrical period spans at least
// MIN_READINGS_PER_PERIOD readings, and how long to crawl at it.
struct CrawlProposal {
  int rpm = MIN_CRAWL_RPM;
  double readingsPerPeriod = 0;  // at that speed
  bool enoughReadings = false;   // false: even MIN_CRAWL_RPM is too fast for the rate
  double seconds = 0;            // to fill every bin READINGS_PER_BIN times, two periods at least
  double travelSteps = 0;        // microsteps travelled in that time
};
// `readingRateHz`: readings of one winding a second; `division`: microsteps
// per full step. Unknown for a rate or division that is not positive.
std::optional<CrawlProposal> ProposeCrawl(double readingRateHz, int division);

struct CrawlBin {
  uint64_t readingsA = 0, readingsB = 0;
  std::optional<double> setA, measuredA, errorA;  // mA, means
  std::optional<double> setB, measuredB, errorB;
  std::optional<double> lengthMa;  // mean measured vector length
};

struct CrawlPoint {
  int16_t a = 0, b = 0;  // measured mA
};

struct CrawlFigures {
  Basis basis;  // readings of both windings
  int division = 0;
  std::vector<CrawlBin> bins;  // 4 × division, by phase
  uint64_t emptyBins = 0;      // bins without a reading of either winding
  uint64_t outOfRangePhases = 0;
  // Peak-to-peak of the bins' vector length over twice its middle, in %.
  std::optional<double> ripplePercent;
  std::optional<double> idealRadiusMa;     // mean length of the set vector
  std::optional<double> measuredRadiusMa;  // mean length of the measured vector
  // Mean |error| of both windings over the bins near a zero crossing.
  std::optional<double> zeroCrossingErrorMa;
  std::optional<double> zeroCrossingErrorPercent;  // of the ideal radius
  // Harmonics of the measured current over the bins, in % of the
  // fundamental; unknown where fewer than half the bins have readings or the
  // bins are too few to tell the harmonic.
  std::optional<double> harmonic3PercentA, harmonic3PercentB;
  std::optional<double> harmonic5PercentA, harmonic5PercentB;
  std::vector<CrawlPoint> points;  // at most the capacity given to Start
  uint64_t pointsLeftOut = 0;
};

class CrawlAnalyzer : public ReportListener {
 public:
  // Empties the bins and sizes them for the division (this allocates).
  void Start(int division, size_t maxPoints = DEFAULT_MAX_POINTS);
  void SetJogging(bool jogging) { stream_.SetJogging(jogging); }
  // Reports stop coming for a while by the caller's choice; see ReadingStream.
  void Pause() { stream_.Pause(); }
  void WatchBadFrames(const uint64_t* counter) { stream_.WatchBadFrames(counter); }

  void OnReport(uint8_t type, int16_t value, double time) override;
  void OnLinkReset(double time) override;

  CrawlFigures Figures() const;

 private:
  struct Sums {
    uint64_t countA = 0, countB = 0, countLength = 0;
    int64_t setA = 0, measuredA = 0, setB = 0, measuredB = 0;
    double length = 0, setLength = 0;
  };
  int division_ = 0;
  ReadingStream stream_;
  std::vector<Sums> sums_;
  std::vector<CrawlPoint> points_;
  size_t maxPoints_ = 0;
  uint64_t pointsLeftOut_ = 0, outOfRange_ = 0;
  std::optional<WindingReading> lastA_;  // for the vector of A and B together
  uint64_t readings_ = 0;
  double first_ = 0, last_ = 0;
};

}  // namespace velkor::analysis
