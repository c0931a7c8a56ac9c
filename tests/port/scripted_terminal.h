// scripted_terminal.h: terminal calls that go through to the real device but
// write down every request made, and refuse the ones a test names, so that the
// port setup's failure paths and its modem-line requests can be seen. The
// serial flags, which a pseudo-terminal does not keep, are played by the
// script: `serialFlags` stands for the driver's. POSIX termios and ioctls.
#pragma once

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <string>
#include <vector>

#include "terminal_control.h"

namespace velkor::test {

class ScriptedTerminal : public TerminalControl {
 public:
  // Requests as they were made: "TIOCMBIS DTR", "tcsetattr", ...
  std::vector<std::string> requests;
  // The request to refuse, and from its how-manieth time (1: the first).
  std::string refuse;
  int refuseFrom = 1;
  int refuseWith = EIO;
  // The driver's serial flags; -1: the driver keeps none (ENOTTY).
  int serialFlags = -1;
  // Serial flags the driver refuses to change (EINVAL), whatever else changes.
  int refusedFlags = 0;
  // The flags of every TIOCSSERIAL, in order.
  std::vector<int> flagsAsked;

  int GetAttributes(int fd, termios& settings) override {
    if (Refused("tcgetattr")) return -1;
    return SystemTerminalControl().GetAttributes(fd, settings);
  }
  int SetAttributes(int fd, const termios& settings) override {
    if (Refused("tcsetattr")) return -1;
    return SystemTerminalControl().SetAttributes(fd, settings);
  }
  int Control(int fd, unsigned long request, void* argument) override {
    switch (request) {
      case TIOCMBIS:
      case TIOCMBIC: {
        const int line = *static_cast<int*>(argument);
        const std::string name = std::string(request == TIOCMBIS ? "TIOCMBIS " : "TIOCMBIC ") +
                                 (line == TIOCM_DTR ? "DTR" : line == TIOCM_RTS ? "RTS" : std::to_string(line));
        if (Refused(name)) return -1;
        // A pseudo-terminal has no modem lines: it answers ENOTTY.
        return SystemTerminalControl().Control(fd, request, argument);
      }
      case TIOCGSERIAL:
        if (Refused("TIOCGSERIAL")) return -1;
        if (serialFlags < 0) return Fail(ENOTTY);
        static_cast<serial_struct*>(argument)->flags = serialFlags;
        return 0;
      case TIOCSSERIAL: {
        const int flags = static_cast<serial_struct*>(argument)->flags;
        flagsAsked.push_back(flags);
        if (Refused("TIOCSSERIAL")) return -1;
        if (((flags ^ serialFlags) & refusedFlags) != 0) return Fail(EINVAL);
        serialFlags = flags;
        return 0;
      }
      default:
        if (Refused(request == TIOCEXCL ? "TIOCEXCL" : request == TIOCNXCL ? "TIOCNXCL" : "ioctl")) return -1;
        return SystemTerminalControl().Control(fd, request, argument);
    }
  }

  // How often the request was made.
  int Count(const std::string& request) const {
    int n = 0;
    for (const std::string& r : requests) n += r == request;
    return n;
  }

 private:
  bool Refused(const std::string& request) {
    requests.push_back(request);
    if (request != refuse || Count(request) < refuseFrom) return false;
    errno = refuseWith;
    return true;
  }
  static int Fail(int error) {
    errno = error;
    return -1;
  }
};

}  // namespace velkor::test
