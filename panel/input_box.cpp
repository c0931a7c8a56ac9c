// input_box.cpp: the prompt window and RunInputBox's nested event loop.
// Depends on Qt Widgets only; the caller turns the answer into a command.
#include "input_box.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace velkor {

QString promptText;

namespace {

constexpr QSize OUTER_SIZE(240, 70);
constexpr QRect BUTTON_RECT(145, 10, 40, 20);
constexpr QRect FIELD_RECT(30, 10, 70, 20);
constexpr QColor BACKGROUND(0xC0, 0xC0, 0xC0);  // the classic light-grey brush
constexpr qsizetype ANSWER_LIMIT = 255;
constexpr int QUIT_ACCEPTED = 1;
constexpr int QUIT_CLOSED = 0;

// Characters are counted as code points, the way the operator typed them: a
// character outside the Basic Multilingual Plane takes two UTF-16 units in a
// QString and is kept or dropped whole, never cut in half. (Counting UTF-8 bytes
// instead would let a Cyrillic answer keep only 127 characters.)
QString FirstCharacters(const QString& text, qsizetype count) {
  qsizetype end = 0;
  for (qsizetype n = 0; n < count && end < text.size(); ++n) {
    const bool pair = text.at(end).isHighSurrogate() && end + 1 < text.size() &&
                      text.at(end + 1).isLowSurrogate();
    end += pair ? 2 : 1;
  }
  return text.left(end);
}

// "Ok" is drawn as the default button, but the prompt has no dialog keys:
// Enter must not press it even when it has the focus (QPushButton clicks a
// focused default button on Enter by itself).
class OkButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      event->ignore();
      return;
    }
    QPushButton::keyPressEvent(event);
  }
};

// One prompt window. It writes its answer straight into the caller's result and
// ends exactly the loop it was given, so nested prompts never take each
// other's answers.
class InputBoxWindow : public QWidget {
 public:
  InputBoxWindow(QEventLoop& loop, InputBoxResult& answer, int extraWidth)
      : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
        loop_(loop),
        answer_(answer),
        outerSize_(OUTER_SIZE + QSize(extraWidth, 0)) {
    setObjectName("InputBox");
    setWindowTitle(promptText);
    // Closing a prompt must never count as the program's last window closing.
    setAttribute(Qt::WA_QuitOnClose, false);
    QPalette background = palette();
    background.setColor(QPalette::Window, BACKGROUND);
    setPalette(background);
    setAutoFillBackground(true);

    auto* button = new OkButton("Ok", this);
    button->setGeometry(BUTTON_RECT.translated(extraWidth, 0));
    button->setDefault(true);
    field_ = new QLineEdit(this);
    field_->setGeometry(FIELD_RECT.adjusted(0, 0, extraWidth, 0));
    // Click focus only: nothing has the focus when the prompt opens, and Tab
    // finds no control to move to.
    button->setFocusPolicy(Qt::ClickFocus);
    field_->setFocusPolicy(Qt::ClickFocus);
    QObject::connect(button, &QPushButton::clicked, this, [this] { Accept(); });

    resize(outerSize_);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect area = screen->geometry();
      // Moved before it is shown, a window is placed by its outer frame.
      move(area.x() + area.width() / 2 - outerSize_.width() / 2,
           area.y() + area.height() / 2 - outerSize_.height() / 2);
    }
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    answer_ = {};
    loop_.exit(QUIT_CLOSED);
    event->accept();
  }

  void showEvent(QShowEvent* event) override {
    FitOuterFrame();
    QWidget::showEvent(event);
  }

  void moveEvent(QMoveEvent* event) override {
    FitOuterFrame();
    QWidget::moveEvent(event);
  }

 private:
  // The answered window disappears at once; its loop may only return later,
  // when a prompt opened inside it has returned.
  void Accept() {
    answer_ = {true, FirstCharacters(field_->text(), ANSWER_LIMIT)};
    hide();
    loop_.exit(QUIT_ACCEPTED);
  }

  // The window manager's frame becomes known only after the window is mapped;
  // then the client area shrinks once so that the outer size stays 240 x 70.
  void FitOuterFrame() {
    if (frameFitted_) {
      return;
    }
    const QSize frame = frameGeometry().size() - size();
    if (frame.width() <= 0 && frame.height() <= 0) {
      return;
    }
    frameFitted_ = true;
    resize(outerSize_ - frame);
  }

  QEventLoop& loop_;
  InputBoxResult& answer_;
  QSize outerSize_;
  QLineEdit* field_ = nullptr;
  bool frameFitted_ = false;
};

}  // namespace

InputBoxResult RunInputBox(const QString& prompt, int extraWidth) {
  promptText = prompt;
  InputBoxResult answer;
  QEventLoop loop;
  InputBoxWindow window(loop, answer, extraWidth);
  window.show();
  window.activateWindow();
  // Waits for events rather than polling, and dispatches every event of the
  // thread: the panel's tick and its controls go on working. It also ends,
  // unanswered, when the application is told to quit.
  loop.exec();
  return answer;
}

}  // namespace velkor
