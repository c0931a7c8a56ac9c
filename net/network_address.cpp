// network_address.cpp: scheme, host and port out of a port name.
#include "network_address.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace velkor {
namespace {

// Schemes are case-insensitive (RFC2217://, TCP://), as in any URL.
bool StartsWithScheme(std::string_view name, std::string_view scheme) {
  return name.size() >= scheme.size() &&
         std::equal(scheme.begin(), scheme.end(), name.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         });
}

}  // namespace

bool IsNetworkPortName(std::string_view portName) {
  return StartsWithScheme(portName, RFC2217_SCHEME) || StartsWithScheme(portName, RAW_TCP_SCHEME);
}

std::optional<NetworkAddress> ParseNetworkAddress(std::string_view portName) {
  NetworkAddress address{};
  if (StartsWithScheme(portName, RFC2217_SCHEME)) {
    address.scheme = NetworkScheme::Rfc2217;
    portName.remove_prefix(RFC2217_SCHEME.size());
  } else if (StartsWithScheme(portName, RAW_TCP_SCHEME)) {
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
