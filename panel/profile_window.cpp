// profile_window.cpp: the profiles window's layout, its files and its applies.
#include "profile_window.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "panel_journal.h"
#include "profile_apply_text.h"
#include "profile_diff.h"
#include "profile_file.h"
#include "side_dialog.h"

namespace velkor {
namespace {

enum Column { COL_NAME, COL_DRIVER, COL_PROFILE, COL_DIFFERS, COL_STATUS, COLUMN_COUNT };

QString Text(const std::string& text) { return QString::fromStdString(text); }

QString ValueText(ParameterId id, int32_t value) { return Text(ProfileValueText(id, value, Language::Russian)); }

QString BlockText(SnapshotBlock block) {
  switch (block) {
    case SnapshotBlock::None: return "Откройте профиль или сохраните параметры устройства.";
    case SnapshotBlock::NotAllReported:
      return "Параметры устройства ещё не получены: сохранить их можно после соединения.";
    case SnapshotBlock::RequestPending:
      return "Параметр устройства меняется: сохранить можно после ответа устройства.";
  }
  return {};
}

void SetCell(QTableWidget* table, int row, int column, const QString& text, bool bold = false) {
  QTableWidgetItem* item = table->item(row, column);
  if (item->text() != text) item->setText(text);
  if (item->font().bold() != bold) {
    QFont font = item->font();
    font.setBold(bold);
    item->setFont(font);
  }
}

}  // namespace

ProfileWindow::ProfileWindow(Link& link, QObject* ticker, QWidget* parent)
    : QWidget(parent, Qt::Window), link_(link), ticker_(ticker) {
  setWindowTitle("Профили");
  setAttribute(Qt::WA_QuitOnClose, false);

  auto* layout = new QVBoxLayout(this);
  auto* files = new QHBoxLayout;
  openButton_ = new QPushButton("Открыть профиль…", this);
  connect(openButton_, &QPushButton::clicked, this, &ProfileWindow::ChooseOpenFile);
  files->addWidget(openButton_);
  saveButton_ = new QPushButton("Сохранить параметры устройства…", this);
  connect(saveButton_, &QPushButton::clicked, this, &ProfileWindow::ChooseSaveFile);
  files->addWidget(saveButton_);
  files->addWidget(new QLabel("Примечание:", this));
  note_ = new QLineEdit(this);
  note_->setPlaceholderText("к сохраняемому профилю");
  files->addWidget(note_, 1);
  layout->addLayout(files);

  fileLabel_ = new QLabel("Профиль не открыт", this);
  fileLabel_->setTextFormat(Qt::PlainText);  // the path, the time and the note come from a file
  fileLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(fileLabel_);

  table_ = new QTableWidget(static_cast<int>(PARAMETER_STATE_COUNT), COLUMN_COUNT, this);
  table_->setHorizontalHeaderLabels({"Параметр", "Устройство", "Профиль", "Различие", "Состояние"});
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionMode(QAbstractItemView::NoSelection);
  table_->setFocusPolicy(Qt::NoFocus);
  for (int row = 0; row < table_->rowCount(); ++row) {
    for (int column = 0; column < COLUMN_COUNT; ++column) {
      auto* item = new QTableWidgetItem;
      if (column == COL_DRIVER || column == COL_PROFILE) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      table_->setItem(row, column, item);
    }
    table_->item(row, COL_NAME)->setText(Text(ParameterCaption(static_cast<ParameterId>(row), Language::Russian)));
  }
  // Fitted to what they hold, which changes only when a value does.
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setSectionResizeMode(COL_STATUS, QHeaderView::Stretch);
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  layout->addWidget(table_, 1);

  status_ = new QLabel(this);
  status_->setTextFormat(Qt::PlainText);
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(status_);

  auto* actions = new QHBoxLayout;
  actions->addStretch();
  applyButton_ = new QPushButton("Применить", this);
  connect(applyButton_, &QPushButton::clicked, this, [this] { Apply(false); });
  actions->addWidget(applyButton_);
  applySaveButton_ = new QPushButton("Применить и записать в EEPROM", this);
  connect(applySaveButton_, &QPushButton::clicked, this, [this] { Apply(true); });
  actions->addWidget(applySaveButton_);
  layout->addLayout(actions);

  // A port choice ends an apply even when no tick follows it (the new port
  // failed to open): the window looks at once. Tests stand in for the panel
  // with a ticker that has no port.
  if (ticker_->metaObject()->indexOfSignal("PortOpened(QString)") >= 0) {
    connect(ticker_, SIGNAL(PortOpened(QString)), this, SLOT(AfterTick()));
  }

  shown_ = ViewOfDriver();
  ShowDriver();
  resize(800, 440);
}

// Neither while an apply runs: its rows belong to the profile being applied.
bool ProfileWindow::SaveDriverProfile(const QString& path) {
  if (Applying()) return false;
  const auto profile =
      ProfileFromDriver(link_.parameters, FormatSavedTime(clock_()), note_->text().trimmed().toStdString());
  if (!profile) {
    ShowError(BlockText(DriverSnapshotBlock(link_.parameters)));
    return false;
  }
  if (const auto error = WriteProfile(*profile, path.toStdString())) {
    ShowError(Text(ProfileErrorText(*error, Language::Russian)));
    return false;
  }
  // What was just saved is the profile now open: every row the same.
  ShowProfile(*profile, path);
  return true;
}

bool ProfileWindow::OpenProfile(const QString& path) {
  if (Applying()) return false;
  Profile profile;
  if (const auto error = ReadProfile(path.toStdString(), profile)) {
    ShowError(Text(ProfileErrorText(*error, Language::Russian)));
    return false;
  }
  ShowProfile(std::move(profile), path);
  return true;
}

void ProfileWindow::ShowProfile(Profile profile, const QString& path) {
  profile_ = std::move(profile);
  profilePath_ = path;
  hasProfile_ = true;
  applyStarted_ = false;
  ShowDriver();
}

void ProfileWindow::Apply(bool save) {
  if (!hasProfile_ || Applying()) return;
  apply_ = StartApply(link_, profile_, save);
  applyStarted_ = true;
  UpdateListening();
  ShowDriver();
}

void ProfileWindow::AfterTick() {
  const bool stepped = Applying() && StepApply(apply_, link_);
  const DriverView now = ViewOfDriver();
  if (now != shown_ || stepped) {
    shown_ = now;
    ShowDriver();
  }
  // How it ended stays in the status line, read when the window is looked at:
  // a box would stand between the operator and the panel's "Стоп".
  if (stepped && Finished(apply_)) {
    UpdateListening();
    // The panel's journal, when the window belongs to a panel that keeps one.
    if (auto* journal = parent() ? parent()->findChild<PanelJournal*>() : nullptr)
      journal->ProfileApplied(apply_, profilePath_.toStdString());
  }
}

void ProfileWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // What happened while it was closed.
  shown_ = ViewOfDriver();
  ShowDriver();
  UpdateListening();
}

void ProfileWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  UpdateListening();
}

ProfileWindow::DriverView ProfileWindow::ViewOfDriver() const {
  DriverView view;
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) {
    const ParameterState& s = link_.parameters.parameters[i];
    view.known[i] = s.known && s.reportedSinceReset;
    view.values[i] = s.value;
  }
  view.block = DriverSnapshotBlock(link_.parameters);
  return view;
}

// The dialog adds ".json" itself, before it asks about replacing a file:
// "bench" typed over an existing bench.json is asked about like the full name.
void ProfileWindow::ChooseSaveFile() {
  AskForFile(this, {.title = "Сохранить параметры устройства",
                   .folder = lastFolder_,
                   .filter = "Профили Velkor (*.json)",
                   .save = true,
                   .defaultSuffix = "json"},
             [this](const QString& path) {
               lastFolder_ = QFileInfo(path).absolutePath();
               SaveDriverProfile(path);
             });
}

void ProfileWindow::ChooseOpenFile() {
  AskForFile(this, {.title = "Открыть профиль", .folder = lastFolder_, .filter = "Профили Velkor (*.json);;Все файлы (*)"},
             [this](const QString& path) {
               lastFolder_ = QFileInfo(path).absolutePath();
               OpenProfile(path);
             });
}

// Ticks are needed to show the driver while the window is open, and to step
// an apply to its end even if the window is closed meanwhile; otherwise the
// window is not called at all.
void ProfileWindow::UpdateListening() {
  const bool wanted = isVisible() || Applying();
  if (wanted == listening_) return;
  if (wanted) {
    connect(ticker_, SIGNAL(Ticked()), this, SLOT(AfterTick()));
  } else {
    disconnect(ticker_, SIGNAL(Ticked()), this, SLOT(AfterTick()));
  }
  listening_ = wanted;
}

void ProfileWindow::ShowDriver() {
  const ProfileDiff diff = DiffProfile(profile_, link_.parameters);  // no rows without a profile
  std::array<const DiffRow*, PARAMETER_STATE_COUNT> inProfile = {};
  for (const DiffRow& row : Rows(diff)) inProfile[Index(row.id)] = &row;
  for (int row = 0; row < table_->rowCount(); ++row) {
    const auto id = static_cast<ParameterId>(row);
    const ParameterState& s = State(link_.parameters, id);
    SetCell(table_, row, COL_DRIVER, s.known && s.reportedSinceReset ? ValueText(id, s.value) : "—");
    const DiffRow* d = inProfile[row];
    const bool differs = d && d->differs;
    SetCell(table_, row, COL_PROFILE, d ? ValueText(id, d->profileValue) : "");
    SetCell(table_, row, COL_DIFFERS, !d ? "" : !d->driverKnown ? "?" : differs ? "отличается" : "", differs);
    SetCell(table_, row, COL_NAME, table_->item(row, COL_NAME)->text(), differs);
  }
  ShowStatuses();
  if (!hasProfile_) {
    fileLabel_->setText("Профиль не открыт");
    status_->setText(BlockText(shown_.block));
  } else {
    QString file = "Профиль: " + profilePath_;
    if (!profile_.savedAt.empty()) file += ", сохранён " + Text(profile_.savedAt);
    if (!profile_.note.empty()) file += "\nПримечание: " + Text(profile_.note);
    fileLabel_->setText(file);
    // An apply that sent nothing spoke of its moment only; one that sent
    // something keeps its account after the link starts over.
    const bool sentNothing = apply_.outcome == ApplyOutcome::NothingToDo || apply_.outcome == ApplyOutcome::NotReady ||
                             apply_.outcome == ApplyOutcome::QueueFull;
    if (applyStarted_ && !(sentNothing && link_.parameters.resets != apply_.resets)) {
      status_->setText(Text(ApplyOutcomeText(apply_, Language::Russian)));
    } else if (!DriverKnown(diff)) {
      status_->setText("Параметры устройства ещё не получены: сравнить и применить можно после соединения.");
    } else {
      status_->setText(QString("Отличаются: %1 из %2.").arg(DifferingRows(diff)).arg(diff.count));
    }
  }
  ShowButtons();
}

void ProfileWindow::ShowStatuses() {
  std::array<QString, PARAMETER_STATE_COUNT> texts;
  std::array<bool, PARAMETER_STATE_COUNT> bad = {};
  if (applyStarted_) {
    const bool linkStartedOver = link_.parameters.resets != apply_.resets;
    for (const ApplyRow& row : Rows(apply_)) {
      // A match, a confirmation or a mismatch speaks of the device's value as
      // it was on the link the apply ran on: once that value is no longer
      // known, neither is the result; once the link has started over (maybe
      // with another driver), the result is no longer this driver's, and the
      // difference column alone speaks.
      const ParameterState& s = State(link_.parameters, row.id);
      const bool aboutTheValue = row.status == ApplyRowStatus::Unchanged || row.status == ApplyRowStatus::Confirmed ||
                                 row.status == ApplyRowStatus::Mismatch;
      const bool known = s.known && s.reportedSinceReset;
      if (aboutTheValue && (!known || linkStartedOver)) {
        texts[Index(row.id)] = known ? "" : "неизвестно";
        continue;
      }
      texts[Index(row.id)] = Text(RowStatusText(row, Language::Russian));
      bad[Index(row.id)] = row.status == ApplyRowStatus::Mismatch || row.status == ApplyRowStatus::NotApplied ||
                           row.status == ApplyRowStatus::Uncertain;
    }
  }
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) SetCell(table_, static_cast<int>(i), COL_STATUS, texts[i], bad[i]);
}

void ProfileWindow::ShowButtons() {
  saveButton_->setEnabled(shown_.block == SnapshotBlock::None && !Applying());
  saveButton_->setToolTip(shown_.block == SnapshotBlock::None ? QString() : BlockText(shown_.block));
  openButton_->setEnabled(!Applying());
  applyButton_->setEnabled(hasProfile_ && !Applying());
  applySaveButton_->setEnabled(hasProfile_ && !Applying());
}

void ProfileWindow::ShowError(const QString& text) { ShowMessage(this, text); }

}  // namespace velkor
