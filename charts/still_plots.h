// still_plots.h: the chart window's plots for samples that no longer change:
// a held capture, a recording played back, two recordings compared. Each set
// of samples is a layer drawn in the traces' colours, a faint layer dashed and
// lighter. Two cursors on the time axis are dragged with the mouse, and a
// table beside them gives each trace's value at both and their difference,
// and the time between them. Markers stand on the time axis with their words
// in a tooltip. Nothing is drawn unless something changed: no timer runs.
// Depends on QCustomPlot, sample.h and reading.h.
#pragma once

#include <QString>
#include <QWidget>
#include <qcustomplot.h>

#include <array>
#include <optional>
#include <vector>

#include "autoscale.h"
#include "reading.h"
#include "sample.h"

class QLabel;
class QTableWidget;

namespace velkor::charts {

struct StillLayer {
  QString name;                 // in the cursor table, when more than one layer has rows there
  std::vector<Sample> samples;  // in time order
  double offset = 0;            // a sample at `seconds` stands at `seconds − offset` on the axis
  bool faint = false;           // dashed and lighter: the second recording, an older capture
  bool readout = true;          // its values appear in the cursor table
};

struct StillMarker {
  double seconds = 0;  // on the axis
  QString text;        // plain text, read from a file maybe
};

class StillPlots : public QWidget {
  Q_OBJECT

 public:
  explicit StillPlots(QWidget* parent = nullptr);

  void SetLayers(std::vector<StillLayer> layers);
  void SetMarkers(std::vector<StillMarker> markers);
  void SetTimeRange(double from, double to);
  void SetTraceShown(LiveReading reading, bool shown);
  void SetAutoscale(bool on);
  void SetCursorsShown(bool shown);
  // Cursor 0 or 1, at a time on the axis.
  void SetCursor(int cursor, double seconds);
  double Cursor(int cursor) const { return cursors_[cursor]; }

  const std::vector<StillLayer>& Layers() const { return layers_; }
  const std::vector<StillMarker>& Markers() const { return markers_; }
  // The reading of a layer at a time on the axis: the last sample at or
  // before it, as the step drawn shows it; none before the first or after the
  // last, in a gap or before the reading was reported.
  std::optional<int32_t> ValueAt(size_t layer, LiveReading reading, double seconds) const;
  // The markers' words within a few pixels of `x` in a plot, one a line.
  QStringList MarkersNear(QCustomPlot* plot, double x) const;
  QTableWidget* CursorTable() const { return table_; }
  QCustomPlot* PlotOf(Plot plot) const { return plots_[Index(plot)]; }

 private:
  void Rebuild();
  void Rescale();
  void PlaceCursors();
  void BringCursorsIntoView();
  void DragCursor(QCustomPlot* plot, double x);
  void FillTable();
  void OnPress(QCustomPlot* plot, QMouseEvent* event);
  void OnMove(QCustomPlot* plot, QMouseEvent* event);

  std::vector<StillLayer> layers_;
  std::vector<StillMarker> markers_;
  std::array<QCustomPlot*, PLOT_COUNT> plots_{};
  std::array<bool, LIVE_READING_COUNT> shown_{};
  bool autoscale_ = true;
  bool cursorsShown_ = false;
  std::array<double, 2> cursors_{};
  std::array<std::array<QCPItemStraightLine*, 2>, PLOT_COUNT> cursorLines_{};
  int dragging_ = -1;
  QLabel* times_ = nullptr;
  QTableWidget* table_ = nullptr;
};

}  // namespace velkor::charts
