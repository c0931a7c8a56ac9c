// mqtt_address.cpp: the mqtt:// and mqtts:// port names taken apart.
#include "mqtt_address.h"

#include <charconv>
#include <optional>
#include <vector>

namespace velkor::ctl {
namespace {

constexpr std::string_view MQTT_SCHEME = "mqtt://";
constexpr std::string_view MQTTS_SCHEME = "mqtts://";
constexpr std::string_view FORM = "mqtt://[USER@]BROKER[:PORT]/SITE/HOST/DRIVER";

// As the fleet names sites, hosts and drivers: no topic wildcards or separators.
bool ValidName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

bool IsMqttPortName(std::string_view port) { return port.starts_with(MQTT_SCHEME) || port.starts_with(MQTTS_SCHEME); }

std::optional<MqttAddress> ParseMqttAddress(std::string_view port, std::string& error) {
  MqttAddress a;
  a.tls = port.starts_with(MQTTS_SCHEME);
  a.port = a.tls ? MQTTS_PORT : MQTT_PORT;
  std::string_view rest = port.substr(a.tls ? MQTTS_SCHEME.size() : MQTT_SCHEME.size());
  const size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  std::string_view path = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
  if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
    a.user = authority.substr(0, at);
    authority = authority.substr(at + 1);
    if (a.user.empty() || a.user.find(':') != std::string::npos) {
      error = "'" + std::string(port) + "': give the user alone before '@'; the password comes from a file or "
              "$VELKOR_MQTT_PASSWORD, never from the command line";
      return std::nullopt;
    }
  }
  // "[::1]:1883", "broker:1883" or "broker".
  std::string_view host = authority;
  std::optional<std::string_view> portText;
  if (authority.starts_with("[")) {
    const size_t close = authority.find(']');
    host = close == std::string_view::npos ? std::string_view() : authority.substr(1, close - 1);
    const std::string_view after = close == std::string_view::npos ? std::string_view() : authority.substr(close + 1);
    if (after.starts_with(":")) portText = after.substr(1);
    else if (!after.empty()) host = {};
  } else if (const size_t colon = authority.find(':'); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    portText = authority.substr(colon + 1);
  }
  a.broker = host;
  if (portText) {
    const char* end = portText->data() + portText->size();
    const auto [stop, ec] = std::from_chars(portText->data(), end, a.port);
    if (portText->empty() || ec != std::errc() || stop != end || a.port < 1 || a.port > 65535) a.broker.clear();
  }
  if (a.broker.empty()) {
    error = "'" + std::string(port) + "' is no broker address: give " + std::string(FORM) + ", PORT 1..65535";
    return std::nullopt;
  }
  if (path.empty()) return a;
  std::vector<std::string_view> parts;
  for (size_t from = 0;;) {
    const size_t next = path.find('/', from);
    parts.push_back(path.substr(from, next - from));
    if (next == std::string_view::npos) break;
    from = next + 1;
  }
  if (parts.size() != 3 || !ValidName(parts[0]) || !ValidName(parts[1]) || !ValidName(parts[2])) {
    error = "'" + std::string(port) + "': give " + std::string(FORM) +
            ", the names of letters, digits, '_' and '-'";
    return std::nullopt;
  }
  a.site = parts[0];
  a.host = parts[1];
  a.driver = parts[2];
  return a;
}

std::string DriverRoot(const MqttAddress& a) { return "velkor/v1/" + a.site + "/" + a.host + "/" + a.driver; }

}  // namespace velkor::ctl
