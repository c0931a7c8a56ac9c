// autoscale.h: the vertical range of a plot that follows its data without
// moving on every frame. The range holds while the data stays inside it and
// fills a fair part of it; otherwise it is set afresh around the data with a
// margin. Fewer range changes mean fewer axis redraws, and a steadier picture.
// The ticks on it fall on whole, round numbers.
#pragma once

namespace velkor::charts {

struct AxisRange {
  double low = 0;
  double high = 0;
  bool operator==(const AxisRange&) const = default;
};

// `low`..`high` is the data shown; `current` the range the plot has now.
AxisRange Autoscaled(AxisRange current, double low, double high);

// The distance between the value axis' ticks: 1, 2 or 5 times a power of ten,
// never below 1 since every reading is a whole number, so that each label is
// a short whole number and no two read the same.
double TickStep(AxisRange range, int ticks);
// The range widened to whole steps, so that both ends carry a label.
AxisRange RoundedOut(AxisRange range, double step);

}  // namespace velkor::charts
