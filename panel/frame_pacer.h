// frame_pacer.h: paces the painting of one top-level window. Its displays may
// change at every poll tick, a hundred times a second; the screen is painted at
// most once a frame, and each painting takes in every change made since the
// last one, so nothing shown is older than a frame. Depends on Qt Widgets.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QWidget;

namespace velkor {

class FramePacer : public QObject {
 public:
  static constexpr int FRAME_MS = 33;

  // Paces `window`, a top-level widget, for as long as the window lives.
  explicit FramePacer(QWidget* window);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* window_;
  QElapsedTimer sinceFrame_;
  QTimer deferred_;
};

}  // namespace velkor
