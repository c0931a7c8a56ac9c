// lock_owner.h: who holds a port that was turned away: the pid and the program
// that marked it. Plain C++; filled in by the serial device's lock file.
#pragma once

#include <string>

namespace velkor {

// Who marked a port: pid 0 for nobody.
struct LockOwner {
  int pid = 0;
  std::string program;  // as /proc names it; empty when it cannot be told
};

}  // namespace velkor
