// command_decoder.cpp: command frames, wake and keep-alive bytes out of the stream.
#include "command_decoder.h"

#include "codes.h"
#include "frame.h"

namespace velkor::sim {
namespace {

constexpr uint8_t FRAME_END = 0x80;
constexpr uint8_t SIGN_BIT = 0x40;
constexpr uint8_t CODE_MASK = 0x3F;
constexpr uint32_t LARGEST_POSITIVE = 32767;
constexpr uint32_t LARGEST_NEGATIVE = 32768;

bool Decode(const uint8_t* bytes, uint8_t count, uint8_t check, CommandFrame& frame) {
  if (count < 2 || count > CommandDecoder::MAX_DATA_BYTES) return false;
  const uint8_t groups = static_cast<uint8_t>(count - 2);
  if (groups > 0 && bytes[count - 1] == 0) return false;  // the encoder never pads
  uint32_t magnitude = 0;
  for (uint8_t i = 0; i < groups; ++i) magnitude |= uint32_t{bytes[2 + i]} << (7 * i);
  const bool negative = bytes[1] & SIGN_BIT;
  if (negative ? (magnitude == 0 || magnitude > LARGEST_NEGATIVE) : magnitude > LARGEST_POSITIVE) return false;
  const uint16_t raw = static_cast<uint16_t>(negative ? -magnitude : magnitude);
  frame = CommandFrame{bytes[0], static_cast<uint8_t>(bytes[1] & CODE_MASK), static_cast<int16_t>(raw), check};
  return true;
}

}  // namespace

HostInput CommandDecoder::FeedByte(uint8_t byte) {
  if (!(byte & FRAME_END)) {
    sum = static_cast<uint8_t>(sum + byte);
    if (count < MAX_DATA_BYTES) bytes[count] = byte;
    if (count <= MAX_DATA_BYTES) ++count;
    return {};
  }
  HostInput input;
  if (byte == CheckByte(sum) && Decode(bytes, count, byte, input.command)) {
    input.kind = HostInputKind::kCommand;
  } else if (byte == WAKE_BYTE) {
    input.kind = HostInputKind::kWake;
  } else if (byte == KEEP_ALIVE_BYTE) {
    input.kind = HostInputKind::kKeepAlive;
  }
  Restart();
  return input;
}

void CommandDecoder::Restart() {
  sum = CHECK_SEED;
  count = 0;
}

}  // namespace velkor::sim
