// readings.cpp: the readings table and the printed forms built from it.
#include "readings.h"

#include "json_string.h"

namespace velkor::ctl {

const std::array<ReadingField, 10> READINGS = {{
    {"phase", [](const PanelValues& v) -> int32_t { return v.phase; }},
    {"setCurrentA", [](const PanelValues& v) -> int32_t { return v.setCurrentA; }},
    {"setCurrentB", [](const PanelValues& v) -> int32_t { return v.setCurrentB; }},
    {"pwmA", [](const PanelValues& v) -> int32_t { return v.pwmA; }},
    {"pwmB", [](const PanelValues& v) -> int32_t { return v.pwmB; }},
    {"actualCurrentA", [](const PanelValues& v) -> int32_t { return v.actualCurrentA; }},
    {"actualCurrentB", [](const PanelValues& v) -> int32_t { return v.actualCurrentB; }},
    {"totalCurrent", [](const PanelValues& v) -> int32_t { return v.totalCurrent; }},
    {"position", [](const PanelValues& v) -> int32_t { return v.position; }},
    {"shaftSpeed", [](const PanelValues& v) -> int32_t { return v.shaftSpeed; }},
}};

namespace {

// The ten parameters in profile order, then smoothing.
constexpr std::array<ParameterId, PARAMETER_STATE_COUNT> ALL_PARAMETERS = {
    ParameterId::StepDivision,  ParameterId::MotionCurrent, ParameterId::ReductionDelay,
    ParameterId::HoldingCurrent, ParameterId::FaultCurrent, ParameterId::ProportionalK,
    ParameterId::LevelingK,     ParameterId::Steps,         ParameterId::JogSpeed,
    ParameterId::JogAccel,      ParameterId::Smoothing,
};

int32_t ValueOf(const Link& link, ParameterId id) { return State(link.parameters, id).value; }

std::string JsonValue(ParameterId id, int32_t value) {
  if (id == ParameterId::Smoothing) return value != 0 ? "true" : "false";
  return std::to_string(value);
}

std::string ReadingsJson(const PanelValues& values) {
  std::string json = "{";
  for (const ReadingField& r : READINGS) {
    if (json.size() > 1) json += ",";
    json += JsonString(r.name) + ":" + std::to_string(r.value(values));
  }
  return json + "}";
}

}  // namespace

std::string ParameterText(ParameterId id, int32_t value) {
  if (id == ParameterId::Smoothing) return value != 0 ? "on" : "off";
  return std::to_string(value);
}

std::string ShowText(std::string_view port, const Link& link) {
  std::string text = "port=" + std::string(port) + "\nstatus=" + std::string(link.values.statusText) + "\n";
  for (const ParameterId id : ALL_PARAMETERS) {
    text += std::string(ParameterName(id)) + "=" + ParameterText(id, ValueOf(link, id)) + "\n";
  }
  for (const ReadingField& r : READINGS) text += std::string(r.name) + "=" + std::to_string(r.value(link.values)) + "\n";
  return text;
}

std::string ShowJson(std::string_view port, const Link& link) {
  std::string parameters = "{";
  for (const ParameterId id : ALL_PARAMETERS) {
    if (parameters.size() > 1) parameters += ",";
    parameters += JsonString(ParameterName(id)) + ":" + JsonValue(id, ValueOf(link, id));
  }
  parameters += "}";
  return "{\"port\":" + JsonString(port) + ",\"status\":" + JsonString(link.values.statusText) +
         ",\"parameters\":" + parameters + ",\"readings\":" + ReadingsJson(link.values) + "}\n";
}

std::string WatchTextLine(const PanelValues& values) {
  std::string line;
  for (const ReadingField& r : READINGS) {
    line += (line.empty() ? "" : " ") + std::string(r.name) + "=" + std::to_string(r.value(values));
  }
  return line + "\n";
}

std::string WatchCsvHeader() {
  std::string line;
  for (const ReadingField& r : READINGS) line += (line.empty() ? "" : ",") + std::string(r.name);
  return line + "\n";
}

std::string WatchCsvLine(const PanelValues& values) {
  std::string line;
  for (const ReadingField& r : READINGS) line += (line.empty() ? "" : ",") + std::to_string(r.value(values));
  return line + "\n";
}

std::string WatchJsonLine(const PanelValues& values) { return ReadingsJson(values) + "\n"; }

}  // namespace velkor::ctl
