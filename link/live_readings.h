// live_readings.h: the driver's live readings as one table, in the order of
// the CSV columns: where each lives in PanelValues, which reports bring it,
// its name for velkorctl, its CSV column (the unit spelled in it) and its name
// in the window. The chart recorder, `velkorctl watch` and `show` all read it.
// Depends on PanelValues and the report codes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "codes.h"
#include "panel_values.h"

namespace velkor {

enum class LiveReading : uint8_t {
  SetCurrentA,
  SetCurrentB,
  ActualCurrentA,
  ActualCurrentB,
  PwmA,
  PwmB,
  TotalCurrent,
  ShaftSpeed,
  Position,
  Phase,
};
inline constexpr size_t LIVE_READING_COUNT = 10;

constexpr uint32_t ReportBit(uint8_t type) { return uint32_t{1} << type; }

struct LiveReadingInfo {
  LiveReading reading;
  const char* name;    // velkorctl's NAME=VALUE and JSON name
  const char* column;  // CSV column with its unit, plain ASCII for any tool that reads it
  const char* label;   // name in the window, UTF-8
  uint32_t reports;    // ReportBit of every report the value is made of
  int32_t (*read)(const PanelValues&);
};

inline constexpr std::array<LiveReadingInfo, LIVE_READING_COUNT> LIVE_READINGS{{
    {LiveReading::SetCurrentA, "setCurrentA", "set_current_a_ma", "Задание тока A", ReportBit(RPT_SET_CURRENT_A),
     [](const PanelValues& v) -> int32_t { return v.setCurrentA; }},
    {LiveReading::SetCurrentB, "setCurrentB", "set_current_b_ma", "Задание тока B", ReportBit(RPT_SET_CURRENT_B),
     [](const PanelValues& v) -> int32_t { return v.setCurrentB; }},
    {LiveReading::ActualCurrentA, "actualCurrentA", "actual_current_a_ma", "Ток A", ReportBit(RPT_ACTUAL_CURRENT_A),
     [](const PanelValues& v) -> int32_t { return v.actualCurrentA; }},
    {LiveReading::ActualCurrentB, "actualCurrentB", "actual_current_b_ma", "Ток B", ReportBit(RPT_ACTUAL_CURRENT_B),
     [](const PanelValues& v) -> int32_t { return v.actualCurrentB; }},
    {LiveReading::PwmA, "pwmA", "pwm_a", "ШИМ A", ReportBit(RPT_PWM_A),
     [](const PanelValues& v) -> int32_t { return v.pwmA; }},
    {LiveReading::PwmB, "pwmB", "pwm_b", "ШИМ B", ReportBit(RPT_PWM_B),
     [](const PanelValues& v) -> int32_t { return v.pwmB; }},
    // The sum of both windings means something only once both have come.
    {LiveReading::TotalCurrent, "totalCurrent", "total_current_ma", "Суммарный ток",
     ReportBit(RPT_ACTUAL_CURRENT_A) | ReportBit(RPT_ACTUAL_CURRENT_B),
     [](const PanelValues& v) -> int32_t { return v.totalCurrent; }},
    {LiveReading::ShaftSpeed, "shaftSpeed", "shaft_speed_rpm", "Скорость", ReportBit(RPT_STATUS),
     [](const PanelValues& v) -> int32_t { return v.shaftSpeed; }},
    {LiveReading::Position, "position", "position_steps", "Положение", ReportBit(RPT_POSITION),
     [](const PanelValues& v) -> int32_t { return v.position; }},
    {LiveReading::Phase, "phase", "phase", "Фаза", ReportBit(RPT_PHASE),
     [](const PanelValues& v) -> int32_t { return v.phase; }},
}};

constexpr size_t Index(LiveReading reading) { return static_cast<size_t>(reading); }

// The table is indexed by the enum: a row out of place would mislabel a column.
static_assert([] {
  for (size_t i = 0; i < LIVE_READING_COUNT; ++i)
    if (Index(LIVE_READINGS[i].reading) != i) return false;
  return true;
}());

// Whether the driver has reported the reading since the link last started
// over; a value never reported is the zero PanelValues starts with, not a
// measurement.
constexpr bool Reported(const PanelValues& values, const LiveReadingInfo& info) {
  return (values.liveReports & info.reports) == info.reports;
}

constexpr bool EveryReadingReported(const PanelValues& values) {
  for (const LiveReadingInfo& info : LIVE_READINGS)
    if (!Reported(values, info)) return false;
  return true;
}

}  // namespace velkor
