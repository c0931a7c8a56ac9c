// decimate.cpp: one pass over the history per trace, two points per column at most.
#include "decimate.h"

#include <algorithm>

namespace velkor::charts {

namespace {

QPointF PointOf(const Sample& sample, Reading reading, double endSeconds) {
  return {sample.seconds - endSeconds, static_cast<double>(sample[reading])};
}

}  // namespace

void Decimate(const SampleHistory& history, Reading reading, double endSeconds, int columns,
              QList<QPointF>& points) {
  points.clear();
  columns = std::max(columns, 1);
  const double span = history.Span();
  const double startSeconds = endSeconds - span;
  const double columnWidth = span / columns;

  long column = -1;
  size_t low = 0;
  size_t high = 0;
  auto flushColumn = [&] {
    if (column < 0) return;
    const size_t first = std::min(low, high);
    const size_t second = std::max(low, high);
    points.append(PointOf(history.At(first), reading, endSeconds));
    if (second != first) points.append(PointOf(history.At(second), reading, endSeconds));
  };

  for (size_t i = 0; i < history.Size(); ++i) {
    const Sample& sample = history.At(i);
    if (sample.seconds < startSeconds || sample.seconds > endSeconds) continue;
    const long sampleColumn =
        std::min<long>(static_cast<long>((sample.seconds - startSeconds) / columnWidth), columns - 1);
    if (sampleColumn != column) {
      flushColumn();
      column = sampleColumn;
      low = high = i;
      continue;
    }
    if (sample[reading] < history.At(low)[reading]) low = i;
    if (sample[reading] > history.At(high)[reading]) high = i;
  }
  flushColumn();
}

}  // namespace velkor::charts
