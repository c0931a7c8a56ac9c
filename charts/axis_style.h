// axis_style.h: the look the chart window's plots share, live or still: value
// ticks at whole, round numbers (a reading is a whole number, and a label such
// as "12.5" or two labels "12" would only mislead) and plain number labels.
// Depends on QCustomPlot and autoscale.h.
#pragma once

#include <qcustomplot.h>

#include "autoscale.h"

namespace velkor::charts {

inline constexpr int VALUE_TICKS = 5;

class WholeTicker : public QCPAxisTicker {
 protected:
  double getTickStep(const QCPRange& range) override { return TickStep({range.lower, range.upper}, tickCount()); }
};

// Plain whole numbers, "-" for minus, no group separators.
inline void UseWholeLabels(QCPAxis* axis) {
  axis->setNumberFormat("f");
  axis->setNumberPrecision(0);
}

// The value axis' range fitted to `low`..`high` from `current`, on whole ticks.
inline AxisRange FittedRange(AxisRange current, double low, double high) {
  const AxisRange fitted = Autoscaled(current, low, high);
  if (fitted == current) return current;
  return RoundedOut(fitted, TickStep(fitted, VALUE_TICKS));
}

}  // namespace velkor::charts
