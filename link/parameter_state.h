// parameter_state.h: what the panel knows of each stored parameter and of the
// smoothing switch, beyond its last reported value: whether a request for it
// is queued, in flight or waiting for the driver's report, whether the driver
// reported another value than the one it acknowledged, whether it changed on
// its own, and whether it differs from what the driver's EEPROM holds. Fed by
// the queue pushes, the link controller's sends, acknowledgements, reports and
// resets; read by the panel, the profiles and the command-line tool. Fixed
// arrays, no allocation. Depends on the parameter table.
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

struct ParameterState {
  // The driver's value, as last reported on this port.
  bool known = false;
  bool reportedSinceReset = false;
  int32_t value = 0;
  uint32_t reports = 0;  // reports of it on this port, for watchers that wait for a new one

  // The newest request: queued, in flight or acknowledged and awaiting the
  // report. `outstanding` counts set commands (or toggles) not yet acknowledged.
  RequestPhase request = RequestPhase::None;
  int32_t requested = 0;
  uint8_t outstanding = 0;
  bool awaitingReport = false;  // an acknowledged request awaits its report...
  int32_t acknowledged = 0;     // ...which should carry this value

  // The report after an acknowledged request carried another value.
  bool mismatch = false;
  int32_t mismatchRequested = 0;
  int32_t mismatchReported = 0;

  // The driver changed it without being asked (auto-tuning, another tool, a
  // restart that lost what was not saved).
  bool changedByDriver = false;
  int32_t changedFrom = 0;
  int32_t changedTo = 0;

  // What the EEPROM holds as far as known: the driver loads it at power-up,
  // so the first report on a port counts as saved; an acknowledged save
  // replaces it with the driver's values.
  bool savedKnown = false;
  int32_t saved = 0;
  bool saveAwaitsReport = false;  // a save was acknowledged while this value was on its way
  // How many re-reads had been acknowledged when the last report came.
  uint32_t rereadAtReport = 0;
};

inline constexpr size_t ACTION_CODE_COUNT = 11;  // ACT_REREAD..ACT_ZERO_POSITION

struct ParameterStates {
  std::array<ParameterState, PARAMETER_STATE_COUNT> parameters = {};
  // Acknowledged actions, by action code, and link resets, on this port; a
  // watcher compares them with what it saw when it queued its own.
  std::array<uint32_t, ACTION_CODE_COUNT> actionsAcknowledged = {};
  uint32_t resets = 0;
};

inline ParameterState& State(ParameterStates& states, ParameterId id) { return states.parameters[Index(id)]; }
inline const ParameterState& State(const ParameterStates& states, ParameterId id) {
  return states.parameters[Index(id)];
}

// A known value that differs from what the EEPROM holds.
bool Unsaved(const ParameterState& state);
// A request queued, in flight or awaiting its report.
inline bool Pending(const ParameterState& state) { return state.request != RequestPhase::None; }

// The feed. Each takes the raw command or report as it is on the wire;
// codes and types that touch no parameter are ignored where that makes sense.
void NoteQueued(ParameterStates& states, uint8_t code, uint16_t value);
void NoteSent(ParameterStates& states, uint8_t code, uint16_t value);
void NoteAcknowledged(ParameterStates& states, uint8_t code, uint16_t value);
void NoteReport(ParameterStates& states, uint8_t type, int16_t value);
// The link started over: the queue is empty, nothing is in flight.
void NoteReset(ParameterStates& states);
// Another port, maybe another driver: no value is known any more.
void ForgetDriver(ParameterStates& states);

}  // namespace velkor
