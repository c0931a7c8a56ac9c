// port_opener.cpp: each of the port's waits turned into a notifier and a timer.
#include "port_opener.h"

#include <poll.h>

#include <chrono>

namespace velkor {

CPortOpener::CPortOpener(AnyPort& port, QObject* parent) : QObject(parent), port_(port) {
  due_.setSingleShot(true);
  due_.setTimerType(Qt::PreciseTimer);
  connect(&due_, &QTimer::timeout, this, &CPortOpener::Continue);
}

void CPortOpener::Start(const std::string& portName) {
  Cancel();
  opening_ = true;
  Follow(port_.StartOpen(portName));
}

void CPortOpener::Cancel() {
  if (!opening_) return;
  opening_ = false;
  due_.stop();
  DropNotifier();
  port_.Close();
}

void CPortOpener::Continue() {
  if (opening_) Follow(port_.ContinueOpen());
}

// The notifier may be the one whose signal runs now: it goes once that is over.
void CPortOpener::DropNotifier() {
  if (!notifier_) return;
  notifier_->setEnabled(false);
  notifier_.release()->deleteLater();
}

void CPortOpener::Follow(OpenProgress progress) {
  // The descriptor waited on changes from step to step (the lookup's pipe,
  // each address's socket): the notifier is made anew each time.
  DropNotifier();
  if (progress != OpenProgress::Waiting) {
    opening_ = false;
    due_.stop();
    emit Done(progress == OpenProgress::Opened);
    return;
  }
  const OpenWait wait = port_.OpenWaitOf();
  if (wait.fd >= 0) {
    notifier_ = std::make_unique<QSocketNotifier>(
        wait.fd, wait.events == POLLOUT ? QSocketNotifier::Write : QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &CPortOpener::Continue);
  }
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(wait.until - PortClock::now());
  due_.start(std::max(left, std::chrono::milliseconds(0)));
}

}  // namespace velkor
