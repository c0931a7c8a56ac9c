// port_reconnect_test.cpp: an adapter pulled out and plugged in again, as the
// panel meets it. The chosen port is a link in a directory of the test's own,
// as /dev/serial/by-id holds them: first to an emulated driver's terminal,
// then to nothing, then to a new terminal with a new emulator behind it. Also
// what the status line's tooltip says after a refused setup. Depends on Qt
// Test, the panel, the emulator and the port tests' scripted terminal calls.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "codes.h"
#include "drive_panel_dlg.h"
#include "panel_test_support.h"
#include "pty_runner.h"
#include "scripted_terminal.h"
#include "temp_dir.h"

using namespace velkor;
namespace fs = std::filesystem;

namespace {

constexpr int PATIENCE_MS = 20000;


QString Tooltip(CDrivePanelDlg& panel) { return panel.Control(ID_STATUS)->toolTip(); }

// See panel_emulator_test: the handshake's own re-read may be acknowledged in
// the tick that connected.
bool ShowsConnected(CDrivePanelDlg& panel) {
  const QString status = test::Shown(panel, ID_STATUS);
  return panel.DriveLink().state.readyWord == READY_CONNECTED &&
         (status == "Соединено VK-3 ID-19.0" || status == "Команда выполнена");
}

std::unique_ptr<sim::PtyRunner> StartedEmulator() {
  auto runner = std::make_unique<sim::PtyRunner>();
  return runner->Start() ? std::move(runner) : nullptr;
}

// Points the link at `target` in one step, as udev replaces a by-id link.
void PointLink(const fs::path& link, const fs::path& target) {
  const fs::path fresh = link.string() + ".new";
  fs::create_symlink(target, fresh);
  fs::rename(fresh, link);
}

bool Reread(sim::PtyRunner& runner) {
  const auto log = runner.CommandLog();
  return std::any_of(log.begin(), log.end(),
                     [](const sim::ReceivedCommand& c) { return c.code == CMD_ACTION && c.value == ACT_REREAD; });
}

}  // namespace

class PortReconnectTest : public QObject {
  Q_OBJECT

 private:
  // The panel connected through the link to a first emulator, which then
  // hangs up; the panel has given the driver up by the time this returns.
  void ConnectThenUnplug(test::CountingPanel& panel, const fs::path& link) {
    auto first = StartedEmulator();
    QVERIFY(first);
    PointLink(link, first->SlavePath());
    panel.show();
    test::ChoosePort(panel, QString::fromStdString(link.string()));
    QTRY_VERIFY_WITH_TIMEOUT(ShowsConnected(panel), PATIENCE_MS);
    const fs::path lockFile = fs::path("/var/lock") / ("LCK.." + fs::path(first->SlavePath()).filename().string());
    const std::string ours = QString("%1\n").arg(getpid(), 10).toStdString();
    const bool marked = test::FileText(lockFile) == ours;  // where the system's lock directory is ours to write
    first->Stop();
    QTRY_COMPARE_WITH_TIMEOUT(test::Shown(panel, ID_STATUS), QString("Обрыв связи"), PATIENCE_MS);
    QTRY_COMPARE_WITH_TIMEOUT(Tooltip(panel), QString("Адаптер отключён. Порт откроется снова, как только он вернётся."),
                              PATIENCE_MS);
    // Gone, or another program's by now: the terminal's number is free again.
    if (marked) QVERIFY(test::FileText(lockFile) != ours);
    PointLink(link, "/dev/velkor-nothing-here");
  }

 private slots:
  void anAdapterThatComesBackUnderItsNameIsSetUpAgainAndConnects() {
    test::TempDir devices;
    const fs::path link = devices / "usb-VK3_adapter-if00-port0";
    test::CountingPanel panel;
    ConnectThenUnplug(panel, link);
    if (QTest::currentTestFailed()) return;

    // Gone for a while: the panel waits quietly, without beeps or new texts.
    const int beeps = panel.beeps;
    QTest::qWait(1200);
    QCOMPARE(test::Shown(panel, ID_STATUS), QString("Обрыв связи"));
    QCOMPARE(panel.beeps, beeps);

    auto second = StartedEmulator();
    QVERIFY(second);
    PointLink(link, second->SlavePath());
    QTRY_VERIFY_WITH_TIMEOUT(ShowsConnected(panel), PATIENCE_MS);
    QVERIFY(Reread(*second));  // the handshake ran anew
    QCOMPARE(panel.beeps, beeps + 1);  // as when the operator chooses a port
    QCOMPARE(Tooltip(panel), QString());
  }

  void choosingAnotherPortEndsTheWait() {
    test::TempDir devices;
    const fs::path link = devices / "usb-VK3_adapter-if00-port0";
    test::CountingPanel panel;
    ConnectThenUnplug(panel, link);
    if (QTest::currentTestFailed()) return;

    test::ChoosePort(panel, "COM9");
    QCOMPARE(test::Shown(panel, ID_STATUS), QString("Не удалось открыть порт"));
    auto second = StartedEmulator();
    QVERIFY(second);
    PointLink(link, second->SlavePath());
    QTest::qWait(1500);
    QCOMPARE(test::Shown(panel, ID_STATUS), QString("Не удалось открыть порт"));
    QVERIFY(second->CommandLog().empty());
  }

  void aPseudoTerminalThatHangsUpIsNotWaitedFor() {
    auto runner = StartedEmulator();
    QVERIFY(runner);
    CDrivePanelDlg panel;
    panel.show();
    test::ChoosePort(panel, QString::fromStdString(runner->SlavePath()));
    QTRY_VERIFY_WITH_TIMEOUT(ShowsConnected(panel), PATIENCE_MS);
    runner->Stop();
    QTRY_COMPARE_WITH_TIMEOUT(Tooltip(panel), QString("Адаптер отключён. Выберите порт снова, когда он вернётся."),
                              PATIENCE_MS);
    QCOMPARE(test::Shown(panel, ID_STATUS), QString("Обрыв связи"));
  }

  void aRefusedSetupAfterAFailedOpenIsExplainedAsARefusedSetup() {
    test::ScriptedTerminal terminal;
    terminal.refuse = "TIOCMBIS DTR";
    CDrivePanelDlg panel(nullptr, terminal);
    panel.show();
    test::ChoosePort(panel, "/dev/ttyVELKOR-none");
    QCOMPARE(test::Shown(panel, ID_STATUS), QString("Не удалось открыть порт"));
    QCOMPARE(Tooltip(panel), QString("No such file or directory"));

    int master = -1, slave = -1;
    char path[128] = {};
    QVERIFY(openpty(&master, &slave, path, nullptr, nullptr) == 0);
    QString boxText;
    test::WhenMessageBoxOpens([&](QMessageBox* box) {
      boxText = box->text();
      box->button(QMessageBox::Ok)->click();
    });
    test::ChoosePort(panel, path);
    QCOMPARE(boxText, QString("Не выполнена функция EscapeCommFunction() для порта "));
    QCOMPARE(test::Shown(panel, ID_STATUS), QString("Не удалось открыть порт"));  // as the setup leaves it
    QCOMPARE(Tooltip(panel), QString("Порт открыт, но не настроен: Input/output error\nВыберите порт снова."));
    close(slave);
    close(master);
  }
};

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  PortReconnectTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "port_reconnect_test.moc"
