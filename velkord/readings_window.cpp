// readings_window.cpp: gathering and summing up the readings of an interval.
#include "readings_window.h"

#include <algorithm>
#include <cstdio>

#include "json_string.h"

namespace velkor::daemon {

void ReadingsWindow::Add(uint8_t type, const PanelValues& values) {
  for (const LiveReadingInfo& info : LIVE_READINGS) {
    if ((info.reports & ReportBit(type)) == 0 || !Reported(values, info)) continue;
    ReadingStats& s = stats_[Index(info.reading)];
    const int32_t value = info.read(values);
    s.min = s.count == 0 ? value : std::min(s.min, value);
    s.max = s.count == 0 ? value : std::max(s.max, value);
    s.sum += value;
    ++s.count;
  }
}

bool ReadingsWindow::Empty() const {
  return std::all_of(stats_.begin(), stats_.end(), [](const ReadingStats& s) { return s.count == 0; });
}

std::string ReadingsWindow::TakeJson() {
  std::string json = "{";
  for (const LiveReadingInfo& info : LIVE_READINGS) {
    const ReadingStats& s = stats_[Index(info.reading)];
    if (s.count == 0) continue;
    char mean[32];
    std::snprintf(mean, sizeof mean, "%.6g", static_cast<double>(s.sum) / s.count);
    if (json.size() > 1) json += ",";
    json += JsonString(info.name) + ":{\"min\":" + std::to_string(s.min) + ",\"max\":" + std::to_string(s.max) +
            ",\"mean\":" + mean + ",\"count\":" + std::to_string(s.count) + "}";
  }
  Clear();
  return json + "}";
}

}  // namespace velkor::daemon
