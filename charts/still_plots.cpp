// still_plots.cpp: the layers as QCustomPlot graphs, the cursors, the markers.
#include "still_plots.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

#include "axis_style.h"

namespace velkor::charts {

namespace {

constexpr int GRAB_PIXELS = 6;    // a press this close to a cursor takes it
constexpr int MARKER_PIXELS = 5;  // the pointer this close to a marker shows its words
constexpr int TABLE_WIDTH = 380;
constexpr QRgb MARKER_COLOUR = 0x606060;
constexpr int FAINT_ALPHA = 130;

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

QString Seconds(double seconds) { return QString::number(seconds, 'f', 3); }

QString Value(std::optional<int32_t> value) { return value ? QString::number(*value) : Text("—"); }

}  // namespace

StillPlots::StillPlots(QWidget* parent) : QWidget(parent) {
  shown_.fill(true);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  auto* column = new QVBoxLayout;
  column->setSpacing(0);
  row->addLayout(column, 1);
  const QFontMetrics metrics(font());
  const int left = metrics.horizontalAdvance("-0000000") + 12;
  for (const PlotInfo& info : PLOTS) {
    auto* plot = new QCustomPlot(this);
    plots_[Index(info.plot)] = plot;
    QLocale plain = QLocale::c();
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    plot->setLocale(plain);
    plot->setMouseTracking(true);
    plot->layer("overlay")->setMode(QCPLayer::lmBuffered);  // a cursor moved redraws only its layer
    plot->plotLayout()->insertRow(0);
    plot->plotLayout()->addElement(0, 0, new QCPTextElement(plot, Text(info.title), font()));
    const bool last = info.plot == PLOTS.back().plot;
    plot->axisRect()->setAutoMargins(QCP::msNone);
    plot->axisRect()->setMargins(QMargins(left, 4, 12, metrics.height() * (last ? 3 : 2)));
    plot->yAxis->setTicker(QSharedPointer<WholeTicker>::create());
    plot->yAxis->ticker()->setTickCount(VALUE_TICKS);
    UseWholeLabels(plot->yAxis);
    plot->yAxis->setSubTicks(false);
    plot->yAxis->setRange(-1, 1);
    plot->setMinimumHeight(120);
    for (int i = 0; i < 2; ++i) {
      auto* line = new QCPItemStraightLine(plot);
      line->setLayer("overlay");
      line->setPen(QPen(QColor(Qt::black), 1, i == 0 ? Qt::DashLine : Qt::DashDotLine));
      line->setVisible(false);
      cursorLines_[Index(info.plot)][i] = line;
    }
    connect(plot, &QCustomPlot::mousePress, this, [this, plot](QMouseEvent* event) { OnPress(plot, event); });
    connect(plot, &QCustomPlot::mouseMove, this, [this, plot](QMouseEvent* event) { OnMove(plot, event); });
    connect(plot, &QCustomPlot::mouseRelease, this, [this] { dragging_ = -1; });
    column->addWidget(plot, 1);
  }
  QCPAxis* time = plots_.back()->xAxis;
  time->setLabel(Text("Время, с"));
  QFont bold = font();
  bold.setBold(true);
  time->setLabelFont(bold);

  auto* side = new QWidget(this);
  side->setFixedWidth(TABLE_WIDTH);
  auto* sideColumn = new QVBoxLayout(side);
  sideColumn->setContentsMargins(0, 0, 0, 0);
  times_ = new QLabel(side);
  times_->setTextFormat(Qt::PlainText);
  times_->setWordWrap(true);
  sideColumn->addWidget(times_);
  table_ = new QTableWidget(0, 4, side);
  table_->setHorizontalHeaderLabels({Text("Показание"), Text("Курсор 1"), Text("Курсор 2"), Text("Разность")});
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  for (int column = 1; column < 4; ++column) table_->setColumnWidth(column, 64);
  sideColumn->addWidget(table_, 1);
  row->addWidget(side);
  side->setVisible(false);
}

void StillPlots::SetLayers(std::vector<StillLayer> layers) {
  layers_ = std::move(layers);
  Rebuild();
}

void StillPlots::SetMarkers(std::vector<StillMarker> markers) {
  markers_ = std::move(markers);
  Rebuild();
}

void StillPlots::SetTimeRange(double from, double to) {
  for (QCustomPlot* plot : plots_) plot->xAxis->setRange(from, std::max(to, from + 1e-3));
  Rescale();
  if (cursorsShown_) BringCursorsIntoView();
  for (QCustomPlot* plot : plots_)
    if (plot->isVisible()) plot->replot();
}

void StillPlots::SetTraceShown(LiveReading reading, bool shown) {
  shown_[Index(reading)] = shown;
  Rebuild();
}

void StillPlots::SetAutoscale(bool on) {
  autoscale_ = on;
  Rescale();
  for (QCustomPlot* plot : plots_) plot->replot();
}

void StillPlots::SetCursorsShown(bool shown) {
  cursorsShown_ = shown;
  table_->parentWidget()->setVisible(shown);
  BringCursorsIntoView();
}

// A cursor off the shown time comes to its nearer edge; two on one spot (never
// placed, or both off one side) go a third of the way in from each side.
void StillPlots::BringCursorsIntoView() {
  const QCPRange range = plots_[0]->xAxis->range();
  for (double& cursor : cursors_) cursor = std::clamp(cursor, range.lower, range.upper);
  if (cursors_[0] == cursors_[1]) cursors_ = {range.lower + range.size() / 3, range.upper - range.size() / 3};
  PlaceCursors();
  FillTable();
}

// Dragged no further than the shown time, so that a cursor never leaves the plot.
void StillPlots::DragCursor(QCustomPlot* plot, double x) {
  const QCPRange range = plot->xAxis->range();
  SetCursor(dragging_, std::clamp(plot->xAxis->pixelToCoord(x), range.lower, range.upper));
}

void StillPlots::SetCursor(int cursor, double seconds) {
  cursors_[cursor] = seconds;
  PlaceCursors();
  FillTable();
}

// The graphs anew: the first layer drawn last, on top of the faint ones.
void StillPlots::Rebuild() {
  for (QCustomPlot* plot : plots_) {
    plot->clearGraphs();
    for (int i = plot->itemCount() - 1; i >= 0; --i) {
      QCPAbstractItem* item = plot->item(i);
      const bool cursor = std::any_of(cursorLines_.begin(), cursorLines_.end(),
                                      [item](const auto& lines) { return item == lines[0] || item == lines[1]; });
      if (!cursor) plot->removeItem(item);
    }
  }
  for (size_t l = layers_.size(); l-- > 0;) {
    const StillLayer& layer = layers_[l];
    for (const TraceInfo& trace : TRACES) {
      QCustomPlot* plot = plots_[Index(trace.plot)];
      QCPGraph* graph = plot->addGraph();
      graph->setName(Text(LIVE_READINGS[Index(trace.reading)].label));
      graph->setLineStyle(QCPGraph::lsStepLeft);
      QColor colour(trace.colour);
      if (layer.faint) colour.setAlpha(FAINT_ALPHA);
      graph->setPen(QPen(colour, 1, layer.faint ? Qt::DashLine : Qt::SolidLine));
      graph->setVisible(shown_[Index(trace.reading)]);
      QVector<QCPGraphData> points;
      points.reserve(static_cast<qsizetype>(layer.samples.size()));
      // A gap or a reading not yet reported breaks the line.
      for (const Sample& sample : layer.samples)
        points.append({sample.seconds - layer.offset, sample.Known(trace.reading)
                                                          ? double(sample[trace.reading])
                                                          : std::numeric_limits<double>::quiet_NaN()});
      graph->data()->set(points, true);
    }
  }
  for (QCustomPlot* plot : plots_) {
    for (const StillMarker& marker : markers_) {
      auto* line = new QCPItemStraightLine(plot);
      line->setPen(QPen(QColor(MARKER_COLOUR), 1, Qt::DotLine));
      line->point1->setCoords(marker.seconds, 0);
      line->point2->setCoords(marker.seconds, 1);
      auto* sign = new QCPItemText(plot);
      sign->setText(Text("▲"));
      sign->setColor(QColor(MARKER_COLOUR));
      sign->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
      sign->position->setTypeX(QCPItemPosition::ptPlotCoords);
      sign->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
      sign->position->setCoords(marker.seconds, 1);
    }
  }
  // A plot with none of its traces shown gives its room to the others.
  for (const PlotInfo& info : PLOTS)
    plots_[Index(info.plot)]->setVisible(std::any_of(TRACES.begin(), TRACES.end(), [&](const TraceInfo& t) {
      return t.plot == info.plot && shown_[Index(t.reading)];
    }));
  Rescale();
  PlaceCursors();
  FillTable();
  for (QCustomPlot* plot : plots_) plot->replot();
}

void StillPlots::Rescale() {
  if (!autoscale_) return;
  for (QCustomPlot* plot : plots_) {
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    for (int i = 0; i < plot->graphCount(); ++i) {
      if (!plot->graph(i)->visible()) continue;
      bool found = false;
      const QCPRange range = plot->graph(i)->getValueRange(found, QCP::sdBoth, plot->xAxis->range());
      if (!found) continue;
      low = std::min(low, range.lower);
      high = std::max(high, range.upper);
    }
    if (low > high) continue;
    const AxisRange range = FittedRange({plot->yAxis->range().lower, plot->yAxis->range().upper}, low, high);
    plot->yAxis->setRange(range.low, range.high);
  }
}

void StillPlots::PlaceCursors() {
  for (size_t p = 0; p < PLOT_COUNT; ++p) {
    for (int i = 0; i < 2; ++i) {
      QCPItemStraightLine* line = cursorLines_[p][i];
      line->setVisible(cursorsShown_);
      line->point1->setCoords(cursors_[i], 0);
      line->point2->setCoords(cursors_[i], 1);
    }
    if (plots_[p]->isVisible()) plots_[p]->layer("overlay")->replot();
  }
}

void StillPlots::FillTable() {
  if (!cursorsShown_) return;
  times_->setText(Text("Курсор 1: %1 с   Курсор 2: %2 с   Δt = %3 с")
                      .arg(Seconds(cursors_[0]), Seconds(cursors_[1]), Seconds(cursors_[1] - cursors_[0])));
  const auto readouts = std::count_if(layers_.begin(), layers_.end(), [](const StillLayer& l) { return l.readout; });
  table_->setRowCount(0);
  for (size_t l = 0; l < layers_.size(); ++l) {
    if (!layers_[l].readout) continue;
    for (const TraceInfo& trace : TRACES) {
      if (!shown_[Index(trace.reading)]) continue;
      QString name = Text(LIVE_READINGS[Index(trace.reading)].label);
      if (readouts > 1) name += Text(" — ") + layers_[l].name;
      const std::optional<int32_t> first = ValueAt(l, trace.reading, cursors_[0]);
      const std::optional<int32_t> second = ValueAt(l, trace.reading, cursors_[1]);
      const int row = table_->rowCount();
      table_->insertRow(row);
      auto* label = new QTableWidgetItem(name);
      label->setForeground(QColor(trace.colour));
      table_->setItem(row, 0, label);
      table_->setItem(row, 1, new QTableWidgetItem(Value(first)));
      table_->setItem(row, 2, new QTableWidgetItem(Value(second)));
      table_->setItem(row, 3, new QTableWidgetItem(first && second ? QString::number(*second - *first) : Text("—")));
    }
  }
}

std::optional<int32_t> StillPlots::ValueAt(size_t layer, LiveReading reading, double seconds) const {
  if (layer >= layers_.size()) return std::nullopt;
  const StillLayer& shown = layers_[layer];
  const double time = seconds + shown.offset;
  if (shown.samples.empty() || time > shown.samples.back().seconds + 1e-9) return std::nullopt;
  const auto after = std::upper_bound(shown.samples.begin(), shown.samples.end(), time + 1e-9,
                                      [](double t, const Sample& sample) { return t < sample.seconds; });
  if (after == shown.samples.begin() || !(after - 1)->Known(reading)) return std::nullopt;
  return (after - 1)->values[Index(reading)];
}

QStringList StillPlots::MarkersNear(QCustomPlot* plot, double x) const {
  QStringList texts;
  for (const StillMarker& marker : markers_)
    if (std::abs(plot->xAxis->coordToPixel(marker.seconds) - x) <= MARKER_PIXELS)
      texts.append(Seconds(marker.seconds) + Text(" с: ") + marker.text);
  return texts;
}

void StillPlots::OnPress(QCustomPlot* plot, QMouseEvent* event) {
  if (!cursorsShown_ || event->button() != Qt::LeftButton) return;
  const double x = event->position().x();
  const double first = std::abs(plot->xAxis->coordToPixel(cursors_[0]) - x);
  const double second = std::abs(plot->xAxis->coordToPixel(cursors_[1]) - x);
  // The cursor under the pointer, or else the nearer one comes to it.
  dragging_ = first <= second ? 0 : 1;
  if (std::min(first, second) > GRAB_PIXELS) DragCursor(plot, x);
}

void StillPlots::OnMove(QCustomPlot* plot, QMouseEvent* event) {
  const double x = event->position().x();
  if (dragging_ >= 0 && (event->buttons() & Qt::LeftButton)) {
    DragCursor(plot, x);
    return;
  }
  const bool nearCursor = cursorsShown_ && (std::abs(plot->xAxis->coordToPixel(cursors_[0]) - x) <= GRAB_PIXELS ||
                                            std::abs(plot->xAxis->coordToPixel(cursors_[1]) - x) <= GRAB_PIXELS);
  plot->setCursor(nearCursor ? Qt::SizeHorCursor : Qt::ArrowCursor);
  const QStringList texts = MarkersNear(plot, x);
  if (texts.isEmpty()) {
    QToolTip::hideText();
    return;
  }
  // The words come from a file: escaped, never taken for markup.
  QStringList lines;
  for (const QString& text : texts) lines.append(text.toHtmlEscaped());
  QToolTip::showText(event->globalPosition().toPoint(),
                     "<p style='white-space:pre'>" + lines.join("<br>") + "</p>", plot);
}

}  // namespace velkor::charts
