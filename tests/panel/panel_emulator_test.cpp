// panel_emulator_test.cpp: the panel against the emulated driver on a
// pseudo-terminal, as the operator uses it: choosing "Эмулятор VK-3" connects,
// the readings move, and a parameter typed into the prompt reaches the driver
// and comes back in its display; rejected and closed prompts send nothing.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <algorithm>

#include "codes.h"
#include "link_controller.h"
#include "drive_panel_dlg.h"
#include "panel_test_support.h"
#include "pty_runner.h"

using namespace velkor;

namespace {

// Generous: the emulator and the panel share two cores with everybody else.
constexpr int PATIENCE_MS = 20000;

constexpr ControlId LIVE_DISPLAYS[] = {ID_ACTUAL_CURRENT_A, ID_ACTUAL_CURRENT_B, ID_PWM_A,
                                       ID_PWM_B,            ID_TOTAL_CURRENT,    ID_SHAFT_SPEED};

QStringList LiveTexts(CDrivePanelDlg& panel) {
  QStringList texts;
  for (ControlId id : LIVE_DISPLAYS) texts << test::Shown(panel, id);
  return texts;
}

std::vector<sim::ReceivedCommand> Received(CDrivePanelDlg& panel) { return panel.Emulator()->CommandLog(); }

// Connected, and the status line says so. When the driver's answers to the
// handshake arrive in one burst, the acknowledgement of the handshake's own
// re-read request can follow the status report that connected the link within
// the same tick, and the line then shows "Команда выполнена" instead.
bool ShowsConnected(CDrivePanelDlg& panel) {
  const QString status = test::Shown(panel, ID_STATUS);
  return panel.DriveLink().state.readyWord == READY_CONNECTED &&
         (status == "Соединено VK-3 ID-19.0" || status == "Команда выполнена");
}

bool Contains(const std::vector<sim::ReceivedCommand>& log, uint8_t code, int16_t value) {
  return std::any_of(log.begin(), log.end(), [&](const auto& c) { return c.code == code && c.value == value; });
}

}  // namespace

class PanelEmulatorTest : public QObject {
  Q_OBJECT

 private slots:
  // One connection for the whole file, made the way the operator makes it.
  void initTestCase() {
    panel_ = std::make_unique<CDrivePanelDlg>();
    panel_->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel_.get()));
    auto* ports = static_cast<QComboBox*>(panel_->Control(ID_PORT_LIST));
    // The emulator sorts last; End on the focused list chooses it.
    QTest::keyClick(ports, Qt::Key_End);
    QCOMPARE(ports->currentText(), QString("Эмулятор VK-3"));
    QVERIFY(panel_->Emulator() != nullptr);
  }
  void cleanup() { test::StopPolling(); }
  void cleanupTestCase() { panel_.reset(); }

  void choosingTheEmulatorConnectsAndTheReadingsMove() {
    CDrivePanelDlg& panel = *panel_;
    QTRY_VERIFY_WITH_TIMEOUT(ShowsConnected(panel), PATIENCE_MS);
    QVERIFY(panel.Control(ID_STATUS)->toolTip().isEmpty());
    const QStringList first = LiveTexts(panel);
    QTRY_VERIFY_WITH_TIMEOUT(LiveTexts(panel) != first, PATIENCE_MS);
    QTRY_VERIFY_WITH_TIMEOUT(test::Shown(panel, ID_MOTION_CURRENT_SHOWN) != "0", PATIENCE_MS);
  }

  void kp255TypedIntoThePromptReachesTheDriverAndComesBack() {
    CDrivePanelDlg& panel = *panel_;
    test::WhenPromptOpens("K пропорц. тока (Kp) (0-255)", [](QWidget* prompt) { test::Answer(prompt, "255"); });
    test::Click(panel, ID_KP);
    QTRY_VERIFY_WITH_TIMEOUT(Contains(Received(panel), CMD_SET_KP, 255), PATIENCE_MS);
    QTRY_COMPARE_WITH_TIMEOUT(test::Shown(panel, ID_KP_SHOWN), QString("255"), PATIENCE_MS);
    QTRY_COMPARE_WITH_TIMEOUT(test::Shown(panel, ID_STATUS), QString("Команда выполнена"), PATIENCE_MS);
  }

  void aRejectedOrClosedPromptSendsNothing_data() {
    QTest::addColumn<bool>("closed");
    QTest::newRow("256 typed") << false;
    QTest::newRow("prompt closed") << true;
  }
  void aRejectedOrClosedPromptSendsNothing() {
    QFETCH(bool, closed);
    CDrivePanelDlg& panel = *panel_;
    QTRY_VERIFY_WITH_TIMEOUT(!QueueNotEmpty(panel.DriveLink().queue) && panel.DriveLink().state.pendingCode == 0,
                             PATIENCE_MS);
    const size_t before = Received(panel).size();
    const auto kpSent = [&] {
      const auto log = Received(panel);
      return std::any_of(log.begin() + static_cast<long>(before), log.end(),
                         [](const auto& c) { return c.code == CMD_SET_KP; });
    };
    const QString kpBefore = test::Shown(panel, ID_KP_SHOWN);
    QString boxText;
    test::WhenPromptOpens("K пропорц. тока (Kp) (0-255)", [&](QWidget* prompt) {
      test::WhenMessageBoxOpens([&](QMessageBox* box) {
        boxText = box->text();
        box->button(QMessageBox::Ok)->click();
      });
      if (closed) {
        prompt->close();
      } else {
        test::Answer(prompt, "256");
      }
    });
    test::Click(panel, ID_KP);
    QCOMPARE(boxText, closed ? QString() : QString("Ошибка ввода"));
    // Dozens of status reports: each was a chance to send.
    QTest::qWait(500);
    QVERIFY(!kpSent());
    QCOMPARE(test::Shown(panel, ID_KP_SHOWN), kpBefore);
  }

  void whileAPromptIsOpenTheDisplaysMoveAndAnotherButtonWorks() {
    CDrivePanelDlg& panel = *panel_;
    bool moved = false, testSent = false;
    test::WhenPromptOpens("Ток аварии (0-20000)", [&](QWidget* prompt) {
      const QStringList atOpen = LiveTexts(panel);
      moved = QTest::qWaitFor([&] { return LiveTexts(panel) != atOpen; }, PATIENCE_MS);
      test::Click(panel, ID_TEST);
      testSent = QTest::qWaitFor([&] { return Contains(Received(panel), CMD_ACTION, ACT_TEST); }, PATIENCE_MS);
      prompt->close();
    });
    test::Click(panel, ID_FAULT_CURRENT);
    QVERIFY(moved);
    QVERIFY(testSent);
  }

  void escAndPerechitatSendTheRereadToTheDriver() {
    CDrivePanelDlg& panel = *panel_;
    const auto rereads = [&] {
      const auto log = Received(panel);
      return std::count_if(log.begin(), log.end(),
                           [](const auto& c) { return c.executed && c.code == CMD_ACTION && c.value == ACT_REREAD; });
    };
    QTRY_COMPARE_WITH_TIMEOUT(test::Shown(panel, ID_STATUS), QString("Команда выполнена"), PATIENCE_MS);
    const auto before = rereads();
    QTest::keyClick(panel.Control(ID_KP_SHOWN), Qt::Key_Escape);
    // At least: a link dropped by a starved machine re-reads on its own too.
    QTRY_VERIFY_WITH_TIMEOUT(rereads() >= before + 1, PATIENCE_MS);
    const auto afterEsc = rereads();
    test::Click(panel, ID_REREAD);
    QTRY_VERIFY_WITH_TIMEOUT(rereads() >= afterEsc + 1, PATIENCE_MS);
    QVERIFY(panel.isVisible());
  }

  void division120ReachesTheDriver() {
    CDrivePanelDlg& panel = *panel_;
    auto* divisions = static_cast<QComboBox*>(panel.Control(ID_DIVISION_LIST));
    QTest::keyClick(divisions, Qt::Key_End);
    QTRY_VERIFY_WITH_TIMEOUT(Contains(Received(panel), CMD_SET_DIVISION, 120), PATIENCE_MS);
    QTRY_COMPARE_WITH_TIMEOUT(test::Shown(panel, ID_DIVISION_SHOWN), QString("120"), PATIENCE_MS);
  }

  void tenQuickTestPressesAreCarriedOutTenTimes() {
    CDrivePanelDlg& panel = *panel_;
    const auto tests = [&] {
      const auto log = Received(panel);
      return std::count_if(log.begin(), log.end(),
                           [](const auto& c) { return c.executed && c.code == CMD_ACTION && c.value == ACT_TEST; });
    };
    const auto before = tests();
    for (int i = 0; i < 10; ++i) test::Click(panel, ID_TEST);
    QTRY_COMPARE_WITH_TIMEOUT(tests(), before + 10, PATIENCE_MS);
    QTest::qWait(100);
    QCOMPARE(tests(), before + 10);
  }

  void choosingTheEmulatorAgainWakesItAnewAndReconnects() {
    CDrivePanelDlg& panel = *panel_;
    auto* ports = static_cast<QComboBox*>(panel.Control(ID_PORT_LIST));
    sim::PtyRunner* running = panel.Emulator();
    const uint8_t seq = panel.DriveLink().state.seq;
    emit ports->activated(ports->currentIndex());
    QCOMPARE(test::Shown(panel, ID_STATUS), QString("Подключите устройство"));
    QVERIFY(panel.DriveLink().state.seq != seq);
    QCOMPARE(panel.Emulator(), running);
    QTRY_VERIFY_WITH_TIMEOUT(ShowsConnected(panel), PATIENCE_MS);
  }

  void choosingAnotherPortStopsTheEmulator() {
    CDrivePanelDlg& panel = *panel_;
    auto* ports = static_cast<QComboBox*>(panel.Control(ID_PORT_LIST));
    ports->setCurrentIndex(ports->findText("COM9"));
    emit ports->activated(ports->currentIndex());
    QCOMPARE(panel.Emulator(), nullptr);
    QCOMPARE(test::Shown(panel, ID_STATUS), QString("Не удалось открыть порт"));
  }

 private:
  std::unique_ptr<CDrivePanelDlg> panel_;
};

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  PanelEmulatorTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "panel_emulator_test.moc"
