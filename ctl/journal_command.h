// journal_command.h: `velkorctl journal`: the user's journal read back, the
// entries chosen by driver and time, as sentences or as the JSON lines they
// are stored as; a line that is no entry is skipped and said on standard
// error. Depends on the journal library.
#pragma once

#include <cstdio>

#include "command_line.h"

namespace velkor::ctl {

int RunJournal(const Invocation& invocation, std::FILE* out, std::FILE* messages);

}  // namespace velkor::ctl
