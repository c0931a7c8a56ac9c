// trace_plot.h: one plot of the chart window. QCustomPlot draws its axes,
// labels, grid and title, which change only when an axis moves; the plot
// keeps that picture as an opaque backdrop and draws the traces straight onto
// the widget over it, so that a frame that moves no axis copies the plot area
// of the backdrop and draws lines, nothing more.
// Depends on QCustomPlot and trace_buffer.h.
#pragma once

#include <QPen>
#include <QPixmap>
#include <QPolygonF>
#include <QString>
#include <qcustomplot.h>

#include <vector>

#include "trace_buffer.h"

namespace velkor::charts {

class TracePlot : public QCustomPlot {
  Q_OBJECT

 public:
  struct Line {
    QString name;
    QPen pen;
    const TraceBuffer* trace;
    bool visible = true;
  };

  explicit TracePlot(QWidget* parent = nullptr);

  void AddLine(const QString& name, const QColor& colour, const TraceBuffer& trace);
  void SetLineVisible(const QString& name, bool visible);
  const std::vector<Line>& Lines() const { return lines_; }

  // The traces' times from end − span (the plot's left edge) to end (its right).
  void SetClock(double endSeconds, double spanSeconds);
  // Repaints the plot area only: the traces moved, the axes did not.
  void RedrawTraces();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void TakeBackdrop();

  std::vector<Line> lines_;
  QPixmap backdrop_;
  double endSeconds_ = 0;
  double spanSeconds_ = 1;
  QPolygonF polyline_;  // reused: a frame allocates nothing
};

}  // namespace velkor::charts
