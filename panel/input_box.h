// input_box.h: the numeric prompt. A small window of its own with one edit
// field and an "Ok" button; RunInputBox waits in a nested event loop, so the
// panel's timer and controls keep working while the operator types. Depends on Qt Widgets.
#pragma once

#include <QString>

namespace velkor {

// The prompt of the most recent prompt window, which is also that window's title.
extern QString promptText;

struct InputBoxResult {
  bool accepted = false;  // "Ok" was clicked; false when the window was closed
  QString text;           // the field's first 255 characters, when accepted
};

// Opens a prompt titled `prompt` and returns once the operator has clicked its
// "Ok" or closed it. Every event of the GUI thread is served meanwhile.
// `extraWidth` widens the window and its field by that many pixels, for
// answers longer than a number.
InputBoxResult RunInputBox(const QString& prompt, int extraWidth = 0);

}  // namespace velkor
