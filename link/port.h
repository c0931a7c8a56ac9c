// port.h: what the link needs of a serial port, and no more. The termios
// port, the emulator's in-memory pipe and the test fakes implement it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velkor {

class Port {
 public:
  virtual ~Port() = default;
  // Reads up to `capacity` bytes within the port's timeouts; returns how many
  // arrived: possibly none, and none on failure.
  virtual size_t Read(uint8_t* buffer, size_t capacity) = 0;
  // Writes the bytes in one go. Whether they all left is not examined.
  virtual void Write(const uint8_t* bytes, size_t count) = 0;
};

}  // namespace velkor
