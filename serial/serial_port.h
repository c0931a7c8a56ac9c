// serial_port.h: a serial device opened exclusively and driven through POSIX
// termios, with reads and writes timed like the driver expects. Implements
// LinePort for the port setup and the link controller. Depends on line_port.h, port_error.h, port_name.h,
// port_timeouts.h, the lock file (port_lock.h) and the terminal calls it is handed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "line_port.h"
#include "port_lock.h"
#include "terminal_control.h"
#include "port_timeouts.h"

namespace velkor {

class SerialPort : public LinePort {
 public:
  // The terminal calls and the lock directory are the system's unless a test
  // hands in its own.
  explicit SerialPort(TerminalControl& terminal = SystemTerminalControl(),
                      std::filesystem::path lockDirectory = SYSTEM_LOCK_DIRECTORY);
  ~SerialPort() override;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens an existing device for reading and writing, for this program alone,
  // and marks it with a lock file. The name is one of the port selector's (see
  // DevicePath). Closes any port open before. False, with LastError set, when
  // the device cannot be had; Busy with LockHolder() naming the process when
  // another program's lock file marks it.
  bool Open(const std::string& portName) override;
  // Lets go of everything the port holds: descriptor, exclusivity, lock file.
  void Close() override;
  bool IsOpen() const override;

  // Throws away whatever waits in either direction.
  void Purge() override;
  // 38400 baud, 8 data bits, no parity, one stop bit, raw bytes, no flow control.
  // Where the driver keeps serial flags, an old speed alias that would turn
  // 38400 into another rate is cleared, and low latency is asked for.
  bool SetLineSettings() override;
  bool SetTimeouts(const PortTimeouts& timeouts) override;
  bool RaiseDtr() override;
  bool LowerRts() override;

  // Both are bounded by the timeouts. A read that fails (the device is gone)
  // takes as long as one that got nothing, so a polling loop never spins. A
  // hang-up closes the port at once, so the device can come back under its name.
  size_t Read(uint8_t* buffer, size_t capacity) override;
  void Write(const uint8_t* bytes, size_t count) override;

  // For a reader that waits in an event loop: takes the bytes that have
  // arrived, without waiting. A failure closes the port at once (a hung-up
  // descriptor would otherwise wake its watcher without end); from then on
  // the port reads nothing and Descriptor is -1.
  size_t ReadAvailable(uint8_t* buffer, size_t capacity) override;
  int Descriptor() const override { return fd_; }
  const PortTimeouts& Timeouts() const override { return timeouts_; }

  // The last failure of any operation, and the system's words for it.
  PortError LastError() const override { return lastError_; }
  const std::string& LastErrorText() const override { return lastErrorText_; }
  // Whose lock file refused the last Open; pid 0 when none did.
  LockOwner LockHolder() const override { return lock_.Holder(); }
  // The lock file while the port is open and marked.
  const std::filesystem::path& LockFile() const { return lock_.File(); }

 private:
  bool Fail(int error);
  bool SetModemLine(unsigned long request, int line);
  bool ClearSpeedAlias();

  TerminalControl& terminal_;
  PortLock lock_;
  int fd_ = -1;
  PortTimeouts timeouts_ = DRIVER_TIMEOUTS;  // never unbounded, even before SetTimeouts
  PortError lastError_ = PortError::None;
  std::string lastErrorText_;
};

}  // namespace velkor
