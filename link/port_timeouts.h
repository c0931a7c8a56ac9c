// port_timeouts.h: the bounds of the port's reads and writes, and the rules by
// which one read ends. The rules are plain arithmetic on times the caller
// gives, so the blocking read and the panel's event-driven read share them.
// Depends on the standard library only.
#pragma once

#include <chrono>
#include <cstddef>

namespace velkor {

using PortClock = std::chrono::steady_clock;  // CLOCK_MONOTONIC on Linux

// Bounds of a read or write, in milliseconds. A read ends once `readIntervalMs`
// pass after a byte with no next byte (that timer starts at the first byte), or
// once constant + multiplier × bytes requested have passed in all. A write of n
// bytes is given constant + multiplier × n.
struct PortTimeouts {
  int readIntervalMs;
  int readTotalMultiplierMs;
  int readTotalConstantMs;
  int writeTotalMultiplierMs;
  int writeTotalConstantMs;
};

// What the VK-3 link runs with: a tick's read of 120 bytes waits at most 170 ms,
// and a frame's end shows 2 ms after its last byte.
inline constexpr PortTimeouts DRIVER_TIMEOUTS{2, 1, 50, 1, 50};

// One read under way: how much it may take, how much it has, and when it ends
// if nothing more arrives.
struct PortRead {
  size_t capacity = 0;
  size_t got = 0;
  PortClock::time_point totalEnd;  // the read's whole time is up
  PortClock::time_point end;       // totalEnd, or the interval after the last byte if sooner
};

// The whole time a read or a write of `count` bytes is given.
std::chrono::milliseconds TotalBudget(int constantMs, int multiplierMs, size_t count);

PortRead BeginPortRead(const PortTimeouts& timeouts, size_t capacity, PortClock::time_point now);
// `count` more bytes arrived at `now` (none: nothing changes).
void NoteArrival(PortRead& read, const PortTimeouts& timeouts, size_t count, PortClock::time_point now);
bool PortReadDone(const PortRead& read, PortClock::time_point now);

}  // namespace velkor
