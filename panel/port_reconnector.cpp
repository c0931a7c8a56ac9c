// port_reconnector.cpp: the wait for a port's return, on a slow timer so that
// an idle panel stays idle.
#include "port_reconnector.h"

#include <string_view>
#include <utility>

#include "network_address.h"

namespace velkor {
namespace {

// A pseudo-terminal's number goes to whichever terminal is opened next: the
// name never brings the same device back.
bool CanComeBack(std::string_view portName) { return !portName.starts_with("/dev/pts/"); }

}  // namespace

CPortReconnector::CPortReconnector(Link& link, LinePort& port, QObject* parent)
    : QObject(parent), link_(link), port_(port) {
  retry_.setInterval(REOPEN_PERIOD_MS);
  retry_.setTimerType(Qt::CoarseTimer);
  connect(&retry_, &QTimer::timeout, this, &CPortReconnector::TryAgain);
  // The server is back; the knock is let go at once.
  connect(&probe_, &QTcpSocket::connected, this, [this] {
    probe_.abort();
    serverBack_ = true;
  });
}

void CPortReconnector::AfterTick() {
  // Only a hang-up closes the port while the tick runs. The link's watchdog
  // shows the loss of a connected driver first; an idle closed port would
  // only make the tick wait in vain.
  if (port_.IsOpen() || link_.state.readyWord != READY_NONE) return;
  link_.window->StopTick();
  awaited_ = link_.values.portName;
  const bool awaited = CanComeBack(awaited_);
  if (awaited) retry_.start();
  emit PortLost(awaited);
}

void CPortReconnector::Forget() {
  retry_.stop();
  probe_.abort();
  serverBack_ = false;
  awaited_.clear();
}

void CPortReconnector::TryAgain() {
  if (const auto address = ParseNetworkAddress(awaited_)) {
    // A server that is away would hold a blocking open for its whole bound,
    // twice a second: it is knocked at instead. A serial server gives its
    // device to one connection at a time, so the port choice opens the port
    // itself, once, a retry after the knock was answered and let go.
    if (std::exchange(serverBack_, false)) {
      retry_.stop();
      emit PortBack();
    } else if (probe_.state() == QAbstractSocket::UnconnectedState) {
      probe_.connectToHost(QString::fromStdString(address->host), address->port);
    }
    return;
  }
  // Opening is the test: the name may be back while another program (or the
  // system's modem prober) still has the device, or before its permissions
  // are set.
  if (!port_.Open(awaited_)) return;
  retry_.stop();
  emit PortBack();
}

}  // namespace velkor
