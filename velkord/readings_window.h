// readings_window.h: the live readings decimated over an interval: for each
// reading the driver reported in it, its minimum, maximum, mean and how many
// values came, as the readings topic carries them. A reading is taken from
// the link's values at every report that makes it, so a driver reporting
// faster than the interval is summed up, never sampled. Depends on the link's
// table of live readings.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "live_readings.h"

namespace velkor::daemon {

struct ReadingStats {
  int32_t min = 0;
  int32_t max = 0;
  int64_t sum = 0;
  uint32_t count = 0;
};

class ReadingsWindow {
 public:
  // The report of `type` was applied to `values`.
  void Add(uint8_t type, const PanelValues& values);
  bool Empty() const;
  // {"<name>":{"min","max","mean","count"},...} of what came, then empty again.
  std::string TakeJson();
  void Clear() { stats_ = {}; }

 private:
  std::array<ReadingStats, LIVE_READING_COUNT> stats_ = {};
};

}  // namespace velkor::daemon
