// command_decoder_test.cpp: the emulator's reading of command frames, wake and
// keep-alive bytes, and its refusal of anything the panel's encoder would not send.
#include "command_decoder.h"

#include <gtest/gtest.h>

#include <vector>

#include "frame.h"

using velkor::EncodeCommandFrame;
using velkor::Frame;
using velkor::sim::CommandDecoder;
using velkor::sim::HostInput;
using velkor::sim::HostInputKind;

namespace {

std::vector<HostInput> FeedAll(CommandDecoder& decoder, const std::vector<uint8_t>& bytes) {
  std::vector<HostInput> inputs;
  for (uint8_t b : bytes) {
    const HostInput input = decoder.FeedByte(b);
    if (input.kind != HostInputKind::kNothing) inputs.push_back(input);
  }
  return inputs;
}

std::vector<uint8_t> Bytes(const Frame& f) { return {f.bytes, f.bytes + f.size}; }

struct FrameCase {
  const char* name;
  std::vector<uint8_t> bytes;
  uint8_t seq, code;
  int16_t value;
};

const FrameCase kKnownFrames[] = {
    {"handshake re-read", {0x01, 0x01, 0xDC}, 1, 1, 0},
    {"motion current 1500", {0x0A, 0x04, 0x5C, 0x0B, 0xD0}, 10, 4, 1500},
    {"delay 60000 as -5536", {0x0C, 0x45, 0x20, 0x2B, 0xF7}, 12, 5, -5536},
    {"Kp 127", {0x0D, 0x02, 0x7F, 0xE9}, 13, 2, 127},
};

TEST(CommandDecoder, ReadsTheKnownFramesWithTheirSeqCodeValueAndCheck) {
  for (const FrameCase& c : kKnownFrames) {
    SCOPED_TRACE(c.name);
    CommandDecoder decoder;
    const auto inputs = FeedAll(decoder, c.bytes);
    ASSERT_EQ(inputs.size(), 1u);
    ASSERT_EQ(inputs[0].kind, HostInputKind::kCommand);
    EXPECT_EQ(inputs[0].command.seq, c.seq);
    EXPECT_EQ(inputs[0].command.code, c.code);
    EXPECT_EQ(inputs[0].command.value, c.value);
    EXPECT_EQ(inputs[0].command.check, c.bytes.back());
  }
}

TEST(CommandDecoder, ReadsBackEveryFrameThePanelCanEncode) {
  const int16_t values[] = {0, 1, -1, 127, 128, -128, 16383, 16384, 32767, -32767, -32768, 1500, -5536};
  for (uint8_t seq = 0; seq < 0x80; seq += 7) {
    for (uint8_t code = 1; code <= 11; ++code) {
      for (int16_t value : values) {
        CommandDecoder decoder;
        const auto inputs = FeedAll(decoder, Bytes(EncodeCommandFrame(seq, code, value)));
        ASSERT_EQ(inputs.size(), 1u) << int{seq} << " " << int{code} << " " << value;
        EXPECT_EQ(inputs[0].command.seq, seq);
        EXPECT_EQ(inputs[0].command.code, code);
        EXPECT_EQ(inputs[0].command.value, value);
      }
    }
  }
}

TEST(CommandDecoder, NoSingleBitFlipPassesForTheFrameThatWasSent) {
  for (const FrameCase& c : kKnownFrames) {
    for (size_t at = 0; at < c.bytes.size(); ++at) {
      for (int bit = 0; bit < 8; ++bit) {
        std::vector<uint8_t> bytes = c.bytes;
        bytes[at] ^= static_cast<uint8_t>(1 << bit);
        CommandDecoder decoder;
        for (const HostInput& input : FeedAll(decoder, bytes)) {
          // A flip may turn a byte into a wake or keep-alive byte, but it
          // never yields a command frame.
          EXPECT_NE(input.kind, HostInputKind::kCommand) << c.name << " byte " << at << " bit " << bit;
        }
      }
    }
  }
}

TEST(CommandDecoder, RejectsFramesThePanelNeverSends) {
  // Each is closed with its own correct check byte: only the shape is wrong.
  const std::vector<std::vector<uint8_t>> shapes = {
      {},                              // nothing before the check byte
      {0x0A},                          // a sequence byte alone
      {0x0A, 0x04, 0x01, 0x02, 0x03, 0x01},  // four value groups
      {0x0A, 0x04, 0x05, 0x00},        // a trailing zero group
      {0x0A, 0x44},                    // negative zero
      {0x0A, 0x04, 0x00, 0x00, 0x02},  // +32768 does not fit
      {0x0A, 0x44, 0x01, 0x00, 0x02},  // -32769 does not fit
  };
  for (const auto& shape : shapes) {
    uint8_t sum = velkor::CHECK_SEED;
    for (uint8_t b : shape) sum = static_cast<uint8_t>(sum + b);
    std::vector<uint8_t> bytes = shape;
    bytes.push_back(velkor::CheckByte(sum));
    CommandDecoder decoder;
    for (const HostInput& input : FeedAll(decoder, bytes))
      EXPECT_NE(input.kind, HostInputKind::kCommand) << "shape of " << shape.size() << " bytes";
  }
}

TEST(CommandDecoder, WrongCheckByteYieldsNothingAndTheNextFrameStillDecodes) {
  CommandDecoder decoder;
  const auto inputs = FeedAll(decoder, {0x0A, 0x04, 0x5C, 0x0B, 0xD1, 0x01, 0x01, 0xDC});
  ASSERT_EQ(inputs.size(), 1u);
  EXPECT_EQ(inputs[0].command.seq, 1);
}

TEST(CommandDecoder, TellsWakeAndKeepAliveBytesApartFromFrames) {
  CommandDecoder decoder;
  const auto inputs = FeedAll(decoder, {0xFF, 0x80, 0x01, 0x01, 0xDC, 0x80});
  ASSERT_EQ(inputs.size(), 4u);
  EXPECT_EQ(inputs[0].kind, HostInputKind::kWake);
  EXPECT_EQ(inputs[1].kind, HostInputKind::kKeepAlive);
  EXPECT_EQ(inputs[2].kind, HostInputKind::kCommand);
  EXPECT_EQ(inputs[3].kind, HostInputKind::kKeepAlive);
}

TEST(CommandDecoder, WakeByteAfterAFragmentOfNoiseStillWakes) {
  CommandDecoder decoder;
  const auto inputs = FeedAll(decoder, {0x13, 0x37, 0xFF});
  ASSERT_EQ(inputs.size(), 1u);
  EXPECT_EQ(inputs[0].kind, HostInputKind::kWake);
}

TEST(CommandDecoder, AnOverlongRunOfDataBytesIsDroppedAndDecodingResumes) {
  CommandDecoder decoder;
  std::vector<uint8_t> bytes(200, 0x11);
  bytes.push_back(0x90);
  for (uint8_t b : Bytes(EncodeCommandFrame(15, 9, 3000))) bytes.push_back(b);
  const auto inputs = FeedAll(decoder, bytes);
  ASSERT_EQ(inputs.size(), 1u);
  EXPECT_EQ(inputs[0].command.value, 3000);
}

}  // namespace
