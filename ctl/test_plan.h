// test_plan.h: a production check for `velkorctl test`: a JSON file listing
// measuring steps, each with bounds on the figures it yields, the verdict of
// each bound, and the JUnit XML file CI systems read. The plan is read and
// checked in full before the port is opened. Depends on the command line
// (each step is parsed as its command would be) and QtCore's JSON.
//
// {"steps": [
//   {"run": "analyze", "for_s": 2,
//    "bounds": {"windings.A.all.rmsErrorMa": {"max": 30}}},
//   {"run": "crawl", "speed_rpm": 1, "for_s": 5, "name": "circle",
//    "bounds": {"ripplePercent": {"max": 5}, "harmonic3PercentA": {"max": 2}}},
//   {"run": "sweep", "from_rpm": 60, "to_rpm": 600, "steps": 5, "bounds": {}},
//   {"run": "tune", "then": "revert", "bounds": {"after.crawl.ripplePercent": {"max": 4}}}
// ]}
//
// A figure is named by its path in the step's --json output, dots between
// the names and array indexes; true and false count as 1 and 0. A bound has
// "min", "max" or both.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "profile_error.h"

namespace velkor::ctl {

struct Bound {
  std::string figure;
  std::optional<double> min;
  std::optional<double> max;
};

struct PlanStep {
  std::string name;         // "name", else "RUN N"
  Invocation invocation;    // the step as its command would run it
  std::vector<Bound> bounds;
};

struct Plan {
  std::vector<PlanStep> steps;
};

// A plan file that could not be read, in words that name it a plan.
std::string PlanFileErrorText(const ProfileError& error);
// Why the JUnit file at `path` could not be written, found before any
// motion: it is not a regular file, or it or its folder is not writable.
std::optional<std::string> JunitUnwritable(const std::string& path);

// The plan in `text`, or the error in words in `error`. A key written twice
// in one object is refused: the parser would keep only the last.
std::optional<Plan> ParsePlan(const std::string& text, const Invocation& base, std::string& error);

enum class Verdict { Held, Failed, Unknown };

struct BoundResult {
  std::string step;
  Bound bound;
  Verdict verdict = Verdict::Unknown;
  std::optional<double> value;
  std::string why;  // Failed and Unknown: in words
  double seconds = 0;  // the step's time
};

// The bounds of one step against its JSON figures (empty: the step did not
// give any, and `why` says why).
std::vector<BoundResult> JudgeStep(const PlanStep& step, const std::string& figuresJson, const std::string& why,
                                   double seconds);

// One line a bound, and a closing count.
std::string VerdictText(const std::vector<BoundResult>& results);
// The JUnit XML: a test suite named after the plan, one test case a bound.
std::string JunitXml(const std::string& planName, const std::vector<BoundResult>& results);
// 0 every bound held, 1 one failed, 3 none failed but one could not be told.
int PlanExitStatus(const std::vector<BoundResult>& results);

}  // namespace velkor::ctl
