// profile_diff.h: a profile beside the driver, row by row: each parameter the
// profile sets, the driver's last reported value and whether they differ.
// Depends on profile.h and the link's parameter states.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "parameter_state.h"
#include "profile.h"

namespace velkor {

struct DiffRow {
  ParameterId id = ParameterId::StepDivision;
  bool driverKnown = false;  // reported since the link's last reset
  int32_t driverValue = 0;
  int32_t profileValue = 0;
  bool differs = false;  // known and different; an unknown value decides nothing
};

// At most eleven rows, in the order the panel lists the parameters.
struct ProfileDiff {
  std::array<DiffRow, PARAMETER_STATE_COUNT> rows = {};
  uint8_t count = 0;
};

inline std::span<const DiffRow> Rows(const ProfileDiff& diff) { return {diff.rows.data(), diff.count}; }

ProfileDiff DiffProfile(const Profile& profile, const ParameterStates& states);
// Every row's driver value known.
bool DriverKnown(const ProfileDiff& diff);
size_t DifferingRows(const ProfileDiff& diff);

}  // namespace velkor
