// analysis_plot.cpp: palette colours onto a QCustomPlot's axes and grid, and
// the square plot's scale.
#include "analysis_plot.h"

namespace velkor {

void StylePlot(QCustomPlot* plot, const QPalette& palette) {
  const QColor text = palette.color(QPalette::Text);
  QColor grid = text;
  grid.setAlpha(50);
  plot->setBackground(palette.color(QPalette::Base));
  for (QCPAxis* axis : plot->axisRect()->axes()) {
    axis->setBasePen(QPen(text));
    axis->setTickPen(QPen(text));
    axis->setSubTickPen(QPen(text));
    axis->setTickLabelColor(text);
    axis->setLabelColor(text);
    axis->grid()->setPen(QPen(grid, 1, Qt::DotLine));
    axis->grid()->setZeroLinePen(QPen(grid, 1));
  }
  if (plot->legend) {
    plot->legend->setBrush(palette.color(QPalette::Base));
    plot->legend->setTextColor(text);
    plot->legend->setBorderPen(QPen(grid));
  }
  for (int i = 0; i < plot->plotLayout()->elementCount(); ++i)
    if (auto* title = qobject_cast<QCPTextElement*>(plot->plotLayout()->elementAt(i))) title->setTextColor(text);
}

void SquarePlot::ShowReach(double reach) {
  reach_ = reach;
  xAxis->setRange(-reach, reach);
  yAxis->setRange(-reach, reach);
  const QRect area = axisRect()->rect();
  if (area.width() >= area.height()) {
    xAxis->setScaleRatio(yAxis, 1.0);
  } else {
    yAxis->setScaleRatio(xAxis, 1.0);
  }
}

void SquarePlot::resizeEvent(QResizeEvent* event) {
  QCustomPlot::resizeEvent(event);
  updateLayout();  // the axis rectangle of the new size, which the scale is kept in
  ShowReach(reach_);
  replot(rpQueuedReplot);
}

QPalette PagePalette() {
  QPalette page;
  page.setColor(QPalette::Base, Qt::white);
  page.setColor(QPalette::Text, Qt::black);
  return page;
}

}  // namespace velkor
