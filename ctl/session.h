// session.h: one run of the link from a shell: the port (a device, a network
// port, or the built-in emulator on a pseudo-terminal), the link and its
// headless window,
// the tick that reads with the port's own timeouts, and the waits every
// command is made of, each bounded and each giving way to an interruption.
// Depends on the link core, the network ports' MakePort, the emulator's pty
// runner and the headless window.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "headless_window.h"
#include "link_controller.h"
#include "pty_runner.h"
#include "line_port.h"
#include "profile_apply.h"

namespace velkor::ctl {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long the stop action is given after an interruption: the operator
// wants the program to end, and the motor to stand still first.
inline constexpr milliseconds STOP_AFTER_INTERRUPTION{500};

enum class WaitEnd { Met, TimedOut, Interrupted };

class Session {
 public:
  // `port` as the operator named it; messages go to `messages`, each
  // opening with `speaker` ("velkorctl: ...").
  Session(std::string port, std::FILE* messages, std::string speaker = "velkorctl");
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Opens the port and waits until the driver has greeted and reported all
  // its parameters. False after saying why.
  bool Connect(milliseconds timeout);

  // One poll tick of the link. `onStatusReport` runs after each status
  // report, with the link's values as they stood at that report.
  void Tick();
  WaitEnd TickUntil(Clock::time_point deadline, const std::function<bool()>& done);

  // Queues an action and waits for its acknowledgement. False after saying
  // why: not acknowledged, the link dropped, the time ran out, interrupted.
  bool Act(uint16_t action, milliseconds timeout);
  // Ends any jog and has the driver stop, within `timeout`. False after
  // saying that the motor may still be moving.
  bool StopMotor(milliseconds timeout);

  // The raw shaft speed of the latest status report, and how many came.
  int16_t LastStatusSpeed() const { return lastStatusSpeed_; }
  uint64_t StatusReports() const { return statusReports_; }

  // Writes "velkorctl: TEXT" on the message stream.
  void Say(std::string_view text) const;
  // A long-running owner (velkord) gathers each command's messages apart.
  void SetMessages(std::FILE* messages) { messages_ = messages; }
  // Whether the port is open: a port that hung up or was turned away is not.
  bool PortOpen() const { return port_ && port_->IsOpen(); }
  // Why the link last started over, for a message: the port hung up, the
  // server closed the connection, the driver fell silent or left a command
  // unacknowledged.
  std::string ResetReason() const;

  const std::string& PortName() const { return portName_; }
  // What velkorctl records (ctl_journal.h): the connection made, a finished
  // apply, a save asked alone and whether it was acknowledged. None by default.
  std::function<void()> onConnected;
  std::function<void(const ProfileApply&)> onApplied;
  std::function<void(bool acknowledged)> onSaved;

  Link link;
  std::function<void()> onStatusReport;
  // Besides Ctrl-C, what else ends a wait as an interruption does (velkord:
  // the client that started a motion went away); none by default.
  std::function<bool()> cancelled;

 private:
  void HandToLink(const uint8_t* bytes, size_t count, size_t bytesAfter);
  // Why the port could not be had or went away, in English; `bound` is the
  // step bound a network port was given.
  std::string PortFailure(milliseconds bound) const;
  std::string PortLoss() const;
  // Opens and sets up the port once. False after saying why.
  bool OpenOnce(milliseconds timeout);
  bool StartEmulator();

  std::string portName_;
  std::FILE* messages_;
  std::string speaker_;
  HeadlessWindow window_;
  // Declared before the port so that the port closes first, as an adapter's
  // would, and the emulator's terminal never hangs up under it.
  std::unique_ptr<sim::PtyRunner> emulator_;
  std::unique_ptr<LinePort> port_;
  int16_t lastStatusSpeed_ = 0;
  uint64_t statusReports_ = 0;
};

// "5 s", "0.5 s": a duration as a message gives it.
std::string Seconds(milliseconds duration);

}  // namespace velkor::ctl
