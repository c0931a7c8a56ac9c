// interruption.h: Ctrl-C, SIGTERM and a lost terminal (SIGHUP) as a flag the
// waits look at, so that the program can stop the motor before it ends.
// Depends on POSIX signals.
#pragma once

namespace velkor::ctl {

// From now on the three signals set the flag instead of ending the program.
void CatchInterruptions();
bool Interrupted();

}  // namespace velkor::ctl
