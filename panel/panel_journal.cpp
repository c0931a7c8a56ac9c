// panel_journal.cpp: the change watch and the snapshots stepped after each tick.
#include "panel_journal.h"

#include <QString>
#include <QWidget>

#include <chrono>
#include <cstdio>

#include "apply_journal.h"
#include "driver_identity.h"
#include "state_directory.h"
#include "transient_note.h"

namespace velkor {

PanelJournal::PanelJournal(const Link& link, QWidget* status)
    : QObject(status), link_(link), status_(status), journal_(UserJournalPath(), "velkor") {}

JournalSource PanelJournal::Source() {
  // The identity is looked up again only when another port is chosen.
  if (link_.values.portName != port_) {
    port_ = link_.values.portName;
    identity_ = DriverIdentity(port_);
  }
  return {"", "", port_, identity_};
}

void PanelJournal::Append(const JournalEntry& entry) {
  if (const auto error = journal_.Append(entry)) {
    std::fprintf(stderr, "velkor: %s\n", error->c_str());
    ShowTransientNote(status_, QString::fromStdString(*error));
  }
}

void PanelJournal::AfterTick() {
  const JournalSource source = Source();
  for (const JournalEntry& entry : StepChangeWatch(changes_, link_.parameters, source)) Append(entry);
  if (SnapshotDue(snapshots_, link_.parameters)) {
    const SnapshotKept kept = KeepSnapshot(StateDirectory(), source.identity, source.port, link_.parameters,
                                           std::chrono::system_clock::now());
    if (!kept.error.empty()) {
      std::fprintf(stderr, "velkor: no snapshot of the parameters was kept: %s\n", kept.error.c_str());
      ShowTransientNote(status_, QString::fromStdString("no snapshot of the parameters was kept: " + kept.error));
    }
  }
}

void PanelJournal::ProfileApplied(const ProfileApply& apply, const std::string& profile) {
  // Its changes and its save are the change watch's: only the profile's own line here.
  for (const JournalEntry& entry : ApplyJournalEntries(apply, link_, Source(), profile)) {
    if (entry.kind == JournalKind::Profile) Append(entry);
  }
}

}  // namespace velkor
