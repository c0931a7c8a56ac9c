// parameters.cpp: parameter commands in, parameter reports out.
#include "parameters.h"

#include "codes.h"

namespace velkor::sim {

std::optional<uint8_t> ReportForCommand(uint8_t code) {
  switch (code) {
    case CMD_SET_KP: return RPT_KP;
    case CMD_SET_DIVISION: return RPT_DIVISION;
    case CMD_SET_MOTION_CURRENT: return RPT_MOTION_CURRENT;
    case CMD_SET_REDUCTION_DELAY: return RPT_REDUCTION_DELAY;
    case CMD_SET_HOLDING_CURRENT: return RPT_HOLDING_CURRENT;
    case CMD_SET_KL: return RPT_KL_SMOOTHING;
    case CMD_SET_STEPS: return RPT_STEPS;
    case CMD_SET_JOG_SPEED: return RPT_JOG_SPEED;
    case CMD_SET_JOG_ACCEL: return RPT_JOG_ACCEL;
    case CMD_SET_FAULT_CURRENT: return RPT_FAULT_CURRENT;
    default: return std::nullopt;
  }
}

void ApplyParameterCommand(Parameters& p, uint8_t code, int16_t value) {
  switch (code) {
    case CMD_SET_KP: p.proportionalK = value; break;
    case CMD_SET_DIVISION: p.stepDivision = value; break;
    case CMD_SET_MOTION_CURRENT: p.motionCurrent = value; break;
    // Up to 60000 ms: it travels as a negative number.
    case CMD_SET_REDUCTION_DELAY: p.reductionDelay = static_cast<uint16_t>(value); break;
    case CMD_SET_HOLDING_CURRENT: p.holdingCurrent = value; break;
    case CMD_SET_KL: p.levelingK = static_cast<uint8_t>(value & KL_MASK); break;
    case CMD_SET_STEPS: p.steps = value; break;
    case CMD_SET_JOG_SPEED: p.jogSpeed = value; break;
    case CMD_SET_JOG_ACCEL: p.jogAccel = value; break;
    case CMD_SET_FAULT_CURRENT: p.faultCurrent = value; break;
    default: break;
  }
}

void ClampCurrent(Parameters& p, uint8_t code, uint16_t limitMa) {
  int16_t* current = code == CMD_SET_MOTION_CURRENT    ? &p.motionCurrent
                     : code == CMD_SET_HOLDING_CURRENT ? &p.holdingCurrent
                     : code == CMD_SET_FAULT_CURRENT   ? &p.faultCurrent
                                                       : nullptr;
  if (current && limitMa != 0 && *current > limitMa) *current = static_cast<int16_t>(limitMa);
}

int16_t ParameterReportValue(const Parameters& p, uint8_t type) {
  switch (type) {
    case RPT_STEPS: return p.steps;
    case RPT_JOG_SPEED: return p.jogSpeed;
    case RPT_JOG_ACCEL: return p.jogAccel;
    case RPT_KL_SMOOTHING: return static_cast<int16_t>(p.levelingK | (p.smoothing ? SMOOTHING_BIT : 0));
    case RPT_KP: return p.proportionalK;
    case RPT_DIVISION: return p.stepDivision;
    case RPT_MOTION_CURRENT: return p.motionCurrent;
    case RPT_REDUCTION_DELAY: return static_cast<int16_t>(p.reductionDelay);
    case RPT_HOLDING_CURRENT: return p.holdingCurrent;
    case RPT_FAULT_CURRENT: return p.faultCurrent;
    default: return 0;
  }
}

}  // namespace velkor::sim
