// port_reconnector.h: waiting for an unplugged adapter to come back. A hang-up
// closes the port at once; once the link's watchdog has given the driver up,
// the tick stops and the chosen port name is tried twice a second until it
// opens again, when the panel sets it up as if the operator had chosen it.
// A network port that the server dropped is waited for the same way, but
// knocked at first with a connection of the event loop's own, so that a
// server that is away never holds the window.
// Choosing any port ends the wait. Depends on Qt Core, the link and the port.
#pragma once

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <string>

#include "link_controller.h"
#include "line_port.h"

namespace velkor {

inline constexpr int REOPEN_PERIOD_MS = 500;

class CPortReconnector : public QObject {
  Q_OBJECT

 public:
  CPortReconnector(Link& link, LinePort& port, QObject* parent = nullptr);

  // To run after every tick: notices a port that hung up.
  void AfterTick();
  // The operator chose a port: whatever was awaited is wanted no more.
  void Forget();
  bool Waiting() const { return retry_.isActive(); }

 signals:
  // The chosen port hung up and the tick has stopped; `awaited` tells whether
  // it is being waited for (a pseudo-terminal never comes back).
  void PortLost(bool awaited);
  // The awaited port opened: set it up as a new choice of it.
  void PortBack();

 private:
  void TryAgain();

  Link& link_;
  LinePort& port_;
  QTimer retry_;
  QTcpSocket probe_;
  bool serverBack_ = false;  // a knock was answered: the next retry opens the port
  std::string awaited_;
};

}  // namespace velkor
