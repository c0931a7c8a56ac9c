// profile.cpp: taking a profile from the driver's reported values.
#include "profile.h"

#include <ctime>

namespace velkor {

SnapshotBlock DriverSnapshotBlock(const ParameterStates& states) {
  for (const ParameterState& s : states.parameters) {
    if (!s.reportedSinceReset) return SnapshotBlock::NotAllReported;
  }
  // A value on its way would be saved as the one it replaces.
  for (const ParameterState& s : states.parameters) {
    if (Pending(s)) return SnapshotBlock::RequestPending;
  }
  return SnapshotBlock::None;
}

std::optional<Profile> ProfileFromDriver(const ParameterStates& states, std::string savedAt, std::string note) {
  if (DriverSnapshotBlock(states) != SnapshotBlock::None) return std::nullopt;
  Profile profile;
  profile.savedAt = std::move(savedAt);
  profile.note = std::move(note);
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) profile.values[i] = states.parameters[i].value;
  return profile;
}

std::string FormatSavedTime(std::chrono::system_clock::time_point time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace velkor
