// profile_apply.cpp: the steps of applying a profile, read off the link's
// parameter states and counters.
#include "profile_apply.h"

namespace velkor {
namespace {

std::span<ApplyRow> Used(ProfileApply& apply) { return {apply.rows.data(), apply.count}; }

size_t QueueRoom(const CommandQueue& queue) {
  return CommandQueue::CAPACITY - static_cast<uint8_t>(queue.writeIndex - queue.readIndex);
}

// The smoothing switch has no set command: the toggle flips it.
bool PushSet(Link& link, const ApplyRow& row) {
  if (row.id == ParameterId::Smoothing) return PushCommand(link, CMD_ACTION, ACT_TOGGLE_SMOOTHING);
  return PushCommand(link, Info(row.id).setCode, static_cast<uint16_t>(row.profileValue));
}

bool PushAction(ProfileApply& apply, Link& link, uint16_t action) {
  if (PushCommand(link, CMD_ACTION, action)) return true;
  apply.outcome = ApplyOutcome::QueueFull;
  return false;
}

void StartRereading(ProfileApply& apply, Link& link) {
  apply.phase = ApplyPhase::Rereading;
  apply.rereads = link.parameters.actionsAcknowledged[ACT_REREAD];
  PushAction(apply, link, ACT_REREAD);
}

// Waits for the acknowledgements; the re-read goes only once all are in, so
// every report it brings shows the driver after the whole profile.
bool StepSetting(ProfileApply& apply, Link& link) {
  bool changed = false, waiting = false;
  for (ApplyRow& row : Used(apply)) {
    if (row.status != ApplyRowStatus::Queued && row.status != ApplyRowStatus::InFlight) continue;
    const ParameterState& s = State(link.parameters, row.id);
    const ApplyRowStatus now = s.outstanding == 0                  ? ApplyRowStatus::Acknowledged
                               : s.request == RequestPhase::InFlight ? ApplyRowStatus::InFlight
                                                                     : ApplyRowStatus::Queued;
    changed |= now != row.status;
    row.status = now;
    waiting |= now != ApplyRowStatus::Acknowledged;
  }
  if (waiting) return changed;
  StartRereading(apply, link);
  return true;
}

// The values outside the profile that may differ from the EEPROM.
void NoteAlsoStored(ProfileApply& apply, const ParameterStates& states) {
  std::array<bool, PARAMETER_STATE_COUNT> inProfile = {};
  for (const ApplyRow& row : Rows(apply)) inProfile[Index(row.id)] = true;
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) {
    const ParameterState& s = states.parameters[i];
    if (inProfile[i] || (s.savedKnown && s.saved == s.value)) continue;
    apply.alsoStored[apply.alsoStoredCount++] = {static_cast<ParameterId>(i), s.value, s.savedKnown, s.saved};
  }
}

bool StepRereading(ProfileApply& apply, Link& link) {
  const ParameterStates& states = link.parameters;
  if (states.actionsAcknowledged[ACT_REREAD] <= apply.rereads) return false;
  for (const ApplyRow& row : Rows(apply)) {
    if (State(states, row.id).rereadAtReport <= apply.rereads) return false;
  }
  bool mismatch = false;
  for (ApplyRow& row : Used(apply)) {
    row.reported = State(states, row.id).value;
    row.status = row.reported == row.profileValue ? ApplyRowStatus::Confirmed : ApplyRowStatus::Mismatch;
    mismatch |= row.status == ApplyRowStatus::Mismatch;
  }
  if (mismatch) {
    apply.outcome = ApplyOutcome::Mismatch;
  } else if (!apply.save) {
    apply.outcome = ApplyOutcome::Confirmed;
  } else {
    apply.phase = ApplyPhase::Saving;
    apply.saves = states.actionsAcknowledged[ACT_SAVE_EEPROM];
    apply.savesSent = states.actionsSent[ACT_SAVE_EEPROM];
    NoteAlsoStored(apply, states);
    PushAction(apply, link, ACT_SAVE_EEPROM);
  }
  return true;
}

}  // namespace

ProfileApply StartApply(Link& link, const Profile& profile, bool save) {
  ProfileApply apply;
  apply.save = save;
  apply.resets = link.parameters.resets;
  size_t commands = 0;
  bool known = true;
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) {
    if (!profile.values[i]) continue;
    const ParameterState& s = link.parameters.parameters[i];
    ApplyRow& row = apply.rows[apply.count++];
    row.id = static_cast<ParameterId>(i);
    row.profileValue = *profile.values[i];
    row.driverBefore = s.value;
    row.commandQueued = s.value != row.profileValue;
    commands += row.commandQueued ? 1 : 0;
    // A request of the operator's own on its way would change the value compared.
    known &= s.known && s.reportedSinceReset && !Pending(s);
  }
  // Without the driver's present values a toggle could turn smoothing the
  // wrong way, and a diff would be a guess.
  if (!known) {
    apply.outcome = ApplyOutcome::NotReady;
    for (ApplyRow& row : Used(apply)) row.commandQueued = false;
    return apply;
  }
  // "Apply and save" always has its save to do: the EEPROM cannot be read,
  // so the values are verified and saved like any other apply.
  if (commands == 0 && !save) {
    apply.outcome = ApplyOutcome::NothingToDo;
    return apply;
  }
  if (QueueRoom(link.queue) < commands + 2) {  // the sets, the re-read, the save
    apply.outcome = ApplyOutcome::QueueFull;
    for (ApplyRow& row : Used(apply)) row.commandQueued = false;
    return apply;
  }
  for (ApplyRow& row : Used(apply)) {
    if (!row.commandQueued) continue;
    row.status = ApplyRowStatus::Queued;
    (void)PushSet(link, row);  // room checked above
  }
  if (commands == 0) StartRereading(apply, link);
  return apply;
}

bool SaveSent(const ProfileApply& apply, const Link& link) {
  return link.parameters.actionsSent[ACT_SAVE_EEPROM] > apply.savesSent;
}

bool StepApply(ProfileApply& apply, Link& link) {
  if (Finished(apply)) return false;
  if (link.parameters.resets != apply.resets) {
    for (ApplyRow& row : Used(apply)) {
      if (row.status == ApplyRowStatus::Queued) row.status = ApplyRowStatus::NotApplied;
      if (row.status == ApplyRowStatus::InFlight) row.status = ApplyRowStatus::Uncertain;
    }
    apply.saveSent = apply.phase == ApplyPhase::Saving && SaveSent(apply, link);
    apply.outcome = ApplyOutcome::LinkDropped;
    return true;
  }
  switch (apply.phase) {
    case ApplyPhase::Setting: return StepSetting(apply, link);
    case ApplyPhase::Rereading: return StepRereading(apply, link);
    case ApplyPhase::Saving:
      if (link.parameters.actionsAcknowledged[ACT_SAVE_EEPROM] <= apply.saves) return false;
      apply.outcome = ApplyOutcome::Saved;
      return true;
  }
  return false;
}

}  // namespace velkor
