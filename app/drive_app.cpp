// drive_app.cpp: start-up, the About item, and the end of the program.
#include "drive_app.h"

#include <QAction>
#include <QComboBox>
#include <QKeySequence>

#include "about_box.h"
#include "app_icon.h"
#include "chart_window.h"
#include "current_analysis_window.h"
#include "drive_panel_dlg.h"
#include "frame_pacer.h"
#include "profile_window.h"
#include "qt_translations.h"
#include "termination_signals.h"

namespace velkor {

CDriveApp::CDriveApp(int& argc, char** argv) : app_(argc, argv) {
  // The application's name stays the program file's name, "velkor": message
  // boxes without a caption of their own show it.
  // Docks and task bars (X11 and Wayland alike) match the windows to the
  // installed velkor.desktop, and so to its name and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("velkor"));
  QApplication::setWindowIcon(VelkorIcon());
  InstallQtRussian(app_);
  // The program ends when the panel's run ends, not when its last window
  // closes: a prompt still open then is answered first.
  QApplication::setQuitOnLastWindowClosed(false);
}

int CDriveApp::Run() {
  CDrivePanelDlg panel;
  DecoratePanel(panel);
  CloseOnTerminationSignals(panel);
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

  // The chart window is made on first use and then lives, shown or not, as
  // long as the panel: a recording goes on while it is closed. As the panel's
  // child it takes input while the panel runs modal.
  auto* charts = new QAction(QString::fromUtf8(CHARTS_ITEM), &panel);
  charts->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  QObject::connect(charts, &QAction::triggered, &panel, [&panel] {
    auto* window = panel.findChild<charts::ChartWindow*>();
    if (!window) {
      window = new charts::ChartWindow(panel.DriveLink(), &panel);
      new FramePacer(window);
      // The samples to come are the chosen port's: a later choice is another only if it differs.
      window->OnPortChosen(static_cast<QComboBox*>(panel.Control(ID_PORT_LIST))->currentText());
      QObject::connect(&panel, &CDrivePanelDlg::PortOpened, window, &charts::ChartWindow::OnPortChosen);
    }
    window->show();
    window->raise();
    window->activateWindow();
  });
  panel.AddContextAction(charts);

  // Made on first use, then kept: an apply runs on while it is closed.
  auto* profiles = new QAction(QString::fromUtf8(PROFILES_ITEM), &panel);
  profiles->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  QObject::connect(profiles, &QAction::triggered, &panel, [&panel] {
    auto* window = panel.findChild<ProfileWindow*>();
    if (!window) window = new ProfileWindow(panel.DriveLink(), &panel, &panel);
    window->show();
    window->raise();
    window->activateWindow();
  });
  panel.AddContextAction(profiles);

  // Made on first use, then kept: a run goes on to its end while it is closed.
  auto* analysis = new QAction(QString::fromUtf8(ANALYSIS_ITEM), &panel);
  analysis->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  QObject::connect(analysis, &QAction::triggered, &panel, [&panel] {
    auto* window = panel.findChild<CurrentAnalysisWindow*>();
    if (!window) window = new CurrentAnalysisWindow(panel.DriveLink(), &panel, &panel);
    window->show();
    window->raise();
    window->activateWindow();
  });
  panel.AddContextAction(analysis);
}

}  // namespace velkor
