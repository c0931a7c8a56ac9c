// emulated_motor.h: the emulator driven in virtual time, its bytes decoded
// and every report handed to the listeners with its time, as the link does.
// For the analysis tests. Depends on sim/ and the link's frame codec.
#pragma once

#include <vector>

#include "codes.h"
#include "emulator.h"
#include "frame.h"
#include "report_listener.h"

namespace velkor::analysis {

struct EmulatedMotor {
  sim::Emulator emulator;
  FrameDecoder decoder;
  std::vector<ReportListener*> listeners;
  uint8_t seq = 10;

  explicit EmulatedMotor(const sim::MotorFlaws& flaws) : emulator(Options(flaws)) {
    emulator.Receive(&WAKE_BYTE, 1);
    Command(CMD_SET_JOG_ACCEL, 0);  // at speed at once
  }
  static sim::EmulatorOptions Options(const sim::MotorFlaws& flaws) {
    sim::EmulatorOptions options;
    options.readingsPerStatus = 8;
    options.flaws = flaws;
    return options;
  }
  double Now() const { return static_cast<double>(emulator.NowMicroseconds()) / 1e6; }
  void Command(uint8_t code, int16_t value) {
    const Frame f = EncodeCommandFrame(seq, code, value);
    seq = static_cast<uint8_t>(seq == 99 ? 10 : seq + 1);
    emulator.Receive(f.bytes, f.size);
    Run(0.02);
  }
  void Jog(int16_t rpm) {
    Command(CMD_SET_JOG_SPEED, rpm);
    Command(CMD_ACTION, ACT_ROTATE_RIGHT);
  }
  // Keep-alives every 50 ms hold a jog.
  void Run(double seconds) {
    const uint64_t end = emulator.NowMicroseconds() + static_cast<uint64_t>(seconds * 1e6);
    uint8_t bytes[256];
    while (emulator.NowMicroseconds() < end) {
      if (emulator.NowMicroseconds() % 50000 == 0) emulator.Receive(&KEEP_ALIVE_BYTE, 1);
      emulator.Advance(1000);
      const size_t n = emulator.TakeOutput(bytes, sizeof bytes);
      for (size_t i = 0; i < n; ++i)
        if (const auto report = decoder.FeedByte(bytes[i]))
          for (ReportListener* l : listeners) l->OnReport(report->type, report->value, Now());
    }
  }
};

}  // namespace velkor::analysis
