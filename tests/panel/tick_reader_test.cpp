// tick_reader_test.cpp: the panel's tick against a pseudo-terminal: where each
// read ends (a full buffer, a pause after a byte, the whole time with nothing),
// an unplugged adapter, and the window and the numeric prompt serving their
// events while a read waits.
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <vector>

#include "codes.h"
#include "drive_panel_dlg.h"
#include "frame.h"
#include "input_box.h"
#include "panel_test_support.h"
#include "port_selector.h"
#include "pty_peer.h"
#include "recording_window.h"
#include "serial_port.h"
#include "tick_reader.h"

using namespace velkor;
using std::chrono::milliseconds;

namespace {

// A position report: three bytes on the wire for values 1 to 127.
std::vector<uint8_t> Position(int16_t value) {
  const Frame f = EncodeReportFrame(RPT_POSITION, value);
  return {f.bytes, f.bytes + f.size};
}

qint64 SinceMs(test::Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(test::Clock::now() - start).count();
}

}  // namespace

class TickReaderTest : public QObject {
  Q_OBJECT

  // A link reading the terminal the peer drives, as the panel's is set up.
  struct Rig {
    test::PtyPeer peer;
    Link link;
    test::RecordingWindow window{link};
    SerialPort port;
    TickReader reader{link, port};
    QSignalSpy ticked{&reader, &TickReader::Ticked};

    Rig() {
      QVERIFY(port.Open(peer.TerminalPath()));
      QVERIFY(port.SetLineSettings());
      QVERIFY(port.SetTimeouts(DRIVER_TIMEOUTS));
      link.state.port = &port;
    }
    bool NextTick() { return ticked.wait(5000); }
  };

 private slots:
  void aFullBufferOf120BytesEndsTheReadAndTheRestComesNextTick() {
    Rig rig;
    std::vector<uint8_t> stream;
    for (int16_t v = 1; v <= 41; ++v) {
      const std::vector<uint8_t> frame = Position(v);
      QCOMPARE(frame.size(), size_t{3});
      stream.insert(stream.end(), frame.begin(), frame.end());
    }
    rig.peer.Send(stream);
    rig.reader.Start();
    QVERIFY(rig.NextTick());
    QCOMPARE(rig.link.values.position, int16_t{40});  // 40 frames, 120 bytes
    QVERIFY(rig.NextTick());
    QCOMPARE(rig.link.values.position, int16_t{41});
  }

  void aPauseAfterAByteEndsTheReadLongBeforeItsWholeTime() {
    Rig rig;
    // Were the read to last its 170 ms, both frames would come in the first.
    rig.peer.Play({{milliseconds(20), Position(105)}, {milliseconds(100), Position(106)}});
    rig.reader.Start();
    QVERIFY(rig.NextTick());
    QCOMPARE(rig.link.values.position, int16_t{105});
    QVERIFY(rig.NextTick());
    QCOMPARE(rig.link.values.position, int16_t{106});
    rig.peer.Finish();
  }

  void aSilentDriverEndsEachReadAfterItsWholeTimeWithNothing() {
    Rig rig;
    const auto start = test::Clock::now();
    rig.reader.Start();
    QVERIFY(rig.NextTick());
    QVERIFY2(SinceMs(start) >= 170, qPrintable(QString::number(SinceMs(start))));
    QCOMPARE(rig.window.calls, std::vector<std::string>{"RefreshPanel"});
    QVERIFY(rig.port.IsOpen());
  }

  void anUnpluggedAdapterClosesThePortWithinTheReadAndTheTicksGoOnWithoutSpinning() {
    Rig rig;
    rig.reader.Start();
    QTimer::singleShot(20, [&] { rig.peer.Unplug(); });
    QVERIFY(rig.NextTick());
    QCOMPARE(rig.port.Descriptor(), -1);
    QCOMPARE(rig.port.LastError(), PortError::NotFound);
    // Each read of the closed port waits out its 170 ms: a few ticks, not thousands.
    rig.ticked.clear();
    QTest::qWait(500);
    QVERIFY2(rig.ticked.size() >= 1 && rig.ticked.size() <= 3, qPrintable(QString::number(rig.ticked.size())));
  }

  void aStoppedReaderDropsTheReadUnderWayAndTicksNoMore() {
    Rig rig;
    rig.reader.Start();
    QTimer::singleShot(20, [&] {
      rig.reader.Stop();
      rig.peer.Send(Position(107));
    });
    QVERIFY(!rig.ticked.wait(400));
    QCOMPARE(rig.link.values.position, int16_t{0});
  }

  void theWindowServesItsEventsWhileAReadWaitsForASilentDriver() {
    Rig rig;
    rig.reader.Start();
    qsizetype ticksWhenServed = -1;
    QTimer::singleShot(20, [&] { ticksWhenServed = rig.ticked.size(); });
    QVERIFY(rig.NextTick());
    QCOMPARE(ticksWhenServed, qsizetype{0});
  }

  void theNumericPromptsLoopServesTheReads() {
    Rig rig;
    rig.reader.Start();
    rig.peer.Play({{milliseconds(30), Position(9)}});
    int16_t positionInPrompt = 0;
    test::WhenPromptOpens("Шагов (0-30000)", [&](QWidget* prompt) {
      QTimer::singleShot(300, prompt, [&, prompt] {
        positionInPrompt = rig.link.values.position;
        prompt->close();
      });
    });
    RunInputBox("Шагов (0-30000)");
    QCOMPARE(positionInPrompt, int16_t{9});
    rig.peer.Finish();
  }

  void aClickDuringTheFirstReadOfThePanelIsQueuedAtOnce() {
    test::PtyPeer peer;
    test::CountingPanel panel;
    QSignalSpy ticked(&panel, &CDrivePanelDlg::Ticked);
    auto* ports = static_cast<CPortSelector*>(panel.Control(ID_PORT_LIST));
    ports->addItem(QString::fromStdString(peer.TerminalPath()), QString::fromStdString(peer.TerminalPath()));
    ports->setCurrentIndex(ports->count() - 1);
    emit ports->activated(ports->count() - 1);
    QCOMPARE(test::Shown(panel, ID_STATUS), QString("Подключите устройство"));

    qsizetype ticksWhenClicked = -1;
    std::vector<std::pair<int, int>> queued;
    QTimer::singleShot(20, [&] {
      test::Click(panel, ID_TEST);
      ticksWhenClicked = ticked.size();
      queued = test::TakeQueued(panel.DriveLink());
    });
    QVERIFY(ticked.wait(5000));
    QCOMPARE(ticksWhenClicked, qsizetype{0});
    QCOMPARE(queued, (std::vector<std::pair<int, int>>{{CMD_ACTION, ACT_TEST}}));
  }
};

QTEST_MAIN(TickReaderTest)
#include "tick_reader_test.moc"
