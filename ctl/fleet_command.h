// fleet_command.h: `velkorctl fleet`: the drivers a broker knows, from what
// velkord keeps retained under velkor/v1/SITE/HOST/DRIVER (info, link,
// params) and each host's status: one line per driver with its link state
// and its unsaved parameters, or one JSON array. Depends on the MQTT client.
#pragma once

#include <cstdio>

#include "command_line.h"
#include "mqtt_client.h"

namespace velkor::ctl {

// On a connected client.
int RunFleet(const Invocation& invocation, MqttClient& client, std::FILE* out, std::FILE* messages);

}  // namespace velkor::ctl
