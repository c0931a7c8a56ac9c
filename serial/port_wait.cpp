// port_wait.cpp: ppoll and nanosleep against CLOCK_MONOTONIC deadlines; VTIME
// counts tenths of a second and cannot say 2 ms.
#include "port_wait.h"

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cerrno>

namespace velkor {
namespace {

timespec Remaining(PortClock::time_point deadline) {
  const auto left = std::max(deadline - PortClock::now(), PortClock::duration::zero());
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
  return timespec{static_cast<time_t>(seconds.count()),
                  static_cast<long>(std::chrono::nanoseconds(left - seconds).count())};
}

}  // namespace

void SleepUntil(PortClock::time_point deadline) {
  for (;;) {
    const timespec wait = Remaining(deadline);
    if (wait.tv_sec == 0 && wait.tv_nsec == 0) return;
    nanosleep(&wait, nullptr);  // an interrupted sleep just goes round again
  }
}

int PollUntil(int fd, short events, PortClock::time_point deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const timespec wait = Remaining(deadline);
    const int ready = ppoll(&entry, 1, &wait, nullptr);
    if (ready > 0) return entry.revents;
    if (ready == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

bool HungUp(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, 0) > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace velkor
