// driver_metrics.cpp: the metrics page in Prometheus' text exposition format.
#include "driver_metrics.h"

#include <cstdio>

#include "command_line.h"

namespace velkor::daemon {
namespace {

struct Family {
  const char* name;
  const char* type;
  const char* help;
};

constexpr Family UP{"velkor_driver_up", "gauge", "1 while the driver's link is connected"};
constexpr Family REPORTS{"velkor_link_reports_total", "counter", "Reports received from the driver"};
constexpr Family CHECK_ERRORS{"velkor_link_check_errors_total", "counter",
                              "Frames from the driver rejected by their check byte"};
constexpr Family RECONNECTS{"velkor_link_reconnects_total", "counter", "Times the driver's port was opened again"};
constexpr Family COMMANDS{"velkor_commands_total", "counter", "Remote commands by result"};
constexpr Family SET_CURRENT{"velkor_winding_set_current_amperes", "gauge", "The current set for each winding"};
constexpr Family ACTUAL_CURRENT{"velkor_winding_current_amperes", "gauge", "The current measured in each winding"};
constexpr Family PWM{"velkor_winding_pwm", "gauge", "The PWM duty of each winding, as the driver reports it"};
constexpr Family TRACKING_ERROR{"velkor_winding_tracking_error_rms_amperes", "gauge",
                                "RMS of the measured less the set current of each winding over the last 2 s"};
constexpr Family TRACKING_READINGS{"velkor_winding_tracking_readings", "gauge",
                                   "Readings the RMS tracking error of each winding rests on"};
constexpr std::array<const char*, 2> WINDINGS = {"a", "b"};

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

void Header(std::string& page, const Family& family) {
  page += std::string("# HELP ") + family.name + " " + family.help + "\n# TYPE " + family.name + " " + family.type +
          "\n";
}

}  // namespace

const char* CommandResult(int exitStatus) {
  switch (exitStatus) {
    case ctl::EXIT_DONE: return COMMAND_RESULTS[0];
    case ctl::EXIT_DIFFERS: return COMMAND_RESULTS[1];
    case ctl::EXIT_USAGE: return COMMAND_RESULTS[2];
    default: return COMMAND_RESULTS[3];
  }
}

std::string MetricsText(const std::string& site, const std::string& host,
                        const std::vector<std::pair<std::string, DriverFigures>>& drivers) {
  // Names are checked on loading: no quote or backslash to escape.
  const auto labels = [&](const std::string& driver, const std::string& more = {}) {
    return "{driver=\"" + driver + "\",site=\"" + site + "\",host=\"" + host + "\"" + more + "}";
  };
  std::string page;
  const auto each = [&](const Family& family, auto value) {
    Header(page, family);
    for (const auto& [driver, f] : drivers) page += family.name + labels(driver) + " " + value(f) + "\n";
  };
  each(UP, [](const DriverFigures& f) { return std::string(f.up ? "1" : "0"); });
  each(REPORTS, [](const DriverFigures& f) { return std::to_string(f.reports); });
  each(CHECK_ERRORS, [](const DriverFigures& f) { return std::to_string(f.checkErrors); });
  each(RECONNECTS, [](const DriverFigures& f) { return std::to_string(f.reconnects); });
  Header(page, COMMANDS);
  for (const auto& [driver, f] : drivers)
    for (size_t i = 0; i < COMMAND_RESULTS.size(); ++i)
      page += std::string(COMMANDS.name) + labels(driver, std::string(",result=\"") + COMMAND_RESULTS[i] + "\"") +
              " " + std::to_string(f.commands[i]) + "\n";
  // A winding's value not known is left out, not shown as 0.
  for (const auto& [family, member] :
       {std::pair{SET_CURRENT, &DriverFigures::setCurrentAmperes},
        std::pair{ACTUAL_CURRENT, &DriverFigures::actualCurrentAmperes}, std::pair{PWM, &DriverFigures::pwm},
        std::pair{TRACKING_ERROR, &DriverFigures::trackingErrorAmperes}}) {
    Header(page, family);
    for (const auto& [driver, f] : drivers)
      for (size_t w = 0; w < WINDINGS.size(); ++w)
        if (const auto& value = (f.*member)[w])
          page += std::string(family.name) + labels(driver, std::string(",winding=\"") + WINDINGS[w] + "\"") + " " +
                  Number(*value) + "\n";
  }
  Header(page, TRACKING_READINGS);
  for (const auto& [driver, f] : drivers)
    for (size_t w = 0; w < WINDINGS.size(); ++w)
      page += std::string(TRACKING_READINGS.name) + labels(driver, std::string(",winding=\"") + WINDINGS[w] + "\"") +
              " " + std::to_string(f.trackingReadings[w]) + "\n";
  return page;
}

}  // namespace velkor::daemon
