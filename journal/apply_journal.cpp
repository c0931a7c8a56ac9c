// apply_journal.cpp: a profile apply's rows as journal entries.
#include "apply_journal.h"

namespace velkor {
namespace {

JournalEntry From(const JournalSource& source, JournalKind kind) {
  JournalEntry e;
  e.client = source.client;
  e.driver = source.driver;
  e.port = source.port;
  e.identity = source.identity;
  e.kind = kind;
  return e;
}

}  // namespace

std::vector<JournalEntry> ApplyJournalEntries(const ProfileApply& apply, const Link& link,
                                              const JournalSource& source, const std::string& profile) {
  std::vector<JournalEntry> entries;
  const bool saved = apply.outcome == ApplyOutcome::Saved;
  // A save that may or may not have happened is not known either way.
  const bool saveUnknown = apply.save && !saved && apply.phase == ApplyPhase::Saving && SaveSent(apply, link);
  for (const ApplyRow& row : Rows(apply)) {
    if (!row.commandQueued) continue;
    JournalEntry e = From(source, JournalKind::Change);
    e.parameter = row.id;
    e.oldValue = row.driverBefore;
    e.newValue = row.profileValue;
    switch (row.status) {
      case ApplyRowStatus::Confirmed:
      case ApplyRowStatus::Mismatch:
        e.reported = row.reported;
        e.confirmed = row.status == ApplyRowStatus::Confirmed;
        break;
      case ApplyRowStatus::Queued:
      case ApplyRowStatus::NotApplied:
        e.confirmed = false;
        e.message = "not sent";
        break;
      default: e.message = "not read back"; break;  // acknowledged or sent: it may have taken
    }
    if (!saveUnknown) e.saved = saved;
    entries.push_back(e);
  }
  if (apply.save && apply.phase == ApplyPhase::Saving) {
    JournalEntry e = From(source, JournalKind::Save);
    if (saved) e.confirmed = true;
    else if (!saveUnknown) e.confirmed = false;
    entries.push_back(e);
  }
  if (!profile.empty()) {
    JournalEntry e = From(source, JournalKind::Profile);
    e.profile = profile;
    if (apply.outcome != ApplyOutcome::Running) {
      e.confirmed = apply.outcome == ApplyOutcome::Confirmed || apply.outcome == ApplyOutcome::Saved ||
                    apply.outcome == ApplyOutcome::NothingToDo;
    }
    if (!saveUnknown) e.saved = saved;
    entries.push_back(e);
  }
  return entries;
}

JournalEntry SaveJournalEntry(const JournalSource& source, bool acknowledged) {
  JournalEntry e = From(source, JournalKind::Save);
  e.confirmed = acknowledged;
  return e;
}

}  // namespace velkor
