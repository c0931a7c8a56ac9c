// network_address.h: the port names that stand for a serial port on another
// machine, rfc2217://HOST:PORT and tcp://HOST:PORT, taken apart. No dependencies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velkor {

inline constexpr std::string_view RFC2217_SCHEME = "rfc2217://";
inline constexpr std::string_view RAW_TCP_SCHEME = "tcp://";

enum class NetworkScheme {
  RawTcp,   // the bytes as they are; the server's own line settings apply
  Rfc2217,  // Telnet with the COM port option: this end sets the line up
};

struct NetworkAddress {
  NetworkScheme scheme;
  std::string host;  // a name or an address; an IPv6 address without its brackets
  uint16_t port;
};

// Whether the name asks for a network port at all (it may still be malformed).
bool IsNetworkPortName(std::string_view portName);

// None unless the name is a scheme, a host and a port from 1 to 65535, such as
// rfc2217://192.168.1.20:4000 or tcp://[::1]:4000.
std::optional<NetworkAddress> ParseNetworkAddress(std::string_view portName);

}  // namespace velkor
