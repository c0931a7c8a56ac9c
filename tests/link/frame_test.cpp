// frame_test.cpp: command and report frames, bit for bit, in both directions.
#include "frame.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using velkor::EncodeCommandFrame;
using velkor::EncodeReportFrame;
using velkor::Frame;
using velkor::FrameDecoder;
using velkor::Report;

namespace {

std::vector<uint8_t> Bytes(const Frame& f) { return {f.bytes, f.bytes + f.size}; }

std::vector<Report> DecodeAll(FrameDecoder& decoder, const std::vector<uint8_t>& bytes) {
  std::vector<Report> reports;
  for (uint8_t b : bytes)
    if (auto r = decoder.FeedByte(b)) reports.push_back(*r);
  return reports;
}

struct CommandCase {
  const char* name;
  uint8_t seq, code;
  int16_t value;
  std::vector<uint8_t> bytes;
};

struct ReportCase {
  const char* name;
  uint8_t type;
  int16_t value;
  std::vector<uint8_t> bytes;
};

const CommandCase kCommandFrames[] = {
    {"reread request seq 1", 1, 1, 0, {0x01, 0x01, 0xDC}},
    {"motion current 1500", 10, 4, 1500, {0x0A, 0x04, 0x5C, 0x0B, 0xD0}},
    {"delay 60000 travels as -5536", 12, 5, static_cast<int16_t>(60000), {0x0C, 0x45, 0x20, 0x2B, 0xF7}},
    {"Kp 127", 13, 2, 127, {0x0D, 0x02, 0x7F, 0xE9}},
    {"most negative value", 0, 0, -32768, {0x00, 0x40, 0x00, 0x00, 0x02, 0x9D}},
    {"most positive value", 0, 0, 32767, {0x00, 0x00, 0x7F, 0x7F, 0x01, 0xD9}},
};

const ReportCase kReportFrames[] = {
    {"greeting 190", 0, 190, {0x00, 0x3E, 0x01, 0x9A}},
    {"status 1200 rpm", 23, 1200, {0x17, 0x30, 0x09, 0xAB}},
    {"position -250", 22, -250, {0x56, 0x7A, 0x01, 0xAB}},
    {"phase 0 has no value bytes", 15, 0, {0x0F, 0xE9}},
    {"acknowledgement 222", 1, 222, {0x01, 0x5E, 0x01, 0xBB}},
    {"steps 100", 2, 100, {0x02, 0x64, 0xC1}},
};

TEST(Frames, EveryKnownCommandFrameEncodesBitForBit) {
  for (const auto& c : kCommandFrames) {
    const Frame f = EncodeCommandFrame(c.seq, c.code, c.value);
    EXPECT_EQ(Bytes(f), c.bytes) << c.name;
    EXPECT_EQ(f.check, c.bytes.back()) << c.name;
  }
}

TEST(Frames, EveryKnownReportFrameEncodesAndDecodesBitForBit) {
  for (const auto& c : kReportFrames) {
    EXPECT_EQ(Bytes(EncodeReportFrame(c.type, c.value)), c.bytes) << c.name;
    FrameDecoder decoder;
    const auto reports = DecodeAll(decoder, c.bytes);
    ASSERT_EQ(reports.size(), 1u) << c.name;
    EXPECT_EQ(reports[0].type, c.type) << c.name;
    EXPECT_EQ(reports[0].value, c.value) << c.name;
  }
}

TEST(Frames, CheckByteBumpsSumsAboveSevenBitsAndSetsBitSeven) {
  EXPECT_EQ(velkor::CheckByte(0x7F), 0xFF);
  EXPECT_EQ(velkor::CheckByte(0x80), 0x81);
  EXPECT_EQ(velkor::CheckByte(0xFF), 0x80);
  EXPECT_EQ(velkor::CheckByte(0x00), 0x80);
}

TEST(Frames, SixValueBytesAreAcceptedModulo16BitsAndSevenAreRejected) {
  // type 2, groups 01 00 00 00 00 00: the sum is 0x5A + 2 + 1 = 0x5D.
  std::vector<uint8_t> six = {0x02, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0xDD};
  FrameDecoder decoder;
  auto reports = DecodeAll(decoder, six);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].type, 2);
  EXPECT_EQ(reports[0].value, 1);

  // A third group contributes only its two low bits; later groups nothing.
  std::vector<uint8_t> wide = {0x02, 0x00, 0x00, 0x7F, 0x7F};
  uint8_t sum = velkor::CHECK_SEED;
  for (uint8_t b : wide) sum = static_cast<uint8_t>(sum + b);
  wide.push_back(velkor::CheckByte(sum));
  reports = DecodeAll(decoder, wide);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(static_cast<uint16_t>(reports[0].value), 0xC000);

  std::vector<uint8_t> seven = {0x02, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xDD};
  EXPECT_TRUE(DecodeAll(decoder, seven).empty());
  // The decoder is back in step for the next frame.
  EXPECT_EQ(DecodeAll(decoder, {0x02, 0x64, 0xC1}).size(), 1u);
}

TEST(Frames, NegativeSignWithZeroMagnitudeIsZero) {
  FrameDecoder decoder;
  // 0x5A + 0x56 = 0xB0, bumped to 0xB1.
  const auto reports = DecodeAll(decoder, {0x56, 0xB1});
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].type, 22);
  EXPECT_EQ(reports[0].value, 0);
}

TEST(Frames, ALoneEndByteIsAnEmptyFrameOnlyWhenItIsTheSeedsCheckByte) {
  FrameDecoder decoder;
  const auto reports = DecodeAll(decoder, {0xDA, 0x80, 0xFF, 0xDB});
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].type, 0);
  EXPECT_EQ(reports[0].value, 0);
}

TEST(Frames, AfterARestartTheTailOfACutFrameFailsItsCheck) {
  FrameDecoder decoder;
  DecodeAll(decoder, {0x56, 0x7A});
  decoder.Restart();
  EXPECT_TRUE(DecodeAll(decoder, {0x01, 0xAB}).empty());
  EXPECT_EQ(decoder.rxNegative, 0);
  const auto reports = DecodeAll(decoder, {0x0F, 0xE9});
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].type, 15);
}

TEST(Frames, EveryDroppedFrameIsCountedAndARestartKeepsTheCount) {
  FrameDecoder decoder;
  // Good, bad check, lone end bytes that are not the seed's check, good.
  DecodeAll(decoder, {0x0F, 0xE9, 0x17, 0x30, 0x09, 0xAC, 0x80, 0xFF, 0x02, 0x64, 0xC1});
  EXPECT_EQ(decoder.badFrames, 3u);
  DecodeAll(decoder, {0x56, 0x7A});
  decoder.Restart();
  DecodeAll(decoder, {0x01, 0xAB});  // the cut frame's tail
  DecodeAll(decoder, {0x02, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xDD});  // too long
  EXPECT_EQ(decoder.badFrames, 5u);
}

TEST(Frames, TheSignBitOfAFrameDoesNotLeakIntoTheNextFrame) {
  FrameDecoder decoder;
  const auto reports = DecodeAll(decoder, {0x56, 0x7A, 0x01, 0xAB, 0x17, 0x30, 0x09, 0xAB});
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].value, -250);
  EXPECT_EQ(reports[1].value, 1200);
}

TEST(Frames, RandomGarbageCostsAtMostTheFrameThatEndsIt) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> byte(0, 255), length(0, 40);
  const std::vector<uint8_t> status = {0x17, 0x30, 0x09, 0xAB};
  for (int trial = 0; trial < 2000; ++trial) {
    FrameDecoder decoder;
    std::vector<uint8_t> stream;
    for (int i = length(rng); i > 0; --i) stream.push_back(static_cast<uint8_t>(byte(rng)));
    stream.push_back(static_cast<uint8_t>(0x80 | byte(rng)));  // the garbage ends with bit 7 set
    stream.insert(stream.end(), status.begin(), status.end());
    const auto reports = DecodeAll(decoder, stream);
    ASSERT_FALSE(reports.empty()) << "trial " << trial;
    EXPECT_EQ(reports.back().type, 23);
    EXPECT_EQ(reports.back().value, 1200);
  }
}

}  // namespace
