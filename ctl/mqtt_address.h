// mqtt_address.h: a driver behind an MQTT broker as velkorctl's --port names
// it: mqtt://[USER@]BROKER[:PORT]/SITE/HOST/DRIVER, mqtts:// for TLS; the
// broker alone (no path) for `fleet`. Plain C++.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velkor::ctl {

inline constexpr int MQTT_PORT = 1883;
inline constexpr int MQTTS_PORT = 8883;

struct MqttAddress {
  bool tls = false;
  std::string user;  // empty: no credentials
  std::string broker;
  int port = MQTT_PORT;
  std::string site;  // all three empty: the broker alone
  std::string host;
  std::string driver;
};

bool IsMqttPortName(std::string_view port);
// The address, or nothing with the reason in `error`.
std::optional<MqttAddress> ParseMqttAddress(std::string_view port, std::string& error);

// "velkor/v1/SITE/HOST/DRIVER".
std::string DriverRoot(const MqttAddress& address);

}  // namespace velkor::ctl
