// report_reader.h: reads what an Emulator put on the line as the panel's frame
// decoder sees it, with the time each report's last byte arrived. For tests;
// depends on the link's frame codec and on emulator.h.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "emulator.h"
#include "frame.h"

namespace velkor::sim::testing {

struct TimedReport {
  uint8_t type;
  int16_t value;
  uint64_t atUs;
};

class ReportReader {
 public:
  // Everything sent so far, decoded; frames split across calls are joined.
  std::vector<TimedReport> Read(Emulator& emulator) {
    std::vector<TimedReport> reports;
    uint8_t buffer[Emulator::MAX_UNTAKEN_BYTES];
    const size_t count = emulator.TakeOutput(buffer, sizeof buffer);
    bytes_ += count;
    for (size_t i = 0; i < count; ++i)
      if (const auto r = decoder_.FeedByte(buffer[i])) reports.push_back({r->type, r->value, emulator.NowMicroseconds()});
    return reports;
  }

  // Moves the emulator on in steps of `stepUs` for `totalUs`, reading after each.
  std::vector<TimedReport> Run(Emulator& emulator, uint64_t totalUs, uint32_t stepUs = 100) {
    std::vector<TimedReport> reports;
    for (uint64_t t = 0; t < totalUs; t += stepUs) {
      emulator.Advance(stepUs);
      for (const TimedReport& r : Read(emulator)) reports.push_back(r);
    }
    return reports;
  }

  size_t BytesRead() const { return bytes_; }

 private:
  FrameDecoder decoder_;
  size_t bytes_ = 0;
};

inline std::optional<int16_t> LastValue(const std::vector<TimedReport>& reports, uint8_t type) {
  std::optional<int16_t> value;
  for (const TimedReport& r : reports)
    if (r.type == type) value = r.value;
  return value;
}

inline size_t CountOf(const std::vector<TimedReport>& reports, uint8_t type) {
  size_t n = 0;
  for (const TimedReport& r : reports) n += r.type == type;
  return n;
}

inline void SendFrame(Emulator& emulator, uint8_t seq, uint8_t code, int16_t value) {
  const Frame frame = EncodeCommandFrame(seq, code, value);
  emulator.Receive(frame.bytes, frame.size);
}

inline void SendByte(Emulator& emulator, uint8_t byte) { emulator.Receive(&byte, 1); }

}  // namespace velkor::sim::testing
