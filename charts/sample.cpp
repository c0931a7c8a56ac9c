// sample.cpp: reading PanelValues through the readings table.
#include "sample.h"

namespace velkor::charts {

Sample SampleOf(const PanelValues& values, double seconds) {
  Sample sample;
  sample.seconds = seconds;
  for (const LiveReadingInfo& info : LIVE_READINGS) {
    sample.values[Index(info.reading)] = info.read(values);
    if (Reported(values, info)) sample.known |= static_cast<uint16_t>(1u << Index(info.reading));
  }
  return sample;
}

Sample GapAt(double seconds) {
  Sample sample;
  sample.seconds = seconds;
  sample.gap = true;
  return sample;
}

}  // namespace velkor::charts
