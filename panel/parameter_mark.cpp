// parameter_mark.cpp: placing and painting one display's marks.
#include "parameter_mark.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>

namespace velkor {
namespace {

// A badge fits twice into a display's height; the panel leaves 7 px free left
// of every display, which takes the half that stands out.
constexpr int BADGE_PX = 12;
constexpr int BADGE_GAP_PX = 1;
constexpr int GLYPH_PX = 11;
constexpr int FRAME_PX = 2;
constexpr int DARK_WINDOW_LIGHTNESS = 128;

struct ThemeColours {
  const char* light;  // fill on a light window, white glyph
  const char* dark;   // fill on a dark window, black glyph
};

constexpr ThemeColours COLOURS[] = {
    {"#c62828", "#ff8a80"},  // mismatch: red
    {"#1565c0", "#90caf9"},  // pending: blue
    {"#6a1b9a", "#ce93d8"},  // changed by the driver: purple
    {"#8a5300", "#ffd54f"},  // not saved: amber
};

int BadgeColumnHeight(int badges) { return badges * BADGE_PX + (badges - 1) * BADGE_GAP_PX; }

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
  control_->setToolTip(MarkToolTip(id_, marks));
  if (glyphs_.isEmpty()) {
    hide();
    return;
  }
  Place();
  show();
  update();
}

// Over the control, widened by half a badge to the left, and as tall as the
// column of badges where that is taller than the control.
void CParameterMark::Place() {
  const QRect control = control_->geometry();
  const int column = BadgeColumnHeight(static_cast<int>(glyphs_.size()));
  const int top = std::min(control.top(), control.center().y() - column / 2);
  const int bottom = std::max(control.bottom(), top + column - 1);
  setGeometry(QRect(QPoint(control.left() - BADGE_PX / 2 - 1, top), QPoint(control.right(), bottom)));
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

  const int column = BadgeColumnHeight(static_cast<int>(glyphs_.size()));
  QRect badge(control.left() - BADGE_PX / 2, control.center().y() - column / 2, BADGE_PX, BADGE_PX);
  for (Mark mark : MARKS) {
    if (!Has(shown_, mark)) continue;
    const MarkColours colours = MarkColoursFor(mark, palette());
    painter.setPen(Qt::NoPen);
    painter.setBrush(colours.fill);
    painter.drawRoundedRect(badge, 3, 3);
    painter.setPen(colours.glyph);
    painter.drawText(badge, Qt::AlignCenter, QString(QChar(Glyph(mark))));
    badge.translate(0, BADGE_PX + BADGE_GAP_PX);
  }
}

void CParameterMark::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) update();
  QWidget::changeEvent(event);
}

}  // namespace velkor
