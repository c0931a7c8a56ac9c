// marker.cpp: a marker's word in a file's event column.
#include "marker.h"

namespace velkor::charts {

std::string EventWord(const Marker& marker) {
  switch (marker.kind) {
    case MarkerKind::Connected: return "connected";
    case MarkerKind::LinkLost: return "link_lost";
    case MarkerKind::Saved: return "saved";
    case MarkerKind::Parameter: return marker.text;
  }
  return marker.text;
}

}  // namespace velkor::charts
