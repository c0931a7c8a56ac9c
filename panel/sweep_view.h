// sweep_view.h: the speed sweep tab. The motor jogs at a series of speeds
// between two bounds the operator gives, each held a few seconds; per speed
// the tab shows the RMS tracking error, the PWM near its ceiling, the speed
// ripple and the total current, plots them against speed with the speeds
// where regulation is lost and where errors rise marked, and proposes a range
// of jog speeds. Depends on Qt Widgets, QCustomPlot and the sweep run.
#pragma once

#include <memory>

#include "motion_view.h"
#include "sweep_run.h"

class QCPGraph;
class QCPItemRect;
class QCPItemStraightLine;
class QCustomPlot;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace velkor {

class SweepView : public MotionView {
  Q_OBJECT

 public:
  explicit SweepView(Link& link, QWidget* parent = nullptr);
  ~SweepView() override;

  void AskToStart();
  // The bounds and the number of speeds, as the operator sets them.
  void SetBounds(int fromRpm, int toRpm, int steps);

  bool Running() const override;
  void Step(double now) override;
  void Stop(double now) override;
  void Refresh() override;
  void AddToReport(AnalysisReport& report, std::vector<std::string>& json) const override;

  QCustomPlot* Plot() const { return plot_; }
  QTableWidget* Speeds() const { return table_; }
  QLabel* Status() const { return status_; }
  QLabel* Verdict() const { return verdict_; }

 protected:
  void ShowButtons() override;

 private:
  void Begin();
  void ShowFigures();
  double PlannedSeconds() const;

  std::unique_ptr<SweepRun> run_;
  size_t shownSegment_ = 0;  // the speed being measured when the figures were last shown
  QSpinBox* from_ = nullptr;
  QSpinBox* to_ = nullptr;
  QSpinBox* steps_ = nullptr;
  QPushButton* start_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* verdict_ = nullptr;
  QCustomPlot* plot_ = nullptr;
  QCPGraph* error_ = nullptr;
  QCPGraph* ceiling_ = nullptr;
  QCPItemStraightLine* lost_ = nullptr;
  QCPItemStraightLine* risen_ = nullptr;
  QCPItemRect* range_ = nullptr;
  QTableWidget* table_ = nullptr;
};

}  // namespace velkor
