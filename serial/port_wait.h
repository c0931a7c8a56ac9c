// port_wait.h: waiting on a descriptor or the clock up to a deadline, as the
// ports' timed reads and writes do. Depends on POSIX poll and port_timeouts.h.
#pragma once

#include "port_timeouts.h"

namespace velkor {

// Waits for `events` on fd until the deadline; an expired deadline still looks
// once, so a reader held up by the scheduler takes what has come meanwhile.
// Returns the revents, 0 on timeout, -1 with errno on failure.
int PollUntil(int fd, short events, PortClock::time_point deadline);

void SleepUntil(PortClock::time_point deadline);

// Whether poll says the descriptor has hung up or failed, without waiting.
bool HungUp(int fd);

}  // namespace velkor
