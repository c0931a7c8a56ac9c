// pwm_ceiling.h: where the driver's PWM tops out, and whether the current
// regulation was lost there. The driver's PWM scale is stated nowhere, so the
// ceiling is either given by the operator or found in the readings: a PWM
// plateau that the driver held while asking for clearly different currents.
// Plain C++, no allocation; depends on nothing.
#pragma once

#include <cstdint>
#include <optional>

namespace velkor::analysis {

enum class CeilingSource : uint8_t {
  Unknown,    // no ceiling given and none seen
  FromData,   // found in the readings
  FromOperator,
};

// A PWM at least this share of the ceiling is at the ceiling.
inline constexpr double NEAR_CEILING_SHARE = 0.97;
// A plateau counts as the ceiling when at least this many readings sit on it
// and the set currents they had differ by at least this share of the largest.
inline constexpr uint64_t CEILING_MIN_READINGS = 3;
inline constexpr double CEILING_MIN_SET_SPREAD = 0.10;
// Regulation is lost when at least this many readings, and this share of all,
// had the PWM at its ceiling and the measured current short of the set one.
inline constexpr uint64_t LOST_MIN_READINGS = 3;
inline constexpr double LOST_MIN_SHARE = 0.02;

// The tolerance around a set current: the larger of a share of it and a
// fixed margin.
struct Tolerance {
  double percent = 5.0;
  double milliamperes = 20.0;
};
double ToleranceMa(const Tolerance& tolerance, int16_t set);
// Whether the measured current fell short of the set one beyond the
// tolerance (smaller in magnitude, whatever the sign).
bool ShortOfSet(const Tolerance& tolerance, int16_t set, int16_t measured);
// Whether a PWM is at the ceiling.
bool AtCeiling(int16_t pwm, double ceiling);

// Finds a PWM ceiling in one pass over readings: the highest PWM magnitude
// seen, taken for the ceiling only when it is a plateau as described above.
class CeilingFinder {
 public:
  explicit CeilingFinder(Tolerance tolerance = {}) : tolerance_(tolerance) {}
  void Add(int16_t set, int16_t measured, int16_t pwm);
  std::optional<double> Ceiling() const;

 private:
  Tolerance tolerance_;
  int highest_ = -1;
  uint64_t onPlateau_ = 0;
  int lowestSet_ = 0, highestSet_ = 0;
};

// The ceiling to use: the operator's when given, else the one found.
struct Ceiling {
  std::optional<double> pwm;
  CeilingSource source = CeilingSource::Unknown;
};
Ceiling ChooseCeiling(std::optional<double> operatorFullScale, std::optional<double> found);

// Whether a run of readings lost regulation: `lost` of `readings` at the
// ceiling and short, `short` short at all. Unknown when readings fell short
// but no ceiling is known; false when none fell short, ceiling or not.
std::optional<bool> RegulationLost(const Ceiling& ceiling, uint64_t readings, uint64_t lost, uint64_t shortOfSet);

}  // namespace velkor::analysis
