// sample.cpp: reading PanelValues through the readings table.
#include "sample.h"

namespace velkor::charts {

Sample TakeSample(const PanelValues& values, double seconds) {
  Sample sample;
  sample.seconds = seconds;
  for (const LiveReadingInfo& info : LIVE_READINGS) sample.values[Index(info.reading)] = info.read(values);
  return sample;
}

}  // namespace velkor::charts
