// chart_screenshot.cpp: the chart window's pages pictured against a driver on
// a terminal of its own (velkor-sim), for review. It builds the application
// as `velkor` does, opens the terminal, turns the shaft, records two runs
// with a parameter changed and a save in them, and saves three pictures of
// the whole screen: captures held at a trigger with the cursors, the two
// recordings compared with their markers, and the XY view.
//   chart_screenshot PTY OUTDIR
// Depends on the panel harness and the chart window.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>

#include <cstdio>

#include "capture_panel.h"
#include "chart_window.h"
#include "codes.h"
#include "panel_harness.h"
#include "replay_panel.h"
#include "still_plots.h"
#include "xy_view.h"

using namespace velkor;

namespace {

void Screenshot(const QString& out) {
  QApplication::processEvents();
  QProcess::execute("import", {"-window", "root", out});
  std::printf("saved %s\n", qPrintable(out));
}

void Queue(Link& link, uint8_t code, uint16_t value) {
  if (!PushCommand(link, code, value)) std::printf("the queue is full\n");
}

template <typename Widget>
Widget* Find(QWidget& window, const char* text) {
  for (Widget* widget : window.findChildren<Widget*>())
    if (widget->text() == QString::fromUtf8(text)) return widget;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: chart_screenshot PTY OUTDIR\n");
    return 2;
  }
  const QString pty = QString::fromLocal8Bit(argv[1]);
  const QString dir = QString::fromLocal8Bit(argv[2]);
  return bench::RunPanel(argc, argv, [&](CDrivePanelDlg& panel) {
    Link& link = panel.DriveLink();
    bench::ChoosePort(panel, pty, pty);
    if (!bench::WaitFor([&] { return link.state.readyWord == READY_CONNECTED; }, 10000)) {
      std::printf("the driver never connected\n");
      return;
    }
    Queue(link, CMD_SET_JOG_SPEED, 20);
    Queue(link, CMD_SET_JOG_ACCEL, 50);
    Queue(link, CMD_ACTION, ACT_ROTATE_RIGHT);
    link.state.jogActive = true;
    auto* window = static_cast<charts::ChartWindow*>(bench::OpenCharts(panel, 4));
    if (!window) return;
    window->setGeometry(0, 0, 1580, 960);
    bench::Wait(1500);

    // Two runs: the motion current changed in the first, saved in the second.
    window->StartRecording(dir + "/before.csv");
    bench::Wait(1500);
    Queue(link, CMD_SET_MOTION_CURRENT, 800);
    bench::Wait(1500);
    window->StopRecording();
    Queue(link, CMD_SET_MOTION_CURRENT, 1500);
    bench::Wait(500);
    window->StartRecording(dir + "/after.csv");
    bench::Wait(1500);
    Queue(link, CMD_ACTION, ACT_SAVE_EEPROM);
    bench::Wait(1500);
    window->StopRecording();

    // Captures at the current A rising through 0, four kept and overlaid.
    auto* pages = window->findChild<QTabWidget*>();
    charts::CapturePanel& capture = *window->Captures();
    pages->setCurrentWidget(&capture);
    auto seconds = capture.findChildren<QDoubleSpinBox*>();  // hold-off, before, after
    seconds[1]->setValue(0.3);
    seconds[2]->setValue(0.3);
    auto combos = capture.findChildren<QComboBox*>();  // source, reading, edge, winding, mode
    combos[4]->setCurrentIndex(1);
    Find<QPushButton>(capture, "Взвести")->click();
    bench::WaitFor([&] { return capture.Engine().Captures().size() >= 4; }, 10000);
    Find<QPushButton>(capture, "Взвести")->click();  // held: the last four stay
    Find<QCheckBox>(*window, "Курсоры")->click();
    capture.Plots()->SetCursor(0, -0.1);
    capture.Plots()->SetCursor(1, 0.12);
    bench::Wait(500);
    Screenshot(dir + "/capture-held-with-cursors.png");

    charts::ReplayPanel& replay = *window->Replay();
    pages->setCurrentWidget(&replay);
    QSignalSpy loaded(&replay, &charts::ReplayPanel::Loaded);
    replay.Open(dir + "/before.csv", false);
    loaded.wait(5000);
    replay.Open(dir + "/after.csv", true);
    loaded.wait(5000);
    replay.SetAlignByTrigger(true);
    window->findChild<QSpinBox*>()->setValue(2);
    for (const char* trace : {"Задание тока A", "Задание тока B", "Суммарный ток", "ШИМ B"})
      Find<QCheckBox>(*window, trace)->click();
    replay.SetPosition(2.2);
    replay.Plots()->SetCursor(0, 0.8);
    replay.Plots()->SetCursor(1, 1.2);
    bench::Wait(500);
    // The pointer over the first marker: its words in a tooltip.
    QCustomPlot* plot = replay.Plots()->PlotOf(charts::Plot::Currents);
    const QPointF at(plot->xAxis->coordToPixel(replay.Plots()->Markers().front().seconds), 60);
    QMouseEvent move(QEvent::MouseMove, at, plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    bench::Wait(800);
    Screenshot(dir + "/replay-two-recordings-with-markers.png");

    for (const char* trace : {"Задание тока A", "Задание тока B", "Суммарный ток", "ШИМ B"})
      Find<QCheckBox>(*window, trace)->click();
    pages->setCurrentWidget(window->Xy());
    bench::Wait(1500);
    Screenshot(dir + "/xy-current-a-against-b.png");
    Queue(link, CMD_ACTION, ACT_STOP);
    link.state.jogActive = false;
    bench::Wait(300);
  });
}
