// chart_view.cpp: the chart window's view in QSettings, a key a setting.
#include "chart_view.h"

#include <QSettings>
#include <QString>

#include <algorithm>

namespace velkor::charts {

namespace {

QString RangeKey(const PlotInfo& plot, const char* end) {
  return QString("ranges/%1_%2").arg(static_cast<int>(Index(plot.plot))).arg(end);
}

}  // namespace

ChartView LoadChartView() {
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "velkor", "charts");
  ChartView view;
  for (const LiveReadingInfo& info : LIVE_READINGS)
    view.shown[Index(info.reading)] = settings.value(QString("shown/") + info.name, true).toBool();
  view.spanSeconds =
      std::clamp(settings.value("span", DEFAULT_SPAN_SECONDS).toInt(), MIN_SPAN_SECONDS, MAX_SPAN_SECONDS);
  view.autoscale = settings.value("autoscale", true).toBool();
  for (const PlotInfo& plot : PLOTS) {
    AxisRange& range = view.ranges[Index(plot.plot)];
    range.low = settings.value(RangeKey(plot, "low"), 0.0).toDouble();
    range.high = settings.value(RangeKey(plot, "high"), 0.0).toDouble();
    if (!(range.low < range.high)) range = {-1, 1};  // nothing readable: the empty plot's range
  }
  view.cursors = settings.value("cursors", false).toBool();
  view.geometry = settings.value("geometry").toByteArray();
  return view;
}

void SaveChartView(const ChartView& view) {
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "velkor", "charts");
  for (const LiveReadingInfo& info : LIVE_READINGS)
    settings.setValue(QString("shown/") + info.name, view.shown[Index(info.reading)]);
  settings.setValue("span", view.spanSeconds);
  settings.setValue("autoscale", view.autoscale);
  for (const PlotInfo& plot : PLOTS) {
    settings.setValue(RangeKey(plot, "low"), view.ranges[Index(plot.plot)].low);
    settings.setValue(RangeKey(plot, "high"), view.ranges[Index(plot.plot)].high);
  }
  settings.setValue("cursors", view.cursors);
  settings.setValue("geometry", view.geometry);
}

void ForgetChartView() { QSettings(QSettings::NativeFormat, QSettings::UserScope, "velkor", "charts").clear(); }

}  // namespace velkor::charts
