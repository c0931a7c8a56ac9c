// make_port.h: the one place that tells from a port name what kind of port it
// is and makes the port object for it, so that the panel and a command-line
// tool open ports alike. Depends on the serial device and the network port.
//
//   std::unique_ptr<LinePort> port = MakePort(name);
//   link.values.portName = name;   // OpenPort opens what ReadPanel put there
//   OpenPort(link, *port);
//
// Names: rfc2217://HOST:PORT (a serial server with the Telnet COM port
// option, such as ser2net's telnet(rfc2217) accepter), tcp://HOST:PORT (a
// raw socket; the server's own line settings apply), the same two over TLS
// (rfc2217s://, tcps://), and anything else a device: /dev/ttyUSB0,
// /dev/serial/by-id/..., COM3 (/dev/ttyS2).
#pragma once

#include <memory>
#include <string_view>

#include "line_port.h"
#include "terminal_control.h"

namespace velkor {

enum class PortKind { Device, Network };

PortKind KindOfPort(std::string_view portName);

// A closed port of the kind the name asks for. A device is set up through
// `terminal` (tests hand in their own); a network port has no use for it.
std::unique_ptr<LinePort> MakePort(std::string_view portName, TerminalControl& terminal = SystemTerminalControl());

}  // namespace velkor
