// marker.h: an event in a stream of readings that is not itself a reading: the
// driver connected, the link was lost, a parameter took a new value, a save was
// acknowledged. Recordings write them as rows of their own; the chart keeps
// them beside its samples. Plain C++.
#pragma once

#include <cstdint>
#include <string>

namespace velkor::charts {

enum class MarkerKind : uint8_t { Connected, LinkLost, Parameter, Saved };

struct Marker {
  double seconds = 0;  // on the samples' clock
  MarkerKind kind = MarkerKind::Connected;
  // Parameter: its profile name and value, "motionCurrent=1500"; otherwise empty.
  std::string text;
};

// The word in a file's event column: "connected", "link_lost", "saved", or the
// parameter's "name=value".
std::string EventWord(const Marker& marker);

}  // namespace velkor::charts
