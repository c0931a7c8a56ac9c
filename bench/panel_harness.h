// panel_harness.h: what the benchmarks of the real panel share. They build the
// application as the `velkor` program does (the panel decorated by the shell,
// run modal) and drive it as an operator would: through the port list, the
// buttons and the context actions, against an emulated driver on a
// pseudo-terminal that the panel opens like any serial port.
// Depends on Qt Widgets, the panel, the application shell and the emulator.
#pragma once

#include <QPointF>
#include <QString>

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "drive_panel_dlg.h"
#include "panel_layout.h"
#include "pty_runner.h"

class QAbstractButton;

namespace velkor::bench {

// A driver that sends every live reading (reports 15..22) and a status report
// each period: the traffic the panel meets on a busy line.
sim::EmulatorOptions FullTraffic(uint32_t statusPeriodMs = 10);

int64_t NowNs();
// The whole process's processor time, user and system, in ns.
int64_t ProcessCpuNs();
// The threads of this process, by id.
std::set<int> Threads();
// The threads started since `before` was taken.
std::set<int> ThreadsSince(const std::set<int>& before);
// Time the thread has run, in ns.
int64_t ThreadCpuNs(int tid);

// Runs an ordinary event loop, as the panel's own modal run does: no polling.
void Wait(int ms);
// Waits in the event loop until `done`, at most `ms`; false on the timeout.
bool WaitFor(const std::function<bool()>& done, int ms);

QAbstractButton* Button(CDrivePanelDlg& panel, ControlId id);

// A left click on a button as the window system delivers one: press and
// release posted to the button's event queue. Made on the window's thread;
// Post may then be called from any thread.
class PostedClick {
 public:
  explicit PostedClick(QAbstractButton* button);
  void Post() const;

 private:
  QAbstractButton* button_;
  QPointF at_;
  QPointF global_;
};
QString Status(CDrivePanelDlg& panel);
// Chooses the list entry with this text, as a click in the list does; an entry
// that opens `portName` is added first when the list lacks it.
void ChoosePort(CDrivePanelDlg& panel, const QString& text, const QString& portName);
bool WaitConnected(CDrivePanelDlg& panel);

// An emulated driver on a pseudo-terminal, served from a thread of this
// process: the panel opens its terminal by path, as it would an adapter.
class PtyDriver {
 public:
  explicit PtyDriver(sim::EmulatorOptions options) : runner_(options) {}
  sim::PtyRunner& Runner() { return runner_; }
  // Starts serving and has the panel open the terminal; false, with a row
  // saying why, when the driver never connected.
  bool Connect(CDrivePanelDlg& panel, const std::string& state);
  // The serving thread, whose time is the driver's and not the panel's.
  const std::set<int>& Threads() const { return threads_; }

 private:
  sim::PtyRunner runner_;
  std::set<int> threads_;
};

// Opens "Графики" from the context actions with `seconds` shown; null, with a
// row saying why, when no such window appeared.
QWidget* OpenCharts(CDrivePanelDlg& panel, int seconds);
// Closes every visible window but the panel.
void CloseOtherWindows(CDrivePanelDlg& panel);

// Builds the application and runs `script` inside the panel's modal run; the
// panel ends when the script returns.
int RunPanel(int argc, char** argv, const std::function<void(CDrivePanelDlg&)>& script);

}  // namespace velkor::bench
