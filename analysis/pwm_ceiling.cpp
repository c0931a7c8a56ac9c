// pwm_ceiling.cpp: the tolerance, the plateau that makes a ceiling, and the
// rule for lost regulation.
#include "pwm_ceiling.h"

#include <algorithm>
#include <cstdlib>

namespace velkor::analysis {
namespace {

// Readings this close to the highest PWM are on its plateau: a PWM at its
// ceiling still wavers by a count or so.
int PlateauMargin(int pwm) { return std::max(1, pwm / 200); }

}  // namespace

double ToleranceMa(const Tolerance& tolerance, int16_t set) {
  return std::max(tolerance.percent / 100.0 * std::abs(int{set}), tolerance.milliamperes);
}

bool ShortOfSet(const Tolerance& tolerance, int16_t set, int16_t measured) {
  return std::abs(int{set}) - std::abs(int{measured}) > ToleranceMa(tolerance, set);
}

bool AtCeiling(int16_t pwm, double ceiling) { return std::abs(int{pwm}) >= NEAR_CEILING_SHARE * ceiling; }

// One pass: a new highest PWM well above the plateau so far starts a new
// plateau; a little above it only raises it.
void CeilingFinder::Add(int16_t set, int16_t, int16_t pwm) {
  const int magnitude = std::abs(int{pwm});
  const int current = std::abs(int{set});
  if (magnitude > highest_) {
    if (magnitude > highest_ + PlateauMargin(magnitude)) onPlateau_ = 0;
    highest_ = magnitude;
  }
  if (magnitude < highest_ - PlateauMargin(highest_)) return;
  if (onPlateau_ == 0) lowestSet_ = highestSet_ = current;
  ++onPlateau_;
  lowestSet_ = std::min(lowestSet_, current);
  highestSet_ = std::max(highestSet_, current);
}

// The driver held the PWM while asking for clearly different currents: it
// could not give more. A plateau of one set current is just a steady state.
std::optional<double> CeilingFinder::Ceiling() const {
  if (highest_ <= 0 || onPlateau_ < CEILING_MIN_READINGS) return std::nullopt;
  if (highestSet_ - lowestSet_ < CEILING_MIN_SET_SPREAD * highestSet_) return std::nullopt;
  return highest_;
}

Ceiling ChooseCeiling(std::optional<double> operatorFullScale, std::optional<double> found) {
  if (operatorFullScale && *operatorFullScale > 0) return {operatorFullScale, CeilingSource::FromOperator};
  if (found) return {found, CeilingSource::FromData};
  return {};
}

std::optional<bool> RegulationLost(const Ceiling& ceiling, uint64_t readings, uint64_t lost, uint64_t shortOfSet) {
  if (shortOfSet == 0) return readings > 0 ? std::optional<bool>(false) : std::nullopt;
  if (!ceiling.pwm) return std::nullopt;
  return lost >= LOST_MIN_READINGS && static_cast<double>(lost) >= LOST_MIN_SHARE * static_cast<double>(readings);
}

}  // namespace velkor::analysis
