// panel_shell_test.cpp: what the application shell adds to the panel: the
// context menu that ends with a separator and "&About Velkor...", F1 for the
// same About box, the icon, and the way later features add their items.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>

#include "about_box.h"
#include "drive_app.h"
#include "drive_panel_dlg.h"
#include "panel_test_support.h"

using namespace velkor;

namespace {

CAboutBox* OpenAboutBox() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<CAboutBox*>(w); box && box->isVisible()) return box;
  }
  return nullptr;
}

QMenu* OpenMenu() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* menu = qobject_cast<QMenu*>(w); menu && menu->isVisible()) return menu;
  }
  return nullptr;
}

}  // namespace

class PanelShellTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    panel_ = std::make_unique<CDrivePanelDlg>();
    DecoratePanel(*panel_);
    panel_->show();
    QVERIFY(QTest::qWaitForWindowActive(panel_.get()));
  }
  void cleanup() {
    test::StopPolling();
    panel_.reset();
  }

  void rightClickOnThePanelOffersASeparatorAndTheAboutItemWhichOpensTheAboutBox() {
    QStringList items;
    QString aboutTitle;
    test::WhenShown<QMenu>(OpenMenu, [&](QMenu* menu) {
      for (QAction* action : menu->actions()) items << (action->isSeparator() ? QString("---") : action->text());
      test::WhenShown<CAboutBox>(OpenAboutBox, [&](CAboutBox* box) {
        aboutTitle = box->windowTitle();
        box->accept();
      });
      QAction* about = menu->actions().value(1);
      QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(about).center());
    });
    // The background between the boxes, next to "Выход".
    const QPoint background(panel_->width() / 2, panel_->height() - 4);
    QContextMenuEvent click(QContextMenuEvent::Mouse, background, panel_->mapToGlobal(background));
    QApplication::sendEvent(panel_.get(), &click);
    QTest::qWait(50);

    // Later features append their items after these two.
    QCOMPARE(items.mid(0, 2), QStringList({"---", "&About Velkor..."}));
    QCOMPARE(aboutTitle, QString("About Velkor"));
    QVERIFY(panel_->isVisible());
  }

  void f1OpensTheAboutBoxToo() {
    bool shown = false;
    test::WhenShown<CAboutBox>(OpenAboutBox, [&](CAboutBox* box) {
      shown = true;
      box->reject();
    });
    QTest::keyClick(panel_->focusWidget(), Qt::Key_F1);
    QTRY_VERIFY(shown);
    QVERIFY(panel_->isVisible());
  }

  void aLaterFeaturesActionJoinsTheMenuAfterTheAboutItemWithItsShortcut() {
    auto* later = new QAction("Later", panel_.get());
    later->setShortcut(QKeySequence("Ctrl+J"));
    int triggered = 0;
    connect(later, &QAction::triggered, [&] { ++triggered; });
    panel_->AddContextAction(later);
    QTest::keyClick(panel_->focusWidget(), Qt::Key_J, Qt::ControlModifier);
    QCOMPARE(triggered, 1);
    QCOMPARE(panel_->actions().last(), later);
  }

  void thePanelCarriesTheApplicationIcon() {
    QCOMPARE(panel_->windowIcon().availableSizes(), QList<QSize>({QSize(32, 32), QSize(16, 16)}));
  }

 private:
  std::unique_ptr<CDrivePanelDlg> panel_;
};

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  PanelShellTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "panel_shell_test.moc"
