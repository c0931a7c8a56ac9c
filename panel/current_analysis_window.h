// current_analysis_window.h: the "Анализ тока" window. It shows the analysis
// core's live figures of how the driver holds its currents, runs the crawl
// test, the speed sweep and the auto-tuning with evidence, and saves all of
// it as a report. A window of its own beside the panel: nothing in it is
// modal, every motion starts only on the operator's confirmation, and Esc,
// its own "Стоп" and the panel's "Стоп" end a motion at once. Its analysis
// listens to the link only while the window is shown or a run goes on.
// Depends on Qt Widgets, the link, the analysis core and its runs.
#pragma once

#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>

#include "analysis_report.h"
#include "current_tracker.h"
#include "link_controller.h"
#include "motion_run.h"

class QLabel;
class QPushButton;
class QTabWidget;
class QTimer;

namespace velkor {

class CrawlView;
class SweepView;
class TrackingView;
class TuneView;

inline constexpr const char* ANALYSIS_TITLE = "Анализ тока";
// How often the live figures are worked out and shown: each costs a pass
// over the window of readings.
inline constexpr int FIGURES_REFRESH_MS = 250;
// The reading rate the crawl speed is proposed from is taken over at least this long.
inline constexpr double MIN_RATE_SPAN_SECONDS = 1.0;

class CurrentAnalysisWindow : public QWidget {
  Q_OBJECT

 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // `ticker` is the panel: its Ticked() comes after every poll tick, its
  // PortOpened() after every port choice.
  CurrentAnalysisWindow(Link& link, QObject* ticker, QWidget* parent = nullptr);
  ~CurrentAnalysisWindow() override;

  // What "Сохранить отчёт…" does once a file is chosen: the PDF at `pdfPath`
  // and the JSON beside it. False, with the reason in a message, when either
  // could not be written.
  bool SaveReport(const QString& pdfPath);
  AnalysisReport Report() const;

  // Ends whatever motion a run has going, at once.
  void StopMotion();
  bool MotionRunning() const;
  bool Listening() const { return listening_; }
  void SetClock(Clock clock) { clock_ = std::move(clock); }

  TrackingView* Tracking() const { return tracking_; }
  CrawlView* Crawl() const { return crawl_; }
  SweepView* Sweep() const { return sweep_; }
  TuneView* Tune() const { return tune_; }

 public slots:
  void AfterTick();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void RefreshFigures();
  void UpdateListening();
  void ChooseReportFile();
  void ShowMotionState();

  Link& link_;
  QObject* ticker_;
  Clock clock_ = [] { return std::chrono::system_clock::now(); };
  mutable analysis::CurrentTracker tracker_;  // its figures are worked out on demand
  bool listening_ = false;
  // Whether the jog was on after the last step of a run: a jog that went off
  // between two ticks was ended by the operator's "Стоп" on the panel.
  bool jogAfterStep_ = false;
  // What the present run found as it began, and what one that ended by a
  // lost link still owes the driver.
  bool runGoing_ = false;
  uint32_t runResets_ = 0;
  OwedStop runFound_;
  OwedStop owed_;
  QString lastFolder_;

  QLabel* driver_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  TrackingView* tracking_ = nullptr;
  CrawlView* crawl_ = nullptr;
  SweepView* sweep_ = nullptr;
  TuneView* tune_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* save_ = nullptr;
  QTimer* refresh_ = nullptr;
};

}  // namespace velkor
