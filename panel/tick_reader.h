// tick_reader.h: the panel's poll tick, run without ever blocking the window
// thread. A tick counts the silence watchdog, starts a read and returns to the
// event loop; a notifier on the port's descriptor takes the bytes as they come
// and a timer marks the read's end by the link's read rules. Only then are the
// bytes decoded, dispatched and shown, and the next tick starts 1 ms later.
// Depends on Qt Core and the link.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>

#include "link_controller.h"
#include "port_timeouts.h"
#include "line_port.h"

namespace velkor {

class TickReader : public QObject {
  Q_OBJECT

 public:
  // Reads `port` for `link`, whose receive buffer takes the bytes.
  TickReader(Link& link, LinePort& port, QObject* parent = nullptr);

  // The first tick begins 1 ms from now.
  void Start();
  // Ends the ticks; a read under way is dropped, its bytes unread. Call it
  // before the port closes or changes.
  void Stop();
  bool Running() const { return running_; }

 signals:
  // After every tick, once the link has dispatched what the read brought.
  void Ticked();

 private:
  void BeginTick();
  void TakeBytes();
  void OnReadEnd();
  void EndTick();
  // The end timer, set for the read's end as it stands now.
  void WaitForEnd();
  void StopWatching();

  Link& link_;
  LinePort& port_;
  QTimer next_;  // the pause between one tick's end and the next tick
  QTimer end_;   // the read's end, if nothing more arrives
  std::unique_ptr<QSocketNotifier> notifier_;  // the port's descriptor, watched during a read
  PortRead read_;
  bool running_ = false;
  bool reading_ = false;
};

}  // namespace velkor
