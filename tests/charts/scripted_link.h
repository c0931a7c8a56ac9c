// scripted_link.h: a link fed reads written out by the test through the
// link's own tick, each ending at a moment of the test's steady clock. No
// port, no window: what the link sends goes nowhere.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include "codes.h"
#include "frame.h"
#include "link_controller.h"

namespace velkor::test {

class ScriptedLink : private Port, private PanelWindow {
 public:
  ScriptedLink() {
    link.state.port = this;
    link.window = this;
    link.steadyClock = [] { return now; };
  }

  // One read of these reports, ending `seconds` after 0 on the clock.
  void ReadAt(double seconds, const std::vector<std::pair<uint8_t, int16_t>>& reports) {
    size_t count = 0;
    for (auto [type, value] : reports) {
      const Frame frame = EncodeReportFrame(type, value);
      for (size_t i = 0; i < frame.size; ++i) link.state.receiveBuffer[count++] = frame.bytes[i];
    }
    now = seconds;
    BeginPollTick(link);
    EndPollTick(link, count);
  }
  // The greeting, every parameter report and a status report: connected.
  void Connect(double seconds) {
    std::vector<std::pair<uint8_t, int16_t>> handshake{{RPT_GREETING, GREETING_VALUE}};
    for (uint8_t type = RPT_ACK; type <= RPT_FAULT_CURRENT; ++type) handshake.push_back({type, 100});
    handshake.push_back({RPT_STATUS, 0});
    ReadAt(seconds, handshake);
  }
  // Empty reads each 10 ms from `seconds` on, until the watchdog gives up.
  void Silence(double seconds) {
    for (int tick = 0; tick <= MAX_SILENT_TICKS; ++tick) ReadAt(seconds + tick * 0.01, {});
  }

  Link link;

 private:
  size_t Read(uint8_t*, size_t) override { return 0; }
  void Write(const uint8_t*, size_t) override {}
  void RefreshPanel() override {}
  void ReadPanel() override {}
  void StartTick() override {}
  void StopTick() override {}
  void ShowMessage(std::string_view) override {}
  void Beep() override {}

  static inline double now = 0;
};

}  // namespace velkor::test
