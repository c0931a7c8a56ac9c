// parameter_commands.h: the commands that change or compare the driver's
// stored parameters: set, and the profile's save, diff and apply. Setting
// goes through the profiles' verified apply, the same as the panel's: only
// what differs is sent, each command acknowledged, then everything re-read
// and compared, and saved only once all of it is confirmed. Depends on the
// session and the profile library.
#pragma once

#include <cstdio>

#include "command_line.h"
#include "profile.h"
#include "profile_apply.h"
#include "session.h"

namespace velkor::ctl {

// The profile that sets exactly the given parameters.
Profile ProfileOf(const std::vector<Assignment>& assignments);

// Brings the driver to `profile`, printing each of its parameters as the
// driver reports it afterwards; what went wrong goes to standard error.
// When `finished` is given, the apply as it ended is left there, row by row.
int ApplyProfile(Session& session, const Profile& profile, bool save, milliseconds timeout, std::FILE* out,
                 ProfileApply* finished = nullptr);
// Writes the driver's parameters to `file`.
int SaveProfile(Session& session, const std::string& file, milliseconds timeout);
// Prints the driver's value of each parameter the profile sets, the
// profile's beside those that differ; fails when any differs.
int DiffProfile(Session& session, const Profile& profile, const std::string& file, std::FILE* out);

}  // namespace velkor::ctl
