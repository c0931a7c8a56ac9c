// main.cpp: the program's entry. It reads no settings; of the command line it
// knows only --help and --version, which it answers without opening a window.
#include <csignal>
#include <cstdio>
#include <cstring>

#include "drive_app.h"
#include "standard_descriptors.h"
#include "version.h"

namespace {

const char kHelp[] =
    "Usage: velkor [--help | --version]\n"
    "The Velkor control panel for the VK-3 two-winding stepper-motor microstep\n"
    "driver: pick the driver's port in the window (a serial device, a network port\n"
    "served with RFC 2217 or raw TCP, or the built-in emulator), then watch its\n"
    "live readings, set its parameters and send its commands. velkorctl does the\n"
    "same from a shell.\n"
    "\n"
    "  --help       show this text\n"
    "  --version    show the version and the licence\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("velkor %s\n%s", velkor::VERSION, velkor::VERSION_NOTICE);
    return 0;
  }
  if (!velkor::OpenStandardDescriptors()) return 1;
  // A pipe whose reader left fails the write with EPIPE, told as a failed
  // write, instead of ending the panel with the driver left unstopped.
  std::signal(SIGPIPE, SIG_IGN);
  velkor::CDriveApp app(argc, argv);
  return app.Run();
}
