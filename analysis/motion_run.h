// motion_run.h: the motion the measuring procedures are made of: a list of
// segments, each a jog speed (or standstill) held for a time, stepped by the
// caller after every tick with the link and the present time. It keeps the
// jog rules of the link: the jog is on only while a segment turns, a stop
// overtakes everything queued, a link that starts over ends it as lost, and
// the driver's jog speed is given back at the end. Reports heard while a
// segment is being measured go to the run's measurer with the segment's
// number. Depends on the link controller; no allocation while running.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "link_controller.h"
#include "report_listener.h"

namespace velkor {

// How a procedure ended, or that it runs still.
enum class RunEnd : uint8_t {
  Running,
  Finished,   // ran its course; its figures are complete
  Stopped,    // the operator stopped it; the figures cover what was measured
  LinkLost,   // the link started over: the motor was left to the driver's keep-alive watch
  QueueFull,  // the command queue had no room
  NoAnswer,   // an acknowledgement or an awaited report did not come in time
  NotReady,   // the driver's parameters were not all reported, or a change was pending
};

// The operator's words for an end, in English, for velkorctl.
const char* RunEndEnglish(RunEnd end);

// A jog of `rpm` (0: standing still) held for `holdSeconds` once it has settled.
struct MotionSegment {
  int16_t rpm = 0;
  double holdSeconds = 0;
};

inline constexpr size_t MAX_SEGMENTS = 64;
// How long an acknowledgement is waited for before the run gives up.
inline constexpr double ANSWER_SECONDS = 3.0;
// Settling after a change of speed, on top of what the driver's acceleration needs.
inline constexpr double SETTLE_SECONDS = 0.3;

// What a run that ended by a lost link still owes the driver: the motor may
// be turning on, at the run's speed. Once the same driver is connected again
// within OWED_STOP_SECONDS, the stop goes first and the jog speed the run found
// goes back after it.
struct OwedStop {
  bool owed = false;
  std::string port;  // the port the run went on
  double since = 0;  // when the link was lost
  int16_t jogSpeed = 0;
};
inline constexpr double OWED_STOP_SECONDS = 30.0;

// After every tick: pays the stop once the link is connected again on the
// same port, or gives it up after OWED_STOP_SECONDS. True when it was queued.
bool PayOwedStop(Link& link, OwedStop& owed, double now);

// What sees the reports of the measured segments.
class SegmentMeasurer {
 public:
  virtual ~SegmentMeasurer() = default;
  virtual void OnSegmentBegin(size_t segment, double time) = 0;
  virtual void OnSegmentReport(size_t segment, uint8_t type, int16_t value, double time) = 0;
  virtual void OnSegmentEnd(size_t segment, double time) = 0;
};

enum class MotionPhase : uint8_t {
  Idle,
  Commanding,  // the segment's commands wait for their acknowledgements
  Settling,
  Measuring,
  Stopping,    // the stop waits for its acknowledgement
  Restoring,   // the driver's own jog speed goes back
  Over,
};

class MotionRun : public ReportListener {
 public:
  // Registers with the link's listeners for its lifetime.
  MotionRun(Link& link, SegmentMeasurer& measurer);
  ~MotionRun() override;
  MotionRun(const MotionRun&) = delete;
  MotionRun& operator=(const MotionRun&) = delete;

  // Begins the segments (at most MAX_SEGMENTS); the caller has the operator's
  // confirmation. `right` turns clockwise.
  void Start(std::span<const MotionSegment> segments, bool right, double now);
  // After every tick.
  void Step(double now);
  // At once: the jog ends and the stop goes out before anything queued.
  void Stop(double now);

  RunEnd End() const { return end_; }
  MotionPhase Phase() const { return phase_; }
  size_t Segment() const { return segment_; }
  size_t SegmentCount() const { return count_; }
  // The driver's jog speed when the run began.
  int16_t FoundJogSpeed() const { return driverJogSpeed_; }
  // Set when the link was lost while the motor could be turning.
  const OwedStop& Owed() const { return owed_; }

  void OnReport(uint8_t type, int16_t value, double time) override;
  void OnLinkReset(double time) override;

 private:
  void BeginSegment(double now);
  void BeginStop(RunEnd end, double now);
  void BeginRestore(double now);
  void Finish(RunEnd end);
  bool Push(uint8_t code, uint16_t value, double now);
  bool QueueStop();
  bool Acknowledged() const;

  Link& link_;
  SegmentMeasurer& measurer_;
  std::array<MotionSegment, MAX_SEGMENTS> segments_ = {};
  size_t count_ = 0;
  size_t segment_ = 0;
  bool right_ = true;
  bool turning_ = false;
  MotionPhase phase_ = MotionPhase::Idle;
  RunEnd end_ = RunEnd::Running;
  RunEnd endAfterStop_ = RunEnd::Finished;
  double phaseSince_ = 0;
  double settleSeconds_ = 0;
  int16_t driverJogSpeed_ = 0;
  int16_t lastRpm_ = 0;
  uint32_t resets_ = 0;
  // Counters when the awaited commands were queued.
  uint32_t rotations_ = 0;
  uint32_t rotationsSent_ = UINT32_MAX;  // none of this run's rotations queued
  uint32_t stops_ = 0;
  bool awaitRotation_ = false;
  bool awaitStop_ = false;
  bool awaitSpeed_ = false;
  OwedStop owed_;
};

}  // namespace velkor
