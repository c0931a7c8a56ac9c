// drive_app.h: the application shell. CDriveApp owns the QApplication, runs the
// main panel as the program's only main window and ends the program when the
// panel ends. DecoratePanel adds what the shell puts around the panel: the
// icon, the About box, the chart window, the profiles window and the current
// analysis window. Depends on Qt Widgets, the panel, the About box, the charts
// and the current analysis window.
#pragma once

#include <QApplication>

namespace velkor {

class CDrivePanelDlg;

inline constexpr const char* ABOUT_ITEM = "&About Velkor...";
inline constexpr const char* CHARTS_ITEM = "Графики";
inline constexpr const char* PROFILES_ITEM = "Профили…";
inline constexpr const char* ANALYSIS_ITEM = "Анализ тока…";

class CDriveApp {
 public:
  CDriveApp(int& argc, char** argv);
  // Runs the panel until it ends; the program's exit code.
  int Run();

 private:
  QApplication app_;
};

// The window icon, then a separator and "&About Velkor..." in the panel's
// context menu, the item also reached with F1, then "Графики" (Ctrl+G) and
// "Профили…" (Ctrl+P), "Анализ тока…" (Ctrl+T).
void DecoratePanel(CDrivePanelDlg& panel);

}  // namespace velkor
