// any_port.cpp: every operation handed to the port of the current kind.
#include "any_port.h"

#include "make_port.h"

namespace velkor {

AnyPort::AnyPort(TerminalControl& terminal) : terminal_(terminal), port_(MakePort("", terminal)) {}

AnyPort::~AnyPort() = default;

void AnyPort::MakeFor(const std::string& portName) {
  if ((network_ != nullptr) == (KindOfPort(portName) == PortKind::Network)) return;
  port_->Close();
  port_ = MakePort(portName, terminal_);
  network_ = dynamic_cast<NetworkPort*>(port_.get());
}

bool AnyPort::Open(const std::string& portName) {
  MakeFor(portName);
  return port_->Open(portName);
}

OpenProgress AnyPort::StartOpen(const std::string& portName) {
  MakeFor(portName);
  if (network_) return network_->StartOpen(portName);
  return port_->Open(portName) ? OpenProgress::Opened : OpenProgress::Failed;
}

OpenProgress AnyPort::ContinueOpen() {
  if (network_) return network_->ContinueOpen();
  return port_->IsOpen() ? OpenProgress::Opened : OpenProgress::Failed;
}

OpenWait AnyPort::OpenWaitOf() const { return network_ ? network_->OpenWaitOf() : OpenWait{-1, 0, PortClock::now()}; }

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

const NetworkPort* NetworkPortOf(const LinePort& port) {
  if (const auto* any = dynamic_cast<const AnyPort*>(&port)) return NetworkPortOf(any->Current());
  return dynamic_cast<const NetworkPort*>(&port);
}

}  // namespace velkor
