// tune_run.h: the driver's auto-tuning with evidence. Keeps a snapshot of
// every parameter, measures a baseline (tracking at standstill, then a short
// crawl), has the driver tune its current regulation and waits for the new
// Kp and KL it reports, measures again, and then, on the operator's word,
// keeps the new coefficients (saved to the EEPROM once the save is
// acknowledged, when asked) or reverts to the snapshot, applied and verified
// as a profile is. Stepped by the caller after every tick; Stop ends the
// motion at once. Depends on the motion run, the profile apply and the
// analysis core's tracker and crawl analysis.
#pragma once

#include <cstdint>
#include <optional>

#include "crawl_analysis.h"
#include "current_tracker.h"
#include "link_controller.h"
#include "motion_run.h"
#include "profile.h"
#include "profile_apply.h"

namespace velkor {

// How long the driver is given to report its tuned coefficients.
inline constexpr double TUNING_SECONDS = 30.0;

struct TunePlan {
  double standstillSeconds = 2;
  int16_t crawlRpm = 1;
  double crawlSeconds = 3;
  bool right = true;
};

enum class TunePhase : uint8_t {
  Idle,
  Before,     // the baseline: standstill, then the crawl
  Tuning,     // the auto-tuning acknowledged and its coefficients awaited
  After,      // the same measurement again
  Deciding,   // both measurements in: the operator keeps or reverts
  Saving,     // kept: the EEPROM save awaits its acknowledgement
  Reverting,  // the snapshot is being applied and verified
  Over,
};

enum class TuneDecision : uint8_t {
  None,
  Kept,            // the new coefficients stay, not saved
  Saved,           // ...and the driver acknowledged the save
  Reverted,        // every snapshot value reported back
  RevertMismatch,  // a value reported back differs from the snapshot
};

// One measurement: tracking at standstill, then the crawl; each figure set
// taken as its part ended.
struct TuneMeasure {
  analysis::TrackerFigures standstill;
  analysis::CrawlFigures crawl;
  bool complete = false;  // both parts ran their whole time
};

class TuneRun : public SegmentMeasurer {
 public:
  explicit TuneRun(Link& link);

  void Start(const TunePlan& plan, double now);
  void Step(double now);
  void Stop(double now);
  // In Deciding: keep the new coefficients (and have the driver save them) or give the old back.
  void Keep(bool save, double now);
  void Revert(double now);

  TunePhase Phase() const { return phase_; }
  // Running until it is over or has failed; Finished once decided.
  RunEnd End() const { return end_; }
  TuneDecision Decision() const { return decision_; }
  const TunePlan& Plan() const { return plan_; }
  const Profile& Snapshot() const { return snapshot_; }
  const ProfileApply& RevertApply() const { return apply_; }
  int32_t KpBefore() const;
  int32_t KlBefore() const;
  // The coefficients the driver reported after tuning (known from Deciding on).
  int32_t KpAfter() const { return kpAfter_; }
  int32_t KlAfter() const { return klAfter_; }
  const TuneMeasure& Before() const { return before_; }
  const TuneMeasure& After() const { return after_; }
  const MotionRun& Motion() const { return motion_; }

  void OnSegmentBegin(size_t segment, double time) override;
  void OnSegmentReport(size_t segment, uint8_t type, int16_t value, double time) override;
  void OnSegmentEnd(size_t segment, double time) override;

 private:
  void Measure(TunePhase phase, double now);
  void Fail(RunEnd end);

  Link& link_;
  TunePlan plan_;
  analysis::CurrentTracker tracker_;
  analysis::CrawlAnalyzer crawler_;
  TunePhase phase_ = TunePhase::Idle;
  RunEnd end_ = RunEnd::Running;
  TuneDecision decision_ = TuneDecision::None;
  Profile snapshot_;
  ProfileApply apply_;
  TuneMeasure before_;
  TuneMeasure after_;
  MotionRun motion_;
  double phaseSince_ = 0;
  uint32_t resets_ = 0;
  uint32_t tunings_ = 0;       // auto-tunings acknowledged when it was queued
  uint32_t acknowledged_ = 0;  // commands acknowledged at the tuning's acknowledgement
  uint32_t saves_ = 0;
  int32_t kpAfter_ = 0;
  int32_t klAfter_ = 0;
};

}  // namespace velkor
