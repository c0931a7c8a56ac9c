// about_box_test.cpp: the About box as the operator sees it (caption, texts,
// icon, button, fixed size) and the three ways it closes.
#include "about_box.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include "app_icon.h"
#include "dialog_units.h"

using velkor::CAboutBox;

namespace {

// Runs the box modally; `step` runs inside its loop once it is active.
// Returns the dialog's result.
int RunAboutBox(std::function<void(CAboutBox&)> step) {
  CAboutBox box;
  QTimer::singleShot(0, &box, [&box, step] {
    QVERIFY(QTest::qWaitForWindowActive(&box));
    step(box);
  });
  // Ends a box that a failed step left open.
  QTimer::singleShot(20000, &box, &QDialog::reject);
  return box.exec();
}

}  // namespace

class AboutBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void showsItsCaptionTextsIconAndOkButton() {
    CAboutBox box;
    box.show();
    QCOMPARE(box.windowTitle(), QString("About Velkor"));
    QStringList texts;
    for (const QLabel* label : box.findChildren<QLabel*>()) {
      if (!label->text().isEmpty()) {
        texts << label->text();
        // The whole line must be readable in its rectangle.
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                 qPrintable(label->text()));
        QVERIFY(label->fontMetrics().height() <= label->height());
      } else {
        QVERIFY(!label->pixmap().isNull());
        QCOMPARE(label->pixmap().size(), QSize(32, 32));
      }
    }
    QCOMPARE(texts, QStringList({"Velkor Version 1.0", "Copyright (C) 2026 Velkor"}));
    const QList<QPushButton*> buttons = box.findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 1);
    QCOMPARE(buttons[0]->text(), QString("OK"));
    QVERIFY(buttons[0]->isDefault());
    for (const QWidget* child : box.findChildren<QWidget*>()) {
      QVERIFY(box.rect().contains(child->geometry()));
    }
  }

  void hasTheFixedSizeOfItsLayoutInDialogUnits() {
    CAboutBox box;
    const velkor::DialogUnits units = velkor::DialogUnitsOf(velkor::PanelFont());
    const QSize size(units.ToPixelsX(235), units.ToPixelsY(46));
    QCOMPARE(box.minimumSize(), size);
    QCOMPARE(box.maximumSize(), size);
  }

  void carriesTheApplicationIconInBothSizes() {
    CAboutBox box;
    const QList<QSize> sizes = box.windowIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(32, 32)));
    QVERIFY(sizes.contains(QSize(16, 16)));
    QCOMPARE(velkor::VelkorIcon().availableSizes(), sizes);
  }

  void closesByOkEscAndItsCloseBox_data() {
    QTest::addColumn<int>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("OK clicked") << 0 << int(QDialog::Accepted);
    QTest::newRow("Enter on the default button") << 1 << int(QDialog::Accepted);
    QTest::newRow("Esc") << 2 << int(QDialog::Rejected);
    QTest::newRow("close box") << 3 << int(QDialog::Rejected);
  }

  void closesByOkEscAndItsCloseBox() {
    QFETCH(int, how);
    QFETCH(int, result);
    bool wasVisible = false;
    const int ended = RunAboutBox([&](CAboutBox& box) {
      wasVisible = box.isVisible();
      QPushButton* ok = box.findChild<QPushButton*>();
      switch (how) {
        case 0: QTest::mouseClick(ok, Qt::LeftButton); break;
        case 1: QTest::keyClick(&box, Qt::Key_Return); break;
        case 2: QTest::keyClick(&box, Qt::Key_Escape); break;
        default: box.close(); break;
      }
    });
    QVERIFY(wasVisible);
    QCOMPARE(ended, result);
  }
};

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  AboutBoxTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "about_box_test.moc"
