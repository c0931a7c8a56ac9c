// keystroke_bench.cpp: how soon a key the operator presses shows its window.
// F1 goes through the X server (XTest, from a thread with a display connection
// of its own) to the panel, and is timed from just before it is sent until the
// About box it opens is exposed; the box is then closed and the next press
// waits a moment. Four states: no port (the floor), the port open with a
// silent driver, and a driver that sends every live reading with a status
// report each 100 ms and each 20 ms. Needs an X11 display (xvfb-run).
// Depends on Qt Widgets, the About box, the panel harness and XTest keys.
#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QTimer>
#include <QWindow>

#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "about_box.h"
#include "figures.h"
#include "panel_harness.h"
#include "x_keyboard.h"

using namespace velkor;
using namespace velkor::bench;

namespace {

constexpr int PRESSES = 30;
constexpr int WARM_UP_PRESSES = 3;  // the first box loads fonts and styles
constexpr double GOAL_MS = 16;
constexpr auto SHOWN_TIMEOUT = std::chrono::seconds(3);

// Watches every window the application exposes: the About box's first
// exposure after a press is the moment it is shown. It closes the box at once.
class AboutBoxWatch : public QObject {
 public:
  std::atomic<int64_t> shownNs{0};
  std::atomic<bool> open{false};

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose) {
      auto* window = qobject_cast<QWindow*>(watched);
      if (!window || !window->isExposed()) return false;
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<CAboutBox*>(widget);
        if (!box || box->windowHandle() != window || open) continue;
        open = true;
        shownNs = NowNs();
        QTimer::singleShot(0, box, &QDialog::reject);
      }
    } else if (event->type() == QEvent::Hide && qobject_cast<CAboutBox*>(watched)) {
      open = false;
    }
    return false;
  }
};

// Presses F1 on the panel's window `presses` times through the X server and
// returns the milliseconds from each press to its box shown.
std::vector<double> PressF1(CDrivePanelDlg& panel, AboutBoxWatch& watch, int presses) {
  const uintptr_t target = panel.winId();
  std::vector<double> latencyMs;
  QEventLoop loop;
  std::thread presser([&] {
    XKeyboard keyboard;
    std::mt19937 random(12);
    std::uniform_int_distribution<int> pause(100, 250);
    const auto waitWhile = [](const auto& busy) {
      for (auto end = std::chrono::steady_clock::now() + SHOWN_TIMEOUT;
           busy() && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    for (int i = 0; i < presses && keyboard.Ready(); ++i) {
      waitWhile([&] { return watch.open.load(); });
      // Without a window manager nobody hands the focus back once the box
      // has gone: give it to the panel, and time to take it, before the key.
      keyboard.Focus(target);
      std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
      watch.shownNs = 0;
      const int64_t sentNs = NowNs();
      keyboard.PressF1();
      waitWhile([&] { return watch.shownNs == 0; });
      if (watch.shownNs != 0) latencyMs.push_back(static_cast<double>(watch.shownNs - sentNs) / 1e6);
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  presser.join();
  return latencyMs;
}

// One state's presses, printed beside the floor; the floor's own row when
// there is none yet.
void Measure(CDrivePanelDlg& panel, AboutBoxWatch& watch, const std::string& state, std::optional<Spread>& floor) {
  const std::vector<double> latencyMs = PressF1(panel, watch, PRESSES);
  const std::string measure = "Keystroke F1 → About box shown, " + state + ", " +
                              std::to_string(latencyMs.size()) + " of " + std::to_string(PRESSES) +
                              " presses (median / worst)";
  if (latencyMs.empty()) {
    Row(measure, "no box was shown: is the display X11 and does F1 reach the panel?");
    return;
  }
  const Spread s = SpreadOf(latencyMs);
  const std::string figure = Format("%.1f / %.1f ms", s.median, s.max);
  if (!floor) {
    floor = s;
    Row(measure, figure, "the floor");
    return;
  }
  Row(measure, figure,
      Format("within %.0f ms of the floor: ≤ %.1f / %.1f ms", GOAL_MS, floor->median + GOAL_MS, floor->max + GOAL_MS));
}

void RunScript(CDrivePanelDlg& panel) {
  if (QGuiApplication::platformName() != "xcb") {
    Row("Keystroke F1 → About box shown", "needs an X11 display, not " + QGuiApplication::platformName().toStdString());
    return;
  }
  AboutBoxWatch watch;
  qApp->installEventFilter(&watch);
  WaitFor([&] { return panel.windowHandle() && panel.windowHandle()->isExposed(); }, 5000);
  Wait(500);
  std::optional<Spread> floor;

  PressF1(panel, watch, WARM_UP_PRESSES);
  Measure(panel, watch, "no port (the floor)", floor);

  // A terminal whose other side stays silent.
  int master = -1, slave = -1;
  char path[128] = {};
  if (openpty(&master, &slave, path, nullptr, nullptr) == 0) {
    close(slave);
    ChoosePort(panel, path, path);
    Wait(500);
    Measure(panel, watch, "port open, driver silent", floor);
  }

  std::unique_ptr<PtyDriver> driver;
  for (uint32_t periodMs : {100u, 20u}) {
    const std::string state = "connected, every live reading and a status report each " +
                              std::to_string(periodMs) + " ms";
    auto next = std::make_unique<PtyDriver>(FullTraffic(periodMs));
    if (!next->Connect(panel, "Keystroke F1 → About box shown, " + state)) break;
    driver = std::move(next);
    Wait(500);
    Measure(panel, watch, state, floor);
  }
  if (master >= 0) close(master);
  qApp->removeEventFilter(&watch);
}

}  // namespace

int main(int argc, char** argv) { return RunPanel(argc, argv, RunScript); }
