// analysis_plot.h: the colours of the current analysis plots, taken from a
// palette, so that a plot reads on a light window, on a dark one and on the
// white page of a report; and the square plot of the crawl circle. Depends
// on QCustomPlot.
#pragma once

#include <QColor>
#include <QPalette>
#include <qcustomplot.h>

namespace velkor {

// Background, axes, grid and labels of `plot` in the palette's colours.
void StylePlot(QCustomPlot* plot, const QPalette& palette);

// Black on white, as a printed page is.
QPalette PagePalette();

// A plot of one current against another: a milliampere is as long across as
// up, so that a circle stays round whatever the window's shape.
class SquarePlot : public QCustomPlot {
  Q_OBJECT

 public:
  using QCustomPlot::QCustomPlot;
  // Both axes from −reach to +reach, the wider one stretched to keep the scale.
  void ShowReach(double reach);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  double reach_ = 1;
};

// Colours of the plotted lines that stand out on a light and on a dark background.
inline const QColor MEASURED_COLOUR{0x1f, 0x77, 0xd4};
inline const QColor IDEAL_COLOUR{0x9a, 0x9a, 0x9a};
inline const QColor SECOND_COLOUR{0xe0, 0x6c, 0x1a};
inline const QColor WARNING_COLOUR{0xd6, 0x27, 0x28};

}  // namespace velkor
