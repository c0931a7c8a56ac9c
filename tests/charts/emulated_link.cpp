// emulated_link.cpp: the tick and the port choice.
#include "emulated_link.h"

#include <QtTest/QtTest>

#include "codes.h"
#include "open_port.h"

namespace velkor::test {

EmulatedLink::EmulatedLink() {
  link.window = this;
  tick_.setInterval(1);
  connect(&tick_, &QTimer::timeout, this, [this] {
    PollTick(link);
    emit Ticked();
  });
}

EmulatedLink::~EmulatedLink() {
  tick_.stop();
  port_.Close();
}

bool EmulatedLink::OpenEmulator() {
  auto runner = std::make_unique<sim::PtyRunner>();
  if (!runner->Start()) return false;
  selected_ = runner->SlavePath();
  OpenPort(link, port_);
  // The previous emulator goes only once its terminal is no longer the open port.
  runner_ = std::move(runner);
  emit PortOpened(QString::fromStdString(selected_));
  return port_.IsOpen();
}

bool EmulatedLink::WaitConnected(int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  // The ready word, not the status line: "Соединено" gives way to the first
  // command's words within a tick or two, which a loaded machine's wait can miss.
  while (link.state.readyWord != READY_CONNECTED && !deadline.hasExpired()) QTest::qWait(10);
  return link.state.readyWord == READY_CONNECTED;
}

bool EmulatedLink::StartRotation(int16_t rpm, int16_t accel, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!deadline.hasExpired()) {
    if (runner_->WithEmulator([](const sim::Emulator& e) { return e.Jogging(); })) return true;
    if (!QueueNotEmpty(link.queue) && link.state.pendingCode == 0) {
      if (!QueuePush(link.queue, CMD_SET_JOG_SPEED, rpm) || !QueuePush(link.queue, CMD_SET_JOG_ACCEL, accel) ||
          !QueuePush(link.queue, CMD_ACTION, ACT_ROTATE_RIGHT))
        return false;
      link.state.jogActive = true;
    }
    QTest::qWait(10);
  }
  return false;
}

}  // namespace velkor::test
