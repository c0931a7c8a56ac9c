// open_port.h: what happens when the operator picks a port: polling stops, the
// previous port closes, the chosen one opens and is set up for the driver, the
// driver is woken and the link starts over, the same for a serial device and a
// network port. Depends on the link controller and the port interface.
#pragma once

#include <string>

#include "link_controller.h"
#include "line_port.h"

namespace velkor {

// Where a port choice left the port.
enum class PortSetup {
  OpenFailed,     // the status line says so; nothing is polled
  NotConfigured,  // a message box said which step; the port stays open, unpolled
  Polling,        // the driver was woken and the tick runs
};

// The port name comes from the panel's selector (ReadPanel). On success the
// tick runs and the status line asks for the device; a port that cannot be
// opened says so in the status line; a port that refuses its setup gets a
// message box and stays open, unpolled, until the next choice. Whatever
// becomes of it, the link starts over, and what is known of the driver is
// kept only when the port is the one its driver was talking on.
PortSetup OpenPort(Link& link, LinePort& port);

// The same in two halves, for a window that opens the port without waiting
// (a network port): the choice is read and polling stops; the owner then
// closes and opens the port itself (or finds it opened again after a
// hang-up), and once the port has opened (or not), the rest follows, told
// the port chosen before, which BeginPortChoice returns.
std::string BeginPortChoice(Link& link, LinePort& port);
PortSetup FinishPortChoice(Link& link, LinePort& port, bool opened, const std::string& previous);

}  // namespace velkor
