// profile_window.h: the "Профили" window. It saves the driver's parameters to
// a profile file, opens a profile and sets it beside the driver row by row,
// and applies it, with or without the EEPROM save, showing each row's status
// and how the apply ended. It listens to the panel's ticks only while it is
// shown or an apply runs, and redraws only what changed. Depends on Qt
// Widgets, the link and profile/.
#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <chrono>
#include <functional>

#include "link_controller.h"
#include "profile.h"
#include "profile_apply.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace velkor {

class ProfileWindow : public QWidget {
  Q_OBJECT

 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // `ticker` is the panel: its Ticked() signal comes after every poll tick,
  // and its PortOpened() after every port choice.
  // A window of its own, parented so that it lives as long as the panel and
  // takes input while the panel runs modal.
  ProfileWindow(Link& link, QObject* ticker, QWidget* parent = nullptr);

  // What the buttons do once a file is chosen. False when nothing was saved
  // or opened: during an apply, or for the reason shown in a message box.
  bool SaveDriverProfile(const QString& path);
  bool OpenProfile(const QString& path);
  void Apply(bool save);

  const ProfileApply& LastApply() const { return apply_; }
  bool Listening() const { return listening_; }
  void SetClock(Clock clock) { clock_ = std::move(clock); }

 public slots:
  void AfterTick();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  // What the window last showed of the driver: a tick that changes none of
  // it costs no redraw.
  struct DriverView {
    std::array<bool, PARAMETER_STATE_COUNT> known = {};
    std::array<int32_t, PARAMETER_STATE_COUNT> values = {};
    SnapshotBlock block = SnapshotBlock::NotAllReported;
    bool operator==(const DriverView&) const = default;
  };
  DriverView ViewOfDriver() const;

  void ChooseSaveFile();
  void ChooseOpenFile();
  void UpdateListening();
  void ShowProfile(Profile profile, const QString& path);
  void ShowDriver();
  void ShowStatuses();
  void ShowButtons();
  void ShowError(const QString& text);
  bool Applying() const { return applyStarted_ && !Finished(apply_); }

  Link& link_;
  QObject* ticker_;
  Clock clock_ = [] { return std::chrono::system_clock::now(); };
  bool listening_ = false;

  bool hasProfile_ = false;
  Profile profile_;
  QString profilePath_;
  bool applyStarted_ = false;  // for the profile now open
  ProfileApply apply_;
  DriverView shown_;
  QString lastFolder_;

  QLabel* fileLabel_ = nullptr;
  QLineEdit* note_ = nullptr;
  QPushButton* openButton_ = nullptr;
  QPushButton* saveButton_ = nullptr;
  QPushButton* applyButton_ = nullptr;
  QPushButton* applySaveButton_ = nullptr;
  QTableWidget* table_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace velkor
