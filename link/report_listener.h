// report_listener.h: what sees every report the driver sends, one at a time,
// each with its own arrival time. The charts, the recorder and the analysis
// take each report as a sample of its own; a second report of the same type
// in one read is a second sample, not an overwrite. Plain interface, no Qt.
#pragma once

#include <cstdint>

namespace velkor {

// Seconds of a steady clock, for the arrival times of reports.
double SteadySeconds();

// 10 bits per byte at 38400 baud: how long one byte takes on the line.
inline constexpr double BYTE_SECONDS = 10.0 / 38400.0;

class ReportListener {
 public:
  virtual ~ReportListener() = default;
  // Called after the report was applied to PanelValues. `time` is the read's
  // time less the line time of the bytes that came after the report in the
  // same read, so the reports of one read keep their order and spacing.
  virtual void OnReport(uint8_t type, int16_t value, double time) = 0;
  // The link started over (a drop, a lost driver, a port choice): what was
  // heard before and what comes next are not one stream.
  virtual void OnLinkReset(double time) = 0;
};

}  // namespace velkor
