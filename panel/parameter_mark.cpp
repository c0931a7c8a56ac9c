// parameter_mark.cpp: placing and painting one display's marks.
#include "parameter_mark.h"

#include <QCursor>
#include <QEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace velkor {
namespace {

// Badges stand in a row inside the display's height, the first across its
// left edge in the 7 px the panel leaves free there, the others over the
// display's left part, which its right-aligned number leaves empty but for
// the longest values. Glyphs as tall as the panel's text read as themselves.
constexpr int BADGE_WIDTH_PX = 13;
constexpr int BADGE_HEIGHT_PX = 17;
constexpr int BADGE_OUTSIDE_PX = 6;
constexpr int BADGE_GAP_PX = 1;
constexpr int GLYPH_PX = 14;
constexpr int FRAME_PX = 2;
constexpr int DARK_WINDOW_LIGHTNESS = 128;

struct ThemeColours {
  const char* light;  // fill on a light window, white glyph
  const char* dark;   // fill on a dark window, black glyph
};

constexpr ThemeColours COLOURS[] = {
    {"#c62828", "#ff8a80"},  // mismatch: red
    {"#ad1457", "#f48fb1"},  // failed: crimson
    {"#1565c0", "#90caf9"},  // pending: blue
    {"#6a1b9a", "#ce93d8"},  // changed by the driver: purple
    {"#8a5300", "#ffd54f"},  // not saved: amber
};


}  // namespace

MarkColours MarkColoursFor(Mark mark, const QPalette& palette) {
  const ThemeColours& c = COLOURS[static_cast<size_t>(mark)];
  if (palette.color(QPalette::Window).lightness() < DARK_WINDOW_LIGHTNESS) {
    return {QColor(QLatin1String(c.dark)), QColor(Qt::black)};
  }
  return {QColor(QLatin1String(c.light)), QColor(Qt::white)};
}

CParameterMark::CParameterMark(ParameterId id, ControlId controlId, QWidget* control, QWidget* parent)
    : QWidget(parent), id_(id), control_(control) {
  setObjectName(QStringLiteral("mark%1").arg(static_cast<int>(controlId)));
  // The display under it keeps its clicks, its focus and its tooltip.
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  QFont font = this->font();
  font.setPixelSize(GLYPH_PX);
  font.setBold(true);
  setFont(font);
  hide();
}

void CParameterMark::Show(const MarkState& marks) {
  if (marks == shown_) return;
  shown_ = marks;
  glyphs_ = MarkGlyphs(marks);
  const QString before = control_->toolTip();
  control_->setToolTip(MarkToolTip(id_, marks));
  // A tooltip the operator is reading follows the marks; one of another widget is left alone.
  if (QToolTip::isVisible() && QToolTip::text() == before && !before.isEmpty()) {
    if (control_->toolTip().isEmpty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(QCursor::pos(), control_->toolTip(), control_);
    }
  }
  if (glyphs_.isEmpty()) {
    hide();
    return;
  }
  Place();
  show();
  update();
}

// Over the control, widened to the left by the part of the first badge that
// stands out; never taller than the control.
void CParameterMark::Place() {
  const QRect control = control_->geometry();
  setGeometry(control.adjusted(-BADGE_OUTSIDE_PX, 0, 0, 0));
}

void CParameterMark::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRect control = control_->geometry().translated(-pos());

  Mark first = Mark::Unsaved;
  for (Mark mark : MARKS) {
    if (Has(shown_, mark)) {
      first = mark;
      break;
    }
  }
  painter.setPen(QPen(MarkColoursFor(first, palette()).fill, FRAME_PX));
  painter.setBrush(Qt::NoBrush);
  const qreal inset = FRAME_PX / 2.0;
  painter.drawRect(QRectF(control).adjusted(inset, inset, -inset, -inset));

  const int height = std::min(BADGE_HEIGHT_PX, control.height() - 2 * FRAME_PX);
  QRect badge(control.left() - BADGE_OUTSIDE_PX, control.center().y() - height / 2, BADGE_WIDTH_PX, height);
  for (Mark mark : MARKS) {
    if (!Has(shown_, mark)) continue;
    const MarkColours colours = MarkColoursFor(mark, palette());
    painter.setPen(Qt::NoPen);
    painter.setBrush(colours.fill);
    painter.drawRoundedRect(badge, 3, 3);
    painter.setPen(colours.glyph);
    painter.drawText(badge, Qt::AlignCenter, QString(QChar(Glyph(mark))));
    badge.translate(BADGE_WIDTH_PX + BADGE_GAP_PX, 0);
  }
}

void CParameterMark::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) update();
  QWidget::changeEvent(event);
}

}  // namespace velkor
