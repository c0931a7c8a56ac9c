// trace_plot.cpp: the traces mapped to pixels and drawn as plain polylines.
#include "trace_plot.h"

#include <QPainter>

#include <cmath>

namespace velkor::charts {

TracePlot::TracePlot(QWidget* parent) : QCustomPlot(parent) {
  layer("overlay")->setMode(QCPLayer::lmLogical);  // every layer in one buffer
  // An immediate refresh would repaint inside replot(), before afterReplot
  // hands over the new backdrop: the axes and grid of the replot before would
  // stay on the screen, since later frames repaint the plot area only. Queued,
  // the whole widget is painted after the backdrop has been taken.
  setPlottingHint(QCP::phImmediateRefresh, false);
  connect(this, &QCustomPlot::afterReplot, this, &TracePlot::TakeBackdrop);
}

// QCustomPlot's buffers are transparent and blended over the background on
// every paint; flattened once per replot, a paint is a plain copy.
void TracePlot::TakeBackdrop() {
  const qreal ratio = devicePixelRatioF();
  backdrop_ = QPixmap(size() * ratio);
  backdrop_.setDevicePixelRatio(ratio);
  backdrop_.fill(mBackgroundBrush.color());
  QCPPainter painter(&backdrop_);
  for (const QSharedPointer<QCPAbstractPaintBuffer>& buffer : mPaintBuffers) buffer->draw(&painter);
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

void TracePlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, backdrop_);  // clipped to what needs repainting
  const QRect area = axisRect()->rect();
  painter.setClipRect(area);
  const double start = endSeconds_ - spanSeconds_;
  const double pixelsPerSecond = area.width() / spanSeconds_;
  for (const Line& line : lines_) {
    if (!line.visible) continue;
    painter.setPen(line.pen);
    // A point that is not a number is a break in the line (the link started over).
    polyline_.clear();
    for (const QCPGraphData& point : *line.trace->Points()) {
      if (std::isnan(point.value)) {
        painter.drawPolyline(polyline_);
        polyline_.clear();
        continue;
      }
      polyline_.append(QPointF(area.left() + (point.key - start) * pixelsPerSecond, yAxis->coordToPixel(point.value)));
    }
    painter.drawPolyline(polyline_);
  }
}

}  // namespace velkor::charts
