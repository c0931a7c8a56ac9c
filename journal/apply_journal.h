// apply_journal.h: the journal entries a finished profile apply (or set, or
// the panel's verified edit) leaves: one change per parameter a command was
// sent for, with what the driver reported after the re-read; the save when
// one was asked; and, for a profile, one line naming it. Depends on the
// profile apply and journal_entry.h.
#pragma once

#include <string>
#include <vector>

#include "journal_entry.h"
#include "profile_apply.h"

namespace velkor {

// Who made the changes, on which driver: copied into every entry.
struct JournalSource {
  std::string client;
  std::string driver;
  std::string port;
  std::string identity;
};

// `profile` names the profile applied; empty for a set, which leaves no profile line.
std::vector<JournalEntry> ApplyJournalEntries(const ProfileApply& apply, const Link& link,
                                              const JournalSource& source, const std::string& profile);

// A save asked for alone (velkorctl's `action save`, the panel's button).
JournalEntry SaveJournalEntry(const JournalSource& source, bool acknowledged);

}  // namespace velkor
