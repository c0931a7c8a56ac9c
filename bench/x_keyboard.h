// x_keyboard.h: keys pressed through the X server, as a keyboard would press
// them (the XTest extension), on a display connection of the caller's own.
// Xlib's macros stay in x_keyboard.cpp, away from Qt's names.
// Depends on Xlib and XTest.
#pragma once

#include <cstdint>

struct _XDisplay;

namespace velkor::bench {

class XKeyboard {
 public:
  // Opens the display of $DISPLAY; Ready() says whether that worked.
  XKeyboard();
  ~XKeyboard();
  XKeyboard(const XKeyboard&) = delete;
  XKeyboard& operator=(const XKeyboard&) = delete;

  bool Ready() const { return display_ != nullptr; }
  // Gives the keyboard focus to this window and waits until the server has it.
  void Focus(uintptr_t window);
  // Presses and releases F1, and returns once the server has the request.
  void PressF1();

 private:
  _XDisplay* display_ = nullptr;
};

}  // namespace velkor::bench
