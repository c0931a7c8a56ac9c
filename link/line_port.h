// line_port.h: a port the port setup can open, set up for the driver and hand
// to the link: the serial device and the network port both are one. Depends
// on port.h, port_error.h, lock_owner.h (whose lock turned a device away)
// and port_timeouts.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "port.h"
#include "port_error.h"
#include "lock_owner.h"
#include "port_timeouts.h"

namespace velkor {

class LinePort : public Port {
 public:
  // Opens the port a selector name stands for, closing any port open before.
  // False, with LastError set, when it cannot be had.
  virtual bool Open(const std::string& portName) = 0;
  // Lets go of everything the port holds.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  // Throws away whatever waits in either direction.
  virtual void Purge() = 0;
  // 38400 baud, 8 data bits, no parity, one stop bit, no flow control.
  virtual bool SetLineSettings() = 0;
  virtual bool SetTimeouts(const PortTimeouts& timeouts) = 0;
  virtual bool RaiseDtr() = 0;
  virtual bool LowerRts() = 0;

  // For a reader that waits in an event loop: takes the bytes that have
  // arrived, without waiting. A hang-up closes the port at once; from then on
  // it reads nothing and Descriptor is -1.
  virtual size_t ReadAvailable(uint8_t* buffer, size_t capacity) = 0;
  // What to watch for bytes to read; -1 while closed.
  virtual int Descriptor() const = 0;
  virtual const PortTimeouts& Timeouts() const = 0;

  // The last failure of any operation, and the words for it.
  virtual PortError LastError() const = 0;
  virtual const std::string& LastErrorText() const = 0;
  // Whose lock file refused the last Open; pid 0 when none did, and always
  // for a port that takes no lock file.
  virtual LockOwner LockHolder() const { return {}; }
  // What the operator should know of a setup that went through all the same,
  // such as a request the far end never answered; empty when nothing.
  virtual std::string SetupNotes() const { return {}; }
};

}  // namespace velkor
