// panel_layout.h: the main panel's layout, one row per control in tab order,
// rectangles in dialog units, and the control identifiers that the bindings and
// the event table use. Plain data; the panel walks it to build its window.
#pragma once

namespace velkor {

// Control identifiers. 1 and 2 are the dialog's OK and cancel identities.
enum ControlId : int {
  NO_ID = 0,  // labels and group boxes
  ID_EXIT = 1,
  ID_REREAD = 2,
  ID_MOTION_CURRENT = 3,
  ID_REDUCTION_DELAY = 4,
  ID_HOLDING_CURRENT = 5,
  ID_STEP_LEFT = 6,
  ID_SAVE_EEPROM = 7,
  ID_STEP_RIGHT = 8,
  ID_STEPS = 9,
  ID_KP = 10,
  ID_KL = 11,
  ID_DIVISION = 12,
  ID_AUTOTUNE = 13,
  ID_TEST = 14,
  ID_ROTATE_LEFT = 15,
  ID_ROTATE_RIGHT = 16,
  ID_STOP = 17,
  ID_JOG_SPEED = 18,
  ID_JOG_ACCEL = 19,
  ID_ZERO_POSITION = 20,
  ID_FAULT_CURRENT = 21,
  ID_PORT_LIST = 1018,
  ID_MOTION_CURRENT_SHOWN = 1019,
  ID_STATUS = 1020,
  ID_REDUCTION_DELAY_SHOWN = 1021,
  ID_HOLDING_CURRENT_SHOWN = 1022,
  ID_SET_CURRENT_A = 1023,
  ID_PWM_A = 1024,
  ID_SET_CURRENT_B = 1025,
  ID_PHASE = 1026,
  ID_PWM_B = 1027,
  ID_ACTUAL_CURRENT_A = 1028,
  ID_STEPS_SHOWN = 1029,
  ID_ACTUAL_CURRENT_B = 1030,
  ID_KP_SHOWN = 1031,
  ID_TOTAL_CURRENT = 1032,
  ID_KL_SHOWN = 1033,
  ID_DIVISION_SHOWN = 1034,
  ID_SHAFT_SPEED = 1035,
  ID_DIVISION_LIST = 1036,
  ID_SMOOTHING = 1037,
  ID_JOG_SPEED_SHOWN = 1038,
  ID_JOG_ACCEL_SHOWN = 1039,
  ID_POSITION = 1040,
  ID_FAULT_CURRENT_SHOWN = 1041,
};

enum class ControlKind {
  GroupBox,
  Label,
  Display,   // read-only single-line text box
  Button,
  PortList,  // drop-down list of ports, sorted by text
  DropDown,  // drop-down list in the order given
};

enum class Align { Default, Left, Right, Centre };

struct DialogRect {
  int x, y, width, height;  // for a drop-down list, height is its opened list
};

struct ControlRow {
  ControlId id;
  ControlKind kind;
  const char* caption;  // UTF-8; empty for none
  DialogRect rect;
  const char* box;      // caption of the framing group box; empty for none
  Align align;
};

inline constexpr int PANEL_WIDTH_DU = 332;
inline constexpr int PANEL_HEIGHT_DU = 281;
inline constexpr const char* PANEL_TITLE = "Velkor";
inline constexpr int PANEL_FONT_POINTS = 8;

// The short names K and A keep the rows on one line each; they stay in here.
namespace layout_rows {
using K = ControlKind;
using A = Align;

inline constexpr ControlRow PANEL_LAYOUT[] = {
    {NO_ID, K::GroupBox, "Связь", {5, 5, 320, 31}, "", A::Default},
    {NO_ID, K::Label, "Порт - ", {10, 15, 25, 15}, "Связь", A::Left},
    {ID_PORT_LIST, K::PortList, "", {35, 15, 50, 159}, "Связь", A::Default},
    {NO_ID, K::Label, "38400 bod", {90, 15, 35, 13}, "Связь", A::Left},
    {ID_STATUS, K::Display, "", {175, 15, 120, 15}, "Связь", A::Left},
    {ID_MOTION_CURRENT_SHOWN, K::Display, "", {280, 155, 40, 15}, "Параметры", A::Right},
    {ID_REDUCTION_DELAY_SHOWN, K::Display, "", {280, 178, 40, 15}, "Параметры", A::Right},
    {ID_HOLDING_CURRENT_SHOWN, K::Display, "", {280, 195, 40, 15}, "Параметры", A::Right},
    {ID_SET_CURRENT_A, K::Display, "", {75, 101, 40, 15}, "Данные", A::Right},
    {ID_PWM_A, K::Display, "", {75, 141, 40, 15}, "Данные", A::Right},
    {ID_SET_CURRENT_B, K::Display, "", {119, 101, 40, 15}, "Данные", A::Right},
    {ID_PWM_B, K::Display, "", {119, 141, 40, 15}, "Данные", A::Right},
    {NO_ID, K::Label, "Шим () -", {40, 141, 35, 13}, "Данные", A::Right},
    {NO_ID, K::Label, "Ток заданный (mA) -", {5, 101, 70, 13}, "Данные", A::Right},
    {ID_MOTION_CURRENT, K::Button, "Ток движения (mA)", {175, 155, 100, 14}, "Параметры", A::Right},
    {ID_REDUCTION_DELAY, K::Button, "Время до снижен. тока (mC)", {175, 175, 100, 14}, "Параметры", A::Right},
    {ID_HOLDING_CURRENT, K::Button, "Ток удержания (mA)", {175, 195, 100, 14}, "Параметры", A::Right},
    {ID_STEP_LEFT, K::Button, "<", {105, 210, 25, 14}, "Ручное управление", A::Default},
    {ID_STEP_RIGHT, K::Button, ">", {135, 210, 25, 14}, "Ручное управление", A::Default},
    {ID_STEPS_SHOWN, K::Display, "", {70, 200, 25, 15}, "Ручное управление", A::Centre},
    {ID_STEPS, K::Button, "Шагов", {10, 200, 55, 14}, "Ручное управление", A::Default},
    {ID_SAVE_EEPROM, K::Button, "Записать в EEPROM", {235, 215, 85, 14}, "Параметры", A::Default},
    {ID_ACTUAL_CURRENT_A, K::Display, "", {75, 120, 40, 15}, "Данные", A::Right},
    {ID_ACTUAL_CURRENT_B, K::Display, "", {119, 120, 40, 15}, "Данные", A::Right},
    {NO_ID, K::Label, "Обмотка B", {119, 85, 40, 13}, "Данные", A::Centre},
    {NO_ID, K::Label, "Обмотка A", {75, 85, 40, 13}, "Данные", A::Centre},
    {NO_ID, K::Label, "Ток реальный (mA) -", {5, 120, 70, 13}, "Данные", A::Right},
    {ID_REREAD, K::Button, "Перечитать", {175, 215, 50, 14}, "Параметры", A::Default},
    {NO_ID, K::Label, "Фаза -", {10, 50, 25, 13}, "Данные", A::Right},
    {ID_PHASE, K::Display, "", {35, 50, 40, 15}, "Данные", A::Right},
    {NO_ID, K::Label, "Ток (mA)-", {85, 50, 35, 13}, "Данные", A::Right},
    {ID_TOTAL_CURRENT, K::Display, "", {121, 50, 40, 15}, "Данные", A::Right},
    {NO_ID, K::GroupBox, "Данные", {5, 40, 160, 120}, "", A::Default},
    {NO_ID, K::GroupBox, "Ручное управление", {5, 165, 160, 115}, "", A::Default},
    {NO_ID, K::GroupBox, "Параметры", {170, 35, 155, 210}, "", A::Default},
    {ID_EXIT, K::Button, "Выход", {270, 260, 55, 14}, "", A::Default},
    {ID_KP_SHOWN, K::Display, "", {280, 95, 40, 15}, "Параметры", A::Right},
    {ID_KP, K::Button, "K пропорц. тока (Kp)", {175, 95, 100, 14}, "Параметры", A::Right},
    {ID_KL_SHOWN, K::Display, "", {280, 115, 40, 15}, "Параметры", A::Right},
    {ID_KL, K::Button, "K выравнивания тока (KL)", {175, 115, 100, 14}, "Параметры", A::Right},
    {ID_DIVISION, K::Button, "Деление шага", {175, 75, 75, 14}, "Параметры", A::Right},
    {ID_DIVISION_SHOWN, K::Display, "", {280, 75, 40, 15}, "Параметры", A::Right},
    {ID_AUTOTUNE, K::Button, "Автоподстройка тока", {175, 260, 80, 14}, "", A::Default},
    {NO_ID, K::Label, "Скор. (об/мин) -", {55, 70, 60, 13}, "Данные", A::Right},
    {ID_SHAFT_SPEED, K::Display, "", {120, 70, 40, 15}, "Данные", A::Right},
    {ID_DIVISION_LIST, K::DropDown, "", {255, 75, 20, 159}, "Параметры", A::Default},
    {ID_SMOOTHING, K::Button, "", {175, 55, 100, 15}, "Параметры", A::Default},
    {ID_TEST, K::Button, "Тест ", {280, 55, 40, 14}, "Параметры", A::Default},
    {NO_ID, K::Label, "Шагать", {115, 195, 35, 10}, "Ручное управление", A::Centre},
    {NO_ID, K::Label, "Вращать", {115, 225, 35, 10}, "Ручное управление", A::Centre},
    {ID_ROTATE_LEFT, K::Button, "<", {105, 240, 25, 14}, "Ручное управление", A::Default},
    {ID_ROTATE_RIGHT, K::Button, ">", {135, 240, 25, 14}, "Ручное управление", A::Default},
    {ID_STOP, K::Button, "Стоп", {10, 260, 150, 14}, "Ручное управление", A::Default},
    {ID_JOG_SPEED_SHOWN, K::Display, "", {70, 220, 25, 15}, "Ручное управление", A::Centre},
    {ID_JOG_SPEED, K::Button, "Скор. (об/мин)", {10, 220, 55, 14}, "Ручное управление", A::Default},
    {ID_JOG_ACCEL_SHOWN, K::Display, "", {70, 240, 25, 15}, "Ручное управление", A::Centre},
    {ID_JOG_ACCEL, K::Button, "Уск. (об/с/с)", {10, 240, 55, 14}, "Ручное управление", A::Default},
    {NO_ID, K::Label, "Положение (шаг)- ", {15, 175, 65, 13}, "Ручное управление", A::Right},
    {ID_POSITION, K::Display, "", {90, 175, 40, 15}, "Ручное управление", A::Right},
    {ID_ZERO_POSITION, K::Button, ">0<", {135, 175, 25, 14}, "Ручное управление", A::Default},
    {ID_FAULT_CURRENT_SHOWN, K::Display, "", {280, 135, 40, 15}, "Параметры", A::Right},
    {ID_FAULT_CURRENT, K::Button, "Ток аварии (mA)", {175, 135, 100, 14}, "Параметры", A::Right},
};
}  // namespace layout_rows

using layout_rows::PANEL_LAYOUT;

// Entries of the step-division list, in this order: sorted by text, "10"
// would come before "2".
inline constexpr const char* DIVISION_ENTRIES[] = {
    "1", "2", "3", "4", "5", "6", "8", "10", "12", "15", "20", "24", "30", "40", "60", "120",
};

}  // namespace velkor
