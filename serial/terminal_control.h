// terminal_control.h: the system calls that set up an open terminal device:
// its termios settings and its ioctls (modem lines, serial flags, exclusivity).
// The port goes through this interface so that a test can refuse any one of
// them and see which requests were made. POSIX termios only.
#pragma once

#include <termios.h>

namespace velkor {

class TerminalControl {
 public:
  virtual ~TerminalControl() = default;
  // Each returns what the system call returns: 0, or -1 with errno set.
  virtual int GetAttributes(int fd, termios& settings) = 0;
  virtual int SetAttributes(int fd, const termios& settings) = 0;
  virtual int Control(int fd, unsigned long request, void* argument) = 0;
};

// The calls themselves (tcgetattr, tcsetattr with TCSANOW, ioctl).
TerminalControl& SystemTerminalControl();

}  // namespace velkor
