// command_decoder.h: the driver's reading of the host-to-driver direction.
// Takes the byte stream apart into command frames, the wake byte and the
// keep-alive byte. Kept on its own, with no state beyond one frame, so that it
// can be fed arbitrary bytes. Depends on the frame codec's check byte.
#pragma once

#include <cstdint>

namespace velkor::sim {

// One command frame as it stood on the wire.
struct CommandFrame {
  uint8_t seq = 0;    // 0..127
  uint8_t code = 0;   // 0..63, sign bit removed
  int16_t value = 0;
  uint8_t check = 0;  // the closing byte, bit 7 included
};

enum class HostInputKind { kNothing, kWake, kKeepAlive, kCommand };

struct HostInput {
  HostInputKind kind = HostInputKind::kNothing;
  CommandFrame command;  // meaningful for kCommand only
};

// Fed one byte at a time in arrival order. A frame is accepted only in the
// shape the panel's encoder gives it: sequence byte, code byte, at most three
// value groups, no trailing zero group, no "negative zero", a magnitude that
// fits a signed 16-bit value and the right check byte. Anything else is
// dropped without a word, as line noise is. A byte with bit 7 set that does
// not close a valid frame is taken on its own: 0xFF wakes, 0x80 keeps a jog
// alive, so a wake byte that lands on a fragment of noise still wakes.
struct CommandDecoder {
  static constexpr uint8_t MAX_DATA_BYTES = 5;  // seq, code, three groups

  uint8_t sum = 0;  // seed plus every data byte of the current frame
  uint8_t count = 0;  // data bytes so far, saturating one past the limit
  uint8_t bytes[MAX_DATA_BYTES] = {};

  CommandDecoder() { Restart(); }
  HostInput FeedByte(uint8_t byte);
  void Restart();
};

}  // namespace velkor::sim
