// bounded_number.cpp: ParseBoundedNumber. No dependencies beyond the standard library.
#include "bounded_number.h"

#include <algorithm>

namespace velkor {

namespace {

// One more than the largest value a 16-bit command value can carry.
constexpr uint32_t VALUE_LIMIT = 0x10000;

}  // namespace

BoundedNumber ParseBoundedNumber(std::string_view text, uint32_t bound) {
  const uint32_t limit = std::min(bound, VALUE_LIMIT);
  if (text.empty()) {
    return {};
  }
  // The accumulator stops growing once it reaches the limit: any number of
  // further digits can only make the value larger, so it stays rejected,
  // and the arithmetic never overflows however long the text is.
  uint32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return {};
    }
    value = std::min(value * 10 + static_cast<uint32_t>(c - '0'), limit);
  }
  if (value >= limit) {
    return {};
  }
  return {true, static_cast<uint16_t>(value)};
}

}  // namespace velkor
