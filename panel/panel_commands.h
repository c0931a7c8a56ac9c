// panel_commands.h: what the panel's buttons and the division list do. Each
// turns one operator action into at most one queued command; none sends or
// waits for the driver. Depends on the link, the numeric prompt and the
// bounded-number test.
#pragma once

#include <cstdint>
#include <string_view>

#include "codes.h"
#include "parameter_table.h"
#include "link_controller.h"
#include "panel_layout.h"

namespace velkor {

inline constexpr std::string_view MSG_INPUT_ERROR = "Ошибка ввода";
// Shown beside the status line when the queue refuses a command; the beep
// alone goes unheard on a muted desktop.
inline constexpr std::string_view NOTE_QUEUE_FULL =
    "Команда не принята: 255 команд уже ждут отправки.\n"
    "Дождитесь, пока они уйдут к приводу, и повторите.";

// What became of an operator's action.
enum class Queued { Yes, No, QueueFull };

enum class JogEffect { Unchanged, Starts, Stops };

struct ActionButton {
  ControlId control;
  uint16_t action;
  JogEffect jog;
};

inline constexpr ActionButton ACTION_BUTTONS[] = {
    {ID_REREAD, ACT_REREAD, JogEffect::Unchanged},
    {ID_SAVE_EEPROM, ACT_SAVE_EEPROM, JogEffect::Unchanged},
    {ID_AUTOTUNE, ACT_AUTOTUNE, JogEffect::Unchanged},
    {ID_SMOOTHING, ACT_TOGGLE_SMOOTHING, JogEffect::Unchanged},
    {ID_TEST, ACT_TEST, JogEffect::Unchanged},
    {ID_STEP_LEFT, ACT_STEP_LEFT, JogEffect::Starts},
    {ID_STEP_RIGHT, ACT_STEP_RIGHT, JogEffect::Starts},
    {ID_ROTATE_LEFT, ACT_ROTATE_LEFT, JogEffect::Starts},
    {ID_ROTATE_RIGHT, ACT_ROTATE_RIGHT, JogEffect::Starts},
    {ID_STOP, ACT_STOP, JogEffect::Stops},
    {ID_ZERO_POSITION, ACT_ZERO_POSITION, JogEffect::Unchanged},
};

struct ParameterButton {
  ControlId control;
  const char* prompt;  // UTF-8, the prompt window's title
  uint32_t bound;      // exclusive
  uint8_t code;
  bool beep;           // sounds before the prompt opens
};

// The prompts take what the parameter table allows, up to its maximum.
constexpr uint32_t Bound(ParameterId id) { return Info(id).max + 1u; }

inline constexpr ParameterButton PARAMETER_BUTTONS[] = {
    {ID_KP, "K пропорц. тока (Kp) (0-255)", Bound(ParameterId::ProportionalK), CMD_SET_KP, false},
    {ID_MOTION_CURRENT, "Ток движения (0-20000)", Bound(ParameterId::MotionCurrent), CMD_SET_MOTION_CURRENT, false},
    {ID_REDUCTION_DELAY, "Время (мСек) (0-60000)", Bound(ParameterId::ReductionDelay), CMD_SET_REDUCTION_DELAY, false},
    {ID_HOLDING_CURRENT, "Ток покоя (0-20000)", Bound(ParameterId::HoldingCurrent), CMD_SET_HOLDING_CURRENT, false},
    {ID_KL, "K выравн. тока(KL) (0-15)", Bound(ParameterId::LevelingK), CMD_SET_KL, false},
    {ID_STEPS, "Шагов (0-30000)", Bound(ParameterId::Steps), CMD_SET_STEPS, true},
    {ID_JOG_SPEED, "Скор. об/мин (0-30000)", Bound(ParameterId::JogSpeed), CMD_SET_JOG_SPEED, true},
    {ID_JOG_ACCEL, "Уск. ш/с/с (0-1000)", Bound(ParameterId::JogAccel), CMD_SET_JOG_ACCEL, true},
    {ID_FAULT_CURRENT, "Ток аварии (0-20000)", Bound(ParameterId::FaultCurrent), CMD_SET_FAULT_CURRENT, false},
};

// The queue refuses a command while 255 wait; the operator then hears a beep,
// the caller shows NOTE_QUEUE_FULL, and the command is dropped, so the ones
// already waiting still go out in order.
Queued RunAction(Link& link, const ActionButton& button);

// Asks for the number, tests it against the bound, and queues it; a rejected
// answer gets the "Ошибка ввода" box, a closed prompt nothing at all.
Queued PromptParameter(Link& link, const ParameterButton& button);

// Queues the division chosen in the list.
Queued SelectDivision(Link& link);

}  // namespace velkor
