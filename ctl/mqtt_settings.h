// mqtt_settings.h: how velkorctl reaches a broker, from its options, else
// from the settings file ($XDG_CONFIG_HOME/velkor/velkorctl.conf, else
// ~/.config/velkor/velkorctl.conf: lines "ca = FILE", "cert = FILE",
// "key = FILE", "password-file = FILE", '#' for comments). The password
// comes from $VELKOR_MQTT_PASSWORD, else from the password file's first
// line: never from the command line. Depends on the MQTT client's types.
#pragma once

#include <optional>
#include <string>

#include "command_line.h"
#include "mqtt_client.h"

namespace velkor::ctl {

inline constexpr const char* PASSWORD_VARIABLE = "VELKOR_MQTT_PASSWORD";

// The credentials, or nothing with the reason in `error` (a settings or
// password file that cannot be read).
std::optional<MqttCredentials> MqttCredentialsFor(const MqttOptions& options, std::string& error);

}  // namespace velkor::ctl
