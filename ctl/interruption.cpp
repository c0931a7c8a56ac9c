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
  // No SA_RESTART: a call that would block without end (an open of a FIFO
  // nobody writes) must come back with EINTR, not start over. Every wait of
  // the program is bounded anyway and looks at the flag after each round.
  action.sa_flags = 0;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  // A reader that went away (`watch | head`) shows as a failed write, not a kill.
  signal(SIGPIPE, SIG_IGN);
}

bool Interrupted() { return interrupted != 0; }

}  // namespace velkor::ctl
