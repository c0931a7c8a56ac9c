// trace_plot.cpp: the traces mapped to pixels and drawn as plain polylines.
#include "trace_plot.h"

#include <QPainter>

namespace velkor::charts {

TracePlot::TracePlot(QWidget* parent) : QCustomPlot(parent) {
  // Every layer in one buffer: the widget repaints with a single copy of it.
  layer("overlay")->setMode(QCPLayer::lmLogical);
}

void TracePlot::AddLine(const QString& name, const QColor& colour, const TraceBuffer& trace) {
  lines_.push_back({name, QPen(colour, 1), &trace});
}

void TracePlot::SetLineVisible(const QString& name, bool visible) {
  for (Line& line : lines_)
    if (line.name == name) line.visible = visible;
}

void TracePlot::SetClock(double endSeconds, double spanSeconds) {
  endSeconds_ = endSeconds;
  spanSeconds_ = spanSeconds;
}

void TracePlot::RedrawTraces() { update(axisRect()->rect()); }

void TracePlot::paintEvent(QPaintEvent* event) {
  QCustomPlot::paintEvent(event);
  const QRect area = axisRect()->rect();
  QPainter painter(this);
  painter.setClipRect(area);
  const double start = endSeconds_ - spanSeconds_;
  const double pixelsPerSecond = area.width() / spanSeconds_;
  for (const Line& line : lines_) {
    if (!line.visible) continue;
    polyline_.clear();
    for (const QCPGraphData& point : *line.trace->Points())
      polyline_.append(QPointF(area.left() + (point.key - start) * pixelsPerSecond, yAxis->coordToPixel(point.value)));
    painter.setPen(line.pen);
    painter.drawPolyline(polyline_);
  }
}

}  // namespace velkor::charts
