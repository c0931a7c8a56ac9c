// commands.h: what each velkorctl command does over a connected link, and the
// exit status it ends with. Results go to `out`, messages through the session.
// Depends on the command line, the session and the readings' printed forms.
#pragma once

#include <cstdio>

#include "command_line.h"
#include "session.h"

namespace velkor::ctl {

inline constexpr int EXIT_DONE = 0;
inline constexpr int EXIT_FAILED = 1;  // not connected, not acknowledged, another value reported
inline constexpr int EXIT_USAGE = 2;   // found before anything was sent

// Connects, runs the command and, whatever happened, leaves no jog running.
int RunCommand(const Invocation& invocation, Session& session, std::FILE* out);

}  // namespace velkor::ctl
