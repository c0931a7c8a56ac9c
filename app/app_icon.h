// app_icon.h: the application icon: the icon theme's "velkor" where the
// program is installed, otherwise the 32 and 16 px images built into the
// program. Both are rendered from res/icons/velkor.svg. Depends on Qt Gui.
#pragma once

#include <QIcon>

namespace velkor {

QIcon VelkorIcon();

}  // namespace velkor
