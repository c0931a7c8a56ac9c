// panel_process_bench.cpp: the real panel, measured from inside its own
// process. It builds the application as the `velkor` program does (the panel,
// decorated by the shell, run modal, offscreen) and drives it the way an
// operator would, through its port list, buttons, prompt and chart item:
//  - processor use in each state, 10 s each, from getrusage, less the thread
//    of the built-in emulator where it runs (that thread stands in for the
//    hardware; the figure with it is printed too);
//  - input latency: clicks posted from another thread, as the window system
//    posts them, to the moment the button's handler has run;
//  - start-up: a fresh process launched until its panel is exposed;
//  - peak resident memory after 10 s connected.
// Depends on Qt Widgets, the panel, the application shell and the emulator.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QTimer>
#include <QWindow>

#include <dirent.h>
#include <pty.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app_icon.h"
#include "drive_app.h"
#include "drive_panel_dlg.h"
#include "figures.h"
#include "port_selector.h"
#include "pty_runner.h"
#include "serial_port.h"
#include "status_texts.h"

extern char** environ;

using namespace velkor;

namespace {

constexpr int PHASE_MS = 10000;
constexpr int STARTUP_RUNS = 5;
constexpr double READ_BOUND_MS = DRIVER_TIMEOUTS.readTotalConstantMs + 120.0 * DRIVER_TIMEOUTS.readTotalMultiplierMs;
const std::string CPU_TARGET = "< 2% of one core";

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t ProcessCpuNs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto ns = [](const timeval& t) { return int64_t{t.tv_sec} * 1'000'000'000 + int64_t{t.tv_usec} * 1000; };
  return ns(usage.ru_utime) + ns(usage.ru_stime);
}

std::set<int> Threads() {
  std::set<int> tids;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') tids.insert(std::atoi(entry->d_name));
    closedir(dir);
  }
  return tids;
}

// Time the thread has run, in ns (the first field of schedstat).
int64_t ThreadCpuNs(int tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/schedstat");
  int64_t ns = 0;
  stat >> ns;
  return ns;
}

long PeakResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// An ordinary event loop, as the panel's own modal run is: no polling.
void Wait(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

bool WaitFor(const std::function<bool()>& done, int ms) {
  for (const int64_t end = NowNs() + int64_t{ms} * 1'000'000; !done();) {
    if (NowNs() > end) return false;
    Wait(20);
  }
  return true;
}

// Processor time between Start and Stop, as a share of one core.
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
  void Stop(const std::string& state, const std::string& target = CPU_TARGET) {
    const double wall = static_cast<double>(NowNs() - startNs_);
    const double process = static_cast<double>(ProcessCpuNs() - process_);
    const double foreign = static_cast<double>(ForeignNs() - foreignNs_);
    std::string figure = foreign_.empty() ? bench::Format("%.2f%%", 100 * process / wall)
                                          : bench::Format("%.2f%% (%.2f%% with the emulator thread)",
                                                          100 * (process - foreign) / wall, 100 * process / wall);
    figure += bench::Format(", %.0f ticks/s", ticks_ / (wall / 1e9));
    bench::Row("Processor use, " + state, figure, target);
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

QAbstractButton* Button(CDrivePanelDlg& panel, ControlId id) { return static_cast<QAbstractButton*>(panel.Control(id)); }
QString Status(CDrivePanelDlg& panel) { return static_cast<QLineEdit*>(panel.Control(ID_STATUS))->text(); }

// Chooses the list entry with this port name, as a click in the list does.
void ChoosePort(CDrivePanelDlg& panel, const QString& text, const QString& portName) {
  auto* ports = static_cast<CPortSelector*>(panel.Control(ID_PORT_LIST));
  int index = ports->findText(text);
  if (index < 0) {
    ports->addItem(text, portName);
    index = ports->count() - 1;
  }
  ports->setCurrentIndex(index);
  emit ports->activated(index);
}

// Clicks posted from another thread one at a time, at random moments, each
// timed from its posting to the end of the button's handler.
void InputLatency(CDrivePanelDlg& panel, const std::string& state, int clicks) {
  QAbstractButton* button = Button(panel, ID_ZERO_POSITION);
  const QPointF at = QPointF(button->rect().center());
  const QPointingDevice* mouse = QPointingDevice::primaryPointingDevice();
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
      for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        QCoreApplication::postEvent(button, new QMouseEvent(type, at, at, button->mapToGlobal(at), Qt::LeftButton,
                                                            held, Qt::NoModifier, mouse));
      }
      while (!handled && !stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  WaitFor([&] { return latencyMs.size() >= static_cast<size_t>(clicks); }, clicks * 400);
  stop = true;
  poster.join();
  QObject::disconnect(connection);
  const bench::Spread s = bench::SpreadOf(latencyMs);
  bench::Row("Input latency, " + state + ", " + std::to_string(latencyMs.size()) + " clicks (median / max)",
             bench::Format("%.2f / %.2f ms", s.median, s.max),
             bench::Format("max is %.0f%% of the %.0f ms read bound", 100 * s.max / READ_BOUND_MS, READ_BOUND_MS));
}

void RunScript(CDrivePanelDlg& panel) {
  CpuMeter meter(panel);

  // A port with nothing behind it: a terminal whose other side stays silent.
  int master = -1, slave = -1;
  char path[128] = {};
  if (openpty(&master, &slave, path, nullptr, nullptr) != 0) {
    bench::Row("Processor use", "no pseudo-terminal");
    return;
  }
  close(slave);
  ChoosePort(panel, path, path);
  Wait(500);
  meter.Start({});
  Wait(PHASE_MS);
  meter.Stop("port chosen, no device (" + Status(panel).toStdString() + ")");
  InputLatency(panel, "port open, no device", 60);

  const std::set<int> before = Threads();
  ChoosePort(panel, QString::fromUtf8(EMULATOR_ENTRY), {});
  if (!WaitFor([&] { return Status(panel) == QString::fromUtf8(STATUS_CONNECTED); }, 20000)) {
    bench::Row("Processor use", "the emulator never connected: " + Status(panel).toStdString());
    close(master);
    return;
  }
  close(master);
  std::set<int> emulator;
  for (int tid : Threads())
    if (!before.count(tid)) emulator.insert(tid);
  Wait(1000);

  meter.Start(emulator);
  Wait(PHASE_MS);
  meter.Stop("connected, idle");
  bench::Row("Peak resident memory, connected for 10 s (built-in emulator included)",
             bench::Format("%.1f MB", PeakResidentKb() / 1024.0));

  Button(panel, ID_ROTATE_RIGHT)->click();
  Wait(500);
  meter.Start(emulator);
  Wait(PHASE_MS);
  meter.Stop("connected, jogging");
  Button(panel, ID_STOP)->click();
  Wait(500);

  // The prompt waits in a loop of its own: measure from timers that fire in it.
  QTimer::singleShot(500, &panel, [&] {
    meter.Start(emulator);
    QTimer::singleShot(PHASE_MS, &panel, [&] {
      meter.Stop("connected, numeric prompt open");
      for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "InputBox" && w->isVisible()) w->close();
    });
  });
  Button(panel, ID_KP)->click();
  Wait(500);

  for (QAction* action : panel.actions()) {
    if (action->text() != QString::fromUtf8(CHARTS_ITEM)) continue;
    action->trigger();
    Wait(500);
    meter.Start(emulator);
    Wait(PHASE_MS);
    meter.Stop("connected, chart open", "< 5% of one core");
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w != &panel && w->isVisible()) w->close();
    Wait(500);
  }

  InputLatency(panel, "connected, emulator at full traffic", 200);

  panel.Emulator()->Stop();
  WaitFor([&] { return Status(panel) == QString::fromUtf8(STATUS_LINK_LOST); }, 10000);
  Wait(500);
  meter.Start({});
  Wait(PHASE_MS);
  meter.Stop("after an unplug (" + Status(panel).toStdString() + ")");
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
  const bench::Spread s = bench::SpreadOf(ms);
  bench::Row("Start-up, process launched → panel shown (median / max of " + std::to_string(ms.size()) + ")",
             bench::Format("%.0f / %.0f ms", s.median, s.max));
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc > 1 && std::string(argv[1]) == "--startup") return StartupChild(argc, argv);
  Startup();

  QApplication app(argc, argv);
  QApplication::setWindowIcon(VelkorIcon());
  QApplication::setQuitOnLastWindowClosed(false);
  CDrivePanelDlg panel;
  DecoratePanel(panel);
  QTimer::singleShot(0, &panel, [&] {
    RunScript(panel);
    panel.accept();
  });
  panel.exec();
  return 0;
}
