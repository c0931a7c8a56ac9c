// driver_snapshots.cpp: snapshot files and their bound.
#include "driver_snapshots.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "driver_identity.h"
#include "journal_entry.h"
#include "profile.h"
#include "profile_error.h"
#include "profile_file.h"
#include "state_directory.h"

namespace velkor {
namespace {

constexpr std::string_view SUFFIX = ".json";

// Names sort as times do: "2026-12-08T21-50-03.125Z.json" (no colons, which
// some tools take for host names).
std::string SnapshotName(std::chrono::system_clock::time_point now) {
  std::string name = JournalTime(now);
  std::replace(name.begin(), name.end(), ':', '-');
  return name + std::string(SUFFIX);
}

std::vector<std::string> SnapshotNames(const std::string& dir) {
  std::vector<std::string> names;
  const std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), &::closedir);
  if (!d) return names;
  while (const dirent* entry = ::readdir(d.get())) {
    const std::string name = entry->d_name;
    if (name[0] != '.' && name.size() > SUFFIX.size() && name.ends_with(SUFFIX)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::string SnapshotDirectory(const std::string& stateDirectory, const std::string& identity) {
  return stateDirectory + "/snapshots/" + IdentityFileName(identity);
}

SnapshotKept KeepSnapshot(const std::string& stateDirectory, const std::string& identity, const std::string& port,
                          const ParameterStates& states, std::chrono::system_clock::time_point now, size_t kept) {
  if (stateDirectory.empty()) return {"", "no state directory: neither XDG_STATE_HOME nor HOME is set"};
  const auto profile = ProfileFromDriver(states, FormatSavedTime(now), "on connection to " + port);
  if (!profile) return {"", "the driver's parameters are not all reported"};
  const std::string dir = SnapshotDirectory(stateDirectory, identity);
  if (auto error = MakeDirectories(dir)) return {"", *error};
  const std::string path = dir + "/" + SnapshotName(now);
  if (auto error = WriteProfile(*profile, path)) return {"", ProfileErrorText(*error, Language::English)};
  const std::vector<std::string> names = SnapshotNames(dir);
  for (size_t i = 0; i + kept < names.size(); ++i) ::unlink((dir + "/" + names[i]).c_str());
  return {path, ""};
}

bool SnapshotDue(SnapshotWatch& watch, const ParameterStates& states) {
  if (watch.takenAtReset == states.resets || DriverSnapshotBlock(states) != SnapshotBlock::None) return false;
  watch.takenAtReset = states.resets;
  return true;
}

}  // namespace velkor
