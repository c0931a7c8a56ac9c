// transient_note.h: a short note shown for a few seconds under a control, for
// what the operator must learn of without a message box to dismiss (a refused
// command). The control's own text and tooltip stay as they are. Depends on Qt Widgets.
#pragma once

#include <QString>

class QWidget;

namespace velkor {

inline constexpr int NOTE_SHOWN_MS = 6000;

void ShowTransientNote(QWidget* control, const QString& text);

}  // namespace velkor
