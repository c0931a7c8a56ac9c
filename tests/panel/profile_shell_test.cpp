// profile_shell_test.cpp: the profiles window as the program offers it:
// "Профили…" right after "Графики" in the panel's context menu, Ctrl+P on the
// panel, one window fed by the panel's own ticks and showing the driver.
#include <QAction>
#include <QComboBox>
#include <QTableWidget>
#include <QtTest/QtTest>

#include <memory>

#include "drive_app.h"
#include "drive_panel_dlg.h"
#include "panel_layout.h"
#include "profile_window.h"
#include "status_texts.h"

namespace velkor {

class ProfileShellTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    panel_ = std::make_unique<CDrivePanelDlg>();
    DecoratePanel(*panel_);
    panel_->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel_.get()));
  }
  void cleanup() { panel_.reset(); }

  void theProfilesItemFollowsChartsAndOpensOnlyOnUse() {
    const QList<QAction*> actions = panel_->actions();
    qsizetype charts = -1;
    qsizetype profiles = -1;
    for (qsizetype i = 0; i < actions.size(); ++i) {
      if (actions[i]->text() == QString::fromUtf8("Графики")) charts = i;
      if (actions[i]->text() == QString::fromUtf8("Профили…")) profiles = i;
    }
    QVERIFY(charts >= 0);
    QCOMPARE(profiles, charts + 1);
    QCOMPARE(actions[profiles]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    QVERIFY(!panel_->findChild<ProfileWindow*>());
  }

  void ctrlPOpensOneWindowThatShowsTheConnectedDriver() {
    auto* ports = static_cast<QComboBox*>(panel_->Control(ID_PORT_LIST));
    ports->setCurrentIndex(ports->findText(QString::fromUtf8("Эмулятор VK-3")));
    emit ports->activated(ports->currentIndex());
    QTRY_VERIFY_WITH_TIMEOUT(panel_->DriveLink().values.statusText == STATUS_CONNECTED, 10000);

    QTest::keyClick(panel_.get(), Qt::Key_P, Qt::ControlModifier);
    auto* window = panel_->findChild<ProfileWindow*>();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QVERIFY(window->isWindow());
    QCOMPARE(window->windowTitle(), QString::fromUtf8("Профили"));
    auto* table = window->findChild<QTableWidget*>();
    QTRY_COMPARE_WITH_TIMEOUT(table->item(static_cast<int>(Index(ParameterId::MotionCurrent)), 1)->text(),
                              QString("1000"), 10000);
    window->close();
    QVERIFY(!window->Listening());
    QTest::keyClick(panel_.get(), Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(panel_->findChildren<ProfileWindow*>().size(), 1);
    QVERIFY(window->isVisible());
  }

 private:
  std::unique_ptr<CDrivePanelDlg> panel_;
};

}  // namespace velkor

QTEST_MAIN(velkor::ProfileShellTest)
#include "profile_shell_test.moc"
