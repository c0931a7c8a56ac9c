// drive_panel_test.cpp: the main panel without a driver: what it shows at
// start, how values reach its controls, its layout, and what every button, the
// division list, Esc and the ways of closing it do to the command queue.
#include "drive_panel_dlg.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>

#include <filesystem>
#include <map>
#include <set>

#include "codes.h"
#include "fake_device_tree.h"
#include "panel_commands.h"
#include "panel_layout.h"
#include "panel_test_support.h"
#include "port.h"
#include "port_selector.h"
#include "status_texts.h"

using namespace velkor;
using velkor::test::CountingPanel;

namespace {

QComboBox* List(CDrivePanelDlg& panel, ControlId id) { return static_cast<QComboBox*>(panel.Control(id)); }

std::vector<QLineEdit*> NumericDisplays(CDrivePanelDlg& panel) {
  std::vector<QLineEdit*> displays;
  for (const ControlRow& row : PANEL_LAYOUT) {
    if (row.kind == ControlKind::Display && row.id != ID_STATUS) {
      displays.push_back(static_cast<QLineEdit*>(panel.Control(row.id)));
    }
  }
  return displays;
}

// Takes writes and gives no bytes: the link's port while reports are fed to it by hand.
class SilentPort : public Port {
 public:
  size_t Read(uint8_t*, size_t) override { return 0; }
  void Write(const uint8_t* bytes, size_t count) override { written.insert(written.end(), bytes, bytes + count); }
  std::vector<uint8_t> written;
};

// One report, on a link and panel that start from nothing: the texts it puts
// into which controls. Every other display keeps showing 0 and the smoothing
// button stays blank.
struct ReportRow {
  int type;
  int16_t value;
  std::vector<std::pair<int, const char*>> shown;  // control id, text
};

const ReportRow REPORT_ROWS[] = {
    {0, 190, {}},  // the greeting changes the link's state only
    {1, 7, {}},    // so does an acknowledgement
    {2, 100, {{1029, "100"}}},
    {3, -1200, {{1038, "-1200"}}},
    {4, 350, {{1039, "350"}}},
    {5, 0x1F, {{1033, "15"}, {1037, "Сглаживание включено"}}},
    {5, 0x2F, {{1033, "15"}, {1037, "Сглаживание отключено"}}},
    {6, -7, {{1031, "-7"}}},
    {6, -32768, {{1031, "-32768"}}},
    {6, 255, {{1031, "255"}}},
    {7, -3, {{1034, "-3"}}},
    {8, 1500, {{1019, "1500"}}},
    {9, -5536, {{1021, "60000"}}},  // the 16-bit pattern of 60000 ms
    {10, 800, {{1022, "800"}}},
    {11, -2500, {{1041, "-2500"}}},
    {12, 1234, {}},
    {13, 1234, {}},
    {14, 1234, {}},
    {15, -42, {{1026, "-42"}}},
    {16, 1000, {{1023, "1000"}}},
    {17, -1000, {{1025, "-1000"}}},
    {18, 77, {{1024, "77"}}},
    {19, -77, {{1027, "-77"}}},
    {20, 100, {{1028, "100"}, {1032, "50"}}},
    {21, -50, {{1030, "-50"}, {1032, "25"}}},
    {22, -5, {{1040, "-5"}}},
    {23, 1000, {{1035, "500"}}},
    {24, 1234, {}}, {25, 1234, {}}, {26, 1234, {}}, {27, 1234, {}}, {28, 1234, {}}, {29, 1234, {}},
    {30, 1234, {}}, {31, 1234, {}}, {32, 1234, {}}, {33, 1234, {}}, {34, 1234, {}}, {35, 1234, {}},
    {36, 1234, {}}, {37, 1234, {}}, {38, 1234, {}}, {39, 1234, {}}, {40, 1234, {}}, {41, 1234, {}},
    {42, 1234, {}}, {43, 1234, {}}, {44, 1234, {}}, {45, 1234, {}}, {46, 1234, {}}, {47, 1234, {}},
    {48, 1234, {}}, {49, 1234, {}}, {50, 1234, {}}, {51, 1234, {}}, {52, 1234, {}}, {53, 1234, {}},
    {54, 1234, {}}, {55, 1234, {}}, {56, 1234, {}}, {57, 1234, {}}, {58, 1234, {}}, {59, 1234, {}},
    {60, 1234, {}}, {61, 1234, {}}, {62, 1234, {}}, {63, 1234, {}},
};

// A wheel turn over the middle of `over`, handed to its window as the window
// system hands it: the window finds the control under the pointer.
void TurnWheel(QWidget* over, int angle) {
  QWidget* window = over->window();
  const QPointF at = over->mapTo(window, QRectF(over->rect()).center());
  QWheelEvent turn(at, window->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
  QApplication::sendEvent(window->windowHandle(), &turn);
}

}  // namespace

class DrivePanelTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    panel_ = std::make_unique<CountingPanel>();
    panel_->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel_.get()));
  }
  void cleanup() {
    test::StopPolling();
    panel_.reset();
  }

  void atStartTheStatusAsksForAPortEveryDisplayShowsZeroAndNothingIsChosen() {
    CountingPanel& panel = *panel_;
    QCOMPARE(test::Shown(panel, ID_STATUS), QString("Выберите порт"));
    for (QLineEdit* display : NumericDisplays(panel)) QCOMPARE(display->text(), QString("0"));
    QCOMPARE(static_cast<QAbstractButton*>(panel.Control(ID_SMOOTHING))->text(), QString());
    QCOMPARE(List(panel, ID_PORT_LIST)->currentIndex(), -1);
    QCOMPARE(List(panel, ID_DIVISION_LIST)->currentIndex(), -1);
    QCOMPARE(panel.focusWidget(), panel.Control(ID_PORT_LIST));
    QCOMPARE(panel.windowTitle(), QString("Velkor"));
    QVERIFY(!panel.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(panel.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  }

  void thePortListOffersTheComPortsAndTheEmulatorSortedByText() {
    QComboBox* ports = List(*panel_, ID_PORT_LIST);
    QStringList texts;
    for (int i = 0; i < ports->count(); ++i) texts << ports->itemText(i);
    for (int n = 1; n <= 9; ++n) QVERIFY(texts.contains(QString("COM%1").arg(n)));
    QVERIFY(texts.contains(QString("Эмулятор VK-3")));
    QStringList sorted = texts;
    sorted.sort();
    QCOMPARE(texts, sorted);
    QStringList divisions;
    for (int i = 0; i < List(*panel_, ID_DIVISION_LIST)->count(); ++i) {
      divisions << List(*panel_, ID_DIVISION_LIST)->itemText(i);
    }
    QCOMPARE(divisions, QStringList({"1", "2", "3", "4", "5", "6", "8", "10", "12", "15", "20", "24", "30",
                                     "40", "60", "120"}));
  }

  void reopeningTheListLooksTheDevicesUpAgainAndKeepsTheChoice() {
    auto* ports = static_cast<CPortSelector*>(panel_->Control(ID_PORT_LIST));
    int activations = 0;
    connect(ports, &QComboBox::activated, [&] { ++activations; });
    ports->setCurrentIndex(ports->findText("COM3"));
    ports->showPopup();
    ports->hidePopup();
    QCOMPARE(ports->currentText(), QString("COM3"));
    QCOMPARE(ports->PortName(), QString("COM3"));
    QCOMPARE(activations, 0);
  }

  void numbersAreShownInPlainDecimalAndTheDivisionReadsBackAsItWasShown() {
    CountingPanel& panel = *panel_;
    PanelValues& values = panel.DriveLink().values;
    values.position = -5;
    values.phase = -32768;
    values.reductionDelay = 60000;
    values.shaftSpeed = -1234567;
    values.stepDivision = 8;
    values.smoothingCaption = SMOOTHING_ON;
    panel.RefreshPanel();
    QCOMPARE(test::Shown(panel, ID_POSITION), QString("-5"));
    QCOMPARE(test::Shown(panel, ID_PHASE), QString("-32768"));
    QCOMPARE(test::Shown(panel, ID_REDUCTION_DELAY_SHOWN), QString("60000"));
    QCOMPARE(test::Shown(panel, ID_SHAFT_SPEED), QString("-1234567"));
    QCOMPARE(test::Shown(panel, ID_DIVISION_SHOWN), QString("8"));
    QCOMPARE(static_cast<QAbstractButton*>(panel.Control(ID_SMOOTHING))->text(), QString("Сглаживание включено"));

    values.stepDivision = 0;
    values.position = 0;
    panel.ReadPanel();
    QCOMPARE(values.stepDivision, 8.0);
    QCOMPARE(values.position, int16_t{-5});
    QCOMPARE(values.reductionDelay, 60000);
  }

  void aRefreshWithUnchangedValuesTouchesNoControl() {
    CountingPanel& panel = *panel_;
    int changes = 0;
    for (const ControlRow& row : PANEL_LAYOUT) {
      if (auto* display = qobject_cast<QLineEdit*>(panel.Control(row.id))) {
        connect(display, &QLineEdit::textChanged, [&changes] { ++changes; });
      }
    }
    auto* position = static_cast<QLineEdit*>(panel.Control(ID_POSITION));
    position->selectAll();

    panel.RefreshPanel();
    panel.RefreshPanel();
    QCOMPARE(changes, 0);
    QVERIFY(position->hasSelectedText());

    panel.DriveLink().values.pwmA = 7;
    panel.RefreshPanel();
    panel.RefreshPanel();
    QCOMPARE(changes, 1);
    QCOMPARE(test::Shown(panel, ID_PWM_A), QString("7"));
  }

  // The layout as a person sees it: every control inside the box that frames it,
  // none covering another, and the fixed size in the font's dialog units.
  void everyControlLiesInsideItsBoxAndNoneOverlapsAnother() {
    CountingPanel& panel = *panel_;
    std::map<QString, QRect> boxes;
    for (QGroupBox* box : panel.findChildren<QGroupBox*>()) boxes[box->title()] = box->geometry();
    QCOMPARE(boxes.size(), size_t{4});

    std::vector<std::pair<QString, QRect>> placed;
    for (QWidget* child : panel.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (qobject_cast<QGroupBox*>(child) || !child->isVisibleTo(&panel)) continue;
      const QRect rect = child->geometry();
      QVERIFY2(panel.rect().contains(rect), qPrintable(child->objectName()));
      for (const auto& [name, other] : placed) {
        QVERIFY2(!rect.intersects(other), qPrintable(name + " / " + child->objectName()));
      }
      placed.emplace_back(child->objectName(), rect);
    }
    for (const ControlRow& row : PANEL_LAYOUT) {
      if (row.id == NO_ID || *row.box == '\0') continue;
      QVERIFY2(boxes[QString::fromUtf8(row.box)].contains(panel.Control(row.id)->geometry()), row.caption);
    }
    QCOMPARE(placed.size(), std::size(PANEL_LAYOUT) - 4);
    QVERIFY(panel.minimumSize() == panel.maximumSize());
  }

  void tabMovesThroughTheControlsInTheLayoutsOrder() {
    CountingPanel& panel = *panel_;
    // Every display, list and button, labels and boxes left out, as the layout lists them.
    constexpr int TAB_ORDER[] = {
        1018, 1020, 1019, 1021, 1022, 1023, 1024, 1025, 1027, 3,    4,    5,  6,    8,    1029,
        9,    7,    1028, 1030, 2,    1026, 1032, 1,    1031, 10,   1033, 11, 12,   1034, 13,
        1035, 1036, 1037, 14,   15,   16,   17,   1038, 18,   1039, 19,   1040, 20, 1041, 21,
    };
    std::vector<QWidget*> expected;
    for (const int id : TAB_ORDER) {
      QVERIFY2(panel.Control(static_cast<ControlId>(id)) != nullptr, qPrintable(QString::number(id)));
      expected.push_back(panel.Control(static_cast<ControlId>(id)));
    }
    std::vector<QWidget*> visited;
    QWidget* w = panel.Control(ID_PORT_LIST);
    do {
      if (w->focusPolicy() & Qt::TabFocus) visited.push_back(w);
      w = w->nextInFocusChain();
    } while (w != panel.Control(ID_PORT_LIST) && visited.size() <= expected.size());
    QCOMPARE(visited, expected);
  }

  // Each report type, from the value it carries to the text in the window.
  void everyReportTypeWritesItsOwnDisplayAndNoOther() {
    CountingPanel& panel = *panel_;
    Link& link = panel.DriveLink();
    SilentPort port;
    std::map<int, QString> zero;
    for (const ControlRow& row : PANEL_LAYOUT) {
      if (row.kind == ControlKind::Display && row.id != ID_STATUS) zero[row.id] = "0";
    }
    zero[ID_SMOOTHING] = "";
    QCOMPARE(zero.size(), size_t{21});  // twenty numbers and the smoothing caption
    std::set<int> types;
    for (const ReportRow& row : REPORT_ROWS) {
      link.state = LinkState{};
      link.state.port = &port;
      link.values = PanelValues{};
      panel.RefreshPanel();
      DispatchReport(link, static_cast<uint8_t>(row.type), row.value);
      panel.RefreshPanel();

      std::map<int, QString> expected = zero;
      for (const auto& [control, text] : row.shown) expected[control] = QString::fromUtf8(text);
      for (const auto& [control, text] : expected) {
        QWidget* w = panel.Control(static_cast<ControlId>(control));
        const QString shown = control == ID_SMOOTHING ? static_cast<QAbstractButton*>(w)->text()
                                                      : static_cast<QLineEdit*>(w)->text();
        QVERIFY2(shown == text, qPrintable(QString("report %1 with %2: control %3 shows \"%4\", not \"%5\"")
                                               .arg(row.type).arg(row.value).arg(control).arg(shown, text)));
      }
      types.insert(row.type);
    }
    QCOMPARE(types.size(), size_t{64});
    link.state.port = nullptr;
  }

  // Scrolling across the panel must neither reopen the port nor send a
  // division to a running motor.
  void theWheelOverAClosedListChangesNothing() {
    CountingPanel& panel = *panel_;
    QComboBox* ports = List(panel, ID_PORT_LIST);
    QComboBox* divisions = List(panel, ID_DIVISION_LIST);
    ports->setCurrentIndex(ports->findText("COM3"));
    divisions->setCurrentIndex(divisions->findText("8"));
    int reopened = 0;
    connect(&panel, &CDrivePanelDlg::PortOpened, [&] { ++reopened; });
    // The wheel reaches a list without the focus too.
    panel.Control(ID_TEST)->setFocus();
    for (QComboBox* list : {ports, divisions}) {
      for (const int angle : {-120, -120, 120, 120, 120}) TurnWheel(list, angle);
    }
    QCOMPARE(ports->currentText(), QString("COM3"));
    QCOMPARE(divisions->currentText(), QString("8"));
    QCOMPARE(reopened, 0);
    QCOMPARE(panel.beeps, 0);
    QVERIFY(test::TakeQueued(panel.DriveLink()).empty());
  }

  // The port list of a machine with two adapters of one make: each labelled
  // with its serial number, each opening its stable name, and the opened list
  // wide enough for every label while the closed one keeps the layout's width.
  void thePortListNamesAdaptersByTheirSerialAndOpensWideEnoughForEveryEntry() {
    test::FakeDeviceTree tree;
    tree.AddUsbDevice("usb1/1-1", "FT232R USB UART", "A50285BI", "FTDI");
    tree.AddTty("ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0");
    tree.AddById("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0");
    tree.AddUsbDevice("usb1/1-2", "FT232R USB UART", "A9K3L1QX", "FTDI");
    tree.AddTty("ttyUSB1", "usb1/1-2/1-2:1.0/ttyUSB1");
    tree.AddById("usb-FTDI_FT232R_USB_UART_A9K3L1QX-if00-port0", "ttyUSB1");
    CPortSelector ports(panel_.get(), tree.Roots());
    ports.setGeometry(panel_->Control(ID_PORT_LIST)->geometry());

    QStringList texts;
    for (int i = 0; i < ports.count(); ++i) texts << ports.itemText(i);
    QCOMPARE(texts, QStringList({"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9",
                                 "ttyUSB0 — FT232R USB UART (A50285BI)", "ttyUSB1 — FT232R USB UART (A9K3L1QX)",
                                 "Сетевой порт…", "Эмулятор VK-3"}));
    ports.setCurrentIndex(10);
    QCOMPARE(ports.PortName(), QString::fromStdString(tree.ById("usb-FTDI_FT232R_USB_UART_A9K3L1QX-if00-port0")));

    const int closedWidth = ports.width();
    ports.showPopup();
    QWidget* opened = ports.view()->window();
    QTRY_VERIFY(opened->isVisible());
    const QFontMetrics metrics(ports.view()->font());
    for (const QString& text : texts) {
      QVERIFY2(ports.view()->viewport()->width() > metrics.horizontalAdvance(text), qPrintable(text));
    }
    ports.hidePopup();
    QCOMPARE(ports.width(), closedWidth);
    QCOMPARE(ports.currentText(), QString("ttyUSB1 — FT232R USB UART (A9K3L1QX)"));

    // Replugged, the chosen adapter comes back under another number: the
    // choice follows it, since it opens the same stable name.
    std::filesystem::remove_all(tree.Roots().ttyClass / "ttyUSB1");
    std::filesystem::remove(tree.Roots().byId / "usb-FTDI_FT232R_USB_UART_A9K3L1QX-if00-port0");
    tree.AddTty("ttyUSB4", "usb1/1-2/1-2:1.0/ttyUSB4");
    tree.AddById("usb-FTDI_FT232R_USB_UART_A9K3L1QX-if00-port0", "ttyUSB4");
    ports.showPopup();
    ports.hidePopup();
    QCOMPARE(ports.currentText(), QString("ttyUSB4 — FT232R USB UART (A9K3L1QX)"));
    QCOMPARE(ports.PortName(), QString::fromStdString(tree.ById("usb-FTDI_FT232R_USB_UART_A9K3L1QX-if00-port0")));
    QCOMPARE(ports.count(), 13);
  }

  void actionButtonsQueueTheirActionAndStartOrStopTheJog_data() {
    QTest::addColumn<int>("control");
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("jogBefore");
    QTest::addColumn<bool>("jogAfter");
    QTest::newRow("Перечитать") << int(ID_REREAD) << int(ACT_REREAD) << true << true;
    QTest::newRow("Записать в EEPROM") << int(ID_SAVE_EEPROM) << int(ACT_SAVE_EEPROM) << false << false;
    QTest::newRow("Автоподстройка тока") << int(ID_AUTOTUNE) << int(ACT_AUTOTUNE) << false << false;
    QTest::newRow("smoothing") << int(ID_SMOOTHING) << int(ACT_TOGGLE_SMOOTHING) << true << true;
    QTest::newRow("Тест") << int(ID_TEST) << int(ACT_TEST) << false << false;
    QTest::newRow("step <") << int(ID_STEP_LEFT) << int(ACT_STEP_LEFT) << false << true;
    QTest::newRow("step >") << int(ID_STEP_RIGHT) << int(ACT_STEP_RIGHT) << false << true;
    QTest::newRow("rotate <") << int(ID_ROTATE_LEFT) << int(ACT_ROTATE_LEFT) << false << true;
    QTest::newRow("rotate >") << int(ID_ROTATE_RIGHT) << int(ACT_ROTATE_RIGHT) << false << true;
    QTest::newRow("Стоп") << int(ID_STOP) << int(ACT_STOP) << true << false;
    QTest::newRow(">0<") << int(ID_ZERO_POSITION) << int(ACT_ZERO_POSITION) << false << false;
  }
  void actionButtonsQueueTheirActionAndStartOrStopTheJog() {
    QFETCH(int, control);
    QFETCH(int, action);
    QFETCH(bool, jogBefore);
    QFETCH(bool, jogAfter);
    Link& link = panel_->DriveLink();
    link.state.jogActive = jogBefore;
    test::Click(*panel_, static_cast<ControlId>(control));
    QCOMPARE(link.state.jogActive, jogAfter);
    QCOMPARE(test::TakeQueued(link), (std::vector<std::pair<int, int>>{{CMD_ACTION, action}}));
    QCOMPARE(panel_->beeps, 0);
  }

  void escAndPerechitatBothQueueTheRereadAndThePanelStaysOpen() {
    CountingPanel& panel = *panel_;
    QTest::keyClick(panel.focusWidget(), Qt::Key_Escape);
    test::Click(panel, ID_REREAD);
    QCOMPARE(test::TakeQueued(panel.DriveLink()),
             (std::vector<std::pair<int, int>>{{CMD_ACTION, ACT_REREAD}, {CMD_ACTION, ACT_REREAD}}));
    QVERIFY(panel.isVisible());
  }

  void enterPressesTheFocusedButtonAndNothingElse() {
    CountingPanel& panel = *panel_;
    panel.Control(ID_KP_SHOWN)->setFocus();
    QTest::keyClick(panel.Control(ID_KP_SHOWN), Qt::Key_Return);
    QTest::qWait(50);
    QVERIFY(test::AnyOpenPrompt() == nullptr);
    QVERIFY(test::TakeQueued(panel.DriveLink()).empty());
    QVERIFY(panel.isVisible());

    panel.Control(ID_TEST)->setFocus();
    QTest::keyClick(panel.Control(ID_TEST), Qt::Key_Return);
    QCOMPARE(test::TakeQueued(panel.DriveLink()), (std::vector<std::pair<int, int>>{{CMD_ACTION, ACT_TEST}}));
    for (QPushButton* button : panel.findChildren<QPushButton*>()) QVERIFY(!button->isDefault());
  }

  void theDivisionButtonDoesNothing() {
    test::Click(*panel_, ID_DIVISION);
    QTest::qWait(50);
    QVERIFY(test::AnyOpenPrompt() == nullptr);
    QVERIFY(test::TakeQueued(panel_->DriveLink()).empty());
  }

  void choosing120InTheDivisionListQueuesItAndTheDisplayWaitsForTheDriver() {
    CountingPanel& panel = *panel_;
    QComboBox* divisions = List(panel, ID_DIVISION_LIST);
    divisions->setFocus();
    QTest::keyClick(divisions, Qt::Key_End);
    QCOMPARE(divisions->currentText(), QString("120"));
    QCOMPARE(test::TakeQueued(panel.DriveLink()), (std::vector<std::pair<int, int>>{{CMD_SET_DIVISION, 120}}));
    QCOMPARE(panel.DriveLink().values.divisionChoice, std::string("120"));
    QCOMPARE(test::Shown(panel, ID_DIVISION_SHOWN), QString("0"));
  }

  void parameterPromptsQueueAcceptedNumbersAndRejectTheRest_data() {
    QTest::addColumn<int>("control");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("queued");  // -1: rejected
    QTest::addColumn<int>("beeps");
    // Button, prompt text, largest accepted number, command code, beeps before the prompt.
    struct PromptRow {
      int control;
      const char* prompt;
      int largest;
      int code;
      int beeps;
    };
    constexpr PromptRow PROMPTS[] = {
        {10, "K пропорц. тока (Kp) (0-255)", 255, 2, 0},
        {3, "Ток движения (0-20000)", 20000, 4, 0},
        {4, "Время (мСек) (0-60000)", 60000, 5, 0},
        {5, "Ток покоя (0-20000)", 20000, 6, 0},
        {11, "K выравн. тока(KL) (0-15)", 15, 7, 0},
        {9, "Шагов (0-30000)", 30000, 8, 1},
        {18, "Скор. об/мин (0-30000)", 30000, 9, 1},
        {19, "Уск. ш/с/с (0-1000)", 1000, 10, 1},
        {21, "Ток аварии (0-20000)", 20000, 11, 0},
    };
    for (const PromptRow& row : PROMPTS) {
      const QString prompt = QString::fromUtf8(row.prompt);
      const QByteArray name(row.prompt);
      QTest::newRow(name + " largest") << row.control << prompt << QString::number(row.largest) << row.code
                                       << row.largest << row.beeps;
      QTest::newRow(name + " one past") << row.control << prompt << QString::number(row.largest + 1) << row.code
                                        << -1 << row.beeps;
      QTest::newRow(name + " zero") << row.control << prompt << QString("0") << row.code << 0 << row.beeps;
    }
    const QString kp = "K пропорц. тока (Kp) (0-255)";
    QTest::newRow("empty") << int(ID_KP) << kp << QString() << int(CMD_SET_KP) << -1 << 0;
    QTest::newRow("sign") << int(ID_KP) << kp << QString("+5") << int(CMD_SET_KP) << -1 << 0;
    QTest::newRow("space before") << int(ID_KP) << kp << QString(" 5") << int(CMD_SET_KP) << -1 << 0;
    QTest::newRow("space after") << int(ID_KP) << kp << QString("5 ") << int(CMD_SET_KP) << -1 << 0;
    QTest::newRow("letter after") << int(ID_KP) << kp << QString("12a") << int(CMD_SET_KP) << -1 << 0;
  }
  void parameterPromptsQueueAcceptedNumbersAndRejectTheRest() {
    QFETCH(int, control);
    QFETCH(QString, prompt);
    QFETCH(QString, typed);
    QFETCH(int, code);
    QFETCH(int, queued);
    QFETCH(int, beeps);
    CountingPanel& panel = *panel_;
    int beepsAtOpen = -1;
    QString errorText, errorCaption;
    QMessageBox::StandardButtons errorButtons;
    QMessageBox::Icon errorIcon = QMessageBox::Warning;
    test::WhenPromptOpens(prompt, [&](QWidget* window) {
      beepsAtOpen = panel.beeps;
      test::WhenMessageBoxOpens([&](QMessageBox* box) {
        errorText = box->text();
        errorCaption = box->windowTitle();
        errorButtons = box->standardButtons();
        errorIcon = box->icon();
        box->button(QMessageBox::Ok)->click();
      });
      test::Answer(window, typed);
    });
    test::Click(panel, static_cast<ControlId>(control));

    QCOMPARE(beepsAtOpen, beeps);
    const auto sent = test::TakeQueued(panel.DriveLink());
    if (queued >= 0) {
      QCOMPARE(sent, (std::vector<std::pair<int, int>>{{code, queued}}));
      QCOMPARE(errorText, QString());
    } else {
      QVERIFY(sent.empty());
      QCOMPARE(errorText, QString("Ошибка ввода"));
      QCOMPARE(errorCaption, QCoreApplication::applicationName());
      QCOMPARE(errorButtons, QMessageBox::StandardButtons(QMessageBox::Ok));
      QCOMPARE(errorIcon, QMessageBox::NoIcon);
    }
  }

  void closingAPromptQueuesNothingAndShowsNothing() {
    bool boxSeen = false;
    test::WhenPromptOpens("Шагов (0-30000)", [&](QWidget* window) {
      test::WhenMessageBoxOpens([&](QMessageBox* box) {
        boxSeen = true;
        box->close();
      });
      window->close();
    });
    test::Click(*panel_, ID_STEPS);
    QTest::qWait(50);
    QVERIFY(!boxSeen);
    QVERIFY(test::TakeQueued(panel_->DriveLink()).empty());
  }

  // A full queue refuses the 256th command: the operator hears it and reads
  // it beside the status line, and the waiting commands keep their order.
  void aFullQueueBeepsAndKeepsTheWaitingCommands() {
    Link& link = panel_->DriveLink();
    for (int i = 0; i < 255; ++i) QVERIFY(QueuePush(link.queue, CMD_SET_STEPS, static_cast<uint16_t>(i)));
    link.state.jogActive = true;
    QVERIFY(!QToolTip::isVisible());
    test::Click(*panel_, ID_TEST);
    QCOMPARE(panel_->beeps, 1);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), QString("Команда не принята: 255 команд уже ждут отправки.\n"
                                       "Дождитесь, пока они уйдут к приводу, и повторите."));
    QCOMPARE(test::Shown(*panel_, ID_STATUS), QString("Выберите порт"));
    test::Click(*panel_, ID_STOP);
    QCOMPARE(panel_->beeps, 2);
    QVERIFY(!link.state.jogActive);
    test::Click(*panel_, ID_ROTATE_LEFT);
    QVERIFY(!link.state.jogActive);
    const auto waiting = test::TakeQueued(link);
    QCOMPARE(waiting.size(), size_t{255});
    for (int i = 0; i < 255; ++i) QCOMPARE(waiting[i], std::make_pair(int(CMD_SET_STEPS), i));
  }

  void choosingAPortThatIsNotThereSaysSoAndPollsNothing() {
    CountingPanel& panel = *panel_;
    auto* ports = static_cast<CPortSelector*>(panel.Control(ID_PORT_LIST));
    bool boxSeen = false;
    test::WhenMessageBoxOpens([&](QMessageBox* box) {
      boxSeen = true;
      box->close();
    });
    QString opened;
    connect(&panel, &CDrivePanelDlg::PortOpened, [&](const QString& name) { opened = name; });
    ports->setCurrentIndex(ports->findText("COM9"));  // /dev/ttyS8, absent here
    emit ports->activated(ports->currentIndex());
    QCOMPARE(test::Shown(panel, ID_STATUS), QString("Не удалось открыть порт"));
    QVERIFY(!panel.Control(ID_STATUS)->toolTip().isEmpty());
    QCOMPARE(panel.DriveLink().values.portName, std::string("COM9"));
    QCOMPARE(opened, QString("COM9"));
    QCOMPARE(panel.beeps, 1);
    QTest::qWait(50);
    QVERIFY(!boxSeen);
  }

  void whileThePanelRunsModalThePromptStillTakesInput() {
    CountingPanel& panel = *panel_;
    panel.hide();
    QTimer::singleShot(0, [&] {
      test::WhenPromptOpens("K пропорц. тока (Kp) (0-255)", [](QWidget* prompt) {
        // Blocked input would leave it open: closed then, it answers nothing.
        QTimer::singleShot(5000, prompt, [prompt] { prompt->close(); });
        test::AnswerThroughWindow(prompt, "7");
      });
      test::Click(panel, ID_KP);
      panel.close();
    });
    panel.exec();
    QCOMPARE(test::TakeQueued(panel.DriveLink()), (std::vector<std::pair<int, int>>{{CMD_SET_KP, 7}}));
  }

  // The panel hides at once, but its run ends only once the prompt's handler has finished.
  void closingThePanelWhileAPromptIsOpenEndsItAfterThePromptIsAnswered() {
    CountingPanel& panel = *panel_;
    panel.hide();
    bool hiddenWhilePrompting = false;
    QTimer::singleShot(0, [&] {
      test::WhenPromptOpens("K пропорц. тока (Kp) (0-255)", [&](QWidget* prompt) {
        panel.close();
        QTest::qWait(50);
        hiddenWhilePrompting = !panel.isVisible() && prompt->isVisible();
        test::AnswerThroughWindow(prompt, "5");
      });
      test::Click(panel, ID_KP);
    });
    QCOMPARE(panel.exec(), int(QDialog::Accepted));
    QVERIFY(hiddenWhilePrompting);
    QCOMPARE(test::TakeQueued(panel.DriveLink()), (std::vector<std::pair<int, int>>{{CMD_SET_KP, 5}}));
  }

  void theCloseBoxEndsThePanelAsVykhodDoesAndEscDoesNot_data() {
    QTest::addColumn<bool>("byCloseBox");
    QTest::newRow("Выход") << false;
    QTest::newRow("close box") << true;
  }
  void theCloseBoxEndsThePanelAsVykhodDoesAndEscDoesNot() {
    QFETCH(bool, byCloseBox);
    CountingPanel& panel = *panel_;
    panel.hide();
    bool openAfterEsc = false;
    QTimer::singleShot(0, [&] {
      QTest::keyClick(panel.focusWidget(), Qt::Key_Escape);
      openAfterEsc = panel.isVisible();
      // Chosen without running its handler: the ending must read it in.
      List(panel, ID_DIVISION_LIST)->setCurrentIndex(6);
      if (byCloseBox) {
        panel.close();
      } else {
        test::Click(panel, ID_EXIT);
      }
    });
    QCOMPARE(panel.exec(), int(QDialog::Accepted));
    QVERIFY(openAfterEsc);
    QVERIFY(!panel.isVisible());
    QCOMPARE(panel.DriveLink().values.divisionChoice, std::string("8"));
    QCOMPARE(test::TakeQueued(panel.DriveLink()), (std::vector<std::pair<int, int>>{{CMD_ACTION, ACT_REREAD}}));
  }

 private:
  std::unique_ptr<CountingPanel> panel_;
};

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  DrivePanelTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "drive_panel_test.moc"
