// parameter_mark.cpp: placing and painting one display's marks.
#include "parameter_mark.h"

#include <QAbstractButton>
#include <QCursor>
#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

#include <algorithm>
#include <utility>

namespace velkor {
namespace {

// Badges stand beside the text the control shows, never over it nor over
// another control: first to the text's left, inside the display or in the
// free space before it, then to its right. In one row of badges with glyphs
// as tall as the panel's text when there is room for all of them; else in two
// rows within the control's height, as large as the room allows.
constexpr BadgeSize SIZES[] = {{12, 1, 13}, {10, 1, 12}, {9, 2, 11}, {8, 2, 10}, {7, 2, 9}};
constexpr int BADGE_GAP_PX = 1;
// The text's place is reckoned from the control's edge inside its frame, and
// widened by the line edit's own margin: the badges keep clear of it.
constexpr int FRAME_INSET_PX = 2;
constexpr int TEXT_CLEARANCE_PX = 3;
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

// Where the control's text stands, with the clearance around it.
QRect TextArea(const QWidget* control, const QString& text) {
  const auto* edit = qobject_cast<const QLineEdit*>(control);
  const Qt::Alignment alignment = edit ? edit->alignment() : Qt::AlignHCenter;
  const QRect inner = control->geometry().adjusted(FRAME_INSET_PX, 0, -FRAME_INSET_PX, 0);
  const QFontMetrics metrics(control->font());
  const QSize size(std::min(metrics.horizontalAdvance(text), inner.width()), metrics.height());
  const QRect place = QStyle::alignedRect(control->layoutDirection(),
                                          (alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter, size, inner);
  return place.adjusted(-TEXT_CLEARANCE_PX, 0, TEXT_CLEARANCE_PX, 0);
}

// The free space beside `control` within its row: up to the nearest other
// control that shares some of the row's height, or the edge inside the
// frame of the box that holds it.
std::pair<int, int> RowSpace(const QWidget* control) {
  const QRect own = control->geometry();
  int left = 0;
  int right = control->parentWidget()->width();
  for (const QObject* child : control->parentWidget()->children()) {
    const auto* other = qobject_cast<const QWidget*>(child);
    if (!other || other == control || other->isHidden() || other->isWindow()) continue;
    if (qobject_cast<const CParameterMark*>(other)) continue;
    const QRect r = other->geometry();
    if (r.bottom() < own.top() || r.top() > own.bottom()) continue;
    if (r.contains(own)) {  // the box around it
      left = std::max(left, r.left() + FRAME_INSET_PX);
      right = std::min(right, r.right() - FRAME_INSET_PX);
    } else if (r.right() < own.left()) {
      left = std::max(left, r.right() + 1 + BADGE_GAP_PX);
    } else if (r.left() > own.right()) {
      right = std::min(right, r.left() - 1 - BADGE_GAP_PX);
    }
  }
  return {left, right};
}

// The columns' left edges, to the text's left, nearest first, then to its
// right, nearest first, as many as there is room for.
QList<int> Columns(const QRect& text, std::pair<int, int> space, int width) {
  const int step = width + BADGE_GAP_PX;
  QList<int> columns;
  for (int x = text.left() - step; x >= space.first; x -= step) columns << x;
  for (int x = text.right() + 1 + BADGE_GAP_PX; x + width - 1 <= space.second; x += step) columns << x;
  return columns;
}

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
  hide();
}

void CParameterMark::Show(const MarkState& marks) {
  if (marks == shown_ && (glyphs_.isEmpty() || ControlText() == placedFor_)) return;
  if (marks == shown_) {
    Place();
    update();
    return;
  }
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
    badges_.clear();
    hide();
    return;
  }
  Place();
  show();
  update();
}

QString CParameterMark::ControlText() const {
  if (const auto* edit = qobject_cast<const QLineEdit*>(control_)) return edit->text();
  if (const auto* button = qobject_cast<const QAbstractButton*>(control_)) return button->text();
  return {};
}

// Over the control and its badges, in columns of one or two: a column
// holding one badge centres it in the control's height.
void CParameterMark::Place() {
  placedFor_ = ControlText();
  const QRect control = control_->geometry();
  const QRect text = TextArea(control_, placedFor_);
  const std::pair<int, int> space = RowSpace(control_);
  const int count = static_cast<int>(glyphs_.size());
  QList<int> columns;
  for (const BadgeSize& size : SIZES) {
    size_ = size;
    columns = Columns(text, space, size.width);
    if (columns.size() * size.rows >= count) break;
  }
  const int rows = size_.rows;
  const int height = rows == 1 ? control.height() - 2 * FRAME_PX : (control.height() - BADGE_GAP_PX) / 2;
  const int used = std::min<int>((count + rows - 1) / rows, static_cast<int>(columns.size()));
  QList<int> xs = columns.mid(0, used);
  std::sort(xs.begin(), xs.end());
  badges_.clear();
  QRect area = control;
  for (int i = 0; i < count; ++i) {
    const int column = std::min(i / rows, used - 1);
    const bool alone = rows == 1 || (i == count - 1 && count % 2 == 1);
    const int y = alone ? control.center().y() - height / 2 + 1 : control.top() + (i % 2) * (height + BADGE_GAP_PX);
    badges_ << QRect(xs.value(column, control.left()), y, size_.width, height);
    area |= badges_.last();
  }
  setGeometry(area);
}

void CParameterMark::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QFont glyphFont = font();
  glyphFont.setPixelSize(size_.glyphPx);
  glyphFont.setBold(true);
  painter.setFont(glyphFont);
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

  int i = 0;
  for (Mark mark : MARKS) {
    if (!Has(shown_, mark)) continue;
    const QRect badge = badges_.value(i++).translated(-pos());
    const MarkColours colours = MarkColoursFor(mark, palette());
    // Outlined in the window's colour: a badge over the frame stays apart from it.
    painter.setPen(QPen(palette().color(QPalette::Window), 1));
    painter.setBrush(colours.fill);
    painter.drawRoundedRect(QRectF(badge).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    painter.setPen(colours.glyph);
    painter.drawText(badge, Qt::AlignCenter | Qt::TextDontClip, QString(QChar(Glyph(mark))));
  }
}

void CParameterMark::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) update();
  QWidget::changeEvent(event);
}

}  // namespace velkor
