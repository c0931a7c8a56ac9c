// mqtt_commands.h: velkorctl's commands on a driver behind a broker
// (--port mqtt://.../SITE/HOST/DRIVER), served by velkord: show and the
// profile's save and diff from the `command/show` reply; set, actions,
// rotate and profile apply as commands whose reply (MQTT 5 response topic
// and correlation data) carries velkorctl's exit status and each
// parameter's result; watch from the `readings` topic. The output and exit
// statuses are those of a local port. A motion announces velkorctl's
// presence topic (retained "online", will "offline"), so that the motion
// stops if velkorctl goes away. Depends on the MQTT client, its settings,
// the profiles and the readings' printed forms.
#pragma once

#include <cstdio>

#include "command_line.h"

namespace velkor::ctl {

int RunMqttCommand(const Invocation& invocation, std::FILE* out, std::FILE* messages);

}  // namespace velkor::ctl
