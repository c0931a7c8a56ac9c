// report_sampler_test.cpp: what a listener on the link makes of reports and
// resets: a sample per live report, markers for the link's events, a changed
// parameter and an acknowledged save, each at the report's time.
#include "report_sampler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codes.h"
#include "parameter_state.h"

namespace velkor::charts {
namespace {

struct Heard : SampleSink {
  std::vector<std::string> events;  // "time kind", in order
  void OnSample(const Sample& s) override { events.push_back(std::to_string(s.seconds) + (s.gap ? " gap" : " sample")); }
  void OnMarker(const Marker& m) override { events.push_back(std::to_string(m.seconds) + " " + EventWord(m)); }
};

TEST(ReportSampler, MakesASamplePerLiveReportAndAMarkerPerEventAtItsTime) {
  Link link;
  State(link.parameters, ParameterId::MotionCurrent) = {.known = true, .value = 1000};
  Heard heard;
  ReportSampler sampler(link, heard);
  ASSERT_EQ(link.listeners, std::vector<ReportListener*>{&sampler});

  // What changed in the link before each report reached the listener.
  struct Step {
    void (*change)(Link&);
    uint8_t type;
    double time;
  };
  const Step steps[] = {
      {[](Link&) {}, RPT_POSITION, 1},
      {[](Link&) {}, RPT_MOTION_CURRENT, 2},  // the same value again: no marker
      {[](Link& l) { State(l.parameters, ParameterId::MotionCurrent).value = 1500; }, RPT_MOTION_CURRENT, 3},
      {[](Link& l) { l.state.readyWord = READY_CONNECTED; }, RPT_STATUS, 4},
      {[](Link& l) { ++l.parameters.actionsAcknowledged[ACT_SAVE_EEPROM]; }, RPT_ACK, 5},
      {[](Link&) {}, RPT_ACK, 6},  // another command's acknowledgement
  };
  for (const Step& step : steps) {
    step.change(link);
    sampler.OnReport(step.type, 0, step.time);
  }
  sampler.OnLinkReset(7);
  sampler.OnLinkReset(8);  // nothing heard since the last: no second gap
  EXPECT_EQ(heard.events, (std::vector<std::string>{"1.000000 sample", "3.000000 motionCurrent=1500", "4.000000 sample",
                                                    "4.000000 connected", "5.000000 saved", "7.000000 gap",
                                                    "7.000000 link_lost"}));
}

}  // namespace
}  // namespace velkor::charts
