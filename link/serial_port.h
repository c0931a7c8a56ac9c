// serial_port.h: a serial device opened exclusively and driven through POSIX
// termios, with reads and writes timed like the driver expects. Implements Port
// for the link controller. Depends on port.h, port_error.h, port_name.h and
// port_timeouts.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "port.h"
#include "port_error.h"
#include "port_timeouts.h"

namespace velkor {

class SerialPort : public Port {
 public:
  SerialPort();
  ~SerialPort() override;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens an existing device for reading and writing, for this program alone.
  // The name is one of the port selector's (see DevicePath). Closes any port
  // open before. False, with LastError set, when the device cannot be had.
  bool Open(const std::string& portName);
  void Close();
  bool IsOpen() const;

  // Throws away whatever waits in either direction.
  void Purge();
  // 38400 baud, 8 data bits, no parity, one stop bit, raw bytes, no flow control.
  bool SetLineSettings();
  bool SetTimeouts(const PortTimeouts& timeouts);
  bool RaiseDtr();
  bool LowerRts();

  // Both are bounded by the timeouts. A read that fails (the device is gone)
  // takes as long as one that got nothing, so a polling loop never spins.
  size_t Read(uint8_t* buffer, size_t capacity) override;
  void Write(const uint8_t* bytes, size_t count) override;

  // For a reader that waits in an event loop: takes the bytes that have
  // arrived, without waiting. A failure closes the port at once (a hung-up
  // descriptor would otherwise wake its watcher without end); from then on
  // the port reads nothing and Descriptor is -1.
  size_t ReadAvailable(uint8_t* buffer, size_t capacity);
  int Descriptor() const { return fd_; }
  const PortTimeouts& Timeouts() const { return timeouts_; }

  // The last failure of any operation, and the system's words for it.
  PortError LastError() const { return lastError_; }
  const std::string& LastErrorText() const { return lastErrorText_; }

 private:
  bool Fail(int error);
  bool SetModemLine(unsigned long request, int line);

  int fd_ = -1;
  PortTimeouts timeouts_ = DRIVER_TIMEOUTS;  // never unbounded, even before SetTimeouts
  PortError lastError_ = PortError::None;
  std::string lastErrorText_;
};

}  // namespace velkor
