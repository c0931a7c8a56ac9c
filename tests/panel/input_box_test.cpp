// input_box_test.cpp: the numeric prompt as the operator meets it: its window,
// what typing and clicking return, the keys that do nothing, the panel's timer
// running under it, nested prompts and the 255-character limit.
#include "input_box.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <ctime>
#include <functional>

using velkor::InputBoxResult;
using velkor::RunInputBox;

namespace {

// The open prompt window titled `title`, or nullptr.
QWidget* Prompt(const QString& title) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == "InputBox" && w->isVisible() && w->windowTitle() == title) {
      return w;
    }
  }
  return nullptr;
}

QLineEdit* Field(QWidget* prompt) { return prompt->findChild<QLineEdit*>(); }
QPushButton* OkButton(QWidget* prompt) { return prompt->findChild<QPushButton*>(); }

// Clicks into the field and types, as the operator does.
void Type(QWidget* prompt, const QString& text) {
  QTest::mouseClick(Field(prompt), Qt::LeftButton);
  for (const QChar c : text) {
    QTest::sendKeyEvent(QTest::Click, Field(prompt), Qt::Key_unknown, QString(c), Qt::NoModifier);
  }
}

void ClickOk(QWidget* prompt) { QTest::mouseClick(OkButton(prompt), Qt::LeftButton); }

// Runs `step` inside the prompt titled `title` once its loop is waiting and
// its window has been activated.
void WhenOpen(const QString& title, std::function<void(QWidget*)> step) {
  QTimer::singleShot(0, [title, step] {
    QWidget* prompt = Prompt(title);
    QVERIFY2(prompt != nullptr, qPrintable(title));
    QVERIFY(QTest::qWaitForWindowActive(prompt));
    step(prompt);
  });
}

double ProcessSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

class InputBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    // A failed step leaves its prompt open; closing every prompt after a while
    // turns that into a failed comparison instead of a hang.
    watchdog_.setSingleShot(true);
    watchdog_.setInterval(20000);
    connect(&watchdog_, &QTimer::timeout, [] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == "InputBox" && w->isVisible()) {
          w->close();
        }
      }
    });
    watchdog_.start();
  }

  // Every prompt window is gone once its RunInputBox has returned.
  void cleanup() {
    watchdog_.stop();
    watchdog_.disconnect();
    for (const QWidget* w : QApplication::topLevelWidgets()) {
      QVERIFY(w->objectName() != "InputBox");
    }
  }

  void thePromptWindowHasItsTitleSizePlaceAndControls() {
    QRect frame, button, field;
    QString buttonText, fieldText;
    bool buttonIsDefault = false, hasCloseBox = false, hasMinMax = true, resizable = false;
    QColor background;
    bool noControlFocusedAtOpen = false;
    WhenOpen("K пропорц. тока (Kp) (0-255)", [&](QWidget* prompt) {
      frame = prompt->frameGeometry();
      button = OkButton(prompt)->geometry();
      buttonText = OkButton(prompt)->text();
      buttonIsDefault = OkButton(prompt)->isDefault();
      field = Field(prompt)->geometry();
      fieldText = Field(prompt)->text();
      const Qt::WindowFlags flags = prompt->windowFlags();
      hasCloseBox = flags.testFlag(Qt::WindowCloseButtonHint);
      hasMinMax = flags.testFlag(Qt::WindowMinimizeButtonHint) ||
                  flags.testFlag(Qt::WindowMaximizeButtonHint);
      resizable = prompt->minimumSize() != prompt->maximumSize();
      background = prompt->grab().toImage().pixelColor(5, 50);
      noControlFocusedAtOpen = QApplication::focusWidget() == nullptr ||
                               QApplication::focusWidget() == prompt;
      prompt->close();
    });
    RunInputBox("K пропорц. тока (Kp) (0-255)");

    QCOMPARE(velkor::promptText, QString("K пропорц. тока (Kp) (0-255)"));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(frame, QRect(screen.width() / 2 - 120, screen.height() / 2 - 35, 240, 70));
    QCOMPARE(button, QRect(145, 10, 40, 20));
    QCOMPARE(buttonText, QString("Ok"));
    QVERIFY(buttonIsDefault);
    QCOMPARE(field, QRect(30, 10, 70, 20));
    QCOMPARE(fieldText, QString());
    QVERIFY(hasCloseBox);
    QVERIFY(!hasMinMax);
    QVERIFY(resizable);
    QCOMPARE(background, QColor(0xC0, 0xC0, 0xC0));
    QVERIFY(noControlFocusedAtOpen);
  }

  void typingAndOkReturnTheTypedText_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("a number") << "1500";
    QTest::newRow("leading zeros") << "007";
    QTest::newRow("anything, not only digits") << "12a -5 1.5";
    QTest::newRow("Cyrillic") << "Ошибка";
    QTest::newRow("nothing") << "";
  }

  void typingAndOkReturnTheTypedText() {
    QFETCH(QString, typed);
    WhenOpen("Ток движения (0-20000)", [typed](QWidget* prompt) {
      Type(prompt, typed);
      ClickOk(prompt);
    });
    const InputBoxResult result = RunInputBox("Ток движения (0-20000)");
    QVERIFY(result.accepted);
    QCOMPARE(result.text, typed);
  }

  void closingThePromptReturnsNotAcceptedAndNoText() {
    WhenOpen("Ток покоя (0-20000)", [](QWidget* prompt) {
      Type(prompt, "123");
      prompt->close();
    });
    const InputBoxResult result = RunInputBox("Ток покоя (0-20000)");
    QVERIFY(!result.accepted);
    QCOMPARE(result.text, QString());
  }

  void enterEscAndTabNeitherEndThePromptNorMoveTheFocus() {
    bool stillOpen = false;
    bool fieldKeptFocus = false;
    bool buttonKeptFocus = false;
    WhenOpen("Шагов (0-30000)", [&](QWidget* prompt) {
      const Qt::Key keys[] = {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Tab,
                              Qt::Key_Backtab};
      Type(prompt, "12");
      fieldKeptFocus = true;
      for (const Qt::Key key : keys) {
        QTest::keyClick(QApplication::focusWidget(), key);
        fieldKeptFocus = fieldKeptFocus && QApplication::focusWidget() == Field(prompt);
      }
      OkButton(prompt)->setFocus();
      buttonKeptFocus = true;
      for (const Qt::Key key : keys) {
        QTest::keyClick(QApplication::focusWidget(), key);
        buttonKeptFocus = buttonKeptFocus && QApplication::focusWidget() == OkButton(prompt);
      }
      QTest::qWait(50);
      stillOpen = prompt->isVisible();
      Type(prompt, "3");
      ClickOk(prompt);
    });
    const InputBoxResult result = RunInputBox("Шагов (0-30000)");
    QVERIFY(stillOpen);
    QVERIFY(fieldKeptFocus);
    QVERIFY(buttonKeptFocus);
    QVERIFY(result.accepted);
    QCOMPARE(result.text, QString("123"));
  }

  void thePanelsTimerKeepsFiringWhileThePromptIsOpen() {
    QTimer tick;
    tick.setInterval(1);
    int ticks = 0;
    connect(&tick, &QTimer::timeout, [&] {
      if (++ticks == 50) {
        ClickOk(Prompt("Скор. об/мин (0-30000)"));
      }
    });
    WhenOpen("Скор. об/мин (0-30000)", [&](QWidget* prompt) {
      Type(prompt, "900");
      tick.start();
    });
    const InputBoxResult result = RunInputBox("Скор. об/мин (0-30000)");
    QVERIFY2(result.accepted, "the timer never reached 50 ticks under the prompt");
    QCOMPARE(result.text, QString("900"));
    QVERIFY(ticks >= 50);
  }

  void anOpenPromptWaitsWithoutHoldingTheProcessor() {
    double cpu = 0;
    WhenOpen("Уск. ш/с/с (0-1000)", [&](QWidget* prompt) {
      QTest::qWait(100);  // let the first paint settle
      QTimer::singleShot(600, prompt, [&cpu, prompt, start = ProcessSeconds()] {
        cpu = ProcessSeconds() - start;
        prompt->close();
      });
    });
    RunInputBox("Уск. ш/с/с (0-1000)");
    // A polling loop would burn most of the 0.6 s even on a crowded machine.
    QVERIFY2(cpu < 0.06, qPrintable(QString("%1 s of processor time").arg(cpu)));
  }

  void nestedPromptsEachReturnTheirOwnAnswer_data() {
    QTest::addColumn<bool>("outerFirst");
    QTest::addColumn<bool>("innerAccepted");
    QTest::newRow("outer Ok clicked while the inner prompt is open") << true << true;
    QTest::newRow("inner Ok first, then outer Ok") << false << true;
    QTest::newRow("inner closed, outer Ok") << false << false;
  }

  void nestedPromptsEachReturnTheirOwnAnswer() {
    QFETCH(bool, outerFirst);
    QFETCH(bool, innerAccepted);
    InputBoxResult inner;
    bool outerOpenAfterInnerReturned = false;
    const QString outerTitle = "Ток аварии (0-20000)";
    const QString innerTitle = "K выравн. тока(KL) (0-15)";
    WhenOpen(outerTitle, [&](QWidget* outer) {
      Type(outer, "11");
      WhenOpen(innerTitle, [&, outer](QWidget* innerPrompt) {
        Type(innerPrompt, "22");
        if (outerFirst) {
          ClickOk(outer);
        }
        if (innerAccepted) {
          ClickOk(innerPrompt);
        } else {
          innerPrompt->close();
        }
        if (!outerFirst) {
          // The inner loop returns once this step is over; the outer is still waiting.
          QTimer::singleShot(0, [&, outer] {
            Type(outer, "3");
            ClickOk(outer);
          });
        }
      });
      // A second parameter button clicked while the first prompt is open.
      inner = RunInputBox(innerTitle);
      outerOpenAfterInnerReturned = Prompt(outerTitle) != nullptr;
    });
    const InputBoxResult outer = RunInputBox(outerTitle);

    // An answered prompt disappears at once, although its loop can only end
    // after the inner prompt's loop; an unanswered one stays open.
    QCOMPARE(outerOpenAfterInnerReturned, !outerFirst);
    QCOMPARE(inner.accepted, innerAccepted);
    QCOMPARE(inner.text, innerAccepted ? QString("22") : QString());
    QVERIFY(outer.accepted);
    QCOMPARE(outer.text, outerFirst ? QString("11") : QString("113"));
  }

  void onlyTheFirst255CharactersCount_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("returned");
    const QString digits255 = QString(254, '7') + "8";
    QTest::newRow("255 characters") << digits255 << digits255;
    QTest::newRow("256 characters") << digits255 + "9" << digits255;
    QTest::newRow("600 characters") << digits255 + QString(345, '9') << digits255;
    const QString cyrillic255(255, QChar(0x0416));
    QTest::newRow("Cyrillic counts characters, not bytes") << cyrillic255 + "Ж" << cyrillic255;
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");  // two UTF-16 units
    QTest::newRow("a character outside the BMP is kept whole as the 255th")
        << QString(254, 'a') + smile + "b" << QString(254, 'a') + smile;
    QTest::newRow("a character outside the BMP is dropped whole as the 256th")
        << QString(255, 'a') + smile << QString(255, 'a');
  }

  void onlyTheFirst255CharactersCount() {
    QFETCH(QString, typed);
    QFETCH(QString, returned);
    WhenOpen("Время (мСек) (0-60000)", [typed](QWidget* prompt) {
      QTest::mouseClick(Field(prompt), Qt::LeftButton);
      Field(prompt)->insert(typed);
      ClickOk(prompt);
    });
    const InputBoxResult result = RunInputBox("Время (мСек) (0-60000)");
    QVERIFY(result.accepted);
    QCOMPARE(result.text.size(), returned.size());
    QCOMPARE(result.text, returned);
  }

  // Last: once the application has been told to quit, every later event loop
  // of the process returns at once.
  void quittingTheApplicationEndsAnOpenPromptUnanswered() {
    WhenOpen("Шагов (0-30000)", [](QWidget* prompt) {
      Type(prompt, "5");
      QCoreApplication::exit(1);
    });
    const InputBoxResult result = RunInputBox("Шагов (0-30000)");
    QVERIFY(!result.accepted);
    QCOMPARE(result.text, QString());
  }

 private:
  QTimer watchdog_;
};

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  InputBoxTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "input_box_test.moc"
