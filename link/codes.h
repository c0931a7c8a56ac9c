// codes.h: the vocabulary of the wire. Command codes carried in a command frame,
// action codes carried as the value of CMD_ACTION, and the report types the
// driver sends. Plain constants, shared by the link, the panel and the emulator.
#pragma once

#include <cstdint>

namespace velkor {

// Command codes (code byte of a command frame, bits 0-5).
inline constexpr uint8_t CMD_ACTION = 1;
inline constexpr uint8_t CMD_SET_KP = 2;
inline constexpr uint8_t CMD_SET_DIVISION = 3;
inline constexpr uint8_t CMD_SET_MOTION_CURRENT = 4;
inline constexpr uint8_t CMD_SET_REDUCTION_DELAY = 5;
inline constexpr uint8_t CMD_SET_HOLDING_CURRENT = 6;
inline constexpr uint8_t CMD_SET_KL = 7;
inline constexpr uint8_t CMD_SET_STEPS = 8;
inline constexpr uint8_t CMD_SET_JOG_SPEED = 9;
inline constexpr uint8_t CMD_SET_JOG_ACCEL = 10;
inline constexpr uint8_t CMD_SET_FAULT_CURRENT = 11;

// Action codes (value of a CMD_ACTION command).
inline constexpr uint16_t ACT_REREAD = 0;
inline constexpr uint16_t ACT_SAVE_EEPROM = 1;
inline constexpr uint16_t ACT_AUTOTUNE = 2;
inline constexpr uint16_t ACT_TOGGLE_SMOOTHING = 3;
inline constexpr uint16_t ACT_TEST = 4;
inline constexpr uint16_t ACT_STEP_LEFT = 5;
inline constexpr uint16_t ACT_STEP_RIGHT = 6;
inline constexpr uint16_t ACT_ROTATE_LEFT = 7;
inline constexpr uint16_t ACT_ROTATE_RIGHT = 8;
inline constexpr uint16_t ACT_STOP = 9;
inline constexpr uint16_t ACT_ZERO_POSITION = 10;

// Report types (bits 0-5 of a report frame's first byte).
inline constexpr uint8_t RPT_GREETING = 0;
inline constexpr uint8_t RPT_ACK = 1;
inline constexpr uint8_t RPT_STEPS = 2;
inline constexpr uint8_t RPT_JOG_SPEED = 3;
inline constexpr uint8_t RPT_JOG_ACCEL = 4;
inline constexpr uint8_t RPT_KL_SMOOTHING = 5;
inline constexpr uint8_t RPT_KP = 6;
inline constexpr uint8_t RPT_DIVISION = 7;
inline constexpr uint8_t RPT_MOTION_CURRENT = 8;
inline constexpr uint8_t RPT_REDUCTION_DELAY = 9;
inline constexpr uint8_t RPT_HOLDING_CURRENT = 10;
inline constexpr uint8_t RPT_FAULT_CURRENT = 11;
inline constexpr uint8_t RPT_PHASE = 15;
inline constexpr uint8_t RPT_SET_CURRENT_A = 16;
inline constexpr uint8_t RPT_SET_CURRENT_B = 17;
inline constexpr uint8_t RPT_PWM_A = 18;
inline constexpr uint8_t RPT_PWM_B = 19;
inline constexpr uint8_t RPT_ACTUAL_CURRENT_A = 20;
inline constexpr uint8_t RPT_ACTUAL_CURRENT_B = 21;
inline constexpr uint8_t RPT_POSITION = 22;
inline constexpr uint8_t RPT_STATUS = 23;

// The greeting's value: a driver that says anything else is not a VK-3.
inline constexpr int16_t GREETING_VALUE = 190;

// Single bytes outside any frame.
inline constexpr uint8_t WAKE_BYTE = 0xFF;
inline constexpr uint8_t KEEP_ALIVE_BYTE = 0x80;

}  // namespace velkor
