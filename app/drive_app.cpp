// drive_app.cpp: start-up, the About item, and the end of the program.
#include "drive_app.h"

#include <QAction>
#include <QKeySequence>

#include "about_box.h"
#include "app_icon.h"
#include "drive_panel_dlg.h"

namespace velkor {

CDriveApp::CDriveApp(int& argc, char** argv) : app_(argc, argv) {
  // The application's name stays the program file's name, "velkor": message
  // boxes without a caption of their own show it.
  QApplication::setWindowIcon(VelkorIcon());
  // The program ends when the panel's run ends, not when its last window
  // closes: a prompt still open then is answered first.
  QApplication::setQuitOnLastWindowClosed(false);
}

int CDriveApp::Run() {
  CDrivePanelDlg panel;
  DecoratePanel(panel);
  panel.exec();
  return 0;
}

void DecoratePanel(CDrivePanelDlg& panel) {
  panel.setWindowIcon(VelkorIcon());

  auto* separator = new QAction(&panel);
  separator->setSeparator(true);
  panel.AddContextAction(separator);

  auto* about = new QAction(QString::fromUtf8(ABOUT_ITEM), &panel);
  about->setShortcut(QKeySequence(Qt::Key_F1));
  QObject::connect(about, &QAction::triggered, &panel, [&panel] {
    CAboutBox box(&panel);
    // Like the panel's message boxes, it blocks the panel and nothing else.
    box.setWindowModality(Qt::WindowModal);
    box.exec();
  });
  panel.AddContextAction(about);
}

}  // namespace velkor
