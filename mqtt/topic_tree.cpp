// topic_tree.cpp: building and reading the fleet's topic names.
#include "topic_tree.h"

#include <algorithm>

namespace velkor::mqtt {

bool ValidName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
  });
}

bool ValidClientId(std::string_view id) {
  return !id.empty() && id.find_first_of("/+#") == std::string_view::npos &&
         id.find('\0') == std::string_view::npos;
}

std::string HostRoot(std::string_view site, std::string_view host) {
  return std::string(TOPIC_ROOT) + "/" + std::string(site) + "/" + std::string(host);
}

std::string StatusTopic(std::string_view root) { return std::string(root) + "/status"; }

std::string DriverTopic(std::string_view root, std::string_view driver, std::string_view leaf) {
  return std::string(root) + "/" + std::string(driver) + "/" + std::string(leaf);
}

std::string CommandFilter(std::string_view root) { return std::string(root) + "/+/command/+"; }

std::string PresenceTopic(std::string_view client) {
  return std::string(TOPIC_ROOT) + "/clients/" + std::string(client);
}

std::string PresenceFilter() { return PresenceTopic("+"); }

std::optional<CommandTopic> ParseCommandTopic(std::string_view root, std::string_view topic) {
  if (topic.size() <= root.size() + 1 || topic.substr(0, root.size()) != root || topic[root.size()] != '/')
    return std::nullopt;
  const std::string_view rest = topic.substr(root.size() + 1);
  const size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view driver = rest.substr(0, slash);
  constexpr std::string_view COMMAND = "/command/";
  if (rest.substr(slash, COMMAND.size()) != COMMAND) return std::nullopt;
  const std::string_view command = rest.substr(slash + COMMAND.size());
  if (!ValidName(driver) || !ValidName(command)) return std::nullopt;
  return CommandTopic{std::string(driver), std::string(command)};
}

std::optional<std::string> ParsePresenceTopic(std::string_view topic) {
  const std::string prefix = PresenceTopic("");
  if (topic.size() <= prefix.size() || topic.substr(0, prefix.size()) != prefix) return std::nullopt;
  const std::string_view id = topic.substr(prefix.size());
  if (!ValidClientId(id)) return std::nullopt;
  return std::string(id);
}

}  // namespace velkor::mqtt
