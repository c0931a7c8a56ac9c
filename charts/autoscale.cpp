// autoscale.cpp: hysteresis between "data outside" and "data lost in the range".
#include "autoscale.h"

#include <algorithm>
#include <cmath>

namespace velkor::charts {

namespace {

constexpr double MARGIN = 0.1;       // of the data's extent, each side
constexpr double MIN_FILL = 0.4;     // below this share the range shrinks
constexpr double MIN_EXTENT = 2.0;   // a flat trace still gets a band: the readings are integers
constexpr double CLEARANCE = 0.02;   // of the range: a trace along an edge is hard to see

}  // namespace

AxisRange Autoscaled(AxisRange current, double low, double high) {
  const double extent = std::max(high - low, MIN_EXTENT);
  const double clearance = CLEARANCE * (current.high - current.low);
  const bool inside = low >= current.low + clearance && high <= current.high - clearance;
  const bool fills = extent >= MIN_FILL * (current.high - current.low);
  if (inside && fills) return current;
  const double middle = (low + high) / 2;
  const double half = extent * (0.5 + MARGIN);
  return {middle - half, middle + half};
}

double TickStep(AxisRange range, int ticks) {
  const double exact = (range.high - range.low) / std::max(ticks, 1);
  if (!(exact > 1)) return 1;
  const double power = std::pow(10, std::floor(std::log10(exact)));
  for (const double factor : {1.0, 2.0, 5.0})
    if (factor * power >= exact) return factor * power;
  return 10 * power;
}

AxisRange RoundedOut(AxisRange range, double step) {
  return {std::floor(range.low / step) * step, std::ceil(range.high / step) * step};
}

}  // namespace velkor::charts
