// port_reconnector.cpp: the wait for a port's return, on a slow timer so that
// an idle panel stays idle.
#include "port_reconnector.h"

#include <algorithm>
#include <string_view>

#include "make_port.h"

namespace velkor {
namespace {

// A pseudo-terminal's number goes to whichever terminal is opened next: the
// name never brings the same device back.
bool CanComeBack(std::string_view portName) { return !portName.starts_with("/dev/pts/"); }

}  // namespace

CPortReconnector::CPortReconnector(Link& link, AnyPort& port, QObject* parent)
    : QObject(parent), link_(link), port_(port), opener_(port) {
  retry_.setSingleShot(true);
  retry_.setTimerType(Qt::CoarseTimer);
  connect(&retry_, &QTimer::timeout, this, &CPortReconnector::TryAgain);
  connect(&opener_, &CPortOpener::Done, this, &CPortReconnector::OnOpened);
}

void CPortReconnector::AfterTick() {
  if (link_.state.readyWord == READY_CONNECTED) driverSeen_ = true;
  // Only a hang-up closes the port while the tick runs. The link's watchdog
  // shows the loss of a connected driver first; an idle closed port would
  // only make the tick wait in vain.
  if (port_.IsOpen() || link_.state.readyWord != READY_NONE) return;
  link_.window->StopTick();
  awaited_ = link_.values.portName;
  const NetworkPort* network = NetworkPortOf(port_);
  const bool turnedAway = !driverSeen_ && network && !network->FailureDetail().empty() &&
                          (network->Failure() == NetworkFailure::ServerClosed ||
                           network->Failure() == NetworkFailure::ServerBusy);
  if (turnedAway && network->Failure() == NetworkFailure::ServerClosed) {
    awaited_.clear();
    emit TurnedAway();
    return;
  }
  const bool awaited = CanComeBack(awaited_);
  if (awaited) {
    retry_.start(turnedAway ? std::min(2 * retry_.interval(), REOPEN_LONGEST_PERIOD_MS) : REOPEN_PERIOD_MS);
  }
  emit PortLost(awaited);
}

void CPortReconnector::Forget() {
  retry_.stop();
  opener_.Cancel();
  awaited_.clear();
  driverSeen_ = false;
  // A server that turns the new choice away as busy is asked again first
  // after REOPEN_PERIOD_MS, then after twice as long each time.
  retry_.setInterval(REOPEN_PERIOD_MS / 2);
}

// Opening is the test: the name may be back while another program (or the
// system's modem prober) still has the device, or before its permissions are
// set; a server may be away, or serving another client.
void CPortReconnector::TryAgain() { opener_.Start(awaited_); }

void CPortReconnector::OnOpened(bool opened) {
  if (opened) {
    emit PortBack();
    return;
  }
  const bool network = KindOfPort(awaited_) == PortKind::Network;
  const int last = retry_.interval();
  retry_.start(network ? std::min(2 * last, REOPEN_LONGEST_PERIOD_MS) : REOPEN_PERIOD_MS);
}

}  // namespace velkor
