// tune_run.cpp: the steps of auto-tuning with evidence.
#include "tune_run.h"

#include "codes.h"

namespace velkor {
namespace {

constexpr size_t STANDSTILL_SEGMENT = 0;
// Applying the snapshot: sets, a re-read and the reports, each acknowledged.
constexpr double REVERT_SECONDS = 10.0;

}  // namespace

TuneRun::TuneRun(Link& link) : link_(link), motion_(link, *this) {
  tracker_.WatchBadFrames(&link.state.decoder.badFrames);
  crawler_.WatchBadFrames(&link.state.decoder.badFrames);
}

int32_t TuneRun::KpBefore() const { return Value(snapshot_, ParameterId::ProportionalK).value_or(0); }
int32_t TuneRun::KlBefore() const { return Value(snapshot_, ParameterId::LevelingK).value_or(0); }

void TuneRun::Fail(RunEnd end) {
  phase_ = TunePhase::Over;
  end_ = end;
}

void TuneRun::Measure(TunePhase phase, double now) {
  phase_ = phase;
  phaseSince_ = now;
  (phase == TunePhase::Before ? before_ : after_) = TuneMeasure{};
  tracker_.Clear();
  crawler_.Start(static_cast<int>(link_.values.stepDivision));
  const MotionSegment segments[] = {{0, plan_.standstillSeconds}, {plan_.crawlRpm, plan_.crawlSeconds}};
  motion_.Start(segments, plan_.right, now);
}

void TuneRun::Start(const TunePlan& plan, double now) {
  plan_ = plan;
  // The window holds the whole standstill; its storage is made here.
  analysis::TrackerSettings window;
  window.windowSeconds = plan.standstillSeconds;
  tracker_.Configure(window);
  decision_ = TuneDecision::None;
  end_ = RunEnd::Running;
  resets_ = link_.parameters.resets;
  const auto snapshot = ProfileFromDriver(link_.parameters, "", "");
  if (!snapshot) {
    Fail(RunEnd::NotReady);
    return;
  }
  snapshot_ = *snapshot;
  Measure(TunePhase::Before, now);
}

void TuneRun::Step(double now) {
  if (phase_ == TunePhase::Idle || phase_ == TunePhase::Over || phase_ == TunePhase::Deciding) return;
  if (link_.parameters.resets != resets_ && phase_ != TunePhase::Before && phase_ != TunePhase::After) {
    Fail(RunEnd::LinkLost);
    return;
  }
  const ParameterStates& states = link_.parameters;
  const double elapsed = now - phaseSince_;
  switch (phase_) {
    case TunePhase::Before:
    case TunePhase::After: {
      motion_.Step(now);
      if (motion_.End() == RunEnd::Running) break;
      if (motion_.End() != RunEnd::Finished) {
        Fail(motion_.End());
        break;
      }
      (phase_ == TunePhase::Before ? before_ : after_).complete = true;
      if (phase_ == TunePhase::After) {
        phase_ = TunePhase::Deciding;
        break;
      }
      tunings_ = states.actionsAcknowledged[ACT_AUTOTUNE];
      acknowledged_ = 0;
      if (!PushCommand(link_, CMD_ACTION, ACT_AUTOTUNE)) {
        Fail(RunEnd::QueueFull);
        break;
      }
      phase_ = TunePhase::Tuning;
      phaseSince_ = now;
      break;
    }
    case TunePhase::Tuning: {
      if (acknowledged_ == 0 && states.actionsAcknowledged[ACT_AUTOTUNE] != tunings_)
        acknowledged_ = states.commandsAcknowledged;
      // Only reports after the acknowledgement carry the tuned values.
      const ParameterState& kp = State(states, ParameterId::ProportionalK);
      const ParameterState& kl = State(states, ParameterId::LevelingK);
      if (acknowledged_ != 0 && kp.acknowledgedAtReport >= acknowledged_ && kl.acknowledgedAtReport >= acknowledged_) {
        kpAfter_ = kp.value;
        klAfter_ = kl.value;
        Measure(TunePhase::After, now);
      } else if (elapsed > TUNING_SECONDS) {
        Fail(RunEnd::NoAnswer);
      }
      break;
    }
    case TunePhase::Saving:
      if (states.actionsAcknowledged[ACT_SAVE_EEPROM] != saves_) {
        decision_ = TuneDecision::Saved;
        phase_ = TunePhase::Over;
        end_ = RunEnd::Finished;
      } else if (elapsed > ANSWER_SECONDS) {
        Fail(RunEnd::NoAnswer);
      }
      break;
    case TunePhase::Reverting:
      StepApply(apply_, link_);
      if (!Finished(apply_)) {
        if (elapsed > REVERT_SECONDS) Fail(RunEnd::NoAnswer);
        break;
      }
      switch (apply_.outcome) {
        case ApplyOutcome::Confirmed:
        case ApplyOutcome::NothingToDo:
        case ApplyOutcome::Saved: decision_ = TuneDecision::Reverted; break;
        case ApplyOutcome::Mismatch: decision_ = TuneDecision::RevertMismatch; break;
        case ApplyOutcome::LinkDropped: Fail(RunEnd::LinkLost); return;
        case ApplyOutcome::QueueFull: Fail(RunEnd::QueueFull); return;
        case ApplyOutcome::NotReady: Fail(RunEnd::NotReady); return;
        case ApplyOutcome::Running: return;
      }
      phase_ = TunePhase::Over;
      end_ = RunEnd::Finished;
      break;
    case TunePhase::Idle:
    case TunePhase::Deciding:
    case TunePhase::Over: break;
  }
}

void TuneRun::Stop(double now) {
  if (phase_ == TunePhase::Before || phase_ == TunePhase::After) {
    motion_.Stop(now);
  } else if (phase_ == TunePhase::Tuning) {
    // The driver tunes at standstill; the stop makes sure it stays there.
    link_.state.jogActive = false;
    (void)PushCommandFirst(link_, CMD_ACTION, ACT_STOP);
    Fail(RunEnd::Stopped);
  }
}

void TuneRun::Keep(bool save, double now) {
  if (phase_ != TunePhase::Deciding) return;
  if (!save) {
    decision_ = TuneDecision::Kept;
    phase_ = TunePhase::Over;
    end_ = RunEnd::Finished;
    return;
  }
  if (link_.parameters.resets != resets_) {
    Fail(RunEnd::LinkLost);
    return;
  }
  decision_ = TuneDecision::Kept;
  saves_ = link_.parameters.actionsAcknowledged[ACT_SAVE_EEPROM];
  if (!PushCommand(link_, CMD_ACTION, ACT_SAVE_EEPROM)) {
    Fail(RunEnd::QueueFull);
    return;
  }
  phase_ = TunePhase::Saving;
  phaseSince_ = now;
}

void TuneRun::Revert(double now) {
  if (phase_ != TunePhase::Deciding) return;
  if (link_.parameters.resets != resets_) {
    Fail(RunEnd::LinkLost);
    return;
  }
  apply_ = StartApply(link_, snapshot_, false);
  phase_ = TunePhase::Reverting;
  phaseSince_ = now;
}

void TuneRun::OnSegmentBegin(size_t segment, double) {
  tracker_.SetJogging(segment != STANDSTILL_SEGMENT);
  crawler_.SetJogging(segment != STANDSTILL_SEGMENT);
}

void TuneRun::OnSegmentReport(size_t segment, uint8_t type, int16_t value, double time) {
  if (segment == STANDSTILL_SEGMENT) tracker_.OnReport(type, value, time);
  else crawler_.OnReport(type, value, time);
}

void TuneRun::OnSegmentEnd(size_t segment, double time) {
  TuneMeasure& measure = phase_ == TunePhase::Before ? before_ : after_;
  // Until the next measurement no reports come: no gap across the wait.
  if (segment == STANDSTILL_SEGMENT) {
    measure.standstill = tracker_.Figures(time);
    tracker_.Pause();
  } else {
    measure.crawl = crawler_.Figures();
    crawler_.Pause();
  }
}

}  // namespace velkor
