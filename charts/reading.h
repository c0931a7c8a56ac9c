// reading.h: the driver's live readings that the chart draws and the recorder
// writes, as one table in the order of the CSV columns. Each row says where the
// reading lives in PanelValues, how it is named in a CSV header and in the
// window, and which plot it is drawn in. Depends on the link's PanelValues.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "panel_values.h"

namespace velkor::charts {

enum class Reading : uint8_t {
  SetCurrentA,
  SetCurrentB,
  ActualCurrentA,
  ActualCurrentB,
  PwmA,
  PwmB,
  TotalCurrent,
  ShaftSpeed,
  Position,
};
inline constexpr size_t READING_COUNT = 9;

// Readings of one unit share a plot and its vertical axis.
enum class Plot : uint8_t { Currents, Pwm, Speed, Position };
inline constexpr size_t PLOT_COUNT = 4;

struct ReadingInfo {
  Reading reading;
  const char* column;  // CSV column, plain ASCII for any tool that reads it
  const char* label;   // trace name in the window, UTF-8
  Plot plot;
  int32_t (*read)(const PanelValues&);
};

inline constexpr std::array<ReadingInfo, READING_COUNT> READINGS{{
    {Reading::SetCurrentA, "set_current_a_ma", "Задание тока A", Plot::Currents,
     [](const PanelValues& v) -> int32_t { return v.setCurrentA; }},
    {Reading::SetCurrentB, "set_current_b_ma", "Задание тока B", Plot::Currents,
     [](const PanelValues& v) -> int32_t { return v.setCurrentB; }},
    {Reading::ActualCurrentA, "actual_current_a_ma", "Ток A", Plot::Currents,
     [](const PanelValues& v) -> int32_t { return v.actualCurrentA; }},
    {Reading::ActualCurrentB, "actual_current_b_ma", "Ток B", Plot::Currents,
     [](const PanelValues& v) -> int32_t { return v.actualCurrentB; }},
    {Reading::PwmA, "pwm_a", "ШИМ A", Plot::Pwm, [](const PanelValues& v) -> int32_t { return v.pwmA; }},
    {Reading::PwmB, "pwm_b", "ШИМ B", Plot::Pwm, [](const PanelValues& v) -> int32_t { return v.pwmB; }},
    {Reading::TotalCurrent, "total_current_ma", "Суммарный ток", Plot::Currents,
     [](const PanelValues& v) -> int32_t { return v.totalCurrent; }},
    {Reading::ShaftSpeed, "shaft_speed_rpm", "Скорость", Plot::Speed,
     [](const PanelValues& v) -> int32_t { return v.shaftSpeed; }},
    {Reading::Position, "position_steps", "Положение", Plot::Position,
     [](const PanelValues& v) -> int32_t { return v.position; }},
}};

struct PlotInfo {
  Plot plot;
  const char* title;  // UTF-8, with the unit
};

inline constexpr std::array<PlotInfo, PLOT_COUNT> PLOTS{{
    {Plot::Currents, "Токи, мА"},
    {Plot::Pwm, "ШИМ"},
    {Plot::Speed, "Скорость, об/мин"},
    {Plot::Position, "Положение, шаги"},
}};

constexpr size_t Index(Reading reading) { return static_cast<size_t>(reading); }
constexpr size_t Index(Plot plot) { return static_cast<size_t>(plot); }

// The table is indexed by the enums: a row out of place would mislabel a column.
static_assert([] {
  for (size_t i = 0; i < READING_COUNT; ++i)
    if (Index(READINGS[i].reading) != i) return false;
  for (size_t i = 0; i < PLOT_COUNT; ++i)
    if (Index(PLOTS[i].plot) != i) return false;
  return true;
}());

}  // namespace velkor::charts
