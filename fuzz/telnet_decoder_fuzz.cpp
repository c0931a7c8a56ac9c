// telnet_decoder_fuzz.cpp: libFuzzer target for the network port's Telnet
// layer. Asserts properties, not just survival:
//  - the data and the commands do not depend on how the input is split
//    across reads (the first byte chooses the split points);
//  - no more data comes out than went in;
//  - any bytes, escaped, decode to themselves and to no command.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "telnet_codec.h"

using namespace velkor;

namespace {

void Require(bool ok) {
  if (!ok) std::abort();
}

class Log : public TelnetListener {
 public:
  std::string text;
  void OnCommand(const TelnetCommand& c) override {
    text += static_cast<char>(c.verb);
    text += static_cast<char>(c.option);
    text.append(reinterpret_cast<const char*>(c.payload), c.payloadSize);
    text += '|';
  }
};

struct Decoded {
  std::vector<uint8_t> data;
  std::string commands;
};

Decoded Decode(const uint8_t* bytes, size_t size, size_t step) {
  TelnetDecoder decoder;
  Log log;
  Decoded out;
  for (size_t at = 0; at < size; at += step) {
    const size_t n = std::min(step, size - at);
    std::vector<uint8_t> buffer(bytes + at, bytes + at + n);
    const size_t count = DecodeTelnet(decoder, buffer.data(), n, buffer.data(), log);
    Require(count <= n);
    out.data.insert(out.data.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(count));
  }
  out.commands = log.text;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t step = 1 + data[0] % 7;
  const Decoded whole = Decode(data + 1, size - 1, size);
  const Decoded pieces = Decode(data + 1, size - 1, step);
  Require(whole.data == pieces.data);
  Require(whole.commands == pieces.commands);

  std::vector<uint8_t> escaped(2 * size);
  escaped.resize(EscapeTelnet(data, size, escaped.data()));
  const Decoded back = Decode(escaped.data(), escaped.size(), escaped.size());
  Require(back.data == std::vector<uint8_t>(data, data + size));
  Require(back.commands.empty());
  return 0;
}
