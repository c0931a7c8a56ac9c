// trace_buffer.h: the points of one trace, kept up to date one sample at a
// time. Time is cut into columns as wide as a pixel of the plot, counted from
// the clock's zero so that a column never moves; each column keeps its lowest
// and highest sample, in the order they came. A new sample changes at most the
// last two points and an old one leaves from the front, so keeping a trace
// costs what arrives, not what is shown.
// Depends on QCustomPlot's data container, which the plot draws from directly.
#pragma once

#include <qcustomplot.h>

#include <cstdint>

namespace velkor::charts {

class TraceBuffer {
 public:
  TraceBuffer();

  // Starts afresh with columns `columnSeconds` wide.
  void Restart(double columnSeconds);
  // `seconds` never goes back between two calls without a Restart between them.
  void Add(double seconds, double value);
  // The line ends here: the link started over, and the next point begins a
  // new line. Drawn as a point whose value is not a number.
  void Break(double seconds);
  // Drops the points before `seconds`, the start of what is shown.
  void DropBefore(double seconds);

  // x is the sample's time, y its value, in time order.
  const QSharedPointer<QCPGraphDataContainer>& Points() const { return points_; }

 private:
  QSharedPointer<QCPGraphDataContainer> points_;
  double columnSeconds_ = 1;
  int64_t column_ = 0;     // of the newest sample
  QCPGraphData low_;       // the newest column's lowest sample
  QCPGraphData high_;      // and its highest
  int columnPoints_ = 0;   // points at the end that belong to the newest column
};

}  // namespace velkor::charts
