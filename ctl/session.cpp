// session.cpp: connecting, the tick, and the waits for acknowledgements.
#include "session.h"

#include <poll.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "codes.h"
#include "command_line.h"
#include "interruption.h"
#include "any_port.h"
#include "make_port.h"
#include "network_port.h"
#include "open_port.h"
#include "terminal_text.h"
#include "tls_session.h"

namespace velkor::ctl {
namespace {

// A busy serial server is asked again after this, then twice as long, up to the longest.
constexpr milliseconds FIRST_BUSY_PAUSE{10};
constexpr milliseconds LONGEST_BUSY_PAUSE{200};
// The longest a network open waits at once: a signal that comes just before
// the wait begins is seen after this at the latest.
constexpr milliseconds LONGEST_OPEN_WAIT{100};

// Waits for what a network open waits for, or a signal: the handlers are set
// without SA_RESTART, so ppoll comes back with EINTR at Ctrl-C.
void AwaitOpenStep(const OpenWait& wait) {
  const auto until = std::min(wait.until, PortClock::now() + LONGEST_OPEN_WAIT);
  const auto left = std::max(until - PortClock::now(), PortClock::duration::zero());
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
  const timespec timeout{static_cast<time_t>(seconds.count()),
                         static_cast<long>(std::chrono::nanoseconds(left - seconds).count())};
  pollfd entry{wait.fd, wait.events, 0};
  ppoll(wait.fd >= 0 ? &entry : nullptr, wait.fd >= 0 ? 1 : 0, &timeout, nullptr);
}

}  // namespace

std::string Seconds(milliseconds duration) {
  const auto ms = duration.count();
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  char text[32];
  std::snprintf(text, sizeof text, "%.3g s", static_cast<double>(ms) / 1000);
  return text;
}

Session::Session(std::string port, std::FILE* messages, std::string speaker)
    : portName_(std::move(port)), messages_(messages), speaker_(std::move(speaker)), window_(link, messages) {}

// A message may quote a file, a port name or a system's words: whatever in
// them a terminal would act on is escaped.
void Session::Say(std::string_view text) const {
  std::fprintf(messages_, "%s: %s\n", speaker_.c_str(), EscapeControls(text).c_str());
}

std::string Session::ResetReason() const {
  // A port that went away says how; the link only saw the silence after it.
  if (port_ && !port_->IsOpen()) return PortLoss();
  switch (link.state.drop) {
    case LinkDrop::NotAcknowledged: return "the driver did not acknowledge the command";
    case LinkDrop::Silent: return "the driver fell silent";
    case LinkDrop::None: break;
  }
  return "the link started over";
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

namespace {

constexpr const char* TLS_FILES_WHERE = " in the address or in ~/.config/velkor/tls.ini";

// Why a network port could not be had or set up, in English, with the advice
// that fits: the panel's words are Russian, and kept for its tooltip.
std::string NetworkFailureText(const NetworkPort& port, milliseconds bound) {
  const std::string& detail = port.FailureDetail();
  const std::string quoted = detail.empty() ? "" : " saying \"" + detail + "\"";
  const std::string within = " within " + Seconds(bound);
  switch (port.Failure()) {
    case NetworkFailure::None: break;
    case NetworkFailure::BadAddress: return "give rfc2217://, tcp://, rfc2217s:// or tcps://HOST:PORT";
    case NetworkFailure::LookupFailed:
    case NetworkFailure::ConnectFailed:
    case NetworkFailure::ConnectionLost: return port.LastErrorText();
    case NetworkFailure::LookupTimedOut: return "the host name was not found" + within;
    case NetworkFailure::ConnectTimedOut:
      return "no answer from the server" + within + "; check the address and the network, or give a longer --timeout";
    case NetworkFailure::ServerClosed:
      // A server with the ssl layer closes without a word on a plain client's bytes.
      return "the server closed the connection" + quoted + "; see the server's log and its port settings" +
             (detail.empty() ? " (an accepter with the ssl layer is opened as rfc2217s:// or tcps://)" : "");
    case NetworkFailure::ServerBusy:
      return "the server closed the connection" + quoted + ": another client has the device, and still had it after " +
             Seconds(bound);
    case NetworkFailure::ComPortRefused:
      return "the server does not let its serial port be set up (no RFC 2217); open it as tcp:// and set the "
             "server's line to 38400 8N1";
    case NetworkFailure::BinaryRefused:
      return "the server refused binary transmission; open it as tcp:// and set the server's line to 38400 8N1";
    case NetworkFailure::NegotiationSilent:
      return "the server did not answer the RFC 2217 negotiation" + within +
             "; a raw accepter is opened as tcp://, a slow link needs a longer --timeout";
    case NetworkFailure::RequestRefused:
      return std::string("the server answered the request for ") + port.FailedRequest()->english + " with " +
             AnswerInEnglish(*port.FailedRequest(), port.RefusedValue()) +
             "; the driver needs 38400 baud, 8 data bits, no parity, 1 stop bit: check the server's port settings";
    case NetworkFailure::RequestUnanswered:
      return std::string("the server did not answer the request for ") + port.FailedRequest()->english + within +
             "; a slow link needs a longer --timeout";
    case NetworkFailure::TlsFileRefused: return TlsFileFaultInEnglish(port.FileFault());
    case NetworkFailure::TlsNotTrusted:
      return "the server's certificate is not trusted (" + detail + ") by " +
             (port.TlsCaFile().empty() ? "the system's CA store (" + SystemCaStore() + ")"
                                       : "the CA file '" + port.TlsCaFile() + "'") +
             ": name the CA that signed it with ca=FILE" + TLS_FILES_WHERE;
    case NetworkFailure::TlsCertificateRequired:
      return std::string("the server asks for a client certificate and none was given: name one with "
                         "cert=FILE&key=FILE") + TLS_FILES_WHERE;
    case NetworkFailure::TlsCertificateRefused:
      return "the server refused the client certificate: have its administrator trust it (with ser2net: in "
             "AUTHDIR/NAME/allowed_certs, NAME the certificate's common name)";
    case NetworkFailure::TlsHandshakeTimedOut:
      return "no TLS answer from the server" + within +
             "; an accepter without the ssl layer is opened as rfc2217:// or tcp://, a slow link needs a longer "
             "--timeout";
    case NetworkFailure::TlsNotSpoken:
      return "the server does not speak TLS (" + detail + "); an accepter without the ssl layer is opened as "
             "rfc2217:// or tcp://";
    case NetworkFailure::TlsFailed: return "TLS failed: " + detail;
  }
  return port.LastErrorText();
}

}  // namespace

// Why the port could not be had or went away, in English.
std::string Session::PortFailure(milliseconds bound) const {
  if (const NetworkPort* network = NetworkPortOf(*port_)) return NetworkFailureText(*network, bound);
  std::string reason = port_->LastErrorText();
  const LockOwner holder = port_->LockHolder();
  if (port_->LastError() == PortError::Busy && holder.pid != 0) {
    reason += "; it is in use by " + (holder.program.empty() ? "" : holder.program + " ") + "(pid " +
              std::to_string(holder.pid) + ")";
  } else if (port_->LastError() == PortError::PermissionDenied) {
    reason += "; serial ports usually need the group dialout (sudo usermod -aG dialout $USER, then log in again)";
  }
  return reason;
}

// How an open port went away, in the words of what happened at the far end.
std::string Session::PortLoss() const {
  if (const NetworkPort* network = NetworkPortOf(*port_)) {
    const std::string& detail = network->FailureDetail();
    switch (network->Failure()) {
      case NetworkFailure::ServerClosed:
      case NetworkFailure::ServerBusy:
        return "the server closed the connection" + (detail.empty() ? "" : " saying \"" + detail + "\"");
      default: return "the connection to the server failed (" + network->LastErrorText() + ")";
    }
  }
  // The serial port closes itself on a hang-up and names it "No such device".
  if (port_->LastError() == PortError::NotFound) {
    return "the port hung up: the adapter was unplugged or the terminal closed";
  }
  return "the port failed (" + port_->LastErrorText() + ")";
}

// A network port is opened here step by step, each wait giving way to an
// interruption; the port setup's message, if any, is held and said once,
// with its cause.
bool Session::OpenOnce(milliseconds timeout) {
  window_.holdMessages = true;
  window_.heldMessage.clear();
  PortSetup setup = PortSetup::OpenFailed;
  if (auto* network = dynamic_cast<NetworkPort*>(port_.get())) {
    const std::string previous = BeginPortChoice(link, *network);
    OpenProgress progress = network->StartOpen(link.values.portName);
    while (progress == OpenProgress::Waiting && !Interrupted()) {
      AwaitOpenStep(network->OpenWaitOf());
      progress = network->ContinueOpen();
    }
    if (progress == OpenProgress::Waiting) {
      network->Close();
      window_.holdMessages = false;
      Say("interrupted");
      return false;
    }
    setup = FinishPortChoice(link, *network, progress == OpenProgress::Opened, previous);
  } else {
    setup = OpenPort(link, *port_);
  }
  window_.holdMessages = false;
  switch (setup) {
    case PortSetup::OpenFailed:
      Say("cannot open " + portName_ + ": " + PortFailure(timeout));
      return false;
    case PortSetup::NotConfigured: {
      // A network port knows which request failed and why; a device only
      // which step it refused, and the system's words.
      const NetworkPort* network = NetworkPortOf(*port_);
      const bool known = network && network->Failure() != NetworkFailure::None;
      Say("cannot set up " + portName_ + ": " +
          (known ? PortFailure(timeout) : EnglishMessage(window_.heldMessage) + ": " + PortFailure(timeout)));
      return false;
    }
    case PortSetup::Polling: break;
  }
  if (const NetworkPort* network = NetworkPortOf(*port_); network && !network->UnansweredInEnglish().empty()) {
    Say("note: the serial server did not answer the requests for " + network->UnansweredInEnglish() +
        " (some answer none for a device without modem lines); the link works all the same");
  }
  return true;
}

bool Session::Connect(milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  if (portName_ == EMULATOR_PORT) {
    if (!StartEmulator()) return false;
  } else {
    window_.device = portName_;
  }
  port_ = MakePort(window_.device);
  // Every step of a network port's setup may take the whole time the caller gave.
  if (auto* network = dynamic_cast<NetworkPort*>(port_.get())) network->SetStepBound(timeout);
  // A serial server that has just ended a session on another of its ports
  // turns a raw connection away only after it is made: its words come as data
  // and the connection closes. It is asked again while the time allows.
  for (milliseconds pause = FIRST_BUSY_PAUSE;; pause = std::min(2 * pause, LONGEST_BUSY_PAUSE)) {
    if (!OpenOnce(timeout)) return false;
    const WaitEnd end =
        TickUntil(deadline, [&] { return link.state.readyWord == READY_CONNECTED || !port_->IsOpen(); });
    if (end == WaitEnd::Met && port_->IsOpen()) {
      if (onConnected) onConnected();
      return true;
    }
    if (end == WaitEnd::Interrupted) {
      Say("interrupted");
      return false;
    }
    if (port_->IsOpen()) {
      Say("the driver did not connect within " + Seconds(timeout) + " (" + EnglishMessage(link.values.statusText) +
          "); check the port, the cable and the driver's power");
      return false;
    }
    if (port_->LastError() != PortError::Busy || Clock::now() + pause >= deadline) {
      Say("cannot open " + portName_ + ": " + PortFailure(timeout));
      return false;
    }
    std::this_thread::sleep_for(pause);
  }
}

void Session::HandToLink(const uint8_t* bytes, size_t count, size_t bytesAfter) {
  std::memcpy(link.state.receiveBuffer, bytes, count);
  EndPollTick(link, count, bytesAfter);
}

void Session::Tick() {
  LinkState& s = link.state;
  BeginPollTick(link);
  uint8_t bytes[RECEIVE_BUFFER_SIZE];
  const size_t count = s.port->Read(bytes, sizeof bytes);
  // The read goes to the link in pieces that each end with a status report,
  // so that a watcher sees the values as they stood at every report, each
  // back-dated by the bytes after it in the read. A copy of the link's
  // decoder finds where the reports end.
  FrameDecoder mirror = s.decoder;
  size_t start = 0;
  for (size_t i = 0; i < count; ++i) {
    const auto report = mirror.FeedByte(bytes[i]);
    if (!report || report->type != RPT_STATUS) continue;
    HandToLink(bytes + start, i + 1 - start, count - 1 - i);
    start = i + 1;
    ++statusReports_;
    lastStatusSpeed_ = report->value;
    if (onStatusReport) onStatusReport();
    mirror = s.decoder;  // the status step may have reset the link, and its decoder
  }
  HandToLink(bytes + start, count - start, 0);
}

WaitEnd Session::TickUntil(Clock::time_point deadline, const std::function<bool()>& done) {
  while (!done()) {
    if (Interrupted() || (cancelled && cancelled())) return WaitEnd::Interrupted;
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
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + timeout;
  LinkState& s = link.state;
  const ParameterStates& states = link.parameters;
  s.jogActive = false;
  const uint32_t stops = states.actionsAcknowledged[ACT_STOP];
  const auto stopped = [&] { return states.actionsAcknowledged[ACT_STOP] != stops; };
  // The waits here are not cut short by another Ctrl-C: they are what the
  // first one asked for. Commands queued while the link is down are thrown
  // away at the next status report, so the stop waits for the link; a link
  // that starts over meanwhile (a server that suspended the data holds the
  // stop until it resumes) is waited for and asked again while the time lasts.
  // A port that went away carries no stop: nothing is waited for.
  while (!stopped() && Clock::now() < deadline && port_->IsOpen()) {
    while (Clock::now() < deadline && s.readyWord != READY_CONNECTED && port_->IsOpen()) Tick();
    if (s.readyWord != READY_CONNECTED || !PushCommand(link, CMD_ACTION, ACT_STOP)) break;
    const uint32_t resets = states.resets;
    while (Clock::now() < deadline && !stopped() && states.resets == resets && port_->IsOpen()) Tick();
  }
  if (stopped()) return true;
  if (!port_->IsOpen()) {
    Say("no stop could be sent, the port being closed: the motor may still be turning until the driver misses "
        "the keep-alive");
    return false;
  }
  const auto waited = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
  const NetworkPort* network = NetworkPortOf(*port_);
  if (network && network->Suspended()) {
    Say("the server held the line (flow control) for " + Seconds(waited) +
        ", so the stop may not have reached the driver: the motor may still be turning");
    return false;
  }
  Say("the driver did not acknowledge the stop within " + Seconds(waited) + ": the motor may still be turning");
  return false;
}

}  // namespace velkor::ctl
