// autoscale.h: the vertical range of a plot that follows its data without
// moving on every frame. The range holds while the data stays inside it and
// fills a fair part of it; otherwise it is set afresh around the data with a
// margin. Fewer range changes mean fewer axis redraws, and a steadier picture.
#pragma once

namespace velkor::charts {

struct AxisRange {
  double low = 0;
  double high = 0;
  bool operator==(const AxisRange&) const = default;
};

// `low`..`high` is the data shown; `current` the range the plot has now.
AxisRange Autoscaled(AxisRange current, double low, double high);

}  // namespace velkor::charts
