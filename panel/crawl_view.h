// crawl_view.h: the crawl test tab. The operator sets the speed (proposed so
// that each electrical period spans at least 50 readings) and the travel,
// confirms, and the motor crawls until its time is up or it is stopped. The
// tab shows measured A against B over the ideal circle of the set currents,
// a table per microstep, the ripple, the error near zero crossings and the
// 3rd and 5th harmonics; runs can be kept and compared in one table.
// Depends on Qt Widgets, QCustomPlot and the crawl run.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

#include "crawl_run.h"
#include "motion_view.h"

class QCPCurve;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace velkor {

class SquarePlot;

// A run kept for comparison, as its row shows it.
struct KeptCrawl {
  QStringList cells;
  std::string json;
};

class CrawlView : public MotionView {
  Q_OBJECT

 public:
  explicit CrawlView(Link& link, QWidget* parent = nullptr);
  ~CrawlView() override;

  // The reading rate of one winding, as the live figures last found it:
  // the speed proposed follows it.
  void SetReadingRate(std::optional<double> ratePerSecond);
  // Asks to crawl at the speed and travel set; starts on the operator's yes.
  void AskToStart();
  void Keep();

  bool Running() const override;
  void Step(double now) override;
  void Stop(double now) override;
  void Refresh() override;
  void AddToReport(AnalysisReport& report, std::vector<std::string>& json) const override;

  SquarePlot* Plot() const { return plot_; }
  QTableWidget* Bins() const { return bins_; }
  QTableWidget* KeptRuns() const { return kept_; }
  QLabel* Status() const { return status_; }

 protected:
  void ShowButtons() override;

 private:
  void Begin();
  void Propose();
  void ShowTime();
  void ShowFigures();
  double Seconds() const;
  QStringList FigureCells() const;

  std::unique_ptr<CrawlRun> run_;
  std::optional<double> rate_;
  // The run's number and the driver's settings as it began, to label it.
  struct Label {
    QString number, smoothing, kp, kl;
  };
  QString LabelText() const;
  Label label_;
  // The last run that ran its course: a report after a run stopped before
  // it measured anything gives its figures.
  struct Complete {
    QString label;
    int16_t rpm = 0;
    analysis::CrawlFigures figures;
  };
  std::optional<Complete> lastComplete_;
  int runs_ = 0;
  int shownPoints_ = 0;
  std::vector<KeptCrawl> keptRuns_;

  QSpinBox* rpm_ = nullptr;
  QDoubleSpinBox* travel_ = nullptr;
  QLabel* proposal_ = nullptr;
  QLabel* time_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* keep_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* figures_ = nullptr;
  SquarePlot* plot_ = nullptr;
  QCPCurve* ideal_ = nullptr;
  QCPCurve* measured_ = nullptr;
  QTableWidget* bins_ = nullptr;
  QTableWidget* kept_ = nullptr;
};

}  // namespace velkor
