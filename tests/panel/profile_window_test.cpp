// profile_window_test.cpp: the profiles window as the operator sees it, with
// the link and the emulated driver in virtual time: the rows and their
// statuses, the messages for bad files and a dropped link, the files it
// saves, and that it is not called on ticks while it is closed and idle.
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <fstream>

#include "drive_panel_dlg.h"
#include "panel_test_support.h"
#include "profile_window.h"
#include "temp_dir.h"
#include "pty_runner.h"
#include "virtual_line.h"

using namespace velkor;
using sim::testing::VirtualLine;

namespace {

// Stands in for the panel: its Ticked() follows every tick of the line.
class Ticker : public QObject {
  Q_OBJECT
 signals:
  void Ticked();
};

struct Bench {
  explicit Bench(sim::EmulatorOptions options = {}) : line(options), window(line.link, &ticker) {}
  VirtualLine line;
  Ticker ticker;
  ProfileWindow window;
  int ticksSeen = 0;

  void RunMs(uint32_t ms) {
    for (const uint64_t end = line.NowMs() + ms; line.NowMs() < end;) {
      line.Tick();
      emit ticker.Ticked();
    }
  }
  bool RunUntil(const std::function<bool()>& done, uint32_t limitMs) {
    for (const uint64_t end = line.NowMs() + limitMs; line.NowMs() < end;) {
      line.Tick();
      emit ticker.Ticked();
      if (done()) return true;
    }
    return false;
  }
  void Connect() {
    line.Open();
    QVERIFY(RunUntil([&] { return line.Connected(); }, 30));
    line.emulator.TakeCommandLog();
  }
};

QTableWidget* Table(ProfileWindow& w) { return w.findChild<QTableWidget*>(); }
QString Cell(ProfileWindow& w, int row, int column) { return Table(w)->item(row, column)->text(); }
QStringList Row(ProfileWindow& w, ParameterId id) {
  QStringList cells;
  for (int c = 0; c < Table(w)->columnCount(); ++c) cells << Cell(w, static_cast<int>(Index(id)), c);
  return cells;
}

QPushButton* Button(ProfileWindow& w, const QString& text) {
  for (QPushButton* b : w.findChildren<QPushButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

// The last label: the line under the table that says how things stand.
QString StatusLine(ProfileWindow& w) { return w.findChildren<QLabel*>().last()->text(); }

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

const std::string CLAMP_PROFILE = R"({"format": "velkor-profile", "version": 1, "device": "VK-3",
  "parameters": {"motionCurrent": 1500, "holdingCurrent": 800, "steps": 200}})";

}  // namespace

class ProfileWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { test::StopPolling(); }

  void aBadFileNamesItselfAndItsProblemAndNothingIsQueued_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("problem");
    QTest::newRow("broken") << "{\n\"format\": \"velkor-profile\",,\n}"
                            << "ошибка в записи JSON, строка 2, позиция 29.";
    QTest::newRow("out of range")
        << R"({"format": "velkor-profile", "version": 1, "device": "VK-3", "parameters": {"holdingCurrent": 25000}})"
        << "значение \"holdingCurrent\" 25000 вне диапазона 0-20000.";
  }
  void aBadFileNamesItselfAndItsProblemAndNothingIsQueued() {
    QFETCH(QString, text);
    QFETCH(QString, problem);
    Bench bench;
    bench.Connect();
    test::TempDir dir;
    const std::string path = dir / "bad.json";
    WriteFile(path, text.toStdString());
    QVERIFY(!bench.window.OpenProfile(QString::fromStdString(path)));
    QMessageBox* box = test::OpenMessageBox();
    QVERIFY(box);
    QCOMPARE(box->text(), "Файл \"" + QString::fromStdString(path) + "\": " + problem);
    QCOMPARE(box->textFormat(), Qt::PlainText);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);  // the panel's "Стоп" stays at hand
    box->close();
    QVERIFY(!Button(bench.window, "Применить")->isEnabled());
    QVERIFY(!Button(bench.window, "Применить и записать в EEPROM")->isEnabled());
    bench.window.Apply(true);
    QVERIFY(!QueueNotEmpty(bench.line.link.queue));
    bench.RunMs(100);
    QVERIFY(bench.line.emulator.TakeCommandLog().empty());
  }

  // The suffix is the dialog's own, so it asks about bench.json as typed
  // "bench". Neither the dialog nor the question is modal: the panel's "Стоп"
  // stays at hand while they are open.
  void savingAsANameWithoutItsSuffixAsksBeforeReplacingTheFileOfThatName() {
    Bench bench;
    bench.window.show();
    bench.Connect();
    bench.RunMs(1);
    test::TempDir dir;
    WriteFile(dir / "bench.json", "kept");
    QTest::mouseClick(Button(bench.window, "Сохранить параметры устройства…"), Qt::LeftButton);
    auto* dialog = bench.window.findChild<QFileDialog*>();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    name->setText(QString::fromStdString(dir / "bench"));
    QTest::keyClick(name, Qt::Key_Return);
    QMessageBox* question = test::OpenMessageBox();
    QVERIFY(question);
    QCOMPARE(question->text(), "Файл «" + QString::fromStdString(dir / "bench.json") + "» уже существует. Заменить его?");
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    question->button(QMessageBox::No)->click();
    QCOMPARE(test::FileText(dir / "bench.json"), "kept");
  }

  void aClampedCurrentShowsAsAMismatchAndNothingIsSaved() {
    sim::EmulatorOptions options;
    options.currentLimitMa = 1200;
    Bench bench(options);
    bench.window.show();
    bench.Connect();
    test::TempDir dir;
    const std::string path = dir / "clamp.json";
    WriteFile(path, CLAMP_PROFILE);
    QVERIFY(bench.window.OpenProfile(QString::fromStdString(path)));
    QCOMPARE(bench.window.findChildren<QLabel*>().at(1)->textFormat(), Qt::PlainText);  // the file's name and note
    QCOMPARE(Row(bench.window, ParameterId::MotionCurrent),
             (QStringList{"Ток движения (mA)", "1000", "1500", "отличается", ""}));
    QCOMPARE(Row(bench.window, ParameterId::Steps), (QStringList{"Шагов", "200", "200", "", ""}));
    QCOMPARE(Row(bench.window, ParameterId::JogSpeed), (QStringList{"Скор. (об/мин)", "60", "", "", ""}));
    QCOMPARE(StatusLine(bench.window), "Отличаются: 2 из 3.");

    QTest::mouseClick(Button(bench.window, "Применить и записать в EEPROM"), Qt::LeftButton);
    QCOMPARE(Cell(bench.window, 1, 4), "в очереди");
    QVERIFY(!Button(bench.window, "Применить")->isEnabled());
    QVERIFY(bench.RunUntil([&] { return Finished(bench.window.LastApply()); }, 500));
    QCOMPARE(Row(bench.window, ParameterId::MotionCurrent),
             (QStringList{"Ток движения (mA)", "1200", "1500", "отличается", "расхождение: устройство сообщило 1200"}));
    QCOMPARE(Row(bench.window, ParameterId::HoldingCurrent),
             (QStringList{"Ток удержания (mA)", "800", "800", "", "подтверждено"}));
    QCOMPARE(Row(bench.window, ParameterId::Steps), (QStringList{"Шагов", "200", "200", "", "подтверждено"}));
    QCOMPARE(StatusLine(bench.window),
             "Устройство сообщило другие значения: Ток движения (mA) (запрошено 1500, устройство сообщило 1200). "
             "В EEPROM ничего не записано.");
    bench.RunMs(200);
    std::vector<std::pair<int, int>> received;
    for (const auto& c : bench.line.emulator.TakeCommandLog()) received.emplace_back(c.code, c.value);
    QCOMPARE(received, (std::vector<std::pair<int, int>>{
                           {CMD_SET_MOTION_CURRENT, 1500}, {CMD_SET_HOLDING_CURRENT, 800}, {CMD_ACTION, ACT_REREAD}}));
    QVERIFY(Button(bench.window, "Применить")->isEnabled());
  }

  void aLinkDroppedDuringAnApplySaysWhatWasAndWasNotApplied() {
    Bench bench;
    bench.window.show();
    bench.Connect();
    test::TempDir dir;
    const std::string path = dir / "p.json";
    WriteFile(path, CLAMP_PROFILE);
    QVERIFY(bench.window.OpenProfile(QString::fromStdString(path)));
    bench.window.Apply(true);
    QVERIFY(bench.RunUntil([&] { return bench.window.LastApply().rows[0].status == ApplyRowStatus::Acknowledged; },
                           500));
    bench.line.emulator.StaySilent(1500);
    QVERIFY(bench.RunUntil([&] { return Finished(bench.window.LastApply()); }, 1200));
    const QString expected =
        "Связь прервалась во время применения. Применено, без проверки: Ток движения (mA). "
        "Не применено: Ток удержания (mA). "
        "В EEPROM ничего не записано; после восстановления связи примените профиль снова.";
    // Told in the status line; no box stands between the operator and the panel.
    QTest::qWait(50);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(bench.window.findChildren<QMessageBox*>().isEmpty());
    QCOMPARE(StatusLine(bench.window), expected);
    QCOMPARE(Cell(bench.window, 1, 4), "принято");
    QCOMPARE(Cell(bench.window, 3, 4), "не применено");
    QCOMPARE(Row(bench.window, ParameterId::Steps), (QStringList{"Шагов", "—", "200", "?", "неизвестно"}));
    // Applied again without the device's values: nothing is sent, and no match claimed.
    QTest::mouseClick(Button(bench.window, "Применить"), Qt::LeftButton);
    QVERIFY(StatusLine(bench.window).contains("ничего не отправлено"));
    QCOMPARE(Row(bench.window, ParameterId::Steps), (QStringList{"Шагов", "—", "200", "?", "неизвестно"}));
    // The driver back on a link started over: no earlier result is claimed for it.
    QVERIFY(bench.RunUntil([&] { return Row(bench.window, ParameterId::Steps)[1] == "200"; }, 5000));
    QCOMPARE(Row(bench.window, ParameterId::Steps)[4], "");
    QVERIFY2(StatusLine(bench.window).startsWith("Отличаются: "), qPrintable(StatusLine(bench.window)));
  }

  void theDriversParametersAreSavedWithTheNoteAndBecomeTheOpenProfile() {
    Bench bench;
    bench.window.show();
    QVERIFY(!Button(bench.window, "Сохранить параметры устройства…")->isEnabled());
    bench.Connect();
    bench.RunMs(1);
    QVERIFY(Button(bench.window, "Сохранить параметры устройства…")->isEnabled());
    bench.window.SetClock([] { return std::chrono::system_clock::time_point(std::chrono::seconds(1796734207)); });
    bench.window.findChild<QLineEdit*>()->setText("  стенд 2 ");
    test::TempDir dir;
    const std::string path = dir / "saved.json";
    QVERIFY(bench.window.SaveDriverProfile(QString::fromStdString(path)));
    QCOMPARE(QString::fromStdString(test::FileText(path)),
             "{\n"
             "  \"format\": \"velkor-profile\",\n"
             "  \"version\": 1,\n"
             "  \"device\": \"VK-3\",\n"
             "  \"savedAt\": \"2026-12-08T12:50:07Z\",\n"
             "  \"note\": \"стенд 2\",\n"
             "  \"parameters\": {\n"
             "    \"stepDivision\": 8,\n"
             "    \"motionCurrent\": 1000,\n"
             "    \"reductionDelay\": 500,\n"
             "    \"holdingCurrent\": 500,\n"
             "    \"faultCurrent\": 5000,\n"
             "    \"proportionalK\": 30,\n"
             "    \"levelingK\": 2,\n"
             "    \"steps\": 200,\n"
             "    \"jogSpeed\": 60,\n"
             "    \"jogAccel\": 100,\n"
             "    \"smoothing\": false\n"
             "  }\n"
             "}\n");
    QCOMPARE(Row(bench.window, ParameterId::Smoothing), (QStringList{"Сглаживание", "выкл.", "выкл.", "", ""}));
    QCOMPARE(StatusLine(bench.window), "Отличаются: 0 из 11.");
    // Held already, and saved all the same, once verified: the EEPROM cannot be read.
    bench.line.emulator.TakeCommandLog();
    QTest::mouseClick(Button(bench.window, "Применить и записать в EEPROM"), Qt::LeftButton);
    QCOMPARE(StatusLine(bench.window), "Проверка: устройство перечитывает значения…");
    QVERIFY(bench.RunUntil([&] { return Finished(bench.window.LastApply()); }, 500));
    QCOMPARE(StatusLine(bench.window),
             "Все значения подтверждены устройством; запись в EEPROM подтверждена устройством.");
    std::vector<std::pair<int, int>> received;
    for (const auto& c : bench.line.emulator.TakeCommandLog()) received.emplace_back(c.code, c.value);
    QCOMPARE(received, (std::vector<std::pair<int, int>>{{CMD_ACTION, ACT_REREAD}, {CMD_ACTION, ACT_SAVE_EEPROM}}));
  }

  // On the real panel: a port that fails to open still ends the apply, with
  // no tick to follow, and the requests become failed ones.
  void aPortThatFailsToOpenEndsTheApplyAndItsRequests() {
    CDrivePanelDlg panel;
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QTest::keyClick(panel.Control(ID_PORT_LIST), Qt::Key_End);
    QVERIFY(panel.Emulator() != nullptr);
    const ParameterStates& states = panel.DriveLink().parameters;
    QTRY_VERIFY_WITH_TIMEOUT(DriverSnapshotBlock(states) == SnapshotBlock::None, 20000);
    ProfileWindow window(panel.DriveLink(), &panel, &panel);
    test::TempDir dir;
    const std::string path = dir / "p.json";
    WriteFile(path, CLAMP_PROFILE);
    QVERIFY(window.OpenProfile(QString::fromStdString(path)));
    panel.Emulator()->WithEmulator([](sim::Emulator& e) { e.Options().ignoreCommandProbability = 1; });
    window.Apply(true);
    QCOMPARE(StatusLine(window), "Отправка значений…");
    test::ChoosePort(panel, "/dev/velkor-no-such-port");
    QCOMPARE(window.LastApply().outcome, ApplyOutcome::LinkDropped);
    QVERIFY(StatusLine(window).startsWith("Связь прервалась во время применения."));
    QVERIFY(Button(window, "Применить")->isEnabled());
    QVERIFY(!Pending(State(states, ParameterId::MotionCurrent)));
  }

  void closedAndIdleItIsNotCalledOnTicksButAnApplyRunsToItsEnd() {
    Bench bench;
    bench.Connect();
    QVERIFY(!bench.window.Listening());
    bench.window.show();
    QVERIFY(bench.window.Listening());
    test::TempDir dir;
    const std::string path = dir / "p.json";
    WriteFile(path, R"({"format": "velkor-profile", "version": 1, "device": "VK-3", "parameters": {"jogAccel": 250}})");
    QVERIFY(bench.window.OpenProfile(QString::fromStdString(path)));
    bench.window.Apply(false);
    // The rows are the apply's until it ends: no other profile meanwhile.
    QVERIFY(!Button(bench.window, "Открыть профиль…")->isEnabled());
    QVERIFY(!bench.window.OpenProfile(QString::fromStdString(path)));
    bench.window.close();
    QVERIFY(bench.window.Listening());
    QVERIFY(bench.RunUntil([&] { return Finished(bench.window.LastApply()); }, 500));
    QCOMPARE(bench.window.LastApply().outcome, ApplyOutcome::Confirmed);
    QVERIFY(!bench.window.Listening());
    // Shown again, it shows the driver as it is now.
    bench.window.show();
    QCOMPARE(Row(bench.window, ParameterId::JogAccel),
             (QStringList{"Уск. (об/с/с)", "250", "250", "", "подтверждено"}));
  }
};

QTEST_MAIN(ProfileWindowTest)
#include "profile_window_test.moc"
