// any_port.cpp: every operation handed to the port of the current kind.
#include "any_port.h"

#include "make_port.h"
#include "network_port.h"

namespace velkor {

AnyPort::AnyPort(TerminalControl& terminal) : terminal_(terminal), port_(MakePort("", terminal)) {}

AnyPort::~AnyPort() = default;

bool AnyPort::Open(const std::string& portName) {
  const bool network = dynamic_cast<NetworkPort*>(port_.get()) != nullptr;
  if (network != (KindOfPort(portName) == PortKind::Network)) {
    port_->Close();
    port_ = MakePort(portName, terminal_);
  }
  return port_->Open(portName);
}

void AnyPort::Close() { port_->Close(); }
bool AnyPort::IsOpen() const { return port_->IsOpen(); }
void AnyPort::Purge() { port_->Purge(); }
bool AnyPort::SetLineSettings() { return port_->SetLineSettings(); }
bool AnyPort::SetTimeouts(const PortTimeouts& timeouts) { return port_->SetTimeouts(timeouts); }
bool AnyPort::RaiseDtr() { return port_->RaiseDtr(); }
bool AnyPort::LowerRts() { return port_->LowerRts(); }
size_t AnyPort::Read(uint8_t* buffer, size_t capacity) { return port_->Read(buffer, capacity); }
void AnyPort::Write(const uint8_t* bytes, size_t count) { port_->Write(bytes, count); }
size_t AnyPort::ReadAvailable(uint8_t* buffer, size_t capacity) { return port_->ReadAvailable(buffer, capacity); }
int AnyPort::Descriptor() const { return port_->Descriptor(); }
const PortTimeouts& AnyPort::Timeouts() const { return port_->Timeouts(); }
PortError AnyPort::LastError() const { return port_->LastError(); }
const std::string& AnyPort::LastErrorText() const { return port_->LastErrorText(); }
LockOwner AnyPort::LockHolder() const { return port_->LockHolder(); }
std::string AnyPort::SetupNotes() const { return port_->SetupNotes(); }

}  // namespace velkor
