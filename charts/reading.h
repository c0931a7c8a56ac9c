// reading.h: how the chart draws the live readings: its plots, one per unit,
// and the traces, each a reading of the link's table drawn in one plot in its
// own colour. The phase is recorded but not drawn. Depends on the link's
// live readings table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "live_readings.h"

namespace velkor::charts {

// Readings of one unit share a plot and its vertical axis.
enum class Plot : uint8_t { Currents, Pwm, Speed, Position };
inline constexpr size_t PLOT_COUNT = 4;

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

struct TraceInfo {
  LiveReading reading;
  Plot plot;
  uint32_t colour;  // 0xRRGGBB, told apart on the white plots; the trace's checkbox wears it too
};

inline constexpr size_t TRACE_COUNT = 9;
inline constexpr std::array<TraceInfo, TRACE_COUNT> TRACES{{
    {LiveReading::SetCurrentA, Plot::Currents, 0x1f77b4},
    {LiveReading::SetCurrentB, Plot::Currents, 0xd62728},
    {LiveReading::ActualCurrentA, Plot::Currents, 0x17becf},
    {LiveReading::ActualCurrentB, Plot::Currents, 0xff7f0e},
    {LiveReading::PwmA, Plot::Pwm, 0x1f77b4},
    {LiveReading::PwmB, Plot::Pwm, 0xd62728},
    {LiveReading::TotalCurrent, Plot::Currents, 0x2ca02c},
    {LiveReading::ShaftSpeed, Plot::Speed, 0x9467bd},
    {LiveReading::Position, Plot::Position, 0x8c564b},
}};

constexpr size_t Index(Plot plot) { return static_cast<size_t>(plot); }
using velkor::Index;

// The plots table is indexed by the enum: a row out of place would mistitle a plot.
static_assert([] {
  for (size_t i = 0; i < PLOT_COUNT; ++i)
    if (Index(PLOTS[i].plot) != i) return false;
  return true;
}());

}  // namespace velkor::charts
