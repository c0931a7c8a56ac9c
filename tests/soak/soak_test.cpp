// soak_test.cpp: the link, the termios port and the port setup against the
// emulator on a pseudo-terminal for VELKOR_SOAK_SECONDS (30 unless set), with
// faults injected: a bit flipped in 1% of the bytes both ways, lost and wrong
// acknowledgements, commands the driver ignores long enough to exhaust the
// retries, silent periods, and the adapter unplugged and opened again. A
// scripted operator keeps numbered step-count commands queued and jogs.
// Asserted: the driver takes only frames the panel wrote, the commands in the
// order queued, none carried out twice (unless a frame that the check byte let
// through corrupted came between, which is counted); the panel writes none
// again once settled; each ends acknowledged or discarded by a reset that set
// "Ошибка передачи команды" or "Обрыв связи"; resident memory stays flat.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "codes.h"
#include "command_ledger.h"
#include "open_port.h"
#include "pty_runner.h"
#include "serial_port.h"
#include "status_texts.h"

#if defined(__SANITIZE_ADDRESS__)
// Freed blocks wait in the sanitizer's quarantine, which would read as growth.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=1"; }
#endif

using namespace velkor;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

namespace {

// One fault of each kind every cycle, at these seconds into it.
constexpr int CYCLE_S = 15;
constexpr int IGNORE_AT_S = 4;   // the driver ignores every command for a while
constexpr int SILENT_AT_S = 8;   // the driver says nothing for 1.5 s
constexpr int UNPLUG_AT_S = 12;  // the adapter goes, and comes back
constexpr milliseconds IGNORE_FOR{600};  // longer than 26 status periods
constexpr uint32_t SILENT_FOR_MS = 1500;  // longer than six empty reads
constexpr int MAX_OUTSTANDING = 4;
constexpr milliseconds JOG_PERIOD{2000};
constexpr long MAX_GROWTH_KB = 1024;
constexpr int SETTLE_S = 20;  // queued commands are given this long to settle at the end
// A soak still running this long after its length and its settling is hung:
// SIGALRM ends it then, not whenever the test runner would.
constexpr int HANG_SLACK_S = 60;

int SoakSeconds() {
  const char* text = std::getenv("VELKOR_SOAK_SECONDS");
  const int value = text ? std::atoi(text) : 0;
  return value > 0 ? value : 30;
}

long ResidentKb() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

sim::EmulatorOptions FaultyLine() {
  sim::EmulatorOptions options;
  options.seed = 6;
  options.corruptByteProbability = 0.01;
  options.wrongAckProbability = 0.03;
  options.ignoreCommandProbability = 0.01;
  return options;
}

// The panel's side, reduced to what the link sees; every call is an observation.
class SoakWindow : public PanelWindow {
 public:
  SoakWindow(Link& link, test::CommandLedger& ledger) : link_(link), ledger_(ledger) { link.window = this; }
  std::string port;
  bool ticking = false;
  void RefreshPanel() override { ledger_.Observe(link_.state, link_.values.statusText); }
  void ReadPanel() override { link_.values.portName = port; }
  void StartTick() override { ticking = true; }
  void StopTick() override { ticking = false; }
  void ShowMessage(std::string_view text) override { ADD_FAILURE() << "message box: " << text; }
  void Beep() override {}

 private:
  Link& link_;
  test::CommandLedger& ledger_;
};

class WatchedPort : public Port {
 public:
  WatchedPort(SerialPort& port, Link& link, test::CommandLedger& ledger) : port_(port), link_(link), ledger_(ledger) {}
  size_t Read(uint8_t* buffer, size_t capacity) override {
    ledger_.Observe(link_.state, link_.values.statusText);
    return port_.Read(buffer, capacity);
  }
  void Write(const uint8_t* bytes, size_t count) override {
    ledger_.Observe(link_.state, link_.values.statusText);
    ledger_.Written(bytes, count);
    port_.Write(bytes, count);
  }

 private:
  SerialPort& port_;
  Link& link_;
  test::CommandLedger& ledger_;
};

}  // namespace

TEST(Soak, everyQueuedCommandIsAcknowledgedOrVisiblyDiscardedAndNoneRunsTwice) {
  const auto length = seconds(SoakSeconds());
  alarm(static_cast<unsigned>(SoakSeconds() + SETTLE_S + HANG_SLACK_S));
  test::CommandLedger ledger(CMD_SET_STEPS, {{CMD_ACTION, ACT_REREAD}, {CMD_ACTION, ACT_ROTATE_RIGHT}, {CMD_ACTION, ACT_STOP}});
  Link link;
  SoakWindow window(link, ledger);
  SerialPort serial;
  WatchedPort watched(serial, link, ledger);
  sim::PtyRunner runner(FaultyLine());

  const auto plugIn = [&] {
    ASSERT_TRUE(runner.Start()) << runner.Error();
    window.port = runner.SlavePath();
    OpenPort(link, serial);
    ASSERT_TRUE(window.ticking) << link.values.statusText;
    link.state.port = &watched;
    ledger.Observe(link.state, link.values.statusText);
  };
  const auto tick = [&] {
    PollTick(link);
    ledger.TickEnded(link.values.statusText);
  };
  const auto takeLog = [&] { ledger.Received(runner.WithEmulator([](sim::Emulator& e) { return e.TakeCommandLog(); })); };

  plugIn();
  const auto start = Clock::now();
  auto lastJog = start;
  int second = -1;
  auto ignoringUntil = start;
  int number = 0;
  long warmKb = 0, endKb = 0;
  int unplugs = 0, silences = 0;

  while (Clock::now() - start < length) {
    tick();
    takeLog();
    const auto now = Clock::now();
    const int elapsed = static_cast<int>(std::chrono::duration_cast<seconds>(now - start).count());
    if (elapsed != second) {
      second = elapsed;
      if (second == CYCLE_S) warmKb = ResidentKb();
      switch (second % CYCLE_S) {
        case IGNORE_AT_S:
          runner.WithEmulator([](sim::Emulator& e) { e.Options().ignoreCommandProbability = 1; });
          ignoringUntil = now + IGNORE_FOR;
          break;
        case SILENT_AT_S:
          runner.WithEmulator([](sim::Emulator& e) { e.StaySilent(SILENT_FOR_MS); });
          ++silences;
          break;
        case UNPLUG_AT_S:
          runner.Stop();
          ++unplugs;
          // The operator sees the link lost, plugs the adapter back and chooses it again.
          while (link.values.statusText != STATUS_LINK_LOST) tick();
          plugIn();
          break;
      }
    }
    if (ignoringUntil < now)
      runner.WithEmulator([](sim::Emulator& e) { e.Options().ignoreCommandProbability = FaultyLine().ignoreCommandProbability; });

    // The operator acts only while the status line says the driver is there.
    if (link.state.readyWord != READY_CONNECTED) continue;
    while (ledger.OutstandingCount() < MAX_OUTSTANDING && QueuePush(link.queue, CMD_SET_STEPS, test::WireValue(number + 1)))
      ledger.Queued(++number);
    if (now - lastJog > JOG_PERIOD) {
      const bool starting = !link.state.jogActive;
      if (QueuePush(link.queue, CMD_ACTION, starting ? ACT_ROTATE_RIGHT : ACT_STOP)) link.state.jogActive = starting;
      lastJog = now;
    }
  }
  endKb = ResidentKb();

  // Queue nothing more; let what is queued settle.
  for (const auto until = Clock::now() + seconds(SETTLE_S); ledger.Outstanding() && Clock::now() < until;) {
    runner.WithEmulator([](sim::Emulator& e) { e.Options().ignoreCommandProbability = 0; });
    tick();
  }
  runner.Stop();
  takeLog();
  ledger.CheckSettled();

  const uint64_t corrupted = runner.WithEmulator([](sim::Emulator& e) { return e.CorruptedBytes(); });
  std::printf("soak %llds: queued %d, acknowledged %d, discarded %d, resets %d (%d by \"%s\", %d of them "
              "replaced within their tick), unplugs %d, silences %d, bytes corrupted %llu, corrupted frames the "
              "driver took for commands %d (commands run again after them %d, acknowledged but not run %d), resident %ld kB after warm-up, "
              "%ld kB at end\n",
              static_cast<long long>(length.count()), ledger.queued(), ledger.acknowledged(), ledger.discarded(),
              ledger.resets(), ledger.resetsBySendFailure(), std::string(STATUS_SEND_FAILED).c_str(),
              ledger.resetTextsNeverShown(), unplugs, silences, static_cast<unsigned long long>(corrupted),
              ledger.undetectedCorruptions(), ledger.rerunAfterCorruption(), ledger.unrunAfterCorruption(), warmKb, endKb);
  for (const std::string& fault : ledger.faults()) ADD_FAILURE() << fault;
  EXPECT_GT(ledger.acknowledged(), 0);
  EXPECT_GT(ledger.discarded(), 0) << "the faults never cost a command: they were too mild to test anything";
  EXPECT_GT(ledger.resetsBySendFailure(), 0);
  EXPECT_GT(corrupted, 0u);
  if (warmKb > 0) {
    EXPECT_LT(endKb - warmKb, MAX_GROWTH_KB) << "resident memory grew after warm-up";
  }
}
