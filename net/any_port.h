// any_port.h: one port object for a whole run whose kind follows the name it
// is opened with: a device or a network port, made by MakePort. For owners
// that hand the port to readers once (the panel's tick reader and reconnector)
// while the operator may choose any kind of port. Depends on make_port.h.
#pragma once

#include <memory>
#include <string>

#include "line_port.h"
#include "terminal_control.h"

namespace velkor {

class AnyPort : public LinePort {
 public:
  explicit AnyPort(TerminalControl& terminal = SystemTerminalControl());
  ~AnyPort() override;

  // Makes a port of the name's kind first if the last one was of another.
  bool Open(const std::string& portName) override;
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

 private:
  TerminalControl& terminal_;
  std::unique_ptr<LinePort> port_;  // a device until a network name is opened
};

}  // namespace velkor
