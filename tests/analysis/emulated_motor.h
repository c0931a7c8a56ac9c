// emulated_motor.h: the emulator driven in virtual time, its bytes decoded
// and every report handed to the listeners with its time, as the link does:
// each millisecond, or in reads at the irregular periods given, each report
// back-dated from its read by its bytes' line time.
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
  std::vector<uint32_t> readPeriodsMs;  // in turn; none: a read each millisecond
  size_t nextRead = 0;
  uint64_t readDueUs = 0;
  std::vector<uint8_t> unread;

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
      unread.insert(unread.end(), bytes, bytes + emulator.TakeOutput(bytes, sizeof bytes));
      if (emulator.NowMicroseconds() < readDueUs) continue;
      if (!readPeriodsMs.empty()) readDueUs += readPeriodsMs[nextRead++ % readPeriodsMs.size()] * 1000;
      for (size_t i = 0; i < unread.size(); ++i)
        if (const auto report = decoder.FeedByte(unread[i]))
          for (ReportListener* l : listeners)
            l->OnReport(report->type, report->value, Now() - static_cast<double>(unread.size() - 1 - i) * BYTE_SECONDS);
      unread.clear();
    }
  }
};

}  // namespace velkor::analysis
