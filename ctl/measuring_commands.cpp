// measuring_commands.cpp: each procedure driven by the session's tick, its
// figures taken from the analysis core, and the plan's loop.
#include "measuring_commands.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>

#include "analysis_json.h"
#include "codes.h"
#include "crawl_run.h"
#include "current_tracker.h"
#include "interruption.h"
#include "sweep_run.h"
#include "tune_run.h"

namespace velkor::ctl {
namespace {

double Seconds(std::chrono::milliseconds duration) { return static_cast<double>(duration.count()) / 1000.0; }

double Now(const Session& session) { return session.link.steadyClock(); }

// How long an interrupted run is given to stop the motor and give the jog
// speed back before the plain stop is tried.
constexpr std::chrono::milliseconds RUN_END_AFTER_INTERRUPTION{2000};

// Ticks until `over` holds; an interruption stops the run (and with it the
// motor) and sees its end through: the stop acknowledged, the jog speed the
// run found given back. False when interrupted.
bool Drive(Session& session, const std::function<void(double)>& step, const std::function<bool()>& over,
           const std::function<void(double)>& stop) {
  const WaitEnd end = session.TickUntil(Clock::time_point::max(), [&] {
    step(Now(session));
    return over();
  });
  if (end != WaitEnd::Interrupted) return true;
  session.Say("interrupted; stopping the motor");
  stop(Now(session));
  // The interruption is still in force: these ticks are what it asked for.
  const Clock::time_point deadline = Clock::now() + RUN_END_AFTER_INTERRUPTION;
  while (!over() && Clock::now() < deadline && session.PortOpen()) {
    session.Tick();
    step(Now(session));
  }
  if (!over()) session.StopMotor(STOP_AFTER_INTERRUPTION);
  return false;
}

// A run that ended by a lost link may have left the motor turning: when the
// link is back within the timeout, the stop goes out and is waited for, and
// the jog speed the run found goes back. Says what was done.
void PayOwedStop(Session& session, const MotionRun& motion, std::chrono::milliseconds timeout) {
  if (!motion.Owed().owed) return;
  const std::string within = std::to_string(timeout.count()) + " ms";
  session.Say("the link was lost mid-run; waiting up to " + within + " for it to come back to stop the motor");
  const WaitEnd back = session.TickUntil(Clock::now() + timeout, [&] {
    return session.link.state.readyWord == READY_CONNECTED || !session.PortOpen();
  });
  if (back != WaitEnd::Met || !session.PortOpen()) {
    session.Say("the link did not come back: no stop was sent, the motor may still be turning");
    return;
  }
  if (!session.StopMotor(timeout)) return;
  const int16_t speed = motion.FoundJogSpeed();
  const ParameterState& jog = State(session.link.parameters, ParameterId::JogSpeed);
  if (jog.known && jog.value == speed) {
    session.Say("the link came back: the motor was stopped");
    return;
  }
  if (!PushCommand(session.link, CMD_SET_JOG_SPEED, static_cast<uint16_t>(speed))) return;
  const WaitEnd set = session.TickUntil(Clock::now() + timeout, [&] { return jog.outstanding == 0; });
  session.Say(set == WaitEnd::Met && jog.value == speed
                  ? "the link came back: the motor was stopped and the jog speed set back to " + std::to_string(speed)
                  : "the link came back: the motor was stopped; the jog speed was not confirmed back at " +
                        std::to_string(speed));
}

Measured Ended(RunEnd end, std::string json, double started, const Session& session) {
  Measured m;
  m.json = std::move(json);
  m.seconds = Now(session) - started;
  m.status = end == RunEnd::Finished ? EXIT_DONE : EXIT_FAILED;
  if (end != RunEnd::Finished) m.why = RunEndEnglish(end);
  return m;
}

// Listens for `duration` with the tracker, moving nothing. How the wait ended.
RunEnd Listen(Session& session, analysis::CurrentTracker& tracker, std::chrono::milliseconds duration) {
  analysis::TrackerSettings window;
  window.windowSeconds = Seconds(duration);
  tracker.Configure(window);
  tracker.WatchBadFrames(&session.link.state.decoder.badFrames);
  session.link.listeners.push_back(&tracker);
  const uint32_t resets = session.link.parameters.resets;
  const WaitEnd end = session.TickUntil(Clock::now() + duration,
                                        [&] { return session.link.parameters.resets != resets; });
  std::erase(session.link.listeners, &tracker);
  if (end == WaitEnd::Interrupted) session.Say("interrupted");
  return end == WaitEnd::TimedOut ? RunEnd::Finished : end == WaitEnd::Met ? RunEnd::LinkLost : RunEnd::Stopped;
}

Measured Analyze(const Invocation& inv, Session& session) {
  analysis::CurrentTracker tracker;
  const double started = Now(session);
  const RunEnd end = Listen(session, tracker, inv.measure);
  return Ended(end, analysis::TrackerJson(tracker.Figures(Now(session))), started, session);
}

// How long the readings' rate is listened to before a crawl at the proposed speed.
constexpr std::chrono::milliseconds RATE_LISTENING{1000};

// The crawl the analysis proposes for the driver's reading rate and
// division; unset, with `why`, when it cannot tell.
std::optional<analysis::CrawlProposal> ProposedCrawl(Session& session, std::string& why) {
  analysis::CurrentTracker tracker;
  const RunEnd end = Listen(session, tracker, RATE_LISTENING);
  if (end != RunEnd::Finished) {
    why = RunEndEnglish(end);
    return std::nullopt;
  }
  const auto rate = tracker.Figures(Now(session)).windings[static_cast<size_t>(analysis::Winding::A)].all.basis.rateHz;
  const auto proposal =
      analysis::ProposeCrawl(rate.value_or(0), static_cast<int>(session.link.values.stepDivision));
  if (!proposal) why = "no crawl speed can be proposed: the driver reports no measured current; give --speed";
  else if (!proposal->enoughReadings)
    session.Say("note: even 1 rpm gives fewer than 50 readings an electrical period at this reading rate");
  return proposal;
}

Measured Unproposed(std::string why, double started, const Session& session) {
  Measured m = Ended(RunEnd::NotReady, "", started, session);
  m.why = std::move(why);
  return m;
}

Measured Crawl(const Invocation& inv, Session& session) {
  const double started = Now(session);
  int16_t rpm = inv.speedRpm;
  if (rpm == 0) {
    std::string why;
    const auto proposal = ProposedCrawl(session, why);
    if (!proposal) return Unproposed(why, started, session);
    rpm = static_cast<int16_t>(proposal->rpm);
  }
  CrawlRun run(session.link);
  run.Start({rpm, Seconds(inv.measure), true}, Now(session));
  const bool whole = Drive(
      session, [&](double now) { run.Step(now); }, [&] { return run.End() != RunEnd::Running; },
      [&](double now) { run.Stop(now); });
  PayOwedStop(session, run.Motion(), inv.timeout);
  return Ended(whole ? run.End() : RunEnd::Stopped, analysis::CrawlJson(run.Figures()), started, session);
}

Measured Sweep(const Invocation& inv, Session& session) {
  SweepRun run(session.link);
  const double started = Now(session);
  SweepPlan plan;
  plan.fromRpm = inv.fromRpm;
  plan.toRpm = inv.toRpm;
  plan.steps = inv.steps;
  run.Start(plan, started);
  const bool whole = Drive(
      session, [&](double now) { run.Step(now); }, [&] { return run.End() != RunEnd::Running; },
      [&](double now) { run.Stop(now); });
  PayOwedStop(session, run.Motion(), inv.timeout);
  return Ended(whole ? run.End() : RunEnd::Stopped, analysis::SweepJson(run.Figures()), started, session);
}

const char* DecisionName(TuneDecision decision) {
  switch (decision) {
    case TuneDecision::None: return "none";
    case TuneDecision::Kept: return "kept";
    case TuneDecision::Saved: return "saved";
    case TuneDecision::Reverted: return "reverted";
    case TuneDecision::RevertMismatch: return "revertMismatch";
  }
  return "none";
}

std::string MeasureJson(const TuneMeasure& m) {
  return "{\"standstill\":" + analysis::TrackerJson(m.standstill) + ",\"crawl\":" + analysis::CrawlJson(m.crawl) +
         "}";
}

std::string TuneJson(const TuneRun& run) {
  const bool measuredAfter = run.After().complete;
  std::string json = "{\"kpBefore\":" + std::to_string(run.KpBefore()) + ",\"klBefore\":" +
                     std::to_string(run.KlBefore()) + ",\"kpAfter\":" +
                     (measuredAfter ? std::to_string(run.KpAfter()) : "null") + ",\"klAfter\":" +
                     (measuredAfter ? std::to_string(run.KlAfter()) : "null") + ",\"before\":" +
                     MeasureJson(run.Before()) + ",\"after\":" + (measuredAfter ? MeasureJson(run.After()) : "null") +
                     ",\"decision\":\"" + DecisionName(run.Decision()) + "\"";
  if (run.Phase() == TunePhase::Over && run.Decision() != TuneDecision::None &&
      (run.Decision() == TuneDecision::Reverted || run.Decision() == TuneDecision::RevertMismatch)) {
    json += ",\"reverted\":{";
    bool first = true;
    for (const ApplyRow& row : Rows(run.RevertApply())) {
      json += std::string(first ? "" : ",") + "\"" + std::string(ParameterName(row.id)) + "\":{\"snapshot\":" +
              std::to_string(row.profileValue) + ",\"reported\":" +
              (row.status == ApplyRowStatus::Unchanged ? std::to_string(row.driverBefore) : std::to_string(row.reported)) +
              "}";
      first = false;
    }
    json += "}";
  }
  return json + "}";
}

Measured Tune(const Invocation& inv, Session& session) {
  const double started = Now(session);
  std::string why;
  const auto proposal = ProposedCrawl(session, why);
  if (!proposal) return Unproposed(why, started, session);
  TunePlan plan;
  plan.crawlRpm = static_cast<int16_t>(proposal->rpm);
  plan.crawlSeconds = proposal->seconds;
  TuneRun run(session.link);
  run.Start(plan, Now(session));
  const auto step = [&](double now) { run.Step(now); };
  const auto stop = [&](double now) { run.Stop(now); };
  if (!Drive(session, step, [&] { return run.End() != RunEnd::Running || run.Phase() == TunePhase::Deciding; }, stop))
    return Ended(RunEnd::Stopped, TuneJson(run), started, session);
  if (run.Phase() == TunePhase::Deciding) {
    if (inv.tune == TuneChoice::Revert) run.Revert(Now(session));
    else run.Keep(inv.save, Now(session));
    // Keeping or reverting moves nothing; it is seen through once begun.
    if (!Drive(session, step, [&] { return run.End() != RunEnd::Running; }, stop))
      return Ended(RunEnd::Stopped, TuneJson(run), started, session);
  }
  PayOwedStop(session, run.Motion(), inv.timeout);
  Measured m = Ended(run.End(), TuneJson(run), started, session);
  if (run.Decision() == TuneDecision::RevertMismatch) {
    m.status = EXIT_DIFFERS;
    m.why = "a value reported back differs from the one before tuning";
  }
  return m;
}

void Flatten(const QJsonValue& value, const std::string& name, std::string& text) {
  if (value.isObject()) {
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it)
      Flatten(it.value(), name.empty() ? it.key().toStdString() : name + "." + it.key().toStdString(), text);
  } else if (value.isArray()) {
    const QJsonArray array = value.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) Flatten(array.at(i), name + "." + std::to_string(i), text);
  } else {
    const std::string shown = value.isNull()     ? "unknown"
                              : value.isBool()   ? (value.toBool() ? "true" : "false")
                              : value.isString() ? value.toString().toStdString()
                                                 : QString::number(value.toDouble(), 'g', 6).toStdString();
    text += name + "=" + shown + "\n";
  }
}

bool Write(std::FILE* out, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
}

}  // namespace

std::string FlatText(const std::string& json) {
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json));
  std::string text;
  Flatten(document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array()), "", text);
  return text;
}

Measured RunMeasuring(const Invocation& inv, Session& session) {
  switch (inv.command) {
    case Command::Analyze: return Analyze(inv, session);
    case Command::Crawl: return Crawl(inv, session);
    case Command::Sweep: return Sweep(inv, session);
    case Command::Tune: return Tune(inv, session);
    default: return {};
  }
}

int PrintMeasured(const Invocation& inv, const Measured& measured, Session& session, std::FILE* out) {
  if (!measured.json.empty()) Write(out, inv.json ? measured.json + "\n" : FlatText(measured.json));
  if (!measured.why.empty()) session.Say(measured.why);
  return measured.status;
}

int RunPlan(const Invocation& inv, const Plan& plan, Session& session, std::FILE* out) {
  std::vector<BoundResult> results;
  bool stopped = false;
  for (const PlanStep& step : plan.steps) {
    Measured measured;
    if (stopped) measured.why = "not run: an earlier step ended short";
    else measured = RunMeasuring(step.invocation, session);
    // A reader that went away ends the plan as an interruption does.
    const bool written = Write(out, "step " + step.name + ": " + (measured.why.empty() ? "finished" : measured.why) + "\n");
    stopped |= measured.status == EXIT_FAILED || Interrupted() || !written;
    // The figures of a step that ended short are no evidence either way.
    const auto judged =
        JudgeStep(step, measured.status == EXIT_FAILED ? "" : measured.json, measured.why, measured.seconds);
    results.insert(results.end(), judged.begin(), judged.end());
  }
  Write(out, VerdictText(results));
  if (!inv.junit.empty()) {
    std::ofstream file(inv.junit, std::ios::binary | std::ios::trunc);
    file << JunitXml(inv.file, results);
    file.close();
    if (!file) {
      session.Say("cannot write " + inv.junit + ": " + std::strerror(errno));
      return EXIT_FAILED;
    }
  }
  return PlanExitStatus(results);
}

}  // namespace velkor::ctl
