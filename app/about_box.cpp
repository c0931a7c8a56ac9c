// about_box.cpp: the About box's layout in dialog units of the panel's font,
// built into a fixed-size QDialog. Depends on Qt Widgets, the dialog units of
// the panel and the application icon.
#include "about_box.h"

#include <QLabel>
#include <QPushButton>

#include "app_icon.h"
#include "dialog_units.h"

namespace velkor {
namespace {

constexpr int WIDTH_DU = 235;
constexpr int HEIGHT_DU = 46;
constexpr DialogRect ICON_RECT{11, 17, 20, 20};
constexpr DialogRect VERSION_RECT{40, 10, 119, 8};
constexpr DialogRect COPYRIGHT_RECT{40, 25, 119, 8};
constexpr DialogRect OK_RECT{178, 7, 50, 14};
constexpr int ICON_PIXELS = 32;

void AddText(QWidget* parent, const char* text, const QRect& rect) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  // Shown exactly as written: no markup, no ampersand mnemonics.
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(rect);
}

}  // namespace

CAboutBox::CAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(QStringLiteral("About Velkor"));
  setWindowIcon(VelkorIcon());
  const QFont font = PanelFont();
  setFont(font);
  const DialogUnits units = DialogUnitsOf(font);
  setFixedSize(units.ToPixelsX(WIDTH_DU), units.ToPixelsY(HEIGHT_DU));

  // An icon control takes the icon's own size at the rectangle's corner.
  auto* icon = new QLabel(this);
  icon->setPixmap(VelkorIcon().pixmap(ICON_PIXELS, ICON_PIXELS));
  const QRect iconRect = units.ToPixels(ICON_RECT);
  icon->setGeometry(iconRect.x(), iconRect.y(), ICON_PIXELS, ICON_PIXELS);

  AddText(this, "Velkor Version 1.0", units.ToPixels(VERSION_RECT));
  AddText(this, "Copyright (C) 2026 Velkor", units.ToPixels(COPYRIGHT_RECT));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setGeometry(units.ToPixels(OK_RECT));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace velkor
