// chart_shell_test.cpp: the chart window as the program offers it: "Графики"
// after the About item, Ctrl+G on the panel, one window fed by the panel's
// own ticks, and a recording that the panel's port choice ends.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <QtTest/QtTest>

#include <memory>

#include "chart_window.h"
#include "drive_app.h"
#include "drive_panel_dlg.h"
#include "panel_layout.h"
#include "reading_file.h"

namespace velkor {

namespace {

constexpr int WAIT_MS = 10000;

charts::ChartWindow* ChartOf(CDrivePanelDlg& panel) { return panel.findChild<charts::ChartWindow*>(); }

QPushButton* RecordButton(const charts::ChartWindow& window) {
  for (QPushButton* button : window.findChildren<QPushButton*>())
    if (button->text() == QString::fromUtf8("Запись")) return button;
  return nullptr;
}

}  // namespace

class ChartShellTest : public QObject {
  Q_OBJECT

 private slots:
  // The view the window keeps goes to a private place, and every test
  // starts from the defaults.
  void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

  void init() {
    charts::ForgetChartView();
    panel_ = std::make_unique<CDrivePanelDlg>();
    DecoratePanel(*panel_);
    panel_->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel_.get()));
  }
  void cleanup() { panel_.reset(); }

  void theChartsItemFollowsAboutAndOpensOnlyOnUse() {
    const QList<QAction*> actions = panel_->actions();
    qsizetype about = -1;
    qsizetype charts = -1;
    for (qsizetype i = 0; i < actions.size(); ++i) {
      if (actions[i]->text() == QString::fromUtf8(ABOUT_ITEM)) about = i;
      if (actions[i]->text() == QString::fromUtf8("Графики")) charts = i;
    }
    QVERIFY(about >= 0);
    QCOMPARE(charts, about + 1);
    QCOMPARE(actions[charts]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_G));
    QVERIFY(!ChartOf(*panel_));
  }

  void ctrlGOpensOneChartWindowThatThePanelsTicksFeed() {
    ChooseEmulator();
    QTRY_VERIFY_WITH_TIMEOUT(panel_->DriveLink().values.statusText == STATUS_CONNECTED, WAIT_MS);

    QTest::keyClick(panel_.get(), Qt::Key_G, Qt::ControlModifier);
    charts::ChartWindow* window = ChartOf(*panel_);
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QVERIFY(window->isWindow());
    QCOMPARE(window->windowTitle(), QString::fromUtf8("Графики"));
    QCOMPARE(window->windowModality(), Qt::NonModal);

    QTRY_VERIFY_WITH_TIMEOUT(window->History().Size() > 20, WAIT_MS);
    // Between ticks the newest sample is what the panel shows.
    const PanelValues& values = panel_->DriveLink().values;
    QCOMPARE(window->History().Newest()[LiveReading::Position], int32_t{values.position});
    QCOMPARE(window->History().Newest()[LiveReading::ActualCurrentA], int32_t{values.actualCurrentA});

    // Closed and opened again: the same window, still sampling all along.
    window->close();
    const size_t held = window->History().Size();
    QTest::qWait(200);
    QVERIFY(window->History().Size() != held || held == charts::MAX_SAMPLES);
    panel_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(panel_.get()));
    QTest::keyClick(panel_.get(), Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(panel_->findChildren<charts::ChartWindow*>().size(), 1);
    QVERIFY(ChartOf(*panel_)->isVisible());
  }

  void onlyAnotherPortEndsTheRecordingOnAWholeLine() {
    ChooseEmulator();
    QTRY_VERIFY_WITH_TIMEOUT(panel_->DriveLink().values.statusText == STATUS_CONNECTED, WAIT_MS);
    QTest::keyClick(panel_.get(), Qt::Key_G, Qt::ControlModifier);
    charts::ChartWindow* window = ChartOf(*panel_);
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    QVERIFY(window->StartRecording(path));
    const QString port = QString::fromStdString(panel_->DriveLink().values.portName);
    window->close();  // the recording goes on without the window
    QTest::qWait(1000);
    QVERIFY(window->Recording());

    // The same entry opened again, as the reconnector does: the recording goes on.
    ChooseEmulator();
    QTRY_VERIFY_WITH_TIMEOUT(panel_->DriveLink().values.statusText == STATUS_CONNECTED, WAIT_MS);
    QVERIFY(window->Recording());
    // Another port: the recording ends, and the window says why.
    emit panel_->PortOpened("/dev/ttyUSB9");
    QVERIFY(!window->Recording());
    QVERIFY(window->isVisible());  // it shows why the recording ended
    QVERIFY(RecordButton(*window) && !RecordButton(*window)->isChecked());
    auto notes = [window] {
      QStringList notes;
      for (QLabel* label : window->findChildren<QLabel*>()) notes << label->text();
      return notes.join('|');
    };
    QTRY_VERIFY2(notes().contains(QString::fromUtf8("Запись остановлена: выбран другой порт — файл сохранён")),
                 qPrintable(notes()));

    // Nothing more reaches the file while the link runs on, and what it holds
    // ends on a whole line.
    const qint64 size = QFileInfo(path).size();
    QTest::qWait(300);
    QCOMPARE(QFileInfo(path).size(), size);
    charts::ReadingFile csv;
    charts::ReadingFileError error;
    QVERIFY2(charts::ReadReadingFile(path.toStdString(), csv, error), charts::ReadingFileErrorText(error).c_str());
    // The device the panel opened for the emulator's entry: its terminal.
    QCOMPARE(QString::fromStdString(charts::HeaderValue(csv, "port")), port);
    QVERIFY(port.startsWith("/dev/"));
    QVERIFY2(csv.samples.size() >= 5, qPrintable(QString::number(csv.samples.size())));
    for (size_t i = 1; i < csv.samples.size(); ++i) QVERIFY(csv.samples[i].seconds >= csv.samples[i - 1].seconds);
  }

  void theExportedCsvEndsOnTheSpeedThePanelShows() {
    ChooseEmulator();
    QTRY_VERIFY_WITH_TIMEOUT(panel_->DriveLink().values.statusText == STATUS_CONNECTED, WAIT_MS);
    QTest::mouseClick(static_cast<QAbstractButton*>(panel_->Control(ID_ROTATE_RIGHT)), Qt::LeftButton);
    QTest::keyClick(panel_.get(), Qt::Key_G, Qt::ControlModifier);
    auto* speed = static_cast<QLineEdit*>(panel_->Control(ID_SHAFT_SPEED));
    QTRY_VERIFY_WITH_TIMEOUT(speed->text().toInt() > 10, WAIT_MS);

    QTemporaryDir dir;
    const QString path = dir.filePath("export.csv");
    QVERIFY(ChartOf(*panel_)->ExportCsv(path));
    const QString shown = speed->text();
    charts::ReadingFile csv;
    charts::ReadingFileError error;
    QVERIFY2(charts::ReadReadingFile(path.toStdString(), csv, error), charts::ReadingFileErrorText(error).c_str());
    QCOMPARE(QString::number(csv.samples.back()[LiveReading::ShaftSpeed]), shown);
  }

 private:
  void ChooseEmulator() {
    auto* ports = static_cast<QComboBox*>(panel_->Control(ID_PORT_LIST));
    ports->setCurrentIndex(ports->findText(QString::fromUtf8("Эмулятор VK-3")));
    emit ports->activated(ports->currentIndex());
  }

  std::unique_ptr<CDrivePanelDlg> panel_;
};

}  // namespace velkor

QTEST_MAIN(velkor::ChartShellTest)
#include "chart_shell_test.moc"
