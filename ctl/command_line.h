// command_line.h: what velkorctl is asked to do, read from its arguments and
// checked in full before a port is touched: a bad name, value or option is a
// usage error and nothing goes on the wire. Depends on the parameter table,
// the wire's codes and the network port names.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "parameter_table.h"

namespace velkor::ctl {

// As diff(1) has it: a script tells "the driver differs" from "could not tell".
inline constexpr int EXIT_DONE = 0;
inline constexpr int EXIT_DIFFERS = 1;  // the driver reported another value than the one set, or filed
inline constexpr int EXIT_USAGE = 2;    // a bad command line or profile file, found before anything was sent
inline constexpr int EXIT_FAILED = 3;   // not connected, not acknowledged, no answer in time, interrupted

inline constexpr std::chrono::milliseconds DEFAULT_TIMEOUT{5000};
inline constexpr std::string_view EMULATOR_PORT = "emulator";
inline constexpr std::string_view PORT_VARIABLE = "VELKOR_PORT";

enum class Command {
  Help,
  Show,
  Set,
  Action,
  Rotate,
  Watch,
  ProfileSave,
  ProfileDiff,
  ProfileApply,
  Analyze,
  Crawl,
  Sweep,
  Tune,
  Test,
  Journal,
  Fleet,
};

// What `tune` does with the driver's new coefficients once both measurements are in.
enum class TuneChoice { Keep, Revert };

enum class WatchFormat { Text, Csv, Json };

// How to reach a broker besides its address: TLS files and where the
// password is (never on the command line; $VELKOR_MQTT_PASSWORD otherwise).
struct MqttOptions {
  std::string caFile;
  std::string certFile;
  std::string keyFile;
  std::string passwordFile;
};

// One NAME=VALUE of `set`, in the domain the parameter states compare in:
// smoothing as 0 or 1.
struct Assignment {
  ParameterId id;
  int32_t value;
};

struct Invocation {
  Command command = Command::Help;
  std::string port;  // --port, else $VELKOR_PORT
  std::chrono::milliseconds timeout = DEFAULT_TIMEOUT;
  bool json = false;                     // show --json
  std::vector<Assignment> assignments;   // set, in the order given
  bool save = false;                     // set / profile apply --save
  uint16_t action = 0;                   // action: ACT_*; rotate: ACT_ROTATE_LEFT or _RIGHT
  std::chrono::milliseconds duration{0}; // rotate --for; watch --for (0: until interrupted)
  WatchFormat format = WatchFormat::Text;
  std::string file;                      // profile save|diff|apply FILE; test PLAN.json; journal --file
  // analyze --for, crawl --for (measured seconds) and its speed (0: the proposed one)
  std::chrono::milliseconds measure{0};
  int16_t speedRpm = 0;
  int16_t fromRpm = 0;                   // sweep --from, --to, --steps
  int16_t toRpm = 0;
  int steps = 0;
  TuneChoice tune = TuneChoice::Keep;    // tune --keep|--revert; --save with --keep
  std::string junit;                     // test --junit FILE
  std::string driver;                    // journal --driver
  std::string since;                     // journal --since, as given (checked)
  MqttOptions mqtt;                      // for an mqtt:// or mqtts:// port
};

inline constexpr std::chrono::milliseconds DEFAULT_ANALYZE{2000};
inline constexpr std::chrono::milliseconds DEFAULT_CRAWL{5000};
inline constexpr int DEFAULT_SWEEP_STEPS = 5;
inline constexpr int MAX_SWEEP_STEPS = 32;
inline constexpr int16_t MAX_RPM = 30000;


// The invocation, or the usage error in words for standard error.
struct Parsed {
  std::optional<Invocation> invocation;
  std::string error;
};

// The measuring commands' own arguments (after the command's name), as a
// plan's steps give them too: the parsed invocation, or the error in words.
Parsed ParseMeasuring(Command command, std::span<const std::string_view> args, Invocation inv);

// `args` without the program's name; `environmentPort` is $VELKOR_PORT if set.
Parsed ParseCommandLine(std::span<const std::string_view> args, std::optional<std::string_view> environmentPort);

// The action code (ACT_*) for a name `action` takes: "reread", "step-left"...
std::optional<uint16_t> ActionByName(std::string_view name);

// Everything --help says.
extern const char* const HELP_TEXT;

}  // namespace velkor::ctl
