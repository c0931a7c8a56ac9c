// sample.h: one time-stamped sample of every live reading, taken from
// PanelValues after a poll tick. Depends on reading.h.
#pragma once

#include <array>
#include <cstdint>

#include "panel_values.h"
#include "reading.h"

namespace velkor::charts {

struct Sample {
  double seconds = 0;  // on a monotonic clock; only differences mean anything
  std::array<int32_t, READING_COUNT> values{};

  int32_t operator[](Reading reading) const { return values[Index(reading)]; }
};

Sample TakeSample(const PanelValues& values, double seconds);

}  // namespace velkor::charts
