// closed_list_wheel.h: keeps the mouse wheel off a closed drop-down list. A
// wheel turn over a closed list would change its choice, and a choice opens a
// port or sends a step division to a running motor; an operator scrolling
// across the panel means neither. Depends on Qt Widgets.
#pragma once

class QComboBox;

namespace velkor {

// From now on the wheel does nothing over `list` while it is closed; its
// opened list scrolls as usual.
void IgnoreWheelWhileClosed(QComboBox* list);

}  // namespace velkor
