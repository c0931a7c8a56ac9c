// x_keyboard.cpp: XTest key presses on a display connection of their own.
#include "x_keyboard.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace velkor::bench {

XKeyboard::XKeyboard() : display_(XOpenDisplay(nullptr)) {}

XKeyboard::~XKeyboard() {
  if (display_) XCloseDisplay(display_);
}

void XKeyboard::Focus(uintptr_t window) {
  XSetInputFocus(display_, static_cast<Window>(window), RevertToParent, CurrentTime);
  XSync(display_, False);
}

void XKeyboard::PressF1() {
  const KeyCode f1 = XKeysymToKeycode(display_, XK_F1);
  XTestFakeKeyEvent(display_, f1, True, CurrentTime);
  XTestFakeKeyEvent(display_, f1, False, CurrentTime);
  XFlush(display_);
}

}  // namespace velkor::bench
