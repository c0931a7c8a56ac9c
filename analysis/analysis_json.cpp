// analysis_json.cpp: the figure sets written out field by field, in a fixed
// order, numbers to a thousandth.
#include "analysis_json.h"

#include <cmath>
#include <cstdio>
#include <string_view>

namespace velkor::analysis {
namespace {

// Builds one object: each Field adds a key (a plain ASCII name, no escaping
// needed) and a value already in JSON form.
class Object {
 public:
  Object& Raw(std::string_view key, std::string_view json) {
    text_ += text_.size() > 1 ? ",\"" : "\"";
    text_ += key;
    text_ += "\":";
    text_ += json;
    return *this;
  }
  Object& Number(std::string_view key, std::optional<double> value) { return Raw(key, NumberJson(value)); }
  Object& Count(std::string_view key, uint64_t value) { return Raw(key, std::to_string(value)); }
  Object& Flag(std::string_view key, std::optional<bool> value) {
    return Raw(key, !value ? "null" : *value ? "true" : "false");
  }
  Object& Text(std::string_view key, std::string_view value) {
    return Raw(key, std::string("\"") + std::string(value) + "\"");
  }
  std::string Close() { return text_ + "}"; }

  static std::string NumberJson(std::optional<double> value) {
    if (!value || !std::isfinite(*value)) return "null";
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.3f", *value);
    std::string text = buffer;
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    if (text == "-0") text = "0";
    return text;
  }

 private:
  std::string text_ = "{";
};

std::string TrackingJson(const TrackingFigures& f) {
  return Object()
      .Raw("basis", BasisJson(f.basis))
      .Number("biasMa", f.biasMa)
      .Number("rmsErrorMa", f.rmsErrorMa)
      .Number("p95ErrorMa", f.p95ErrorMa)
      .Number("maxErrorMa", f.maxErrorMa)
      .Number("outsideTolerancePercent", f.outsideTolerancePercent)
      .Number("ratio", f.ratio)
      .Close();
}

std::string CeilingJson(const Ceiling& c) {
  return Object().Number("pwm", c.pwm).Text("source", CeilingSourceName(c.source)).Close();
}

template <typename T, typename Write>
std::string Array(const std::vector<T>& items, Write write) {
  std::string text = "[";
  for (const T& item : items) {
    if (text.size() > 1) text += ",";
    text += write(item);
  }
  return text + "]";
}

}  // namespace

const char* WindingName(Winding winding) { return winding == Winding::A ? "A" : "B"; }

const char* MotionStateName(MotionState state) {
  switch (state) {
    case MotionState::Holding: return "holding";
    case MotionState::Accelerating: return "accelerating";
    case MotionState::ConstantSpeed: return "constantSpeed";
  }
  return "";
}

const char* CeilingSourceName(CeilingSource source) {
  switch (source) {
    case CeilingSource::Unknown: return "unknown";
    case CeilingSource::FromData: return "data";
    case CeilingSource::FromOperator: return "operator";
  }
  return "";
}

std::string BasisJson(const Basis& b) {
  return Object()
      .Count("readings", b.readings)
      .Number("rateHz", b.rateHz)
      .Number("spanS", b.spanSeconds)
      .Count("lostReadings", b.lostReadings)
      .Count("gaps", b.gaps)
      .Count("badFrames", b.badFrames)
      .Count("linkResets", b.linkResets)
      .Close();
}

std::string TrackerJson(const TrackerFigures& f) {
  Object windings;
  for (size_t w = 0; w < WINDING_COUNT; ++w) {
    Object byState;
    for (size_t s = 0; s < MOTION_STATE_COUNT; ++s)
      byState.Raw(MotionStateName(static_cast<MotionState>(s)), TrackingJson(f.windings[w].byState[s]));
    windings.Raw(WindingName(static_cast<Winding>(w)),
                 Object().Raw("all", TrackingJson(f.windings[w].all)).Raw("byState", byState.Close()).Close());
  }
  const HeadroomFigures& h = f.headroom;
  return Object()
      .Number("windowS", f.windowSeconds)
      .Number("tolerancePercent", f.tolerance.percent)
      .Number("toleranceMa", f.tolerance.milliamperes)
      .Raw("windings", windings.Close())
      .Raw("imbalance", Object()
                            .Raw("basis", BasisJson(f.imbalance.basis))
                            .Number("percent", f.imbalance.percent)
                            .Raw("unknownBecause", f.imbalance.why ? "\"" + std::string(f.imbalance.why) + "\"" : "null")
                            .Close())
      .Raw("headroom", Object()
                           .Raw("basis", BasisJson(h.basis))
                           .Raw("ceiling", CeilingJson(h.ceiling))
                           .Number("nearCeilingPercent", h.nearCeilingPercent)
                           .Number("lostPercent", h.lostPercent)
                           .Flag("regulationLost", h.regulationLost)
                           .Number("lossSpeedRpm", h.lossSpeedRpm)
                           .Number("heldSpeedRpm", h.heldSpeedRpm)
                           .Close())
      .Close();
}

std::string CrawlJson(const CrawlFigures& f, bool withPoints) {
  Object o;
  o.Raw("basis", BasisJson(f.basis))
      .Count("division", static_cast<uint64_t>(f.division))
      .Count("emptyBins", f.emptyBins)
      .Count("outOfRangePhases", f.outOfRangePhases)
      .Number("ripplePercent", f.ripplePercent)
      .Number("idealRadiusMa", f.idealRadiusMa)
      .Number("measuredRadiusMa", f.measuredRadiusMa)
      .Number("zeroCrossingErrorMa", f.zeroCrossingErrorMa)
      .Number("zeroCrossingErrorPercent", f.zeroCrossingErrorPercent)
      .Number("harmonic3PercentA", f.harmonic3PercentA)
      .Number("harmonic3PercentB", f.harmonic3PercentB)
      .Number("harmonic5PercentA", f.harmonic5PercentA)
      .Number("harmonic5PercentB", f.harmonic5PercentB)
      .Raw("bins", Array(f.bins, [](const CrawlBin& b) {
             return Object()
                 .Count("readingsA", b.readingsA)
                 .Count("readingsB", b.readingsB)
                 .Number("setAMa", b.setA)
                 .Number("measuredAMa", b.measuredA)
                 .Number("errorAMa", b.errorA)
                 .Number("setBMa", b.setB)
                 .Number("measuredBMa", b.measuredB)
                 .Number("errorBMa", b.errorB)
                 .Number("lengthMa", b.lengthMa)
                 .Close();
           }));
  if (withPoints)
    o.Raw("pointsMa", Array(f.points, [](const CrawlPoint& p) {
            return "[" + std::to_string(p.a) + "," + std::to_string(p.b) + "]";
          }));
  return o.Count("pointsLeftOut", f.pointsLeftOut).Close();
}

std::string SweepJson(const SweepFigures& f) {
  return Object()
      .Raw("ceiling", CeilingJson(f.ceiling))
      .Number("regulationLostRpm", f.regulationLostRpm)
      .Number("errorRiseRpm", f.errorRiseRpm)
      .Number("jogFromRpm", f.jogFromRpm)
      .Number("jogToRpm", f.jogToRpm)
      .Raw("steps", Array(f.steps, [](const SweepStepFigures& s) {
             return Object()
                 .Number("targetRpm", s.targetRpm)
                 .Raw("basis", BasisJson(s.basis))
                 .Number("meanSpeedRpm", s.meanSpeedRpm)
                 .Number("speedRippleRpm", s.speedRippleRpm)
                 .Number("speedRipplePercent", s.speedRipplePercent)
                 .Number("rmsErrorMa", s.rmsErrorMa)
                 .Number("nearCeilingPercent", s.nearCeilingPercent)
                 .Number("meanTotalCurrentMa", s.meanTotalCurrentMa)
                 .Flag("regulationLost", s.regulationLost)
                 .Flag("errorsRisen", s.errorsRisen)
                 .Close();
           }))
      .Close();
}

}  // namespace velkor::analysis
