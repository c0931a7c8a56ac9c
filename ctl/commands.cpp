// commands.cpp: show, set, action, rotate and watch, each a sequence of the
// session's bounded waits.
#include "commands.h"

#include <string>
#include <vector>

#include "codes.h"
#include "interruption.h"
#include "readings.h"

namespace velkor::ctl {
namespace {

// A step has ended when this many status reports in a row give a shaft at
// rest, and the position did not move over them.
constexpr uint64_t REST_STATUS_REPORTS = 5;
constexpr uint64_t LIVE_READING_TYPES = 0xFF << RPT_PHASE;  // reports 15..22

bool Write(std::FILE* out, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
}

Clock::time_point After(milliseconds duration) { return Clock::now() + duration; }

int Show(const Invocation& inv, Session& session, std::FILE* out) {
  // Every reading once, and a status report after them for the shaft speed.
  session.ForgetReportsSeen();
  const uint64_t status = session.StatusReports();
  uint64_t statusAfterReadings = status;
  const WaitEnd end = session.TickUntil(After(inv.timeout), [&] {
    if ((session.ReportsSeen() & LIVE_READING_TYPES) != LIVE_READING_TYPES) statusAfterReadings = session.StatusReports();
    return session.StatusReports() > statusAfterReadings;
  });
  if (end == WaitEnd::Interrupted) {
    session.Say("interrupted");
    return EXIT_FAILED;
  }
  Write(out, inv.json ? ShowJson(session.PortName(), session.link) : ShowText(session.PortName(), session.link));
  if (end == WaitEnd::TimedOut) {
    session.Say("not every live reading was reported within " + Seconds(inv.timeout) + "; those missing show 0");
    return EXIT_FAILED;
  }
  return EXIT_DONE;
}

// One parameter of `set`, followed from the queue to the driver's report.
struct Tracked {
  Assignment wanted{};
  uint32_t reportsBefore = 0;
  bool acknowledged = false;  // seen waiting for its report
  bool confirmed = false;
  std::string failure;
};

// Looked at after every tick. A request ends (is no longer pending) with the
// report that answers its acknowledgement, or with a link reset. The driver
// may report a value it was sent even when its acknowledgement went wrong: a
// report alone, across a reset, confirms nothing.
void Follow(Session& session, Tracked& t, uint32_t resetsBefore) {
  if (t.confirmed || !t.failure.empty()) return;
  const ParameterState& s = State(session.link.parameters, t.wanted.id);
  if (s.awaitingReport) t.acknowledged = true;
  if (Pending(s) || s.awaitingReport) return;
  const bool reset = session.link.parameters.resets != resetsBefore;
  if (s.reports > t.reportsBefore && (!reset || t.acknowledged)) {
    t.confirmed = true;
  } else if (reset) {
    t.failure = std::string(ParameterName(t.wanted.id)) + " was not set: " + session.ResetReason();
  }
}

// Queues every assignment and waits for each value to be reported back. The
// values the driver reports go to `out`; false after saying what went wrong.
bool SetParameters(Session& session, const std::vector<Assignment>& assignments, milliseconds timeout,
                   std::FILE* out) {
  Link& link = session.link;
  const uint32_t resetsBefore = link.parameters.resets;
  std::vector<Tracked> tracked;
  for (const Assignment& a : assignments) {
    const ParameterState& s = State(link.parameters, a.id);
    Tracked t;
    t.wanted = a;
    t.reportsBefore = s.reports;
    if (a.id == ParameterId::Smoothing) {
      // Smoothing only switches over: nothing to send when it already is so.
      if (s.value == a.value) t.confirmed = true;
      else if (!PushCommand(link, CMD_ACTION, ACT_TOGGLE_SMOOTHING)) t.failure = "the command queue is full";
    } else if (!PushCommand(link, Info(a.id).setCode, static_cast<uint16_t>(a.value))) {
      t.failure = "the command queue is full";
    }
    tracked.push_back(t);
  }
  auto settled = [&] {
    bool all = true;
    for (Tracked& t : tracked) {
      Follow(session, t, resetsBefore);
      all = all && (t.confirmed || !t.failure.empty());
    }
    return all;
  };
  const WaitEnd end = session.TickUntil(After(timeout), settled);

  bool ok = true;
  std::string results;
  for (const Tracked& t : tracked) {
    const std::string_view name = ParameterName(t.wanted.id);
    const ParameterState& s = State(link.parameters, t.wanted.id);
    if (t.confirmed) {
      results += std::string(name) + "=" + ParameterText(t.wanted.id, s.value) + "\n";
      if (s.value == t.wanted.value) continue;
      session.Say(std::string(name) + ": set to " + ParameterText(t.wanted.id, t.wanted.value) +
                  ", but the driver reports " + ParameterText(t.wanted.id, s.value));
    } else if (!t.failure.empty()) {
      session.Say(t.failure);
    } else if (end == WaitEnd::Interrupted) {
      session.Say(std::string(name) + " was not confirmed: interrupted");
    } else {
      session.Say(std::string(name) + (s.awaitingReport ? ": acknowledged, but not reported back" : ": not acknowledged") +
                  " within " + Seconds(timeout));
    }
    ok = false;
  }
  Write(out, results);
  return ok;
}

int Set(const Invocation& inv, Session& session, std::FILE* out) {
  if (!SetParameters(session, inv.assignments, inv.timeout, out)) return EXIT_FAILED;
  // Only values the driver reported back as set go into its EEPROM.
  if (inv.save && !session.Act(ACT_SAVE_EEPROM, inv.timeout)) return EXIT_FAILED;
  return EXIT_DONE;
}

// Waits for the reports of `ids` that come after `before` (their report counters).
bool AwaitReports(Session& session, const std::vector<ParameterId>& ids, const std::vector<uint32_t>& before,
                  milliseconds timeout, std::string_view what) {
  const ParameterStates& states = session.link.parameters;
  const uint32_t resets = states.resets;
  const WaitEnd end = session.TickUntil(After(timeout), [&] {
    for (size_t i = 0; i < ids.size(); ++i) {
      if (State(states, ids[i]).reports == before[i]) return states.resets != resets;
    }
    return true;
  });
  if (end == WaitEnd::Met && states.resets == resets) return true;
  if (end == WaitEnd::Interrupted) session.Say("interrupted");
  else if (end == WaitEnd::TimedOut) session.Say(std::string(what) + " did not come within " + Seconds(timeout));
  else session.Say(session.ResetReason());
  return false;
}

std::vector<uint32_t> ReportCounts(const Session& session, const std::vector<ParameterId>& ids) {
  std::vector<uint32_t> counts;
  for (const ParameterId id : ids) counts.push_back(State(session.link.parameters, id).reports);
  return counts;
}

std::string Values(const Session& session, const std::vector<ParameterId>& ids) {
  std::string text;
  for (const ParameterId id : ids) {
    text += std::string(ParameterName(id)) + "=" + ParameterText(id, State(session.link.parameters, id).value) + "\n";
  }
  return text;
}

// A step moves the configured number of steps as long as keep-alive bytes
// come; it has ended once the shaft has stood still for a while.
int Step(const Invocation& inv, Session& session) {
  session.link.state.jogActive = true;
  if (!session.Act(inv.action, inv.timeout)) return EXIT_FAILED;
  const uint32_t resets = session.link.parameters.resets;
  uint64_t restFrom = session.StatusReports();
  int16_t restPosition = session.link.values.position;
  const WaitEnd end = session.TickUntil(Clock::time_point::max(), [&] {
    if (session.LastStatusSpeed() != 0 || session.link.values.position != restPosition) {
      restFrom = session.StatusReports();
      restPosition = session.link.values.position;
    }
    return session.StatusReports() - restFrom >= REST_STATUS_REPORTS || session.link.parameters.resets != resets;
  });
  if (end == WaitEnd::Interrupted) {
    session.Say("interrupted");
    return EXIT_FAILED;
  }
  session.link.state.jogActive = false;
  if (session.link.parameters.resets != resets) {
    session.Say(session.ResetReason() + " during the step; the driver stops a step that gets no keep-alive");
    return EXIT_FAILED;
  }
  return EXIT_DONE;
}

int Action(const Invocation& inv, Session& session, std::FILE* out) {
  const std::vector<ParameterId> all = {
      ParameterId::StepDivision, ParameterId::MotionCurrent, ParameterId::ReductionDelay, ParameterId::HoldingCurrent,
      ParameterId::FaultCurrent, ParameterId::ProportionalK, ParameterId::LevelingK, ParameterId::Steps,
      ParameterId::JogSpeed, ParameterId::JogAccel, ParameterId::Smoothing};
  const std::vector<ParameterId> tuned = {ParameterId::ProportionalK, ParameterId::LevelingK};
  const std::vector<ParameterId> smoothing = {ParameterId::Smoothing};
  switch (inv.action) {
    case ACT_STEP_LEFT:
    case ACT_STEP_RIGHT: return Step(inv, session);
    case ACT_STOP: return session.StopMotor(inv.timeout) ? EXIT_DONE : EXIT_FAILED;
    case ACT_REREAD:
    case ACT_AUTOTUNE:
    case ACT_TOGGLE_SMOOTHING: {
      // These end with reports: all parameters, the new coefficients, the
      // new smoothing state.
      const std::vector<ParameterId>& ids =
          inv.action == ACT_REREAD ? all : inv.action == ACT_AUTOTUNE ? tuned : smoothing;
      const std::vector<uint32_t> before = ReportCounts(session, ids);
      if (!session.Act(inv.action, inv.timeout)) return EXIT_FAILED;
      const char* what = inv.action == ACT_REREAD ? "the parameters' reports"
                         : inv.action == ACT_AUTOTUNE ? "the tuned coefficients"
                                                      : "the smoothing report";
      if (!AwaitReports(session, ids, before, inv.timeout, what)) return EXIT_FAILED;
      Write(out, Values(session, ids));
      return EXIT_DONE;
    }
    default: return session.Act(inv.action, inv.timeout) ? EXIT_DONE : EXIT_FAILED;
  }
}

int Rotate(const Invocation& inv, Session& session) {
  session.link.state.jogActive = true;
  if (!session.Act(inv.action, inv.timeout)) {
    session.StopMotor(Interrupted() ? STOP_AFTER_INTERRUPTION : inv.timeout);
    return EXIT_FAILED;
  }
  const uint32_t resets = session.link.parameters.resets;
  const WaitEnd end =
      session.TickUntil(After(inv.duration), [&] { return session.link.parameters.resets != resets; });
  if (end == WaitEnd::Met) session.Say(session.ResetReason() + " during the rotation");
  if (end == WaitEnd::Interrupted) session.Say("interrupted; stopping the motor");
  const bool stopped = session.StopMotor(end == WaitEnd::Interrupted ? STOP_AFTER_INTERRUPTION : inv.timeout);
  return end == WaitEnd::TimedOut && stopped ? EXIT_DONE : EXIT_FAILED;
}

int Watch(const Invocation& inv, Session& session, std::FILE* out) {
  bool written = true;
  if (inv.format == WatchFormat::Csv) written = Write(out, WatchCsvHeader());
  const uint32_t resets = session.link.parameters.resets;
  session.onStatusReport = [&] {
    if (!written || session.link.parameters.resets != resets) return;
    const PanelValues& v = session.link.values;
    written = Write(out, inv.format == WatchFormat::Csv    ? WatchCsvLine(v)
                         : inv.format == WatchFormat::Json ? WatchJsonLine(v)
                                                           : WatchTextLine(v));
  };
  const Clock::time_point until = inv.duration.count() > 0 ? After(inv.duration) : Clock::time_point::max();
  const WaitEnd end =
      session.TickUntil(until, [&] { return !written || session.link.parameters.resets != resets; });
  session.onStatusReport = nullptr;
  // Ctrl-C is how an open-ended watch is meant to end.
  if (end != WaitEnd::Met) return EXIT_DONE;
  if (!written) {
    session.Say("cannot write the readings: the output was closed");
    return EXIT_FAILED;
  }
  session.Say(session.ResetReason());
  return EXIT_FAILED;
}

}  // namespace

int RunCommand(const Invocation& inv, Session& session, std::FILE* out) {
  if (!session.Connect(inv.timeout)) return EXIT_FAILED;
  int status = EXIT_FAILED;
  switch (inv.command) {
    case Command::Show: status = Show(inv, session, out); break;
    case Command::Set: status = Set(inv, session, out); break;
    case Command::Action: status = Action(inv, session, out); break;
    case Command::Rotate: status = Rotate(inv, session); break;
    case Command::Watch: status = Watch(inv, session, out); break;
    case Command::Help:
    case Command::ProfileSave:
    case Command::ProfileDiff:
    case Command::ProfileApply: break;
  }
  // Whatever ended the command, no jog outlives the program.
  if (session.link.state.jogActive) {
    session.StopMotor(Interrupted() ? STOP_AFTER_INTERRUPTION : inv.timeout);
    status = EXIT_FAILED;
  }
  return status;
}

}  // namespace velkor::ctl
