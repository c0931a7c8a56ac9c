// readings.h: the driver's live readings as velkorctl prints them, from the
// link's table of live readings, and the parameters as a profile names them,
// in the three forms it writes: NAME=VALUE lines, CSV and JSON. A reading the
// driver has not reported since the link started over is "unknown" in text,
// an empty CSV field and null in JSON. Depends on the link and the parameter
// states.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link_controller.h"

namespace velkor::ctl {

// A parameter's value as set and show write it: "on"/"off" for smoothing.
std::string ParameterText(ParameterId id, int32_t value);

// The link's state as one word for scripts: "connected", "link_lost",
// "send_failed", "open_failed" or "connecting".
std::string_view StateWord(const Link& link);
// The status line's sentence for that state, as it read when the state
// began: "Соединено VK-3 ID-19.0" for as long as the link is connected.
std::string_view StatusSentence(const Link& link);

// `show`: NAME=VALUE lines (port, state, status, the parameters, the
// readings), or one JSON object with "port", "state", "status", "parameters"
// and "readings".
std::string ShowText(std::string_view port, const Link& link);
std::string ShowJson(std::string_view port, const Link& link);

// The names of the readings not reported yet, ", " between them; empty
// when every one has been.
std::string MissingReadings(const PanelValues& values);

// `watch`: one line per status report. The CSV form is the readings file of
// the chart's recordings (reading_file.h): its header, made at `recordedAt`
// (the wall-clock time of 0 s), then a row a status report with its seconds.
std::string WatchTextLine(const PanelValues& values);
std::string WatchCsvHeader(const Link& link, std::string_view recordedAt);
std::string WatchCsvLine(const PanelValues& values, double seconds);
std::string WatchJsonLine(const PanelValues& values);

}  // namespace velkor::ctl
