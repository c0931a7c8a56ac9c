// analysis_screenshot.cpp: the "Анализ тока" window of the real panel against
// a driver emulated by velkor-sim, for review: the live figures, a crawl, a
// speed sweep and an auto-tuning with its decision, each pictured on the
// whole screen, and the report saved as PDF and JSON.
//   analysis_screenshot PTY OUTDIR [--dark]
// PTY is the terminal velkor-sim printed; with --dark the application runs in
// the Fusion style on a dark palette. Depends on the panel harness and the
// current analysis window.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStyleFactory>
#include <QTabWidget>

#include <cstdio>

#include "crawl_view.h"
#include "current_analysis_window.h"
#include "drive_app.h"
#include "panel_harness.h"
#include "sweep_view.h"
#include "tune_view.h"

using namespace velkor;

namespace {

constexpr int PATIENCE_MS = 120000;

QPalette DarkPalette() {
  QPalette p;
  p.setColor(QPalette::Window, QColor(53, 53, 53));
  p.setColor(QPalette::WindowText, Qt::white);
  p.setColor(QPalette::Base, QColor(35, 35, 35));
  p.setColor(QPalette::AlternateBase, QColor(53, 53, 53));
  p.setColor(QPalette::ToolTipBase, QColor(25, 25, 25));
  p.setColor(QPalette::ToolTipText, Qt::white);
  p.setColor(QPalette::Text, Qt::white);
  p.setColor(QPalette::Button, QColor(53, 53, 53));
  p.setColor(QPalette::ButtonText, Qt::white);
  p.setColor(QPalette::Mid, QColor(90, 90, 90));
  p.setColor(QPalette::Highlight, QColor(42, 130, 218));
  p.setColor(QPalette::HighlightedText, Qt::black);
  return p;
}

void Screenshot(const QString& out) {
  bench::Wait(600);
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* panel = qobject_cast<CDrivePanelDlg*>(w))
      std::printf("link: resets %u, drop %d, status %s\n", panel->DriveLink().parameters.resets,
                  static_cast<int>(panel->DriveLink().state.drop), panel->DriveLink().values.statusText.data());
  // Taken while the panel goes on reading: a blocked event loop would leave
  // the link a backlog of reports to catch up on.
  QProcess import;
  import.start("import", {"-window", "root", out});
  bench::WaitFor([&] { return import.state() == QProcess::NotRunning; }, 30000);
  std::printf("saved %s\n", qPrintable(out));
}

// Answers the confirmation before a motion with its "Пуск".
void ConfirmWhenAsked() {
  bench::WaitFor(
      [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
          auto* box = qobject_cast<QMessageBox*>(w);
          if (!box || !box->isVisible()) continue;
          for (QAbstractButton* b : box->buttons())
            if (b->text() == "Пуск") {
              b->click();
              return true;
            }
        }
        return false;
      },
      5000);
}

void CloseMessages() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) box->close();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: analysis_screenshot PTY OUTDIR [--dark]\n");
    return 2;
  }
  const QString pty = QString::fromLocal8Bit(argv[1]);
  const QString dir = QString::fromLocal8Bit(argv[2]);
  const bool dark = argc > 3 && QString(argv[3]) == "--dark";
  const QString suffix = dark ? "-dark" : "";
  int result = 1;
  bench::RunPanel(argc, argv, [&](CDrivePanelDlg& panel) {
    if (dark) {
      QApplication::setStyle(QStyleFactory::create("Fusion"));
      QApplication::setPalette(DarkPalette());
    }
    panel.move(10, 10);
    bench::ChoosePort(panel, pty, pty);
    if (!bench::WaitConnected(panel)) return;
    for (QAction* action : panel.actions())
      if (action->text() == QString::fromUtf8(ANALYSIS_ITEM)) action->trigger();
    auto* window = panel.findChild<CurrentAnalysisWindow*>();
    if (!window) return;
    window->setGeometry(530, 10, 1060, 940);
    auto* tabs = window->findChild<QTabWidget*>();
    bench::Wait(3000);
    Screenshot(dir + "/figures" + suffix + ".png");

    tabs->setCurrentWidget(window->Sweep());
    window->Sweep()->SetBounds(120, 1020, 7);
    window->Sweep()->AskToStart();
    ConfirmWhenAsked();
    if (!bench::WaitFor([&] { return !window->Sweep()->Running(); }, PATIENCE_MS)) return;
    Screenshot(dir + "/sweep" + suffix + ".png");

    tabs->setCurrentWidget(window->Crawl());
    bench::Wait(300);
    for (QPushButton* b : window->Crawl()->findChildren<QPushButton*>())
      if (b->text() == "Предложить") b->click();
    window->Crawl()->AskToStart();
    ConfirmWhenAsked();
    if (!bench::WaitFor([&] { return !window->Crawl()->Running(); }, PATIENCE_MS)) return;
    window->Crawl()->Keep();
    Screenshot(dir + "/crawl" + suffix + ".png");

    tabs->setCurrentWidget(window->Tune());
    window->Tune()->AskToStart();
    ConfirmWhenAsked();
    QPushButton* revert = nullptr;
    for (QPushButton* b : window->Tune()->findChildren<QPushButton*>())
      if (b->text() == "Вернуть прежние") revert = b;
    if (!bench::WaitFor([&] { return revert->isEnabled(); }, PATIENCE_MS)) return;
    Screenshot(dir + "/tune-before-after" + suffix + ".png");
    window->Tune()->KeepAndSave();
    if (!bench::WaitFor([&] { return !window->Tune()->Running(); }, PATIENCE_MS)) return;
    Screenshot(dir + "/tune-saved" + suffix + ".png");

    CloseMessages();
    if (!window->SaveReport(dir + "/report" + suffix + ".pdf")) return;
    bench::Wait(300);
    CloseMessages();
    result = 0;
  });
  return result;
}
