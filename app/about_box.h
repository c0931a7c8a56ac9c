// about_box.h: the About box, a small fixed dialog with the icon, the version
// line and a copyright line. Depends on Qt Widgets and the application icon.
#pragma once

#include <QDialog>

namespace velkor {

class CAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutBox(QWidget* parent = nullptr);
};

}  // namespace velkor
