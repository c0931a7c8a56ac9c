// chart_window.h: the "Графики" window. It samples PanelValues after every poll
// tick, keeps the last few seconds, and draws them at a steady frame rate in
// four plots (currents, PWM, speed, position) with a trace per reading that
// the operator can switch off. A frame adds only the samples that came since
// the last one and redraws only the traces, unless a vertical range moved.
// It pauses, scales itself, exports what it holds to CSV and PNG, and records
// to a CSV file while the link runs. It only reads PanelValues: it sends
// nothing and changes nothing in the link.
// Depends on Qt Widgets and QCustomPlot, and on the rest of charts/.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <vector>

#include "chart_view.h"
#include "panel_values.h"
#include "reading.h"
#include "recorder.h"
#include "sample_history.h"
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
class StillPlots;
class XyView;

inline constexpr int FRAME_INTERVAL_MS = 33;  // about 30 frames a second
inline constexpr int XY_FRAMES = 3;

class ChartWindow : public QWidget {
  Q_OBJECT

 public:
  // A window of its own, parented so that it lives as long as the panel and
  // takes input while the panel runs modal.
  explicit ChartWindow(const PanelValues& values, QWidget* parent = nullptr);
  // Keeps the view for the next run.
  ~ChartWindow() override;

  // Export what the chart holds (frozen while paused). False, with the reason
  // shown in the window, when the file cannot be written.
  bool ExportCsv(const QString& path);
  bool ExportPng(const QString& path);
  // Starts or stops "Запись" as the toggle would, with a path already chosen.
  bool StartRecording(const QString& path);
  void StopRecording();
  bool Recording() const { return recorder_.Recording(); }

  const SampleHistory& History() const { return history_; }
  CapturePanel* Captures() const { return capture_; }
  XyView* Xy() const { return xy_; }
  // What the window shows now, as it would be kept between runs.
  ChartView View() const;
  // "Сбросить вид": every default back, and nothing kept any more.
  void ResetView();

 public slots:
  // Connected to the panel's tick: one sample of the values it just showed.
  void TakeSample();
  // Connected to the panel's port choice: a recording ends, the traces clear.
  void OnPortChosen();
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

  void BuildPlots(QWidget* area);
  QWidget* BuildControls();
  QTabWidget* BuildPages();
  void ApplyView(const ChartView& view);
  void SetCursorsShown(bool shown);
  void ShowXy();
  std::vector<StillPlots*> StillViews() const;
  void SetPaused(bool paused);
  void SetSpan(int seconds);
  void SetTimeAxes(int seconds);
  void RestartTraces(const SampleHistory& shown);
  void FeedTraces(const SampleHistory& shown);
  bool ScaleValueAxis(Plot plot);
  void SetTraceShown(const TraceInfo& trace, bool shown);
  void ToggleRecording(bool wanted);
  void ChooseCsvExport();
  void ChoosePngExport();
  void EndRecording(const QString& why);
  void ShowNote(const QString& text);
  const SampleHistory& Shown() const { return paused_ ? frozen_ : history_; }
  // Wall-clock time of a sample, as the header of a CSV file gives it.
  QString WallTimeOf(double sampleSeconds) const;

  const PanelValues& values_;
  QElapsedTimer clock_;
  SampleHistory history_;
  SampleHistory frozen_;
  bool paused_ = false;
  bool autoscale_ = true;
  bool dirty_ = true;
  bool restart_ = true;  // the traces are to be built anew from what is shown
  double fedSeconds_ = 0;  // the newest sample the traces hold
  Recorder recorder_;
  QTimer frameTimer_;

  QWidget* plotArea_ = nullptr;
  QVBoxLayout* plotColumn_ = nullptr;  // a row a plot, in the order of PLOTS
  std::array<PlotView, PLOT_COUNT> plots_{};
  // Indexed by the reading; the phase's stay empty.
  std::array<TraceBuffer, LIVE_READING_COUNT> traces_{};
  std::array<bool, LIVE_READING_COUNT> shown_{};
  std::array<QCheckBox*, LIVE_READING_COUNT> switches_{};
  QSpinBox* span_ = nullptr;
  QCheckBox* autoscaleBox_ = nullptr;
  QCheckBox* cursors_ = nullptr;
  QTabWidget* pages_ = nullptr;
  CapturePanel* capture_ = nullptr;
  XyView* xy_ = nullptr;
  int xyFrames_ = 0;  // a live XY view is drawn every XY_FRAMES frames
  QPushButton* pause_ = nullptr;
  QPushButton* record_ = nullptr;
  QLabel* note_ = nullptr;
};

}  // namespace velkor::charts
