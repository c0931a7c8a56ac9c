// measuring_commands.h: analyze, crawl, sweep, tune and test: the measuring
// procedures run from a shell over a connected link, their figures printed
// as NAME=VALUE lines or as the analysis core's JSON, and a plan's bounds
// judged. An interruption stops the motor as `rotate` does. Depends on the
// session, the procedures in analysis/ and the test plan.
#pragma once

#include <cstdio>
#include <string>

#include "command_line.h"
#include "session.h"
#include "test_plan.h"

namespace velkor::ctl {

// One measuring command run to its end: its exit status, its figures as
// JSON (empty when it gave none), why it ended short, and how long it took.
struct Measured {
  int status = EXIT_FAILED;
  std::string json;
  std::string why;
  double seconds = 0;
};

Measured RunMeasuring(const Invocation& invocation, Session& session);
// Prints what RunMeasuring gave, as the invocation asks.
int PrintMeasured(const Invocation& invocation, const Measured& measured, Session& session, std::FILE* out);
// Runs each step of the plan in turn, judges its bounds, prints the verdicts
// and writes the JUnit file if one was asked for.
int RunPlan(const Invocation& invocation, const Plan& plan, Session& session, std::FILE* out);

// The JSON as NAME=VALUE lines, nested names joined by dots.
std::string FlatText(const std::string& json);

}  // namespace velkor::ctl
