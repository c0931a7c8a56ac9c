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

struct SchemeName {
  std::string_view prefix;
  NetworkScheme scheme;
  bool tls;
};

constexpr SchemeName SCHEMES[] = {
    {RFC2217_SCHEME, NetworkScheme::Rfc2217, false},
    {RAW_TCP_SCHEME, NetworkScheme::RawTcp, false},
    {RFC2217_TLS_SCHEME, NetworkScheme::Rfc2217, true},
    {RAW_TCP_TLS_SCHEME, NetworkScheme::RawTcp, true},
};

const SchemeName* SchemeOf(std::string_view name) {
  for (const SchemeName& scheme : SCHEMES) {
    if (StartsWithScheme(name, scheme.prefix)) return &scheme;
  }
  return nullptr;
}

// ca=FILE&cert=FILE&key=FILE, each at most once, in any order; at least one.
bool ParseFiles(std::string_view query, TlsFiles& files) {
  do {
    const size_t end = std::min(query.find('&'), query.size());
    const std::string_view pair = query.substr(0, end);
    query.remove_prefix(std::min(end + 1, query.size()));
    const size_t equals = pair.find('=');
    if (equals == std::string_view::npos) return false;
    const std::string_view key = pair.substr(0, equals);
    const std::string_view value = pair.substr(equals + 1);
    std::string* file = key == "ca" ? &files.ca : key == "cert" ? &files.cert : key == "key" ? &files.key : nullptr;
    if (!file || !file->empty() || !(value.starts_with('/') || value.starts_with("~/"))) return false;
    *file = std::string(value);
  } while (!query.empty());
  return true;
}

}  // namespace

bool IsNetworkPortName(std::string_view portName) { return SchemeOf(portName) != nullptr; }

std::optional<NetworkAddress> ParseNetworkAddress(std::string_view portName) {
  const SchemeName* scheme = SchemeOf(portName);
  if (!scheme) return std::nullopt;
  NetworkAddress address{};
  address.scheme = scheme->scheme;
  address.tls = scheme->tls;
  portName.remove_prefix(scheme->prefix.size());
  if (const size_t question = portName.find('?'); question != std::string_view::npos) {
    if (!address.tls || !ParseFiles(portName.substr(question + 1), address.files)) return std::nullopt;
    portName = portName.substr(0, question);
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
