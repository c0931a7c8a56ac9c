// driver_snapshots.h: on every connection, once the driver has reported all
// its parameters, they are kept as a profile file (velkorctl profile diff and
// apply read it) in <state directory>/snapshots/<identity>/<time>.json, at
// most SNAPSHOTS_KEPT per driver, the oldest removed. Depends on the profile
// file, the parameter states and driver_identity.h.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "parameter_state.h"

namespace velkor {

inline constexpr size_t SNAPSHOTS_KEPT = 100;

// The directory a driver's snapshots go to under `stateDirectory`.
std::string SnapshotDirectory(const std::string& stateDirectory, const std::string& identity);

struct SnapshotKept {
  std::string path;   // the file written; empty when none was
  std::string error;  // what went wrong, in words; empty when nothing did
};

// Writes the driver's values as reported now; `port` goes into the profile's note.
SnapshotKept KeepSnapshot(const std::string& stateDirectory, const std::string& identity, const std::string& port,
                          const ParameterStates& states, std::chrono::system_clock::time_point now,
                          size_t kept = SNAPSHOTS_KEPT);

// Once per link start: due when every parameter has been reported since the
// link's last reset and none is being changed.
struct SnapshotWatch {
  std::optional<uint32_t> takenAtReset;
};
bool SnapshotDue(SnapshotWatch& watch, const ParameterStates& states);

}  // namespace velkor
