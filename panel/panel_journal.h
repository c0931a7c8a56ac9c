// panel_journal.h: what the panel records in the user's state directory after
// each tick: the operator's parameter edits once the driver has answered
// them, and the saves it acknowledged, in the journal; the driver's
// parameters as a snapshot once per connection; and a profile apply when it
// ends. A record that cannot be written is told under the status line and
// on standard error. Depends on the journal library and Qt Widgets.
#pragma once

#include <QObject>

#include "change_watch.h"
#include "driver_snapshots.h"
#include "journal.h"
#include "link_controller.h"

class QWidget;

namespace velkor {

class PanelJournal : public QObject {
  Q_OBJECT

 public:
  // `status` shows a failure to write; the journal lives as long as `status`.
  PanelJournal(const Link& link, QWidget* status);

  // A profile window's apply, when it has ended; `profile` names its file.
  void ProfileApplied(const ProfileApply& apply, const std::string& profile);

 public slots:
  void AfterTick();

 private:
  JournalSource Source();
  void Append(const JournalEntry& entry);

  const Link& link_;
  QWidget* status_;
  Journal journal_;
  ChangeWatch changes_;
  SnapshotWatch snapshots_;
  std::string port_;
  std::string identity_;
};

}  // namespace velkor
