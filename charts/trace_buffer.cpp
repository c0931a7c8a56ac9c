// trace_buffer.cpp: the newest column rewritten in place, the oldest dropped.
#include "trace_buffer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velkor::charts {

TraceBuffer::TraceBuffer() : points_(QSharedPointer<QCPGraphDataContainer>::create()) {}

void TraceBuffer::Restart(double columnSeconds) {
  points_->clear();
  columnSeconds_ = columnSeconds;
  columnPoints_ = 0;
}

void TraceBuffer::Add(double seconds, double value) {
  const QCPGraphData sample(seconds, value);
  const auto column = static_cast<int64_t>(std::floor(seconds / columnSeconds_));
  if (columnPoints_ == 0 || column != column_ || points_->isEmpty()) {
    column_ = column;
    low_ = high_ = sample;
    points_->add(sample);
    columnPoints_ = 1;
    return;
  }
  if (value < low_.value) {
    low_ = sample;
  } else if (value > high_.value) {
    high_ = sample;
  } else {
    return;  // inside the column's extremes: nothing to draw differently
  }
  // The column now has two distinct extremes; they replace its points in time order.
  const bool lowFirst = low_.key <= high_.key;
  const QCPGraphData& first = lowFirst ? low_ : high_;
  const QCPGraphData& second = lowFirst ? high_ : low_;
  if (columnPoints_ == 1) {
    *(points_->end() - 1) = first;
    points_->add(second);
    columnPoints_ = 2;
  } else {
    *(points_->end() - 2) = first;
    *(points_->end() - 1) = second;
  }
}

void TraceBuffer::Break(double seconds) {
  // Nothing to end: no line yet, or one ended already.
  if (points_->isEmpty() || std::isnan((points_->end() - 1)->value)) return;
  points_->add(QCPGraphData(seconds, std::numeric_limits<double>::quiet_NaN()));
  columnPoints_ = 0;
}

void TraceBuffer::DropBefore(double seconds) {
  points_->removeBefore(seconds);
  columnPoints_ = std::min(columnPoints_, points_->size());
}

}  // namespace velkor::charts
