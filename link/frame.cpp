// frame.cpp: encoding of command and report frames, decoding of report frames.
#include "frame.h"

namespace velkor {
namespace {

constexpr uint8_t SIGN_BIT = 0x40;
constexpr uint8_t FRAME_END = 0x80;
constexpr uint8_t GROUP_MASK = 0x7F;

// Appends the value's sign to `head` and its magnitude in 7-bit groups,
// least significant first, then the check byte. `sum` already holds the seed
// and every byte before `head`.
void AppendValue(Frame& frame, uint8_t head, int16_t value, uint8_t sum) {
  // Negation in 16 bits: -32768 has magnitude 32768.
  uint16_t magnitude = static_cast<uint16_t>(value);
  if (value < 0) {
    head |= SIGN_BIT;
    magnitude = static_cast<uint16_t>(-magnitude);
  }
  frame.bytes[frame.size++] = head;
  sum = static_cast<uint8_t>(sum + head);
  while (magnitude != 0) {
    const uint8_t group = magnitude & GROUP_MASK;
    frame.bytes[frame.size++] = group;
    sum = static_cast<uint8_t>(sum + group);
    magnitude >>= 7;
  }
  frame.check = CheckByte(sum);
  frame.bytes[frame.size++] = frame.check;
}

}  // namespace

uint8_t CheckByte(uint8_t sum) {
  // A sum above 0x7F is bumped by one so that setting bit 7 never hides it.
  if (sum > 0x7F) sum = static_cast<uint8_t>(sum + 1);
  return sum | FRAME_END;
}

Frame EncodeCommandFrame(uint8_t seq, uint8_t code, int16_t value) {
  Frame frame;
  frame.bytes[frame.size++] = seq;
  AppendValue(frame, code, value, static_cast<uint8_t>(CHECK_SEED + seq));
  return frame;
}

Frame EncodeReportFrame(uint8_t type, int16_t value) {
  Frame frame;
  AppendValue(frame, type, value, CHECK_SEED);
  return frame;
}

std::optional<Report> FrameDecoder::FeedByte(uint8_t byte) {
  if (byte & FRAME_END) {
    rxSum = CheckByte(rxSum);
    std::optional<Report> report;
    if (byte == rxSum && rxCount != COUNT_LIMIT) {
      const uint16_t value = rxNegative ? static_cast<uint16_t>(-rxValue) : rxValue;
      report = Report{rxType, static_cast<int16_t>(value)};
    } else {
      ++badFrames;
    }
    // The sign bit is left: the next frame's first byte overwrites it.
    rxCount = 0;
    rxType = 0;
    rxValue = 0;
    rxSum = CHECK_SEED;
    return report;
  }
  rxSum = static_cast<uint8_t>(rxSum + byte);
  if (rxCount == 0) {
    rxType = byte & 0x3F;
    rxNegative = byte & SIGN_BIT;
    rxCount = 1;
    return std::nullopt;
  }
  // Groups past the third shift out of 16 bits and contribute nothing.
  const unsigned shift = 7u * (rxCount - 1u);
  if (shift < 16) rxValue = static_cast<uint16_t>(rxValue | (byte << shift));
  if (rxCount != COUNT_LIMIT) ++rxCount;
  return std::nullopt;
}

void FrameDecoder::Restart() {
  rxSum = CHECK_SEED;
  rxCount = 0;
  rxType = 0;
  rxValue = 0;
  rxNegative = 0;
}

}  // namespace velkor
