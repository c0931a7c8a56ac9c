// bounded_number_test.cpp: which answers of the numeric prompt are accepted,
// with which value, for the bounds the parameter buttons use; and that each
// button's bound is the range its prompt's title names.
#include "bounded_number.h"
#include "panel_commands.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <utility>

using velkor::BoundedNumber;
using velkor::ParseBoundedNumber;

namespace {

struct Case {
  const char* name;
  std::string text;
  uint32_t bound;
  bool valid;
  uint16_t value;
};

const Case CASES[] = {
    {"largest below 256", "255", 256, true, 255},
    {"the bound itself", "256", 256, false, 0},
    {"zero", "0", 256, true, 0},
    {"leading zeros", "007", 256, true, 7},
    {"empty text", "", 256, false, 0},
    {"trailing letter", "12a", 256, false, 0},
    {"leading letter", "a12", 256, false, 0},
    {"leading space", " 12", 256, false, 0},
    {"trailing space", "12 ", 256, false, 0},
    {"space between digits", "1 2", 256, false, 0},
    {"plus sign", "+5", 256, false, 0},
    {"minus sign", "-5", 256, false, 0},
    {"decimal point", "1.5", 256, false, 0},
    {"digit separator", "1,000", 1001, false, 0},
    {"hex prefix", "0x10", 256, false, 0},
    {"embedded NUL", std::string("12\0" "3", 4), 256, false, 0},
    {"trailing newline", "12\n", 256, false, 0},
    {"value that wraps to 0 in 16 bits", "65536", 256, false, 0},
    {"value that wraps to 0 in 16 bits, widest bound", "65536", 60001, false, 0},
    {"16-bit wrap of a small value", "65537", 60001, false, 0},
    {"32-bit wrap to a small value", "4294967297", 60001, false, 0},
    {"64-bit wrap to a small value", "18446744073709551617", 60001, false, 0},
    {"many leading zeros", "0000000000000000000000000000000000000000015", 16, true, 15},
    {"only zeros", "00000000000000000000000000000000000000000000", 16, true, 0},
    {"leading zeros before an over-bound value", "00000000000000000016", 16, false, 0},
    {"largest KL", "15", 16, true, 15},
    {"KL bound", "16", 16, false, 0},
    {"largest acceleration", "1000", 1001, true, 1000},
    {"acceleration bound", "1001", 1001, false, 0},
    {"largest current", "20000", 20001, true, 20000},
    {"current bound", "20001", 20001, false, 0},
    {"largest step count", "30000", 30001, true, 30000},
    {"step count bound", "30001", 30001, false, 0},
    {"largest delay", "60000", 60001, true, 60000},
    {"delay bound", "60001", 60001, false, 0},
    {"Arabic-Indic digit five", "\xD9\xA5", 256, false, 0},
    {"fullwidth digit one", "\xEF\xBC\x91", 256, false, 0},
    {"ASCII digits around a fullwidth one", "1\xEF\xBC\x91" "2", 256, false, 0},
    {"Cyrillic letter O for zero", "1\xD0\x9E", 256, false, 0},
    {"Latin-1 superscript two", "\xB2", 256, false, 0},
    {"bound above 16 bits keeps values to 16 bits", "65535", 100000, true, 65535},
    {"bound above 16 bits rejects what 16 bits cannot hold", "70000", 100000, false, 0},
};

}  // namespace

TEST(ParseBoundedNumber, AcceptsExactlyTheDigitStringsBelowTheBound) {
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.name);
    const BoundedNumber result = ParseBoundedNumber(c.text, c.bound);
    EXPECT_EQ(result.valid, c.valid) << '"' << c.text << "\" with bound " << c.bound;
    if (c.valid) {
      EXPECT_EQ(result.value, c.value);
    }
  }
}

TEST(ParseBoundedNumber, RejectsEveryNumberOfSixOrMoreSignificantDigitsWithEveryBound) {
  for (const uint32_t bound : {16u, 256u, 1001u, 20001u, 30001u, 60001u}) {
    for (int digits = 6; digits <= 40; ++digits) {
      for (const char lead : {'1', '9'}) {
        std::string text(static_cast<size_t>(digits), '0');
        text[0] = lead;
        SCOPED_TRACE(text + " with bound " + std::to_string(bound));
        EXPECT_FALSE(ParseBoundedNumber(text, bound).valid);
        EXPECT_FALSE(ParseBoundedNumber("000" + text, bound).valid);
      }
    }
  }
}

TEST(ParseBoundedNumber, EveryValueBelowTheBoundComesBackExactlyAndTheBoundDoesNot) {
  for (const uint32_t bound : {16u, 256u, 1001u, 20001u, 30001u, 60001u}) {
    for (uint32_t v = 0; v <= bound; ++v) {
      const BoundedNumber result = ParseBoundedNumber(std::to_string(v), bound);
      ASSERT_EQ(result.valid, v < bound) << v << " with bound " << bound;
      if (result.valid) {
        ASSERT_EQ(result.value, v);
      }
    }
  }
}

// Each prompt's title names its range; the number it takes must be that range.
TEST(ParameterPrompts, EachTakesTheTopOfTheRangeItsTitleNamesAndNothingAbove) {
  const std::pair<const char*, const char*> expected[] = {
      {"K пропорц. тока (Kp) (0-255)", "255"}, {"Ток движения (0-20000)", "20000"},
      {"Время (мСек) (0-60000)", "60000"},     {"Ток покоя (0-20000)", "20000"},
      {"K выравн. тока(KL) (0-15)", "15"},     {"Шагов (0-30000)", "30000"},
      {"Скор. об/мин (0-30000)", "30000"},     {"Уск. ш/с/с (0-1000)", "1000"},
      {"Ток аварии (0-20000)", "20000"},
  };
  ASSERT_EQ(std::size(velkor::PARAMETER_BUTTONS), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const velkor::ParameterButton& button = velkor::PARAMETER_BUTTONS[i];
    EXPECT_STREQ(button.prompt, expected[i].first);
    const std::string top = expected[i].second;
    EXPECT_TRUE(ParseBoundedNumber(top, button.bound).valid) << button.prompt;
    EXPECT_FALSE(ParseBoundedNumber(std::to_string(std::stoul(top) + 1), button.bound).valid) << button.prompt;
  }
}
