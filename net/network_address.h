// network_address.h: the port names that stand for a serial port on another
// machine, taken apart: rfc2217://HOST:PORT and tcp://HOST:PORT, and the same
// over TLS, rfc2217s:// and tcps://, which may name their certificate files
// (?ca=FILE&cert=FILE&key=FILE). No dependencies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velkor {

inline constexpr std::string_view RFC2217_SCHEME = "rfc2217://";
inline constexpr std::string_view RAW_TCP_SCHEME = "tcp://";
inline constexpr std::string_view RFC2217_TLS_SCHEME = "rfc2217s://";
inline constexpr std::string_view RAW_TCP_TLS_SCHEME = "tcps://";

enum class NetworkScheme {
  RawTcp,   // the bytes as they are; the server's own line settings apply
  Rfc2217,  // Telnet with the COM port option: this end sets the line up
};

// The files a TLS connection uses; empty for none named. Without a CA file
// the system's CA store verifies the server; without a certificate and key
// none is offered when the server asks for one.
struct TlsFiles {
  std::string ca;
  std::string cert;
  std::string key;
};

struct NetworkAddress {
  NetworkScheme scheme;
  bool tls = false;
  std::string host;  // a name or an address; an IPv6 address without its brackets
  uint16_t port;
  TlsFiles files;    // as named in the address
};

// Whether the name asks for a network port at all (it may still be malformed).
bool IsNetworkPortName(std::string_view portName);

// None unless the name is a scheme, a host and a port from 1 to 65535, such as
// rfc2217://192.168.1.20:4000 or tcp://[::1]:4000; a TLS scheme may add files,
// each an absolute path or one under ~/: tcps://pi:4001?cert=~/.velkor/me.pem&key=~/.velkor/me.key.
std::optional<NetworkAddress> ParseNetworkAddress(std::string_view portName);

}  // namespace velkor
