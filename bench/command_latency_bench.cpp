// command_latency_bench.cpp: how fast the panel answers the driver. The link,
// the termios port and the port setup run as the panel runs them, PollTick in
// a loop on the main thread, against the emulator on a pseudo-terminal, with a
// stream of queued parameter commands. The emulator's wire tap stamps each
// status report's check byte as it is written and the first byte of the
// command frame that answers it as it is read. A port wrapper stamps the
// panel's own part: from its read returning to its write being done. The same
// again with a ser2net on loopback between the port and the emulator's
// terminal, as a driver on another machine is reached.
// Depends on the link, the port setup, the network port, the emulator's pty
// runner and the network tests' ser2net runner.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "codes.h"
#include "command_decoder.h"
#include "figures.h"
#include "make_port.h"
#include "open_port.h"
#include "pty_runner.h"
#include "ser2net_server.h"

using namespace velkor;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t COMMANDS = 1000;
constexpr double FLOOR_MS = DRIVER_TIMEOUTS.readIntervalMs;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Runs on the emulator's serving thread; read only after the runner has stopped.
struct WireStamps {
  FrameDecoder reports;
  sim::CommandDecoder commands;
  std::optional<Clock::time_point> lastStatus;
  std::optional<Clock::time_point> frameStart;
  std::vector<double> latencyMs;

  void Tap(sim::WireDirection direction, const uint8_t* bytes, size_t count, Clock::time_point when) {
    for (size_t i = 0; i < count; ++i) {
      const uint8_t byte = bytes[i];
      if (direction == sim::WireDirection::kToPanel) {
        if (const auto report = reports.FeedByte(byte); report && report->type == RPT_STATUS) lastStatus = when;
        continue;
      }
      if (!(byte & 0x80) && !frameStart) frameStart = when;
      const sim::HostInput input = commands.FeedByte(byte);
      if (!(byte & 0x80)) continue;
      // Only the first frame after a status report answers it.
      if (input.kind == sim::HostInputKind::kCommand && lastStatus && frameStart) {
        latencyMs.push_back(Ms(*frameStart - *lastStatus));
        lastStatus.reset();
      }
      frameStart.reset();
    }
  }
};

class StampedPort : public Port {
 public:
  explicit StampedPort(LinePort& port) : port_(port) {}
  size_t Read(uint8_t* buffer, size_t capacity) override {
    const size_t got = port_.Read(buffer, capacity);
    readDone_ = Clock::now();
    answered_ = false;
    return got;
  }
  void Write(const uint8_t* bytes, size_t count) override {
    port_.Write(bytes, count);
    if (count > 1 && !answered_) ownMs.push_back(Ms(Clock::now() - readDone_));
    answered_ = true;
  }
  std::vector<double> ownMs;

 private:
  LinePort& port_;
  Clock::time_point readDone_;
  bool answered_ = true;
};

class SilentWindow : public PanelWindow {
 public:
  std::string port;
  Link* link = nullptr;
  void RefreshPanel() override {}
  void ReadPanel() override { link->values.portName = port; }
  void StartTick() override {}
  void StopTick() override {}
  void ShowMessage(std::string_view) override {}
  void Beep() override {}
};

// How the panel reaches the emulator's terminal.
enum class Route { PseudoTerminal, Ser2netRfc2217, Ser2netRfc2217NoCharDelay };

void Measure(const std::string& name, sim::EmulatorOptions options, Route route = Route::PseudoTerminal) {
  WireStamps stamps;
  sim::PtyRunner runner(options);
  runner.SetWireTap([&stamps](auto direction, auto bytes, auto count, auto when) {
    stamps.Tap(direction, bytes, count, when);
  });
  if (!runner.Start()) {
    bench::Row("Command latency, " + name, "no pseudo-terminal: " + runner.Error());
    return;
  }
  std::unique_ptr<test::Ser2netServer> server;
  std::string portName = runner.SlavePath();
  if (route != Route::PseudoTerminal) {
    if (!test::Ser2netInstalled()) {
      bench::Row("Command latency, " + name, "ser2net is not installed (scripts/install-deps.sh installs it)");
      return;
    }
    server = std::make_unique<test::Ser2netServer>(runner.SlavePath(), route == Route::Ser2netRfc2217);
    portName = server->Rfc2217Name();
  }
  Link link;
  SilentWindow window;
  window.link = &link;
  window.port = portName;
  link.window = &window;
  const std::unique_ptr<LinePort> port = MakePort(portName);
  if (OpenPort(link, *port) != PortSetup::Polling) {
    bench::Row("Command latency, " + name, "the port did not open: " + port->LastErrorText());
    return;
  }
  StampedPort stamped(*port);
  link.state.port = &stamped;

  uint16_t value = 0;
  const auto deadline = Clock::now() + std::chrono::minutes(2);
  while (stamped.ownMs.size() < COMMANDS + 20 && Clock::now() < deadline) {
    PollTick(link);
    // One command always waits, so every status report has something to answer with.
    if (link.state.readyWord == READY_CONNECTED && !QueueNotEmpty(link.queue) &&
        QueuePush(link.queue, CMD_SET_STEPS, value))
      value = static_cast<uint16_t>((value + 1) % 30001);
  }
  runner.Stop();

  // The first answers come during the handshake; keep the steady ones.
  std::vector<double> latency(stamps.latencyMs.begin() + std::min<size_t>(10, stamps.latencyMs.size()),
                              stamps.latencyMs.end());
  const bench::Spread wire = bench::SpreadOf(latency);
  const bench::Spread own = bench::SpreadOf(stamped.ownMs);
  bench::Row("Command latency, " + name + ", " + std::to_string(latency.size()) +
                 " commands: status check byte written → command's first byte read (median / p99 / max)",
             bench::MillisecondsOf(wire));
  bench::Row("… the panel's own part: read returned → write done (median / p99 / max)", bench::MillisecondsOf(own),
             "p99 < 0.1 ms");
  bench::Row("… floor: the read's interval timeout; median ÷ floor",
             bench::Format("%.0f ms; %.2f", FLOOR_MS, wire.median / FLOOR_MS));
}

}  // namespace

int main() {
  sim::EmulatorOptions quiet;
  quiet.readingsPerStatus = 0;  // status reports and answers only
  Measure("status reports only", quiet);
  Measure("full traffic", sim::EmulatorOptions{});
  Measure("status reports only, through ser2net (rfc2217) on loopback", quiet, Route::Ser2netRfc2217);
  Measure("full traffic, through ser2net (rfc2217) on loopback", sim::EmulatorOptions{}, Route::Ser2netRfc2217);
  Measure("full traffic, through ser2net (rfc2217, chardelay: false) on loopback", sim::EmulatorOptions{},
          Route::Ser2netRfc2217NoCharDelay);
  return 0;
}
