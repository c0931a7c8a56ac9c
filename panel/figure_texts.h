// figure_texts.h: how the current analysis window and its report name the
// figures, print them and tell how to read them. An unknown figure prints as
// "—", never as 0. Depends on the analysis core's figure types and Qt Core.
#pragma once

#include <QString>

#include <optional>

#include "basis.h"
#include "pwm_ceiling.h"

namespace velkor {

inline constexpr const char* UNKNOWN_TEXT = "—";
inline constexpr const char* NO_DATA_TEXT = "нет данных";

// One figure of a winding or of both: its name with its unit, what a good
// value looks like in a few words, and how to read it in a few sentences.
struct FigureText {
  const char* name;
  const char* good;
  const char* howToRead;
};

enum class Figure : uint8_t {
  Bias,
  RmsError,
  P95Error,
  MaxError,
  OutsideTolerance,
  Ratio,
  Imbalance,
  NearCeiling,
  RegulationLostShare,
  RegulationLost,
  LossSpeed,
  HeldSpeed,
  Ceiling,
  Ripple,
  ZeroCrossingError,
  Harmonic3,
  Harmonic5,
};
inline constexpr size_t FIGURE_COUNT = 17;

const FigureText& TextOf(Figure figure);

// A number with `decimals` places, or "—".
QString Number(const std::optional<double>& value, int decimals);
QString YesNo(const std::optional<bool>& value);
// "1234 отсчётов, 99.8 отсч/с, потеряно 3": what a figure rests on, or
// "нет данных".
QString BasisText(const analysis::Basis& basis);
// "1000 (задана оператором)", "985 (найдена по данным)" or "неизвестен".
QString CeilingText(const analysis::Ceiling& ceiling);

}  // namespace velkor
