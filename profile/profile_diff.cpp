// profile_diff.cpp: comparing a profile with the driver's reported values.
#include "profile_diff.h"

#include <algorithm>

namespace velkor {

ProfileDiff DiffProfile(const Profile& profile, const ParameterStates& states) {
  ProfileDiff diff;
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) {
    if (!profile.values[i]) continue;
    const ParameterState& s = states.parameters[i];
    DiffRow& row = diff.rows[diff.count++];
    row.id = static_cast<ParameterId>(i);
    // A value from before the last reset may be stale: the driver may have
    // restarted or been changed while the link was down.
    row.driverKnown = s.known && s.reportedSinceReset;
    row.driverValue = s.value;
    row.profileValue = *profile.values[i];
    row.differs = row.driverKnown && row.driverValue != row.profileValue;
  }
  return diff;
}

bool DriverKnown(const ProfileDiff& diff) {
  const auto rows = Rows(diff);
  return std::all_of(rows.begin(), rows.end(), [](const DiffRow& r) { return r.driverKnown; });
}

size_t DifferingRows(const ProfileDiff& diff) {
  const auto rows = Rows(diff);
  return static_cast<size_t>(std::count_if(rows.begin(), rows.end(), [](const DiffRow& r) { return r.differs; }));
}

}  // namespace velkor
