// state_directory.cpp: the XDG state directory and mkdir -p.
#include "state_directory.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace velkor {

std::string StateDirectory() {
  // The XDG rules ignore a relative $XDG_STATE_HOME.
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') return std::string(state) + "/velkor";
  const char* home = std::getenv("HOME");
  if (home && home[0] != '\0') return std::string(home) + "/.local/state/velkor";
  return {};
}

std::string UserJournalPath() {
  const std::string dir = StateDirectory();
  return dir.empty() ? std::string() : dir + "/journal.jsonl";
}

std::optional<std::string> MakeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      return "cannot make " + part + ": " + std::strerror(errno);
    }
    if (slash == std::string::npos) return std::nullopt;
  }
}

}  // namespace velkor
