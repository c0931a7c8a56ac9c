// figures.h: what every benchmark here prints: rows of one table, each a
// measure, its figure and its target, and the median / p99 / max of a sample.
// scripts/bench.sh puts the rows of all benchmarks under one heading.
// No dependencies beyond the standard library.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace velkor::bench {

struct Spread {
  double median = 0;
  double p99 = 0;
  double max = 0;
};

// Nearest-rank percentiles; an empty sample gives zeros.
inline Spread SpreadOf(std::vector<double> sample) {
  if (sample.empty()) return {};
  std::sort(sample.begin(), sample.end());
  const auto rank = [&](double p) { return sample[std::min(sample.size() - 1, static_cast<size_t>(p * sample.size()))]; };
  return {rank(0.5), rank(0.99), sample.back()};
}

inline std::string Format(const char* format, double a, double b = 0, double c = 0) {
  char text[128];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

inline std::string MillisecondsOf(const Spread& s) { return Format("%.3f / %.3f / %.3f ms", s.median, s.p99, s.max); }

inline void Row(const std::string& measure, const std::string& figure, const std::string& target = "") {
  std::printf("| %s | %s | %s |\n", measure.c_str(), figure.c_str(), target.c_str());
  std::fflush(stdout);
}

}  // namespace velkor::bench
