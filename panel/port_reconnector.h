// port_reconnector.h: waiting for an unplugged adapter or a dropped network
// port to come back. A hang-up closes the port at once; once the link's
// watchdog has given the driver up, the tick stops and the chosen port is
// opened again and again until it opens, when the panel sets it up as if the
// operator had chosen it. A device is tried twice a second; a network port
// is opened without waiting in the window, and after each failed open the
// next try waits twice as long, up to REOPEN_LONGEST_PERIOD_MS. A try is an
// ordinary connection: a serial server that serves one client at a time
// turns it away while another client has the device, and it takes the
// device from nobody. Choosing any port ends the wait. A raw network port
// has no negotiation, so a server turns it away only after it opened: a
// hang-up with the server's words before the driver ever connected on this
// choice is the open failing, not a dropped link, and is not waited for,
// unless the words say another client has the device, when the wait backs
// off as after a failed open. Depends on Qt Core, the link and the port opener.
#pragma once

#include <QObject>
#include <QTimer>

#include <string>

#include "any_port.h"
#include "link_controller.h"
#include "port_opener.h"

namespace velkor {

inline constexpr int REOPEN_PERIOD_MS = 500;
inline constexpr int REOPEN_LONGEST_PERIOD_MS = 8000;

class CPortReconnector : public QObject {
  Q_OBJECT

 public:
  CPortReconnector(Link& link, AnyPort& port, QObject* parent = nullptr);

  // To run after every tick: notices a port that hung up.
  void AfterTick();
  // The operator chose a port: whatever was awaited is wanted no more.
  void Forget();
  bool Waiting() const { return retry_.isActive() || opener_.Opening(); }

 signals:
  // The chosen port hung up and the tick has stopped; `awaited` tells whether
  // it is being waited for (a pseudo-terminal never comes back).
  void PortLost(bool awaited);
  // The server turned the chosen port away as it opened, with its words: the
  // tick has stopped and nothing is awaited.
  void TurnedAway();
  // The awaited port is open again: set it up as a new choice of it.
  void PortBack();

 private:
  void TryAgain();
  void OnOpened(bool opened);

  Link& link_;
  AnyPort& port_;
  QTimer retry_;
  CPortOpener opener_;
  std::string awaited_;
  bool driverSeen_ = false;  // the driver has connected since the port was chosen
};

}  // namespace velkor
