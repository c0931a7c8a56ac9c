// parameter_state.cpp: how queue pushes, sends, acknowledgements, reports and
// resets move each parameter's state.
#include "parameter_state.h"

namespace velkor {
namespace {

// The parameter a command changes: a set command, or the smoothing toggle.
std::optional<ParameterId> Target(uint8_t code, uint16_t value) {
  if (code == CMD_ACTION) {
    if (value == ACT_TOGGLE_SMOOTHING) return ParameterId::Smoothing;
    return std::nullopt;
  }
  return ParameterForCommand(code);
}

// The smoothing state the driver will be in once what is on its way has
// arrived: each toggle flips the last one expected.
int32_t ExpectedSmoothing(const ParameterState& s) {
  if (s.outstanding > 0) return s.requested;
  if (s.awaitingReport) return s.acknowledged;
  return s.value;
}

void TakeReport(ParameterStates& states, ParameterId id, int32_t reported) {
  ParameterState& s = State(states, id);
  ++s.reports;
  s.reportedSinceReset = true;
  s.rereadAtReport = states.actionsAcknowledged[ACT_REREAD];
  if (s.awaitingReport) {
    s.awaitingReport = false;
    if (s.request == RequestPhase::AwaitingReport) s.request = RequestPhase::None;
    s.mismatch = reported != s.acknowledged;
    s.mismatchRequested = s.acknowledged;
    s.mismatchReported = reported;
    // The operator's own value, confirmed, supersedes the driver's change.
    if (!s.mismatch) s.changedByDriver = false;
  } else if (s.known && reported != s.value) {
    s.changedFrom = s.changedByDriver ? s.changedFrom : s.value;
    s.changedTo = reported;
    s.changedByDriver = s.changedFrom != reported;
  }
  if (!s.savedKnown || s.saveAwaitsReport) {
    s.saved = reported;
    s.savedKnown = true;
    s.saveAwaitsReport = false;
  }
  s.known = true;
  s.value = reported;
}

void TakeSave(ParameterStates& states) {
  for (ParameterState& s : states.parameters) {
    if (!s.known) continue;
    s.saved = s.value;
    s.savedKnown = true;
    s.saveAwaitsReport = s.awaitingReport;
    // Saving accepts what the driver chose: its changes are no longer news.
    s.changedByDriver = false;
  }
}

}  // namespace

bool Unsaved(const ParameterState& state) { return state.known && state.savedKnown && state.value != state.saved; }

void NoteQueued(ParameterStates& states, uint8_t code, uint16_t value) {
  const auto id = Target(code, value);
  if (!id) return;
  ParameterState& s = State(states, *id);
  s.requested = *id == ParameterId::Smoothing ? 1 - ExpectedSmoothing(s) : RequestedParameterValue(*id, value);
  if (s.outstanding < UINT8_MAX) ++s.outstanding;
  if (s.request != RequestPhase::InFlight) s.request = RequestPhase::Queued;
}

void NoteSent(ParameterStates& states, uint8_t code, uint16_t value) {
  const auto id = Target(code, value);
  if (!id) return;
  ParameterState& s = State(states, *id);
  if (s.outstanding > 0) s.request = RequestPhase::InFlight;
}

void NoteAcknowledged(ParameterStates& states, uint8_t code, uint16_t value) {
  if (code == CMD_ACTION && value < ACTION_CODE_COUNT) {
    ++states.actionsAcknowledged[value];
    if (value == ACT_SAVE_EEPROM) TakeSave(states);
  }
  const auto id = Target(code, value);
  if (!id) return;
  ParameterState& s = State(states, *id);
  if (s.outstanding == 0) return;  // queued before a reset that forgot it
  s.acknowledged = *id == ParameterId::Smoothing ? 1 - (s.awaitingReport ? s.acknowledged : s.value)
                                                 : RequestedParameterValue(*id, value);
  s.awaitingReport = true;
  --s.outstanding;
  s.request = s.outstanding > 0 ? RequestPhase::Queued : RequestPhase::AwaitingReport;
}

void NoteReport(ParameterStates& states, uint8_t type, int16_t value) {
  for (const ParameterInfo& p : PARAMETERS) {
    if (p.reportType == type) TakeReport(states, p.id, ReportedParameterValue(p.id, value));
  }
  if (type == RPT_KL_SMOOTHING) {
    TakeReport(states, ParameterId::Smoothing, ReportedParameterValue(ParameterId::Smoothing, value));
  }
}

void NoteReset(ParameterStates& states) {
  ++states.resets;
  for (ParameterState& s : states.parameters) {
    s.reportedSinceReset = false;
    s.outstanding = 0;
    // An acknowledged value still comes back: the handshake reports them all.
    s.request = s.awaitingReport ? RequestPhase::AwaitingReport : RequestPhase::None;
  }
}

// The counters go on: a watcher that saw them before the change must see a change.
void ForgetDriver(ParameterStates& states) { states.parameters = {}; }

}  // namespace velkor
