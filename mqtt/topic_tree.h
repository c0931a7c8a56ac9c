// topic_tree.h: the fleet's MQTT topic names, shared by everything that
// publishes or reads them: velkor/v1/<site>/<host>/status, the driver's
// retained info, link and params, its readings, events and commands, and the
// clients' presence topics; and the reading of a command's or a presence
// message's topic back into its parts. Plain C++.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velkor::mqtt {

inline constexpr std::string_view TOPIC_ROOT = "velkor/v1";
inline constexpr std::string_view ONLINE = "online";
inline constexpr std::string_view OFFLINE = "offline";

// Site, host and driver names: letters, digits, '_' and '-', at least one.
bool ValidName(std::string_view name);
// A client's name in its presence topic: one topic level, no wildcard.
bool ValidClientId(std::string_view id);

// "velkor/v1/<site>/<host>"
std::string HostRoot(std::string_view site, std::string_view host);
// "<root>/status"
std::string StatusTopic(std::string_view root);
// "<root>/<driver>/<leaf>": info, link, params, readings, events.
std::string DriverTopic(std::string_view root, std::string_view driver, std::string_view leaf);
// Every command to every driver of the host: "<root>/+/command/+".
std::string CommandFilter(std::string_view root);
// "velkor/v1/clients/<id>", and the filter for them all.
std::string PresenceTopic(std::string_view client);
std::string PresenceFilter();

struct CommandTopic {
  std::string driver;
  std::string command;  // set, action, profile, show
};
// A topic under `root` of the form <driver>/command/<command>.
std::optional<CommandTopic> ParseCommandTopic(std::string_view root, std::string_view topic);
// The client a presence topic names.
std::optional<std::string> ParsePresenceTopic(std::string_view topic);

}  // namespace velkor::mqtt
