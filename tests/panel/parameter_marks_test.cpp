// parameter_marks_test.cpp: the marks and tooltips of the parameter displays
// as the operator sees them. First on a panel with no port, whose link is fed
// the commands and reports by hand; then against the emulated driver: a
// request it does not acknowledge, a current it clamps, auto-tuning, a save,
// the same port chosen again and another driver moved onto the line.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <QToolTip>

#include <cmath>
#include <functional>

#include "codes.h"
#include "drive_panel_dlg.h"
#include "panel_test_support.h"
#include "parameter_mark.h"
#include "pty_runner.h"

using namespace velkor;

// What a row of a table feeds the link.
using Feed = void (*)(ParameterStates&);
Q_DECLARE_METATYPE(Feed)

namespace {

constexpr int PATIENCE_MS = 20000;

// The panel's clock stands still at 12:50:07 UTC in these tests.
constexpr int64_t NOW = 1796734207;
int64_t StillClock() { return NOW; }

const QString EEPROM_UNKNOWN =
    "Что в EEPROM, неизвестно: прочитать его нельзя,\n"
    "а записи, подтверждённой устройством, с подключения не было.";
QString EepromInferred(const char* value) {
  return QString("В EEPROM, по всей видимости, %1: запись подтверждена устройством в 12:50:07\n"
                 "(само EEPROM прочитать нельзя).").arg(value);
}
QString ChangedSinceConnection(const char* then, const char* now) {
  return QString("✱ изменено после подключения: было %1 (в 12:50:07), сейчас %2 (в 12:50:07)").arg(then, now);
}


CParameterMark* MarkOf(CDrivePanelDlg& panel, ControlId id) {
  return panel.findChild<CParameterMark*>(QStringLiteral("mark%1").arg(static_cast<int>(id)));
}

// The glyphs the operator sees beside the display: none while the mark is hidden.
QString Glyphs(CDrivePanelDlg& panel, ControlId id) {
  CParameterMark* mark = MarkOf(panel, id);
  return mark->isVisible() ? mark->Glyphs() : QString();
}

QString ToolTip(CDrivePanelDlg& panel, ControlId id) { return panel.Control(id)->toolTip(); }

// A command as the link controller feeds it: queued, sent and acknowledged.
void Carried(ParameterStates& states, uint8_t code, uint16_t value) {
  NoteQueued(states, code, value);
  NoteSent(states, code, value);
  NoteAcknowledged(states, code, value);
}

double Luminance(const QColor& c) {
  const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QPalette WindowPalette(const char* window) {
  QPalette palette;
  palette.setColor(QPalette::Window, QColor(window));
  return palette;
}

std::vector<sim::ReceivedCommand> Received(CDrivePanelDlg& panel) { return panel.Emulator()->CommandLog(); }

void SetKnobs(CDrivePanelDlg& panel, const std::function<void(sim::EmulatorOptions&)>& set) {
  panel.Emulator()->WithEmulator([&](sim::Emulator& e) { set(e.Options()); });
}

int CountOf(const std::vector<sim::ReceivedCommand>& log, uint8_t code, int16_t value) {
  return static_cast<int>(
      std::count_if(log.begin(), log.end(), [&](const auto& c) { return c.code == code && c.value == value; }));
}

// Counts the paint events of a widget.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// Where a display draws its text: from its cursor at either end.
QRect DrawnText(QLineEdit* edit) {
  edit->setCursorPosition(0);
  const int start = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().left();
  edit->end(false);
  const int end = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().left(), height = edit->fontMetrics().height();
  return QRect(edit->x() + start, edit->geometry().center().y() - height / 2, end - start, height);
}

}  // namespace

class ParameterMarksTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { test::StopPolling(); }

  // Each row feeds the link, then looks at one control's mark and tooltip.
  void eachStateHasItsGlyphAndItsWords_data() {
    QTest::addColumn<Feed>("feed");
    QTest::addColumn<int>("control");
    QTest::addColumn<QString>("glyphs");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("queued") << Feed([](ParameterStates& s) {
      NoteReport(s, RPT_MOTION_CURRENT, 1000);
      NoteQueued(s, CMD_SET_MOTION_CURRENT, 1500);
    }) << int{ID_MOTION_CURRENT_SHOWN} << "→"
                            << "→ запрошено 1500: ждёт отправки в очереди команд\n" + EEPROM_UNKNOWN;
    QTest::newRow("acknowledged, report due") << Feed([](ParameterStates& s) {
      NoteReport(s, RPT_MOTION_CURRENT, 1000);
      Carried(s, CMD_SET_MOTION_CURRENT, 1500);
    }) << int{ID_MOTION_CURRENT_SHOWN} << "→"
                                              << "→ запрошено 1500: устройство подтвердило, его сообщение о "
                                                 "значении ещё не пришло\n" + EEPROM_UNKNOWN;
    QTest::newRow("changed back by the driver") << Feed([](ParameterStates& s) {
      NoteReport(s, RPT_KP, 30);
      NoteReport(s, RPT_KP, 42);
      NoteReport(s, RPT_KP, 30);
    }) << int{ID_KP_SHOWN} << "" << "";
    QTest::newRow("a new request after a clamp") << Feed([](ParameterStates& s) {
      NoteReport(s, RPT_FAULT_CURRENT, 5000);
      Carried(s, CMD_SET_FAULT_CURRENT, 9000);
      NoteReport(s, RPT_FAULT_CURRENT, 8000);
      NoteQueued(s, CMD_SET_FAULT_CURRENT, 7000);
    }) << int{ID_FAULT_CURRENT_SHOWN} << "≠→✱"
                                                 << "≠ запрошено 9000, устройство сообщило 8000\n"
                                                    "→ запрошено 7000: ждёт отправки в очереди команд\n" +
                                                        ChangedSinceConnection("5000", "8000") + "\n" + EEPROM_UNKNOWN;
    // 60000 ms travels as a negative number.
    QTest::newRow("the longest delay") << Feed([](ParameterStates& s) {
      NoteReport(s, RPT_REDUCTION_DELAY, 500);
      Carried(s, CMD_SET_REDUCTION_DELAY, 60000);
      NoteReport(s, RPT_REDUCTION_DELAY, static_cast<int16_t>(-5536));
    }) << int{ID_REDUCTION_DELAY_SHOWN} << "✱"
                                       << ChangedSinceConnection("500", "60000") + "\n" + EEPROM_UNKNOWN;
    QTest::newRow("smoothing asked for") << Feed([](ParameterStates& s) {
      NoteReport(s, RPT_KL_SMOOTHING, 2);
      NoteQueued(s, CMD_ACTION, ACT_TOGGLE_SMOOTHING);
    }) << int{ID_SMOOTHING} << "→"
                                         << "→ запрошено вкл.: ждёт отправки в очереди команд\n" + EEPROM_UNKNOWN;
    QTest::newRow("a request thrown away with the queue") << Feed([](ParameterStates& s) {
      NoteReport(s, RPT_STEPS, 200);
      NoteQueued(s, CMD_SET_STEPS, 400);
      NoteReset(s);
    }) << int{ID_STEPS_SHOWN} << "!"
                              << "! запрос 400 в 12:50:07 не отправлен: связь была начата заново\n" +
                                     EEPROM_UNKNOWN;
    QTest::newRow("the value on the wire, and a newer one behind it") << Feed([](ParameterStates& s) {
      NoteReport(s, RPT_STEPS, 200);
      NoteQueued(s, CMD_SET_STEPS, 300);
      NoteQueued(s, CMD_SET_STEPS, 400);
      NoteSent(s, CMD_SET_STEPS, 300);
    }) << int{ID_STEPS_SHOWN} << "→"
                              << "→ отправлено 300, устройство ещё не подтвердило; затем запрошено 400\n" +
                                     EEPROM_UNKNOWN;
    // The save came before the clamped value's report: the EEPROM holds what was reported.
    QTest::newRow("a save acknowledged before the set's report") << Feed([](ParameterStates& s) {
      NoteReport(s, RPT_HOLDING_CURRENT, 500);
      Carried(s, CMD_SET_HOLDING_CURRENT, 15000);
      Carried(s, CMD_ACTION, ACT_SAVE_EEPROM);
      NoteReport(s, RPT_HOLDING_CURRENT, 10000);
    }) << int{ID_HOLDING_CURRENT_SHOWN} << "≠"
                                        << "≠ запрошено 15000, устройство сообщило 10000\n" + EepromInferred("10000");
  }
  void eachStateHasItsGlyphAndItsWords() {
    QFETCH(Feed, feed);
    QFETCH(int, control);
    QFETCH(QString, glyphs);
    QFETCH(QString, toolTip);
    CDrivePanelDlg panel;
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    const auto id = static_cast<ControlId>(control);
    const QRect place = panel.Control(id)->geometry();
    panel.DriveLink().parameters.now = NOW;
    feed(panel.DriveLink().parameters);
    panel.RefreshPanel();
    QCOMPARE(Glyphs(panel, id), glyphs);
    QCOMPARE(ToolTip(panel, id), toolTip);
    // The marks lie over the display: it stays where it was, showing what it showed.
    QCOMPARE(panel.Control(id)->geometry(), place);
    if (id != ID_SMOOTHING) QCOMPARE(test::Shown(panel, id), QString("0"));
    for (ControlId other : MARKED_CONTROLS) {
      if (other != id) QCOMPARE(Glyphs(panel, other), QString());
    }
    // Badges stay within the display's own row.
    if (!glyphs.isEmpty()) QCOMPARE(MarkOf(panel, id)->geometry().height(), place.height());
  }

  // All badges beside each display's widest value: over no text, no other control, within its height and box.
  void allBadgesAtOnceLeaveTheValueReadableAndStayInTheRow() {
    const std::pair<ControlId, const char*> widest[] = {
        {ID_DIVISION_SHOWN, "120"}, {ID_MOTION_CURRENT_SHOWN, "20000"}, {ID_REDUCTION_DELAY_SHOWN, "60000"},
        {ID_HOLDING_CURRENT_SHOWN, "20000"}, {ID_FAULT_CURRENT_SHOWN, "20000"}, {ID_KP_SHOWN, "255"},
        {ID_KL_SHOWN, "15"}, {ID_STEPS_SHOWN, "3000"}, {ID_JOG_SPEED_SHOWN, "3000"}, {ID_JOG_ACCEL_SHOWN, "1000"}};
    const MarkState all{.request = RequestPhase::Queued, .failure = RequestFailure::Unconfirmed, .mismatch = true,
                        .changedByDriver = true, .unsaved = true};
    CDrivePanelDlg panel;
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    for (const auto& [id, text] : widest) {
      auto* display = static_cast<QLineEdit*>(panel.Control(id));
      display->setText(text);
      MarkOf(panel, id)->Show(all);
      const QList<QRect> badges = MarkOf(panel, id)->Badges();
      QCOMPARE(MarkOf(panel, id)->Glyphs() + QString::number(badges.size()), QString("≠!→↻✱5"));
      for (const QRect& badge : badges) {
        QVERIFY2(!badge.intersects(DrawnText(display)), text);
        QVERIFY2(badge.top() >= display->y() && badge.bottom() <= display->geometry().bottom(), text);
        for (QWidget* w : panel.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
          const QRect r = w->isHidden() || w == display || qobject_cast<CParameterMark*>(w) ? QRect() : w->geometry();
          QVERIFY2(r.contains(display->geometry()) ? r.contains(badge) : !r.intersects(badge), text);
        }
      }
    }
  }

  void refreshingUnchangedStatesRepaintsNoMarkAndNoDisplay() {
    CDrivePanelDlg panel;
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    ParameterStates& states = panel.DriveLink().parameters;
    NoteReport(states, RPT_KP, 30);
    NoteReport(states, RPT_KP, 42);
    NoteReport(states, RPT_MOTION_CURRENT, 1000);
    NoteQueued(states, CMD_SET_MOTION_CURRENT, 1500);
    panel.RefreshPanel();
    QTest::qWait(100);
    std::vector<std::unique_ptr<PaintCounter>> counters;
    for (ControlId id : MARKED_CONTROLS) {
      counters.push_back(std::make_unique<PaintCounter>(MarkOf(panel, id)));
      counters.push_back(std::make_unique<PaintCounter>(panel.Control(id)));
    }
    for (int i = 0; i < 50; ++i) {
      panel.RefreshPanel();
      QTest::qWait(2);
    }
    for (const auto& counter : counters) QCOMPARE(counter->paints, 0);
    // A change repaints, and a tooltip being read follows it.
    QWidget* current = panel.Control(ID_MOTION_CURRENT_SHOWN);
    QToolTip::showText(current->mapToGlobal(QPoint(2, 2)), current->toolTip(), current);
    NoteSent(states, CMD_SET_MOTION_CURRENT, 1500);
    panel.RefreshPanel();
    QCOMPARE(QToolTip::text(), "→ отправлено 1500, устройство ещё не подтвердило\n" + EEPROM_UNKNOWN);
    QToolTip::hideText();
    QTRY_VERIFY(std::any_of(counters.begin(), counters.end(), [](const auto& c) { return c->paints > 0; }));
  }

  void theMarksStandOutOnALightAndOnADarkWindow_data() {
    QTest::addColumn<QString>("window");
    QTest::newRow("light") << "#efefef";
    QTest::newRow("dark") << "#353535";
  }
  void theMarksStandOutOnALightAndOnADarkWindow() {
    QFETCH(QString, window);
    const QPalette palette = WindowPalette(window.toLatin1().constData());
    for (Mark mark : MARKS) {
      const MarkColours colours = MarkColoursFor(mark, palette);
      // Glyphs as text, frames as graphics, by the usual legibility ratios.
      QVERIFY2(Contrast(colours.fill, colours.glyph) >= 4.5, qPrintable(colours.fill.name()));
      QVERIFY2(Contrast(colours.fill, QColor(window)) >= 3.0, qPrintable(colours.fill.name()));
    }
  }

  // From here on, one connection to the emulated driver, in the order below.
  void connectToTheEmulator() {
    panel_ = std::make_unique<CDrivePanelDlg>();
    panel_->DriveLink().clock = StillClock;
    panel_->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel_.get()));
    auto* ports = static_cast<QComboBox*>(panel_->Control(ID_PORT_LIST));
    QTest::keyClick(ports, Qt::Key_End);
    QVERIFY(panel_->Emulator() != nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(test::Shown(*panel_, ID_MOTION_CURRENT_SHOWN), QString("1000"), PATIENCE_MS);
    QTRY_VERIFY_WITH_TIMEOUT(panel_->DriveLink().state.readyWord == READY_CONNECTED, PATIENCE_MS);
    // What the driver reported at connection is what it holds; of its EEPROM
    // nothing is known, and nothing is marked.
    for (ControlId id : MARKED_CONTROLS) QCOMPARE(Glyphs(*panel_, id), QString());
  }

  void autoTuningShowsKpAndKlOldToNew() {
    CDrivePanelDlg& panel = *panel_;
    QCOMPARE(test::Shown(panel, ID_KP_SHOWN), QString("30"));
    QCOMPARE(test::Shown(panel, ID_KL_SHOWN), QString("2"));
    test::Click(panel, ID_AUTOTUNE);
    QTRY_COMPARE_WITH_TIMEOUT(Glyphs(panel, ID_KL_SHOWN), QString("↻✱"), PATIENCE_MS);
    QTRY_COMPARE_WITH_TIMEOUT(Glyphs(panel, ID_KP_SHOWN), QString("↻✱"), PATIENCE_MS);
    QCOMPARE(test::Shown(panel, ID_KL_SHOWN), QString("6"));
    QCOMPARE(ToolTip(panel, ID_KL_SHOWN), "↻ изменено устройством (или другой программой, или его перезапуском): "
                                          "2 → 6 (в 12:50:07)\n" +
                                              ChangedSinceConnection("2", "6") + "\n" + EEPROM_UNKNOWN);
    const QString kp = test::Shown(panel, ID_KP_SHOWN);
    QVERIFY(QRegularExpression("^[0-9]+$").match(kp).hasMatch());
    QVERIFY(kp != "30");
    QVERIFY(ToolTip(panel, ID_KP_SHOWN)
                .startsWith("↻ изменено устройством (или другой программой, или его перезапуском): 30 → " + kp));
    QCOMPARE(Glyphs(panel, ID_SMOOTHING), QString());
  }

  void aCurrentTheDriverClampsIsShownAsAMismatchWithBothValues() {
    CDrivePanelDlg& panel = *panel_;
    SetKnobs(panel, [](sim::EmulatorOptions& o) { o.currentLimitMa = 10000; });
    test::WhenPromptOpens("Ток покоя (0-20000)", [](QWidget* prompt) { test::Answer(prompt, "15000"); });
    test::Click(panel, ID_HOLDING_CURRENT);
    QTRY_COMPARE_WITH_TIMEOUT(Glyphs(panel, ID_HOLDING_CURRENT_SHOWN), QString("≠✱"), PATIENCE_MS);
    QCOMPARE(test::Shown(panel, ID_HOLDING_CURRENT_SHOWN), QString("10000"));
    QCOMPARE(ToolTip(panel, ID_HOLDING_CURRENT_SHOWN), "≠ запрошено 15000, устройство сообщило 10000\n" +
                                                           ChangedSinceConnection("500", "10000") + "\n" +
                                                           EEPROM_UNKNOWN);
    SetKnobs(panel, [](sim::EmulatorOptions& o) { o.currentLimitMa = 0; });
  }

  // The driver ignores the command: the panel sends it again at every status
  // report until it gives up and starts the link over; the request is failed
  // until the operator asks again.
  void aRequestTheDriverDoesNotAcknowledgeIsShownPendingThenFailed() {
    CDrivePanelDlg& panel = *panel_;
    // What the operator could have seen at each tick, while the driver was silent on it.
    QStringList seen;
    bool displayKept = true;
    const auto watch = connect(&panel, &CDrivePanelDlg::Ticked, this, [&] {
      if (Glyphs(panel, ID_MOTION_CURRENT_SHOWN) == "→") seen << ToolTip(panel, ID_MOTION_CURRENT_SHOWN);
      displayKept = displayKept && test::Shown(panel, ID_MOTION_CURRENT_SHOWN) == "1000";
    });
    const uint32_t resets = panel.DriveLink().parameters.resets;
    SetKnobs(panel, [](sim::EmulatorOptions& o) { o.ignoreCommandProbability = 1; });
    test::WhenPromptOpens("Ток движения (0-20000)", [](QWidget* prompt) { test::Answer(prompt, "1500"); });
    test::Click(panel, ID_MOTION_CURRENT);
    QTRY_VERIFY_WITH_TIMEOUT(panel.DriveLink().parameters.resets > resets, PATIENCE_MS);
    SetKnobs(panel, [](sim::EmulatorOptions& o) { o.ignoreCommandProbability = 0; });
    disconnect(watch);
    QVERIFY(CountOf(Received(panel), CMD_SET_MOTION_CURRENT, 1500) >= 2);
    QVERIFY(seen.contains("→ отправлено 1500, устройство ещё не подтвердило\n" + EEPROM_UNKNOWN));
    QVERIFY(displayKept);
    QTRY_VERIFY_WITH_TIMEOUT(panel.DriveLink().state.readyWord == READY_CONNECTED, PATIENCE_MS);
    QTest::qWait(200);
    QCOMPARE(Glyphs(panel, ID_MOTION_CURRENT_SHOWN), QString("!"));
    QCOMPARE(ToolTip(panel, ID_MOTION_CURRENT_SHOWN),
             "! запрос 1500 в 12:50:07 отправлен, но не подтверждён: принят ли он, неизвестно;\n"
             "устройство сейчас сообщает 1000\n" + EEPROM_UNKNOWN);
  }

  void aValueTheDriverTakesIsShownNotSaved() {
    CDrivePanelDlg& panel = *panel_;
    test::WhenPromptOpens("Ток движения (0-20000)", [](QWidget* prompt) { test::Answer(prompt, "1500"); });
    test::Click(panel, ID_MOTION_CURRENT);
    QTRY_COMPARE_WITH_TIMEOUT(test::Shown(panel, ID_MOTION_CURRENT_SHOWN), QString("1500"), PATIENCE_MS);
    QCOMPARE(Glyphs(panel, ID_MOTION_CURRENT_SHOWN), QString("✱"));
    QCOMPARE(ToolTip(panel, ID_MOTION_CURRENT_SHOWN), ChangedSinceConnection("1000", "1500") + "\n" + EEPROM_UNKNOWN);
  }

  void savingToTheEepromClearsEveryUnsavedMarkAndTheMismatch() {
    CDrivePanelDlg& panel = *panel_;
    test::Click(panel, ID_SAVE_EEPROM);
    QTRY_COMPARE_WITH_TIMEOUT(Glyphs(panel, ID_MOTION_CURRENT_SHOWN), QString(), PATIENCE_MS);
    QCOMPARE(ToolTip(panel, ID_MOTION_CURRENT_SHOWN), QString());
    QCOMPARE(Glyphs(panel, ID_KP_SHOWN), QString());
    QCOMPARE(Glyphs(panel, ID_KL_SHOWN), QString());
    QCOMPARE(Glyphs(panel, ID_HOLDING_CURRENT_SHOWN), QString());
    QCOMPARE(test::Shown(panel, ID_MOTION_CURRENT_SHOWN), QString("1500"));
    QCOMPARE(test::Shown(panel, ID_HOLDING_CURRENT_SHOWN), QString("10000"));
    QCOMPARE(test::Shown(panel, ID_KL_SHOWN), QString("6"));
    panel.Emulator()->WithEmulator([](sim::Emulator& e) {
      QCOMPARE(e.SavedParameters().motionCurrent, int16_t{1500});
      QCOMPARE(e.SavedParameters().levelingK, uint8_t{6});
    });
  }

  // The same driver on the same port: what was seen saved is still known.
  void aChangeAfterTheSaveStaysMarkedWhenThePortIsChosenAgain() {
    CDrivePanelDlg& panel = *panel_;
    test::WhenPromptOpens("Ток движения (0-20000)", [](QWidget* prompt) { test::Answer(prompt, "1700"); });
    test::Click(panel, ID_MOTION_CURRENT);
    QTRY_COMPARE_WITH_TIMEOUT(Glyphs(panel, ID_MOTION_CURRENT_SHOWN), QString("✱"), PATIENCE_MS);
    const QString expected = "✱ изменено после записи в EEPROM: было 1500, сейчас 1700 (в 12:50:07)\n" +
                             EepromInferred("1500");
    QCOMPARE(ToolTip(panel, ID_MOTION_CURRENT_SHOWN), expected);
    auto* ports = static_cast<QComboBox*>(panel.Control(ID_PORT_LIST));
    emit ports->activated(ports->currentIndex());
    QTRY_VERIFY_WITH_TIMEOUT(panel.DriveLink().state.readyWord == READY_CONNECTED, PATIENCE_MS);
    QCOMPARE(Glyphs(panel, ID_MOTION_CURRENT_SHOWN), QString("✱"));
    QCOMPARE(ToolTip(panel, ID_MOTION_CURRENT_SHOWN), expected);
  }

  void cleanupTestCase() { panel_.reset(); }

 private:
  std::unique_ptr<CDrivePanelDlg> panel_;
};

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("TZ", "UTC");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ParameterMarksTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "parameter_marks_test.moc"
