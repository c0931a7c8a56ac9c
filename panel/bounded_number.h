// bounded_number.h: the test every parameter answer passes before it is queued:
// an unsigned decimal number below an exclusive bound. Plain C++, no dependencies.
#pragma once

#include <cstdint>
#include <string_view>

namespace velkor {

struct BoundedNumber {
  bool valid = false;
  uint16_t value = 0;  // meaningful only when valid
};

// Valid exactly when `text` is one or more ASCII digits (leading zeros allowed)
// whose decimal value is below `bound`. Signs, spaces, points and non-ASCII
// characters make it invalid. Bounds above 65536 act as 65536, so a valid value
// always fits the 16 bits the driver takes.
BoundedNumber ParseBoundedNumber(std::string_view text, uint32_t bound);

}  // namespace velkor
