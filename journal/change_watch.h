// change_watch.h: the panel's parameter edits as journal entries, found in
// the parameter states after each tick the way the panel's marks know them:
// an edit is journalled once, when its request ends: reported back with the
// value asked (confirmed), reported with another (a mismatch), thrown away
// before it went out, or sent and never acknowledged (not known); a save
// when the driver acknowledges it. Plain state, no Qt. Depends on the
// parameter states and apply_journal.h.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "apply_journal.h"
#include "parameter_state.h"

namespace velkor {

struct ChangeWatch {
  std::array<ParameterState, PARAMETER_STATE_COUNT> seen = {};
  // The value each parameter had when its pending request began.
  std::array<std::optional<int32_t>, PARAMETER_STATE_COUNT> before = {};
  uint32_t saves = 0;
  bool started = false;
};

std::vector<JournalEntry> StepChangeWatch(ChangeWatch& watch, const ParameterStates& states,
                                          const JournalSource& source);

}  // namespace velkor
