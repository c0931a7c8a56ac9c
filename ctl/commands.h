// commands.h: what each velkorctl command does over a connected link, and the
// exit status it ends with. Results go to `out`, messages through the session.
// Depends on the command line, the session and the readings' printed forms.
#pragma once

#include <cstdio>

#include "command_line.h"
#include "profile.h"
#include "session.h"
#include "test_plan.h"

namespace velkor::ctl {

// Checks a profile file first, then connects, runs the command and, whatever
// happened, leaves no jog running.
int RunCommand(const Invocation& invocation, Session& session, std::FILE* out);
// The same on a session already connected, `profile` being the one read for
// profile diff and apply, `plan` the one read for test.
int RunConnected(const Invocation& invocation, const Profile& profile, Session& session, std::FILE* out,
                 const Plan* plan = nullptr);

}  // namespace velkor::ctl
