// session.cpp: connecting, the tick, and the waits for acknowledgements.
#include "session.h"

#include <algorithm>
#include <cstring>

#include "codes.h"
#include "command_line.h"
#include "interruption.h"
#include "make_port.h"
#include "open_port.h"
#include "status_texts.h"
#include "terminal_text.h"

namespace velkor::ctl {

std::string Seconds(milliseconds duration) {
  const auto ms = duration.count();
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  char text[32];
  std::snprintf(text, sizeof text, "%.3g s", static_cast<double>(ms) / 1000);
  return text;
}

Session::Session(std::string port, std::FILE* messages)
    : portName_(std::move(port)), messages_(messages), window_(link, messages) {}

// A message may quote a file, a port name or a system's words: whatever in
// them a terminal would act on is escaped.
void Session::Say(std::string_view text) const {
  std::fprintf(messages_, "velkorctl: %s\n", EscapeControls(text).c_str());
}

std::string Session::ResetReason() const {
  if (resetStatus_ == STATUS_SEND_FAILED) return "the driver did not acknowledge the command";
  return "the link dropped (" + EnglishMessage(resetStatus_) + ")";
}

// The status line says why the link started over only until the next send
// overwrites it: it is kept the moment a reset shows.
void Session::NoteReset() {
  if (link.parameters.resets == resetsSeen_) return;
  resetsSeen_ = link.parameters.resets;
  resetStatus_ = link.values.statusText;
}

bool Session::StartEmulator() {
  emulator_ = std::make_unique<sim::PtyRunner>();
  if (!emulator_->Start()) {
    Say("cannot start the emulator: no pseudo-terminal (" + emulator_->Error() + ")");
    return false;
  }
  window_.device = emulator_->SlavePath();
  return true;
}

// Why the port could not be had, in English. A network port words its own
// failures for the panel's tooltip, in Russian; the system's words (errno,
// the resolver) are English and are kept.
std::string Session::OpenFailure() const {
  const std::string& words = port_->LastErrorText();
  const bool english = std::all_of(words.begin(), words.end(), [](char c) { return (c & 0x80) == 0; });
  std::string reason = english ? words
                       : port_->LastError() == PortError::NotFound
                           ? "the server cannot be reached, or closed the connection"
                           : "the server refused the serial port setup (RFC 2217); try tcp:// instead";
  const LockOwner holder = port_->LockHolder();
  if (port_->LastError() == PortError::Busy && holder.pid != 0) {
    reason += "; it is in use by " + (holder.program.empty() ? "" : holder.program + " ") + "(pid " +
              std::to_string(holder.pid) + ")";
  } else if (port_->LastError() == PortError::PermissionDenied) {
    reason += "; serial ports usually need the group dialout (sudo usermod -aG dialout $USER, then log in again)";
  }
  return reason;
}

bool Session::Connect(milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  if (portName_ == EMULATOR_PORT) {
    if (!StartEmulator()) return false;
  } else {
    window_.device = portName_;
  }
  port_ = MakePort(window_.device);
  switch (OpenPort(link, *port_)) {
    case PortSetup::OpenFailed:
      Say("cannot open " + portName_ + ": " + OpenFailure());
      return false;
    case PortSetup::NotConfigured:
      Say("cannot set up " + portName_ + ": " + OpenFailure());
      return false;
    case PortSetup::Polling: break;
  }
  if (!port_->SetupNotes().empty()) {
    Say("note: the serial server left some setup requests unanswered (as it does for DTR and RTS of a "
        "device without modem lines); the link works all the same");
  }
  const WaitEnd end = TickUntil(deadline, [&] { return link.state.readyWord == READY_CONNECTED; });
  if (end == WaitEnd::Met) return true;
  if (end == WaitEnd::Interrupted) {
    Say("interrupted");
  } else {
    Say("the driver did not connect within " + Seconds(timeout) + " (" + EnglishMessage(link.values.statusText) +
        "); check the port, the cable and the driver's power");
  }
  return false;
}

void Session::HandToLink(const uint8_t* bytes, size_t count) {
  std::memcpy(link.state.receiveBuffer, bytes, count);
  EndPollTick(link, count);
  NoteReset();
}

void Session::Tick() {
  LinkState& s = link.state;
  BeginPollTick(link);
  NoteReset();
  uint8_t bytes[RECEIVE_BUFFER_SIZE];
  const size_t count = s.port->Read(bytes, sizeof bytes);
  // The read goes to the link in pieces that each end with a status report,
  // so that a watcher sees the values as they stood at every report. A copy
  // of the link's decoder finds where the reports end.
  FrameDecoder mirror = s.decoder;
  size_t start = 0;
  for (size_t i = 0; i < count; ++i) {
    const auto report = mirror.FeedByte(bytes[i]);
    if (!report || report->type != RPT_STATUS) continue;
    HandToLink(bytes + start, i + 1 - start);
    start = i + 1;
    ++statusReports_;
    lastStatusSpeed_ = report->value;
    if (onStatusReport) onStatusReport();
    mirror = s.decoder;  // the status step may have reset the link, and its decoder
  }
  HandToLink(bytes + start, count - start);
}

WaitEnd Session::TickUntil(Clock::time_point deadline, const std::function<bool()>& done) {
  while (!done()) {
    if (Interrupted()) return WaitEnd::Interrupted;
    if (Clock::now() >= deadline) return WaitEnd::TimedOut;
    Tick();
  }
  return WaitEnd::Met;
}

bool Session::Act(uint16_t action, milliseconds timeout) {
  ParameterStates& states = link.parameters;
  const uint32_t acknowledged = states.actionsAcknowledged[action];
  const uint32_t resets = states.resets;
  if (!PushCommand(link, CMD_ACTION, action)) {
    Say("the command queue is full");
    return false;
  }
  const WaitEnd end = TickUntil(Clock::now() + timeout, [&] {
    return states.actionsAcknowledged[action] != acknowledged || states.resets != resets;
  });
  if (states.actionsAcknowledged[action] != acknowledged) return true;
  if (end == WaitEnd::Interrupted) Say("interrupted");
  else if (end == WaitEnd::TimedOut) Say("the driver did not acknowledge within " + Seconds(timeout));
  else Say(ResetReason());
  return false;
}

bool Session::StopMotor(milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  LinkState& s = link.state;
  const ParameterStates& states = link.parameters;
  s.jogActive = false;
  const uint32_t stops = states.actionsAcknowledged[ACT_STOP];
  // The waits here are not cut short by another Ctrl-C: they are what the
  // first one asked for. Commands queued while the link is down are thrown
  // away at the next status report, so the stop waits for the link.
  while (Clock::now() < deadline && s.readyWord != READY_CONNECTED) Tick();
  if (s.readyWord == READY_CONNECTED && PushCommand(link, CMD_ACTION, ACT_STOP)) {
    const uint32_t resets = states.resets;
    while (Clock::now() < deadline && states.actionsAcknowledged[ACT_STOP] == stops && states.resets == resets) Tick();
  }
  if (states.actionsAcknowledged[ACT_STOP] != stops) return true;
  Say("the driver did not acknowledge the stop within " + Seconds(timeout) + ": the motor may still be turning");
  return false;
}

}  // namespace velkor::ctl
