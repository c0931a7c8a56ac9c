// exit_stop_test.cpp: ending the panel while the emulated driver's shaft turns
// under a jog, on a pseudo-terminal, with every byte from the panel taken off
// the wire: the stop action goes out and is carried out before the run ends,
// and no keep-alive follows it, also while a numeric prompt keeps the program
// going, and when the program is told to end by a signal.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <mutex>
#include <vector>

#include "codes.h"
#include "command_decoder.h"
#include "drive_panel_dlg.h"
#include "link_controller.h"
#include "panel_test_support.h"
#include "pty_runner.h"
#include "termination_signals.h"

#include <csignal>
#include <unistd.h>

using namespace velkor;

namespace {

// Generous: the emulator and the panel share two cores with everybody else.
constexpr int PATIENCE_MS = 20000;

// What the panel put on the wire, in order, as the driver reads it.
class WireLog {
 public:
  void Feed(const uint8_t* bytes, size_t count) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < count; ++i) {
      const sim::HostInput input = decoder_.FeedByte(bytes[i]);
      if (input.kind != sim::HostInputKind::kNothing) inputs_.push_back(input);
    }
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    decoder_ = {};
    inputs_.clear();
  }
  std::vector<sim::HostInput> Inputs() {
    std::lock_guard lock(mutex_);
    return inputs_;
  }
  long KeepAlives() {
    const auto all = Inputs();
    return std::count_if(all.begin(), all.end(),
                         [](const auto& in) { return in.kind == sim::HostInputKind::kKeepAlive; });
  }

 private:
  std::mutex mutex_;
  sim::CommandDecoder decoder_;
  std::vector<sim::HostInput> inputs_;
};

bool IsStop(const sim::HostInput& in) {
  return in.kind == sim::HostInputKind::kCommand && in.command.code == CMD_ACTION && in.command.value == ACT_STOP;
}

// After the first stop frame on the wire: how many keep-alives; -1 when no stop went out.
long KeepAlivesAfterStop(const std::vector<sim::HostInput>& inputs) {
  const auto stop = std::find_if(inputs.begin(), inputs.end(), IsStop);
  if (stop == inputs.end()) return -1;
  return std::count_if(stop, inputs.end(), [](const auto& in) { return in.kind == sim::HostInputKind::kKeepAlive; });
}

}  // namespace

class ExitStopTest : public QObject {
  Q_OBJECT

 private slots:
  // The driver keeps turning as long as it hears from the panel at all, so
  // only the stop action can have stopped it.
  void init() {
    sim::EmulatorOptions options;
    options.jogTimeoutMs = 60000;
    options.ignoreStops = QByteArray(QTest::currentTestFunction()).contains("MissesTheFirstStop") ? 1 : 0;
    wire_.Clear();
    runner_ = std::make_unique<sim::PtyRunner>(options);
    runner_->SetWireTap([this](sim::WireDirection direction, const uint8_t* bytes, size_t count, auto) {
      if (direction == sim::WireDirection::kFromPanel) wire_.Feed(bytes, count);
    });
    QVERIFY2(runner_->Start(), runner_->Error().c_str());

    panel_ = std::make_unique<CDrivePanelDlg>();
    panel_->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel_.get()));
    auto* ports = static_cast<QComboBox*>(panel_->Control(ID_PORT_LIST));
    ports->addItem("pty", QString::fromStdString(runner_->SlavePath()));
    ports->setCurrentIndex(ports->count() - 1);
    emit ports->activated(ports->currentIndex());
    QTRY_COMPARE_WITH_TIMEOUT(panel_->DriveLink().state.readyWord, READY_CONNECTED, PATIENCE_MS);

    test::Click(*panel_, ID_ROTATE_RIGHT);
    QTRY_VERIFY_WITH_TIMEOUT(wire_.KeepAlives() >= 3, PATIENCE_MS);
    QVERIFY(runner_->WithEmulator([](sim::Emulator& e) { return e.Jogging(); }));
  }
  void cleanup() {
    test::StopPolling();
    panel_.reset();
    runner_.reset();
  }

  void endingThePanelDuringARotationStopsTheShaftBeforeTheRunEnds() {
    QElapsedTimer ending;
    ending.start();
    panel_->close();
    const qint64 took = ending.elapsed();
    const bool stoppedAtEnd = !runner_->WithEmulator([](sim::Emulator& e) { return e.Moving(); });

    // Ended, but the process and the tick go on for a while: nothing more may leave.
    QTest::qWait(300);
    QVERIFY(!panel_->isVisible());
    QVERIFY2(stoppedAtEnd, qPrintable(QString("still turning when the run ended, %1 ms after the request").arg(took)));
    QCOMPARE(KeepAlivesAfterStop(wire_.Inputs()), 0);
  }

  // The end waits for the acknowledgement, not for the frame to leave.
  void endingThePanelWhenTheDriverMissesTheFirstStopSendsItAgainAndTheShaftStops() {
    panel_->close();
    QVERIFY(!runner_->WithEmulator([](sim::Emulator& e) { return e.Moving(); }));
    const auto inputs = wire_.Inputs();
    QVERIFY(std::count_if(inputs.begin(), inputs.end(), IsStop) >= 2);  // again until acknowledged
  }

  void endingThePanelWhileAPromptKeepsTheProgramGoingStopsTheShaftAndSendsNoKeepAlive() {
    CDrivePanelDlg& panel = *panel_;
    panel.hide();
    bool stoppedAtEnd = false;
    QTimer::singleShot(0, [&] {
      test::WhenPromptOpens("Шагов (0-30000)", [&](QWidget* prompt) {
        panel.close();
        stoppedAtEnd = !runner_->WithEmulator([](sim::Emulator& e) { return e.Moving(); });
        // The prompt is still open, the panel's tick still polls the driver.
        QTest::qWait(300);
        prompt->close();
      });
      test::Click(panel, ID_STEPS);
    });
    QCOMPARE(panel.exec(), int(QDialog::Accepted));
    QVERIFY(stoppedAtEnd);
    QCOMPARE(KeepAlivesAfterStop(wire_.Inputs()), 0);
  }

  void aTerminationSignalEndsThePanelLikeClosingIt() {
    CloseOnTerminationSignals(*panel_);
    QVERIFY(::kill(::getpid(), SIGTERM) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(!panel_->isVisible(), PATIENCE_MS);
    QVERIFY(!runner_->WithEmulator([](sim::Emulator& e) { return e.Moving(); }));
    QTest::qWait(300);
    QCOMPARE(KeepAlivesAfterStop(wire_.Inputs()), 0);
  }

 private:
  WireLog wire_;
  std::unique_ptr<sim::PtyRunner> runner_;
  std::unique_ptr<CDrivePanelDlg> panel_;
};

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ExitStopTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "exit_stop_test.moc"
