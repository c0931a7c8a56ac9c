// tick_reader.cpp: one tick as a chain of events: the pause timer, the bytes'
// notifications, the read's end.
#include "tick_reader.h"

#include <chrono>

namespace velkor {
namespace {

constexpr std::chrono::milliseconds TICK_PAUSE{1};

}  // namespace

TickReader::TickReader(Link& link, LinePort& port, QObject* parent)
    : QObject(parent), link_(link), port_(port) {
  // Coarse timers may fire 5% late: the read's 2 ms interval would grow.
  next_.setTimerType(Qt::PreciseTimer);
  next_.setSingleShot(true);
  end_.setTimerType(Qt::PreciseTimer);
  end_.setSingleShot(true);
  connect(&next_, &QTimer::timeout, this, &TickReader::BeginTick);
  connect(&end_, &QTimer::timeout, this, &TickReader::OnReadEnd);
}

void TickReader::Start() {
  running_ = true;
  if (!reading_) next_.start(TICK_PAUSE);
}

void TickReader::Stop() {
  running_ = false;
  reading_ = false;
  next_.stop();
  StopWatching();
}

void TickReader::BeginTick() {
  BeginPollTick(link_);
  read_ = BeginPortRead(port_.Timeouts(), RECEIVE_BUFFER_SIZE, PortClock::now());
  reading_ = true;
  // A closed port has nothing to watch: the read only waits out its time.
  if (const int fd = port_.Descriptor(); fd >= 0) {
    if (notifier_ && notifier_->socket() == fd) {
      notifier_->setEnabled(true);
    } else {
      notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
      connect(notifier_.get(), &QSocketNotifier::activated, this, &TickReader::TakeBytes);
    }
  }
  WaitForEnd();
}

void TickReader::TakeBytes() {
  const size_t count = port_.ReadAvailable(link_.state.receiveBuffer + read_.got, read_.capacity - read_.got);
  NoteArrival(read_, port_.Timeouts(), count, PortClock::now());
  // The port closes itself when the device goes; its old descriptor must not
  // be watched a moment longer, or the loop would wake without end.
  if (port_.Descriptor() != notifier_->socket()) notifier_->setEnabled(false);
  if (read_.got >= read_.capacity) {
    EndTick();
  } else if (count > 0) {
    WaitForEnd();
  }
}

void TickReader::OnReadEnd() {
  if (PortReadDone(read_, PortClock::now())) {
    EndTick();
  } else {
    WaitForEnd();
  }
}

void TickReader::EndTick() {
  StopWatching();
  reading_ = false;
  // Counted from the read's end, as a periodic timer would count, and set
  // before the tick's own work, which may stop or restart the ticks.
  if (running_) next_.start(TICK_PAUSE);
  EndPollTick(link_, read_.got);
  emit Ticked();
}

void TickReader::WaitForEnd() {
  const auto left = read_.end - PortClock::now();
  // Rounded up: a timer that fired before the end would only have to wait again.
  end_.start(std::max(std::chrono::ceil<std::chrono::milliseconds>(left), std::chrono::milliseconds(0)));
}

void TickReader::StopWatching() {
  end_.stop();
  if (notifier_) notifier_->setEnabled(false);
}

}  // namespace velkor
