// chart_window.h: the "Графики" window. Every report of the driver is a sample
// with its own time (report_sampler.h); the window keeps the last
// MAX_SPAN_SECONDS of them and draws the shown span at a bounded frame rate in
// four plots (currents, PWM, speed, position) with a trace per reading that
// the operator can switch off. A frame adds only the samples that came since
// the last one and redraws only the traces, unless a vertical range moved; a
// lost link is a gap in every trace. It pauses, scales itself, exports what it
// holds to CSV and PNG, and records to a CSV file while the link runs, with
// the link's events and parameter changes as marker rows. It listens to the
// link's reports: it sends nothing and changes nothing in the link.
// Depends on Qt Widgets and QCustomPlot, and on the rest of charts/.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <vector>

#include "chart_view.h"
#include "link_controller.h"
#include "reading.h"
#include "recorder.h"
#include "report_sampler.h"
#include "sample_store.h"
#include "trace_buffer.h"
#include "trace_plot.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QVBoxLayout;

namespace velkor::charts {

class CapturePanel;
class ReplayPanel;
class StillPlots;
class XyView;

inline constexpr int FRAME_INTERVAL_MS = 33;  // about 30 frames a second
inline constexpr int XY_FRAMES = 3;

class ChartWindow : public QWidget, private SampleSink {
  Q_OBJECT

 public:
  // A window of its own, parented so that it lives as long as the panel and
  // takes input while the panel runs modal. It listens to the link's reports
  // for as long as it lives.
  explicit ChartWindow(Link& link, QWidget* parent = nullptr);
  // Keeps the view for the next run.
  ~ChartWindow() override;

  // Export what the chart holds (frozen while paused). False, with the reason
  // shown in the window, when the file cannot be written.
  bool ExportCsv(const QString& path);
  bool ExportPng(const QString& path);
  // Starts or stops "Запись" as the toggle would, with a path already chosen.
  // A stopped recording is told as saved only once its file has been closed.
  bool StartRecording(const QString& path);
  // The newest capture, as "Сохранить захват…" would save it.
  bool SaveCapture(const QString& path);
  void StopRecording();
  bool Recording() const { return recorder_.Recording(); }

  // Every sample and marker of the last MAX_SPAN_SECONDS, whatever the span shown.
  const SampleStore& History() const { return store_; }
  int Span() const { return span_; }
  CapturePanel* Captures() const { return capture_; }
  ReplayPanel* Replay() const { return replay_; }
  XyView* Xy() const { return xy_; }
  // What the window shows now, as it would be kept between runs.
  ChartView View() const;
  // "Сбросить вид": every default back, and nothing kept any more.
  void ResetView();

 public slots:
  // Connected to the panel's port choice, with the chosen entry's text: the
  // choice of another port ends a recording and clears the traces; the same
  // port opened again (the reconnector brought it back) keeps both.
  void OnPortChosen(const QString& portName);
  // Draws the latest samples now; the frame timer calls it while visible.
  void DrawFrame();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  // The time axis under a plot is fixed at −span..0; the traces keep the
  // sample clock's times and the plot maps them, so that no point needs
  // moving when time goes on.
  struct PlotView {
    TracePlot* view = nullptr;
    QCPAxis* time = nullptr;
    QCPAxis* value = nullptr;
    int columns = 0;      // the pixel columns the traces are cut into
    double drawnEnd = 0;  // the newest sample's time when last drawn
  };

  void OnSample(const Sample& sample) override;
  void OnMarker(const Marker& marker) override;
  void OnRecordingEnd(const RecordingEnd& end);
  // The time at the plots' right edge: the newest sample, or now while the
  // link is silent after it, so that a silence shows as one.
  double ClockEnd() const;
  void BuildPlots(QWidget* area);
  QWidget* BuildControls();
  QTabWidget* BuildPages();
  void ApplyView(const ChartView& view);
  void SetCursorsShown(bool shown);
  void ShowXy();
  // Whether the page shown draws live samples: the live plots or a live XY view.
  bool LiveShown() const;
  std::vector<StillPlots*> StillViews() const;
  void SetPaused(bool paused);
  void SetSpan(int seconds);
  void SetTimeAxes(int seconds);
  void RestartTraces(const SampleStore& shown);
  void FeedTraces(const SampleStore& shown);
  void FeedTraces(const Sample& sample);
  bool ScaleValueAxis(Plot plot);
  void SetTraceShown(const TraceInfo& trace, bool shown);
  void ToggleRecording(bool wanted);
  void ChooseCsvExport();
  void ChoosePngExport();
  void EndRecording(const QString& why);
  void ShowNote(const QString& text);
  // True, with a note, for a FIFO, a device or a socket: writing one could wait
  // for a reader without end, and a reader leaving would fail the write.
  bool RefuseIrregular(const QString& path);
  const SampleStore& Shown() const { return paused_ ? frozen_ : store_; }
  // Wall-clock time of a sample, as the header of a CSV file gives it.
  QString WallTimeOf(double sampleSeconds) const;

  Link& link_;
  SampleStore store_;
  SampleStore frozen_;
  int span_ = DEFAULT_SPAN_SECONDS;
  QString port_;     // the port the samples came from
  QString stopWhy_;  // why the last recording was stopped
  bool paused_ = false;
  bool autoscale_ = true;
  bool dirty_ = true;
  bool restart_ = true;  // the traces are to be built anew from what is shown
  uint64_t fed_ = 0;     // samples of what is shown the traces hold (SampleStore::Added)
  Recorder recorder_;
  ReportSampler sampler_;
  QTimer frameTimer_;

  QWidget* plotArea_ = nullptr;
  QVBoxLayout* plotColumn_ = nullptr;  // a row a plot, in the order of PLOTS
  std::array<PlotView, PLOT_COUNT> plots_{};
  // Indexed by the reading; the phase's stay empty.
  std::array<TraceBuffer, LIVE_READING_COUNT> traces_{};
  std::array<bool, LIVE_READING_COUNT> shown_{};
  std::array<QCheckBox*, LIVE_READING_COUNT> switches_{};
  QSpinBox* spanBox_ = nullptr;
  QCheckBox* autoscaleBox_ = nullptr;
  QCheckBox* cursors_ = nullptr;
  QTabWidget* pages_ = nullptr;
  CapturePanel* capture_ = nullptr;
  ReplayPanel* replay_ = nullptr;
  XyView* xy_ = nullptr;
  int xyFrames_ = 0;  // a live XY view is drawn every XY_FRAMES frames
  QPushButton* pause_ = nullptr;
  QPushButton* record_ = nullptr;
  QLabel* note_ = nullptr;
};

}  // namespace velkor::charts
