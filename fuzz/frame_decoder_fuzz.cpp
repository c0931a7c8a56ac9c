// frame_decoder_fuzz.cpp: libFuzzer target for the report-frame decoder.
// Asserts properties, not just survival:
//  - every dispatched frame agrees with an independent reading of its bytes
//    (groups summed mod 2^16, sign applied, check byte recomputed), and a
//    frame in the shortest form re-encodes to exactly the bytes that made it;
//  - the reports do not depend on how the input is split across reads;
//  - after any garbage, a valid frame that follows a byte with bit 7 set is
//    decoded;
//  - frames built by the encoders never carry bit 7 in a data byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "frame.h"

using velkor::CheckByte;
using velkor::EncodeCommandFrame;
using velkor::EncodeReportFrame;
using velkor::Frame;
using velkor::FrameDecoder;
using velkor::Report;

namespace {

void Require(bool ok) {
  if (!ok) std::abort();
}

// Independent reading of one frame: type, groups, check byte last.
void CheckAgainstBytes(const Report& r, const std::vector<uint8_t>& bytes) {
  Require(bytes.size() >= 1 && bytes.size() <= 8);
  if (bytes.size() == 1) {  // a lone end byte: the empty frame
    Require(bytes[0] == CheckByte(velkor::CHECK_SEED) && r.type == 0 && r.value == 0);
    return;
  }
  uint8_t sum = velkor::CHECK_SEED;
  for (size_t i = 0; i + 1 < bytes.size(); ++i) {
    Require((bytes[i] & 0x80) == 0);
    sum = static_cast<uint8_t>(sum + bytes[i]);
  }
  Require(bytes.back() == CheckByte(sum));
  uint64_t magnitude = 0;
  for (size_t i = 1; i + 1 < bytes.size(); ++i) magnitude += uint64_t{bytes[i]} << (7 * (i - 1));
  uint16_t value = static_cast<uint16_t>(magnitude);
  if (bytes[0] & 0x40) value = static_cast<uint16_t>(-value);
  Require(r.type == (bytes[0] & 0x3F));
  Require(static_cast<uint16_t>(r.value) == value);

  // Without a 16-bit wrap, a frame in the shortest form comes back exactly.
  const Frame again = EncodeReportFrame(r.type, r.value);
  if (magnitude <= 0xFFFF && again.size == bytes.size() && (bytes[0] & 0x40) == (again.bytes[0] & 0x40))
    Require(std::vector<uint8_t>(again.bytes, again.bytes + again.size) == bytes);
}

void CheckEncoded(const Frame& f) {
  Require(f.size >= 2 && f.size <= 6);
  for (uint8_t i = 0; i + 1 < f.size; ++i) Require((f.bytes[i] & 0x80) == 0);
  Require(f.bytes[f.size - 1] & 0x80);
  Require(f.bytes[f.size - 1] == f.check);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Whole input, byte by byte, keeping each frame's bytes.
  std::vector<Report> whole;
  FrameDecoder decoder;
  std::vector<uint8_t> frame;
  for (size_t i = 0; i < size; ++i) {
    frame.push_back(data[i]);
    if (auto r = decoder.FeedByte(data[i])) {
      CheckAgainstBytes(*r, frame);
      whole.push_back(*r);
    }
    if (data[i] & 0x80) frame.clear();
  }

  // The same input in chunks whose lengths the input itself chooses, with the
  // decoder carried across chunks as the link carries it across reads.
  std::vector<Report> chunked;
  FrameDecoder carried;
  for (size_t i = 0; i < size;) {
    const size_t n = 1 + data[i] % 120;
    for (size_t k = i; k < i + n && k < size; ++k)
      if (auto r = carried.FeedByte(data[k])) chunked.push_back(*r);
    i += n;
  }
  Require(chunked.size() == whole.size());
  for (size_t i = 0; i < whole.size(); ++i)
    Require(chunked[i].type == whole[i].type && chunked[i].value == whole[i].value);

  // Whatever came before, an end byte and then a valid frame decode it.
  if (size >= 3) {
    const uint8_t type = data[0] & 0x3F;
    const int16_t value = static_cast<int16_t>(data[1] | (data[2] << 8));
    const Frame f = EncodeReportFrame(type, value);
    CheckEncoded(f);
    CheckEncoded(EncodeCommandFrame(data[0] & 0x7F, data[1] & 0x3F, value));
    decoder.FeedByte(0x80 | data[size - 1]);
    std::optional<Report> last;
    for (uint8_t i = 0; i < f.size; ++i) last = decoder.FeedByte(f.bytes[i]);
    Require(last && last->type == type && last->value == value);
  }
  return 0;
}
