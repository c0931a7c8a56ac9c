// chart_view.h: what the chart window remembers between runs: the traces
// shown, the length shown, autoscale or the fixed value ranges, whether the
// cursors are on, and the window's size and place. Kept with QSettings in the
// user's configuration ("velkor/charts"); "Сбросить вид" forgets it all.
// Depends on QtCore, reading.h, autoscale.h and sample_store.h.
#pragma once

#include <QByteArray>
#include <QSize>

#include <array>

#include "autoscale.h"
#include "reading.h"
#include "sample_store.h"

namespace velkor::charts {

inline constexpr QSize DEFAULT_CHART_SIZE{900, 720};

struct ChartView {
  std::array<bool, LIVE_READING_COUNT> shown = AllShown();
  int spanSeconds = DEFAULT_SPAN_SECONDS;
  bool autoscale = true;
  std::array<AxisRange, PLOT_COUNT> ranges{};  // the value axes, kept when not autoscaled
  bool cursors = false;
  QByteArray geometry;  // QWidget::saveGeometry; empty for the default size and place

  static std::array<bool, LIVE_READING_COUNT> AllShown() {
    std::array<bool, LIVE_READING_COUNT> all{};
    all.fill(true);
    return all;
  }
};

// The defaults for whatever was never saved or cannot be read.
ChartView LoadChartView();
void SaveChartView(const ChartView& view);
void ForgetChartView();

}  // namespace velkor::charts
