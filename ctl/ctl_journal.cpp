// ctl_journal.cpp: the session's record hooks, wired to the journal and the snapshots.
#include "ctl_journal.h"

#include <chrono>

#include "apply_journal.h"
#include "driver_identity.h"
#include "driver_snapshots.h"
#include "journal.h"
#include "state_directory.h"

namespace velkor::ctl {

void KeepRecords(Session& session, const Invocation& inv) {
  const JournalSource source{"", "", inv.port, DriverIdentity(inv.port)};
  const Journal journal(UserJournalPath(), "velkorctl");
  const std::string profile = inv.command == Command::ProfileApply ? inv.file : std::string();
  const auto append = [&session, journal](const JournalEntry& entry) {
    if (const auto error = journal.Append(entry)) session.Say(*error);
  };
  session.onApplied = [&session, source, profile, append](const ProfileApply& apply) {
    for (const JournalEntry& entry : ApplyJournalEntries(apply, session.link, source, profile)) append(entry);
  };
  session.onSaved = [source, append](bool acknowledged) { append(SaveJournalEntry(source, acknowledged)); };
  session.onConnected = [&session, source] {
    const SnapshotKept kept = KeepSnapshot(StateDirectory(), source.identity, source.port, session.link.parameters,
                                           std::chrono::system_clock::now());
    if (!kept.error.empty()) session.Say("no snapshot of the parameters was kept: " + kept.error);
  };
}

}  // namespace velkor::ctl
