// termination_signals.cpp: a signal handler may only write a byte; the event
// loop reads it and closes the windows on the panel's thread.
#include "termination_signals.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace velkor {
namespace {

int signalWriteEnd = -1;

void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  // A full pipe already holds a byte that will close the windows.
  static_cast<void>(::write(signalWriteEnd, &byte, 1));
  errno = saved;
}

}  // namespace

void CloseOnTerminationSignals(QWidget& window) {
  int ends[2];
  if (signalWriteEnd != -1 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) return;
  signalWriteEnd = ends[0];
  auto* notifier = new QSocketNotifier(ends[1], QSocketNotifier::Read, &window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, readEnd = ends[1]] {
    char bytes[16];
    while (::read(readEnd, bytes, sizeof bytes) > 0) {
    }
    window.close();
    QApplication::closeAllWindows();
  });
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace velkor
