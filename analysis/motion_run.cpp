// motion_run.cpp: the segments' steps, read off the link's parameter states
// and action counters as the profile apply reads them.
#include "motion_run.h"

#include <algorithm>
#include <cstdlib>

#include "codes.h"

namespace velkor {
namespace {

const ParameterState& JogSpeed(const Link& link) { return State(link.parameters, ParameterId::JogSpeed); }

}  // namespace

bool PayOwedStop(Link& link, OwedStop& owed, double now) {
  if (!owed.owed) return false;
  if (now - owed.since > OWED_STOP_SECONDS) {
    owed.owed = false;
    return false;
  }
  if (link.state.readyWord != READY_CONNECTED || link.values.portName != owed.port) return false;
  owed.owed = false;
  link.state.jogActive = false;
  if (!PushCommandFirst(link, CMD_ACTION, ACT_STOP)) return false;
  const ParameterState& speed = JogSpeed(link);
  if (!speed.known || speed.value != owed.jogSpeed)
    (void)PushCommand(link, CMD_SET_JOG_SPEED, static_cast<uint16_t>(owed.jogSpeed));
  return true;
}

const char* RunEndEnglish(RunEnd end) {
  switch (end) {
    case RunEnd::Running: return "running";
    case RunEnd::Finished: return "finished";
    case RunEnd::Stopped: return "stopped before its end";
    case RunEnd::LinkLost: return "the link was lost; the driver stops a jog that gets no keep-alive";
    case RunEnd::QueueFull: return "the command queue was full";
    case RunEnd::NoAnswer: return "the driver did not answer in time";
    case RunEnd::NotReady: return "the driver's parameters were not all reported, or a change was pending";
  }
  return "";
}

MotionRun::MotionRun(Link& link, SegmentMeasurer& measurer) : link_(link), measurer_(measurer) {
  link_.listeners.push_back(this);
}

MotionRun::~MotionRun() {
  auto& listeners = link_.listeners;
  listeners.erase(std::remove(listeners.begin(), listeners.end(), this), listeners.end());
}

void MotionRun::Start(std::span<const MotionSegment> segments, bool right, double now) {
  count_ = std::min(segments.size(), MAX_SEGMENTS);
  std::copy_n(segments.begin(), count_, segments_.begin());
  right_ = right;
  segment_ = 0;
  turning_ = false;
  rotationsSent_ = UINT32_MAX;
  end_ = RunEnd::Running;
  endAfterStop_ = RunEnd::Finished;
  resets_ = link_.parameters.resets;
  owed_ = OwedStop{.owed = false, .port = link_.values.portName, .since = 0, .jogSpeed = 0};
  const ParameterState& speed = JogSpeed(link_);
  if (!speed.known || !speed.reportedSinceReset || Pending(speed) || count_ == 0) {
    Finish(RunEnd::NotReady);
    return;
  }
  driverJogSpeed_ = static_cast<int16_t>(speed.value);
  lastRpm_ = driverJogSpeed_;
  BeginSegment(now);
}

bool MotionRun::Push(uint8_t code, uint16_t value, double now) {
  if (PushCommand(link_, code, value)) return true;
  // Without keep-alives the driver ends the jog by itself.
  link_.state.jogActive = false;
  turning_ = false;
  if (phase_ == MotionPhase::Measuring) measurer_.OnSegmentEnd(segment_, now);
  Finish(RunEnd::QueueFull);
  return false;
}

void MotionRun::BeginSegment(double now) {
  const MotionSegment& seg = segments_[segment_];
  const ParameterStates& states = link_.parameters;
  const uint16_t rotate = right_ ? ACT_ROTATE_RIGHT : ACT_ROTATE_LEFT;
  const int16_t from = turning_ ? lastRpm_ : 0;
  awaitSpeed_ = awaitRotation_ = awaitStop_ = false;
  phase_ = MotionPhase::Commanding;
  phaseSince_ = now;
  if (seg.rpm > 0) {
    if (lastRpm_ != seg.rpm) {
      if (!Push(CMD_SET_JOG_SPEED, static_cast<uint16_t>(seg.rpm), now)) return;
      lastRpm_ = seg.rpm;
      awaitSpeed_ = true;
    }
    if (!turning_) {
      rotations_ = states.actionsAcknowledged[rotate];
      rotationsSent_ = states.actionsSent[rotate];
      if (!Push(CMD_ACTION, rotate, now)) return;
      turning_ = awaitRotation_ = true;
      link_.state.jogActive = true;
    }
  } else if (turning_) {
    link_.state.jogActive = false;
    turning_ = false;
    if (!QueueStop()) return;
    awaitStop_ = true;
  }
  settleSeconds_ = SETTLE_SECONDS + std::abs(seg.rpm - from) / static_cast<double>(std::max<int>(1, link_.values.jogAccel));
}

bool MotionRun::Acknowledged() const {
  const ParameterStates& states = link_.parameters;
  const uint16_t rotate = right_ ? ACT_ROTATE_RIGHT : ACT_ROTATE_LEFT;
  return (!awaitSpeed_ || JogSpeed(link_).outstanding == 0) &&
         (!awaitRotation_ || states.actionsAcknowledged[rotate] != rotations_) &&
         (!awaitStop_ || states.actionsAcknowledged[ACT_STOP] != stops_);
}

void MotionRun::BeginStop(RunEnd end, double now) {
  if (phase_ == MotionPhase::Measuring) measurer_.OnSegmentEnd(segment_, now);
  endAfterStop_ = end;
  link_.state.jogActive = false;
  turning_ = false;
  phase_ = MotionPhase::Stopping;
  phaseSince_ = now;
  QueueStop();
}

// First in the queue, as the panel's stop on exit goes. A rotation of this
// run that still waits there becomes the stop instead: sent after it, the
// rotation would start the motor again; the motor is not turning yet.
bool MotionRun::QueueStop() {
  const uint16_t rotate = right_ ? ACT_ROTATE_RIGHT : ACT_ROTATE_LEFT;
  stops_ = link_.parameters.actionsAcknowledged[ACT_STOP];
  const bool rotationQueued = link_.parameters.actionsSent[rotate] == rotationsSent_;
  if (rotationQueued && QueueReplace(link_.queue, {CMD_ACTION, rotate}, {CMD_ACTION, ACT_STOP})) return true;
  if (PushCommandFirst(link_, CMD_ACTION, ACT_STOP)) return true;
  Finish(RunEnd::QueueFull);
  return false;
}

void MotionRun::BeginRestore(double now) {
  phase_ = MotionPhase::Restoring;
  phaseSince_ = now;
  if (lastRpm_ == driverJogSpeed_) {
    Finish(endAfterStop_);
    return;
  }
  lastRpm_ = driverJogSpeed_;
  if (Push(CMD_SET_JOG_SPEED, static_cast<uint16_t>(driverJogSpeed_), now)) awaitSpeed_ = true;
}

void MotionRun::Finish(RunEnd end) {
  phase_ = MotionPhase::Over;
  end_ = end;
}

void MotionRun::Stop(double now) {
  // Stopping or giving the jog speed back, the motor is stopped already.
  if (phase_ != MotionPhase::Commanding && phase_ != MotionPhase::Settling && phase_ != MotionPhase::Measuring) return;
  BeginStop(RunEnd::Stopped, now);
}

void MotionRun::Step(double now) {
  if (phase_ == MotionPhase::Idle || phase_ == MotionPhase::Over) return;
  if (link_.parameters.resets != resets_) {
    if (phase_ == MotionPhase::Measuring) measurer_.OnSegmentEnd(segment_, now);
    owed_.owed = true;
    owed_.since = now;
    owed_.jogSpeed = driverJogSpeed_;
    link_.state.jogActive = false;
    turning_ = false;
    Finish(RunEnd::LinkLost);
    return;
  }
  const double elapsed = now - phaseSince_;
  switch (phase_) {
    case MotionPhase::Commanding:
      if (Acknowledged()) {
        phase_ = MotionPhase::Settling;
        phaseSince_ = now;
      } else if (elapsed > ANSWER_SECONDS) {
        BeginStop(RunEnd::NoAnswer, now);
      }
      break;
    case MotionPhase::Settling:
      if (elapsed < settleSeconds_) break;
      phase_ = MotionPhase::Measuring;
      phaseSince_ = now;
      measurer_.OnSegmentBegin(segment_, now);
      break;
    case MotionPhase::Measuring:
      if (elapsed < segments_[segment_].holdSeconds) break;
      measurer_.OnSegmentEnd(segment_, now);
      phase_ = MotionPhase::Settling;  // not measuring any more
      if (++segment_ < count_) BeginSegment(now);
      else if (turning_) BeginStop(RunEnd::Finished, now);
      else BeginRestore(now);
      break;
    case MotionPhase::Stopping:
      if (link_.parameters.actionsAcknowledged[ACT_STOP] != stops_) BeginRestore(now);
      else if (elapsed > ANSWER_SECONDS) Finish(RunEnd::NoAnswer);
      break;
    case MotionPhase::Restoring:
      if (JogSpeed(link_).outstanding == 0) Finish(endAfterStop_);
      else if (elapsed > ANSWER_SECONDS) Finish(RunEnd::NoAnswer);
      break;
    case MotionPhase::Idle:
    case MotionPhase::Over: break;
  }
}

void MotionRun::OnReport(uint8_t type, int16_t value, double time) {
  if (phase_ == MotionPhase::Measuring) measurer_.OnSegmentReport(segment_, type, value, time);
}

void MotionRun::OnLinkReset(double) {}

}  // namespace velkor
