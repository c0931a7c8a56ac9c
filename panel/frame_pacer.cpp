// frame_pacer.cpp: a top-level window paints when its update request arrives.
// A request that comes too soon after the last painting is held back; the
// window's changed regions wait with it, and one request sent at the end of the
// frame paints them all.
#include "frame_pacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace velkor {

FramePacer::FramePacer(QWidget* window) : QObject(window), window_(window) {
  deferred_.setSingleShot(true);
  connect(&deferred_, &QTimer::timeout, this,
          [this] { QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest)); });
  window->installEventFilter(this);
}

bool FramePacer::eventFilter(QObject* watched, QEvent* event) {
  if (watched != window_ || event->type() != QEvent::UpdateRequest) return false;
  const qint64 since = sinceFrame_.isValid() ? sinceFrame_.elapsed() : FRAME_MS;
  if (since < FRAME_MS) {
    if (!deferred_.isActive()) deferred_.start(static_cast<int>(FRAME_MS - since));
    return true;
  }
  sinceFrame_.restart();
  return false;
}

}  // namespace velkor
