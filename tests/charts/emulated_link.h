// emulated_link.h: the panel's part in the poll cycle without the panel: a
// link on a real serial port, the emulator at the other end of a
// pseudo-terminal, and a 1 ms timer running PollTick. Ticked and PortOpened
// come when the panel's own signals would.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <string>

#include "link_controller.h"
#include "pty_runner.h"
#include "serial_port.h"

namespace velkor::test {

class EmulatedLink : public QObject, public PanelWindow {
  Q_OBJECT

 public:
  EmulatedLink();
  ~EmulatedLink() override;

  // Starts a fresh emulator and opens its terminal as the panel would.
  bool OpenEmulator();
  // Waits, polling, until the handshake is done; false after the timeout.
  bool WaitConnected(int timeoutMs = 20000);
  // Sets the jog speed and acceleration and starts a rotation to the right,
  // as the panel's buttons do, and waits until the driver turns. A link
  // dropped meanwhile (a starved emulator on a loaded machine) clears the
  // queue: the commands are then queued again.
  bool StartRotation(int16_t rpm, int16_t accel, int timeoutMs = 10000);

  Link link;
  const std::string& PortPath() const { return runner_->SlavePath(); }
  sim::PtyRunner& Runner() const { return *runner_; }

  void RefreshPanel() override {}
  void ReadPanel() override { link.values.portName = selected_; }
  void StartTick() override { tick_.start(); }
  void StopTick() override { tick_.stop(); }
  void ShowMessage(std::string_view) override {}
  void Beep() override {}

 signals:
  void Ticked();
  void PortOpened(const QString& portName);

 private:
  std::unique_ptr<sim::PtyRunner> runner_;
  SerialPort port_;
  QTimer tick_;
  std::string selected_;
};

}  // namespace velkor::test
