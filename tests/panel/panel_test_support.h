// panel_test_support.h: what the panel tests share: a panel that counts its
// beeps, choosing a port, the commands waiting in its queue, and steps run inside the numeric
// prompt or a message box while their nested loops wait (stopped at the end of
// each test). Depends on Qt Test and the panel.
#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <utility>
#include <vector>

#include "command_queue.h"
#include "drive_panel_dlg.h"
#include "port_selector.h"

namespace velkor::test {

class CountingPanel : public CDrivePanelDlg {
 public:
  void Beep() override { ++beeps; }
  int beeps = 0;
};

// Puts the port into the panel's list, as the list shows a plugged-in adapter,
// and chooses it as a click in the list does.
inline void ChoosePort(CDrivePanelDlg& panel, const QString& portName) {
  auto* ports = static_cast<CPortSelector*>(panel.Control(ID_PORT_LIST));
  int index = ports->findData(portName);
  if (index < 0) {
    ports->addItem(portName, portName);
    index = ports->count() - 1;
  }
  ports->setCurrentIndex(index);
  emit ports->activated(index);
}

// The (code, value) pairs waiting in the queue, oldest first; the queue is emptied.
inline std::vector<std::pair<int, int>> TakeQueued(Link& link) {
  std::vector<std::pair<int, int>> queued;
  while (QueueNotEmpty(link.queue)) {
    const QueuedCommand c = QueuePop(link.queue);
    queued.emplace_back(c.code, c.value);
  }
  return queued;
}

inline QWidget* OpenPrompt(const QString& title) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == "InputBox" && w->isVisible() && w->windowTitle() == title) return w;
  }
  return nullptr;
}

inline QWidget* AnyOpenPrompt() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == "InputBox" && w->isVisible()) return w;
  }
  return nullptr;
}

inline QMessageBox* OpenMessageBox() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
  }
  return nullptr;
}

// Owns the pollers of the running test. Their steps capture the test's locals
// by reference, so none may outlive it: every test's cleanup calls StopPolling.
inline QObject& Pollers() {
  static QObject* owner = new QObject;
  return *owner;
}

inline void StopPolling() {
  for (QTimer* poll : Pollers().findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly)) {
    poll->stop();
    poll->deleteLater();
  }
}

// Runs `step` on the first visible top-level window `find` returns, checking
// every few milliseconds; after 20 s without one, gives up silently, so the
// test fails on its own assertions instead of hanging.
template <class Window>
void WhenShown(std::function<Window*()> find, std::function<void(Window*)> step) {
  auto* poll = new QTimer(&Pollers());
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [=, waited = 0]() mutable {
    Window* window = find();
    if (!window && ++waited < 4000) return;
    poll->stop();
    poll->deleteLater();
    if (window) step(window);
  });
  poll->start();
}

inline void WhenPromptOpens(const QString& title, std::function<void(QWidget*)> step) {
  WhenShown<QWidget>([title] { return OpenPrompt(title); }, std::move(step));
}

inline void WhenMessageBoxOpens(std::function<void(QMessageBox*)> step) {
  WhenShown<QMessageBox>(OpenMessageBox, std::move(step));
}

// Types into the prompt's field and clicks its "Ok", as the operator does.
inline void Answer(QWidget* prompt, const QString& text) {
  auto* field = prompt->findChild<QLineEdit*>();
  QTest::mouseClick(field, Qt::LeftButton);
  QTest::keyClicks(field, text);
  QTest::mouseClick(prompt->findChild<QPushButton*>(), Qt::LeftButton);
}

// The same through the window system, where a modal window would block it.
inline void AnswerThroughWindow(QWidget* prompt, const QString& text) {
  auto* field = prompt->findChild<QLineEdit*>();
  auto* ok = prompt->findChild<QPushButton*>();
  QWindow* window = prompt->windowHandle();
  QTest::mouseClick(window, Qt::LeftButton, {}, field->mapTo(prompt, field->rect().center()));
  for (const QChar c : text) QTest::keyClick(window, c.toLatin1());
  QTest::mouseClick(window, Qt::LeftButton, {}, ok->mapTo(prompt, ok->rect().center()));
}

inline void Click(CDrivePanelDlg& panel, ControlId id) {
  QTest::mouseClick(static_cast<QAbstractButton*>(panel.Control(id)), Qt::LeftButton);
}

inline QString Shown(CDrivePanelDlg& panel, ControlId id) {
  return static_cast<QLineEdit*>(panel.Control(id))->text();
}

}  // namespace velkor::test
