// panel_process_bench.cpp: the real panel, measured from inside its own
// process, on the display it is given (X11 under scripts/bench.sh). It drives
// the panel the way an operator would, through its port list, buttons, prompt
// and chart item, against a driver on a pseudo-terminal that sends every live
// reading each 10 ms:
//  - processor use in each state (the chart and profiles windows open among
//    them), 10 s each, of the whole process less the
//    thread that serves the driver (that thread stands in for the hardware;
//    the figure with it is printed too), and the built-in emulator's own
//    thread at its defaults;
//  - input latency: clicks posted from another thread, as the window system
//    posts them, to the moment the button's handler has run;
//  - start-up: a fresh process launched until its panel is exposed;
//  - peak resident memory after 10 s connected.
// Depends on Qt Widgets, the panel, the application shell, the emulator and
// the shared panel harness.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app_icon.h"
#include "drive_app.h"
#include "drive_panel_dlg.h"
#include "figures.h"
#include "panel_harness.h"
#include "port_selector.h"
#include "profile_window.h"
#include "status_texts.h"

extern char** environ;

using namespace velkor;
using namespace velkor::bench;

namespace {

constexpr int PHASE_MS = 10000;
constexpr int STARTUP_RUNS = 5;
const std::string PANEL_TARGET = "≤ 1% of one core";
const std::string CHART_TARGET = "≤ 3% of one core";

long PeakResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// The calling thread's processor time so far, in ns.
int64_t ThreadCpuNow() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

// Processor time between Start and Stop, as a share of one core: the whole
// process, less the threads that are not the program's own.
class CpuMeter {
 public:
  explicit CpuMeter(CDrivePanelDlg& panel) {
    QObject::connect(&panel, &CDrivePanelDlg::Ticked, [this] { ++ticks_; });
  }
  void Start(std::set<int> foreign) {
    ticks_ = 0;
    foreign_ = std::move(foreign);
    startNs_ = NowNs();
    process_ = ProcessCpuNs();
    foreignNs_ = ForeignNs();
  }
  // Prints the program's share and returns the foreign threads' share.
  double Stop(const std::string& state, const std::string& target) {
    const double wall = static_cast<double>(NowNs() - startNs_);
    const double process = static_cast<double>(ProcessCpuNs() - process_);
    const double foreign = static_cast<double>(ForeignNs() - foreignNs_);
    std::string figure = foreign_.empty() ? Format("%.2f%%", 100 * process / wall)
                                          : Format("%.2f%% (%.2f%% with the driver's thread)",
                                                   100 * (process - foreign) / wall, 100 * process / wall);
    figure += Format(", %.0f ticks/s", ticks_ / (wall / 1e9));
    Row("Processor use, " + state, figure, target);
    return 100 * foreign / wall;
  }

 private:
  int64_t ForeignNs() const {
    int64_t ns = 0;
    for (int tid : foreign_) ns += ThreadCpuNs(tid);
    return ns;
  }
  std::set<int> foreign_;
  int ticks_ = 0;
  int64_t startNs_ = 0, process_ = 0, foreignNs_ = 0;
};

// Clicks posted from another thread one at a time, at random moments, each
// timed from its posting to the end of the button's handler.
void InputLatency(CDrivePanelDlg& panel, const std::string& state, int clicks) {
  QAbstractButton* button = Button(panel, ID_ZERO_POSITION);
  const PostedClick click(button);
  std::atomic<int64_t> postedNs{0};
  std::atomic<bool> handled{true}, stop{false};
  std::vector<double> latencyMs;
  // Connected after the panel's own handler, so it runs once that has.
  const auto connection = QObject::connect(button, &QAbstractButton::clicked, [&] {
    latencyMs.push_back(static_cast<double>(NowNs() - postedNs) / 1e6);
    handled = true;
  });
  std::thread poster([&] {
    std::mt19937 random(6);
    std::uniform_int_distribution<int> pause(20, 80);
    for (int i = 0; i < clicks && !stop; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
      handled = false;
      postedNs = NowNs();
      click.Post();
      while (!handled && !stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  WaitFor([&] { return latencyMs.size() >= static_cast<size_t>(clicks); }, clicks * 400);
  stop = true;
  poster.join();
  QObject::disconnect(connection);
  const Spread s = SpreadOf(latencyMs);
  Row("Input latency, " + state + ", " + std::to_string(latencyMs.size()) + " clicks (median / max)",
      Format("%.2f / %.2f ms", s.median, s.max), "max ≤ 16 ms, one frame at 60 Hz");
}

// Ten seconds of the state the panel is in, measured as it runs.
void Measure(CpuMeter& meter, const std::set<int>& driver, const std::string& state, const std::string& target) {
  Wait(500);
  meter.Start(driver);
  Wait(PHASE_MS);
  meter.Stop(state, target);
}

void RunScript(CDrivePanelDlg& panel) {
  CpuMeter meter(panel);

  // A port with nothing behind it: a terminal whose other side stays silent.
  int master = -1, slave = -1;
  char path[128] = {};
  if (openpty(&master, &slave, path, nullptr, nullptr) != 0) {
    Row("Processor use", "no pseudo-terminal");
    return;
  }
  close(slave);
  ChoosePort(panel, path, path);
  Measure(meter, {}, "port open, driver silent (" + Status(panel).toStdString() + ")", PANEL_TARGET);
  InputLatency(panel, "port open, driver silent", 60);

  PtyDriver driver(FullTraffic());
  const bool connected = driver.Connect(panel, "Processor use, connected");
  close(master);
  if (!connected) return;
  const std::set<int>& foreign = driver.Threads();
  const std::string busy = "every live reading each 10 ms";
  Measure(meter, foreign, "connected, idle, " + busy, PANEL_TARGET);
  Row("Peak resident memory, connected for 10 s (driver's thread included)",
      Format("%.1f MB", PeakResidentKb() / 1024.0));

  Button(panel, ID_ROTATE_RIGHT)->click();
  Measure(meter, foreign, "jogging (rotation, keep-alive), " + busy, PANEL_TARGET);
  Button(panel, ID_STOP)->click();
  Wait(500);

  // The prompt waits in a loop of its own: measure from timers that fire in it.
  QTimer::singleShot(500, &panel, [&] {
    meter.Start(foreign);
    QTimer::singleShot(PHASE_MS, &panel, [&] {
      meter.Stop("numeric prompt open, " + busy, PANEL_TARGET);
      CloseOtherWindows(panel);
    });
  });
  Button(panel, ID_KP)->click();
  Wait(500);

  for (int seconds : {10, 60}) {
    if (!OpenCharts(panel, seconds)) break;
    Measure(meter, foreign, "chart window open, " + std::to_string(seconds) + " s shown, " + busy, CHART_TARGET);
    CloseOtherWindows(panel);
  }
  Wait(500);

  // The profiles window with a profile of the driver's own values open: it
  // redraws only when a value changes, and once closed it is not called. Its
  // own tick handler is timed on its own too: the process figure is noisy.
  int64_t handlerNs = 0, tickStartNs = 0;
  QObject::connect(&panel, &CDrivePanelDlg::Ticked, [&] { tickStartNs = ThreadCpuNow(); });
  for (QAction* action : panel.actions())
    if (action->text() == QString::fromUtf8(PROFILES_ITEM)) action->trigger();
  QObject::connect(&panel, &CDrivePanelDlg::Ticked, [&] { handlerNs += ThreadCpuNow() - tickStartNs; });
  QTemporaryDir folder;
  if (auto* profiles = panel.findChild<ProfileWindow*>();
      profiles && profiles->SaveDriverProfile(folder.filePath("driver.json"))) {
    Wait(500);
    handlerNs = 0;
    const int64_t start = NowNs();
    Measure(meter, foreign, "profiles window open, a profile shown, " + busy, PANEL_TARGET);
    Row("Processor use, the profiles window's own tick handler, window open",
        Format("%.3f%%", 100.0 * static_cast<double>(handlerNs) / static_cast<double>(NowNs() - start)),
        "≤ 0.1% of one core");
    profiles->close();
    Measure(meter, foreign, "profiles window closed after use, " + busy, PANEL_TARGET);
  } else {
    Row("Processor use, profiles window", "no profiles window, or the driver's values could not be saved");
  }

  InputLatency(panel, "connected, " + busy, 200);

  driver.Runner().Stop();
  WaitFor([&] { return Status(panel) == QString::fromUtf8(STATUS_LINK_LOST); }, 10000);
  Measure(meter, {}, "after an unplug (" + Status(panel).toStdString() + ")", PANEL_TARGET);

  // The built-in emulator at its defaults: its own thread, then the rest.
  const std::set<int> before = Threads();
  ChoosePort(panel, QString::fromUtf8(EMULATOR_ENTRY), {});
  if (!WaitConnected(panel)) {
    Row("Processor use, built-in emulator", "it never connected: " + Status(panel).toStdString());
    return;
  }
  const std::set<int> emulator = ThreadsSince(before);
  Wait(500);
  meter.Start(emulator);
  Wait(PHASE_MS);
  const double own = meter.Stop("connected to the built-in emulator at its defaults", PANEL_TARGET);
  Row("Processor use, the built-in emulator's own thread at its defaults", Format("%.2f%%", own), PANEL_TARGET);
}

// The child of the start-up measurement: prints the moment its panel is exposed.
int StartupChild(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(VelkorIcon());
  QApplication::setQuitOnLastWindowClosed(false);
  CDrivePanelDlg panel;
  DecoratePanel(panel);
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (panel.windowHandle() && panel.windowHandle()->isExposed()) {
      std::printf("%lld\n", static_cast<long long>(NowNs()));
      std::fflush(stdout);
      panel.accept();
    }
  });
  poll.start(1);
  panel.exec();
  return 0;
}

void Startup() {
  std::vector<double> ms;
  for (int run = 0; run < STARTUP_RUNS; ++run) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char self[] = "/proc/self/exe";
    char flag[] = "--startup";
    char* args[] = {self, flag, nullptr};
    pid_t child = 0;
    const int64_t launched = NowNs();
    const bool spawned = posix_spawn(&child, self, &actions, nullptr, args, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    char text[64] = {};
    const ssize_t got = spawned ? read(out[0], text, sizeof text - 1) : 0;
    close(out[0]);
    if (spawned) waitpid(child, nullptr, 0);
    if (got > 0) ms.push_back(static_cast<double>(std::atoll(text) - launched) / 1e6);
  }
  const Spread s = SpreadOf(ms);
  Row("Start-up, process launched → panel shown (median / max of " + std::to_string(ms.size()) + ")",
             Format("%.0f / %.0f ms", s.median, s.max));
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc > 1 && std::string(argv[1]) == "--startup") return StartupChild(argc, argv);
  Startup();
  return RunPanel(argc, argv, RunScript);
}
