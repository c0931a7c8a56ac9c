// panel_bindings.h: which control shows which field of PanelValues, in the
// order RefreshPanel and ReadPanel walk them, and how a field becomes the text
// its control shows and back. Depends on Qt Core and the link's PanelValues.
#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "panel_layout.h"
#include "panel_values.h"

namespace velkor {

using BoundField = std::variant<std::string PanelValues::*, std::string_view PanelValues::*,
                                int16_t PanelValues::*, int32_t PanelValues::*, double PanelValues::*>;

struct Binding {
  ControlId control;
  BoundField field;
};

inline constexpr Binding PANEL_BINDINGS[] = {
    {ID_PORT_LIST, &PanelValues::portName},
    {ID_DIVISION_LIST, &PanelValues::divisionChoice},
    {ID_STATUS, &PanelValues::statusText},
    {ID_PWM_A, &PanelValues::pwmA},
    {ID_PWM_B, &PanelValues::pwmB},
    {ID_ACTUAL_CURRENT_A, &PanelValues::actualCurrentA},
    {ID_ACTUAL_CURRENT_B, &PanelValues::actualCurrentB},
    {ID_SET_CURRENT_A, &PanelValues::setCurrentA},
    {ID_SET_CURRENT_B, &PanelValues::setCurrentB},
    {ID_SHAFT_SPEED, &PanelValues::shaftSpeed},
    {ID_TOTAL_CURRENT, &PanelValues::totalCurrent},
    {ID_PHASE, &PanelValues::phase},
    {ID_STEPS_SHOWN, &PanelValues::steps},
    {ID_MOTION_CURRENT_SHOWN, &PanelValues::motionCurrent},
    {ID_REDUCTION_DELAY_SHOWN, &PanelValues::reductionDelay},
    {ID_HOLDING_CURRENT_SHOWN, &PanelValues::holdingCurrent},
    {ID_KP_SHOWN, &PanelValues::proportionalK},
    {ID_DIVISION_SHOWN, &PanelValues::stepDivision},
    {ID_KL_SHOWN, &PanelValues::levelingK},
    {ID_SMOOTHING, &PanelValues::smoothingCaption},
    {ID_JOG_SPEED_SHOWN, &PanelValues::jogSpeed},
    {ID_JOG_ACCEL_SHOWN, &PanelValues::jogAccel},
    {ID_POSITION, &PanelValues::position},
    {ID_FAULT_CURRENT_SHOWN, &PanelValues::faultCurrent},
};

// Whole numbers in plain decimal with a minus sign when negative; the division
// in general format with up to 15 significant digits, so 8 shows as "8".
QString FieldText(const PanelValues& values, const BoundField& field);

// Whether the two records hold different values in `field`.
bool FieldDiffers(const PanelValues& a, const PanelValues& b, const BoundField& field);

// A field the operator sets through its control (the port and division lists),
// as opposed to one only the link writes.
bool IsOperatorChoice(const BoundField& field);

// The reverse of FieldText. The status line and the smoothing caption only
// ever show one of the link's fixed texts, which their fields already point
// at, so those two are left as they are.
void ReadFieldText(PanelValues& values, const BoundField& field, const QString& text);

}  // namespace velkor
