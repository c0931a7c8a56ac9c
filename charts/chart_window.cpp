// chart_window.cpp: the window's controls, the plots and the frame loop.
#include "chart_window.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPen>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

#include "autoscale.h"
#include "csv_writer.h"
#include "decimate.h"

namespace velkor::charts {

namespace {

// One colour a trace, told apart on the white plots; the trace's checkbox wears it too.
constexpr std::array<QRgb, READING_COUNT> TRACE_COLOURS{
    0x1f77b4, 0xd62728, 0x17becf, 0xff7f0e, 0x1f77b4, 0xd62728, 0x2ca02c, 0x9467bd, 0x8c564b,
};

constexpr int SWITCHES_WIDTH = 170;  // the longest trace name with its box and swatch

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// Local time with its offset from UTC, so the file says when, wherever it is read.
QString IsoTime(const QDateTime& time) { return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate); }

QPixmap Swatch(QRgb colour) {
  QPixmap swatch(12, 12);
  swatch.fill(QColor(colour));
  return swatch;
}

}  // namespace

ChartWindow::ChartWindow(const PanelValues& values, QWidget* parent)
    : QWidget(parent, Qt::Window), values_(values) {
  setWindowTitle(Text("Графики"));
  setAttribute(Qt::WA_QuitOnClose, false);
  clock_.start();
  shown_.fill(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(BuildControls());
  plotArea_ = new QWidget(this);
  BuildPlots(plotArea_);
  layout->addWidget(plotArea_, 1);
  note_ = new QLabel(this);
  layout->addWidget(note_);
  resize(900, 720);

  frameTimer_.setInterval(FRAME_INTERVAL_MS);
  connect(&frameTimer_, &QTimer::timeout, this, &ChartWindow::DrawFrame);
}

QWidget* ChartWindow::BuildControls() {
  auto* controls = new QWidget(this);
  auto* actions = new QHBoxLayout(controls);
  actions->setContentsMargins(0, 0, 0, 0);
  actions->addWidget(new QLabel(Text("Интервал, с:"), controls));
  auto* span = new QSpinBox(controls);
  span->setRange(MIN_SPAN_SECONDS, MAX_SPAN_SECONDS);
  span->setValue(DEFAULT_SPAN_SECONDS);
  connect(span, &QSpinBox::valueChanged, this, &ChartWindow::SetSpan);
  actions->addWidget(span);

  pause_ = new QPushButton(Text("Пауза"), controls);
  pause_->setCheckable(true);
  connect(pause_, &QPushButton::toggled, this, &ChartWindow::SetPaused);
  actions->addWidget(pause_);

  auto* autoscale = new QCheckBox(Text("Автомасштаб"), controls);
  autoscale->setChecked(true);
  connect(autoscale, &QCheckBox::toggled, this, [this](bool on) {
    autoscale_ = on;
    dirty_ = true;
  });
  actions->addWidget(autoscale);
  actions->addStretch();

  auto* csv = new QPushButton(Text("Экспорт CSV…"), controls);
  connect(csv, &QPushButton::clicked, this, &ChartWindow::ChooseCsvExport);
  actions->addWidget(csv);
  auto* png = new QPushButton(Text("Экспорт PNG…"), controls);
  connect(png, &QPushButton::clicked, this, &ChartWindow::ChoosePngExport);
  actions->addWidget(png);
  record_ = new QPushButton(Text("Запись"), controls);
  record_->setCheckable(true);
  // clicked, not toggled: only the operator's click asks for a file.
  connect(record_, &QPushButton::clicked, this, &ChartWindow::ToggleRecording);
  actions->addWidget(record_);
  return controls;
}

// Each plot has its traces' switches beside it, in the traces' colours: they
// are its legend too, and stay when the plot itself gives way.
void ChartWindow::BuildPlots(QWidget* area) {
  plotColumn_ = new QVBoxLayout(area);
  plotColumn_->setContentsMargins(0, 0, 0, 0);
  plotColumn_->setSpacing(0);
  std::array<QVBoxLayout*, PLOT_COUNT> switches{};
  for (const PlotInfo& info : PLOTS) {
    PlotView& plot = plots_[Index(info.plot)];
    plot.chart = new QChart;
    plot.chart->legend()->hide();
    plot.chart->setTitle(Text(info.title));
    plot.chart->setMargins(QMargins(2, 0, 2, 0));
    plot.chart->layout()->setContentsMargins(0, 0, 0, 0);
    plot.chart->setBackgroundRoundness(0);
    plot.time = new QValueAxis;
    plot.time->setLabelFormat("%.0f");
    plot.time->setTickType(QValueAxis::TicksDynamic);
    plot.time->setTickAnchor(0);
    plot.value = new QValueAxis;
    plot.value->setLabelFormat("%.0f");
    plot.value->setTickCount(5);
    plot.chart->addAxis(plot.time, Qt::AlignBottom);
    plot.chart->addAxis(plot.value, Qt::AlignLeft);
    plot.view = new QChartView(plot.chart, area);
    // Plain lines: antialiasing would cost more than the rest of the frame.
    plot.view->setRenderHint(QPainter::Antialiasing, false);
    // Every frame moves every trace: an index of the items would be rebuilt
    // on every frame for nothing.
    plot.view->scene()->setItemIndexMethod(QGraphicsScene::NoIndex);
    plot.view->setOptimizationFlags(QGraphicsView::DontSavePainterState | QGraphicsView::DontAdjustForAntialiasing);
    plot.view->setMinimumHeight(120);

    // The same margins round every plot, whatever its labels' widths, so
    // that the time axes line up one under the other.
    connect(plot.chart, &QChart::geometryChanged, plot.chart, [this, chart = plot.chart] {
      const QFontMetrics metrics(chart->axes().first()->labelsFont());
      const bool last = chart == plots_.back().chart;
      const QMarginsF margins(metrics.horizontalAdvance("-000000") + 12, metrics.height() * 2, 12,
                              metrics.height() * (last ? 3 : 2));
      chart->setPlotArea(QRectF(QPointF(0, 0), chart->size()).marginsRemoved(margins));
    });

    auto* row = new QHBoxLayout;
    row->addWidget(plot.view, 1);
    auto* list = new QWidget(area);
    list->setFixedWidth(SWITCHES_WIDTH);
    switches[Index(info.plot)] = new QVBoxLayout(list);
    row->addWidget(list);
    plotColumn_->addLayout(row, 1);
  }
  plots_.back().time->setTitleText(Text("Время, с"));
  SetTimeAxes(DEFAULT_SPAN_SECONDS);

  for (const ReadingInfo& info : READINGS) {
    const QColor colour(TRACE_COLOURS[Index(info.reading)]);
    auto* series = new QLineSeries;
    series->setName(Text(info.label));
    // A one-pixel cosmetic pen is drawn as plain lines; a wider one goes
    // through the stroker, which costs more than all the rest of a frame.
    QPen pen(colour, 1);
    pen.setCosmetic(true);
    series->setPen(pen);
    PlotView& plot = plots_[Index(info.plot)];
    plot.chart->addSeries(series);
    series->attachAxis(plot.time);
    series->attachAxis(plot.value);
    series_[Index(info.reading)] = series;

    auto* box = new QCheckBox(Text(info.label), area);
    box->setIcon(Swatch(colour.rgb()));
    box->setChecked(true);
    connect(box, &QCheckBox::toggled, this, [this, reading = info.reading](bool on) { SetTraceShown(reading, on); });
    switches[Index(info.plot)]->addWidget(box);
  }
  for (QVBoxLayout* list : switches) list->addStretch();
}

// Whole seconds under the time axis, every one of them on a short span.
void ChartWindow::SetTimeAxes(int seconds) {
  const double step = seconds <= 10 ? 1 : seconds <= 20 ? 2 : seconds <= 30 ? 5 : 10;
  for (PlotView& plot : plots_) {
    plot.time->setRange(-seconds, 0);
    plot.time->setTickInterval(step);
  }
}

void ChartWindow::TakeSample() {
  const Sample sample = charts::TakeSample(values_, clock_.nsecsElapsed() / 1e9);
  history_.Add(sample);
  if (!paused_) dirty_ = true;
  if (recorder_.Recording() && !recorder_.Append(sample))
    EndRecording(Text("Запись остановлена: ошибка записи в %1: %2").arg(recorder_.Path(), recorder_.ErrorText()));
}

void ChartWindow::OnPortChosen() {
  if (recorder_.Recording()) EndRecording(Text("Запись остановлена: выбран другой порт"));
  history_.Clear();
  frozen_.Clear();
  dirty_ = true;
}

void ChartWindow::DrawFrame() {
  if (!dirty_) return;
  dirty_ = false;
  const SampleHistory& shown = Shown();
  const double end = shown.Empty() ? 0 : shown.Newest().seconds;

  std::array<double, PLOT_COUNT> low;
  std::array<double, PLOT_COUNT> high;
  low.fill(std::numeric_limits<double>::max());
  high.fill(std::numeric_limits<double>::lowest());

  for (const ReadingInfo& info : READINGS) {
    if (!shown_[Index(info.reading)]) continue;
    QLineSeries* series = series_[Index(info.reading)];
    PlotView& plot = plots_[Index(info.plot)];
    Decimate(shown, info.reading, end, static_cast<int>(plot.chart->plotArea().width()), points_);
    for (const QPointF& point : points_) {
      low[Index(info.plot)] = std::min(low[Index(info.plot)], point.y());
      high[Index(info.plot)] = std::max(high[Index(info.plot)], point.y());
    }
    series->replace(points_);
  }

  if (!autoscale_) return;
  for (size_t i = 0; i < PLOT_COUNT; ++i) {
    if (low[i] > high[i]) continue;  // nothing shown in this plot
    QValueAxis* axis = plots_[i].value;
    const AxisRange range = Autoscaled({axis->min(), axis->max()}, low[i], high[i]);
    if (range == AxisRange{axis->min(), axis->max()}) continue;
    axis->setRange(range.low, range.high);
    axis->applyNiceNumbers();  // round ticks; only widens, so the data stays inside
  }
}

void ChartWindow::SetPaused(bool paused) {
  if (paused) frozen_ = history_;
  paused_ = paused;
  pause_->setText(Text(paused ? "Продолжить" : "Пауза"));
  dirty_ = true;
}

void ChartWindow::SetSpan(int seconds) {
  history_.SetSpan(seconds);
  frozen_.SetSpan(seconds);
  SetTimeAxes(history_.Span());
  dirty_ = true;
}

void ChartWindow::SetTraceShown(Reading reading, bool shown) {
  shown_[Index(reading)] = shown;
  series_[Index(reading)]->setVisible(shown);
  // A plot with none of its traces shown gives its room to the others; its
  // switches stay, to bring it back.
  const Plot plot = READINGS[Index(reading)].plot;
  const bool any = std::any_of(READINGS.begin(), READINGS.end(),
                               [&](const ReadingInfo& info) { return info.plot == plot && shown_[Index(info.reading)]; });
  plots_[Index(plot)].view->setVisible(any);
  plotColumn_->setStretch(static_cast<int>(Index(plot)), any ? 1 : 0);
  dirty_ = true;
}

bool ChartWindow::ExportCsv(const QString& path) {
  const SampleHistory& shown = Shown();
  const double origin = shown.Empty() ? 0 : shown.At(0).seconds;
  std::string text = CsvHeader(values_, WallTimeOf(origin).toStdString());
  for (size_t i = 0; i < shown.Size(); ++i) AppendCsvRow(text, shown.At(i), origin);

  QSaveFile file(path);
  const bool written = file.open(QIODevice::WriteOnly) &&
                       file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) &&
                       file.commit();
  ShowNote(written ? Text("Сохранено: %1").arg(path)
                   : Text("Не удалось сохранить %1: %2").arg(path, file.errorString()));
  return written;
}

bool ChartWindow::ExportPng(const QString& path) {
  DrawFrame();
  const bool written = plotArea_->grab().save(path, "PNG");
  ShowNote(written ? Text("Сохранено: %1").arg(path) : Text("Не удалось сохранить %1").arg(path));
  return written;
}

bool ChartWindow::StartRecording(const QString& path) {
  const QString now = IsoTime(QDateTime::currentDateTime());
  const bool started = recorder_.Start(path, CsvHeader(values_, now.toStdString()));
  record_->setChecked(started);
  ShowNote(started ? Text("Запись в %1").arg(path)
                   : Text("Не удалось начать запись в %1: %2").arg(path, recorder_.ErrorText()));
  return started;
}

void ChartWindow::StopRecording() {
  if (recorder_.Recording()) EndRecording(Text("Запись остановлена: %1").arg(recorder_.Path()));
}

void ChartWindow::EndRecording(const QString& why) {
  recorder_.Stop();
  record_->setChecked(false);
  ShowNote(why);
  // A recording may run with the window closed; the operator must still learn why it ended.
  if (!isVisible()) show();
}

void ChartWindow::ToggleRecording(bool wanted) {
  if (!wanted) {
    StopRecording();
    return;
  }
  const QString path = QFileDialog::getSaveFileName(this, Text("Файл записи"), QString(), Text("Файлы CSV (*.csv)"));
  if (path.isEmpty()) {
    record_->setChecked(false);
    return;
  }
  StartRecording(path);
}

void ChartWindow::ChooseCsvExport() {
  const QString path = QFileDialog::getSaveFileName(this, Text("Экспорт в CSV"), QString(), Text("Файлы CSV (*.csv)"));
  if (!path.isEmpty()) ExportCsv(path);
}

void ChartWindow::ChoosePngExport() {
  const QString path =
      QFileDialog::getSaveFileName(this, Text("Экспорт в PNG"), QString(), Text("Изображения PNG (*.png)"));
  if (!path.isEmpty()) ExportPng(path);
}

void ChartWindow::ShowNote(const QString& text) { note_->setText(text); }

QString ChartWindow::WallTimeOf(double sampleSeconds) const {
  const double age = clock_.nsecsElapsed() / 1e9 - sampleSeconds;
  return IsoTime(QDateTime::currentDateTime().addMSecs(-static_cast<qint64>(age * 1000)));
}

void ChartWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  dirty_ = true;
  frameTimer_.start();
}

void ChartWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  frameTimer_.stop();
}

}  // namespace velkor::charts
