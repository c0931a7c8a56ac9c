// chart_window_test.cpp: the "Графики" window fed by a link to the emulator, as
// the operator sees it: the traces, the pause, the exports and the recording.
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <QtTest/QtTest>
#include <qcustomplot.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "chart_window.h"
#include "codes.h"
#include "csv_reader.h"
#include "emulated_link.h"
#include "file_size_cap.h"
#include "trace_plot.h"

namespace velkor::charts {

namespace {

constexpr int WAIT_MS = 10000;  // generous: the machine is shared
constexpr int16_t JOG_RPM = 6;  // slow enough that every tick rate samples the currents' swing

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// A trace as the plot draws it: its points (x the sample's time), whether it
// is shown, its colour.
struct Trace {
  const TracePlot::Line* line;
  QList<QPointF> points() const {
    QList<QPointF> points;
    for (const QCPGraphData& point : *line->trace->Points()) points.append(QPointF(point.key, point.value));
    return points;
  }
  bool isVisible() const { return line->visible; }
  QColor color() const { return line->pen.color(); }
};

std::optional<Trace> Series(const ChartWindow& window, const char* label) {
  for (TracePlot* view : window.findChildren<TracePlot*>())
    for (const TracePlot::Line& line : view->Lines())
      if (line.name == Text(label)) return Trace{&line};
  return std::nullopt;
}

TracePlot* ViewOf(const ChartWindow& window, const char* label) {
  for (TracePlot* view : window.findChildren<TracePlot*>())
    for (const TracePlot::Line& line : view->Lines())
      if (line.name == Text(label)) return view;
  return nullptr;
}

template <typename Widget>
Widget* Find(const ChartWindow& window, const char* text) {
  for (Widget* widget : window.findChildren<Widget*>())
    if (widget->text() == Text(text)) return widget;
  return nullptr;
}

QString Note(const ChartWindow& window) {
  QString all;
  for (QLabel* label : window.findChildren<QLabel*>()) all += label->text() + '\n';
  return all;
}

// A plot as the window's backing store holds it: what the screen shows.
QImage OnScreen(QWidget& window, QWidget& view) {
  const QImage all = window.screen()->grabWindow(window.winId()).toImage();
  return all.copy(QRect(view.mapTo(&window, QPoint(0, 0)), view.size())).convertToFormat(QImage::Format_RGB32);
}

int SignChanges(const QList<QPointF>& points) {
  int changes = 0;
  for (qsizetype i = 1; i < points.size(); ++i)
    if ((points[i - 1].y() < 0) != (points[i].y() < 0)) ++changes;
  return changes;
}

}  // namespace

class ChartWindowTest : public QObject {
  Q_OBJECT

 private slots:
  // The view the window keeps goes to a private place, and every test
  // starts from the defaults.
  void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

  void init() {
    ForgetChartView();
    link_ = std::make_unique<test::EmulatedLink>();
    window_ = std::make_unique<ChartWindow>(link_->link.values);
    connect(link_.get(), &test::EmulatedLink::Ticked, window_.get(), &ChartWindow::TakeSample);
    connect(link_.get(), &test::EmulatedLink::PortOpened, window_.get(), &ChartWindow::OnPortChosen);
    window_->show();
    QVERIFY(link_->OpenEmulator());
    QVERIFY2(link_->WaitConnected(), qPrintable(Diagnose()));
  }

  void cleanup() {
    window_.reset();
    link_.reset();
  }

  void aRotationMakesTheSpeedTraceRiseAndTheCurrentTracesSwing() {
    QTest::qWait(500);  // at rest for a while first
    QVERIFY(Series(*window_, "Ток A"));
    QTRY_VERIFY(!Series(*window_, "Ток A")->points().isEmpty());
    QCOMPARE(SignChanges(Series(*window_, "Ток A")->points()), 0);

    Rotate();
    QTRY_VERIFY2_WITH_TIMEOUT(link_->link.values.shaftSpeed >= JOG_RPM - 1, qPrintable(Diagnose()), WAIT_MS);
    QTest::qWait(1500);

    const QList<QPointF> speed = Series(*window_, "Скорость")->points();
    QVERIFY(!speed.isEmpty());
    QCOMPARE(speed.first().y(), 0.0);
    QVERIFY2(speed.last().y() >= JOG_RPM - 1, qPrintable(QString::number(speed.last().y())));
    for (const char* trace : {"Ток A", "Ток B", "Задание тока A", "Задание тока B"}) {
      const int changes = SignChanges(Series(*window_, trace)->points());
      QVERIFY2(changes >= 4, qPrintable(QString("%1: %2 sign changes").arg(Text(trace)).arg(changes)));
    }
  }

  void pauseFreezesTheTracesWhileTheLinkGoesOn() {
    Rotate();
    QTest::qWait(500);
    QPushButton* pause = Find<QPushButton>(*window_, "Пауза");
    QVERIFY(pause);
    QTest::mouseClick(pause, Qt::LeftButton);
    QTest::qWait(100);  // a frame may still be due from before the click
    const QList<QPointF> speed = Series(*window_, "Скорость")->points();
    const QList<QPointF> current = Series(*window_, "Ток A")->points();
    const double newest = window_->History().Newest().seconds;
    const int16_t position = link_->link.values.position;

    QTest::qWait(500);
    QCOMPARE(Series(*window_, "Скорость")->points(), speed);
    QCOMPARE(Series(*window_, "Ток A")->points(), current);
    QVERIFY(window_->History().Newest().seconds > newest + 0.2);  // still sampling
    QVERIFY(link_->link.values.position != position);             // the shaft still turns
    QCOMPARE(pause->text(), Text("Продолжить"));

    // An export while paused holds what the chart shows, not what came since.
    QTemporaryDir dir;
    QVERIFY(window_->ExportCsv(dir.filePath("paused.csv")));
    const test::CsvFile csv = test::ReadCsv(dir.filePath("paused.csv"));
    QVERIFY(csv.wellFormed);
    const double exportedSpan = csv.rows.last()[0];
    QVERIFY2(qAbs(exportedSpan - (speed.last().x() - speed.first().x())) < 0.2, qPrintable(QString::number(exportedSpan)));
    QVERIFY(csv.rows.last()[csv.columns.indexOf("position_steps")] != link_->link.values.position);

    QTest::mouseClick(pause, Qt::LeftButton);
    QTRY_VERIFY(Series(*window_, "Ток A")->points() != current);
    QCOMPARE(pause->text(), Text("Пауза"));
  }

  void theExportedCsvReadsBackAndEndsOnThePanelsSpeed() {
    Rotate();
    QTRY_VERIFY_WITH_TIMEOUT(link_->link.values.shaftSpeed >= JOG_RPM - 1, WAIT_MS);
    QTemporaryDir dir;
    const QString path = dir.filePath("export.csv");
    QVERIFY(window_->ExportCsv(path));
    const int32_t shown = link_->link.values.shaftSpeed;

    const test::CsvFile csv = test::ReadCsv(path);
    QVERIFY(csv.wellFormed);
    QVERIFY(csv.endsWithNewline);
    QCOMPARE(csv.columns.join(','), Text("time_s,set_current_a_ma,set_current_b_ma,actual_current_a_ma,"
                                         "actual_current_b_ma,pwm_a,pwm_b,total_current_ma,shaft_speed_rpm,"
                                         "position_steps,phase"));
    QCOMPARE(csv.comments.value("port"), QString::fromStdString(link_->PortPath()));
    QVERIFY(QDateTime::fromString(csv.comments.value("recorded"), Qt::ISODate).isValid());
    // The emulator's factory settings, as the handshake reported them.
    QCOMPARE(csv.comments.value("step_division"), Text("8"));
    QCOMPARE(csv.comments.value("motion_current_ma"), Text("1000"));
    QCOMPARE(csv.comments.value("smoothing"), Text("off"));
    QCOMPARE(csv.comments.value("jog_speed_rpm"), QString::number(JOG_RPM));

    QCOMPARE(csv.rows.size(), qsizetype(window_->History().Size()));
    QCOMPARE(csv.rows.first()[0], 0.0);
    QVERIFY(csv.rows.last()[0] <= DEFAULT_SPAN_SECONDS);
    QCOMPARE(csv.rows.last()[csv.columns.indexOf("shaft_speed_rpm")], double(shown));
    QCOMPARE(csv.rows.last()[csv.columns.indexOf("position_steps")], double(link_->link.values.position));
  }

  void aFailedWriteStopsTheRecordingAndShowsTheWindowToSayWhy() {
    QTemporaryDir dir;
    const QString path = dir.filePath("full.csv");
    window_->hide();  // a recording runs on with the window closed
    QVERIFY(window_->StartRecording(path));
    const qint64 header = QFileInfo(path).size();
    {
      test::FileSizeCap cap(header + 2000);
      QTRY_VERIFY_WITH_TIMEOUT(!window_->Recording(), WAIT_MS);
    }
    QVERIFY(window_->isVisible());
    QVERIFY(!Find<QPushButton>(*window_, "Запись")->isChecked());
    QVERIFY2(Note(*window_).contains(Text("ошибка записи")), qPrintable(Note(*window_)));
    QVERIFY2(Note(*window_).contains("too large", Qt::CaseInsensitive), qPrintable(Note(*window_)));
    const test::CsvFile csv = test::ReadCsv(path);
    QVERIFY(csv.wellFormed);
    QVERIFY(csv.endsWithNewline);
    QVERIFY(!csv.rows.isEmpty());
  }

  void withoutAutoscaleTheVerticalRangeStaysPut() {
    QCPAxis* speedAxis = ViewOf(*window_, "Скорость")->yAxis;
    QTest::qWait(300);
    QTest::mouseClick(Find<QCheckBox>(*window_, "Автомасштаб"), Qt::LeftButton);
    const std::pair<double, double> fixed{speedAxis->range().lower, speedAxis->range().upper};
    QVERIFY(fixed.second < JOG_RPM - 1);  // fitted to the shaft at rest

    Rotate();
    QTRY_VERIFY_WITH_TIMEOUT(link_->link.values.shaftSpeed >= JOG_RPM - 1, WAIT_MS);
    QTest::qWait(200);
    QCOMPARE(std::make_pair(speedAxis->range().lower, speedAxis->range().upper), fixed);

    QTest::mouseClick(Find<QCheckBox>(*window_, "Автомасштаб"), Qt::LeftButton);
    QTRY_VERIFY(speedAxis->range().upper > link_->link.values.shaftSpeed);
  }

  void aSwitchedOffTraceIsHiddenAndAPlotWithNoneShownGivesWay() {
    QTest::mouseClick(Find<QCheckBox>(*window_, "Ток A"), Qt::LeftButton);
    QVERIFY(!Series(*window_, "Ток A")->isVisible());
    QVERIFY(Series(*window_, "Ток B")->isVisible());
    QVERIFY(ViewOf(*window_, "Ток B")->isVisible());

    QTest::mouseClick(Find<QCheckBox>(*window_, "ШИМ A"), Qt::LeftButton);
    QVERIFY(ViewOf(*window_, "ШИМ B")->isVisible());
    QTest::mouseClick(Find<QCheckBox>(*window_, "ШИМ B"), Qt::LeftButton);
    QVERIFY(!ViewOf(*window_, "ШИМ B")->isVisible());
    QTest::mouseClick(Find<QCheckBox>(*window_, "ШИМ B"), Qt::LeftButton);
    QVERIFY(ViewOf(*window_, "ШИМ B")->isVisible());
  }

  void theTimeAxisCoversTheChosenSeconds() {
    auto* span = window_->findChild<QSpinBox*>();
    QCOMPARE(span->value(), DEFAULT_SPAN_SECONDS);
    span->setValue(1);
    QCOMPARE(span->value(), MIN_SPAN_SECONDS);
    QTest::qWait(2500);
    QCPAxis* time = ViewOf(*window_, "Скорость")->xAxis;
    QCOMPARE(time->range().lower, -2.0);
    QCOMPARE(time->range().upper, 0.0);
    const SampleHistory& history = window_->History();
    QVERIFY(history.Newest().seconds - history.At(0).seconds <= 2.0);
    QVERIFY(history.Newest().seconds - history.At(0).seconds >= 1.5);
  }

  // Values the emulator never gives, straight from the panel's values: the
  // labels of each range autoscale picks are short whole numbers.
  void everyValueAxisLabelsItsRangeInWholeNumbers() {
    PanelValues values;
    values.pwmA = 25;
    values.pwmB = -10;
    values.position = -32768;
    ChartWindow window(values);
    window.show();
    window.TakeSample();
    values.position = 32767;
    window.TakeSample();
    window.DrawFrame();

    QCOMPARE(ViewOf(window, "ШИМ A")->yAxis->tickVectorLabels(),
             QList<QString>({"-20", "-10", "0", "10", "20", "30"}));
    QCOMPARE(ViewOf(window, "Положение")->yAxis->tickVectorLabels(),
             QList<QString>({"-40000", "-20000", "0", "20000", "40000"}));
    QCOMPARE(ViewOf(window, "Скорость")->yAxis->tickVectorLabels(), QList<QString>({"-1", "0", "1"}));
    QCOMPARE(ViewOf(window, "Скорость")->xAxis->tickVectorLabels(),
             QList<QString>({"-10", "-9", "-8", "-7", "-6", "-5", "-4", "-3", "-2", "-1", "0"}));
  }

  // The currents at rest, paused on -1..1: autoscale moves the range, the screen follows.
  void theAxesOnTheScreenFollowAnAutoscaleChangeWhilePaused() {
    PanelValues values;
    values.actualCurrentA = 500;
    ChartWindow window(values);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    TracePlot& currents = *ViewOf(window, "Ток A");
    QTest::mouseClick(Find<QCheckBox>(window, "Автомасштаб"), Qt::LeftButton);
    window.TakeSample();
    QTest::mouseClick(Find<QPushButton>(window, "Пауза"), Qt::LeftButton);
    window.DrawFrame();
    QTest::mouseClick(Find<QCheckBox>(window, "Автомасштаб"), Qt::LeftButton);
    window.DrawFrame();
    QCOMPARE(currents.yAxis->tickVectorLabels(), QList<QString>({"-200", "0", "200", "400", "600"}));
    QTRY_COMPARE(OnScreen(window, currents), currents.grab().toImage().convertToFormat(QImage::Format_RGB32));
  }

  void aWindowNeverShownStillExportsItsTraces() {
    PanelValues values;
    values.shaftSpeed = 30;
    ChartWindow window(values);
    QTest::qWait(1000);  // the samples come a while after the window was made
    for (int i = 0; i < 20; ++i) {
      window.TakeSample();
      QTest::qWait(10);
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("hidden.png");
    QVERIFY(window.ExportPng(path));
    const QImage image(path);
    const QRgb speedColour = Series(window, "Скорость")->color().rgb();
    // Inside the speed plot itself: its switch beside it wears the colour too.
    const QRect plot = ViewOf(window, "Скорость")->geometry();
    bool found = false;
    for (int y = plot.top(); y <= plot.bottom() && !found; ++y)
      for (int x = plot.left(); x <= plot.right() && !found; ++x) found = image.pixel(x, y) == speedColour;
    QVERIFY(found);
  }

  void theExportedPngShowsThePlots() {
    Rotate();
    QTest::qWait(500);
    QTemporaryDir dir;
    const QString path = dir.filePath("chart.png");
    QVERIFY(window_->ExportPng(path));
    const QImage image(path);
    QVERIFY(!image.isNull());
    QVERIFY(image.width() > 400 && image.height() > 300);
    // Some pixel wears the speed trace's colour.
    const QRgb speedColour = Series(*window_, "Скорость")->color().rgb();
    bool found = false;
    for (int y = 0; y < image.height() && !found; ++y)
      for (int x = 0; x < image.width() && !found; ++x) found = image.pixel(x, y) == speedColour;
    QVERIFY(found);
  }

 private:
  // What the link and the driver have been through, for a failure's message.
  QString Diagnose() const {
    const PanelValues& values = link_->link.values;
    QString text = QString("status \"%1\", speed %2, jog speed %3; the driver got:")
                       .arg(QString::fromUtf8(values.statusText.data(), values.statusText.size()))
                       .arg(values.shaftSpeed)
                       .arg(values.jogSpeed);
    for (const sim::ReceivedCommand& c : link_->Runner().CommandLog())
      text += QString(" %1=%2%3").arg(c.code).arg(c.value).arg(c.executed ? "" : " (not run)");
    return text;
  }

  void Rotate() { QVERIFY2(link_->StartRotation(JOG_RPM, 10), qPrintable(Diagnose())); }  // 0.6 s to full speed

  std::unique_ptr<test::EmulatedLink> link_;
  std::unique_ptr<ChartWindow> window_;
};

}  // namespace velkor::charts

QTEST_MAIN(velkor::charts::ChartWindowTest)
#include "chart_window_test.moc"
