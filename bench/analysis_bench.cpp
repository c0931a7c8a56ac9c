// analysis_bench.cpp: what the analysis costs. The time per report fed to the
// tracker, the crawl and the sweep recorder (a busy driver's stream: eight
// live readings and the status report each 10 ms), and per reading of the
// tracker's figures over a full 2 s window. scripts/bench.sh turns them into
// a share of one core.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "codes.h"
#include "crawl_analysis.h"
#include "current_tracker.h"
#include "sweep_analysis.h"

namespace {

using namespace velkor;
using namespace velkor::analysis;

constexpr int BURSTS = 1000;  // 10 s of the driver's reports

struct Timed {
  uint8_t type;
  int16_t value;
  double time;
};

std::vector<Timed> BusyStream() {
  std::vector<Timed> reports;
  for (int k = 0; k < BURSTS; ++k) {
    const double t = k * 0.01;
    const auto a = static_cast<int16_t>(std::lround(1000 * std::cos(k * 0.3)));
    const auto b = static_cast<int16_t>(std::lround(1000 * std::sin(k * 0.3)));
    const std::pair<uint8_t, int16_t> burst[] = {
        {RPT_PHASE, static_cast<int16_t>(k % 32)}, {RPT_SET_CURRENT_A, a}, {RPT_SET_CURRENT_B, b},
        {RPT_PWM_A, static_cast<int16_t>(a / 20)}, {RPT_PWM_B, static_cast<int16_t>(b / 20)},
        {RPT_ACTUAL_CURRENT_A, static_cast<int16_t>(a + k % 7)}, {RPT_ACTUAL_CURRENT_B, static_cast<int16_t>(b - k % 5)},
        {RPT_POSITION, static_cast<int16_t>(k)}, {RPT_STATUS, 60}};
    for (const auto& [type, value] : burst) reports.push_back({type, value, t});
  }
  return reports;
}

// The stream's times move on with each pass, so the window keeps sliding.
void FeedReports(benchmark::State& state, ReportListener& listener) {
  const std::vector<Timed> stream = BusyStream();
  double offset = 0;
  for (auto _ : state) {
    for (const Timed& r : stream) listener.OnReport(r.type, r.value, r.time + offset);
    offset += BURSTS * 0.01;
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(stream.size()));
}

void BM_TrackerReport(benchmark::State& state) {
  CurrentTracker tracker;
  FeedReports(state, tracker);
}
BENCHMARK(BM_TrackerReport);

void BM_CrawlReport(benchmark::State& state) {
  CrawlAnalyzer crawl;
  crawl.Start(8);
  FeedReports(state, crawl);
}
BENCHMARK(BM_CrawlReport);

void BM_SweepReport(benchmark::State& state) {
  SweepRecorder sweep;
  sweep.BeginStep(60, 0, 1);  // full at once: the cost is the stream's, not the storage's
  FeedReports(state, sweep);
}
BENCHMARK(BM_SweepReport);

// One refresh of every tracker figure over a full 2 s window.
void BM_TrackerFigures(benchmark::State& state) {
  CurrentTracker tracker;
  const std::vector<Timed> stream = BusyStream();
  for (const Timed& r : stream) tracker.OnReport(r.type, r.value, r.time);
  for (auto _ : state) benchmark::DoNotOptimize(tracker.Figures(BURSTS * 0.01));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TrackerFigures);

}  // namespace

BENCHMARK_MAIN();
