// exit_stop.h: ending the panel while a jog is in force. A jog lives on
// keep-alive bytes; ending the program without a word would leave the shaft
// turning until the driver notices the silence. Depends on the link and Qt Core.
#pragma once

#include "link_controller.h"

namespace velkor {

inline constexpr int EXIT_STOP_WAIT_MS = 500;

// No keep-alive leaves from now on, and the stop action takes the place of
// whatever still waited in the queue: nothing new starts as the program ends.
// While the link is being polled, waits (serving every event, the tick among
// them) until the driver has acknowledged the stop, the link has given it up,
// or half a second has passed. Does nothing when no jog is in force.
void EndJogForExit(Link& link, bool polling);

}  // namespace velkor
