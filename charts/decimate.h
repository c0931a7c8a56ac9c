// decimate.h: thins a trace to what a plot of a given width can show. The time
// span is cut into columns, and each column keeps only its lowest and highest
// sample, in the order they came, so a one-sample spike stays visible however
// many samples a column holds. A flat stretch, however long, is drawn as its
// two ends: a trace at rest costs the chart next to nothing.
// Depends on sample_history.h and Qt's QPointF.
#pragma once

#include <QList>
#include <QPointF>

#include "sample_history.h"

namespace velkor::charts {

// Fills `points` with the reading over the history's span ending at
// `endSeconds`; x is seconds before the end (−span..0), y the reading.
void Decimate(const SampleHistory& history, Reading reading, double endSeconds, int columns,
              QList<QPointF>& points);

}  // namespace velkor::charts
