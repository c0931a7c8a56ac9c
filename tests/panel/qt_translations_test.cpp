// qt_translations_test.cpp: the program as it starts (CDriveApp) speaks
// Russian in Qt's own texts too: a display's context menu, the save dialog the
// chart window's exports open, the standard dialog buttons; the About box
// stays English. Without Qt's translations the program starts as before.
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "about_box.h"
#include "drive_app.h"
#include "drive_panel_dlg.h"
#include "qt_translations.h"

using namespace velkor;

namespace {

QStringList ButtonTexts(const QDialogButtonBox* box) {
  QStringList texts;
  for (QAbstractButton* button : box->buttons()) texts << button->text();
  texts.sort();
  return texts;
}

}  // namespace

class QtTranslationsTest : public QObject {
  Q_OBJECT

 private slots:
  void theProgramNamesItsDesktopEntry() { QCOMPARE(QGuiApplication::desktopFileName(), QString("velkor")); }

  void aDisplaysContextMenuIsRussian() {
    CDrivePanelDlg panel;
    auto* status = qobject_cast<QLineEdit*>(panel.Control(ID_STATUS));
    QVERIFY(status);
    std::unique_ptr<QMenu> menu(status->createStandardContextMenu());
    QStringList items;
    for (QAction* action : menu->actions()) {
      if (!action->isSeparator()) items << action->text();
    }
    QVERIFY2(items.contains("&Копировать\tCtrl+C"), qPrintable(items.join(" | ")));
    QVERIFY2(items.contains("Выделить всё\tCtrl+A"), qPrintable(items.join(" | ")));
  }

  void theExportSaveDialogIsRussian() {
    // The dialog Qt draws itself, as on a desktop without a platform dialog.
    QFileDialog dialog(nullptr, "Экспорт в CSV", QString(), "Файлы CSV (*.csv)");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    QVERIFY(buttons);
    QCOMPARE(ButtonTexts(buttons), QStringList({"&Сохранить", "Отмена"}));
  }

  void standardButtonsAreRussian() {
    QDialogButtonBox box(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    QCOMPARE(ButtonTexts(&box), QStringList({"Отмена", "Сохранить"}));
  }

  void theAboutBoxStaysEnglish() {
    CAboutBox box;
    QCOMPARE(box.windowTitle(), QString("About Velkor"));
    QCOMPARE(box.findChild<QPushButton*>()->text(), QString("OK"));
  }

  void missingTranslationsAreNoFailure() {
    QTemporaryDir empty;
    QVERIFY(!InstallQtRussian(*QCoreApplication::instance(), empty.path()));
  }
};

// Started as the program starts, so that what start-up installs is what is tested.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  CDriveApp app(argc, argv);
  QtTranslationsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "qt_translations_test.moc"
