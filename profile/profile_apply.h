// profile_apply.h: bringing the driver to a profile and proving it. Plain
// state stepped after every tick, so the panel and a command-line loop drive
// it alike: the set command for each differing row only, each acknowledged;
// then a re-read, and every row compared with what the driver reported after
// it; with `save`, the EEPROM save only once every row is confirmed, and
// always, whatever the EEPROM is believed to hold: it cannot be read. A link
// reset, a port choice among them, ends it and the rows say what was and was
// not applied. No allocation.
// Depends on the link controller (PushCommand, the parameter states) and on
// profile.h.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "link_controller.h"
#include "profile.h"

namespace velkor {

enum class ApplyRowStatus : uint8_t {
  Unchanged,     // already the profile's value: nothing sent for it
  Queued,        // its command waits in the queue
  InFlight,      // sent, not yet acknowledged
  Acknowledged,  // the driver took the command; not yet verified
  Confirmed,     // reported after the re-read with the profile's value
  Mismatch,      // reported after the re-read with another value: `reported`
  NotApplied,    // the link dropped before its command went out
  Uncertain,     // the link dropped while its command was unacknowledged
};

struct ApplyRow {
  ParameterId id = ParameterId::StepDivision;
  int32_t profileValue = 0;
  int32_t driverBefore = 0;
  bool commandQueued = false;  // a set command (or the toggle) was queued for it
  ApplyRowStatus status = ApplyRowStatus::Unchanged;
  int32_t reported = 0;  // Confirmed and Mismatch: the value after the re-read
};

enum class ApplyPhase : uint8_t { Setting, Rereading, Saving };

enum class ApplyOutcome : uint8_t {
  Running,
  NothingToDo,  // the driver holds the profile already and no save was asked for: nothing sent
  NotReady,     // a row's value is not reported since the last reset, or is being changed: nothing sent
  QueueFull,    // no room in the command queue
  Confirmed,    // every row reported back with the profile's value
  Saved,        // ...and the driver acknowledged the save
  Mismatch,     // a row reported another value; no save was sent
  LinkDropped,  // the link reset; `phase` says how far it had come
};

// A value outside the profile that the save stores too, since the driver
// saves all it holds, where it may differ from the EEPROM: what was last
// seen saved differs from it, or nothing was seen saved.
struct AlsoStored {
  ParameterId id = ParameterId::StepDivision;
  int32_t value = 0;
  bool savedKnown = false;
  int32_t saved = 0;
};

struct ProfileApply {
  std::array<ApplyRow, PARAMETER_STATE_COUNT> rows = {};
  uint8_t count = 0;
  bool save = false;
  ApplyPhase phase = ApplyPhase::Setting;
  ApplyOutcome outcome = ApplyOutcome::Running;
  // The link's counters when this apply queued its own: later values mean
  // the link reset, our re-read or our save was acknowledged.
  uint32_t resets = 0;
  uint32_t rereads = 0;
  uint32_t saves = 0;
  uint32_t savesSent = 0;
  // Once the save is queued: what else it stores.
  std::array<AlsoStored, PARAMETER_STATE_COUNT> alsoStored = {};
  uint8_t alsoStoredCount = 0;
  // Ended in the saving phase without the acknowledgement: whether the save
  // had gone out, so that it may or may not have happened.
  bool saveSent = false;
};

inline std::span<const AlsoStored> AlsoStoredRows(const ProfileApply& apply) {
  return {apply.alsoStored.data(), apply.alsoStoredCount};
}

inline std::span<const ApplyRow> Rows(const ProfileApply& apply) { return {apply.rows.data(), apply.count}; }
inline bool Finished(const ProfileApply& apply) { return apply.outcome != ApplyOutcome::Running; }

// Compares the profile with the driver and queues what differs.
ProfileApply StartApply(Link& link, const Profile& profile, bool save);
// One step after a tick; true when a row's status, the phase or the outcome changed.
bool StepApply(ProfileApply& apply, Link& link);
// In the saving phase: whether the save has gone out at least once.
bool SaveSent(const ProfileApply& apply, const Link& link);

}  // namespace velkor
