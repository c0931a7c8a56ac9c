// decimate.cpp: one pass over the history per trace, two points per column at most.
#include "decimate.h"

#include <algorithm>

namespace velkor::charts {

namespace {

// A point level with the two before it only moves the flat stretch's end on.
void AddPoint(QList<QPointF>& points, const Sample& sample, Reading reading, double endSeconds) {
  const QPointF point(sample.seconds - endSeconds, static_cast<double>(sample[reading]));
  const qsizetype n = points.size();
  if (n >= 2 && points[n - 1].y() == point.y() && points[n - 2].y() == point.y())
    points[n - 1].setX(point.x());
  else
    points.append(point);
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
    AddPoint(points, history.At(first), reading, endSeconds);
    if (second != first) AddPoint(points, history.At(second), reading, endSeconds);
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
