// xy_view.cpp: the pickers and the curve.
#include "xy_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <algorithm>
#include <limits>

#include "axis_style.h"
#include "reading.h"

namespace velkor::charts {

namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

QString UnitOf(LiveReading reading) {
  for (const TraceInfo& trace : TRACES)
    if (trace.reading == reading) return Text(PLOTS[Index(trace.plot)].title);
  return Text(LIVE_READINGS[Index(reading)].label);
}

// Whether two readings share a unit, so that one scale suits both.
bool SameUnit(LiveReading a, LiveReading b) { return UnitOf(a) == UnitOf(b); }

QString AxisLabel(LiveReading reading) {
  const QString unit = UnitOf(reading).section(", ", 1);
  return Text(LIVE_READINGS[Index(reading)].label) + (unit.isEmpty() ? QString() : ", " + unit);
}

}  // namespace

XyView::XyView(QWidget* parent) : QWidget(parent) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  auto* pickers = new QHBoxLayout;
  pickers->addWidget(new QLabel(Text("Данные:"), this));
  source_ = new QComboBox(this);
  source_->addItems({Text("живые графики"), Text("последний захват"), Text("воспроизведение")});
  pickers->addWidget(source_);
  pickers->addWidget(new QLabel(Text("X:"), this));
  x_ = new QComboBox(this);
  pickers->addWidget(x_);
  pickers->addWidget(new QLabel(Text("Y:"), this));
  y_ = new QComboBox(this);
  pickers->addWidget(y_);
  for (const LiveReadingInfo& info : LIVE_READINGS) {
    x_->addItem(Text(info.label));
    y_->addItem(Text(info.label));
  }
  x_->setCurrentIndex(static_cast<int>(Index(LiveReading::ActualCurrentA)));
  y_->setCurrentIndex(static_cast<int>(Index(LiveReading::ActualCurrentB)));
  pickers->addStretch();
  column->addLayout(pickers);

  plot_ = new QCustomPlot(this);
  QLocale plain = QLocale::c();
  plain.setNumberOptions(QLocale::OmitGroupSeparator);
  plot_->setLocale(plain);
  for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis}) {
    axis->setTicker(QSharedPointer<WholeTicker>::create());
    UseWholeLabels(axis);
  }
  curve_ = new QCPCurve(plot_->xAxis, plot_->yAxis);
  curve_->setPen(QPen(QColor(0x1f77b4), 1));
  column->addWidget(plot_, 1);

  for (QComboBox* box : {source_, x_, y_}) connect(box, &QComboBox::currentIndexChanged, this, &XyView::Changed);
}

XySource XyView::Source() const { return static_cast<XySource>(source_->currentIndex()); }

void XyView::SetSamples(const std::vector<Sample>& samples) {
  const LiveReading x = LIVE_READINGS[static_cast<size_t>(x_->currentIndex())].reading;
  const LiveReading y = LIVE_READINGS[static_cast<size_t>(y_->currentIndex())].reading;
  QVector<QCPCurveData> points;
  points.reserve(static_cast<qsizetype>(samples.size()));
  double low = std::numeric_limits<double>::max();
  double high = std::numeric_limits<double>::lowest();
  for (const Sample& sample : samples) {
    points.append({double(points.size()), double(sample[x]), double(sample[y])});
    low = std::min({low, double(sample[x]), double(sample[y])});
    high = std::max({high, double(sample[x]), double(sample[y])});
  }
  curve_->data()->set(points, true);
  plot_->xAxis->setLabel(AxisLabel(x));
  plot_->yAxis->setLabel(AxisLabel(y));
  plot_->rescaleAxes();
  if (SameUnit(x, y) && low <= high) {
    // One scale for both, so that a circle is drawn round.
    const double margin = std::max((high - low) * 0.05, 1.0);
    plot_->xAxis->setRange(low - margin, high + margin);
    plot_->yAxis->setRange(low - margin, high + margin);
    // The longer side of the plot widens its range, so nothing is cut off.
    if (plot_->axisRect()->width() >= plot_->axisRect()->height())
      plot_->xAxis->setScaleRatio(plot_->yAxis, 1.0);
    else
      plot_->yAxis->setScaleRatio(plot_->xAxis, 1.0);
  }
  plot_->replot();
}

}  // namespace velkor::charts
