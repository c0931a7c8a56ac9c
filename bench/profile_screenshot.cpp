// profile_screenshot.cpp: the profiles window of the real panel after an
// apply, for the README and for review. It builds the application as the
// `velkor` program does, connects it to an emulated driver on a
// pseudo-terminal, opens "Профили…" from the context actions, opens a profile
// and clicks "Применить и записать в EEPROM"; the driver either stores
// currents above 1200 mA as 1200 (clamp) or is unplugged once the first value
// is acknowledged (link-dropped). It prints what the window shows and what
// reached the driver, and saves a picture of the whole screen.
//   profile_screenshot clamp|link-dropped PROFILE.json OUT.png
// Depends on the panel harness and the profiles window.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <cstdio>
#include <string>

#include "drive_app.h"
#include "panel_harness.h"
#include "profile_window.h"

using namespace velkor;

namespace {

void PrintWindow(ProfileWindow& window) {
  auto* table = window.findChild<QTableWidget*>();
  for (int row = 0; row < table->rowCount(); ++row) {
    QStringList cells;
    for (int column = 0; column < table->columnCount(); ++column) cells << table->item(row, column)->text();
    std::printf("  %s\n", qPrintable(cells.join(" | ")));
  }
  std::printf("status line: %s\n", qPrintable(window.findChildren<QLabel*>().last()->text()));
}

// Frames that repeat the last acknowledged one (its acknowledgement was
// still on its way when the panel resent) are acknowledged, not run again.
void PrintWire(bench::PtyDriver& driver, size_t from) {
  std::printf("received by the driver since the click:\n");
  const std::vector<sim::ReceivedCommand> log = driver.Runner().CommandLog();
  for (size_t i = from; i < log.size(); ++i) {
    std::printf("  code %d value %d%s\n", log[i].code, log[i].value, log[i].executed ? "" : " (repeat, not run again)");
  }
}

void Screenshot(const QString& out) {
  QApplication::processEvents();
  QProcess::execute("import", {"-window", "root", out});
  std::printf("saved %s\n", qPrintable(out));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: profile_screenshot clamp|link-dropped PROFILE.json OUT.png\n");
    return 2;
  }
  const std::string mode = argv[1];
  const QString profile = QString::fromLocal8Bit(argv[2]);
  const QString out = QString::fromLocal8Bit(argv[3]);
  sim::EmulatorOptions options;
  if (mode == "clamp") options.currentLimitMa = 1200;
  bench::PtyDriver driver(options);
  int result = 1;
  bench::RunPanel(argc, argv, [&](CDrivePanelDlg& panel) {
    panel.move(20, 20);
    if (!driver.Connect(panel, "profile screenshot")) return;
    for (QAction* action : panel.actions())
      if (action->text() == QString::fromUtf8(PROFILES_ITEM)) action->trigger();
    auto* window = panel.findChild<ProfileWindow*>();
    if (!window) return;
    window->move(530, 20);
    bench::Wait(300);
    if (!window->OpenProfile(profile)) return;
    std::printf("%s: profile %s opened:\n", mode.c_str(), qPrintable(profile));
    PrintWindow(*window);
    // The message box of a dropped link runs its own loop: it is pictured
    // and answered from inside it.
    QTimer watch;
    watch.setInterval(100);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box || !box->isVisible()) continue;
        watch.stop();
        bench::Wait(500);
        std::printf("message box: %s\n", qPrintable(box->text()));
        Screenshot(out);
        box->button(QMessageBox::Ok)->click();
      }
    });
    watch.start();
    const size_t logged = driver.Runner().CommandLog().size();
    for (QPushButton* button : window->findChildren<QPushButton*>())
      if (button->text() == QString::fromUtf8("Применить и записать в EEPROM")) button->click();
    if (mode == "link-dropped") {
      bench::WaitFor([&] { return window->LastApply().rows[0].status == ApplyRowStatus::Acknowledged; }, 5000);
      driver.Runner().Stop();  // the adapter is pulled out
      std::printf("driver unplugged after the first acknowledgement\n");
    }
    if (!bench::WaitFor([&] { return Finished(window->LastApply()); }, 10000)) return;
    bench::Wait(1500);
    std::printf("after the apply:\n");
    PrintWindow(*window);
    PrintWire(driver, logged);
    if (mode == "clamp") Screenshot(out);
    result = 0;
  });
  return result;
}
