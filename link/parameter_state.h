// parameter_state.h: what the program knows of each stored parameter and of
// the smoothing switch, and since when: the value the driver reported at
// connection and since, a request queued, in flight or waiting for the
// driver's report, a request that failed, a report that did not carry the
// value acknowledged, a change the driver made on its own, and a save the
// driver acknowledged. Only what was seen is known: the EEPROM cannot be
// read, so what it holds is unknown until a save is acknowledged, and then
// inferred. Knowledge lasts while the same driver is known to be on the line
// and is dropped when it may be another or may have restarted. Fed by the
// queue pushes, the link controller's sends, acknowledgements, reports,
// resets and losses; read by the panel, the profiles and the command-line
// tool. Fixed arrays, no allocation. Depends on the parameter table.
#pragma once

#include <array>
#include <cstdint>

#include "parameter_table.h"

namespace velkor {

enum class RequestPhase : uint8_t {
  None,            // nothing asked, or the report answered it
  Queued,          // waiting in the command queue
  InFlight,        // sent, not yet acknowledged
  AwaitingReport,  // acknowledged; the driver's report of the value is due
};

// How the operator's last request for a parameter ended when it did not end
// well; kept until the operator asks for the parameter again.
enum class RequestFailure : uint8_t {
  None,
  NotSent,      // thrown away from the queue when the link started over
  Unconfirmed,  // sent, never acknowledged: the driver may or may not have taken it
};

// Moments are the owner's clock in seconds (Link::clock), 0 when it has none.
struct ParameterState {
  // The driver's value, as last reported, and since when it is that value.
  bool known = false;
  bool reportedSinceReset = false;
  int32_t value = 0;
  int64_t valueSince = 0;
  uint32_t reports = 0;  // reports of it, for watchers that wait for a new one

  // The first value this driver reported, when it was first seen.
  int32_t connectedValue = 0;
  int64_t connectedAt = 0;

  // The newest request: queued, in flight or acknowledged and awaiting the
  // report. `outstanding` counts set commands (or toggles) not yet
  // acknowledged, `awaitingReports` those acknowledged whose reports are due;
  // a driver may report in its own cycle, after several acknowledgements.
  RequestPhase request = RequestPhase::None;
  int32_t requested = 0;       // the newest value asked for
  int32_t inFlight = 0;        // the value of the command on the wire
  uint8_t outstanding = 0;
  uint8_t awaitingReports = 0;
  int32_t acknowledged = 0;    // the newest acknowledged value

  // The operator's last request failed: `failedValue` may or may not be in
  // the driver (Unconfirmed), or was never sent (NotSent).
  RequestFailure failure = RequestFailure::None;
  int32_t failedValue = 0;
  int64_t failedAt = 0;

  // The last report after an acknowledged request carried another value.
  bool mismatch = false;
  int32_t mismatchRequested = 0;
  int32_t mismatchReported = 0;

  // The driver changed it without being asked (auto-tuning, another tool, a
  // restart that lost what was not saved).
  bool changedByDriver = false;
  int32_t changedFrom = 0;
  int32_t changedTo = 0;

  // A save the driver acknowledged in this run while the value was known:
  // the EEPROM holds `saved` as far as can be inferred. Without it the
  // EEPROM's content is unknown.
  bool savedKnown = false;
  int32_t saved = 0;
  int64_t savedAt = 0;
  bool saveAwaitsReport = false;  // a save was acknowledged while this value was on its way
  // How many re-reads, and how many commands of any kind, had been
  // acknowledged when the last report came.
  uint32_t rereadAtReport = 0;
  uint32_t acknowledgedAtReport = 0;
};

inline constexpr size_t ACTION_CODE_COUNT = 11;  // ACT_REREAD..ACT_ZERO_POSITION

struct ParameterStates {
  std::array<ParameterState, PARAMETER_STATE_COUNT> parameters = {};
  // Actions sent (at least once) and acknowledged, by action code, and link
  // resets; a watcher compares them with what it saw when it queued its own.
  std::array<uint32_t, ACTION_CODE_COUNT> actionsSent = {};
  std::array<uint32_t, ACTION_CODE_COUNT> actionsAcknowledged = {};
  // Commands acknowledged, whatever their code: a report that came with more
  // counted than at an acknowledgement was sent after it.
  uint32_t commandsAcknowledged = 0;
  uint32_t resets = 0;
  // Times the knowledge of the driver was dropped.
  uint32_t driversForgotten = 0;
  int64_t now = 0;  // the moment the events being fed happen
};

inline ParameterState& State(ParameterStates& states, ParameterId id) { return states.parameters[Index(id)]; }
inline const ParameterState& State(const ParameterStates& states, ParameterId id) {
  return states.parameters[Index(id)];
}

// A known value that changed since what was last seen saved or, with no save
// seen, since the driver's first report: not known to be in the EEPROM.
bool Unsaved(const ParameterState& state);
// A request queued, in flight or awaiting its report.
inline bool Pending(const ParameterState& state) { return state.request != RequestPhase::None; }

// The feed. Each takes the raw command or report as it is on the wire;
// codes and types that touch no parameter are ignored where that makes sense.
void NoteQueued(ParameterStates& states, uint8_t code, uint16_t value);
void NoteSent(ParameterStates& states, uint8_t code, uint16_t value);
void NoteAcknowledged(ParameterStates& states, uint8_t code, uint16_t value);
void NoteReport(ParameterStates& states, uint8_t type, int16_t value);
// The link started over: the queue is empty, nothing is in flight. What was
// queued or in flight becomes a failed request.
void NoteReset(ParameterStates& states);
// The driver may be another, or may have restarted: nothing is known of it
// any more. The operator's failed requests stay when `keepFailures`, until
// the operator asks again: a link loss does not answer them.
void ForgetDriver(ParameterStates& states, bool keepFailures);

}  // namespace velkor
