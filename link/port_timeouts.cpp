// port_timeouts.cpp: when a read ends.
#include "port_timeouts.h"

#include <algorithm>

namespace velkor {

using std::chrono::milliseconds;

milliseconds TotalBudget(int constantMs, int multiplierMs, size_t count) {
  return milliseconds(constantMs + multiplierMs * static_cast<long long>(count));
}

PortRead BeginPortRead(const PortTimeouts& timeouts, size_t capacity, PortClock::time_point now) {
  const milliseconds total = TotalBudget(timeouts.readTotalConstantMs, timeouts.readTotalMultiplierMs, capacity);
  // Waiting for the first byte is no gap: only the total bound runs until it comes.
  return PortRead{capacity, 0, now + total, now + total};
}

void NoteArrival(PortRead& read, const PortTimeouts& timeouts, size_t count, PortClock::time_point now) {
  if (count == 0) return;
  read.got += count;
  read.end = std::min(read.totalEnd, now + milliseconds(timeouts.readIntervalMs));
}

bool PortReadDone(const PortRead& read, PortClock::time_point now) {
  return read.got >= read.capacity || now >= read.end;
}

}  // namespace velkor
