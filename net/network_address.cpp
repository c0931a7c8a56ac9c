// network_address.cpp: scheme, host and port out of a port name.
#include "network_address.h"

#include <charconv>

namespace velkor {

bool IsNetworkPortName(std::string_view portName) {
  return portName.starts_with(RFC2217_SCHEME) || portName.starts_with(RAW_TCP_SCHEME);
}

std::optional<NetworkAddress> ParseNetworkAddress(std::string_view portName) {
  NetworkAddress address{};
  if (portName.starts_with(RFC2217_SCHEME)) {
    address.scheme = NetworkScheme::Rfc2217;
    portName.remove_prefix(RFC2217_SCHEME.size());
  } else if (portName.starts_with(RAW_TCP_SCHEME)) {
    address.scheme = NetworkScheme::RawTcp;
    portName.remove_prefix(RAW_TCP_SCHEME.size());
  } else {
    return std::nullopt;
  }
  const size_t colon = portName.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view host = portName.substr(0, colon);
  const std::string_view digits = portName.substr(colon + 1);
  // An IPv6 address has colons of its own and comes in brackets.
  if (host.starts_with('[') && host.ends_with(']')) {
    host = host.substr(1, host.size() - 2);
  } else if (host.find_first_of(":[]") != std::string_view::npos) {
    return std::nullopt;
  }
  if (host.empty() || host.find_first_of(" /\t") != std::string_view::npos) return std::nullopt;
  unsigned number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (digits.empty() || error != std::errc{} || end != digits.data() + digits.size() || number == 0 ||
      number > 65535)
    return std::nullopt;
  address.host = std::string(host);
  address.port = static_cast<uint16_t>(number);
  return address;
}

}  // namespace velkor
