// exit_stop.cpp: queueing the stop and waiting for its acknowledgement.
#include "exit_stop.h"

#include <QEventLoop>
#include <QTimer>

#include "codes.h"
#include "command_queue.h"

namespace velkor {
namespace {

constexpr int CHECK_EVERY_MS = 2;

// Acknowledged: taken from the queue, sent, and no longer in flight. A link
// reset empties both too; the stop can then not go out at all.
bool StopSettled(const Link& link) { return !QueueNotEmpty(link.queue) && link.state.pendingCode == 0; }

}  // namespace

void EndJogForExit(Link& link, bool polling) {
  if (!link.state.jogActive) return;
  link.state.jogActive = false;
  QueueClear(link.queue);
  static_cast<void>(PushCommand(link, CMD_ACTION, ACT_STOP));  // an emptied queue has room
  if (!polling) return;

  QEventLoop loop;
  QTimer check;
  check.setInterval(CHECK_EVERY_MS);
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (StopSettled(link)) loop.quit();
  });
  QTimer::singleShot(EXIT_STOP_WAIT_MS, &loop, &QEventLoop::quit);
  check.start();
  loop.exec();
}

}  // namespace velkor
