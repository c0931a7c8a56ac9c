// app_icon.cpp: VelkorIcon, the installed theme's icon or the embedded one.
#include "app_icon.h"

// The images are compiled into a static library; the linker would drop their
// registration unless something refers to it. Q_INIT_RESOURCE must be called
// from the global namespace.
static void RegisterIconResources() { Q_INIT_RESOURCE(icons); }

namespace velkor {

QIcon VelkorIcon() {
  RegisterIconResources();
  QIcon embedded;
  embedded.addFile(QStringLiteral(":/icons/velkor-32.png"), QSize(32, 32));
  embedded.addFile(QStringLiteral(":/icons/velkor-16.png"), QSize(16, 16));
  return QIcon::fromTheme(QStringLiteral("velkor"), embedded);
}

}  // namespace velkor
