// app_icon.h: the application icon, 32 x 32 and 16 x 16, from the resources
// compiled from res/icons.qrc. Depends on Qt Gui.
#pragma once

#include <QIcon>

namespace velkor {

QIcon VelkorIcon();

}  // namespace velkor
