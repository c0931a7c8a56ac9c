// virtual_line.h: the link controller and the emulator joined by an
// in-memory pipe, in virtual time. Each tick moves the emulator on by 1 ms and
// then runs PollTick, whose read waits in emulator time just as the serial
// port's read waits in real time: the panel's 1 ms timer without a clock on
// the wall. Depends on the link and sim/.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "codes.h"
#include "emulator.h"
#include "link_controller.h"
#include "recording_window.h"

namespace velkor::sim::testing {

inline constexpr uint32_t TICK_US = 1000;
inline constexpr uint32_t READ_STEP_US = 100;
inline constexpr uint32_t READ_INTERVAL_US = 2000;           // the gap that ends a read
inline constexpr uint32_t READ_TOTAL_CONSTANT_US = 50000;    // plus 1 ms a byte asked for

// A Port whose far end is an Emulator. What the panel writes reaches the
// emulator at once. A read lets emulator time pass until the buffer is full,
// or 2 ms after a byte with no next byte, or 50 ms + 1 ms a byte in all.
class EmulatorPipe : public Port {
 public:
  explicit EmulatorPipe(Emulator& emulator) : emulator_(emulator) {}
  size_t Read(uint8_t* buffer, size_t capacity) override {
    const uint64_t total = READ_TOTAL_CONSTANT_US + 1000 * uint64_t{capacity};
    size_t count = 0;
    uint64_t waited = 0, quiet = 0;
    for (;;) {
      const size_t got = emulator_.TakeOutput(buffer + count, capacity - count);
      count += got;
      if (got != 0) quiet = 0;
      if (count == capacity || (count != 0 && quiet >= READ_INTERVAL_US) || waited >= total) return count;
      emulator_.Advance(READ_STEP_US);
      waited += READ_STEP_US;
      quiet += READ_STEP_US;
    }
  }
  void Write(const uint8_t* bytes, size_t count) override {
    written_.insert(written_.end(), bytes, bytes + count);
    emulator_.Receive(bytes, count);
  }
  // Every byte the panel wrote, in order.
  const std::vector<uint8_t>& Written() const { return written_; }

 private:
  Emulator& emulator_;
  std::vector<uint8_t> written_;
};

struct VirtualLine {
  Emulator emulator;
  EmulatorPipe pipe{emulator};
  Link link;
  RecordingWindow window{link.values};

  explicit VirtualLine(EmulatorOptions options = {}) : emulator(std::move(options)) {
    link.window = &window;
    link.state.port = &pipe;
  }

  // What the panel does on choosing the port: the wake byte, then a reset.
  void Open() {
    pipe.Write(&WAKE_BYTE, 1);
    ResetLink(link);
  }

  void Tick() {
    emulator.Advance(TICK_US);
    PollTick(link);
  }

  uint64_t NowMs() const { return emulator.NowMicroseconds() / 1000; }

  void RunMs(uint32_t ms) {
    for (const uint64_t end = NowMs() + ms; NowMs() < end;) Tick();
  }

  // Ticks until `done` holds after a tick, for at most `limitMs` of emulator
  // time; true if it came.
  bool RunUntil(const std::function<bool()>& done, uint32_t limitMs) {
    for (const uint64_t end = NowMs() + limitMs; NowMs() < end;) {
      Tick();
      if (done()) return true;
    }
    return false;
  }

  bool Connected() const { return link.state.readyWord == READY_CONNECTED; }
};

}  // namespace velkor::sim::testing
