// report_sampler.h: the link's reports as samples and markers. Every live
// report is a sample with its own arrival time, so two reports of one type in
// one read are two samples; the link starting over is a gap. A parameter
// reported with another value than before, the driver connecting, the link
// lost and a save acknowledged are markers. Plain C++ on the link.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "link_controller.h"
#include "marker.h"
#include "parameter_table.h"
#include "report_listener.h"
#include "sample.h"

namespace velkor::charts {

class SampleSink {
 public:
  virtual ~SampleSink() = default;
  virtual void OnSample(const Sample& sample) = 0;
  virtual void OnMarker(const Marker& marker) = 0;
};

class ReportSampler : public ReportListener {
 public:
  // Joins the link's listeners until destroyed.
  ReportSampler(Link& link, SampleSink& sink);
  ~ReportSampler() override;
  ReportSampler(const ReportSampler&) = delete;
  ReportSampler& operator=(const ReportSampler&) = delete;

  void OnReport(uint8_t type, int16_t value, double time) override;
  void OnLinkReset(double time) override;

 private:
  void NoteParameters(double time);

  Link& link_;
  SampleSink& sink_;
  bool connected_ = false;
  bool heardSinceReset_ = false;
  uint32_t saves_ = 0;
  // The parameters as last seen, to tell a change from a report that repeats.
  std::array<std::optional<int32_t>, PARAMETER_STATE_COUNT> parameters_{};
};

}  // namespace velkor::charts
