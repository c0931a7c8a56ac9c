// closed_list_wheel.cpp: the event filter that swallows wheel turns over a closed list.
#include "closed_list_wheel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>

namespace velkor {
namespace {

class ClosedListWheel : public QObject {
 public:
  explicit ClosedListWheel(QComboBox* list) : QObject(list), list_(list) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // The opened list is a window of its own and takes its wheel turns itself.
    if (watched == list_ && event->type() == QEvent::Wheel && !list_->view()->isVisible()) {
      event->ignore();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QComboBox* list_;
};

}  // namespace

void IgnoreWheelWhileClosed(QComboBox* list) { list->installEventFilter(new ClosedListWheel(list)); }

}  // namespace velkor
