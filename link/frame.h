// frame.h: the shape of every frame on the wire. 7-bit data bytes closed by a
// check byte with bit 7 set, so a receiver always finds the end of a frame.
// EncodeCommandFrame builds host-to-driver frames, FrameDecoder takes
// driver-to-host report frames apart byte by byte. No dependencies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace velkor {

inline constexpr uint8_t CHECK_SEED = 0x5A;
inline constexpr size_t MAX_FRAME_SIZE = 8;  // fixed transmit area; frames use at most 6

// The check byte that closes a frame whose bytes (seed included) sum to `sum`.
uint8_t CheckByte(uint8_t sum);

struct Frame {
  uint8_t bytes[MAX_FRAME_SIZE] = {};
  uint8_t size = 0;
  uint8_t check = 0;  // the last byte, kept by the caller for acknowledgements
};

// seq, code (with bit 6 for a negative value), 0..3 magnitude groups, check byte.
Frame EncodeCommandFrame(uint8_t seq, uint8_t code, int16_t value);

// type (with bit 6 for a negative value), 0..3 magnitude groups, check byte.
// The driver's side of the wire; the panel only decodes these.
Frame EncodeReportFrame(uint8_t type, int16_t value);

struct Report {
  uint8_t type = 0;   // 0..63
  int16_t value = 0;
};

// Decoder of report frames. Fed one byte at a time in arrival order; returns a
// report the moment its check byte arrives and matches.
struct FrameDecoder {
  static constexpr uint8_t COUNT_LIMIT = 8;  // rxCount saturates here: frame too long

  uint8_t rxSum = CHECK_SEED;
  uint8_t rxCount = 0;
  uint8_t rxType = 0;
  uint8_t rxNegative = 0;  // 0 or 0x40
  uint16_t rxValue = 0;
  // Frames dropped since the decoder was made: a check byte that did not
  // match, or a frame too long. Restart leaves it, so it tells how many were
  // lost over a whole run.
  uint64_t badFrames = 0;

  std::optional<Report> FeedByte(uint8_t byte);

  // What a link reset does: back to the start of a frame, sign bit cleared too.
  void Restart();
};

}  // namespace velkor
