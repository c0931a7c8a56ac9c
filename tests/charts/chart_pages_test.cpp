// chart_pages_test.cpp: the chart window's pages beside the live plots, as the
// operator sees them: a capture held and saved, recordings played back with
// their values at the cursors and their markers, files refused, and the view
// kept between runs.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest/QtTest>
#include <qcustomplot.h>

#include <sys/stat.h>
#include <unistd.h>

#include "capture_panel.h"
#include "chart_window.h"
#include "replay_panel.h"
#include "still_plots.h"

namespace velkor::charts {

namespace {

constexpr int WAIT_MS = 10000;

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

template <typename Widget>
Widget* Find(const QWidget& window, const char* text) {
  for (Widget* widget : window.findChildren<Widget*>())
    if (widget->text() == Text(text)) return widget;
  return nullptr;
}

// Current A rises through 100 at 0.03 s; a link lost at 0.05 s, a parameter at 0.06 s.
constexpr const char* RECORDING_V2 =
    "# velkor readings 2\n# recorded: 2026-12-08T22:00:00+01:00\n"
    "time_s,actual_current_a_ma,actual_current_b_ma,event\n"
    "0.000,10,-5,\n0.010,20,-6,\n0.020,50,-7,\n0.030,150,-8,\n0.040,300,-9,\n"
    "0.050,,,link_lost\n0.055,,,connected\n0.060,,,motionCurrent=1500\n0.070,310,-10,\n";
// The chart's first files: no version, every reading in a fixed order.
constexpr const char* RECORDING_V1 =
    "# Velkor: readings of the VK-3 driver\n# port: /dev/ttyUSB0\n"
    "time_s,set_current_a_ma,set_current_b_ma,actual_current_a_ma,actual_current_b_ma,pwm_a,pwm_b,total_current_ma,"
    "shaft_speed_rpm,position_steps\n"
    "0.000,0,0,10,-5,0,0,15,0,0\n0.010,0,0,20,-6,0,0,26,0,0\n0.020,0,0,50,-7,0,0,57,0,0\n"
    "0.030,0,0,150,-8,0,0,158,0,0\n0.040,0,0,300,-9,0,0,309,0,0\n";
// The same rise two samples later.
constexpr const char* AFTER =
    "# velkor readings 2\ntime_s,actual_current_a_ma,event\n"
    "0.000,0,\n0.010,0,\n0.020,0,\n0.030,0,\n0.040,0,\n0.050,160,\n0.060,320,\n";

QString Write(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
  QFile file(dir.filePath(name));
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) return {};
  return file.fileName();
}

// The cursor table's row of a trace: its values at both cursors and their difference.
QStringList Row(const StillPlots& plots, const QString& name) {
  QTableWidget* table = plots.CursorTable();
  for (int row = 0; row < table->rowCount(); ++row)
    if (table->item(row, 0)->text() == name)
      return {table->item(row, 1)->text(), table->item(row, 2)->text(), table->item(row, 3)->text()};
  return {};
}

}  // namespace

class ChartPagesTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

  void init() {
    ForgetChartView();
    window_ = std::make_unique<ChartWindow>(link_);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

  void cleanup() { window_.reset(); }

  void aReplayGivesTheRecordedValuesAtTheCursors_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("second");
    QTest::addColumn<QStringList>("currentA");
    QTest::newRow("readings format 2") << QByteArray(RECORDING_V2) << 0.015 << 0.04 << QStringList{"20", "300", "280"};
    QTest::newRow("the chart's first files") << QByteArray(RECORDING_V1) << 0.0 << 0.035 << QStringList{"10", "150", "140"};
    QTest::newRow("a cursor in the lost link") << QByteArray(RECORDING_V2) << 0.02 << 0.052 << QStringList{"50", "—", "—"};
  }

  void aReplayGivesTheRecordedValuesAtTheCursors() {
    QFETCH(QByteArray, text);
    QFETCH(double, first);
    QFETCH(double, second);
    QFETCH(QStringList, currentA);
    QTemporaryDir dir;
    ReplayPanel& replay = *window_->Replay();
    QSignalSpy loaded(&replay, &ReplayPanel::Loaded);
    replay.Open(Write(dir, "run.csv", text), false);
    QVERIFY(loaded.wait(WAIT_MS));
    QTest::mouseClick(Find<QCheckBox>(*window_, "Курсоры"), Qt::LeftButton);
    replay.Plots()->SetCursor(0, first);
    replay.Plots()->SetCursor(1, second);
    QCOMPARE(Row(*replay.Plots(), Text("Ток A")), currentA);
  }

  void aCursorDraggedWithTheMouseReadsWhereItIsLetGo() {
    QTemporaryDir dir;
    ReplayPanel& replay = *window_->Replay();
    QSignalSpy loaded(&replay, &ReplayPanel::Loaded);
    replay.Open(Write(dir, "run.csv", RECORDING_V2), false);
    QVERIFY(loaded.wait(WAIT_MS));
    window_->findChild<QTabWidget*>()->setCurrentWidget(&replay);
    QTest::mouseClick(Find<QCheckBox>(*window_, "Курсоры"), Qt::LeftButton);
    replay.SetSpan(0.1);
    StillPlots& plots = *replay.Plots();
    plots.SetCursor(0, 0.005);
    QCustomPlot* plot = plots.PlotOf(Plot::Currents);
    const int y = plot->axisRect()->center().y();
    const int from = static_cast<int>(plot->xAxis->coordToPixel(0.005));
    const int to = static_cast<int>(plot->xAxis->coordToPixel(0.045));
    QTest::mousePress(plot, Qt::LeftButton, {}, QPoint(from, y));
    QMouseEvent move(QEvent::MouseMove, QPointF(to, y), plot->mapToGlobal(QPointF(to, y)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    QTest::mouseRelease(plot, Qt::LeftButton, {}, QPoint(to, y));
    QVERIFY2(std::abs(plots.Cursor(0) - 0.045) < 0.002, qPrintable(QString::number(plots.Cursor(0))));
    QCOMPARE(Row(plots, Text("Ток A")).first(), QString("300"));
  }

  void markersLandAtTheirTimesWithTheirWordsInATooltip() {
    QTemporaryDir dir;
    ReplayPanel& replay = *window_->Replay();
    QSignalSpy loaded(&replay, &ReplayPanel::Loaded);
    replay.Open(Write(dir, "run.csv", RECORDING_V2), false);
    QVERIFY(loaded.wait(WAIT_MS));
    window_->findChild<QTabWidget*>()->setCurrentWidget(&replay);
    const std::vector<StillMarker>& markers = replay.Plots()->Markers();
    QCOMPARE(markers.size(), size_t{3});
    const std::array<std::pair<double, const char*>, 3> expected{
        {{0.05, "Обрыв связи"}, {0.055, "Связь установлена"}, {0.06, "Параметр motionCurrent=1500"}}};
    QCustomPlot* plot = replay.Plots()->PlotOf(Plot::Position);
    for (size_t i = 0; i < expected.size(); ++i) {
      QCOMPARE(markers[i].seconds, expected[i].first);
      QCOMPARE(markers[i].text, Text(expected[i].second));
    }
    // The pointer over the lost link's marker names it (the two others are further than a few pixels).
    replay.Plots()->SetTimeRange(0, 0.1);
    QCOMPARE(replay.Plots()->MarkersNear(plot, plot->xAxis->coordToPixel(0.05)),
             QStringList{Text("0.050 с: Обрыв связи")});
  }

  void twoRecordingsAlignAtTheTriggerFoundInBoth() {
    QTemporaryDir dir;
    ReplayPanel& replay = *window_->Replay();
    QSignalSpy loaded(&replay, &ReplayPanel::Loaded);
    replay.Open(Write(dir, "before.csv", RECORDING_V2), false);
    QVERIFY(loaded.wait(WAIT_MS));
    replay.Open(Write(dir, "after.csv", AFTER), true);
    QVERIFY(loaded.wait(WAIT_MS));
    window_->Captures()->Engine().Configure({.level = 100});  // current A rising through 100
    replay.SetAlignByTrigger(true);
    const std::vector<StillLayer>& layers = replay.Plots()->Layers();
    QCOMPARE(layers.size(), size_t{2});
    QCOMPARE(layers[0].offset, 0.03);
    QCOMPARE(layers[1].offset, 0.05);
    QVERIFY(layers[1].faint && !layers[0].faint);
    QTest::mouseClick(Find<QCheckBox>(*window_, "Курсоры"), Qt::LeftButton);
    replay.Plots()->SetCursor(0, 0);
    replay.Plots()->SetCursor(1, 0.01);
    QCOMPARE(Row(*replay.Plots(), Text("Ток A — before.csv")), QStringList({"150", "300", "150"}));
    QCOMPARE(Row(*replay.Plots(), Text("Ток A — after.csv")), QStringList({"160", "320", "160"}));
  }

  void aFileThatIsNoRecordingIsRefusedWithAMessage_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("words");
    QTest::newRow("a FIFO") << "fifo" << Text("не обычный файл");
    QTest::newRow("a folder") << "folder" << Text("не обычный файл");
    QTest::newRow("too large") << "huge" << Text("слишком велик");
    QTest::newRow("rich text") << "html" << Text("не открыт как запись: строка 1: нет ни одного столбца показаний");
  }

  void aFileThatIsNoRecordingIsRefusedWithAMessage() {
    QFETCH(QString, kind);
    QFETCH(QString, words);
    QTemporaryDir dir;
    QString path = dir.filePath(kind);
    if (kind == "fifo") QCOMPARE(mkfifo(path.toLocal8Bit().constData(), 0600), 0);
    if (kind == "folder") QVERIFY(QDir(dir.path()).mkdir(kind));
    if (kind == "huge") QCOMPARE(truncate(Write(dir, kind, "time_s\n").toLocal8Bit().constData(), MAX_REPLAY_BYTES + 1), 0);
    if (kind == "html") path = Write(dir, kind, "<h1>Заголовок</h1><img src=\"/etc/passwd\">\n");
    ReplayPanel& replay = *window_->Replay();
    QSignalSpy refused(&replay, &ReplayPanel::Refused);
    replay.Open(path, false);
    QVERIFY(refused.count() == 1 || refused.wait(WAIT_MS));
    QVERIFY2(refused.first().first().toString().contains(words), qPrintable(refused.first().first().toString()));
    QVERIFY(replay.Plots()->Layers().empty());
  }

  void aHeldCaptureIsSavedAndOpensAlignedAtItsTrigger() {
    CapturePanel& capture = *window_->Captures();
    auto* pre = capture.findChildren<QDoubleSpinBox*>()[1];
    auto* post = capture.findChildren<QDoubleSpinBox*>()[2];
    pre->setValue(0.02);
    post->setValue(0.02);
    capture.findChildren<QSpinBox*>()[0]->setValue(100);  // the level
    QTest::mouseClick(Find<QPushButton>(capture, "Взвести"), Qt::LeftButton);
    QCOMPARE(capture.StateText(), Text("Захват: взведён, ждёт события"));
    for (int i = 0; i < 8; ++i) {
      Sample sample;
      sample.seconds = 5 + i * 0.01;
      sample.values[Index(LiveReading::ActualCurrentA)] = i < 3 ? 0 : 600;  // rises at 5.03
      sample.known = 0x3ff;
      capture.OnSample(sample);
    }
    QCOMPARE(capture.StateText(), Text("Захват: удерживается (захватов: 1, последний — Ток A = 600)"));
    QCOMPARE(capture.Plots()->Layers().front().samples.size(), size_t{5});  // 5.01 .. 5.05

    QTemporaryDir dir;
    QVERIFY(window_->SaveCapture(dir.filePath("capture.csv")));
    ReplayPanel& replay = *window_->Replay();
    QSignalSpy loaded(&replay, &ReplayPanel::Loaded);
    replay.Open(dir.filePath("capture.csv"), false);
    QVERIFY(loaded.wait(WAIT_MS));
    replay.SetAlignByTrigger(true);
    QTest::mouseClick(Find<QCheckBox>(*window_, "Курсоры"), Qt::LeftButton);
    replay.Plots()->SetCursor(0, -0.01);
    replay.Plots()->SetCursor(1, 0);
    QCOMPARE(Row(*replay.Plots(), Text("Ток A")), QStringList({"0", "600", "600"}));
  }

  void theViewSurvivesAReopenAndResetViewRestoresTheDefaults() {
    QTest::mouseClick(Find<QCheckBox>(*window_, "Ток A"), Qt::LeftButton);
    QTest::mouseClick(Find<QCheckBox>(*window_, "Автомасштаб"), Qt::LeftButton);
    QTest::mouseClick(Find<QCheckBox>(*window_, "Курсоры"), Qt::LeftButton);
    window_->findChild<QSpinBox*>()->setValue(30);
    window_->resize(1000, 800);
    window_.reset();  // closed: the view is kept
    window_ = std::make_unique<ChartWindow>(link_);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QVERIFY(!Find<QCheckBox>(*window_, "Ток A")->isChecked());
    QVERIFY(!Find<QCheckBox>(*window_, "Автомасштаб")->isChecked());
    QVERIFY(Find<QCheckBox>(*window_, "Курсоры")->isChecked());
    QCOMPARE(window_->findChild<QSpinBox*>()->value(), 30);
    QCOMPARE(window_->size(), QSize(1000, 800));

    QTest::mouseClick(Find<QPushButton>(*window_, "Сбросить вид"), Qt::LeftButton);
    for (const char* box : {"Ток A", "Автомасштаб"}) QVERIFY(Find<QCheckBox>(*window_, box)->isChecked());
    QVERIFY(!Find<QCheckBox>(*window_, "Курсоры")->isChecked());
    QCOMPARE(window_->findChild<QSpinBox*>()->value(), DEFAULT_SPAN_SECONDS);
    QCOMPARE(window_->size(), DEFAULT_CHART_SIZE);
  }

 private:
  Link link_;
  std::unique_ptr<ChartWindow> window_;
};

}  // namespace velkor::charts

QTEST_MAIN(velkor::charts::ChartPagesTest)
#include "chart_pages_test.moc"
