// sample.h: one time-stamped sample of every live reading, taken from
// PanelValues after a poll tick. Depends on the link's live readings table.
#pragma once

#include <array>
#include <cstdint>

#include "panel_values.h"
#include "live_readings.h"

namespace velkor::charts {

struct Sample {
  double seconds = 0;  // on a monotonic clock; only differences mean anything
  std::array<int32_t, LIVE_READING_COUNT> values{};

  int32_t operator[](LiveReading reading) const { return values[Index(reading)]; }
};

Sample TakeSample(const PanelValues& values, double seconds);

}  // namespace velkor::charts
