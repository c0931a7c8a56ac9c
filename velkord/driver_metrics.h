// driver_metrics.h: what velkord counts and measures for each driver, and
// the Prometheus text format of them all: whether the driver is connected,
// the reports and the frames rejected by their check byte, the reconnections,
// the remote commands by result, each winding's currents (in amperes) and
// PWM duty (the driver's raw value), and each winding's RMS tracking error
// with the number of readings it rests on. Written by the driver's thread, read by
// the metrics page's. Depends on nothing but the standard library.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velkor::daemon {

// The results a remote command is counted under.
inline constexpr std::array<const char*, 4> COMMAND_RESULTS = {"done", "differs", "refused", "failed"};

struct DriverFigures {
  bool up = false;
  uint64_t reports = 0;
  uint64_t checkErrors = 0;
  uint64_t reconnects = 0;
  std::array<uint64_t, COMMAND_RESULTS.size()> commands = {};
  // By winding A, B; unknown until reported since the link started over.
  std::array<std::optional<double>, 2> setCurrentAmperes;
  std::array<std::optional<double>, 2> actualCurrentAmperes;
  std::array<std::optional<double>, 2> pwm;
  // RMS of measured less set current over the tracker's window; unknown
  // without readings in it.
  std::array<std::optional<double>, 2> trackingErrorAmperes;
  std::array<uint64_t, 2> trackingReadings = {};
};

struct DriverMetrics {
  std::string driver;
  std::mutex mutex;
  DriverFigures figures;

  DriverFigures Copy() {
    std::lock_guard lock(mutex);
    return figures;
  }
};

// The command's exit status (velkorctl's) as its result label.
const char* CommandResult(int exitStatus);

// The whole metrics page.
std::string MetricsText(const std::string& site, const std::string& host,
                        const std::vector<std::pair<std::string, DriverFigures>>& drivers);

}  // namespace velkor::daemon
