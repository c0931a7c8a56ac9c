// chart_command_latency_bench.cpp: whether the chart window slows the panel's
// answers to the driver. In the real panel, connected to a driver that sends
// every live reading each 10 ms, a button is clicked again and again, each
// click timed from just before it to the driver's acknowledgement leaving the
// driver (the emulator's wire tap stamps it). First with the chart window
// closed, then open with 10 s and with 60 s shown.
// Depends on Qt Widgets, the link's frame codec, the emulator's pty runner and
// the panel harness.
#include <QEventLoop>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "codes.h"
#include "figures.h"
#include "frame.h"
#include "panel_harness.h"

using namespace velkor;
using namespace velkor::bench;

namespace {

constexpr int CLICKS = 300;
constexpr double GOAL_MS = 1;
constexpr int64_t ACK_TIMEOUT_NS = 2'000'000'000;

// Runs on the driver's serving thread: stamps every acknowledgement it sends.
struct AckStamps {
  FrameDecoder reports;
  std::atomic<int64_t> lastAckNs{0};

  void Tap(sim::WireDirection direction, const uint8_t* bytes, size_t count,
           std::chrono::steady_clock::time_point when) {
    if (direction != sim::WireDirection::kToPanel) return;
    for (size_t i = 0; i < count; ++i)
      if (const auto report = reports.FeedByte(bytes[i]); report && report->type == RPT_ACK)
        lastAckNs = std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
  }
};

// Clicks the zero-position button, whose command the panel queues at once,
// from another thread as the window system would, and waits for each
// acknowledgement before the next click; the panel's thread meanwhile runs
// only its own event loop.
std::vector<double> ClickToAck(CDrivePanelDlg& panel, AckStamps& stamps) {
  const PostedClick click(Button(panel, ID_ZERO_POSITION));
  std::vector<double> latencyMs;
  QEventLoop loop;
  std::thread clicker([&] {
    std::mt19937 random(5);
    // Clicks fall anywhere in the driver's 10 ms period.
    std::uniform_int_distribution<int> pause(5, 25);
    for (int i = 0; i < CLICKS; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
      const int64_t clickNs = NowNs();
      click.Post();
      for (const int64_t end = clickNs + ACK_TIMEOUT_NS; stamps.lastAckNs <= clickNs && NowNs() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (stamps.lastAckNs > clickNs) latencyMs.push_back(static_cast<double>(stamps.lastAckNs - clickNs) / 1e6);
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  clicker.join();
  return latencyMs;
}

void RunScript(CDrivePanelDlg& panel) {
  AckStamps stamps;
  PtyDriver driver(FullTraffic());
  driver.Runner().SetWireTap([&stamps](auto direction, auto bytes, auto count, auto when) {
    stamps.Tap(direction, bytes, count, when);
  });
  if (!driver.Connect(panel, "Command latency with the chart window")) return;
  Wait(1000);

  const auto report = [](const std::string& state, const std::vector<double>& latencyMs, const std::string& target) {
    Row("Command latency in the panel, " + state + ", " + std::to_string(latencyMs.size()) + " of " +
            std::to_string(CLICKS) + " clicks → acknowledgement sent (median / p99 / max)",
        MillisecondsOf(SpreadOf(latencyMs)), target);
  };
  const std::vector<double> closed = ClickToAck(panel, stamps);
  report("chart window closed", closed, "");
  const double closedP99 = SpreadOf(closed).p99;
  for (int seconds : {10, 60}) {
    if (!OpenCharts(panel, seconds)) return;
    Wait(1000);
    report("chart window open, " + std::to_string(seconds) + " s shown", ClickToAck(panel, stamps),
           Format("p99 within %.0f ms of the closed window's: ≤ %.3f ms", GOAL_MS, closedP99 + GOAL_MS));
    CloseOtherWindows(panel);
  }
}

}  // namespace

int main(int argc, char** argv) { return RunPanel(argc, argv, RunScript); }
