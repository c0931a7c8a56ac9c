// current_analysis_test.cpp: the "Анализ тока" window as the program offers
// it, against the emulated driver: its place in the context menu, figures
// unknown before any reading, a crawl that Esc or either "Стоп" ends with
// the stop on the wire, and the report files.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest/QtTest>

#include <algorithm>
#include <memory>

#include "crawl_view.h"
#include "tune_view.h"
#include "current_analysis_window.h"
#include "drive_app.h"
#include "drive_panel_dlg.h"
#include "panel_test_support.h"
#include "pty_runner.h"
#include "status_texts.h"
#include "temp_dir.h"
#include "tracking_view.h"

namespace velkor {
namespace {

constexpr int PATIENCE_MS = 20000;

bool Received(CDrivePanelDlg& panel, uint8_t code, int16_t value) {
  const std::vector<sim::ReceivedCommand> log = panel.Emulator()->CommandLog();
  return std::any_of(log.begin(), log.end(), [&](const auto& c) { return c.code == code && c.value == value; });
}

// Clicks "Пуск" in the question that comes before any motion.
void ConfirmMotion() {
  test::WhenMessageBoxOpens([](QMessageBox* box) {
    for (QAbstractButton* b : box->buttons())
      if (b->text() == "Пуск") b->click();
  });
}

QString Cell(TrackingView* view, const QString& name, int column) {
  QTableWidget* table = view->Figures();
  for (int row = 0; row < table->rowCount(); ++row)
    if (table->item(row, 0)->text() == name) return table->item(row, column)->text();
  return "no row " + name;
}

QString At(const test::TempDir& dir, const std::string& name) { return QString::fromStdString((dir / name).string()); }

}  // namespace

class CurrentAnalysisTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    panel_ = std::make_unique<CDrivePanelDlg>();
    DecoratePanel(*panel_);
    panel_->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel_.get()));
  }
  void cleanup() {
    test::StopPolling();
    panel_.reset();
  }

  void theItemFollowsProfilesAndCtrlTOpensOneWindowThatBlocksNothing() {
    const QList<QAction*> actions = panel_->actions();
    qsizetype profiles = -1, analysis = -1;
    for (qsizetype i = 0; i < actions.size(); ++i) {
      if (actions[i]->text() == QString::fromUtf8("Профили…")) profiles = i;
      if (actions[i]->text() == QString::fromUtf8("Анализ тока…")) analysis = i;
    }
    QVERIFY(profiles >= 0);
    QCOMPARE(analysis, profiles + 1);
    QCOMPARE(actions[analysis]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_T));
    QVERIFY(!panel_->findChild<CurrentAnalysisWindow*>());

    QTest::keyClick(panel_.get(), Qt::Key_T, Qt::ControlModifier);
    auto* window = panel_->findChild<CurrentAnalysisWindow*>();
    QVERIFY(window && window->isVisible() && window->isWindow());
    QCOMPARE(window->windowTitle(), QString::fromUtf8("Анализ тока"));
    QCOMPARE(window->windowModality(), Qt::NonModal);
    QTest::keyClick(panel_.get(), Qt::Key_T, Qt::ControlModifier);
    QCOMPARE(panel_->findChildren<CurrentAnalysisWindow*>().size(), 1);
  }

  // Before any reading every figure is unknown, never 0.
  void figuresWithoutReadingsShowAsUnknown_data() {
    QTest::addColumn<QString>("figure");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::newRow("bias") << "Смещение, мА" << "—" << "—";
    QTest::newRow("RMS error") << "СКО ошибки, мА" << "—" << "—";
    QTest::newRow("outside tolerance") << "Вне допуска, %" << "—" << "—";
    QTest::newRow("ratio") << "Отношение RMS изм./зад." << "—" << "—";
    QTest::newRow("basis") << "Основа: отсчёты, частота, потери" << "нет данных" << "нет данных";
    QTest::newRow("imbalance") << "Дисбаланс обмоток, %" << "—" << "";
    QTest::newRow("regulation") << "Регулирование потеряно" << "неизвестно" << "";
    QTest::newRow("ceiling") << "Потолок ШИМ" << "неизвестен" << "";
  }
  void figuresWithoutReadingsShowAsUnknown() {
    QFETCH(QString, figure);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QTest::keyClick(panel_.get(), Qt::Key_T, Qt::ControlModifier);
    auto* window = panel_->findChild<CurrentAnalysisWindow*>();
    QTRY_COMPARE_WITH_TIMEOUT(Cell(window->Tracking(), figure, 1), a, PATIENCE_MS);
    QCOMPARE(Cell(window->Tracking(), figure, 2), b);
  }

  void aCrawlEndsAtOnceWithTheStopOnTheWire_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Esc in the window") << "esc";
    QTest::newRow("the window's Стоп") << "button";
    QTest::newRow("the panel's Стоп") << "panel";
    QTest::newRow("closing the window") << "close";
  }
  void aCrawlEndsAtOnceWithTheStopOnTheWire() {
    QFETCH(QString, how);
    CurrentAnalysisWindow* window = Connect();
    window->Crawl()->AskToStart();
    ConfirmMotion();
    QTRY_VERIFY_WITH_TIMEOUT(Received(*panel_, CMD_ACTION, ACT_ROTATE_RIGHT), PATIENCE_MS);
    QVERIFY(window->MotionRunning());
    QVERIFY(!Received(*panel_, CMD_ACTION, ACT_STOP));
    if (how == "esc") {
      QTest::keyClick(window, Qt::Key_Escape);
    } else if (how == "button") {
      for (QPushButton* b : window->findChildren<QPushButton*>())
        if (b->text() == "Стоп (Esc)") QTest::mouseClick(b, Qt::LeftButton);
    } else if (how == "close") {
      window->close();
    } else {
      test::Click(*panel_, ID_STOP);
    }
    QTRY_VERIFY_WITH_TIMEOUT(Received(*panel_, CMD_ACTION, ACT_STOP), PATIENCE_MS);
    QTRY_VERIFY_WITH_TIMEOUT(!window->MotionRunning(), PATIENCE_MS);
    // The jog speed the crawl found goes back after the stop.
    QTRY_VERIFY_WITH_TIMEOUT(Received(*panel_, CMD_SET_JOG_SPEED, 60), PATIENCE_MS);
    const QString status = window->Crawl()->Status()->text();
    QVERIFY2(status.contains("остановлен оператором"), qPrintable(status));
    QVERIFY(!panel_->Emulator()->WithEmulator([](sim::Emulator& e) { return e.Moving(); }));
  }

  // The motor moves only on the operator's word: a question answered
  // "Отмена" sends nothing.
  void aCrawlNotConfirmedSendsNothing() {
    CurrentAnalysisWindow* window = Connect();
    const size_t before = panel_->Emulator()->CommandLog().size();
    test::WhenMessageBoxOpens([](QMessageBox* box) {
      for (QAbstractButton* b : box->buttons())
        if (b->text() == "Отмена") b->click();
    });
    window->Crawl()->AskToStart();
    QTRY_VERIFY_WITH_TIMEOUT(!test::OpenMessageBox(), PATIENCE_MS);
    QTest::qWait(300);  // dozens of status reports, each a chance to send
    QCOMPARE(panel_->Emulator()->CommandLog().size(), before);
    QVERIFY(!window->MotionRunning());
  }

  // After the driver's tuning, the operator's choice is carried out and told
  // only as far as the driver confirmed it.
  // Stopped before the driver tuned: cut short, and what was not measured is unknown.
  void aTuningStoppedWithEscReadsCutShortWithNothingUnmeasuredShown() {
    CurrentAnalysisWindow* window = Connect();
    window->Tune()->AskToStart();
    ConfirmMotion();
    QTRY_VERIFY_WITH_TIMEOUT(window->MotionRunning(), PATIENCE_MS);
    QTest::keyClick(window, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!window->MotionRunning(), PATIENCE_MS);
    QCOMPARE(window->Tune()->Status()->text(),
             QString("Автоподстройка: прервана. Итог: остановлен оператором; показано измеренное до остановки."));
    QTableWidget* table = window->Tune()->Comparison();
    QCOMPARE(table->item(0, 2)->text(), QString("—"));  // Kp after
    QCOMPARE(table->item(1, 2)->text(), QString("—"));  // KL after
    QVERIFY(!Received(*panel_, CMD_ACTION, ACT_AUTOTUNE));
  }

  void theTuningEndsAsTheOperatorDecides_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("keep") << "Оставить и записать в EEPROM" << int{CMD_ACTION} << int{ACT_SAVE_EEPROM}
                          << "Новые Kp и KL оставлены и записаны в EEPROM: привод подтвердил запись.";
    QTest::newRow("revert") << "Вернуть прежние" << int{CMD_SET_KP} << 30
                            << "Прежние параметры возвращены: привод сообщил каждый из них.";
  }
  void theTuningEndsAsTheOperatorDecides() {
    QFETCH(QString, button);
    QFETCH(int, code);
    QFETCH(int, value);
    QFETCH(QString, outcome);
    CurrentAnalysisWindow* window = Connect();
    window->Tune()->AskToStart();
    ConfirmMotion();
    QPushButton* decide = nullptr;
    for (QPushButton* b : window->Tune()->findChildren<QPushButton*>())
      if (b->text() == button) decide = b;
    QTRY_VERIFY_WITH_TIMEOUT(decide->isEnabled(), 3 * PATIENCE_MS);
    QVERIFY(Received(*panel_, CMD_ACTION, ACT_AUTOTUNE));
    QVERIFY(!Received(*panel_, static_cast<uint8_t>(code), static_cast<int16_t>(value)));
    QTest::mouseClick(decide, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!window->MotionRunning(), PATIENCE_MS);
    QVERIFY(Received(*panel_, static_cast<uint8_t>(code), static_cast<int16_t>(value)));
    bool told = false;
    for (QLabel* label : window->Tune()->findChildren<QLabel*>()) told = told || label->text() == outcome;
    QVERIFY(told);
  }

  void theReportIsWrittenAsPdfWithItsJsonBeside() {
    CurrentAnalysisWindow* window = Connect();
    QTRY_VERIFY_WITH_TIMEOUT(Cell(window->Tracking(), "Смещение, мА", 1) != "—", PATIENCE_MS);
    test::TempDir dir;
    QVERIFY(window->SaveReport(At(dir, "bench.pdf")));
    QFile pdf(At(dir, "bench.pdf"));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QCOMPARE(pdf.read(5), QByteArray("%PDF-"));
    QFile json(At(dir, "bench.json"));
    QVERIFY(json.open(QIODevice::ReadOnly));
    const QJsonObject report = QJsonDocument::fromJson(json.readAll()).object();
    QCOMPARE(report["format"].toString(), QString("velkor-current-report"));
    QCOMPARE(report["parameters"].toObject()["motionCurrent"].toInt(), 1000);
    const QJsonObject a = report["tracking"].toObject()["windings"].toObject()["A"].toObject()["all"].toObject();
    QVERIFY(a["basis"].toObject()["readings"].toInt() > 0);
    QVERIFY(a["rmsErrorMa"].isDouble());
  }

  void aReportThatCannotBeWrittenIsToldAsFailed() {
    CurrentAnalysisWindow* window = Connect();
    test::TempDir dir;
    const QString path = At(dir, "missing/bench.pdf");
    QVERIFY(!window->SaveReport(path));
    QMessageBox* box = test::OpenMessageBox();
    QVERIFY(box);
    QVERIFY(box->text().startsWith("Отчёт не записан: «" + path + "»"));
    QVERIFY(!QFile::exists(At(dir, "missing/bench.json")));
  }

 private:
  // The emulator chosen, connected, and the window open.
  CurrentAnalysisWindow* Connect() {
    auto* ports = static_cast<QComboBox*>(panel_->Control(ID_PORT_LIST));
    ports->setCurrentIndex(ports->findText(QString::fromUtf8("Эмулятор VK-3")));
    emit ports->activated(ports->currentIndex());
    [&] { QTRY_VERIFY_WITH_TIMEOUT(panel_->DriveLink().state.readyWord == READY_CONNECTED, PATIENCE_MS); }();
    [&] { QTRY_VERIFY_WITH_TIMEOUT(!QueueNotEmpty(panel_->DriveLink().queue), PATIENCE_MS); }();
    QTest::keyClick(panel_.get(), Qt::Key_T, Qt::ControlModifier);
    return panel_->findChild<CurrentAnalysisWindow*>();
  }

  std::unique_ptr<CDrivePanelDlg> panel_;
};

}  // namespace velkor

QTEST_MAIN(velkor::CurrentAnalysisTest)
#include "current_analysis_test.moc"
