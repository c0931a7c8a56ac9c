// autoscale.cpp: hysteresis between "data outside" and "data lost in the range".
#include "autoscale.h"

#include <algorithm>

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

}  // namespace velkor::charts
