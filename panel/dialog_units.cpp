// dialog_units.cpp: font metrics to dialog base units, and dialog units to pixels.
#include "dialog_units.h"

#include <QFontMetrics>

namespace velkor {
namespace {

// Rounds to nearest, halves away from zero, like the dialog manager's MulDiv.
int Scale(int units, int base, int divisor) { return (units * base * 2 + divisor) / (2 * divisor); }

}  // namespace

int DialogUnits::ToPixelsX(int units) const { return Scale(units, baseX, 4); }
int DialogUnits::ToPixelsY(int units) const { return Scale(units, baseY, 8); }

QRect DialogUnits::ToPixels(const DialogRect& rect) const {
  return QRect(ToPixelsX(rect.x), ToPixelsY(rect.y), ToPixelsX(rect.width), ToPixelsY(rect.height));
}

DialogUnits DialogUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  return DialogUnits{metrics.averageCharWidth(), metrics.height()};
}

QFont PanelFont() {
  QFont font(QStringLiteral("Sans Serif"), PANEL_FONT_POINTS);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace velkor
