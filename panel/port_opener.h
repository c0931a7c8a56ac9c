// port_opener.h: opening a port from the window's event loop, never waiting
// in it: a network port's lookup, connection and negotiation go on as a
// notifier on what it waits for and a timer for its step's end say, as the
// tick reader reads. A device opens at once. Depends on Qt Core and the
// network ports' AnyPort.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>
#include <string>

#include "any_port.h"

namespace velkor {

class CPortOpener : public QObject {
  Q_OBJECT

 public:
  explicit CPortOpener(AnyPort& port, QObject* parent = nullptr);

  // Opens `portName` on the port; Done follows, at once for a device. An open
  // under way is given up first.
  void Start(const std::string& portName);
  // Gives up an open under way; the port is closed. Nothing follows.
  void Cancel();
  bool Opening() const { return opening_; }

 signals:
  void Done(bool opened);

 private:
  void Continue();
  void Follow(OpenProgress progress);
  void DropNotifier();

  AnyPort& port_;
  QTimer due_;  // the step's end, when the port must be asked even if nothing came
  std::unique_ptr<QSocketNotifier> notifier_;
  bool opening_ = false;
};

}  // namespace velkor
