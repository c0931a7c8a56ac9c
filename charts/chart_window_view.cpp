// chart_window_view.cpp: the chart window's pages beside the live plots (the
// captures, the XY view) and the view it keeps between runs.
#include <QCheckBox>
#include <QSaveFile>
#include <QSpinBox>
#include <QTabWidget>

#include <cstdio>

#include "capture_panel.h"
#include "chart_window.h"
#include "reading_file.h"
#include "replay_panel.h"
#include "side_dialog.h"
#include "xy_view.h"

namespace velkor::charts {

namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// The samples and markers of a capture as rows of a readings file, in time order.
void AppendCaptureRows(std::string& text, const Capture& capture, double origin) {
  auto marker = capture.markers.begin();
  for (const Sample& sample : capture.samples) {
    for (; marker != capture.markers.end() && marker->seconds <= sample.seconds; ++marker)
      AppendMarkerRow(text, *marker, origin);
    AppendSampleRow(text, sample, origin);
  }
  for (; marker != capture.markers.end(); ++marker) AppendMarkerRow(text, *marker, origin);
}

}  // namespace

ChartWindow::~ChartWindow() { SaveChartView(View()); }

QTabWidget* ChartWindow::BuildPages() {
  pages_ = new QTabWidget(this);
  plotArea_ = new QWidget(pages_);
  BuildPlots(plotArea_);
  pages_->addTab(plotArea_, Text("Живые графики"));
  capture_ = new CapturePanel(pages_);
  pages_->addTab(capture_, Text("Захват"));
  replay_ = new ReplayPanel(capture_->Engine(), pages_);
  replay_->SetSpan(span_);
  pages_->addTab(replay_, Text("Воспроизведение"));
  xy_ = new XyView(pages_);
  pages_->addTab(xy_, Text("XY"));
  // The frame timer runs only while live samples are on the screen: a held
  // capture or a recording costs nothing while nothing changes.
  auto follow = [this] {
    if (isVisible() && LiveShown())
      frameTimer_.start();
    else
      frameTimer_.stop();
    dirty_ = true;
    ShowXy();
  };
  connect(pages_, &QTabWidget::currentChanged, this, follow);
  connect(xy_, &XyView::Changed, this, follow);
  connect(capture_, &CapturePanel::SaveAsked, this, [this] {
    AskForFile(this,
               {.title = Text("Сохранить захват"), .filter = Text("Файлы CSV (*.csv)"), .save = true, .defaultSuffix = "csv"},
               [this](const QString& path) { SaveCapture(path); });
  });
  connect(capture_, &CapturePanel::Captured, this, [this] {
    if (xy_->Source() == XySource::Capture) ShowXy();
  });
  return pages_;
}

bool ChartWindow::LiveShown() const {
  return pages_->currentWidget() == plotArea_ || (pages_->currentWidget() == xy_ && xy_->Source() == XySource::Live);
}

std::vector<StillPlots*> ChartWindow::StillViews() const { return {capture_->Plots(), replay_->Plots()}; }

// The XY view draws only while it is the page shown.
void ChartWindow::ShowXy() {
  if (pages_->currentWidget() != xy_) return;
  std::vector<Sample> samples;
  switch (xy_->Source()) {
    case XySource::Live: {
      const SampleStore& shown = Shown();
      for (size_t i = shown.FirstFrom(ClockEnd() - span_); i < shown.Size(); ++i) samples.push_back(shown.At(i));
      break;
    }
    case XySource::Capture:
      if (!capture_->Engine().Captures().empty()) samples = capture_->Engine().Captures().back().samples;
      break;
    case XySource::Replay:
      samples = replay_->ShownSamples();
      break;
  }
  xy_->SetSamples(samples);
}

void ChartWindow::SetCursorsShown(bool shown) {
  for (StillPlots* still : StillViews()) still->SetCursorsShown(shown);
}

ChartView ChartWindow::View() const {
  ChartView view;
  view.shown = shown_;
  view.spanSeconds = span_;
  view.autoscale = autoscale_;
  for (const PlotInfo& info : PLOTS) {
    const QCPRange range = plots_[Index(info.plot)].value->range();
    view.ranges[Index(info.plot)] = {range.lower, range.upper};
  }
  view.cursors = cursors_->isChecked();
  view.geometry = saveGeometry();
  return view;
}

void ChartWindow::ApplyView(const ChartView& view) {
  for (const TraceInfo& trace : TRACES) switches_[Index(trace.reading)]->setChecked(view.shown[Index(trace.reading)]);
  spanBox_->setValue(view.spanSeconds);
  autoscaleBox_->setChecked(view.autoscale);
  if (!view.autoscale) {
    for (const PlotInfo& info : PLOTS) {
      const AxisRange range = view.ranges[Index(info.plot)];
      plots_[Index(info.plot)].value->setRange(range.low, range.high);
      plots_[Index(info.plot)].view->replot();
    }
  }
  cursors_->setChecked(view.cursors);
  SetCursorsShown(view.cursors);
  if (view.geometry.isEmpty() || !restoreGeometry(view.geometry)) resize(DEFAULT_CHART_SIZE);
  dirty_ = true;
}

void ChartWindow::ResetView() {
  ForgetChartView();
  ApplyView(ChartView{});
  ShowNote(Text("Вид сброшен"));
}

// The newest capture in the readings file format, with the trigger's time and
// cause in the header, so that it opens for replay aligned at its trigger.
bool ChartWindow::SaveCapture(const QString& path) {
  const std::deque<Capture>& captures = capture_->Engine().Captures();
  if (captures.empty()) return false;
  const Capture& capture = captures.back();
  const double origin = capture.samples.empty() ? capture.triggerSeconds : capture.samples.front().seconds;
  std::string text = ReadingFileHeader(link_, WallTimeOf(origin).toStdString(), ROWS_EVERY_REPORT);
  char trigger[96];
  std::snprintf(trigger, sizeof trigger, "# %s: %.3f\n", std::string(TRIGGER_KEY).c_str(), capture.triggerSeconds - origin);
  const size_t columnLine = text.rfind('\n', text.size() - 2) + 1;
  text.insert(columnLine, trigger + ("# trigger_cause: " + capture.cause + "\n"));
  AppendCaptureRows(text, capture, origin);

  if (RefuseIrregular(path)) return false;
  QSaveFile file(path);
  const bool written = file.open(QIODevice::WriteOnly) &&
                       file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) &&
                       file.commit();
  ShowNote(written ? Text("Захват сохранён: %1").arg(path)
                   : Text("Не удалось сохранить %1: %2").arg(path, file.errorString()));
  return written;
}

}  // namespace velkor::charts
