// parameter_commands.cpp: set and the profile commands, on the profiles'
// apply and diff, with messages in English.
#include "parameter_commands.h"

#include <chrono>
#include <string>

#include "profile_apply.h"
#include "profile_apply_text.h"
#include "profile_diff.h"
#include "profile_file.h"

namespace velkor::ctl {
namespace {

std::string Text(ParameterId id, int32_t value) { return ProfileValueText(id, value, Language::English); }

// What went wrong with each row of an apply that did not end confirmed.
void SayProblems(Session& session, const ProfileApply& apply, const std::string& why) {
  for (const ApplyRow& row : Rows(apply)) {
    const std::string name(ParameterName(row.id));
    switch (row.status) {
      case ApplyRowStatus::Mismatch:
        session.Say(name + ": set to " + Text(row.id, row.profileValue) + ", but the driver reports " +
                    Text(row.id, row.reported));
        break;
      case ApplyRowStatus::Queued:
      case ApplyRowStatus::NotApplied:
        session.Say(name + " was not set: " + why);
        break;
      case ApplyRowStatus::InFlight:
      case ApplyRowStatus::Uncertain:
        session.Say(name + " may or may not be " + Text(row.id, row.profileValue) + ": " + why);
        break;
      case ApplyRowStatus::Acknowledged:
        session.Say(name + " was acknowledged but not read back: " + why);
        break;
      case ApplyRowStatus::Unchanged:
      case ApplyRowStatus::Confirmed: break;
    }
  }
}

// The rows whose value after the apply is known: reported back, or never changed.
std::string Results(const ProfileApply& apply) {
  std::string text;
  for (const ApplyRow& row : Rows(apply)) {
    const bool reported = row.status == ApplyRowStatus::Confirmed || row.status == ApplyRowStatus::Mismatch;
    if (!reported && row.status != ApplyRowStatus::Unchanged) continue;
    text += std::string(ParameterName(row.id)) + "=" + Text(row.id, reported ? row.reported : row.driverBefore) + "\n";
  }
  return text;
}

// How a save that was asked for ended without its acknowledgement.
std::string UnsavedWhy(const ProfileApply& apply, const Link& link, const std::string& why) {
  if (SaveSent(apply, link)) {
    return "every value was confirmed; the save to EEPROM was sent but not acknowledged, so it may or may not "
           "have happened: " + why;
  }
  return "every value was confirmed, but the save to EEPROM was not sent: " + why;
}

}  // namespace

Profile ProfileOf(const std::vector<Assignment>& assignments) {
  Profile profile;
  for (const Assignment& a : assignments) profile.values[Index(a.id)] = a.value;
  return profile;
}

int ApplyProfile(Session& session, const Profile& profile, bool save, milliseconds timeout, std::FILE* out,
                 ProfileApply* finished) {
  ProfileApply apply = StartApply(session.link, profile, save);
  const WaitEnd end = session.TickUntil(Clock::now() + timeout, [&] {
    StepApply(apply, session.link);
    return Finished(apply);
  });
  if (finished) *finished = apply;
  if (session.onApplied) session.onApplied(apply);
  const std::string results = Results(apply);
  std::fwrite(results.data(), 1, results.size(), out);
  std::fflush(out);
  // The driver saves every value it holds: the others are named.
  if (apply.phase == ApplyPhase::Saving && apply.alsoStoredCount > 0) {
    session.Say("note: the driver saves every value it holds; besides those set, the save stores " +
                AlsoStoredList(apply, Language::English));
  }
  switch (apply.outcome) {
    case ApplyOutcome::NothingToDo:
    case ApplyOutcome::Confirmed: return EXIT_DONE;
    case ApplyOutcome::Saved:
      session.Say("the driver acknowledged the save to EEPROM");
      return EXIT_DONE;
    case ApplyOutcome::Mismatch:
      SayProblems(session, apply, "");
      if (apply.save) session.Say("nothing was saved to EEPROM");
      return EXIT_DIFFERS;
    case ApplyOutcome::LinkDropped:
      if (apply.phase == ApplyPhase::Saving) {
        session.Say(UnsavedWhy(apply, session.link, session.ResetReason()));
      } else {
        SayProblems(session, apply, session.ResetReason());
      }
      return EXIT_FAILED;
    case ApplyOutcome::NotReady:
    case ApplyOutcome::QueueFull:
      session.Say(ApplyOutcomeText(apply, Language::English));
      return EXIT_FAILED;
    case ApplyOutcome::Running: break;
  }
  const std::string why = end == WaitEnd::Interrupted ? "interrupted" : "no answer within " + Seconds(timeout);
  if (apply.phase == ApplyPhase::Saving) session.Say(UnsavedWhy(apply, session.link, why));
  else SayProblems(session, apply, why);
  return EXIT_FAILED;
}

int SaveProfile(Session& session, const std::string& file, milliseconds timeout) {
  const ParameterStates& states = session.link.parameters;
  session.TickUntil(Clock::now() + timeout, [&] { return DriverSnapshotBlock(states) == SnapshotBlock::None; });
  const auto profile = ProfileFromDriver(states, FormatSavedTime(std::chrono::system_clock::now()), "");
  if (!profile) {
    session.Say("the driver's parameters were not all reported within " + Seconds(timeout));
    return EXIT_FAILED;
  }
  if (const auto error = WriteProfile(*profile, file)) {
    session.Say(ProfileErrorText(*error, Language::English));
    return EXIT_FAILED;
  }
  return EXIT_DONE;
}

int DiffProfile(Session& session, const Profile& profile, const std::string& file, std::FILE* out) {
  const ProfileDiff diff = velkor::DiffProfile(profile, session.link.parameters);
  std::string text;
  for (const DiffRow& row : Rows(diff)) {
    text += std::string(ParameterName(row.id)) + "=" + Text(row.id, row.driverValue);
    if (row.differs) text += " (profile: " + Text(row.id, row.profileValue) + ")";
    text += "\n";
  }
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
  if (const size_t differing = DifferingRows(diff)) {
    session.Say("the driver differs from " + file + " in " + std::to_string(differing) +
                (differing == 1 ? " parameter" : " parameters"));
    return EXIT_DIFFERS;
  }
  return EXIT_DONE;
}

}  // namespace velkor::ctl
