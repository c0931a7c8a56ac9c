// parameter_states_shot.cpp: drives the real panel against its emulated driver
// until its parameter displays show every kind of mark at once, and saves a
// picture of the screen around the panel, with the tooltip of the clamped
// value open:
//   parameter_states_shot OUT.png [--dark]
// Run it on an X display (scripts/screenshot.sh states). The driver clamps
// currents above 10000 mA, tunes Kp and KL, and at last ignores a request, so
// that it stays on its way and the smoothing switch asked for after it stays
// queued. Depends on Qt Test, the panel and the emulator.
#include <QApplication>
#include <QComboBox>
#include <QPalette>
#include <QScreen>
#include <QStyleFactory>
#include <QTest>
#include <QToolTip>

#include <cstdio>

#include "drive_panel_dlg.h"
#include "panel_test_support.h"
#include "parameter_mark.h"
#include "pty_runner.h"

using namespace velkor;

namespace {

constexpr int PATIENCE_MS = 20000;
constexpr int MARGIN_PX = 8;

QPalette DarkPalette() {
  QPalette p;
  p.setColor(QPalette::Window, QColor(53, 53, 53));
  p.setColor(QPalette::WindowText, Qt::white);
  p.setColor(QPalette::Base, QColor(35, 35, 35));
  p.setColor(QPalette::AlternateBase, QColor(53, 53, 53));
  p.setColor(QPalette::ToolTipBase, QColor(25, 25, 25));
  p.setColor(QPalette::ToolTipText, Qt::white);
  p.setColor(QPalette::Text, Qt::white);
  p.setColor(QPalette::Button, QColor(53, 53, 53));
  p.setColor(QPalette::ButtonText, Qt::white);
  p.setColor(QPalette::Mid, QColor(90, 90, 90));
  p.setColor(QPalette::Highlight, QColor(42, 130, 218));
  p.setColor(QPalette::HighlightedText, Qt::black);
  return p;
}

QString GlyphsOf(CDrivePanelDlg& panel, ControlId id) {
  auto* mark = panel.findChild<CParameterMark*>(QStringLiteral("mark%1").arg(static_cast<int>(id)));
  return mark->isVisible() ? mark->Glyphs() : QString();
}

bool Fail(const char* what) {
  std::fprintf(stderr, "parameter_states_shot: %s\n", what);
  return false;
}

void Knobs(CDrivePanelDlg& panel, void (*set)(sim::EmulatorOptions&)) {
  panel.Emulator()->WithEmulator([&](sim::Emulator& e) { set(e.Options()); });
}

void SetThroughPrompt(CDrivePanelDlg& panel, ControlId button, const char* prompt, const char* value) {
  test::WhenPromptOpens(QString::fromUtf8(prompt), [value](QWidget* w) { test::Answer(w, QString::fromUtf8(value)); });
  test::Click(panel, button);
}

bool Drive(CDrivePanelDlg& panel) {
  auto* ports = static_cast<QComboBox*>(panel.Control(ID_PORT_LIST));
  QTest::keyClick(ports, Qt::Key_End);
  if (!panel.Emulator()) return Fail("the emulator did not start");
  if (!QTest::qWaitFor([&] { return test::Shown(panel, ID_MOTION_CURRENT_SHOWN) == "1000"; }, PATIENCE_MS)) {
    return Fail("no connection");
  }

  Knobs(panel, [](sim::EmulatorOptions& o) { o.currentLimitMa = 10000; });
  SetThroughPrompt(panel, ID_HOLDING_CURRENT, "Ток покоя (0-20000)", "15000");
  if (!QTest::qWaitFor([&] { return GlyphsOf(panel, ID_HOLDING_CURRENT_SHOWN) == "≠✱"; }, PATIENCE_MS)) {
    return Fail("no clamp");
  }
  SetThroughPrompt(panel, ID_STEPS, "Шагов (0-30000)", "400");
  test::Click(panel, ID_AUTOTUNE);
  if (!QTest::qWaitFor([&] { return GlyphsOf(panel, ID_KP_SHOWN) == "↻✱" && GlyphsOf(panel, ID_STEPS_SHOWN) == "✱"; },
                       PATIENCE_MS)) {
    return Fail("no tuning");
  }

  // A slow status report gives the panel few chances to send again: the
  // ignored request stays on its way for seconds before the panel gives up.
  Knobs(panel, [](sim::EmulatorOptions& o) {
    o.statusPeriodMs = 150;
    o.ignoreCommandProbability = 1;
  });
  SetThroughPrompt(panel, ID_MOTION_CURRENT, "Ток движения (0-20000)", "1500");
  // Behind it in the queue, the smoothing switch waits its turn.
  test::Click(panel, ID_SMOOTHING);
  if (!QTest::qWaitFor([&] { return GlyphsOf(panel, ID_MOTION_CURRENT_SHOWN) == "→" && GlyphsOf(panel, ID_SMOOTHING) == "→"; },
                       PATIENCE_MS)) {
    return Fail("no pending request");
  }
  // Beside the panel, where it hides nothing of it.
  QWidget* clamped = panel.Control(ID_HOLDING_CURRENT_SHOWN);
  QToolTip::showText(QPoint(panel.frameGeometry().right() + MARGIN_PX, clamped->mapToGlobal(QPoint()).y()),
                     clamped->toolTip(), clamped);
  QTest::qWait(400);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  if (argc < 2) {
    std::fprintf(stderr, "usage: parameter_states_shot OUT.png [--dark]\n");
    return 2;
  }
  if (argc > 2 && QString(argv[2]) == "--dark") QApplication::setPalette(DarkPalette());

  CDrivePanelDlg panel;
  panel.move(MARGIN_PX, MARGIN_PX);
  panel.show();
  if (!QTest::qWaitForWindowExposed(&panel) || !Drive(panel)) return 1;

  // The panel with its frame, and the tooltip where it reaches beyond it.
  QRect area = panel.frameGeometry();
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible() && w->inherits("QTipLabel")) area |= w->geometry();
  }
  area.adjust(-MARGIN_PX, -MARGIN_PX, MARGIN_PX, MARGIN_PX);
  area &= panel.screen()->geometry();
  const QPixmap shot = panel.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
  test::StopPolling();
  if (!shot.save(QString::fromLocal8Bit(argv[1]))) {
    Fail("the picture could not be saved");
    return 1;
  }
  return 0;
}
