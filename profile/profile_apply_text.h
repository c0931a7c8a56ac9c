// profile_apply_text.h: an apply's progress and outcome in words, English for
// the command-line tool and Russian for the panel: each row's status, and one
// paragraph that says how it ended and, after a dropped link, what was and
// was not applied. Depends on profile_apply.h and profile_error.h (Language).
#pragma once

#include <string>

#include "profile_apply.h"
#include "profile_error.h"

namespace velkor {

// The parameter as the operator knows it: the profile's name in English, the
// panel's caption in Russian.
std::string ParameterCaption(ParameterId id, Language language);
// A value as a row shows it: the number, or on/off for smoothing.
std::string ProfileValueText(ParameterId id, int32_t value, Language language);
// "confirmed", "mismatch: reported 1200", ...
std::string RowStatusText(const ApplyRow& row, Language language);
// What is going on, or how it ended.
std::string ApplyOutcomeText(const ProfileApply& apply, Language language);
// What the save stores besides the profile's values, where it may differ
// from the EEPROM: a sentence, or nothing.
std::string AlsoStoredText(const ProfileApply& apply, Language language);
// The same values alone: "holdingCurrent 700 (last seen saved: 500); ...".
std::string AlsoStoredList(const ProfileApply& apply, Language language);

}  // namespace velkor
