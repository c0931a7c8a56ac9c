// tracking_view.h: the live figures of the current analysis window: per
// winding, how well the driver holds its currents, and for both windings the
// imbalance and the voltage headroom, each with what it rests on. The
// operator sets the window's length, the tolerance and the PWM full scale
// where known, and picks the motion state the figures cover. Every cell
// tells in its tooltip how to read it; the row picked is explained beside the
// table. Depends on Qt Widgets and the analysis core's tracker.
#pragma once

#include <QWidget>

#include "analysis_report.h"
#include "current_tracker.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QTableWidget;

namespace velkor {

class TrackingView : public QWidget {
  Q_OBJECT

 public:
  explicit TrackingView(analysis::CurrentTracker& tracker, QWidget* parent = nullptr);

  void Show(const analysis::TrackerFigures& figures);
  // The table as it stands, for the report.
  ReportTable Table() const;
  QTableWidget* Figures() const { return table_; }

 private:
  void ApplySettings();
  void Explain(int row);
  void SetRow(int row, const QString& a, const QString& b);

  analysis::CurrentTracker& tracker_;
  QDoubleSpinBox* window_ = nullptr;
  QDoubleSpinBox* percent_ = nullptr;
  QDoubleSpinBox* milliamperes_ = nullptr;
  QLineEdit* fullScale_ = nullptr;
  QComboBox* state_ = nullptr;
  QTableWidget* table_ = nullptr;
  QLabel* howToRead_ = nullptr;
};

}  // namespace velkor
