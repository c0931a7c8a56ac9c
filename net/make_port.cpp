// make_port.cpp: a port object by the name's kind.
#include "make_port.h"

#include "network_address.h"
#include "network_port.h"
#include "serial_port.h"

namespace velkor {

PortKind KindOfPort(std::string_view portName) {
  return IsNetworkPortName(portName) ? PortKind::Network : PortKind::Device;
}

std::unique_ptr<LinePort> MakePort(std::string_view portName, TerminalControl& terminal) {
  if (KindOfPort(portName) == PortKind::Network) return std::make_unique<NetworkPort>();
  return std::make_unique<SerialPort>(terminal);
}

}  // namespace velkor
