// parameter_mark.h: the marks drawn over one parameter's display: a frame in
// the colour of its most pressing state and, beside the display's text, a
// small badge for each state with the state's glyph, in one row within the
// display's height, or two rows when one has no room for them all. The
// display's tooltip says the same in words. The display itself is neither
// moved nor restyled, and its text is never touched nor covered. Depends on
// Qt Widgets and the marks.
#pragma once

#include <QColor>
#include <QList>
#include <QPalette>
#include <QWidget>

#include "parameter_marks.h"

namespace velkor {

struct MarkColours {
  QColor fill;   // the badge and the frame
  QColor glyph;  // the glyph on the badge
};

// Deep colours with white glyphs on a light window, pale ones with black
// glyphs on a dark window: the frame stands out from the window either way.
MarkColours MarkColoursFor(Mark mark, const QPalette& palette);

// The badges' width, their rows and their glyphs' height, in pixels.
struct BadgeSize {
  int width = 0;
  int rows = 1;
  int glyphPx = 0;
};

class CParameterMark : public QWidget {
  Q_OBJECT

 public:
  // Drawn over `control`, a child of `parent` as the mark itself is; hidden
  // until a state is shown. Its object name is "mark" and the control's identifier.
  CParameterMark(ParameterId id, ControlId controlId, QWidget* control, QWidget* parent);

  // Redraws only when `marks` differ from those shown or the control's text
  // changed; rewrites the tooltip only when `marks` differ.
  void Show(const MarkState& marks);
  const MarkState& Shown() const { return shown_; }
  // The glyphs drawn, in their order; empty while hidden.
  QString Glyphs() const { return glyphs_; }
  // Where the badges stand, in the order of the glyphs, in the coordinates
  // of the control's parent; empty while hidden.
  const QList<QRect>& Badges() const { return badges_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void Place();
  QString ControlText() const;

  ParameterId id_;
  QWidget* control_;
  MarkState shown_;
  QString glyphs_;
  QString placedFor_;  // the control's text when the badges were placed
  QList<QRect> badges_;
  BadgeSize size_;
};

}  // namespace velkor
