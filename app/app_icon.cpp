// app_icon.cpp: VelkorIcon, the two images of res/icons.qrc in one icon.
#include "app_icon.h"

// The icons are compiled into a static library; the linker would drop their
// registration unless something refers to it. Q_INIT_RESOURCE must be called
// from the global namespace.
static void RegisterIconResources() { Q_INIT_RESOURCE(icons); }

namespace velkor {

QIcon VelkorIcon() {
  RegisterIconResources();
  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/velkor-32.png"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/icons/velkor-16.png"), QSize(16, 16));
  return icon;
}

}  // namespace velkor
