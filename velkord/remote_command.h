// remote_command.h: a command from the broker turned into what velkorctl
// would have been asked on its command line, checked the same way (names,
// ranges, a profile's every field) and against what velkord lets remote
// clients do; and the reply that goes back: the exit status with velkorctl's
// meanings, each parameter's result and whether the save was acknowledged.
// Depends on velkorctl's command line, the profiles and QtCore's JSON parser.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "command_line.h"
#include "profile.h"
#include "profile_apply.h"

namespace velkor::daemon {

struct RemotePolicy {
  bool motion = false;                       // rotations, steps and the test allowed
  std::chrono::milliseconds maxRotation{0};  // the longest rotation allowed
  std::chrono::milliseconds timeout{0};      // each command's waits
};

struct RemoteRequest {
  ctl::Invocation invocation;
  Profile profile;     // profile apply: the profile sent
  std::string client;  // who asked, as it names itself; "" when it did not
  bool motion = false;
  // How long the asker waits for the reply ("timeout_s"): past it, the
  // command is not started. Absent: no bound.
  std::optional<std::chrono::microseconds> askerWaits;
};

// The request, or why it is refused (exit status 2). `command` is the last
// level of the topic: set, action, profile or show.
std::variant<RemoteRequest, std::string> ParseRemoteCommand(std::string_view command, std::string_view payload,
                                                            const RemotePolicy& policy);

// The reply's JSON. `apply` is the set's or the profile's apply as it ended;
// `show` the object velkorctl show --json prints, included as "show".
std::string ReplyJson(int exitStatus, const ProfileApply* apply, std::string_view message,
                      std::string_view show = {});

// A parameter's value in JSON: smoothing as true or false.
std::string ParameterJson(ParameterId id, int32_t value);

}  // namespace velkor::daemon
