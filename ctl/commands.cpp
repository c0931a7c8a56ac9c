// commands.cpp: show, action, rotate and watch, each a sequence of the
// session's bounded waits, and the dispatch of every command.
#include "commands.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "codes.h"
#include "interruption.h"
#include "live_readings.h"
#include "measuring_commands.h"
#include "parameter_commands.h"
#include "profile_error.h"
#include "profile_file.h"
#include "reading_file.h"
#include "readings.h"

namespace velkor::ctl {
namespace {

// A step has ended when this many status reports in a row give a shaft at
// rest, and the position did not move over them.
constexpr uint64_t REST_STATUS_REPORTS = 5;
// How many status reports `show` waits for the live readings once the
// parameters are in: a driver that sends a few readings before each status
// report has sent them all by then; one that never sends some is not waited
// for longer.
constexpr uint64_t READINGS_STATUS_REPORTS = 5;

bool Write(std::FILE* out, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
}

Clock::time_point After(milliseconds duration) { return Clock::now() + duration; }

int Show(const Invocation& inv, Session& session, std::FILE* out) {
  const uint32_t resets = session.link.parameters.resets;
  const uint64_t from = session.StatusReports();
  const WaitEnd end = session.TickUntil(After(inv.timeout), [&] {
    return EveryReadingReported(session.link.values) || session.StatusReports() - from >= READINGS_STATUS_REPORTS ||
           session.link.parameters.resets != resets;
  });
  if (end == WaitEnd::Interrupted) {
    session.Say("interrupted");
    return EXIT_FAILED;
  }
  Write(out, inv.json ? ShowJson(session.PortName(), session.link) : ShowText(session.PortName(), session.link));
  if (session.link.parameters.resets != resets) {
    session.Say(session.ResetReason());
    return EXIT_FAILED;
  }
  // The parameters are the driver's; a reading it does not send is no fault of the link.
  const std::string missing = MissingReadings(session.link.values);
  if (!missing.empty()) session.Say("the driver has not reported " + missing + "; shown as unknown");
  return EXIT_DONE;
}

// Waits until `reported` holds for each of `ids`.
bool AwaitReports(Session& session, const std::vector<ParameterId>& ids,
                  const std::function<bool(ParameterId)>& reported, milliseconds timeout,
                  std::string_view what) {
  const ParameterStates& states = session.link.parameters;
  const uint32_t resets = states.resets;
  const WaitEnd end = session.TickUntil(After(timeout), [&] {
    if (states.resets != resets) return true;
    for (const ParameterId id : ids) {
      if (!reported(id)) return false;
    }
    return true;
  });
  if (end == WaitEnd::Met && states.resets == resets) return true;
  if (end == WaitEnd::Interrupted) session.Say("interrupted");
  else if (end == WaitEnd::TimedOut) session.Say(std::string(what) + " did not come within " + Seconds(timeout));
  else session.Say(session.ResetReason());
  return false;
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
  switch (inv.action) {
    case ACT_STEP_LEFT:
    case ACT_STEP_RIGHT: return Step(inv, session);
    case ACT_STOP: return session.StopMotor(inv.timeout) ? EXIT_DONE : EXIT_FAILED;
    case ACT_SAVE_EEPROM: {
      const bool acknowledged = session.Act(ACT_SAVE_EEPROM, inv.timeout);
      if (session.onSaved) session.onSaved(acknowledged);
      return acknowledged ? EXIT_DONE : EXIT_FAILED;
    }
    case ACT_REREAD: {
      if (!session.Act(ACT_REREAD, inv.timeout)) return EXIT_FAILED;
      // Every parameter reported after this re-read's acknowledgement.
      const uint32_t reread = session.link.parameters.actionsAcknowledged[ACT_REREAD];
      const auto after = [&](ParameterId id) { return State(session.link.parameters, id).rereadAtReport >= reread; };
      if (!AwaitReports(session, all, after, inv.timeout, "the parameters' reports")) return EXIT_FAILED;
      Write(out, Values(session, all));
      return EXIT_DONE;
    }
    case ACT_AUTOTUNE:
    case ACT_TOGGLE_SMOOTHING: {
      // Both end with reports: the tuned coefficients, the new smoothing state.
      const bool tuning = inv.action == ACT_AUTOTUNE;
      const std::vector<ParameterId> ids =
          tuning ? std::vector{ParameterId::ProportionalK, ParameterId::LevelingK} : std::vector{ParameterId::Smoothing};
      if (!session.Act(inv.action, inv.timeout)) return EXIT_FAILED;
      // Only reports sent after the acknowledgement answer the action: the
      // driver may still be answering the handshake's repeated re-reads.
      const uint32_t acknowledged = session.link.parameters.commandsAcknowledged;
      const auto newer = [&](ParameterId id) {
        return State(session.link.parameters, id).acknowledgedAtReport >= acknowledged;
      };
      if (!AwaitReports(session, ids, newer, inv.timeout, tuning ? "the tuned coefficients" : "the smoothing report"))
        return EXIT_FAILED;
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
  int writeError = 0;
  auto print = [&](const std::string& line) {
    if (writeError == 0 && !Write(out, line)) writeError = errno;
  };
  // The header's time is the rows' 0 s.
  const Clock::time_point origin = Clock::now();
  if (inv.format == WatchFormat::Csv) print(WatchCsvHeader(session.link, charts::LocalTimeText(std::time(nullptr))));
  const uint32_t resets = session.link.parameters.resets;
  session.onStatusReport = [&] {
    if (session.link.parameters.resets != resets) return;
    const PanelValues& v = session.link.values;
    const double seconds = std::chrono::duration<double>(Clock::now() - origin).count();
    print(inv.format == WatchFormat::Csv    ? WatchCsvLine(v, seconds)
          : inv.format == WatchFormat::Json ? WatchJsonLine(v)
                                            : WatchTextLine(v));
  };
  const Clock::time_point until = inv.duration.count() > 0 ? After(inv.duration) : Clock::time_point::max();
  const WaitEnd end =
      session.TickUntil(until, [&] { return writeError != 0 || session.link.parameters.resets != resets; });
  session.onStatusReport = nullptr;
  // Ctrl-C is how an open-ended watch is meant to end, and so is a reader
  // that has had enough (`watch | head`).
  if (end != WaitEnd::Met || writeError == EPIPE) return EXIT_DONE;
  if (writeError != 0) {
    session.Say(std::string("cannot write the readings: ") + std::strerror(writeError));
    return EXIT_FAILED;
  }
  session.Say(session.ResetReason());
  return EXIT_FAILED;
}

}  // namespace

int RunCommand(const Invocation& inv, Session& session, std::FILE* out) {
  // A profile to compare or apply is read and checked before the port is
  // opened: a bad file puts nothing on the wire.
  Profile profile;
  if (inv.command == Command::ProfileDiff || inv.command == Command::ProfileApply) {
    if (const auto error = ReadProfile(inv.file, profile)) {
      session.Say(ProfileErrorText(*error, Language::English));
      return EXIT_USAGE;
    }
  }
  // So is a test plan, and every step in it.
  std::optional<Plan> plan;
  if (inv.command == Command::Test) {
    std::string text, error;
    if (const auto problem = ReadRegularFile(inv.file, text)) {
      session.Say(PlanFileErrorText(*problem));
      return EXIT_USAGE;
    }
    if (const auto unwritable = JunitUnwritable(inv.junit)) {
      session.Say(*unwritable);
      return EXIT_USAGE;
    }
    plan = ParsePlan(text, inv, error);
    if (!plan) {
      session.Say(inv.file + ": " + error);
      return EXIT_USAGE;
    }
  }
  if (!session.Connect(inv.timeout)) return EXIT_FAILED;
  return RunConnected(inv, profile, session, out, plan ? &*plan : nullptr);
}

int RunConnected(const Invocation& inv, const Profile& profile, Session& session, std::FILE* out, const Plan* plan) {
  int status = EXIT_FAILED;
  switch (inv.command) {
    case Command::Show: status = Show(inv, session, out); break;
    case Command::Set:
      status = ApplyProfile(session, ProfileOf(inv.assignments), inv.save, inv.timeout, out);
      break;
    case Command::Action: status = Action(inv, session, out); break;
    case Command::Rotate: status = Rotate(inv, session); break;
    case Command::Watch: status = Watch(inv, session, out); break;
    case Command::ProfileSave: status = SaveProfile(session, inv.file, inv.timeout); break;
    case Command::ProfileDiff: status = DiffProfile(session, profile, inv.file, out); break;
    case Command::ProfileApply: status = ApplyProfile(session, profile, inv.save, inv.timeout, out); break;
    case Command::Analyze:
    case Command::Crawl:
    case Command::Sweep:
    case Command::Tune: status = PrintMeasured(inv, RunMeasuring(inv, session), session, out); break;
    case Command::Test: status = plan ? RunPlan(inv, *plan, session, out) : EXIT_USAGE; break;
    case Command::Help:
    case Command::Journal:
    case Command::Fleet: break;  // run before any port is opened
  }
  // Watch says for itself; for the rest a result that did not reach its
  // file is a failure like any other.
  if (inv.command != Command::Watch && std::ferror(out) && status == EXIT_DONE) {
    session.Say("cannot write the result: " + std::string(std::strerror(errno)));
    status = EXIT_FAILED;
  }
  // Whatever ended the command, no jog outlives it.
  if (session.link.state.jogActive) {
    session.StopMotor(Interrupted() ? STOP_AFTER_INTERRUPTION : inv.timeout);
    status = EXIT_FAILED;
  }
  return status;
}

}  // namespace velkor::ctl
