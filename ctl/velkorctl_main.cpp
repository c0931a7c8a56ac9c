// velkorctl_main.cpp: velkorctl, the VK-3 link from a shell. Reads the
// command line, then runs the command over the port it names. Depends on the
// command line, the session and the commands.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "ctl_journal.h"
#include "journal_command.h"
#include "mqtt_address.h"
#include "mqtt_commands.h"
#include "interruption.h"
#include "session.h"
#include "standard_descriptors.h"
#include "version.h"

namespace {

// Commands whose result is what they print: with standard output closed it
// would be lost. (watch ends on a reader that went away, as ever.)
bool ResultIsOutput(velkor::ctl::Command command) {
  using velkor::ctl::Command;
  switch (command) {
    case Command::Help:
    case Command::Show:
    case Command::ProfileDiff:
    case Command::Analyze:
    case Command::Crawl:
    case Command::Sweep:
    case Command::Journal:
    case Command::Fleet: return true;
    default: return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velkor::ctl;
  const bool outputClosed = fcntl(STDOUT_FILENO, F_GETFD) < 0;
  if (!velkor::OpenStandardDescriptors()) return EXIT_FAILED;
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("velkorctl %s\n%s", velkor::VERSION, velkor::VERSION_NOTICE);
    return EXIT_DONE;
  }
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const char* environmentPort = std::getenv(std::string(PORT_VARIABLE).c_str());
  const Parsed parsed = ParseCommandLine(
      args, environmentPort ? std::optional<std::string_view>(environmentPort) : std::nullopt);
  if (!parsed.invocation) {
    std::fprintf(stderr, "velkorctl: %s\n", parsed.error.c_str());
    return EXIT_USAGE;
  }
  const Invocation& invocation = *parsed.invocation;
  if (outputClosed && ResultIsOutput(invocation.command)) {
    std::fprintf(stderr, "velkorctl: standard output is closed: the result would be lost\n");
    return EXIT_FAILED;
  }
  if (invocation.command == Command::Help) {
    std::fputs(HELP_TEXT, stdout);
    return EXIT_DONE;
  }
  if (invocation.command == Command::Journal) return RunJournal(invocation, stdout, stderr);
  CatchInterruptions();
  if (IsMqttPortName(invocation.port)) return RunMqttCommand(invocation, stdout, stderr);
  Session session(invocation.port, stderr);
  KeepRecords(session, invocation);
  return RunCommand(invocation, session, stdout);
}
