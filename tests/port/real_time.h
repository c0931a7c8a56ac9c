// real_time.h: real-time scheduling for the threads that stand in for the
// driver. Hardware keeps its timing whatever the machine is doing; a test peer
// on a busy machine can oversleep by more than the 2 ms that end a read, so it
// asks for SCHED_FIFO (root may have it; without it the test runs, only looser).
#pragma once

#include <pthread.h>
#include <sched.h>

namespace velkor::test {

// Real-time scheduling for the calling thread while this lives. Threads
// started meanwhile inherit it and keep it.
class RealTimeScope {
 public:
  RealTimeScope() {
    pthread_getschedparam(pthread_self(), &policy_, &previous_);
    sched_param priority{};
    priority.sched_priority = 10;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
  }
  ~RealTimeScope() { pthread_setschedparam(pthread_self(), policy_, &previous_); }
  RealTimeScope(const RealTimeScope&) = delete;
  RealTimeScope& operator=(const RealTimeScope&) = delete;

 private:
  int policy_ = SCHED_OTHER;
  sched_param previous_{};
};

}  // namespace velkor::test
