// layout_builder.cpp: turning a layout row into a positioned widget.
#include "layout_builder.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

#include <algorithm>

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
  // Enter presses the focused button and nothing else: the panel has no
  // default button that Enter in a display could end it with.
  button->setAutoDefault(row.id != ID_SMOOTHING);
  button->setDefault(false);
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
  return list;
}

}  // namespace

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
