// any_port.h: one port object for a whole run whose kind follows the name it
// is opened with: a device or a network port, made by MakePort. For owners
// that hand the port to readers once (the panel's tick reader and reconnector)
// while the operator may choose any kind of port. A network port can also be
// opened without waiting, as a window must. Depends on make_port.h and the
// network port.
#pragma once

#include <memory>
#include <string>

#include "line_port.h"
#include "network_port.h"
#include "terminal_control.h"

namespace velkor {

class AnyPort : public LinePort {
 public:
  explicit AnyPort(TerminalControl& terminal = SystemTerminalControl());
  ~AnyPort() override;

  // Makes a port of the name's kind first if the last one was of another.
  bool Open(const std::string& portName) override;
  // Opening without waiting: a device opens (or not) at once; a network
  // port goes on with ContinueOpen whenever OpenWaitOf says.
  OpenProgress StartOpen(const std::string& portName);
  OpenProgress ContinueOpen();
  OpenWait OpenWaitOf() const;
  void Close() override;
  bool IsOpen() const override;
  void Purge() override;
  bool SetLineSettings() override;
  bool SetTimeouts(const PortTimeouts& timeouts) override;
  bool RaiseDtr() override;
  bool LowerRts() override;
  size_t Read(uint8_t* buffer, size_t capacity) override;
  void Write(const uint8_t* bytes, size_t count) override;
  size_t ReadAvailable(uint8_t* buffer, size_t capacity) override;
  int Descriptor() const override;
  const PortTimeouts& Timeouts() const override;
  PortError LastError() const override;
  const std::string& LastErrorText() const override;
  LockOwner LockHolder() const override;
  std::string SetupNotes() const override;
  const LinePort& Current() const { return *port_; }

 private:
  void MakeFor(const std::string& portName);

  TerminalControl& terminal_;
  std::unique_ptr<LinePort> port_;  // a device until a network name is opened
  NetworkPort* network_ = nullptr;  // port_, when it is a network port
};

// The network port behind `port` (a NetworkPort, or an AnyPort holding one); null for any other.
const NetworkPort* NetworkPortOf(const LinePort& port);

}  // namespace velkor
