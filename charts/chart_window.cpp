// chart_window.cpp: the window's controls, the plots and the frame loop.
#include "chart_window.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPen>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSpinBox>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "autoscale.h"
#include "axis_style.h"
#include "capture_panel.h"
#include "replay_panel.h"
#include "reading_file.h"
#include "side_dialog.h"
#include "xy_view.h"

namespace velkor::charts {

namespace {

constexpr int SWITCHES_WIDTH = 170;  // the longest trace name with its box and swatch

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

QString IrregularNote(const QString& path) { return Text("«%1» — не обычный файл: запись в него невозможна").arg(path); }

// Whole seconds in the span's range. A number out of it is taken as the
// nearer bound, and one with a fraction is not taken: either is said in a
// note, instead of the box dropping what was typed ("2.5" read as 25).
class SpanBox : public QSpinBox {
 public:
  SpanBox(std::function<void(const QString&)> note, QWidget* parent) : QSpinBox(parent), note_(std::move(note)) {}

  QValidator::State validate(QString& text, int&) const override {
    static const QRegularExpression form(QStringLiteral("^\\s*\\d*([.,]\\d*)?\\s*$"));
    if (!form.match(text).hasMatch()) return QValidator::Invalid;
    bool whole = false;
    const int seconds = text.trimmed().toInt(&whole);
    return whole && seconds >= minimum() && seconds <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
  }

  void fixup(QString& text) const override {
    bool whole = false;
    const qlonglong typed = text.trimmed().toLongLong(&whole);
    const QString range = Text("интервал — целое число секунд от %1 до %2").arg(minimum()).arg(maximum());
    if (whole) {
      const int taken = static_cast<int>(std::clamp<qlonglong>(typed, minimum(), maximum()));
      note_(Text("«%1» вне допустимого: %2; взято %3 с").arg(text.trimmed(), range).arg(taken));
      text = QString::number(taken);
    } else {
      note_(Text("«%1» не принято: %2; оставлено %3 с").arg(text.trimmed(), range).arg(value()));
      text = QString::number(value());
    }
  }

 private:
  std::function<void(const QString&)> note_;
};

// Local time with its offset from UTC, so the file says when, wherever it is read.
QString IsoTime(const QDateTime& time) { return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate); }

QPixmap Swatch(QRgb colour) {
  QPixmap swatch(12, 12);
  swatch.fill(QColor(colour));
  return swatch;
}

}  // namespace

ChartWindow::ChartWindow(Link& link, QWidget* parent)
    : QWidget(parent, Qt::Window),
      link_(link),
      // The writer's thread tells the end of a recording; the window hears it in its own.
      recorder_([this](const RecordingEnd& end) {
        QMetaObject::invokeMethod(this, [this, end] { OnRecordingEnd(end); }, Qt::QueuedConnection);
      }),
      sampler_(link, *this) {
  setWindowTitle(Text("Графики"));
  setAttribute(Qt::WA_QuitOnClose, false);
  shown_.fill(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(BuildControls());
  layout->addWidget(BuildPages(), 1);
  note_ = new QLabel(this);
  note_->setTextFormat(Qt::PlainText);  // it names files
  layout->addWidget(note_);
  resize(DEFAULT_CHART_SIZE);
  ApplyView(LoadChartView());

  frameTimer_.setInterval(FRAME_INTERVAL_MS);
  connect(&frameTimer_, &QTimer::timeout, this, &ChartWindow::DrawFrame);
}

QWidget* ChartWindow::BuildControls() {
  auto* controls = new QWidget(this);
  auto* actions = new QHBoxLayout(controls);
  actions->setContentsMargins(0, 0, 0, 0);
  actions->addWidget(new QLabel(Text("Интервал, с:"), controls));
  spanBox_ = new SpanBox([this](const QString& note) { ShowNote(note); }, controls);
  spanBox_->setRange(MIN_SPAN_SECONDS, MAX_SPAN_SECONDS);
  spanBox_->setValue(DEFAULT_SPAN_SECONDS);
  connect(spanBox_, &QSpinBox::valueChanged, this, &ChartWindow::SetSpan);
  actions->addWidget(spanBox_);

  pause_ = new QPushButton(Text("Пауза"), controls);
  pause_->setCheckable(true);
  connect(pause_, &QPushButton::toggled, this, &ChartWindow::SetPaused);
  actions->addWidget(pause_);

  autoscaleBox_ = new QCheckBox(Text("Автомасштаб"), controls);
  autoscaleBox_->setChecked(true);
  connect(autoscaleBox_, &QCheckBox::toggled, this, [this](bool on) {
    autoscale_ = on;
    for (StillPlots* still : StillViews()) still->SetAutoscale(on);
    dirty_ = true;
  });
  actions->addWidget(autoscaleBox_);
  cursors_ = new QCheckBox(Text("Курсоры"), controls);
  connect(cursors_, &QCheckBox::toggled, this, &ChartWindow::SetCursorsShown);
  actions->addWidget(cursors_);
  auto* reset = new QPushButton(Text("Сбросить вид"), controls);
  connect(reset, &QPushButton::clicked, this, &ChartWindow::ResetView);
  actions->addWidget(reset);
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
  // The same margins round every plot, wide enough for any label a reading
  // can give, so that the time axes line up one under the other.
  const QFontMetrics metrics(font());
  const int left = metrics.horizontalAdvance("-0000000") + 12;
  std::array<QVBoxLayout*, PLOT_COUNT> switches{};
  for (const PlotInfo& info : PLOTS) {
    PlotView& plot = plots_[Index(info.plot)];
    plot.view = new TracePlot(area);
    TracePlot* view = plot.view;
    QLocale plain = QLocale::c();
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    view->setLocale(plain);
    view->setNotAntialiasedElements(QCP::aeAll);  // plain lines cost least
    view->plotLayout()->insertRow(0);
    view->plotLayout()->addElement(0, 0, new QCPTextElement(view, Text(info.title), font()));
    const bool last = info.plot == PLOTS.back().plot;
    view->axisRect()->setAutoMargins(QCP::msNone);
    view->axisRect()->setMargins(QMargins(left, 4, 12, metrics.height() * (last ? 3 : 2)));

    plot.time = view->xAxis;
    plot.value = view->yAxis;
    auto timeTicks = QSharedPointer<QCPAxisTickerFixed>::create();
    timeTicks->setScaleStrategy(QCPAxisTickerFixed::ssNone);
    plot.time->setTicker(timeTicks);
    UseWholeLabels(plot.time);
    plot.time->setSubTicks(false);
    plot.value->setTicker(QSharedPointer<WholeTicker>::create());
    plot.value->ticker()->setTickCount(VALUE_TICKS);
    UseWholeLabels(plot.value);
    plot.value->setSubTicks(false);
    plot.value->setRange(-1, 1);

    view->setMinimumHeight(120);

    auto* row = new QHBoxLayout;
    row->addWidget(view, 1);
    auto* list = new QWidget(area);
    list->setFixedWidth(SWITCHES_WIDTH);
    switches[Index(info.plot)] = new QVBoxLayout(list);
    row->addWidget(list);
    plotColumn_->addLayout(row, 1);
  }
  plots_.back().time->setLabel(Text("Время, с"));
  QFont bold = font();
  bold.setBold(true);
  plots_.back().time->setLabelFont(bold);
  SetTimeAxes(DEFAULT_SPAN_SECONDS);

  for (const TraceInfo& trace : TRACES) {
    const QColor colour(trace.colour);
    const char* label = LIVE_READINGS[Index(trace.reading)].label;
    PlotView& plot = plots_[Index(trace.plot)];
    plot.view->AddLine(Text(label), colour, traces_[Index(trace.reading)]);

    auto* box = new QCheckBox(Text(label), area);
    box->setIcon(Swatch(colour.rgb()));
    box->setChecked(true);
    connect(box, &QCheckBox::toggled, this, [this, &trace](bool on) { SetTraceShown(trace, on); });
    switches_[Index(trace.reading)] = box;
    switches[Index(trace.plot)]->addWidget(box);
  }
  for (QVBoxLayout* list : switches) list->addStretch();
}

// Whole seconds under the time axis, every one of them on a short span.
void ChartWindow::SetTimeAxes(int seconds) {
  const double step = seconds <= 10 ? 1 : seconds <= 20 ? 2 : seconds <= 30 ? 5 : 10;
  for (PlotView& plot : plots_) {
    plot.time->setRange(-seconds, 0);
    qSharedPointerCast<QCPAxisTickerFixed>(plot.time->ticker())->setTickStep(step);
  }
}

void ChartWindow::OnSample(const Sample& sample) {
  store_.Add(sample);
  capture_->OnSample(sample);
  if (!paused_) dirty_ = true;
  recorder_.Append(sample);
}

void ChartWindow::OnMarker(const Marker& marker) {
  store_.Mark(marker);
  recorder_.Mark(marker);
  capture_->OnMarker(marker);
}

void ChartWindow::OnPortChosen(const QString& portName) {
  const bool another = portName != port_;
  port_ = portName;
  if (!another) return;
  if (recorder_.Recording()) EndRecording(Text("Запись остановлена: выбран другой порт"));
  store_.Clear();
  frozen_.Clear();
  restart_ = true;
  dirty_ = true;
}

double ChartWindow::ClockEnd() const {
  const SampleStore& shown = Shown();
  if (shown.Empty()) return 0;
  const double newest = shown.Newest().seconds;
  if (paused_) return newest;
  // Beyond the longest span nothing is left to scroll by, and a window left
  // open on a dead link stops drawing.
  const double now = link_.steadyClock();
  return now - newest < MAX_SPAN_SECONDS ? std::max(now, newest) : newest;
}

void ChartWindow::DrawFrame() {
  // Live, the clock runs on through a silence, so that a lost link shows as
  // one; each plot is redrawn only once its traces would move a pixel.
  if (!dirty_ && (paused_ || Shown().Empty())) return;
  dirty_ = false;
  if (pages_->currentWidget() == xy_ && xy_->Source() == XySource::Live && ++xyFrames_ % XY_FRAMES == 0) ShowXy();
  const SampleStore& shown = Shown();
  for (PlotView& plot : plots_) {
    const int columns = std::max(plot.view->axisRect()->width(), 1);
    if (columns != plot.columns) restart_ = true;
    plot.columns = columns;
  }
  const bool restarted = restart_;
  if (restarted) RestartTraces(shown);
  FeedTraces(shown);

  const double end = ClockEnd();
  for (const PlotInfo& info : PLOTS) {
    PlotView& plot = plots_[Index(info.plot)];
    if (!plot.view->isVisible()) continue;
    const bool rescaled = ScaleValueAxis(info.plot);
    // Less than a pixel's move is not worth a frame: on a long span the
    // traces move only a few pixels a second. The next sample asks again.
    const double columnSeconds = double(span_) / plot.columns;
    if (!rescaled && !restarted && std::abs(end - plot.drawnEnd) < columnSeconds) continue;
    plot.drawnEnd = end;
    plot.view->SetClock(end, span_);
    if (rescaled || restarted)
      plot.view->replot();
    else
      plot.view->RedrawTraces();
  }
}

// Every trace anew from the samples shown: when the columns change width, or
// the samples the traces were built from are gone.
void ChartWindow::RestartTraces(const SampleStore& shown) {
  restart_ = false;
  for (const TraceInfo& trace : TRACES)
    traces_[Index(trace.reading)].Restart(double(span_) / plots_[Index(trace.plot)].columns);
  // Only what the span shows: the store holds the longest span.
  const size_t first = shown.FirstFrom(ClockEnd() - span_);
  fed_ = shown.Added() - shown.Size() + first;
}

// Only the samples that came since the last frame.
void ChartWindow::FeedTraces(const SampleStore& shown) {
  const uint64_t oldest = shown.Added() - shown.Size();
  for (uint64_t i = std::max(fed_, oldest); i < shown.Added(); ++i) FeedTraces(shown.At(i - oldest));
  fed_ = shown.Added();
  const double start = ClockEnd() - span_;
  for (TraceBuffer& trace : traces_) trace.DropBefore(start);
}

// A reading not reported since the link started over is no point at all.
void ChartWindow::FeedTraces(const Sample& sample) {
  for (const TraceInfo& trace : TRACES) {
    TraceBuffer& buffer = traces_[Index(trace.reading)];
    if (sample.gap)
      buffer.Break(sample.seconds);
    else if (sample.Known(trace.reading))
      buffer.Add(sample.seconds, sample[trace.reading]);
  }
}

// True when the plot's value axis moved, and its labels with it.
bool ChartWindow::ScaleValueAxis(Plot plot) {
  if (!autoscale_) return false;
  double low = std::numeric_limits<double>::max();
  double high = std::numeric_limits<double>::lowest();
  for (const TraceInfo& trace : TRACES) {
    if (trace.plot != plot || !shown_[Index(trace.reading)]) continue;
    for (const QCPGraphData& point : *traces_[Index(trace.reading)].Points()) {
      low = std::min(low, point.value);
      high = std::max(high, point.value);
    }
  }
  if (low > high) return false;  // nothing shown in this plot
  QCPAxis* axis = plots_[Index(plot)].value;
  const AxisRange current{axis->range().lower, axis->range().upper};
  const AxisRange fitted = Autoscaled(current, low, high);
  if (fitted == current) return false;
  const AxisRange range = RoundedOut(fitted, TickStep(fitted, VALUE_TICKS));
  axis->setRange(range.low, range.high);
  return true;
}

void ChartWindow::SetPaused(bool paused) {
  if (paused) frozen_ = store_;
  paused_ = paused;
  pause_->setText(Text(paused ? "Продолжить" : "Пауза"));
  dirty_ = true;
}

// Only the view changes: the store keeps the longest span, whatever is typed.
void ChartWindow::SetSpan(int seconds) {
  span_ = std::clamp(seconds, MIN_SPAN_SECONDS, MAX_SPAN_SECONDS);
  SetTimeAxes(span_);
  for (PlotView& plot : plots_) plot.view->replot();
  replay_->SetSpan(span_);
  restart_ = true;
  dirty_ = true;
}

void ChartWindow::SetTraceShown(const TraceInfo& trace, bool shown) {
  shown_[Index(trace.reading)] = shown;
  // A plot with none of its traces shown gives its room to the others; its
  // switches stay, to bring it back.
  const Plot plot = trace.plot;
  plots_[Index(plot)].view->SetLineVisible(Text(LIVE_READINGS[Index(trace.reading)].label), shown);
  const bool any = std::any_of(TRACES.begin(), TRACES.end(),
                               [&](const TraceInfo& t) { return t.plot == plot && shown_[Index(t.reading)]; });
  plots_[Index(plot)].view->setVisible(any);
  plotColumn_->setStretch(static_cast<int>(Index(plot)), any ? 1 : 0);
  plots_[Index(plot)].view->replot();  // at once, even while paused
  for (StillPlots* still : StillViews()) still->SetTraceShown(trace.reading, shown);
  dirty_ = true;
}

// What the span shows, its samples and markers in time order.
bool ChartWindow::ExportCsv(const QString& path) {
  const SampleStore& shown = Shown();
  const size_t first = shown.FirstFrom(ClockEnd() - span_);
  const double origin = first < shown.Size() ? shown.At(first).seconds : 0;
  std::string text = ReadingFileHeader(link_, WallTimeOf(origin).toStdString(), ROWS_EVERY_REPORT);
  auto marker = shown.Markers().begin();
  for (size_t i = first; i < shown.Size(); ++i) {
    for (; marker != shown.Markers().end() && marker->seconds <= shown.At(i).seconds; ++marker)
      if (marker->seconds >= origin) AppendMarkerRow(text, *marker, origin);
    AppendSampleRow(text, shown.At(i), origin);
  }
  for (; marker != shown.Markers().end(); ++marker)
    if (marker->seconds >= origin) AppendMarkerRow(text, *marker, origin);

  if (RefuseIrregular(path)) return false;
  QSaveFile file(path);
  const bool written = file.open(QIODevice::WriteOnly) &&
                       file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) &&
                       file.commit();
  ShowNote(written ? Text("Сохранено: %1").arg(path)
                   : Text("Не удалось сохранить %1: %2").arg(path, file.errorString()));
  return written;
}

bool ChartWindow::RefuseIrregular(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists() || info.isFile()) return false;
  ShowNote(IrregularNote(path));
  return true;
}

bool ChartWindow::ExportPng(const QString& path) {
  if (RefuseIrregular(path)) return false;
  DrawFrame();
  // Every plot scaled and up to the newest sample, even those a window never
  // shown has not drawn yet.
  for (const PlotInfo& info : PLOTS) {
    ScaleValueAxis(info.plot);
    plots_[Index(info.plot)].view->SetClock(ClockEnd(), span_);
    plots_[Index(info.plot)].view->replot();
  }
  const bool written = plotArea_->grab().save(path, "PNG");
  ShowNote(written ? Text("Сохранено: %1").arg(path) : Text("Не удалось сохранить %1").arg(path));
  return written;
}

bool ChartWindow::StartRecording(const QString& path) {
  const QString now = IsoTime(QDateTime::currentDateTime());
  std::string error;
  const bool started = recorder_.Start(path.toStdString(), ReadingFileHeader(link_, now.toStdString(), ROWS_EVERY_REPORT),
                                       link_.steadyClock(), error);
  record_->setChecked(started);
  ShowNote(started                        ? Text("Запись в %1").arg(path)
           : error == NOT_A_REGULAR_FILE ? IrregularNote(path)
                                         : Text("Не удалось начать запись в %1: %2").arg(path, QString::fromLocal8Bit(error)));
  return started;
}

void ChartWindow::StopRecording() {
  if (recorder_.Recording()) EndRecording(Text("Запись остановлена: %1").arg(QString::fromStdString(recorder_.Path())));
}

// The file is written out and closed on the recorder's thread; OnRecordingEnd tells how that went.
void ChartWindow::EndRecording(const QString& why) {
  recorder_.Stop();
  record_->setChecked(false);
  stopWhy_ = why;
  ShowNote(why);
  // A recording may run with the window closed; the operator must still learn why it ended.
  if (!isVisible()) show();
}

// A failed recording is told even when another has begun since, and the
// window shows itself: a recording may run with the window closed.
void ChartWindow::OnRecordingEnd(const RecordingEnd& end) {
  const QString path = QString::fromStdString(end.path);
  if (end.ok) {
    if (!recorder_.Recording()) ShowNote(stopWhy_ + Text(" — файл сохранён"));
    return;
  }
  if (end.path == recorder_.Path()) record_->setChecked(false);
  ShowNote(Text("Запись не удалась: ошибка записи в %1: %2").arg(path, QString::fromLocal8Bit(end.error.c_str())));
  if (!isVisible()) show();
}

void ChartWindow::ToggleRecording(bool wanted) {
  if (!wanted) {
    StopRecording();
    return;
  }
  AskForFile(
      this, {.title = Text("Файл записи"), .filter = Text("Файлы CSV (*.csv)"), .save = true, .defaultSuffix = "csv"},
      [this](const QString& path) {
        if (record_->isChecked()) StartRecording(path);  // unless the button was released meanwhile
      },
      [this] { record_->setChecked(false); });
}

void ChartWindow::ChooseCsvExport() {
  AskForFile(this, {.title = Text("Экспорт в CSV"), .filter = Text("Файлы CSV (*.csv)"), .save = true, .defaultSuffix = "csv"},
             [this](const QString& path) { ExportCsv(path); });
}

void ChartWindow::ChoosePngExport() {
  AskForFile(this, {.title = Text("Экспорт в PNG"), .filter = Text("Изображения PNG (*.png)"), .save = true, .defaultSuffix = "png"},
             [this](const QString& path) { ExportPng(path); });
}

void ChartWindow::ShowNote(const QString& text) { note_->setText(text); }

QString ChartWindow::WallTimeOf(double sampleSeconds) const {
  const double age = link_.steadyClock() - sampleSeconds;
  return IsoTime(QDateTime::currentDateTime().addMSecs(-static_cast<qint64>(age * 1000)));
}

void ChartWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  dirty_ = true;
  if (LiveShown()) frameTimer_.start();
}

void ChartWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  frameTimer_.stop();
  SaveChartView(View());
}

}  // namespace velkor::charts
