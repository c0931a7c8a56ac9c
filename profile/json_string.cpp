// json_string.cpp: escaping for a JSON string literal.
#include "json_string.h"

#include <cstdint>
#include <cstdio>

namespace velkor {
namespace {

bool Continuation(std::string_view text, size_t at) {
  return at < text.size() && (static_cast<uint8_t>(text[at]) & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at `at`, or 0. Overlong forms,
// encoded surrogates and code points past U+10FFFF are not well-formed.
size_t SequenceLength(std::string_view text, size_t at) {
  const uint8_t lead = static_cast<uint8_t>(text[at]);
  if (lead < 0x80) return 1;
  size_t length = 0;
  uint8_t low = 0x80;  // the bounds of the second byte
  uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
  else return 0;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  if (at + 1 >= text.size()) return 0;
  const uint8_t second = static_cast<uint8_t>(text[at + 1]);
  if (second < low || second > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (!Continuation(text, at + i)) return 0;
  }
  return length;
}

void AppendEscape(std::string& json, unsigned code) {
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
  json += escaped;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (size_t at = 0; at < text.size();) {
    const char c = text[at];
    const auto byte = static_cast<uint8_t>(c);
    const size_t length = SequenceLength(text, at);
    if (length == 0) {
      AppendEscape(json, 0xDC00 + byte);
      ++at;
    } else if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
      ++at;
    } else if (byte < 0x20) {
      AppendEscape(json, byte);
      ++at;
    } else {
      json.append(text, at, length);
      at += length;
    }
  }
  return json + "\"";
}

}  // namespace velkor
