// network_port_panel_test.cpp: network ports as the operator meets them in the
// panel: "Сетевой порт…" asks for an address, which then stays in the list and
// connects through a real ser2net serving the emulator; an address not
// understood; a connection refused; a server that goes away. Depends on Qt
// Test, the panel, the emulator and the network tests' ser2net runner.
#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include <memory>

#include "drive_panel_dlg.h"
#include "panel_test_support.h"
#include "pty_runner.h"
#include "port_failure_hint.h"
#include "port_reconnector.h"
#include "scripted_server.h"
#include "ser2net_server.h"

using namespace velkor;

namespace {

constexpr int PATIENCE_MS = 20000;

QString Tooltip(CDrivePanelDlg& panel) { return panel.Control(ID_STATUS)->toolTip(); }

QComboBox* PortList(CDrivePanelDlg& panel) { return static_cast<QComboBox*>(panel.Control(ID_PORT_LIST)); }

// Clicks "Сетевой порт…" in the list, as the operator does.
void ChooseNetworkEntry(CDrivePanelDlg& panel) {
  QComboBox* ports = PortList(panel);
  const int index = ports->findText("Сетевой порт…");
  QVERIFY(index >= 0);
  ports->setCurrentIndex(index);
  emit ports->activated(index);
}

bool ShowsConnected(CDrivePanelDlg& panel) {
  const QString status = test::Shown(panel, ID_STATUS);
  return panel.DriveLink().state.readyWord == READY_CONNECTED &&
         (status == "Соединено VK-3 ID-19.0" || status == "Команда выполнена");
}

}  // namespace

class NetworkPortPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { test::StopPolling(); }

  void theNetworkEntryAsksForAnAddressThatStaysInTheListAndConnectsThroughSer2net() {
    if (!test::Ser2netInstalled()) QSKIP("ser2net is not installed (scripts/install-deps.sh installs it)");
    sim::PtyRunner emulator;
    QVERIFY(emulator.Start());
    test::Ser2netServer server(emulator.SlavePath());
    QVERIFY(server.Serving());
    const QString address = QString::fromStdString(server.Rfc2217Name());
    CDrivePanelDlg panel;
    panel.show();

    int fieldWidth = 0;
    test::WhenPromptOpens("Адрес: rfc2217://, tcp://, rfc2217s:// или tcps://", [&](QWidget* prompt) {
      fieldWidth = prompt->findChild<QLineEdit*>()->width();
      test::Answer(prompt, address);
    });
    ChooseNetworkEntry(panel);
    // A whole address shows in the field, not only its last characters.
    QVERIFY(fieldWidth > QFontMetrics(panel.font()).horizontalAdvance("rfc2217://192.168.100.200:4000"));
    QTRY_VERIFY_WITH_TIMEOUT(ShowsConnected(panel), PATIENCE_MS);
    QCOMPARE(PortList(panel)->currentText(), address);
    QCOMPARE(Tooltip(panel),
             QString("Сервер не ответил на запросы: DTR, RTS. Порт работает, но их исполнение не подтверждено."));

    // Still listed after the list is opened and filled anew, and still chosen.
    PortList(panel)->showPopup();
    PortList(panel)->hidePopup();
    QVERIFY(PortList(panel)->findText(address) >= 0);
    QVERIFY(PortList(panel)->findText("Сетевой порт…") >= 0);
    QCOMPARE(PortList(panel)->currentText(), address);

    server.Stop();
    QTRY_COMPARE_WITH_TIMEOUT(test::Shown(panel, ID_STATUS), QString("Обрыв связи"), PATIENCE_MS);
    QTRY_COMPARE_WITH_TIMEOUT(
        Tooltip(panel), QString("Сервер закрыл соединение. Порт откроется снова, как только сервер снова его примет."),
        PATIENCE_MS);

    // The server comes back on its port: the panel connects again by itself.
    test::Ser2netServer again(emulator.SlavePath(), true, server.RawPort(), server.TelnetPort());
    QVERIFY(again.Serving());
    QTRY_VERIFY2_WITH_TIMEOUT(ShowsConnected(panel), qPrintable(test::Shown(panel, ID_STATUS) + " / " + Tooltip(panel)),
                              PATIENCE_MS);
    QCOMPARE(PortList(panel)->currentText(), address);
  }

  void aFailedOpenDuringTheWaitResumesTheWaitUntilTheServerServesAgain() {
    if (!test::Ser2netInstalled()) QSKIP("ser2net is not installed (scripts/install-deps.sh installs it)");
    sim::PtyRunner emulator;
    QVERIFY(emulator.Start());
    auto server = std::make_unique<test::Ser2netServer>(emulator.SlavePath());
    QVERIFY(server->Serving());
    const int rawPort = server->RawPort();
    const int telnetPort = server->TelnetPort();
    CDrivePanelDlg panel;
    panel.show();
    test::ChoosePort(panel, QString::fromStdString(server->Rfc2217Name()));
    QTRY_VERIFY_WITH_TIMEOUT(ShowsConnected(panel), PATIENCE_MS);
    server.reset();
    QTRY_COMPARE_WITH_TIMEOUT(test::Shown(panel, ID_STATUS), QString("Обрыв связи"), PATIENCE_MS);

    {
      // Something on the port that takes each connection and closes it: each
      // open fails, and the wait goes on.
      test::ScriptedServer closing(test::CloseWithWords("Gone for maintenance\r\n"), telnetPort);
      QTRY_VERIFY_WITH_TIMEOUT(closing.Connections() >= 2, PATIENCE_MS);
      QCOMPARE(test::Shown(panel, ID_STATUS), QString("Обрыв связи"));
    }
    test::Ser2netServer again(emulator.SlavePath(), true, rawPort, telnetPort);
    QVERIFY(again.Serving());
    QTRY_VERIFY2_WITH_TIMEOUT(ShowsConnected(panel), qPrintable(test::Shown(panel, ID_STATUS) + " / " + Tooltip(panel)),
                              PATIENCE_MS);
  }

  void aNetworkOpenLeavesTheWindowToItsEventsAndEndsWithAdviceThatFits() {
    // Takes the connection and never negotiates.
    test::ScriptedServer silent([](int client) {
      uint8_t in[256];
      while (read(client, in, sizeof in) > 0) {
      }
    });
    CDrivePanelDlg panel;
    panel.show();
    test::ChoosePort(panel, QString::fromStdString(silent.Name("rfc2217")));
    // The choice has returned to the event loop while the server keeps silent.
    QCOMPARE(test::Shown(panel, ID_STATUS), QString("Выберите порт"));
    QTRY_COMPARE_WITH_TIMEOUT(test::Shown(panel, ID_STATUS), QString("Не удалось открыть порт"), PATIENCE_MS);
    QCOMPARE(Tooltip(panel), QString("Сервер не ответил на согласование RFC 2217 за 3000 мс.\n") + HINT_NETWORK_SILENT);
  }

  void anAddressNotUnderstoodGetsTheInputErrorAndTheChoiceStaysAsItWas() {
    CDrivePanelDlg panel;
    panel.show();
    QString message;
    test::WhenPromptOpens("Адрес: rfc2217://, tcp://, rfc2217s:// или tcps://", [&](QWidget* prompt) {
      test::WhenMessageBoxOpens([&](QMessageBox* box) {
        message = box->text();
        box->accept();
      });
      test::Answer(prompt, "192.168.1.20:4000");
    });
    ChooseNetworkEntry(panel);
    QCOMPARE(message, QString("Ошибка ввода"));
    QCOMPARE(PortList(panel)->currentIndex(), -1);
    QCOMPARE(PortList(panel)->findText("192.168.1.20:4000"), -1);
    QCOMPARE(test::Shown(panel, ID_STATUS), QString("Выберите порт"));
  }

  // A raw port has no negotiation: the server turns it away after it opened.
  void aRawServerThatClosesWithWordsFailsTheOpenUnlessItIsBusy() {
    const struct { const char* words; int connections; QString advice; } rows[] = {
        {"Sorry, this port is reserved for maintenance", 1, HINT_NETWORK_CLOSED},  // and no more connections
        {"Port's device already in use", 3, HINT_NETWORK_BUSY_AWAITED}};
    for (const auto& row : rows) {
      test::ScriptedServer server(test::CloseWithWords(row.words + std::string("\r\n")));
      CDrivePanelDlg panel;
      panel.show();
      test::ChoosePort(panel, QString::fromStdString(server.Name("tcp")));
      QTRY_VERIFY_WITH_TIMEOUT(server.Connections() >= row.connections, PATIENCE_MS);
      QTRY_COMPARE_WITH_TIMEOUT(Tooltip(panel), "Сервер закрыл соединение: " + QString(row.words) + "\n" + row.advice,
                                PATIENCE_MS);
      if (row.connections > 1) continue;
      QCOMPARE(test::Shown(panel, ID_STATUS), QString("Не удалось открыть порт"));
      QTest::qWait(3 * REOPEN_PERIOD_MS);
      QCOMPARE(server.Connections(), 1);
    }
  }

  void aRefusedConnectionSaysSoAndWhatToCheckInTheTooltip() {
    CDrivePanelDlg panel;
    panel.show();
    test::ChoosePort(panel, QString("tcp://127.0.0.1:%1").arg(test::FreeLocalPort()));
    // The open goes on in the event loop.
    QTRY_COMPARE_WITH_TIMEOUT(test::Shown(panel, ID_STATUS), QString("Не удалось открыть порт"), PATIENCE_MS);
    QCOMPARE(Tooltip(panel), QString("Connection refused\nПроверьте адрес и порт, сеть до сервера и что на нём "
                                     "запущен сервер порта (ser2net)."));
  }
};

QTEST_MAIN(NetworkPortPanelTest)
#include "network_port_panel_test.moc"
