// parameter_mark.h: the marks drawn over one parameter's display: a frame in
// the colour of its most pressing state and, in a row across the display's left
// edge, a small badge for each state with the state's glyph. The display's
// tooltip says the same in words. The display itself is neither moved nor
// restyled, and its text is never touched. Depends on Qt Widgets and the marks.
#pragma once

#include <QColor>
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

class CParameterMark : public QWidget {
  Q_OBJECT

 public:
  // Drawn over `control`, a child of `parent` as the mark itself is; hidden
  // until a state is shown. Its object name is "mark" and the control's identifier.
  CParameterMark(ParameterId id, ControlId controlId, QWidget* control, QWidget* parent);

  // Redraws and rewrites the tooltip only when `marks` differ from those shown.
  void Show(const MarkState& marks);
  const MarkState& Shown() const { return shown_; }
  // The glyphs drawn, in their order; empty while hidden.
  QString Glyphs() const { return glyphs_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void Place();

  ParameterId id_;
  QWidget* control_;
  MarkState shown_;
  QString glyphs_;
};

}  // namespace velkor
