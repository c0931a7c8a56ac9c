// analysis_json.h: every figure set as one JSON object, the same for
// velkorctl --json, the report files and the tests. Keys carry their units
// (rmsErrorMa, rateHz, speedRpm, ...); an unknown figure is null. Plain
// string building; depends on the figure headers.
#pragma once

#include <string>

#include "crawl_analysis.h"
#include "current_tracker.h"
#include "sweep_analysis.h"

namespace velkor::analysis {

std::string BasisJson(const Basis& basis);
std::string TrackerJson(const TrackerFigures& figures);
// The points are left out unless asked for: they are many.
std::string CrawlJson(const CrawlFigures& figures, bool withPoints = false);
std::string SweepJson(const SweepFigures& figures);

// The names used in the JSON and the reports.
const char* WindingName(Winding winding);         // "A", "B"
const char* MotionStateName(MotionState state);   // "holding", "accelerating", "constantSpeed"
const char* CeilingSourceName(CeilingSource source);  // "unknown", "data", "operator"

}  // namespace velkor::analysis
