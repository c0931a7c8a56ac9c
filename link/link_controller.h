// link_controller.h: the link's state machine. Every tick reads what the driver
// sent, decodes it, applies each report to PanelValues and LinkState, and on the
// driver's status report decides what, if anything, to transmit. Depends on the
// frame codec, the command queue and the two interfaces Port and PanelWindow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "command_queue.h"
#include "frame.h"
#include "parameter_state.h"
#include "panel_values.h"
#include "panel_window.h"
#include "port.h"
#include "report_listener.h"

namespace velkor {

inline constexpr uint16_t READY_NONE = 0x0000;
inline constexpr uint16_t READY_HANDSHAKE_DONE = 0x0FFF;  // greeting, ack, reports 2..11
inline constexpr uint16_t READY_CONNECTED = 0xFFFF;
inline constexpr uint8_t MAX_SENDS = 25;          // the 26th send gives up
inline constexpr uint8_t MAX_SILENT_TICKS = 5;    // the 6th silent tick drops the link
inline constexpr size_t RECEIVE_BUFFER_SIZE = 120;

// Why the link last started over from a connection or a command in flight.
// The handshake's own restarts, which only ask the driver again, keep it: a
// watcher that sees the link reset reads here what ended its wait.
enum class LinkDrop : uint8_t {
  None,             // nothing dropped since the port was chosen
  NotAcknowledged,  // a command went out MAX_SENDS + 1 times unacknowledged
  Silent,           // nothing came for more than MAX_SILENT_TICKS ticks
};

struct LinkState {
  uint16_t readyWord = READY_NONE;
  LinkDrop drop = LinkDrop::None;
  uint8_t silentTicks = 0;
  uint8_t seq = 0;
  uint8_t retries = 0;
  uint8_t pendingCode = 0;  // 0: nothing in flight
  uint16_t pendingValue = 0;
  uint8_t lastCheck = 0;
  bool reading = false;            // the reports of one read are being dispatched
  bool pendingSentInRead = false;  // the command in flight went out in this read
  bool jogActive = false;
  FrameDecoder decoder;
  uint8_t receiveBuffer[RECEIVE_BUFFER_SIZE] = {};
  Port* port = nullptr;  // the open port, or none
};

// Seconds since the epoch, for the moments the parameter states keep.
int64_t SystemSeconds();

// The link and the records it shares with the panel: one of each for the
// whole run. The window is the panel that shows them.
struct Link {
  LinkState state;
  PanelValues values;
  CommandQueue queue;
  ParameterStates parameters;
  PanelWindow* window = nullptr;
  // Read at every tick and push; tests hand in a clock of their own.
  int64_t (*clock)() = SystemSeconds;
  // The port whose driver the parameter states describe; empty while no
  // driver is known to be on the line since the last port choice.
  std::string driverPort;
  // Who sees every report, in order, with its time (none, one or more).
  std::vector<ReportListener*> listeners;
  // The steady clock the report times come from; tests hand in their own.
  double (*steadyClock)() = SteadySeconds;
};

// One tick: the silence watchdog, a read of up to RECEIVE_BUFFER_SIZE bytes
// into the receive buffer, then decoding, dispatching and RefreshPanel.
void PollTick(Link& link);
// The same tick in two halves, for a caller that waits for the read in an
// event loop: BeginPollTick before the read, EndPollTick with the number of
// bytes the read put into the receive buffer; `bytesAfter`: how many bytes
// of the same read come after them (a read handed over in pieces), so that
// each report is back-dated by the line time of every byte after it.
void BeginPollTick(Link& link);
void EndPollTick(Link& link, size_t count, size_t bytesAfter = 0);
void DispatchReport(Link& link, uint8_t type, int16_t value);
void SendCommand(Link& link, uint8_t code, int16_t value);
void ResetLink(Link& link);
// The driver went silent for good: the one that answers next may be another,
// or the same one restarted.
void LoseDriver(Link& link);
// Queues a command and notes the request in the parameter states: the way
// every operator action reaches the queue. False when 255 already wait.
[[nodiscard]] bool PushCommand(Link& link, uint8_t code, uint16_t value);
// The same, ahead of everything queued: how a stop overtakes what waits.
[[nodiscard]] bool PushCommandFirst(Link& link, uint8_t code, uint16_t value);

// 1..19 after the first reset, then 10..19 round and round.
uint8_t NextSeq(uint8_t seq);

}  // namespace velkor
