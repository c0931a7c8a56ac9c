// command_line.cpp: the argument parser, one small function per command, and
// the help text that describes them all.
#include "command_line.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "codes.h"
#include "journal_reader.h"
#include "mqtt_address.h"
#include "network_address.h"

namespace velkor::ctl {
namespace {

using Args = std::span<const std::string_view>;

// Longer than any sensible run; keeps the milliseconds far from overflowing.
constexpr double MAX_SECONDS = 1'000'000;

struct ActionEntry {
  std::string_view name;
  uint16_t code;
};

constexpr std::array<ActionEntry, 9> ACTIONS = {{
    {"reread", ACT_REREAD},
    {"save", ACT_SAVE_EEPROM},
    {"autotune", ACT_AUTOTUNE},
    {"smoothing", ACT_TOGGLE_SMOOTHING},
    {"test", ACT_TEST},
    {"step-left", ACT_STEP_LEFT},
    {"step-right", ACT_STEP_RIGHT},
    {"zero", ACT_ZERO_POSITION},
    {"stop", ACT_STOP},
}};

Parsed Fail(std::string error) { return {std::nullopt, std::move(error)}; }

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

// "--for 2" and "--for=2" alike. On a match, `value` is set and `i` moved past
// what was taken; a flag without its value is an error.
enum class OptionMatch { No, Yes, MissingValue };
OptionMatch TakeValueOption(Args args, size_t& i, std::string_view flag, std::string_view& value) {
  const std::string_view arg = args[i];
  if (arg == flag) {
    if (i + 1 >= args.size()) return OptionMatch::MissingValue;
    value = args[++i];
    return OptionMatch::Yes;
  }
  if (arg.size() > flag.size() && arg.substr(0, flag.size()) == flag && arg[flag.size()] == '=') {
    value = arg.substr(flag.size() + 1);
    return OptionMatch::Yes;
  }
  return OptionMatch::No;
}

// A positive number of seconds, decimals allowed; rounded up to whole milliseconds.
std::optional<std::chrono::milliseconds> ParseSeconds(std::string_view text) {
  if (text.empty() || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) return std::nullopt;
  const std::string copy(text);
  char* end = nullptr;
  const double seconds = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(seconds) || seconds <= 0 || seconds > MAX_SECONDS)
    return std::nullopt;
  return std::chrono::milliseconds(static_cast<int64_t>(std::ceil(seconds * 1000)));
}

std::string ParameterList() {
  std::string list;
  for (const ParameterInfo& p : PARAMETERS) list += std::string(p.name) + ", ";
  return list + std::string(SMOOTHING_NAME);
}

std::string DivisionList() {
  std::string list;
  for (const uint16_t d : STEP_DIVISIONS) list += (list.empty() ? "" : ", ") + std::to_string(d);
  return list;
}

// NAME=VALUE, or the reason it is not one the driver takes.
std::optional<Assignment> ParseAssignment(std::string_view text, std::string& error) {
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0) {
    error = Quoted(text) + " is not NAME=VALUE";
    return std::nullopt;
  }
  const std::string_view name = text.substr(0, equals);
  const std::string_view value = text.substr(equals + 1);
  const auto id = ParameterByName(name);
  if (!id) {
    error = "unknown parameter " + Quoted(name) + "; the parameters are " + ParameterList();
    return std::nullopt;
  }
  if (*id == ParameterId::Smoothing) {
    if (value == "on") return Assignment{*id, 1};
    if (value == "off") return Assignment{*id, 0};
    error = "smoothing takes on or off, not " + Quoted(value);
    return std::nullopt;
  }
  // Digits only: no sign, no spaces, no hexadecimal; six are more than any maximum.
  const bool digits = !value.empty() && value.size() <= 6 &&
                      value.find_first_not_of("0123456789") == std::string_view::npos;
  if (!digits) {
    error = std::string(name) + " takes a whole number from 0 to " + std::to_string(Info(*id).max) + ", not " + Quoted(value);
    return std::nullopt;
  }
  const int64_t number = std::strtoll(std::string(value).c_str(), nullptr, 10);
  if (!ParameterValueAccepted(*id, number)) {
    error = *id == ParameterId::StepDivision && number <= Info(*id).max
                ? std::string(text) + ": the driver knows the divisions " + DivisionList()
                : std::string(text) + ": out of range 0.." + std::to_string(Info(*id).max);
    return std::nullopt;
  }
  return Assignment{*id, static_cast<int32_t>(number)};
}

Parsed ParseShow(Args args, Invocation inv) {
  inv.command = Command::Show;
  for (const std::string_view arg : args) {
    if (arg != "--json") return Fail("show takes only --json, not " + Quoted(arg));
    inv.json = true;
  }
  return {std::move(inv), {}};
}

Parsed ParseSet(Args args, Invocation inv) {
  inv.command = Command::Set;
  for (const std::string_view arg : args) {
    if (arg == "--save") {
      inv.save = true;
      continue;
    }
    if (arg.starts_with("-")) return Fail("set takes only --save besides NAME=VALUE, not " + Quoted(arg));
    std::string error;
    const auto assignment = ParseAssignment(arg, error);
    if (!assignment) return Fail(error);
    for (const Assignment& earlier : inv.assignments) {
      if (earlier.id == assignment->id) return Fail(std::string(ParameterName(earlier.id)) + " is given twice");
    }
    inv.assignments.push_back(*assignment);
  }
  if (inv.assignments.empty()) return Fail("set needs at least one NAME=VALUE");
  return {std::move(inv), {}};
}

Parsed ParseAction(Args args, Invocation inv) {
  inv.command = Command::Action;
  std::string names;
  for (const ActionEntry& a : ACTIONS) names += (names.empty() ? "" : ", ") + std::string(a.name);
  if (args.size() != 1) return Fail("action takes one NAME: " + names);
  const auto code = ActionByName(args[0]);
  if (!code) return Fail("unknown action " + Quoted(args[0]) + "; the actions are " + names);
  inv.action = *code;
  return {std::move(inv), {}};
}

Parsed ParseRotate(Args args, Invocation inv) {
  inv.command = Command::Rotate;
  std::optional<uint16_t> direction;
  std::optional<std::chrono::milliseconds> duration;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view value;
    const OptionMatch match = TakeValueOption(args, i, "--for", value);
    if (match == OptionMatch::MissingValue) return Fail("--for needs a number of seconds");
    if (match == OptionMatch::Yes) {
      duration = ParseSeconds(value);
      if (!duration) return Fail("--for takes a number of seconds above 0 and at most 1000000, not " + Quoted(value));
    } else if ((args[i] == "left" || args[i] == "right") && !direction) {
      direction = args[i] == "left" ? ACT_ROTATE_LEFT : ACT_ROTATE_RIGHT;
    } else {
      return Fail("rotate takes left or right and --for SECONDS, not " + Quoted(args[i]));
    }
  }
  if (!direction) return Fail("rotate needs a direction: left or right");
  // A rotation without an end would keep the shaft turning after a lost
  // terminal or a killed script: the duration is not optional.
  if (!duration) return Fail("rotate needs --for SECONDS");
  inv.action = *direction;
  inv.duration = *duration;
  return {std::move(inv), {}};
}

Parsed ParseWatch(Args args, Invocation inv) {
  inv.command = Command::Watch;
  bool formatGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view value;
    const OptionMatch match = TakeValueOption(args, i, "--for", value);
    if (match == OptionMatch::MissingValue) return Fail("--for needs a number of seconds");
    if (match == OptionMatch::Yes) {
      const auto duration = ParseSeconds(value);
      if (!duration) return Fail("--for takes a number of seconds above 0 and at most 1000000, not " + Quoted(value));
      inv.duration = *duration;
    } else if (args[i] == "--csv" || args[i] == "--json") {
      if (formatGiven) return Fail("watch takes one of --csv and --json");
      formatGiven = true;
      inv.format = args[i] == "--csv" ? WatchFormat::Csv : WatchFormat::Json;
    } else {
      return Fail("watch takes --csv or --json and --for SECONDS, not " + Quoted(args[i]));
    }
  }
  return {std::move(inv), {}};
}

Parsed ParseProfile(Args args, Invocation inv) {
  if (args.empty()) return Fail("profile needs save, diff or apply, and a FILE");
  const std::string_view verb = args[0];
  if (verb == "save") inv.command = Command::ProfileSave;
  else if (verb == "diff") inv.command = Command::ProfileDiff;
  else if (verb == "apply") inv.command = Command::ProfileApply;
  else return Fail("profile takes save, diff or apply, not " + Quoted(verb));
  for (const std::string_view arg : args.subspan(1)) {
    if (arg == "--save" && inv.command == Command::ProfileApply) {
      inv.save = true;
    } else if (inv.file.empty() && !arg.empty() && !arg.starts_with("-")) {
      inv.file = arg;
    } else {
      return Fail("profile " + std::string(verb) + " takes a FILE" +
                  (inv.command == Command::ProfileApply ? " and --save" : "") + ", not " + Quoted(arg));
    }
  }
  if (inv.file.empty()) return Fail("profile " + std::string(verb) + " needs a FILE");
  return {std::move(inv), {}};
}

// A whole number of rpm, 1..MAX_RPM.
std::optional<int16_t> ParseRpm(std::string_view text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  const long rpm = std::strtol(std::string(text).c_str(), nullptr, 10);
  if (rpm < 1 || rpm > MAX_RPM) return std::nullopt;
  return static_cast<int16_t>(rpm);
}

}  // namespace

Parsed ParseMeasuring(Command command, Args args, Invocation inv) {
  inv.command = command;
  inv.measure = command == Command::Analyze ? DEFAULT_ANALYZE : command == Command::Crawl ? DEFAULT_CRAWL
                                                                                          : std::chrono::milliseconds{0};
  inv.steps = DEFAULT_SWEEP_STEPS;
  const std::string usage = command == Command::Analyze ? "analyze takes --for SECONDS and --json"
                            : command == Command::Crawl ? "crawl takes --speed RPM, --for SECONDS and --json"
                            : command == Command::Sweep ? "sweep takes --from RPM, --to RPM, --steps N and --json"
                                                        : "tune takes --keep or --revert, --save and --json";
  bool keepGiven = false, revertGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--json") {
      inv.json = true;
      continue;
    }
    if (command == Command::Tune && (args[i] == "--keep" || args[i] == "--revert" || args[i] == "--save")) {
      keepGiven |= args[i] == "--keep";
      revertGiven |= args[i] == "--revert";
      inv.save |= args[i] == "--save";
      continue;
    }
    const std::string_view flag = args[i].substr(0, args[i].find('='));
    const bool allowed = (flag == "--for" && (command == Command::Analyze || command == Command::Crawl)) ||
                         (flag == "--speed" && command == Command::Crawl) ||
                         ((flag == "--from" || flag == "--to" || flag == "--steps") && command == Command::Sweep);
    std::string_view value;
    const OptionMatch match = allowed ? TakeValueOption(args, i, flag, value) : OptionMatch::No;
    if (match == OptionMatch::No) return Fail(usage + ", not " + Quoted(args[i]));
    if (match == OptionMatch::MissingValue) return Fail(std::string(flag) + " needs a value");
    if (flag == "--for") {
      const auto duration = ParseSeconds(value);
      if (!duration) return Fail("--for takes a number of seconds above 0 and at most 1000000, not " + Quoted(value));
      inv.measure = *duration;
    } else if (flag == "--steps") {
      const auto steps = ParseRpm(value);
      if (!steps || *steps < 2 || *steps > MAX_SWEEP_STEPS)
        return Fail("--steps takes a whole number from 2 to " + std::to_string(MAX_SWEEP_STEPS) + ", not " + Quoted(value));
      inv.steps = *steps;
    } else {
      const auto rpm = ParseRpm(value);
      if (!rpm) return Fail(std::string(flag) + " takes a whole number of rpm from 1 to " + std::to_string(MAX_RPM) +
                            ", not " + Quoted(value));
      (flag == "--speed" ? inv.speedRpm : flag == "--from" ? inv.fromRpm : inv.toRpm) = *rpm;
    }
  }
  if (keepGiven && revertGiven) return Fail("tune takes one of --keep and --revert");
  if (revertGiven && inv.save) return Fail("tune --revert gives the old values back; --save goes with --keep");
  inv.tune = revertGiven ? TuneChoice::Revert : TuneChoice::Keep;
  if (command == Command::Sweep && (inv.fromRpm == 0 || inv.toRpm == 0)) return Fail("sweep needs --from RPM and --to RPM");
  if (command == Command::Sweep && inv.fromRpm == inv.toRpm) return Fail("sweep needs two different speeds");
  return {std::move(inv), {}};
}

namespace {

Parsed ParseTest(Args args, Invocation inv) {
  inv.command = Command::Test;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view value;
    const OptionMatch match = TakeValueOption(args, i, "--junit", value);
    if (match == OptionMatch::MissingValue || (match == OptionMatch::Yes && value.empty()))
      return Fail("--junit needs a FILE");
    if (match == OptionMatch::Yes) {
      inv.junit = value;
    } else if (inv.file.empty() && !args[i].empty() && !args[i].starts_with("-")) {
      inv.file = args[i];
    } else {
      return Fail("test takes PLAN.json and --junit FILE, not " + Quoted(args[i]));
    }
  }
  if (inv.file.empty()) return Fail("test needs PLAN.json");
  return {std::move(inv), {}};
}

Parsed ParseJournal(Args args, Invocation inv) {
  inv.command = Command::Journal;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view value;
    if (args[i] == "--json") {
      inv.json = true;
    } else if (const OptionMatch match = TakeValueOption(args, i, "--driver", value); match != OptionMatch::No) {
      if (match == OptionMatch::MissingValue || value.empty()) return Fail("--driver needs a port or driver name");
      inv.driver = value;
    } else if (const OptionMatch since = TakeValueOption(args, i, "--since", value); since != OptionMatch::No) {
      if (since == OptionMatch::MissingValue || !ParseJournalTime(value, std::chrono::system_clock::now()))
        return Fail("--since takes a UTC date and time (2026-12-08, 2026-12-08T10:00Z) or an age (30m, 2h, 1d)");
      inv.since = value;
    } else if (const OptionMatch file = TakeValueOption(args, i, "--file", value); file != OptionMatch::No) {
      if (file == OptionMatch::MissingValue || value.empty()) return Fail("--file needs the journal file's path");
      inv.file = value;
    } else {
      return Fail("journal takes --driver ID, --since TIME, --json and --file PATH, not " + Quoted(args[i]));
    }
  }
  return {std::move(inv), {}};
}

Parsed ParseFleet(Args args, Invocation inv) {
  inv.command = Command::Fleet;
  for (const std::string_view arg : args) {
    if (arg != "--json") return Fail("fleet takes only --json, not " + Quoted(arg));
    inv.json = true;
  }
  return {std::move(inv), {}};
}

// Through a broker, every command needs the driver's topic, but fleet, which
// lists them all, takes the broker alone.
Parsed CheckMqttInvocation(Parsed parsed) {
  const Invocation& inv = *parsed.invocation;
  std::string error;
  const auto address = ParseMqttAddress(inv.port, error);
  if (!address) return Fail(error);
  const bool fleet = inv.command == Command::Fleet;
  switch (inv.command) {
    case Command::Analyze:
    case Command::Crawl:
    case Command::Sweep:
    case Command::Tune:
    case Command::Test:
      return Fail("analyze, crawl, sweep, tune and test measure every report, which a broker does not carry: "
                  "run them on the machine the driver is on");
    default: break;
  }
  if (fleet && !address->driver.empty()) return Fail("fleet takes the broker alone: mqtt://[USER@]BROKER[:PORT]");
  if (!fleet && address->driver.empty())
    return Fail(Quoted(inv.port) + " names no driver: give mqtt://[USER@]BROKER[:PORT]/SITE/HOST/DRIVER");
  return parsed;
}

// The options that say how to reach a broker: "--ca FILE" and the like.
OptionMatch TakeMqttOption(Args args, size_t& i, MqttOptions& mqtt) {
  const std::pair<std::string_view, std::string MqttOptions::*> options[] = {
      {"--ca", &MqttOptions::caFile},
      {"--cert", &MqttOptions::certFile},
      {"--key", &MqttOptions::keyFile},
      {"--password-file", &MqttOptions::passwordFile},
  };
  for (const auto& [flag, field] : options) {
    std::string_view value;
    const OptionMatch match = TakeValueOption(args, i, flag, value);
    if (match == OptionMatch::Yes) mqtt.*field = value;
    if (match != OptionMatch::No) return match;
  }
  return OptionMatch::No;
}

}  // namespace

std::optional<uint16_t> ActionByName(std::string_view name) {
  for (const ActionEntry& a : ACTIONS) {
    if (a.name == name) return a.code;
  }
  return std::nullopt;
}

Parsed ParseCommandLine(Args args, std::optional<std::string_view> environmentPort) {
  Invocation inv;
  bool portGiven = false;
  std::vector<std::string_view> rest;  // the command and its own arguments
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") return {Invocation{}, {}};
    std::string_view value;
    OptionMatch match = TakeValueOption(args, i, "--port", value);
    if (match == OptionMatch::No) match = TakeValueOption(args, i, "--broker", value);
    if (match == OptionMatch::Yes) {
      if (value.empty()) return Fail("--port needs a port name");
      inv.port = value;
      portGiven = true;
      continue;
    }
    if (match == OptionMatch::No) {
      match = TakeValueOption(args, i, "--timeout", value);
      if (match == OptionMatch::Yes) {
        const auto timeout = ParseSeconds(value);
        if (!timeout) return Fail("--timeout takes a number of seconds above 0 and at most 1000000, not " + Quoted(value));
        inv.timeout = *timeout;
        continue;
      }
    }
    if (match == OptionMatch::No) match = TakeMqttOption(args, i, inv.mqtt);
    if (match == OptionMatch::Yes) continue;
    if (match == OptionMatch::MissingValue) return Fail(std::string(args[i]) + " needs a value");
    rest.push_back(args[i]);
  }
  if (rest.empty()) return Fail("no command given; see velkorctl --help");
  if (!portGiven && environmentPort && !environmentPort->empty()) inv.port = *environmentPort;

  const std::string_view command = rest[0];
  const Args commandArgs = Args(rest).subspan(1);
  Parsed parsed;
  if (command == "show") parsed = ParseShow(commandArgs, std::move(inv));
  else if (command == "set") parsed = ParseSet(commandArgs, std::move(inv));
  else if (command == "action") parsed = ParseAction(commandArgs, std::move(inv));
  else if (command == "rotate") parsed = ParseRotate(commandArgs, std::move(inv));
  else if (command == "watch") parsed = ParseWatch(commandArgs, std::move(inv));
  else if (command == "profile") parsed = ParseProfile(commandArgs, std::move(inv));
  else if (command == "analyze") parsed = ParseMeasuring(Command::Analyze, commandArgs, std::move(inv));
  else if (command == "crawl") parsed = ParseMeasuring(Command::Crawl, commandArgs, std::move(inv));
  else if (command == "sweep") parsed = ParseMeasuring(Command::Sweep, commandArgs, std::move(inv));
  else if (command == "tune") parsed = ParseMeasuring(Command::Tune, commandArgs, std::move(inv));
  else if (command == "test") parsed = ParseTest(commandArgs, std::move(inv));
  else if (command == "journal") return ParseJournal(commandArgs, std::move(inv));
  else if (command == "fleet") parsed = ParseFleet(commandArgs, std::move(inv));
  else return Fail("unknown command " + Quoted(command) + "; see velkorctl --help");

  if (!parsed.invocation) return parsed;
  const std::string& port = parsed.invocation->port;
  if (port.empty()) return Fail("no port: give --port PORT or set " + std::string(PORT_VARIABLE));
  if (IsMqttPortName(port)) return CheckMqttInvocation(std::move(parsed));
  if (parsed.invocation->command == Command::Fleet) return Fail("fleet needs --port mqtt://BROKER[:PORT] (or mqtts://)");
  if (IsNetworkPortName(port) && !ParseNetworkAddress(port))
    return Fail(Quoted(port) + " is no network port: give rfc2217://, tcp://, rfc2217s:// or tcps://HOST:PORT, "
                "PORT 1..65535, over TLS optionally ?ca=FILE&cert=FILE&key=FILE");
  return parsed;
}

const char* const HELP_TEXT =
    R"(Usage: velkorctl [--port PORT] [--timeout SECONDS] COMMAND [ARGS]

Talks to a VK-3 microstep driver the way the Velkor panel does, from a shell.

Options:
  --port PORT         the driver's port: a device (/dev/ttyUSB0,
                      /dev/serial/by-id/..., COM3 for /dev/ttyS2);
                      rfc2217://HOST:PORT, a serial port on another machine
                      served with RFC 2217 (ser2net's telnet(rfc2217)), set up
                      from here; tcp://HOST:PORT, a raw socket, where the
                      server's own line settings apply; rfc2217s://HOST:PORT
                      and tcps://HOST:PORT, the same over TLS (ser2net's ssl
                      layer): the server is checked against the system's CAs
                      or ?ca=FILE, a client certificate is given with
                      &cert=FILE&key=FILE, or all of them are named in
                      ~/.config/velkor/tls.ini under [HOST:PORT];
                      "emulator" for the built-in VK-3 emulator; or
                      mqtt://[USER@]BROKER[:PORT]/SITE/HOST/DRIVER, a driver
                      that velkord serves through an MQTT broker (mqtts:// for
                      TLS; default ports 1883 and 8883). Default: $VELKOR_PORT
  --broker BROKER     the same as --port, for fleet
  --ca FILE           mqtts://: the CA the broker's certificate is checked
                      against (default: the settings file, else the system's)
  --cert FILE, --key FILE
                      mqtts://: a client certificate and its key
  --password-file FILE
                      the broker password's file (its first line); the
                      password is never given on the command line:
                      $VELKOR_MQTT_PASSWORD wins over the file. Defaults for
                      ca, cert, key and password-file come from the lines
                      "NAME = VALUE" of $XDG_CONFIG_HOME/velkor/velkorctl.conf
                      (~/.config/velkor/velkorctl.conf)
  --timeout SECONDS   how long to wait for the driver to connect, and then for
                      the command's acknowledgements and reports (default 5)
  --help              show this text
  --version           show the version and the licence

Commands:
  show [--json]
      Connect and print the state, the ten parameters, smoothing and the live
      readings, one NAME=VALUE a line; with --json, one JSON object with
      "port", "state", "status" (the panel's status line as that state
      began, in Russian), "parameters" and "readings". The state is one
      of connected, connecting, link_lost, send_failed, open_failed. The
      readings are awaited for a few status reports at most: one the driver
      has not reported shows as unknown (null in JSON) and is named on
      standard error.
  set NAME=VALUE... [--save]
      Set parameters (only those that differ are sent), have the driver
      report them all again, and print the values it reports. With --save,
      once every value was reported back as set, have the driver save to
      its EEPROM, even when it held the values already; nothing is saved
      when one differs. The driver saves every parameter it holds: the
      others are named on standard error.
      Names and ranges:
        stepDivision    1, 2, 3, 4, 5, 6, 8, 10, 12, 15, 20, 24, 30, 40, 60, 120
        motionCurrent   0..20000 mA       holdingCurrent  0..20000 mA
        faultCurrent    0..20000 mA       reductionDelay  0..60000 ms
        proportionalK   0..255            levelingK       0..15
        steps           0..30000          jogSpeed        0..30000 rpm
        jogAccel        0..1000           smoothing       on or off
  action NAME
      Send one action and wait for its acknowledgement: reread, save (to
      EEPROM), autotune (prints the new coefficients), smoothing (switches it
      over and prints the new state), test, step-left, step-right (the shaft
      is kept moving until it comes to rest), zero (the position), stop.
  rotate left|right --for SECONDS
      Rotate for that long, keeping the rotation alive meanwhile, then stop.
  watch [--csv|--json] [--for SECONDS]
      Print one line of live readings for each status report of the driver:
      NAME=VALUE pairs, CSV, or one JSON object a line. The CSV opens with a
      header line; each row starts with the seconds since the first row
      (time_s), and the columns name their units as the panel's recordings
      do. A reading not reported yet is unknown (an empty CSV field, null in
      JSON). Runs until SECONDS have passed, until Ctrl-C or SIGTERM, or until
      the reader goes away (watch | head); each of these ends with status 0.
  profile save FILE | profile diff FILE | profile apply FILE [--save]
      save: write the driver's parameters to a profile file.
      diff: print the driver's value of each parameter the file sets, with
      the file's value beside those that differ; exit status 0 when none
      does, 1 when any does, 3 when it could not tell (as diff(1) does).
      apply: set the file's parameters as set does, and print them.
  journal [--driver ID] [--since TIME] [--json] [--file PATH]
      Print the journal of parameter changes, saves and profile applies that
      velkorctl and the panel made ($XDG_STATE_HOME/velkor/journal.jsonl,
      ~/.local/state/velkor/journal.jsonl), or the journal file PATH (such
      as velkord's): when, which program and host,
      the driver, old -> new, whether the driver confirmed it and whether it
      was saved. --driver keeps the entries of one port, driver identity or
      velkord driver name; --since those from a UTC date and time
      (2026-12-08, 2026-12-08T10:00Z) or an age (30m, 2h, 1d); --json prints
      the stored JSON lines. A damaged line is skipped and named on standard
      error. On every connection velkorctl and the panel also keep the
      driver's parameters as a profile in
      $XDG_STATE_HOME/velkor/snapshots/IDENTITY/TIME.json (the last 100 per
      driver), for profile diff and apply; IDENTITY is the port's stable name
      (its /dev/serial/by-id link, else its resolved path, or the network
      address) with every '/' and ':' as '_'.
  fleet [--json] --port mqtt://[USER@]BROKER[:PORT]
      List the drivers the broker knows from what velkord keeps retained:
      SITE/HOST/DRIVER, the link's state and since when, the unsaved
      parameters, the host's status and the port.

Through a broker (mqtt://, mqtts://) the commands give the output and exit
statuses they give on a local port: each goes to velkord as a command with
a reply, bounded by --timeout (rotate: its duration more), and watch prints
one line per readings message, each value that interval's mean. A rotation,
step or test names velkorctl's presence topic (velkor/v1/clients/ID,
retained "online", its will "offline"), so velkord stops the motion if
velkorctl goes away. A broker that refuses, closes or does not answer in
time ends with 3.

  analyze [--for SECONDS] [--json]
      Watch how well the driver holds its currents for SECONDS (default 2),
      moving nothing: per winding the bias, RMS and largest error, the share
      of readings outside the tolerance, the ratio of measured to set RMS,
      the same by state (holding, accelerating, constant speed), the
      imbalance between the windings and the voltage headroom. Each figure
      names the readings it rests on, their rate and how many were lost.
  crawl [--speed RPM] [--for SECONDS] [--json]
      Turn the motor slowly (default: the speed the analysis proposes, at
      least 50 readings an electrical period) and, once settled, measure for
      SECONDS (default 5): the circle of A against B, the error per
      microstep, the ripple of the current vector's length in %, the error
      near zero crossings and the 3rd and 5th harmonics. The driver's own jog
      speed is set back afterwards.
  sweep --from RPM --to RPM [--steps N] [--json]
      Jog at N speeds (default 5, 2..32) from one bound to the other, each
      held a few seconds: per speed the RMS tracking error, PWM near its
      ceiling, the speed ripple and the total current; where regulation is
      lost, and a proposed range of jog speeds.
  tune [--keep | --revert] [--save] [--json]
      Auto-tuning with evidence: keep a snapshot of the parameters, measure
      (tracking at standstill, a short crawl), have the driver tune its
      current regulation, wait for its new Kp and KL, measure again, and
      print before and after. Then --keep (the default) leaves the new
      coefficients, with --save saved to the EEPROM once the driver
      acknowledges; --revert applies the snapshot and verifies every value
      as profile apply does (exit status 1 when one differs).
  test PLAN.json [--junit FILE]
      Run the plan's steps in turn and check each bound on their figures;
      print PASS, FAIL or UNKNOWN a bound and a count. Exit status 0 when
      every bound holds, 1 when one does not, 2 for a bad plan (nothing is
      sent), 3 when a bound could not be told (a step ended short, a figure
      unknown). --junit writes a JUnit XML file, one test case a bound. A
      plan names each step's command as "run" with its options, and bounds
      a figure by its path in the step's --json output:
        {"steps": [
          {"run": "analyze", "for_s": 2},
          {"run": "crawl", "speed_rpm": 1, "for_s": 5, "name": "circle",
           "bounds": {"ripplePercent": {"max": 5}}},
          {"run": "sweep", "from_rpm": 60, "to_rpm": 600, "steps": 5},
          {"run": "tune", "then": "revert", "save": false}]}
      Options: for_s, speed_rpm, from_rpm, to_rpm, steps, and for tune
      "then" ("keep" or "revert") and "save"; a bound is {"min": X},
      {"max": Y} or both; true and false count as 1 and 0.

Ctrl-C (or SIGTERM, or a reader that went away) during rotate, a step,
crawl, sweep, tune or test stops the motor before velkorctl ends: the stop
action is sent and its acknowledgement awaited for up to half a second.

Results go to standard output, messages to standard error.
Exit status: 0 done and confirmed; 1 the driver answered, and a value it
reported back differs from the one set (or, for profile diff, from the
file); 2 a usage error or a bad profile file, found before anything is sent;
3 could not tell: the driver did not connect within the timeout, a command
was not acknowledged or not answered in time, the link dropped, or the run
was interrupted.
)";

}  // namespace velkor::ctl
