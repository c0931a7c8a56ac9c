// interruption.cpp: the signal handler and its flag.
#include "interruption.h"

#include <signal.h>

#include <csignal>
#include <initializer_list>

namespace velkor::ctl {
namespace {

volatile std::sig_atomic_t interrupted = 0;

void NoteInterruption(int) { interrupted = 1; }

}  // namespace

void CatchInterruptions() {
  struct sigaction action {};
  action.sa_handler = NoteInterruption;
  sigemptyset(&action.sa_mask);
  // Interrupted reads and waits start over; each is bounded by its timeout,
  // and the flag is looked at after it.
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  // A reader that went away (`watch | head`) shows as a failed write, not a kill.
  signal(SIGPIPE, SIG_IGN);
}

bool Interrupted() { return interrupted != 0; }

}  // namespace velkor::ctl
