// replay_panel.h: the "Воспроизведение" page of the chart window: a recording
// opened from a readings file (any layout the reader knows), scrubbed with a
// slider or played at 0.25× to 4×, and a second recording drawn over it,
// dashed and lighter, aligned by time or by a trigger event found in both.
// The recordings' markers stand on the time axis. A file is read on a thread
// of its own, so a large one never holds the window; while nothing plays, no
// timer runs. Depends on Qt Widgets, reading_file.h, trigger.h and
// still_plots.h.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

#include "reading_file.h"
#include "still_plots.h"
#include "trigger.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

namespace velkor::charts {

// A larger file is refused: a recording of hours, not something to scrub.
inline constexpr qint64 MAX_REPLAY_BYTES = qint64{64} << 20;
inline constexpr std::array<double, 5> REPLAY_SPEEDS{0.25, 0.5, 1, 2, 4};

class ReplayPanel : public QWidget {
  Q_OBJECT

 public:
  // `trigger` gives the condition that "by the event" alignment looks for.
  ReplayPanel(const TriggerEngine& trigger, QWidget* parent = nullptr);

  // Reads the file on a thread and shows it as the first recording or the
  // one compared with it; Loaded or Refused follows.
  void Open(const QString& path, bool second);
  void SetSpan(double seconds);
  // The time at the right edge of what is shown, on the first recording's axis.
  void SetPosition(double seconds);
  double Position() const { return position_; }
  void SetPlaying(bool playing);
  bool Playing() const { return playTimer_.isActive(); }
  void SetSpeed(double speed);
  void SetAlignByTrigger(bool byTrigger);

  StillPlots* Plots() const { return plots_; }
  // The first recording's samples within what is shown.
  std::vector<Sample> ShownSamples() const;

 signals:
  void Loaded();
  void Refused(const QString& why);
  // What is shown moved.
  void Moved();

 protected:
  // A play stops when its page is no longer seen.
  void hideEvent(QHideEvent* event) override;

 private:
  struct Recording {
    QString name;
    ReadingFile file;
    double offset = 0;  // its time at 0 on the axis
  };

  void Ask(bool second);
  void Take(const QString& path, bool second, ReadingFile file);
  void Align();
  void Show();
  void Step();
  std::optional<double> TriggerIn(const ReadingFile& file) const;

  const TriggerEngine& trigger_;
  std::vector<Recording> recordings_;  // the first, then the one compared
  bool byTrigger_ = false;
  double span_ = 10;
  double start_ = 0;  // the axis' first and last sample times
  double end_ = 0;
  double position_ = 0;
  double speed_ = 1;
  QTimer playTimer_;
  QElapsedTimer played_;

  QPushButton* play_ = nullptr;
  QPushButton* compare_ = nullptr;
  QComboBox* speedBox_ = nullptr;
  QComboBox* align_ = nullptr;
  QSlider* slider_ = nullptr;
  QLabel* where_ = nullptr;
  QLabel* files_ = nullptr;
  StillPlots* plots_ = nullptr;
};

}  // namespace velkor::charts
