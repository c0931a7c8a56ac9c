// virtual_line.h: the link controller and the emulator joined by an
// in-memory pipe, in virtual time. Each tick moves the emulator on by 1 ms and
// then runs PollTick, which reads what the emulator sent meanwhile: the panel's
// 1 ms timer without a clock on the wall. Depends on the link and sim/.
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

// A Port whose far end is an Emulator. What the panel writes reaches the
// emulator at once; reads take what the emulator has put on the line.
class EmulatorPipe : public Port {
 public:
  explicit EmulatorPipe(Emulator& emulator) : emulator_(emulator) {}
  size_t Read(uint8_t* buffer, size_t capacity) override { return emulator_.TakeOutput(buffer, capacity); }
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
  uint64_t ticks = 0;

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
    ++ticks;
  }

  void RunMs(uint32_t ms) {
    for (uint32_t i = 0; i < ms; ++i) Tick();
  }

  // Ticks until `done` holds after a tick, at most `limitMs` ticks; true if it came.
  bool RunUntil(const std::function<bool()>& done, uint32_t limitMs) {
    for (uint32_t i = 0; i < limitMs; ++i) {
      Tick();
      if (done()) return true;
    }
    return false;
  }

  bool Connected() const { return link.state.readyWord == READY_CONNECTED; }
};

}  // namespace velkor::sim::testing
