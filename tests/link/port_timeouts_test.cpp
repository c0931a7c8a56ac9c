// port_timeouts_test.cpp: when a read ends, in virtual time: the whole time
// with nothing, the interval after the last byte, never past the whole time,
// and at once when the buffer is full.
#include "port_timeouts.h"

#include <gtest/gtest.h>

namespace velkor {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

const PortClock::time_point T0{};

TEST(PortReadRules, ARead120BytesLongEndsByItsRules) {
  {  // nothing comes: 50 + 1 × 120 ms
    const PortRead read = BeginPortRead(DRIVER_TIMEOUTS, 120, T0);
    EXPECT_FALSE(PortReadDone(read, T0 + milliseconds(169)));
    EXPECT_TRUE(PortReadDone(read, T0 + milliseconds(170)));
  }
  {  // a byte at 30 ms: 2 ms later, unless another comes
    PortRead read = BeginPortRead(DRIVER_TIMEOUTS, 120, T0);
    NoteArrival(read, DRIVER_TIMEOUTS, 1, T0 + milliseconds(30));
    EXPECT_FALSE(PortReadDone(read, T0 + microseconds(31'999)));
    NoteArrival(read, DRIVER_TIMEOUTS, 4, T0 + microseconds(31'500));
    EXPECT_FALSE(PortReadDone(read, T0 + microseconds(33'499)));
    EXPECT_TRUE(PortReadDone(read, T0 + microseconds(33'500)));
    EXPECT_EQ(read.got, 5u);
  }
  {  // a byte just before the whole time is up does not extend it
    PortRead read = BeginPortRead(DRIVER_TIMEOUTS, 120, T0);
    NoteArrival(read, DRIVER_TIMEOUTS, 1, T0 + milliseconds(169));
    EXPECT_TRUE(PortReadDone(read, T0 + milliseconds(170)));
  }
  {  // a full buffer ends it at once; an empty arrival changes nothing
    PortRead read = BeginPortRead(DRIVER_TIMEOUTS, 120, T0);
    NoteArrival(read, DRIVER_TIMEOUTS, 0, T0 + milliseconds(5));
    EXPECT_FALSE(PortReadDone(read, T0 + milliseconds(100)));
    NoteArrival(read, DRIVER_TIMEOUTS, 120, T0 + milliseconds(10));
    EXPECT_TRUE(PortReadDone(read, T0 + milliseconds(10)));
  }
}

TEST(PortReadRules, ASmallerReadHasASmallerWholeTime) {
  const PortRead read = BeginPortRead(DRIVER_TIMEOUTS, 10, T0);
  EXPECT_FALSE(PortReadDone(read, T0 + milliseconds(59)));
  EXPECT_TRUE(PortReadDone(read, T0 + milliseconds(60)));
}

}  // namespace
}  // namespace velkor
