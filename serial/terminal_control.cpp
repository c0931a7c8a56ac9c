// terminal_control.cpp: the system's own terminal calls.
#include "terminal_control.h"

#include <sys/ioctl.h>

namespace velkor {
namespace {

class SystemCalls : public TerminalControl {
 public:
  int GetAttributes(int fd, termios& settings) override { return tcgetattr(fd, &settings); }
  int SetAttributes(int fd, const termios& settings) override { return tcsetattr(fd, TCSANOW, &settings); }
  int Control(int fd, unsigned long request, void* argument) override { return ioctl(fd, request, argument); }
};

}  // namespace

TerminalControl& SystemTerminalControl() {
  static SystemCalls calls;
  return calls;
}

}  // namespace velkor
