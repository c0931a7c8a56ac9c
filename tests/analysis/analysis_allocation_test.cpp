// analysis_allocation_test.cpp: feeding the analysis and reading the
// tracker's figures allocate nothing: counted by replacing operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "codes.h"
#include "crawl_analysis.h"
#include "current_tracker.h"
#include "sweep_analysis.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace velkor::analysis {
namespace {

TEST(AnalysisAllocation, ReportsAndTheTrackersFiguresAllocateNothing) {
  CurrentTracker tracker;
  CrawlAnalyzer crawl;
  crawl.Start(8);
  SweepRecorder sweep;
  sweep.BeginStep(100, 0);
  uint64_t badFrames = 0;
  tracker.WatchBadFrames(&badFrames);
  ReportListener* listeners[] = {&tracker, &crawl, &sweep};

  const long before = allocations.load();
  for (int k = 0; k < 5000; ++k) {
    const double t = k * 0.01;
    for (uint8_t type = RPT_PHASE; type <= RPT_STATUS; ++type)
      for (ReportListener* l : listeners) l->OnReport(type, static_cast<int16_t>(k % 32 * (type - 14)), t);
    if (k % 1000 == 999) {
      for (ReportListener* l : listeners) l->OnLinkReset(t);
      ++badFrames;
    }
  }
  const TrackerFigures f = tracker.Figures(50);
  EXPECT_EQ(allocations.load() - before, 0);
  EXPECT_EQ(f.windings[0].all.basis.linkResets, 1u);  // one in the last 2 s
  EXPECT_GT(f.windings[0].all.basis.readings, 0u);
}

}  // namespace
}  // namespace velkor::analysis
