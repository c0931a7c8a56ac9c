// xy_view.h: the "XY" page of the chart window: one reading against another,
// drawn as a curve in time order, for the samples the operator picks: the
// live ones, the newest capture or the recording played back. Measured A
// against measured B shows the current's circle; readings of one unit share
// one scale, so a circle stays round. Depends on QCustomPlot and sample.h.
#pragma once

#include <QWidget>

#include <vector>

#include "sample.h"

class QComboBox;
class QCPCurve;
class QCustomPlot;

namespace velkor::charts {

enum class XySource : uint8_t { Live, Capture, Replay };

class XyView : public QWidget {
  Q_OBJECT

 public:
  explicit XyView(QWidget* parent = nullptr);

  XySource Source() const;
  void SetSamples(const std::vector<Sample>& samples);
  QCustomPlot* Plot() const { return plot_; }
  QCPCurve* Curve() const { return curve_; }

 signals:
  // The source or a reading was changed: the samples are wanted again.
  void Changed();

 private:
  QComboBox* source_ = nullptr;
  QComboBox* x_ = nullptr;
  QComboBox* y_ = nullptr;
  QCustomPlot* plot_ = nullptr;
  QCPCurve* curve_ = nullptr;
};

}  // namespace velkor::charts
