// readings.h: the driver's live readings as velkorctl names and prints them,
// and the parameters as a profile names them, in the three forms it writes:
// NAME=VALUE lines, CSV and JSON. Depends on PanelValues and the parameter states.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "link_controller.h"

namespace velkor::ctl {

struct ReadingField {
  std::string_view name;
  int32_t (*value)(const PanelValues&);
};
extern const std::array<ReadingField, 10> READINGS;

// A parameter's value as set and show write it: "on"/"off" for smoothing.
std::string ParameterText(ParameterId id, int32_t value);

// `show`: NAME=VALUE lines (port, status, the parameters, the readings), or
// one JSON object with "port", "status", "parameters" and "readings".
std::string ShowText(std::string_view port, const Link& link);
std::string ShowJson(std::string_view port, const Link& link);

// `watch`: one line per status report; the CSV form opens with a header line.
std::string WatchTextLine(const PanelValues& values);
std::string WatchCsvHeader();
std::string WatchCsvLine(const PanelValues& values);
std::string WatchJsonLine(const PanelValues& values);

}  // namespace velkor::ctl
