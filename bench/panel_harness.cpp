// panel_harness.cpp: building the application for a benchmark, and the ways a
// benchmark drives the panel, waits on it and times it.
#include "panel_harness.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QSpinBox>
#include <QTimer>

#include <dirent.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "app_icon.h"
#include "drive_app.h"
#include "figures.h"
#include "port_selector.h"
#include "status_texts.h"

namespace velkor::bench {

namespace {
constexpr int CONNECT_MS = 20000;
}

sim::EmulatorOptions FullTraffic(uint32_t statusPeriodMs) {
  sim::EmulatorOptions options;
  options.readingsPerStatus = 8;
  options.statusPeriodMs = statusPeriodMs;
  return options;
}

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

std::set<int> ThreadsSince(const std::set<int>& before) {
  std::set<int> started;
  for (int tid : Threads())
    if (!before.count(tid)) started.insert(tid);
  return started;
}

// The first field of schedstat: the thread's time on a processor, in ns.
int64_t ThreadCpuNs(int tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/schedstat");
  int64_t ns = 0;
  stat >> ns;
  return ns;
}

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

QAbstractButton* Button(CDrivePanelDlg& panel, ControlId id) { return static_cast<QAbstractButton*>(panel.Control(id)); }

PostedClick::PostedClick(QAbstractButton* button)
    : button_(button), at_(QPointF(button->rect().center())), global_(button->mapToGlobal(at_)) {}

void PostedClick::Post() const {
  const QPointingDevice* mouse = QPointingDevice::primaryPointingDevice();
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QCoreApplication::postEvent(button_,
                                new QMouseEvent(type, at_, at_, global_, Qt::LeftButton, held, Qt::NoModifier, mouse));
  }
}

QString Status(CDrivePanelDlg& panel) { return static_cast<QLineEdit*>(panel.Control(ID_STATUS))->text(); }

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

bool WaitConnected(CDrivePanelDlg& panel) {
  return WaitFor([&] { return Status(panel) == QString::fromUtf8(STATUS_CONNECTED); }, CONNECT_MS);
}

bool PtyDriver::Connect(CDrivePanelDlg& panel, const std::string& state) {
  const std::set<int> before = bench::Threads();
  if (!runner_.Start()) {
    Row(state, "no pseudo-terminal: " + runner_.Error());
    return false;
  }
  threads_ = ThreadsSince(before);
  const QString path = QString::fromStdString(runner_.SlavePath());
  ChoosePort(panel, path, path);
  if (!WaitConnected(panel)) {
    Row(state, "the driver never connected: " + Status(panel).toStdString());
    return false;
  }
  return true;
}

QWidget* OpenCharts(CDrivePanelDlg& panel, int seconds) {
  for (QAction* action : panel.actions()) {
    if (action->text() != QString::fromUtf8(CHARTS_ITEM)) continue;
    action->trigger();
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window == &panel || !window->isVisible()) continue;
      // The window length: the one spin box that offers 2 to 60 seconds.
      for (auto* span : window->findChildren<QSpinBox*>())
        if (span->minimum() == 2 && span->maximum() == 60) {
          span->setValue(seconds);
          return window;
        }
    }
  }
  Row("Chart window", "no window with a 2..60 s length appeared after the context action");
  return nullptr;
}

void CloseOtherWindows(CDrivePanelDlg& panel) {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window != &panel && window->isVisible()) window->close();
}

int RunPanel(int argc, char** argv, const std::function<void(CDrivePanelDlg&)>& script) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(VelkorIcon());
  QApplication::setQuitOnLastWindowClosed(false);
  CDrivePanelDlg panel;
  DecoratePanel(panel);
  QTimer::singleShot(0, &panel, [&] {
    script(panel);
    panel.accept();
  });
  panel.exec();
  return 0;
}

}  // namespace velkor::bench
