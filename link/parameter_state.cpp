// parameter_state.cpp: how queue pushes, sends, acknowledgements, reports,
// resets and losses move each parameter's state.
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

// The value the driver holds once every acknowledged command has been
// reported: each smoothing toggle flips it.
int32_t AfterAcknowledged(const ParameterState& s) { return s.awaitingReports > 0 ? s.acknowledged : s.value; }

// The value a command asks for: a set's own value, a toggle's flip of what
// the driver will hold before it. `before` is that value.
int32_t Asked(ParameterId id, uint16_t value, int32_t before) {
  return id == ParameterId::Smoothing ? 1 - before : RequestedParameterValue(id, value);
}

// A report while acknowledged values await theirs: the newest value ends the
// wait; another value is an earlier request's report while more are due,
// and a mismatch when it is the last one due.
void TakeAwaitedReport(ParameterState& s, int32_t reported) {
  if (reported == s.acknowledged) {
    s.awaitingReports = 0;
    s.mismatch = false;
    // The operator's own value, confirmed, supersedes the driver's change.
    s.changedByDriver = false;
  } else if (--s.awaitingReports == 0) {
    s.mismatch = true;
    s.mismatchRequested = s.acknowledged;
    s.mismatchReported = reported;
  }
  if (s.awaitingReports > 0) return;
  if (s.request == RequestPhase::AwaitingReport) s.request = RequestPhase::None;
  // The save took the driver's value, which this report shows.
  if (s.saveAwaitsReport) s.saved = reported;
  s.saveAwaitsReport = false;
}

void TakeReport(ParameterStates& states, ParameterId id, int32_t reported) {
  ParameterState& s = State(states, id);
  ++s.reports;
  s.reportedSinceReset = true;
  s.rereadAtReport = states.actionsAcknowledged[ACT_REREAD];
  s.acknowledgedAtReport = states.commandsAcknowledged;
  if (!s.known) {
    s.connectedValue = reported;
    s.connectedAt = states.now;
    s.valueSince = states.now;
  }
  if (s.awaitingReports > 0) {
    TakeAwaitedReport(s, reported);
  } else if (s.known && reported != s.value) {
    // A request the driver took before (or without) a valid acknowledgement
    // is no change of its own.
    const bool asked = (s.request == RequestPhase::InFlight && reported == s.inFlight) ||
                       (s.failure == RequestFailure::Unconfirmed && reported == s.failedValue);
    if (!asked) {
      s.changedFrom = s.changedByDriver ? s.changedFrom : s.value;
      s.changedTo = reported;
      s.changedByDriver = s.changedFrom != reported;
    }
    // The driver has moved on from what it reported against the request.
    if (s.mismatch && reported != s.mismatchReported) s.mismatch = false;
  }
  if (s.known && reported != s.value) s.valueSince = states.now;
  s.known = true;
  s.value = reported;
}

// The driver stores what its memory holds: a value acknowledged but not yet
// reported is in it already.
void TakeSave(ParameterStates& states) {
  for (ParameterState& s : states.parameters) {
    if (!s.known) continue;
    s.saved = AfterAcknowledged(s);
    s.savedKnown = true;
    s.savedAt = states.now;
    s.saveAwaitsReport = s.awaitingReports > 0;
    // Saving accepts what the driver holds: its changes and its refusals are no longer news.
    s.changedByDriver = false;
    s.mismatch = false;
  }
}

}  // namespace

bool Unsaved(const ParameterState& s) {
  if (!s.known) return false;
  return s.value != (s.savedKnown ? s.saved : s.connectedValue);
}

void NoteQueued(ParameterStates& states, uint8_t code, uint16_t value) {
  const auto id = Target(code, value);
  if (!id) return;
  ParameterState& s = State(states, *id);
  s.requested = Asked(*id, value, s.outstanding > 0 ? s.requested : AfterAcknowledged(s));
  if (s.outstanding < UINT8_MAX) ++s.outstanding;
  if (s.request != RequestPhase::InFlight) s.request = RequestPhase::Queued;
  s.failure = RequestFailure::None;
}

void NoteSent(ParameterStates& states, uint8_t code, uint16_t value) {
  if (code == CMD_ACTION && value < ACTION_CODE_COUNT) ++states.actionsSent[value];
  const auto id = Target(code, value);
  if (!id) return;
  ParameterState& s = State(states, *id);
  if (s.outstanding == 0) return;
  s.request = RequestPhase::InFlight;
  s.inFlight = Asked(*id, value, AfterAcknowledged(s));
}

void NoteAcknowledged(ParameterStates& states, uint8_t code, uint16_t value) {
  if (code != 0) ++states.commandsAcknowledged;  // 0: the handshake's re-read, never in flight
  if (code == CMD_ACTION && value < ACTION_CODE_COUNT) {
    ++states.actionsAcknowledged[value];
    if (value == ACT_SAVE_EEPROM) TakeSave(states);
  }
  const auto id = Target(code, value);
  if (!id) return;
  ParameterState& s = State(states, *id);
  if (s.outstanding == 0) return;  // queued before a reset that forgot it
  s.acknowledged = Asked(*id, value, AfterAcknowledged(s));
  if (s.awaitingReports < UINT8_MAX) ++s.awaitingReports;
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
    if (s.outstanding > 0) {
      const bool sent = s.request == RequestPhase::InFlight;
      s.failure = sent ? RequestFailure::Unconfirmed : RequestFailure::NotSent;
      s.failedValue = sent ? s.inFlight : s.requested;
      s.failedAt = states.now;
    }
    s.outstanding = 0;
    // An acknowledged value still comes back: the handshake reports them all.
    s.request = s.awaitingReports > 0 ? RequestPhase::AwaitingReport : RequestPhase::None;
  }
}

// The counters go on: a watcher that saw them before the change must see a change.
void ForgetDriver(ParameterStates& states, bool keepFailures) {
  for (ParameterState& s : states.parameters) {
    ParameterState fresh;
    if (keepFailures) {
      fresh.failure = s.failure;
      fresh.failedValue = s.failedValue;
      fresh.failedAt = s.failedAt;
    }
    s = fresh;
  }
  ++states.driversForgotten;
}

}  // namespace velkor
