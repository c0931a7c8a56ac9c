// parameter_table.cpp: lookups in the parameter table and the one domain
// every value is compared in.
#include "parameter_table.h"

#include <algorithm>

namespace velkor {

std::optional<ParameterId> ParameterForCommand(uint8_t code) {
  for (const ParameterInfo& p : PARAMETERS) {
    if (p.setCode == code) return p.id;
  }
  return std::nullopt;
}

std::string_view ParameterName(ParameterId id) {
  return id == ParameterId::Smoothing ? SMOOTHING_NAME : Info(id).name;
}

std::optional<ParameterId> ParameterByName(std::string_view name) {
  if (name == SMOOTHING_NAME) return ParameterId::Smoothing;
  for (const ParameterInfo& p : PARAMETERS) {
    if (p.name == name) return p.id;
  }
  return std::nullopt;
}

bool ParameterValueAccepted(ParameterId id, int64_t value) {
  if (id == ParameterId::Smoothing) return value == 0 || value == 1;
  if (value < 0 || value > Info(id).max) return false;
  if (id != ParameterId::StepDivision) return true;
  return std::find(STEP_DIVISIONS.begin(), STEP_DIVISIONS.end(), value) != STEP_DIVISIONS.end();
}

int32_t ReportedParameterValue(ParameterId id, int16_t reportValue) {
  switch (id) {
    case ParameterId::ReductionDelay: return static_cast<uint16_t>(reportValue);
    case ParameterId::LevelingK: return reportValue & 0x0F;
    case ParameterId::Smoothing: return (reportValue & 0x10) != 0 ? 1 : 0;
    default: return reportValue;
  }
}

int32_t RequestedParameterValue(ParameterId id, uint16_t commandValue) {
  // Above 32767 only the delay is meaningful; anything else wraps on the wire
  // and comes back negative, as the driver will report it.
  if (id == ParameterId::ReductionDelay) return commandValue;
  return static_cast<int16_t>(commandValue);
}

}  // namespace velkor
