// fleet_state_test.cpp: the fleet's topic names, the readings summed up over
// an interval, the params a subscriber reads and the metrics page, each as
// the broker or Prometheus receives it.
#include <gtest/gtest.h>

#include "codes.h"
#include "driver_metrics.h"
#include "driver_service.h"
#include "readings_window.h"
#include "topic_tree.h"

namespace velkor::daemon {
namespace {

TEST(TopicTree, ACommandTopicIsReadOnlyUnderItsOwnHostAndWithAValidDriver) {
  const std::string root = mqtt::HostRoot("lab", "bench-1");
  EXPECT_EQ(root, "velkor/v1/lab/bench-1");
  EXPECT_EQ(mqtt::CommandFilter(root), "velkor/v1/lab/bench-1/+/command/+");
  struct Row {
    const char* topic;
    const char* driver;  // nullptr: not a command for this host
    const char* command;
  };
  const Row rows[] = {
      {"velkor/v1/lab/bench-1/axis-x/command/set", "axis-x", "set"},
      {"velkor/v1/lab/bench-1/axis_2/command/show", "axis_2", "show"},
      {"velkor/v1/lab/bench-10/axis-x/command/set", nullptr, nullptr},
      {"velkor/v1/lab/bench-1/axis-x/params", nullptr, nullptr},
      {"velkor/v1/lab/bench-1/axis-x/command/", nullptr, nullptr},
      {"velkor/v1/lab/bench-1/a b/command/set", nullptr, nullptr},
  };
  for (const Row& row : rows) {
    const auto parsed = mqtt::ParseCommandTopic(root, row.topic);
    ASSERT_EQ(parsed.has_value(), row.driver != nullptr) << row.topic;
    if (!parsed) continue;
    EXPECT_EQ(parsed->driver, row.driver);
    EXPECT_EQ(parsed->command, row.command);
  }
  EXPECT_EQ(mqtt::ParsePresenceTopic("velkor/v1/clients/anna-laptop"), "anna-laptop");
  EXPECT_EQ(mqtt::ParsePresenceTopic("velkor/v1/clients/"), std::nullopt);
  EXPECT_EQ(mqtt::ParsePresenceTopic("velkor/v1/clients/a/b"), std::nullopt);
}

TEST(ReadingsWindow, EachReadingReportedInTheIntervalHasItsMinimumMaximumMeanAndCount) {
  PanelValues values;
  ReadingsWindow window;
  const auto report = [&](uint8_t type, int16_t value, int16_t PanelValues::*member) {
    values.*member = value;
    values.liveReports |= ReportBit(type);
    window.Add(type, values);
  };
  report(RPT_ACTUAL_CURRENT_A, 900, &PanelValues::actualCurrentA);
  report(RPT_ACTUAL_CURRENT_A, 1000, &PanelValues::actualCurrentA);
  report(RPT_ACTUAL_CURRENT_A, 1100, &PanelValues::actualCurrentA);
  report(RPT_PWM_B, -5, &PanelValues::pwmB);
  EXPECT_EQ(window.TakeJson(),
            R"({"actualCurrentA":{"min":900,"max":1100,"mean":1000,"count":3},)"
            R"("pwmB":{"min":-5,"max":-5,"mean":-5,"count":1}})");
  EXPECT_TRUE(window.Empty());
  EXPECT_EQ(window.TakeJson(), "{}");
}

TEST(Params, AParameterNeverReportedIsNullAndUnknownAndAChangedOneIsUnsaved) {
  Link link;
  ParameterState& current = State(link.parameters, ParameterId::MotionCurrent);
  current.known = true;
  current.value = 1200;
  current.connectedValue = 1000;
  ParameterState& smoothing = State(link.parameters, ParameterId::Smoothing);
  smoothing.known = true;
  smoothing.value = 1;
  smoothing.connectedValue = 1;
  smoothing.mismatch = true;
  const std::string json = ParamsJson(link, "2026-12-08T22:00:00.000Z");
  EXPECT_EQ(json.substr(0, 80), R"({"time":"2026-12-08T22:00:00.000Z","parameters":{"stepDivision":null,"motionCurr)");
  EXPECT_NE(json.find(R"("motionCurrent":1200,)"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("smoothing":true},"states")"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("stepDivision":{"state":"unknown","unsaved":false})"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("motionCurrent":{"state":"confirmed","unsaved":true})"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("smoothing":{"state":"mismatch","unsaved":false}}})"), std::string::npos) << json;
}

TEST(Metrics, ThePageNamesEachFamilyOnceWithItsLabelsAndLeavesUnknownWindingsOut) {
  DriverFigures f;
  f.up = true;
  f.reports = 12;
  f.checkErrors = 1;
  f.reconnects = 2;
  f.commands = {3, 1, 0, 0};
  f.actualCurrentAmperes = {1.25, std::nullopt};
  f.pwm = {-40, 35};
  f.trackingErrorAmperes = {0.012, std::nullopt};
  f.trackingReadings = {200, 0};
  EXPECT_EQ(MetricsText("lab", "h1", {{"x", f}}),
            "# HELP velkor_driver_up 1 while the driver's link is connected\n"
            "# TYPE velkor_driver_up gauge\n"
            "velkor_driver_up{driver=\"x\",site=\"lab\",host=\"h1\"} 1\n"
            "# HELP velkor_link_reports_total Reports received from the driver\n"
            "# TYPE velkor_link_reports_total counter\n"
            "velkor_link_reports_total{driver=\"x\",site=\"lab\",host=\"h1\"} 12\n"
            "# HELP velkor_link_check_errors_total Frames from the driver rejected by their check byte\n"
            "# TYPE velkor_link_check_errors_total counter\n"
            "velkor_link_check_errors_total{driver=\"x\",site=\"lab\",host=\"h1\"} 1\n"
            "# HELP velkor_link_reconnects_total Times the driver's port was opened again\n"
            "# TYPE velkor_link_reconnects_total counter\n"
            "velkor_link_reconnects_total{driver=\"x\",site=\"lab\",host=\"h1\"} 2\n"
            "# HELP velkor_commands_total Remote commands by result\n"
            "# TYPE velkor_commands_total counter\n"
            "velkor_commands_total{driver=\"x\",site=\"lab\",host=\"h1\",result=\"done\"} 3\n"
            "velkor_commands_total{driver=\"x\",site=\"lab\",host=\"h1\",result=\"differs\"} 1\n"
            "velkor_commands_total{driver=\"x\",site=\"lab\",host=\"h1\",result=\"refused\"} 0\n"
            "velkor_commands_total{driver=\"x\",site=\"lab\",host=\"h1\",result=\"failed\"} 0\n"
            "# HELP velkor_winding_set_current_amperes The current set for each winding\n"
            "# TYPE velkor_winding_set_current_amperes gauge\n"
            "# HELP velkor_winding_current_amperes The current measured in each winding\n"
            "# TYPE velkor_winding_current_amperes gauge\n"
            "velkor_winding_current_amperes{driver=\"x\",site=\"lab\",host=\"h1\",winding=\"a\"} 1.25\n"
            "# HELP velkor_winding_pwm The PWM duty of each winding, as the driver reports it\n"
            "# TYPE velkor_winding_pwm gauge\n"
            "velkor_winding_pwm{driver=\"x\",site=\"lab\",host=\"h1\",winding=\"a\"} -40\n"
            "velkor_winding_pwm{driver=\"x\",site=\"lab\",host=\"h1\",winding=\"b\"} 35\n"
            "# HELP velkor_winding_tracking_error_rms_amperes RMS of the measured less the set current of each "
            "winding over the last 2 s\n"
            "# TYPE velkor_winding_tracking_error_rms_amperes gauge\n"
            "velkor_winding_tracking_error_rms_amperes{driver=\"x\",site=\"lab\",host=\"h1\",winding=\"a\"} 0.012\n"
            "# HELP velkor_winding_tracking_readings Readings the RMS tracking error of each winding rests on\n"
            "# TYPE velkor_winding_tracking_readings gauge\n"
            "velkor_winding_tracking_readings{driver=\"x\",site=\"lab\",host=\"h1\",winding=\"a\"} 200\n"
            "velkor_winding_tracking_readings{driver=\"x\",site=\"lab\",host=\"h1\",winding=\"b\"} 0\n");
}

}  // namespace
}  // namespace velkor::daemon
