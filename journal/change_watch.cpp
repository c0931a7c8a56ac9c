// change_watch.cpp: the transitions of the parameter states that end an edit.
#include "change_watch.h"

#include "codes.h"

namespace velkor {

std::vector<JournalEntry> StepChangeWatch(ChangeWatch& watch, const ParameterStates& states,
                                          const JournalSource& source) {
  std::vector<JournalEntry> entries;
  const uint32_t saves = states.actionsAcknowledged[ACT_SAVE_EEPROM];
  if (!watch.started) {
    watch.seen = states.parameters;
    watch.saves = saves;
    watch.started = true;
    return entries;
  }
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) {
    const ParameterState& was = watch.seen[i];
    const ParameterState& now = states.parameters[i];
    if (!Pending(was) && Pending(now)) watch.before[i] = was.known ? std::optional(was.value) : std::nullopt;
    if (!Pending(was) || Pending(now)) continue;
    JournalEntry e;
    e.client = source.client;
    e.driver = source.driver;
    e.port = source.port;
    e.identity = source.identity;
    e.parameter = static_cast<ParameterId>(i);
    e.oldValue = watch.before[i];
    e.saved = false;
    if (now.failure != RequestFailure::None) {
      e.newValue = now.failedValue;
      if (now.failure == RequestFailure::NotSent) e.confirmed = false;
      e.message = now.failure == RequestFailure::NotSent ? "not sent: the link started over"
                                                         : "sent but not acknowledged: it may or may not have taken";
    } else if (now.mismatch) {
      e.newValue = now.mismatchRequested;
      e.reported = now.mismatchReported;
      e.confirmed = false;
    } else {
      e.newValue = now.value;
      e.reported = now.value;
      e.confirmed = true;
    }
    entries.push_back(e);
  }
  if (saves > watch.saves) entries.push_back(SaveJournalEntry(source, true));
  watch.seen = states.parameters;
  watch.saves = saves;
  return entries;
}

}  // namespace velkor
