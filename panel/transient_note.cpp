// transient_note.cpp: the note is a tooltip placed under the control, which
// goes by itself and takes no input from the panel.
#include "transient_note.h"

#include <QToolTip>
#include <QWidget>

namespace velkor {

void ShowTransientNote(QWidget* control, const QString& text) {
  QToolTip::showText(control->mapToGlobal(control->rect().bottomLeft()), text, control, QRect(), NOTE_SHOWN_MS);
}

}  // namespace velkor
