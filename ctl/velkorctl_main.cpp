// velkorctl_main.cpp: velkorctl, the VK-3 link from a shell. Reads the
// command line, then runs the command over the port it names. Depends on the
// command line, the session and the commands.
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "interruption.h"
#include "session.h"

int main(int argc, char** argv) {
  using namespace velkor::ctl;
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const char* environmentPort = std::getenv(std::string(PORT_VARIABLE).c_str());
  const Parsed parsed = ParseCommandLine(
      args, environmentPort ? std::optional<std::string_view>(environmentPort) : std::nullopt);
  if (!parsed.invocation) {
    std::fprintf(stderr, "velkorctl: %s\n", parsed.error.c_str());
    return EXIT_USAGE;
  }
  const Invocation& invocation = *parsed.invocation;
  if (invocation.command == Command::Help) {
    std::fputs(HELP_TEXT, stdout);
    return EXIT_DONE;
  }
  CatchInterruptions();
  Session session(invocation.port, stderr);
  return RunCommand(invocation, session, stdout);
}
