// csv_writer_test.cpp: the header names the port and the parameters as last
// reported, and the rows read back as the samples they came from.
#include "csv_writer.h"

#include <gtest/gtest.h>

#include "csv_reader.h"

namespace velkor::charts {
namespace {

PanelValues Reported() {
  PanelValues values;
  values.portName = "/dev/ttyUSB0";
  values.stepDivision = 12.5;
  values.motionCurrent = 1500;
  values.holdingCurrent = 400;
  values.faultCurrent = 5000;
  values.reductionDelay = 60000;
  values.proportionalK = -3;
  values.levelingK = 15;
  values.smoothingCaption = SMOOTHING_ON;
  values.steps = 200;
  values.jogSpeed = 120;
  values.jogAccel = 50;
  return values;
}

TEST(CsvHeader, RecordsThePortTheTimeAndEveryParameterAsLastReported) {
  const test::CsvFile csv = test::ParseCsv(QByteArray::fromStdString(CsvHeader(Reported(), "2026-12-08T04:10:00")));
  const std::pair<const char*, const char*> expected[] = {
      {"port", "/dev/ttyUSB0"},     {"recorded", "2026-12-08T04:10:00"},
      {"step_division", "12.5"},    {"motion_current_ma", "1500"},
      {"holding_current_ma", "400"}, {"fault_current_ma", "5000"},
      {"reduction_delay_ms", "60000"}, {"kp", "-3"},
      {"kl", "15"},                 {"smoothing", "on"},
      {"steps", "200"},             {"jog_speed_rpm", "120"},
      {"jog_accel", "50"},
  };
  for (auto [key, value] : expected) EXPECT_EQ(csv.comments.value(key).toStdString(), value) << key;
}

TEST(CsvHeader, TellsSmoothingOffFromNotYetReported) {
  PanelValues values = Reported();
  values.smoothingCaption = SMOOTHING_OFF;
  EXPECT_EQ(test::ParseCsv(QByteArray::fromStdString(CsvHeader(values, ""))).comments.value("smoothing"), "off");
  values.smoothingCaption = {};
  EXPECT_EQ(test::ParseCsv(QByteArray::fromStdString(CsvHeader(values, ""))).comments.value("smoothing"),
            "not reported");
}

TEST(CsvHeader, NamesTimeThenEveryReadingInTableOrder) {
  const test::CsvFile csv = test::ParseCsv(QByteArray::fromStdString(CsvHeader(Reported(), "")));
  EXPECT_EQ(csv.columns.join(',').toStdString(),
            "time_s,set_current_a_ma,set_current_b_ma,actual_current_a_ma,actual_current_b_ma,pwm_a,pwm_b,"
            "total_current_ma,shaft_speed_rpm,position_steps,phase");
}

TEST(CsvRow, ReadsBackAsTheSampleWithSecondsSinceTheOrigin) {
  PanelValues values;
  values.setCurrentA = -32768;
  values.setCurrentB = 32767;
  values.actualCurrentA = -1;
  values.actualCurrentB = 2;
  values.pwmA = -1000;
  values.pwmB = 999;
  values.totalCurrent = 3;
  values.shaftSpeed = -70000;  // wider than 16 bits: the smoothed speed is 32-bit
  values.position = -12345;
  values.phase = 7;
  std::string text = CsvHeader(values, "");
  AppendCsvRow(text, TakeSample(values, 100.0), 100.0);
  AppendCsvRow(text, TakeSample(values, 112.3456), 100.0);

  const test::CsvFile csv = test::ParseCsv(QByteArray::fromStdString(text));
  ASSERT_TRUE(csv.wellFormed);
  ASSERT_EQ(csv.rows.size(), 2);
  EXPECT_EQ(csv.rows[0], (QList<double>{0, -32768, 32767, -1, 2, -1000, 999, 3, -70000, -12345, 7}));
  EXPECT_EQ(csv.rows[1][0], 12.346);  // milliseconds, rounded
  EXPECT_TRUE(csv.endsWithNewline);
}

}  // namespace
}  // namespace velkor::charts
