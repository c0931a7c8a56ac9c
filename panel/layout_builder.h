// layout_builder.h: one control of the panel's layout, made from its row: the
// widget of its kind, its caption, alignment and rectangle. Depends on Qt
// Widgets, the layout table and the port list.
#pragma once

#include <QWidget>

#include "dialog_units.h"
#include "panel_layout.h"

namespace velkor {

// The widget's object name is "id" and the control identifier, for controls
// that have one.
QWidget* CreateControl(const ControlRow& row, const DialogUnits& units, QWidget* parent);

// `font`, condensed as far as needed (not below 75 %) for every caption of the
// layout to fit its rectangle. The layout was drawn for a font with the same
// base units but narrower letters than most platforms' sans-serif; the units
// stay those of `font`, only the letters narrow.
QFont FittingFont(const QFont& font, const DialogUnits& units);

}  // namespace velkor
