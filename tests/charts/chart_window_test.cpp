// chart_window_test.cpp: the "Графики" window fed by a link to the emulator, or
// by reads written out, as the operator sees it: the traces, the pause, the
// span, the exports and the recording.
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
#include <cmath>
#include <limits>
#include <memory>
#include <optional>

#include "chart_window.h"
#include "codes.h"
#include "emulated_link.h"
#include "file_size_cap.h"
#include "reading_file.h"
#include "scripted_link.h"
#include "trace_plot.h"

namespace velkor::charts {

namespace {

constexpr int WAIT_MS = 10000;  // generous: the machine is shared
constexpr int16_t JOG_RPM = 6;  // slow enough that every tick rate samples the currents' swing

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// A break in a line (a lost link), as a value that compares equal to itself.
constexpr double BREAK = std::numeric_limits<double>::max();

// A trace as the plot draws it: its points (x the sample's time, y BREAK for
// a break), whether it is shown, its colour.
struct Trace {
  const TracePlot::Line* line;
  QList<QPointF> points() const {
    QList<QPointF> points;
    for (const QCPGraphData& point : *line->trace->Points())
      points.append(QPointF(point.key, std::isnan(point.value) ? BREAK : point.value));
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

ReadingFile ReadBack(const QString& path) {
  ReadingFile file;
  ReadingFileError error;
  if (!ReadReadingFile(path.toStdString(), file, error)) qWarning("%s: %s", qPrintable(path), charts::ReadingFileErrorText(error).c_str());
  return file;
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
    window_ = std::make_unique<ChartWindow>(link_->link);
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
    const ReadingFile csv = ReadBack(dir.filePath("paused.csv"));
    QVERIFY(!csv.samples.empty());
    const double exportedSpan = csv.samples.back().seconds;
    QVERIFY2(qAbs(exportedSpan - (speed.last().x() - speed.first().x())) < 0.2, qPrintable(QString::number(exportedSpan)));
    QVERIFY(csv.samples.back()[LiveReading::Position] != link_->link.values.position);

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

    const ReadingFile csv = ReadBack(path);
    QCOMPARE(csv.version, READING_FILE_VERSION);
    QCOMPARE(csv.columns, uint16_t{0x3ff});  // every reading
    QCOMPARE(HeaderValue(csv, "port"), link_->PortPath());
    QVERIFY(QDateTime::fromString(QString::fromStdString(HeaderValue(csv, "recorded")), Qt::ISODate).isValid());
    // The emulator's factory settings, as the handshake reported them.
    QCOMPARE(HeaderValue(csv, "parameter stepDivision"), "8");
    QCOMPARE(HeaderValue(csv, "parameter motionCurrent"), "1000");
    QCOMPARE(HeaderValue(csv, "parameter smoothing"), "0");
    QCOMPARE(HeaderValue(csv, "parameter jogSpeed"), std::to_string(JOG_RPM));

    QVERIFY(!csv.samples.empty());
    QCOMPARE(csv.samples.front().seconds, 0.0);
    QVERIFY(csv.samples.back().seconds <= DEFAULT_SPAN_SECONDS);
    QCOMPARE(csv.samples.back()[LiveReading::ShaftSpeed], shown);
    QCOMPARE(csv.samples.back()[LiveReading::Position], int32_t{link_->link.values.position});
  }

  void aFailedWriteStopsTheRecordingAndShowsTheWindowToSayWhy() {
    QTemporaryDir dir;
    const QString path = dir.filePath("full.csv");
    window_->hide();  // a recording runs on with the window closed
    {
      test::FileSizeCap cap(4000);  // the header and a few rows
      QVERIFY(window_->StartRecording(path));
      QTRY_VERIFY_WITH_TIMEOUT(!window_->Recording(), WAIT_MS);
    }
    QTRY_VERIFY_WITH_TIMEOUT(window_->isVisible(), WAIT_MS);  // told on the window's thread after the writer ends
    QVERIFY(!Find<QPushButton>(*window_, "Запись")->isChecked());
    QVERIFY2(Note(*window_).contains(Text("ошибка записи")), qPrintable(Note(*window_)));
    QTRY_VERIFY2(Note(*window_).contains("too large", Qt::CaseInsensitive), qPrintable(Note(*window_)));
    QVERIFY(!ReadBack(path).samples.empty());  // whole lines only
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

  // The traces cover the span; the store keeps more, for a longer span.
  void theTimeAxisCoversTheChosenSeconds() {
    auto* span = window_->findChild<QSpinBox*>();
    QCOMPARE(span->value(), DEFAULT_SPAN_SECONDS);
    span->setValue(1);
    QCOMPARE(span->value(), MIN_SPAN_SECONDS);
    QTest::qWait(2500);
    QCPAxis* time = ViewOf(*window_, "Скорость")->xAxis;
    QCOMPARE(time->range().lower, -2.0);
    QCOMPARE(time->range().upper, 0.0);
    const QList<QPointF> speed = Series(*window_, "Скорость")->points();
    QVERIFY(speed.last().x() - speed.first().x() <= 2.0);
    QVERIFY(speed.last().x() - speed.first().x() >= 1.5);
    const SampleStore& store = window_->History();
    QVERIFY(store.Newest().seconds - store.At(0).seconds > 2.5);
  }

  // Values the emulator never gives, straight from the panel's values: the
  // labels of each range autoscale picks are short whole numbers.
  void everyValueAxisLabelsItsRangeInWholeNumbers() {
    test::ScriptedLink driver;
    ChartWindow window(driver.link);
    window.show();
    driver.ReadAt(0, {{RPT_PWM_A, 25}, {RPT_PWM_B, -10}, {RPT_POSITION, -32768}});
    driver.ReadAt(0.01, {{RPT_POSITION, 32767}});
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
    test::ScriptedLink driver;
    ChartWindow window(driver.link);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    TracePlot& currents = *ViewOf(window, "Ток A");
    QTest::mouseClick(Find<QCheckBox>(window, "Автомасштаб"), Qt::LeftButton);
    driver.ReadAt(0, {{RPT_SET_CURRENT_A, 0}, {RPT_ACTUAL_CURRENT_A, 500}});
    QTest::mouseClick(Find<QPushButton>(window, "Пауза"), Qt::LeftButton);
    window.DrawFrame();
    QTest::mouseClick(Find<QCheckBox>(window, "Автомасштаб"), Qt::LeftButton);
    window.DrawFrame();
    QCOMPARE(currents.yAxis->tickVectorLabels(), QList<QString>({"-200", "0", "200", "400", "600"}));
    QTRY_COMPARE(OnScreen(window, currents), currents.grab().toImage().convertToFormat(QImage::Format_RGB32));
  }

  void aWindowNeverShownStillExportsItsTraces() {
    test::ScriptedLink driver;
    ChartWindow window(driver.link);
    driver.Connect(0);
    for (int i = 0; i < 20; ++i) driver.ReadAt(1 + i * 0.01, {{RPT_STATUS, 60}});
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

  // Each read brings a current that the next report of its type, in the same
  // read, overwrites: every one is in the trace and in the recording, at the
  // time it came (the read's end less the line time of the report after it).
  void aReportOverwrittenInItsOwnReadIsStillPlottedAndRecordedAtItsTime() {
    test::ScriptedLink driver;
    ChartWindow window(driver.link);
    window.show();
    driver.Connect(0);
    QTemporaryDir dir;
    QVERIFY(window.StartRecording(dir.filePath("spikes.csv")));
    struct Spike {
      double read;
      int16_t value;
      double recorded;  // seconds, as the file gives them
    };
    const Spike spikes[] = {{1, 3000, 0.999}, {2, -3000, 1.999}, {3, 2500, 2.999}, {4, 32767, 3.999}};
    for (const Spike& spike : spikes)
      driver.ReadAt(spike.read, {{RPT_ACTUAL_CURRENT_A, spike.value}, {RPT_ACTUAL_CURRENT_A, 500}});
    window.DrawFrame();
    window.StopRecording();
    QTRY_VERIFY(Note(window).contains(Text("файл сохранён")));

    const QList<QPointF> trace = Series(window, "Ток A")->points();
    const ReadingFile file = ReadBack(dir.filePath("spikes.csv"));
    QCOMPARE(file.samples.size(), size_t{8});
    for (size_t i = 0; i < 4; ++i) {
      const Sample& row = file.samples[2 * i];
      QCOMPARE(row.seconds, spikes[i].recorded);
      QCOMPARE(row[LiveReading::ActualCurrentA], int32_t{spikes[i].value});
      QCOMPARE(file.samples[2 * i + 1].seconds, spikes[i].read);
      QCOMPARE(file.samples[2 * i + 1][LiveReading::ActualCurrentA], 500);
      QVERIFY2(std::any_of(trace.begin(), trace.end(), [&](const QPointF& p) { return p.y() == spikes[i].value; }),
               qPrintable(QString::number(spikes[i].value)));
    }
  }

  // Six silent ticks lose the link: a marker row, then nothing until the
  // driver speaks again, and then only what it reported anew.
  void aLostLinkWritesAMarkerAndNoRowsUntilTheDriverSpeaksAgain() {
    test::ScriptedLink driver;
    ChartWindow window(driver.link);
    window.show();
    driver.Connect(0);
    QTemporaryDir dir;
    QVERIFY(window.StartRecording(dir.filePath("lost.csv")));
    driver.ReadAt(0.5, {{RPT_ACTUAL_CURRENT_A, 400}, {RPT_POSITION, 7}});
    driver.Silence(1);
    driver.ReadAt(7, {{RPT_POSITION, 9}});
    window.DrawFrame();
    window.StopRecording();
    QTRY_VERIFY(Note(window).contains(Text("файл сохранён")));

    const ReadingFile file = ReadBack(dir.filePath("lost.csv"));
    const std::pair<double, bool> rows[] = {{0.499, false}, {0.5, false}, {1.05, true}, {7, false}};  // seconds, gap
    QCOMPARE(file.samples.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
      QCOMPARE(file.samples[i].seconds, rows[i].first);
      QCOMPARE(file.samples[i].gap, rows[i].second);
    }
    QCOMPARE(file.samples[3][LiveReading::Position], 9);
    QVERIFY(!file.samples[3].Known(LiveReading::ActualCurrentA));
    QCOMPARE(file.markers.size(), size_t{1});
    QCOMPARE(EventWord(file.markers[0]), "link_lost");
    const QList<QPointF> position = Series(window, "Положение")->points();
    QVERIFY(std::any_of(position.begin(), position.end(), [](const QPointF& p) { return p.y() == BREAK; }));
  }

  // The reconnector opens the same port again: the recording and the traces
  // go on. The operator's choice of another port ends and clears them.
  void onlyAnotherPortEndsTheRecordingAndClearsTheTraces() {
    test::ScriptedLink driver;
    ChartWindow window(driver.link);
    window.OnPortChosen("/dev/ttyUSB0");
    driver.Connect(0);
    QTemporaryDir dir;
    QVERIFY(window.StartRecording(dir.filePath("port.csv")));
    driver.ReadAt(0.5, {{RPT_POSITION, 7}});
    const struct {
      const char* port;
      bool kept;
    } choices[] = {{"/dev/ttyUSB0", true}, {"/dev/ttyUSB1", false}};
    for (const auto& choice : choices) {
      const size_t held = window.History().Size();
      window.OnPortChosen(choice.port);
      QCOMPARE(window.Recording(), choice.kept);
      QCOMPARE(window.History().Size(), choice.kept ? held : size_t{0});
    }
    QVERIFY(Note(window).contains(Text("Запись остановлена: выбран другой порт")));
  }

  // "30" typed digit by digit passes through 3 s: nothing older is lost,
  // live or paused, and the traces cover 30 s again.
  void typingASpanKeepsTheHistoryOfTheLongestSpan() {
    test::ScriptedLink driver;
    ChartWindow window(driver.link);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    driver.Connect(0);
    for (int i = 1; i <= 400; ++i) driver.ReadAt(i * 0.1, {{RPT_POSITION, static_cast<int16_t>(i)}});
    auto* span = window.findChild<QSpinBox*>();
    for (bool paused : {false, true}) {
      if (paused) QTest::mouseClick(Find<QPushButton>(window, "Пауза"), Qt::LeftButton);
      const size_t held = window.History().Size();
      span->selectAll();
      QTest::keyClicks(span, "3");
      window.DrawFrame();
      QCOMPARE(window.Span(), 3);
      QTest::keyClicks(span, "0");
      window.DrawFrame();
      QCOMPARE(window.Span(), 30);
      QCOMPARE(window.History().Size(), held);
      const QList<QPointF> position = Series(window, "Положение")->points();
      QVERIFY2(position.last().x() - position.first().x() >= 29.8,
               qPrintable(QString::number(position.last().x() - position.first().x())));
    }
  }

  // A span out of range is taken as its bound, one with a fraction not at all; both are said.
  void aSpanTypedOutsideWholeSecondsInRangeIsSaidSo() {
    auto* span = window_->findChild<QSpinBox*>();
    const struct { const char* typed; int taken; const char* note; } rows[] = {
        {"99999", 60, "«99999» вне допустимого: интервал — целое число секунд от 2 до 60; взято 60 с"},
        {"2.5", 2, "«2.5» не принято: интервал — целое число секунд от 2 до 60; оставлено 2 с"},
    };
    for (const auto& row : rows) {
      span->selectAll();
      QTest::keyClicks(span, row.typed);
      QTest::keyClick(span, Qt::Key_Return);
      QCOMPARE(window_->Span(), row.taken);
      QVERIFY2(Note(*window_).contains(Text(row.note)), qPrintable(Note(*window_)));
    }
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
