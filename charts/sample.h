// sample.h: one report of the driver as a sample: the time it arrived and every
// live reading as it stood just after it, with the readings reported since the
// link last started over marked known. A gap sample stands where the link
// started over: no reading is known in it, and no trace joins across it.
// Depends on the link's live readings table.
#pragma once

#include <array>
#include <cstdint>

#include "live_readings.h"
#include "panel_values.h"

namespace velkor::charts {

struct Sample {
  double seconds = 0;  // on a steady clock (a file's time column when read back)
  std::array<int32_t, LIVE_READING_COUNT> values{};
  uint16_t known = 0;  // a bit per LiveReading: reported since the link started over
  bool gap = false;

  int32_t operator[](LiveReading reading) const { return values[Index(reading)]; }
  bool Known(LiveReading reading) const { return (known >> Index(reading)) & 1u; }
};

// The readings as PanelValues holds them at `seconds`, known as reported.
Sample SampleOf(const PanelValues& values, double seconds);
// Where the link started over, at `seconds`.
Sample GapAt(double seconds);

}  // namespace velkor::charts
