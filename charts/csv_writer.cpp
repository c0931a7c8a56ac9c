// csv_writer.cpp: header and rows, numbers through std::to_chars so that the
// locale never turns a decimal point into a comma.
#include "csv_writer.h"

#include <charconv>
#include <cstdint>

namespace velkor::charts {

namespace {

template <typename Number, typename... Format>
void AppendNumber(std::string& out, Number number, Format... format) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, number, format...);
  out.append(buffer, result.ptr);
}

template <typename Number>
void AppendParameter(std::string& out, std::string_view name, Number value) {
  out += CSV_COMMENT;
  out += ' ';
  out += name;
  out += ": ";
  AppendNumber(out, value);
  out += '\n';
}

std::string_view SmoothingWord(std::string_view caption) {
  if (caption == SMOOTHING_ON) return "on";
  if (caption == SMOOTHING_OFF) return "off";
  return "not reported";
}

}  // namespace

std::string CsvHeader(const PanelValues& values, std::string_view recordedAt) {
  std::string out;
  out += "# Velkor: readings of the VK-3 driver\n";
  out += "# port: " + values.portName + '\n';
  out += "# recorded: ";
  out += recordedAt;
  out += '\n';
  AppendParameter(out, "step_division", values.stepDivision);
  AppendParameter(out, "motion_current_ma", values.motionCurrent);
  AppendParameter(out, "holding_current_ma", values.holdingCurrent);
  AppendParameter(out, "fault_current_ma", values.faultCurrent);
  AppendParameter(out, "reduction_delay_ms", values.reductionDelay);
  AppendParameter(out, "kp", values.proportionalK);
  AppendParameter(out, "kl", values.levelingK);
  out += "# smoothing: ";
  out += SmoothingWord(values.smoothingCaption);
  out += '\n';
  AppendParameter(out, "steps", values.steps);
  AppendParameter(out, "jog_speed_rpm", values.jogSpeed);
  AppendParameter(out, "jog_accel", values.jogAccel);

  out += CSV_TIME_COLUMN;
  for (const LiveReadingInfo& info : LIVE_READINGS) {
    out += ',';
    out += info.column;
  }
  out += '\n';
  return out;
}

void AppendCsvRow(std::string& out, const Sample& sample, double originSeconds) {
  AppendNumber(out, sample.seconds - originSeconds, std::chars_format::fixed, 3);
  for (int32_t value : sample.values) {
    out += ',';
    AppendNumber(out, value);
  }
  out += '\n';
}

}  // namespace velkor::charts
