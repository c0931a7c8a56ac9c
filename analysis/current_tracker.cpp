// current_tracker.cpp: the window of readings and the figures over it.
#include "current_tracker.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "codes.h"

namespace velkor::analysis {
namespace {

constexpr double PERCENTILE = 0.95;

size_t Capacity(double windowSeconds) {
  return static_cast<size_t>(std::ceil(windowSeconds * MAX_READINGS_PER_SECOND)) + 1;
}

// Visits a ring's entries inside [from, now], oldest first.
template <typename Ring, typename Visit>
void ForEachInWindow(const Ring& ring, double from, double now, Visit visit) {
  const size_t size = ring.entries.size();
  for (size_t i = 0; i < ring.count; ++i) {
    const auto& entry = ring.entries[(ring.next + size - ring.count + i) % size];
    if (entry.reading.time >= from && entry.reading.time <= now) visit(entry);
  }
}

}  // namespace

CurrentTracker::CurrentTracker(const TrackerSettings& settings) { Configure(settings); }

void CurrentTracker::Configure(const TrackerSettings& settings) {
  settings_ = settings;
  settings_.windowSeconds = std::clamp(settings.windowSeconds, MIN_WINDOW_SECONDS, MAX_WINDOW_SECONDS);
  const size_t capacity = Capacity(settings_.windowSeconds);
  for (Ring& ring : rings_) {
    ring.entries.assign(capacity, Entry{});
    ring.next = ring.count = 0;
  }
  scratch_.assign(capacity, 0.0);
}

void CurrentTracker::Clear() {
  stream_.Clear();
  for (Ring& ring : rings_) ring.next = ring.count = 0;
  foundCeiling_.reset();
}

void CurrentTracker::OnReport(uint8_t type, int16_t value, double time) {
  // Only a measured current completes a reading; its own gap counts after it.
  const LossCounts before = stream_.Losses(type == RPT_ACTUAL_CURRENT_B ? Winding::B : Winding::A);
  if (const std::optional<WindingReading> reading = stream_.Feed(type, value, time)) Push(*reading, before);
}

void CurrentTracker::OnLinkReset(double time) { stream_.Reset(time); }

void CurrentTracker::Push(const WindingReading& reading, const LossCounts& before) {
  Ring& ring = rings_[static_cast<size_t>(reading.winding)];
  ring.entries[ring.next] = {reading, before};
  ring.next = (ring.next + 1) % ring.entries.size();
  if (ring.count < ring.entries.size()) ++ring.count;
}

Basis CurrentTracker::BasisOf(Winding winding, uint64_t readings, double first, double last,
                              const LossCounts& before) const {
  Basis basis;
  basis.readings = readings;
  if (readings == 0) return basis;
  basis.spanSeconds = last - first;
  if (readings >= 2 && basis.spanSeconds > 0) basis.rateHz = static_cast<double>(readings - 1) / basis.spanSeconds;
  const LossCounts now = stream_.Losses(winding);
  basis.lostReadings = now.lostReadings - before.lostReadings;
  basis.gaps = now.gaps - before.gaps;
  basis.badFrames = now.badFrames - before.badFrames;
  basis.linkResets = now.linkResets - before.linkResets;
  return basis;
}

TrackingFigures CurrentTracker::Track(Winding winding, std::optional<MotionState> state, double from, double now) {
  int64_t sumError = 0, sumError2 = 0, sumSet2 = 0, sumMeasured2 = 0;
  uint64_t count = 0, outside = 0;
  double first = 0, last = 0, largest = 0;
  LossCounts before;
  bool beforeTaken = false;
  ForEachInWindow(rings_[static_cast<size_t>(winding)], from, now, [&](const Entry& entry) {
    const WindingReading& r = entry.reading;
    if (!beforeTaken) {
      before = entry.lossBefore;
      beforeTaken = true;
    }
    if (state && r.state != *state) return;
    const int error = int{r.measured} - int{r.set};
    if (count == 0) first = r.time;
    last = r.time;
    sumError += error;
    sumError2 += int64_t{error} * error;
    sumSet2 += int64_t{r.set} * r.set;
    sumMeasured2 += int64_t{r.measured} * r.measured;
    if (std::abs(error) > ToleranceMa(settings_.tolerance, r.set)) ++outside;
    scratch_[count] = std::abs(error);
    largest = std::max(largest, scratch_[count]);
    ++count;
  });
  TrackingFigures f;
  f.basis = BasisOf(winding, count, first, last, before);
  if (count == 0) return f;
  const double n = static_cast<double>(count);
  f.biasMa = static_cast<double>(sumError) / n;
  f.rmsErrorMa = std::sqrt(static_cast<double>(sumError2) / n);
  // Nearest rank: the smallest |error| that at least 95 % of readings do not exceed.
  const size_t rank = static_cast<size_t>(std::ceil(PERCENTILE * n)) - 1;
  std::nth_element(scratch_.begin(), scratch_.begin() + static_cast<std::ptrdiff_t>(rank),
                   scratch_.begin() + static_cast<std::ptrdiff_t>(count));
  f.p95ErrorMa = scratch_[rank];
  f.maxErrorMa = largest;
  f.outsideTolerancePercent = 100.0 * static_cast<double>(outside) / n;
  if (sumSet2 > 0) f.ratio = std::sqrt(static_cast<double>(sumMeasured2) / static_cast<double>(sumSet2));
  return f;
}

ImbalanceFigures CurrentTracker::Imbalance(double from, double now) {
  int largest = 0;
  for (const Ring& ring : rings_)
    ForEachInWindow(ring, from, now, [&](const Entry& e) { largest = std::max(largest, std::abs(int{e.reading.set})); });
  ImbalanceFigures f;
  std::array<std::optional<double>, WINDING_COUNT> ratio;
  std::array<Basis, WINDING_COUNT> basis;
  for (size_t w = 0; w < WINDING_COUNT; ++w) {
    int64_t sumSet2 = 0, sumMeasured2 = 0;
    uint64_t count = 0;
    double first = 0, last = 0;
    LossCounts before;
    bool beforeTaken = false;
    ForEachInWindow(rings_[w], from, now, [&](const Entry& e) {
      const WindingReading& r = e.reading;
      if (!beforeTaken) before = e.lossBefore;
      beforeTaken = true;
      if (std::abs(int{r.set}) < IMBALANCE_MIN_SET_SHARE * largest || r.set == 0) return;
      if (count == 0) first = r.time;
      last = r.time;
      sumSet2 += int64_t{r.set} * r.set;
      sumMeasured2 += int64_t{r.measured} * r.measured;
      ++count;
    });
    basis[w] = BasisOf(static_cast<Winding>(w), count, first, last, before);
    if (count >= IMBALANCE_MIN_READINGS)
      ratio[w] = std::sqrt(static_cast<double>(sumMeasured2) / static_cast<double>(sumSet2));
  }
  f.basis = basis[0].readings <= basis[1].readings ? basis[0] : basis[1];
  if (largest == 0)
    f.why = "no set current in the window";
  else if (!ratio[0] || !ratio[1])
    f.why = "too few readings with both windings' set currents at 30 % of the largest or more";
  else
    f.percent = 100.0 * (*ratio[0] - *ratio[1]);
  return f;
}

HeadroomFigures CurrentTracker::Headroom(double from, double now, const Basis& a, const Basis& b) {
  CeilingFinder finder(settings_.tolerance);
  uint64_t readings = 0;
  for (const Ring& ring : rings_) {
    ForEachInWindow(ring, from, now, [&](const Entry& entry) {
      const WindingReading& r = entry.reading;
      if (!r.pwm) return;
      finder.Add(r.set, r.measured, *r.pwm);
      ++readings;
    });
  }
  if (const std::optional<double> found = finder.Ceiling())
    foundCeiling_ = std::max(foundCeiling_.value_or(0.0), *found);

  HeadroomFigures h;
  h.ceiling = ChooseCeiling(settings_.pwmFullScale, foundCeiling_);
  uint64_t near = 0, lost = 0, shortOfSet = 0;
  double first = now, last = from;
  for (const Ring& ring : rings_) {
    ForEachInWindow(ring, from, now, [&](const Entry& entry) {
      const WindingReading& r = entry.reading;
      if (!r.pwm) return;
      first = std::min(first, r.time);
      last = std::max(last, r.time);
      const bool isShort = ShortOfSet(settings_.tolerance, r.set, r.measured);
      const bool atCeiling = h.ceiling.pwm && AtCeiling(*r.pwm, *h.ceiling.pwm);
      shortOfSet += isShort;
      near += atCeiling;
      const std::optional<double> speed =
          r.speed ? std::optional<double>(std::abs(int{*r.speed})) : std::nullopt;
      if (isShort && atCeiling) {
        ++lost;
        if (speed) h.lossSpeedRpm = std::min(h.lossSpeedRpm.value_or(*speed), *speed);
      } else if (!isShort && speed) {
        h.heldSpeedRpm = std::max(h.heldSpeedRpm.value_or(*speed), *speed);
      }
    });
  }
  // Gaps are per winding: the headroom's basis takes both.
  h.basis = a;
  h.basis.readings = readings;
  h.basis.spanSeconds = readings > 0 ? last - first : 0;
  h.basis.rateHz = readings >= 2 && last > first ? std::optional<double>((readings - 1) / (last - first)) : std::nullopt;
  h.basis.lostReadings += b.lostReadings;
  h.basis.gaps += b.gaps;
  if (readings == 0) return h;
  const double n = static_cast<double>(readings);
  if (h.ceiling.pwm) {
    h.nearCeilingPercent = 100.0 * static_cast<double>(near) / n;
    h.lostPercent = 100.0 * static_cast<double>(lost) / n;
  }
  h.regulationLost = RegulationLost(h.ceiling, readings, lost, shortOfSet);
  if (h.regulationLost != true) h.lossSpeedRpm.reset();
  return h;
}

TrackerFigures CurrentTracker::Figures(double now) {
  const double from = now - settings_.windowSeconds;
  TrackerFigures f;
  f.windowSeconds = settings_.windowSeconds;
  f.tolerance = settings_.tolerance;
  for (size_t w = 0; w < WINDING_COUNT; ++w) {
    const Winding winding = static_cast<Winding>(w);
    f.windings[w].all = Track(winding, std::nullopt, from, now);
    for (size_t s = 0; s < MOTION_STATE_COUNT; ++s)
      f.windings[w].byState[s] = Track(winding, static_cast<MotionState>(s), from, now);
  }
  const TrackingFigures& a = f.windings[0].all;
  const TrackingFigures& b = f.windings[1].all;
  f.imbalance = Imbalance(from, now);
  f.headroom = Headroom(from, now, a.basis, b.basis);
  return f;
}

}  // namespace velkor::analysis
