// replug_bench.cpp: the panel while an adapter is pulled out and plugged in
// again, measured from inside its own process. The chosen port is a link in a
// scratch directory, as /dev/serial/by-id holds them, to an emulated driver's
// pseudo-terminal; pulling out is stopping that emulator, plugging in is
// pointing the link at a new one. Prints:
//  - wake-ups a second (voluntary and involuntary context switches of every
//    thread) and processor use while the panel waits, 10 s each time, and
//    the same of the idle panel before any port is chosen, and of the time
//    from the hang-up until the wait begins;
//  - the time from the link's return to "Соединено VK-3 ID-19.0", and the
//    part of it from the port's reopening.
// Depends on Qt Widgets, the panel and the emulator.
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

#include <dirent.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drive_panel_dlg.h"
#include "figures.h"
#include "port_reconnector.h"
#include "port_selector.h"
#include "pty_runner.h"

using namespace velkor;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int WAIT_MS = 10000;
constexpr int REPLUGS = 8;
const QString CONNECTED = "Соединено VK-3 ID-19.0";

void Wait(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

bool WaitFor(const std::function<bool()>& done, int ms) {
  for (const auto end = Clock::now() + std::chrono::milliseconds(ms); !done();) {
    if (Clock::now() > end) return false;
    Wait(20);
  }
  return true;
}

// Context switches of every thread of this process so far.
long ContextSwitches() {
  long total = 0;
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return 0;
  while (dirent* task = readdir(tasks)) {
    if (task->d_name[0] == '.') continue;
    std::ifstream status(std::string("/proc/self/task/") + task->d_name + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
        total += std::atol(line.c_str() + line.find(':') + 1);
    }
  }
  closedir(tasks);
  return total;
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return s(usage.ru_utime) + s(usage.ru_stime);
}

void PointLink(const fs::path& link, const fs::path& target) {
  const fs::path fresh = link.string() + ".new";
  fs::create_symlink(target, fresh);
  fs::rename(fresh, link);
}

QString Status(CDrivePanelDlg& panel) { return static_cast<QLineEdit*>(panel.Control(ID_STATUS))->text(); }

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::string scratch = (fs::temp_directory_path() / "velkor-replug-XXXXXX").string();
  const fs::path devices = mkdtemp(scratch.data());
  const fs::path link = devices / "usb-VK3_adapter-if00-port0";

  CDrivePanelDlg panel;
  panel.show();
  auto* reconnector = panel.findChild<CPortReconnector*>();
  // The same figures with no port chosen: what the waiting is compared with.
  Wait(1000);
  const long idleSwitches = ContextSwitches();
  const double idleCpu = ProcessCpuSeconds();
  Wait(WAIT_MS);
  bench::Row("Wake-ups a second / processor use, idle panel with no port chosen (10 s)",
             bench::Format("%.1f / %.3f%%", (ContextSwitches() - idleSwitches) / (WAIT_MS / 1000.0),
                           100 * (ProcessCpuSeconds() - idleCpu) / (WAIT_MS / 1000.0)));
  auto runner = std::make_unique<sim::PtyRunner>();
  runner->Start();
  PointLink(link, runner->SlavePath());
  auto* ports = static_cast<CPortSelector*>(panel.Control(ID_PORT_LIST));
  ports->addItem(QString::fromStdString(link.string()), QString::fromStdString(link.string()));
  ports->setCurrentIndex(ports->count() - 1);
  emit ports->activated(ports->count() - 1);
  if (!WaitFor([&] { return Status(panel) == CONNECTED; }, 20000)) {
    bench::Row("Replug", "never connected: " + Status(panel).toStdString());
    return 1;
  }

  std::vector<double> wakeUps, cpu, reconnectMs, handshakeMs, lossMs, lossWakeUps;
  for (int i = 0; i < REPLUGS; ++i) {
    runner->Stop();  // its thread's switches leave the count with it
    const long beforeHangUp = ContextSwitches();
    const auto hangUp = Clock::now();
    WaitFor([&] { return reconnector->Waiting(); }, 20000);
    const double lossSeconds = std::chrono::duration<double>(Clock::now() - hangUp).count();
    lossMs.push_back(1000 * lossSeconds);
    lossWakeUps.push_back((ContextSwitches() - beforeHangUp) / lossSeconds);
    PointLink(link, "/dev/velkor-unplugged");
    const long switches = ContextSwitches();
    const double cpuBefore = ProcessCpuSeconds();
    Wait(WAIT_MS);
    wakeUps.push_back((ContextSwitches() - switches) / (WAIT_MS / 1000.0));
    cpu.push_back(100 * (ProcessCpuSeconds() - cpuBefore) / (WAIT_MS / 1000.0));

    runner = std::make_unique<sim::PtyRunner>();
    runner->Start();
    bool connected = false;
    Clock::time_point back, reopened, shown;
    const auto watch = QObject::connect(&panel, &CDrivePanelDlg::Ticked, [&] {
      if (!connected && Status(panel) == CONNECTED) {
        connected = true;
        shown = Clock::now();
      }
    });
    const auto reopen = QObject::connect(&panel, &CDrivePanelDlg::PortOpened, [&] { reopened = Clock::now(); });
    // Plugged in at any moment of the retry period, not in step with it.
    Wait(static_cast<int>(random() % REOPEN_PERIOD_MS));
    back = Clock::now();
    PointLink(link, runner->SlavePath());
    WaitFor([&] { return connected; }, 20000);
    QObject::disconnect(watch);
    QObject::disconnect(reopen);
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    reconnectMs.push_back(connected ? ms(shown - back) : -1);
    handshakeMs.push_back(connected ? ms(shown - reopened) : -1);
  }
  runner->Stop();
  fs::remove_all(devices);

  const bench::Spread w = bench::SpreadOf(wakeUps), c = bench::SpreadOf(cpu), r = bench::SpreadOf(reconnectMs),
                      h = bench::SpreadOf(handshakeMs);
  const bench::Spread l = bench::SpreadOf(lossMs), lw = bench::SpreadOf(lossWakeUps);
  bench::Row("Hang-up to the wait, the watchdog's \"Обрыв связи\" first (median / max)",
             bench::Format("%.0f / %.0f ms, %.1f wake-ups a second", l.median, l.max, lw.median));
  bench::Row("Wake-ups a second, waiting for an unplugged adapter (median / max of 8 × 10 s)",
             bench::Format("%.1f / %.1f", w.median, w.max), "a few");
  bench::Row("Processor use, waiting for an unplugged adapter (median / max of 8 × 10 s)",
             bench::Format("%.3f%% / %.3f%%", c.median, c.max), "not measurable");
  bench::Row("Replug to \"Соединено VK-3 ID-19.0\", 8 replugs at random moments (median / max)",
             bench::Format("%.0f / %.0f ms", r.median, r.max), "< 500 ms retry period + handshake");
  bench::Row("  of which the port setup and handshake, from the port's reopening (median / max)",
             bench::Format("%.0f / %.0f ms", h.median, h.max));
  return 0;
}
