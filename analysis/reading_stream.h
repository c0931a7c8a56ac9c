// reading_stream.h: turns the driver's reports, one at a time with their
// arrival times, into winding readings: a measured current paired with the set
// current and PWM of the same winding, the shaft speed and the phase heard
// in the same burst (the reports between two status reports, which the driver
// latches together), and the motion state of the shaft. Counts what was lost on
// the way: gaps in the readings, bad frames, link resets. Constant cost per
// report, no allocation. Depends on the report codes only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace velkor::analysis {

enum class Winding : uint8_t { A, B };
inline constexpr size_t WINDING_COUNT = 2;

enum class MotionState : uint8_t { Holding, Accelerating, ConstantSpeed };
inline constexpr size_t MOTION_STATE_COUNT = 3;

// A set current, PWM, speed or phase older than this is not paired with a
// measured current: at the driver's slowest useful rate each comes every few
// tens of milliseconds.
inline constexpr double PAIRING_SECONDS = 0.1;
// The speed is compared with the speed this long before to tell acceleration
// from a constant speed.
inline constexpr double ACCELERATION_SPAN_SECONDS = 0.2;
// A speed that changed by at least this many rpm, or this share of the speed,
// over the span above is taken for acceleration.
inline constexpr int ACCELERATION_MIN_RPM = 2;
inline constexpr double ACCELERATION_MIN_SHARE = 0.02;
// An interval between two readings of a winding this many times the usual
// one is a gap; the readings that would have come in it count as lost. The
// usual interval is the mean of the last INTERVAL_HISTORY, judged once
// MIN_INTERVALS have been heard: reports read in bursts are back-dated from
// their read by their line time, which stamps them late by up to the line's
// idle time in the read, so single intervals jitter and one short interval
// must not make every following one a gap. An interval in which the driver answered commands is
// no gap: its answers go out before its readings.
inline constexpr double GAP_FACTOR = 1.5;
inline constexpr size_t INTERVAL_HISTORY = 32;
inline constexpr size_t MIN_INTERVALS = 5;
// A gap's excess is weighed against this many readings after it.
inline constexpr uint32_t GAP_SETTLE_READINGS = 12;

struct WindingReading {
  double time = 0;  // seconds, steady clock: the measured current's arrival
  Winding winding = Winding::A;
  int16_t set = 0;       // mA
  int16_t measured = 0;  // mA
  std::optional<int16_t> pwm;    // the driver's own scale
  std::optional<int16_t> speed;  // rpm, signed
  std::optional<int16_t> phase;  // microstep within the electrical period
  MotionState state = MotionState::Holding;
};

// What did not arrive, counted since the stream was made or cleared. Gaps and
// lost readings are per winding; bad frames and link resets are the line's.
struct LossCounts {
  uint64_t lostReadings = 0;
  uint64_t gaps = 0;
  uint64_t badFrames = 0;
  uint64_t linkResets = 0;
};

class ReadingStream {
 public:
  // The reading that `type` completes: a measured current with the set
  // current of its winding from the same burst, whichever of the two came
  // second. While the shaft holds (the set current does not change), or when
  // the driver sends the two in different bursts, one heard within
  // PAIRING_SECONDS in an earlier burst pairs too.
  std::optional<WindingReading> Feed(uint8_t type, int16_t value, double time);
  // The link started over: nothing heard before pairs with what comes next.
  void Reset(double time);
  // Whether the operator's jog is on; a jogging shaft at speed 0 is starting,
  // not holding.
  void SetJogging(bool jogging) { jogging_ = jogging; }
  // The frame decoder's count of bad frames; read at each report, so that
  // frames lost are counted when the stream next hears anything.
  void WatchBadFrames(const uint64_t* counter);
  LossCounts Losses(Winding winding) const;
  // The usual interval between two readings of the winding, once seen.
  std::optional<double> ReadingInterval(Winding winding) const;
  // Reports stop coming for a while by the listener's choice (between the
  // steps of a run): the interval across the pause is neither a gap nor usual.
  void Pause();
  // Forgets everything but the bad-frame counter it watches.
  void Clear();

 private:
  struct Latest {
    int16_t value = 0;
    double time = 0;
    bool heard = false;
    uint64_t burst = 0;
  };
  std::optional<WindingReading> Pair(size_t winding);
  void NoteBadFrames();
  void NoteStatus(int16_t speed, double time);
  void NoteInterval(size_t winding, double time);

  Latest set_[WINDING_COUNT], pwm_[WINDING_COUNT], measured_[WINDING_COUNT], speed_, phase_;
  bool paired_[WINDING_COUNT] = {};  // the measured current above made its reading
  // The last burst carried both currents of the winding; a driver that sends
  // them in different bursts is paired across them, the best it allows.
  bool together_[WINDING_COUNT] = {};
  uint64_t burst_ = 1;               // status reports heard, plus one
  double lastMeasured_[WINDING_COUNT] = {};
  bool measuredHeard_[WINDING_COUNT] = {};
  bool answered_[WINDING_COUNT] = {};  // an answer came since the winding's last reading
  // The last intervals of each winding's readings, as a ring.
  std::array<double, INTERVAL_HISTORY> intervals_[WINDING_COUNT] = {};
  size_t intervalCount_[WINDING_COUNT] = {};
  std::optional<double> interval_[WINDING_COUNT];
  struct Gap {
    bool open = false;
    double excess = 0;       // seconds past the usual intervals
    uint32_t readings = 0;   // heard since it opened
    double usual = 0;        // the usual interval when it opened
  };
  Gap openGaps_[WINDING_COUNT];
  uint64_t lost_[WINDING_COUNT] = {}, gaps_[WINDING_COUNT] = {};
  uint64_t badFrames_ = 0, resets_ = 0;
  const uint64_t* badFrameCounter_ = nullptr;
  uint64_t badFramesSeen_ = 0;
  bool jogging_ = false;

  // Status reports of the last ACCELERATION_SPAN_SECONDS and a little more.
  static constexpr size_t SPEED_HISTORY = 256;
  struct SpeedAt {
    double time;
    int16_t speed;
  };
  std::array<SpeedAt, SPEED_HISTORY> speeds_{};
  uint64_t statuses_ = 0;  // status reports kept since the last reset
  uint64_t reference_ = 0;  // the newest of them at least a span old
  MotionState state_ = MotionState::Holding;  // as of the last status report
};

}  // namespace velkor::analysis
