// driver_identity.cpp: a device's by-id name, found by resolving every link.
#include "driver_identity.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>

#include <memory>

namespace velkor {
namespace {

std::string Resolved(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

}  // namespace

std::string DriverIdentity(const std::string& port, const std::string& byIdDirectory) {
  if (port == "emulator" || port.find("://") != std::string::npos) return port;
  const std::string device = Resolved(port);
  if (device.empty()) return port;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(byIdDirectory.c_str()), &::closedir);
  if (dir) {
    while (const dirent* entry = ::readdir(dir.get())) {
      if (entry->d_name[0] == '.') continue;
      const std::string link = byIdDirectory + "/" + entry->d_name;
      if (Resolved(link) == device) return link;
    }
  }
  return device;
}

std::string IdentityFileName(const std::string& identity) {
  std::string name;
  for (const char c : identity) {
    const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                      c == '-' || c == '_';
    if (kept || !name.empty()) name += kept ? c : '_';
  }
  // "." and ".." would name directories that are not the driver's.
  if (name.empty() || name == "." || name == "..") name = "_" + name;
  return name;
}

}  // namespace velkor
