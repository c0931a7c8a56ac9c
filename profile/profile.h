// profile.h: a parameter profile as the program holds it: which of the ten
// parameters and the smoothing switch it sets and to what, when it was saved
// and the operator's note; and how one is taken from what the driver last
// reported. Plain data; depends on the link's parameter table and states.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "parameter_state.h"
#include "parameter_table.h"

namespace velkor {

inline constexpr std::string_view PROFILE_FORMAT = "velkor-profile";
inline constexpr int PROFILE_VERSION = 1;
inline constexpr std::string_view PROFILE_DEVICE = "VK-3";

struct Profile {
  std::string savedAt;  // as written in the file: "2026-12-08T12:50:00Z"
  std::string note;     // empty: none
  // By ParameterId; a profile may set any subset. Values are in the domain of
  // ReportedParameterValue: the delay unsigned, smoothing 0 or 1.
  std::array<std::optional<int32_t>, PARAMETER_STATE_COUNT> values = {};
};

inline const std::optional<int32_t>& Value(const Profile& profile, ParameterId id) {
  return profile.values[Index(id)];
}

// Why the driver's values cannot be taken as a profile right now.
enum class SnapshotBlock : uint8_t {
  None,
  NotAllReported,  // a parameter has not been reported since the link's last reset
  RequestPending,  // a change is queued, in flight or awaiting its report
};
SnapshotBlock DriverSnapshotBlock(const ParameterStates& states);

// All ten parameters and the smoothing switch as the driver last reported
// them; nothing unless DriverSnapshotBlock says None.
std::optional<Profile> ProfileFromDriver(const ParameterStates& states, std::string savedAt, std::string note);

// The saving time as a profile writes it: UTC, to the second, ISO 8601.
std::string FormatSavedTime(std::chrono::system_clock::time_point time);

}  // namespace velkor
