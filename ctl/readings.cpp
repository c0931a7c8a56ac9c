// readings.cpp: the printed forms of the parameters and the live readings.
#include "readings.h"

#include <array>

#include "json_string.h"
#include "live_readings.h"
#include "reading_file.h"
#include "status_texts.h"

namespace velkor::ctl {
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

// The reading's value, or `unknown` when the driver has not reported it.
std::string ReadingText(const PanelValues& values, const LiveReadingInfo& r, std::string_view unknown) {
  return Reported(values, r) ? std::to_string(r.read(values)) : std::string(unknown);
}

std::string ReadingsJson(const PanelValues& values) {
  std::string json = "{";
  for (const LiveReadingInfo& r : LIVE_READINGS) {
    if (json.size() > 1) json += ",";
    json += JsonString(r.name) + ":" + ReadingText(values, r, "null");
  }
  return json + "}";
}

}  // namespace

std::string ParameterText(ParameterId id, int32_t value) {
  if (id == ParameterId::Smoothing) return value != 0 ? "on" : "off";
  return std::to_string(value);
}

std::string_view StateWord(const Link& link) {
  if (link.state.readyWord == READY_CONNECTED) return "connected";
  if (link.state.drop == LinkDrop::Silent) return "link_lost";
  if (link.state.drop == LinkDrop::NotAcknowledged) return "send_failed";
  if (link.values.statusText == STATUS_OPEN_FAILED) return "open_failed";
  return "connecting";
}

std::string_view StatusSentence(const Link& link) {
  // The status line moves on with every command and every answer to one
  // (a re-read the handshake repeated may be acknowledged after the
  // connection): what it said when the state began is what belongs to it.
  if (link.state.readyWord == READY_CONNECTED) return STATUS_CONNECTED;
  if (link.state.drop == LinkDrop::Silent) return STATUS_LINK_LOST;
  if (link.state.drop == LinkDrop::NotAcknowledged) return STATUS_SEND_FAILED;
  return link.values.statusText;
}

std::string ShowText(std::string_view port, const Link& link) {
  std::string text = "port=" + std::string(port) + "\nstate=" + std::string(StateWord(link)) +
                     "\nstatus=" + std::string(StatusSentence(link)) + "\n";
  for (const ParameterId id : ALL_PARAMETERS) {
    text += std::string(ParameterName(id)) + "=" + ParameterText(id, ValueOf(link, id)) + "\n";
  }
  for (const LiveReadingInfo& r : LIVE_READINGS) {
    text += std::string(r.name) + "=" + ReadingText(link.values, r, "unknown") + "\n";
  }
  return text;
}

std::string ShowJson(std::string_view port, const Link& link) {
  std::string parameters = "{";
  for (const ParameterId id : ALL_PARAMETERS) {
    if (parameters.size() > 1) parameters += ",";
    parameters += JsonString(ParameterName(id)) + ":" + JsonValue(id, ValueOf(link, id));
  }
  parameters += "}";
  return "{\"port\":" + JsonString(port) + ",\"state\":" + JsonString(StateWord(link)) +
         ",\"status\":" + JsonString(StatusSentence(link)) + ",\"parameters\":" + parameters +
         ",\"readings\":" + ReadingsJson(link.values) + "}\n";
}

std::string MissingReadings(const PanelValues& values) {
  std::string names;
  for (const LiveReadingInfo& r : LIVE_READINGS) {
    if (!Reported(values, r)) names += (names.empty() ? "" : ", ") + std::string(r.name);
  }
  return names;
}

std::string WatchTextLine(const PanelValues& values) {
  std::string line;
  for (const LiveReadingInfo& r : LIVE_READINGS) {
    line += (line.empty() ? "" : " ") + std::string(r.name) + "=" + ReadingText(values, r, "unknown");
  }
  return line + "\n";
}

std::string WatchCsvHeader(const Link& link, std::string_view recordedAt) {
  return charts::ReadingFileHeader(link, recordedAt, charts::ROWS_EVERY_STATUS);
}

std::string WatchCsvLine(const PanelValues& values, double seconds) {
  std::string line;
  charts::AppendSampleRow(line, charts::SampleOf(values, seconds), 0);
  return line;
}

std::string WatchJsonLine(const PanelValues& values) { return ReadingsJson(values) + "\n"; }

}  // namespace velkor::ctl
