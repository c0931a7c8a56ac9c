// tune_view.h: the auto-tuning tab, with evidence. A snapshot of the
// parameters is kept; the currents are measured at standstill and in a short
// crawl; the driver's "Автоподстройка тока" runs; the same is measured again;
// before and after are shown side by side with the new Kp and KL, over one
// crawl circle. Then the operator keeps the new values and has them written
// to the EEPROM (told as done only once the driver acknowledges the save), or
// gives the old ones back, applied and verified as a profile is. Depends on Qt
// Widgets, QCustomPlot and the tuning run.
#pragma once

#include <memory>

#include "motion_view.h"
#include "tune_run.h"

class QCPCurve;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace velkor {

class SquarePlot;

class TuneView : public MotionView {
  Q_OBJECT

 public:
  explicit TuneView(Link& link, QWidget* parent = nullptr);
  ~TuneView() override;

  void AskToStart();
  void KeepAndSave();
  void Revert();

  // Running from the start until a decision has been carried out, or the run failed.
  bool Running() const override;
  void Step(double now) override;
  void Stop(double now) override;
  void Refresh() override;
  void AddToReport(AnalysisReport& report, std::vector<std::string>& json) const override;

  QTableWidget* Comparison() const { return table_; }
  QLabel* Status() const { return status_; }
  SquarePlot* Plot() const { return plot_; }

 protected:
  void ShowButtons() override;

 private:
  void Begin();
  void ShowFigures();

  std::unique_ptr<TuneRun> run_;
  TunePhase shownPhase_ = TunePhase::Idle;
  QSpinBox* rpm_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* keep_ = nullptr;
  QPushButton* revert_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* outcome_ = nullptr;
  QTableWidget* table_ = nullptr;
  SquarePlot* plot_ = nullptr;
  QCPCurve* before_ = nullptr;
  QCPCurve* after_ = nullptr;
};

}  // namespace velkor
