// figure_texts_test.cpp: how the current analysis prints its figures: an
// unknown figure as "—", a basis without readings as "нет данных", and the
// PWM ceiling with where it came from.
#include <gtest/gtest.h>

#include "analysis_report.h"
#include "figure_texts.h"

namespace velkor {
namespace {

using analysis::Basis;
using analysis::Ceiling;
using analysis::CeilingSource;

TEST(FigureTexts, NumbersPrintWithTheirPlacesAndUnknownAsADash) {
  struct Row {
    std::optional<double> value;
    int decimals;
    const char* text;
  };
  const Row rows[] = {{std::nullopt, 1, "—"}, {0.0, 1, "0.0"}, {12.345, 1, "12.3"}, {-51.6, 0, "-52"}, {0.9871, 3, "0.987"}};
  for (const Row& r : rows) EXPECT_EQ(Number(r.value, r.decimals).toStdString(), r.text);
}

TEST(FigureTexts, AnAnswerMayBeUnknown) {
  EXPECT_EQ(YesNo(std::nullopt).toStdString(), "неизвестно");
  EXPECT_EQ(YesNo(true).toStdString(), "да");
  EXPECT_EQ(YesNo(false).toStdString(), "нет");
}

TEST(FigureTexts, TheBasisSaysHowManyReadingsAtWhatRateAndWhatWasLost) {
  struct Row {
    Basis basis;
    const char* text;
  };
  const Row rows[] = {
      {{}, "нет данных"},
      {{.readings = 200, .rateHz = 100.0, .spanSeconds = 2.0, .lostReadings = 3, .gaps = 1, .badFrames = 0, .linkResets = 0},
       "200 отсч., 100.0 отсч/с, за 2.0 с, потеряно 3"},
      {{.readings = 1, .rateHz = std::nullopt, .spanSeconds = 0, .lostReadings = 0, .gaps = 0, .badFrames = 0, .linkResets = 0}, "1 отсч., — отсч/с, за 0.0 с, потеряно 0"},
      {{.readings = 50, .rateHz = 25.0, .spanSeconds = 2.0, .lostReadings = 0, .gaps = 0, .badFrames = 2, .linkResets = 1},
       "50 отсч., 25.0 отсч/с, за 2.0 с, потеряно 0, плохих кадров 2, сбросов связи 1"},
  };
  for (const Row& r : rows) EXPECT_EQ(BasisText(r.basis).toStdString(), r.text);
}

TEST(FigureTexts, TheCeilingSaysWhereItCameFrom) {
  EXPECT_EQ(CeilingText({std::nullopt, CeilingSource::Unknown}).toStdString(), "неизвестен");
  EXPECT_EQ(CeilingText({985.0, CeilingSource::FromData}).toStdString(), "985 (найден по данным)");
  EXPECT_EQ(CeilingText({1000.0, CeilingSource::FromOperator}).toStdString(), "1000 (задан оператором)");
}

TEST(AnalysisReport, TheJsonLiesBesideThePdfUnderTheSameName) {
  EXPECT_EQ(JsonPathBeside("/tmp/bench/run 1.pdf").toStdString(), "/tmp/bench/run 1.json");
  EXPECT_EQ(JsonPathBeside("report.pdf").toStdString(), "./report.json");
}

}  // namespace
}  // namespace velkor
