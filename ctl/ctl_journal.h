// ctl_journal.h: what velkorctl records of a run in the user's state
// directory: each parameter it changed, each save and profile apply in the
// journal, and the driver's parameters as a snapshot once it has connected.
// A record that cannot be written is said on standard error; the command's
// exit status stays that of the command. Depends on the session and the
// journal library.
#pragma once

#include "command_line.h"
#include "session.h"

namespace velkor::ctl {

void KeepRecords(Session& session, const Invocation& invocation);

}  // namespace velkor::ctl
