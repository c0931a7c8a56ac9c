// parameter_table.h: the driver's ten stored parameters as one table: the name
// a profile file and the command-line tool use, the set command, the report
// that carries the value back, and the range the panel's prompts accept.
// Plain constants; depends only on the wire's codes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "codes.h"

namespace velkor {

// The ten parameters in the order a profile lists them, then the smoothing
// switch, which the driver keeps beside KL and changes by an action.
enum class ParameterId : uint8_t {
  StepDivision,
  MotionCurrent,
  ReductionDelay,
  HoldingCurrent,
  FaultCurrent,
  ProportionalK,
  LevelingK,
  Steps,
  JogSpeed,
  JogAccel,
  Smoothing,
};
inline constexpr size_t PARAMETER_COUNT = 10;  // without smoothing
inline constexpr size_t PARAMETER_STATE_COUNT = 11;  // with it

struct ParameterInfo {
  ParameterId id;
  std::string_view name;  // as in a profile file: "motionCurrent"
  uint8_t setCode;        // CMD_SET_*
  uint8_t reportType;     // RPT_*
  uint16_t max;           // inclusive; the minimum is 0 for all
};

inline constexpr std::array<ParameterInfo, PARAMETER_COUNT> PARAMETERS = {{
    {ParameterId::StepDivision, "stepDivision", CMD_SET_DIVISION, RPT_DIVISION, 120},
    {ParameterId::MotionCurrent, "motionCurrent", CMD_SET_MOTION_CURRENT, RPT_MOTION_CURRENT, 20000},
    {ParameterId::ReductionDelay, "reductionDelay", CMD_SET_REDUCTION_DELAY, RPT_REDUCTION_DELAY, 60000},
    {ParameterId::HoldingCurrent, "holdingCurrent", CMD_SET_HOLDING_CURRENT, RPT_HOLDING_CURRENT, 20000},
    {ParameterId::FaultCurrent, "faultCurrent", CMD_SET_FAULT_CURRENT, RPT_FAULT_CURRENT, 20000},
    {ParameterId::ProportionalK, "proportionalK", CMD_SET_KP, RPT_KP, 255},
    {ParameterId::LevelingK, "levelingK", CMD_SET_KL, RPT_KL_SMOOTHING, 15},
    {ParameterId::Steps, "steps", CMD_SET_STEPS, RPT_STEPS, 30000},
    {ParameterId::JogSpeed, "jogSpeed", CMD_SET_JOG_SPEED, RPT_JOG_SPEED, 30000},
    {ParameterId::JogAccel, "jogAccel", CMD_SET_JOG_ACCEL, RPT_JOG_ACCEL, 1000},
}};
inline constexpr std::string_view SMOOTHING_NAME = "smoothing";

// The sixteen microstep divisions the driver knows, as the panel's list offers them.
inline constexpr std::array<uint16_t, 16> STEP_DIVISIONS = {1, 2, 3, 4, 5, 6, 8, 10,
                                                           12, 15, 20, 24, 30, 40, 60, 120};

inline constexpr size_t Index(ParameterId id) { return static_cast<size_t>(id); }
inline constexpr const ParameterInfo& Info(ParameterId id) { return PARAMETERS[Index(id)]; }

// The parameter a set command (2..11) changes; nothing for any other code.
std::optional<ParameterId> ParameterForCommand(uint8_t code);
// The name of any of the eleven, smoothing included; and back.
std::string_view ParameterName(ParameterId id);
std::optional<ParameterId> ParameterByName(std::string_view name);
// Whether the driver takes the value for the parameter: within 0..max, and
// for the division one of the sixteen; smoothing takes 0 and 1.
bool ParameterValueAccepted(ParameterId id, int64_t value);

// A parameter's value in one domain, whichever way it travelled: the delay
// as the unsigned quantity it is, KL without the smoothing bit, the smoothing
// switch as 0 or 1, everything else as the signed number on the wire.
int32_t ReportedParameterValue(ParameterId id, int16_t reportValue);
int32_t RequestedParameterValue(ParameterId id, uint16_t commandValue);

}  // namespace velkor
