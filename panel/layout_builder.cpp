// layout_builder.cpp: turning a layout row into a positioned widget.
#include "layout_builder.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

#include <algorithm>

#include "closed_list_wheel.h"
#include "port_selector.h"

namespace velkor {
namespace {

Qt::Alignment HorizontalAlignment(Align align) {
  switch (align) {
    case Align::Right: return Qt::AlignRight;
    case Align::Centre: return Qt::AlignHCenter;
    case Align::Left:
    case Align::Default: break;
  }
  return Qt::AlignLeft;
}

QLineEdit* CreateDisplay(const ControlRow& row, QWidget* parent) {
  auto* display = new QLineEdit(parent);
  display->setReadOnly(true);
  display->setFrame(true);
  display->setAlignment(HorizontalAlignment(row.align) | Qt::AlignVCenter);
  display->setFocusPolicy(Qt::StrongFocus);
  // The live displays change at every tick. Painting one would first paint the
  // box and the panel underneath it; the display covers its rectangle but for
  // the frame's rounded corners, where what lies beneath never changes.
  display->setAttribute(Qt::WA_OpaquePaintEvent);
  return display;
}

// The frame's top line runs through the middle of the caption, as the layout
// expects: its controls sit just below the caption line, inside the frame.
QGroupBox* CreateGroupBox(const ControlRow& row, QWidget* parent) {
  auto* box = new QGroupBox(QString::fromUtf8(row.caption), parent);
  const int halfLine = box->fontMetrics().height() / 2;
  box->setStyleSheet(QStringLiteral("QGroupBox { border: 1px solid palette(mid); margin-top: %1px; }"
                                    "QGroupBox::title { subcontrol-origin: margin; left: %2px; padding: 0 2px; }")
                         .arg(halfLine)
                         .arg(box->fontMetrics().averageCharWidth()));
  return box;
}

QPushButton* CreateButton(const ControlRow& row, QWidget* parent) {
  auto* button = new QPushButton(QString::fromUtf8(row.caption), parent);
  // No button is the dialog's default, so none is drawn as one and Enter in a
  // display presses nothing; the panel itself lets Enter press the focused button.
  button->setAutoDefault(false);
  if (row.align == Align::Right) button->setStyleSheet(QStringLiteral("text-align: right;"));
  return button;
}

QComboBox* CreateList(const ControlRow& row, const DialogUnits& units, QWidget* parent) {
  QComboBox* list = row.kind == ControlKind::PortList ? new CPortSelector(parent) : new QComboBox(parent);
  if (row.kind == ControlKind::DropDown) {
    for (const char* entry : DIVISION_ENTRIES) list->addItem(QString::fromUtf8(entry));
    list->setCurrentIndex(-1);
  }
  // The row's height is that of the opened list; the closed box is as tall as its font wants.
  const int itemHeight = std::max(1, list->view()->sizeHintForRow(0));
  list->setMaxVisibleItems(std::max(1, units.ToPixelsY(row.rect.height) / itemHeight));
  IgnoreWheelWhileClosed(list);
  return list;
}

constexpr int NARROWEST_STRETCH = 75;
constexpr int STRETCH_STEP = 5;
constexpr int BUTTON_MARGIN_DU = 3;  // each side: the bevel and a little air

bool CaptionsFit(const QFont& font, const DialogUnits& units) {
  const QFontMetrics metrics(font);
  for (const ControlRow& row : PANEL_LAYOUT) {
    const int margins = row.kind == ControlKind::Button ? 2 * units.ToPixelsX(BUTTON_MARGIN_DU) : 0;
    if (metrics.horizontalAdvance(QString::fromUtf8(row.caption)) > units.ToPixelsX(row.rect.width) - margins) {
      return false;
    }
  }
  return true;
}

}  // namespace

QFont FittingFont(const QFont& font, const DialogUnits& units) {
  QFont fitting = font;
  for (int stretch = QFont::Unstretched; stretch > NARROWEST_STRETCH; stretch -= STRETCH_STEP) {
    fitting.setStretch(stretch);
    if (CaptionsFit(fitting, units)) return fitting;
  }
  fitting.setStretch(NARROWEST_STRETCH);
  return fitting;
}

QWidget* CreateControl(const ControlRow& row, const DialogUnits& units, QWidget* parent) {
  QWidget* control = nullptr;
  switch (row.kind) {
    case ControlKind::GroupBox:
      control = CreateGroupBox(row, parent);
      break;
    case ControlKind::Label:
      control = new QLabel(QString::fromUtf8(row.caption), parent);
      static_cast<QLabel*>(control)->setTextFormat(Qt::PlainText);
      static_cast<QLabel*>(control)->setAlignment(HorizontalAlignment(row.align) | Qt::AlignVCenter);
      break;
    case ControlKind::Display:
      control = CreateDisplay(row, parent);
      break;
    case ControlKind::Button:
      control = CreateButton(row, parent);
      break;
    case ControlKind::PortList:
    case ControlKind::DropDown:
      control = CreateList(row, units, parent);
      break;
  }
  QRect rect = units.ToPixels(row.rect);
  if (auto* list = qobject_cast<QComboBox*>(control)) rect.setHeight(list->sizeHint().height());
  control->setGeometry(rect);
  if (row.id != NO_ID) control->setObjectName(QStringLiteral("id%1").arg(static_cast<int>(row.id)));
  return control;
}

}  // namespace velkor
