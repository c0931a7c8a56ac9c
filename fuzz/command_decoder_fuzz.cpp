// command_decoder_fuzz.cpp: libFuzzer target for the emulator's reading of the
// host-to-driver direction. Asserts properties, not just survival:
//  - every frame it accepts re-encodes with EncodeCommandFrame to exactly the
//    bytes that made it, so it never takes a frame the panel could not have sent;
//  - data bytes never yield anything, and a byte with bit 7 set that closes no
//    valid frame is a wake byte only if it is 0xFF, a keep-alive only if 0x80;
//  - the result does not depend on how the input is split across reads;
//  - after any garbage, a valid frame that follows a byte with bit 7 set is
//    decoded, and the encoder never puts bit 7 in a data byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codes.h"
#include "command_decoder.h"
#include "frame.h"

using velkor::EncodeCommandFrame;
using velkor::Frame;
using velkor::sim::CommandDecoder;
using velkor::sim::CommandFrame;
using velkor::sim::HostInput;
using velkor::sim::HostInputKind;

namespace {

void Require(bool ok) {
  if (!ok) std::abort();
}

bool SameInput(const HostInput& a, const HostInput& b) {
  if (a.kind != b.kind) return false;
  if (a.kind != HostInputKind::kCommand) return true;
  return a.command.seq == b.command.seq && a.command.code == b.command.code && a.command.value == b.command.value &&
         a.command.check == b.command.check;
}

// `bytes` runs from just after the previous bit-7 byte up to and including this one.
void CheckInput(const HostInput& input, const std::vector<uint8_t>& bytes) {
  const uint8_t last = bytes.back();
  if (!(last & 0x80)) {
    Require(input.kind == HostInputKind::kNothing);
    return;
  }
  switch (input.kind) {
    case HostInputKind::kCommand: {
      const CommandFrame& c = input.command;
      const Frame again = EncodeCommandFrame(c.seq, c.code, c.value);
      Require(std::vector<uint8_t>(again.bytes, again.bytes + again.size) == bytes);
      Require(c.check == last && again.check == last);
      break;
    }
    case HostInputKind::kWake: Require(last == velkor::WAKE_BYTE); break;
    case HostInputKind::kKeepAlive: Require(last == velkor::KEEP_ALIVE_BYTE); break;
    case HostInputKind::kNothing: Require(last != velkor::WAKE_BYTE && last != velkor::KEEP_ALIVE_BYTE); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Whole input, byte by byte, keeping each frame's bytes.
  std::vector<HostInput> whole;
  CommandDecoder decoder;
  std::vector<uint8_t> frame;
  for (size_t i = 0; i < size; ++i) {
    frame.push_back(data[i]);
    const HostInput input = decoder.FeedByte(data[i]);
    CheckInput(input, frame);
    if (input.kind != HostInputKind::kNothing) whole.push_back(input);
    if (data[i] & 0x80) frame.clear();
  }

  // The same input in chunks whose lengths the input itself chooses, with the
  // decoder carried across chunks as the emulator carries it across reads.
  std::vector<HostInput> chunked;
  CommandDecoder carried;
  for (size_t i = 0; i < size;) {
    const size_t n = 1 + data[i] % 64;
    for (size_t k = i; k < i + n && k < size; ++k) {
      const HostInput input = carried.FeedByte(data[k]);
      if (input.kind != HostInputKind::kNothing) chunked.push_back(input);
    }
    i += n;
  }
  Require(chunked.size() == whole.size());
  for (size_t i = 0; i < whole.size(); ++i) Require(SameInput(chunked[i], whole[i]));

  // Whatever came before, a byte with bit 7 and then a valid frame decode it.
  if (size >= 4) {
    const uint8_t seq = data[0] & 0x7F;
    const uint8_t code = data[1] & 0x3F;
    const int16_t value = static_cast<int16_t>(data[2] | (data[3] << 8));
    const Frame f = EncodeCommandFrame(seq, code, value);
    Require(f.size >= 3 && f.size <= 6 && f.bytes[f.size - 1] == f.check && (f.check & 0x80));
    for (uint8_t i = 0; i + 1 < f.size; ++i) Require((f.bytes[i] & 0x80) == 0);
    decoder.FeedByte(0x80 | data[size - 1]);
    HostInput last;
    for (uint8_t i = 0; i < f.size; ++i) last = decoder.FeedByte(f.bytes[i]);
    Require(last.kind == HostInputKind::kCommand && last.command.seq == seq && last.command.code == code &&
            last.command.value == value && last.command.check == f.check);
  }
  return 0;
}
