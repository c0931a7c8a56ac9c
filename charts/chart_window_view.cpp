// chart_window_view.cpp: the chart window's pages beside the live plots (the
// captures, the XY view) and the view it keeps between runs.
#include <QCheckBox>
#include <QSpinBox>
#include <QTabWidget>

#include "capture_panel.h"
#include "chart_window.h"
#include "xy_view.h"

namespace velkor::charts {

namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

ChartWindow::~ChartWindow() { SaveChartView(View()); }

QTabWidget* ChartWindow::BuildPages() {
  pages_ = new QTabWidget(this);
  plotArea_ = new QWidget(pages_);
  BuildPlots(plotArea_);
  pages_->addTab(plotArea_, Text("Живые графики"));
  capture_ = new CapturePanel(pages_);
  pages_->addTab(capture_, Text("Захват"));
  xy_ = new XyView(pages_);
  pages_->addTab(xy_, Text("XY"));
  connect(pages_, &QTabWidget::currentChanged, this, [this] {
    dirty_ = true;
    ShowXy();
  });
  connect(xy_, &XyView::Changed, this, &ChartWindow::ShowXy);
  connect(capture_, &CapturePanel::Captured, this, [this] {
    if (xy_->Source() == XySource::Capture) ShowXy();
  });
  return pages_;
}

std::vector<StillPlots*> ChartWindow::StillViews() const { return {capture_->Plots()}; }

// The XY view draws only while it is the page shown.
void ChartWindow::ShowXy() {
  if (pages_->currentWidget() != xy_) return;
  std::vector<Sample> samples;
  switch (xy_->Source()) {
    case XySource::Live: {
      const SampleHistory& shown = Shown();
      samples.reserve(shown.Size());
      for (size_t i = 0; i < shown.Size(); ++i) samples.push_back(shown.At(i));
      break;
    }
    case XySource::Capture:
      if (!capture_->Engine().Captures().empty()) samples = capture_->Engine().Captures().back().samples;
      break;
    case XySource::Replay:
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
  view.spanSeconds = history_.Span();
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
  span_->setValue(view.spanSeconds);
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

}  // namespace velkor::charts
