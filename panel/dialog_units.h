// dialog_units.h: dialog units, the layout's measure, turned into pixels of a
// given font: a horizontal unit is a quarter of the font's average character
// width, a vertical unit an eighth of its height. Depends on Qt Gui.
#pragma once

#include <QFont>
#include <QRect>

#include "panel_layout.h"

namespace velkor {

struct DialogUnits {
  int baseX = 0;  // average character width, pixels
  int baseY = 0;  // character height, pixels

  int ToPixelsX(int units) const;
  int ToPixelsY(int units) const;
  QRect ToPixels(const DialogRect& rect) const;
};

DialogUnits DialogUnitsOf(const QFont& font);

// The platform's sans-serif family at the layout's point size.
QFont PanelFont();

}  // namespace velkor
