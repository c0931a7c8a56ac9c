// basis.h: what a figure rests on: how many readings, at what rate, over what
// span of time, and how many were lost on the way. A figure whose basis holds
// no readings is unknown, never 0. Plain data, no dependencies.
#pragma once

#include <cstdint>
#include <optional>

namespace velkor::analysis {

struct Basis {
  uint64_t readings = 0;
  std::optional<double> rateHz;  // readings a second; unknown below two readings
  double spanSeconds = 0;        // from the first reading to the last
  uint64_t lostReadings = 0;     // readings that should have come in the gaps
  uint64_t gaps = 0;
  uint64_t badFrames = 0;
  uint64_t linkResets = 0;
};

}  // namespace velkor::analysis
