// reading_file_test.cpp: the readings file as written, and every layout a
// Velkor program has written read back to the values in it.
#include "reading_file.h"

#include <gtest/gtest.h>

#include "codes.h"
#include "parameter_state.h"

namespace velkor::charts {
namespace {

Link Connected() {
  Link link;
  link.values.portName = "/dev/ttyUSB0";
  link.state.readyWord = READY_CONNECTED;
  State(link.parameters, ParameterId::MotionCurrent) = {.known = true, .value = 1500};
  State(link.parameters, ParameterId::Smoothing) = {.known = true, .value = 1};
  return link;
}

TEST(ReadingFileHeader, SaysTheFormatTheProgramThePortTheDriverTheRateAndEveryParameter) {
  const std::string header = ReadingFileHeader(Connected(), "2026-12-08T04:10:00+01:00", ROWS_EVERY_REPORT);
  for (const char* line :
       {"# velkor readings 2\n# program: velkor ", "\n# device: VK-3\n# port: /dev/ttyUSB0\n",
        "\n# driver: /dev/ttyUSB0\n# recorded: 2026-12-08T04:10:00+01:00\n# rows: every report\n"
        "# reading_period_ms: 10\n# parameter stepDivision: unknown\n# parameter motionCurrent: 1500\n",
        "\n# parameter smoothing: 1\ntime_s,set_current_a_ma,set_current_b_ma,actual_current_a_ma,actual_current_b_ma,"
        "pwm_a,pwm_b,total_current_ma,shaft_speed_rpm,position_steps,phase,event\n"})
    EXPECT_NE(header.find(line), std::string::npos) << line << "\nin\n" << header;
  EXPECT_NE(ReadingFileHeader(Link{}, "", ROWS_EVERY_STATUS).find("# driver: unknown\n"), std::string::npos);
}

TEST(ReadingFileRows, AreReadBackAsTheSamplesMarkersAndGapsWritten) {
  Sample first;
  first.seconds = 100;
  first.values[Index(LiveReading::ShaftSpeed)] = -70000;  // wider than 16 bits
  first.values[Index(LiveReading::Position)] = -12345;
  first.known = 1u << Index(LiveReading::ShaftSpeed) | 1u << Index(LiveReading::Position);
  Sample second = first;
  second.seconds = 112.3456;
  second.values[Index(LiveReading::SetCurrentA)] = 32767;
  second.known |= 1u << Index(LiveReading::SetCurrentA);
  std::string text = ReadingFileHeader(Connected(), "", ROWS_EVERY_REPORT);
  AppendSampleRow(text, first, 100);
  AppendMarkerRow(text, {101, MarkerKind::Parameter, "motionCurrent=1500"}, 100);
  AppendSampleRow(text, GapAt(102), 100);  // nothing: the marker says it
  AppendMarkerRow(text, {102, MarkerKind::LinkLost, {}}, 100);
  AppendMarkerRow(text, {103, MarkerKind::Connected, {}}, 100);
  AppendSampleRow(text, second, 100);
  AppendMarkerRow(text, {113, MarkerKind::Saved, {}}, 100);
  EXPECT_NE(text.find("\n0.000,,,,,,,,-70000,-12345,,\n1.000,,,,,,,,,,,motionCurrent=1500\n2.000,,,,,,,,,,,link_lost\n"),
            std::string::npos) << text;

  ReadingFile file;
  ReadingFileError error;
  ASSERT_TRUE(ParseReadingFile(text, file, error)) << ReadingFileErrorText(error);
  EXPECT_EQ(file.version, 2);
  EXPECT_EQ(HeaderValue(file, "parameter motionCurrent"), "1500");
  ASSERT_EQ(file.samples.size(), 3u);
  EXPECT_EQ(file.samples[0].values, first.values);
  EXPECT_EQ(file.samples[0].known, first.known);
  EXPECT_TRUE(file.samples[1].gap);
  EXPECT_DOUBLE_EQ(file.samples[2].seconds, 12.346);  // milliseconds, rounded
  EXPECT_EQ(file.samples[2].values, second.values);
  ASSERT_EQ(file.markers.size(), 4u);
  const std::pair<double, std::string> markers[] = {{1, "motionCurrent=1500"}, {2, "link_lost"}, {3, "connected"}, {13, "saved"}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_DOUBLE_EQ(file.markers[i].seconds, markers[i].first);
    EXPECT_EQ(EventWord(file.markers[i]), markers[i].second);
  }
}

// Files as the earlier programs wrote them: the chart's first recordings, with
// and without the phase, and velkorctl's watch, without and with a time column.
struct OldFile {
  const char* name;
  const char* text;
  int version;
  bool timed;
  double secondRowTime;
  int32_t secondRowPosition;
  bool actualCurrentBKnown;  // in the second row
};

const OldFile OLD_FILES[] = {
    {"the chart's first recording", "# Velkor: readings of the VK-3 driver\n# port: /dev/ttyUSB0\n# step_division: 8\n"
     "time_s,set_current_a_ma,set_current_b_ma,actual_current_a_ma,actual_current_b_ma,pwm_a,pwm_b,total_current_ma,"
     "shaft_speed_rpm,position_steps\n0.000,1000,0,982,1,50,0,983,0,0\n0.170,1000,0,990,-1,51,0,991,12,3\n",
     1, true, 0.17, 3, true},
    {"a chart recording with the phase", "# Velkor: readings of the VK-3 driver\n# port: /dev/ttyUSB0\n"
     "time_s,set_current_a_ma,set_current_b_ma,actual_current_a_ma,actual_current_b_ma,pwm_a,pwm_b,total_current_ma,"
     "shaft_speed_rpm,position_steps,phase\r\n0.000,1000,0,982,1,50,0,983,0,0,4\r\n0.250,1000,0,990,-1,51,0,991,12,-7,5\r\n",
     1, true, 0.25, -7, true},
    {"velkorctl's first watch", "phase,setCurrentA,setCurrentB,pwmA,pwmB,actualCurrentA,actualCurrentB,totalCurrent,"
     "position,shaftSpeed\n4,1000,0,50,0,982,1,983,0,0\n5,1000,0,51,0,990,-1,991,9,12\n",
     0, false, 1, 9, true},
    {"velkorctl's watch with time", "time_s,set_current_a_ma,set_current_b_ma,actual_current_a_ma,actual_current_b_ma,"
     "pwm_a,pwm_b,total_current_ma,shaft_speed_rpm,position_steps,phase\n0.000,1000,0,,,,,,0,0,\n0.050,1000,0,982,,,,,0,2,\n",
     0, true, 0.05, 2, false},
};

TEST(ReadingFileParse, OldFilesReadBackToTheirValues) {
  for (const OldFile& old : OLD_FILES) {
    ReadingFile file;
    ReadingFileError error;
    ASSERT_TRUE(ParseReadingFile(old.text, file, error)) << old.name << ": " << ReadingFileErrorText(error);
    EXPECT_EQ(file.version, old.version) << old.name;
    EXPECT_EQ(file.timed, old.timed) << old.name;
    ASSERT_EQ(file.samples.size(), 2u) << old.name;
    EXPECT_DOUBLE_EQ(file.samples[1].seconds, old.secondRowTime) << old.name;
    EXPECT_EQ(file.samples[1][LiveReading::Position], old.secondRowPosition) << old.name;
    EXPECT_EQ(file.samples[1][LiveReading::SetCurrentA], 1000) << old.name;
    EXPECT_EQ(file.samples[1].Known(LiveReading::ActualCurrentB), old.actualCurrentBKnown) << old.name;
  }
}

TEST(ReadingFileParse, NamesTheFirstLineThatIsNotPartOfAReadingsFile) {
  const std::pair<const char*, const char*> rows[] = {
      {"# velkor readings 3\n", "line 1: written by a newer program (format 3)"},
      {"# velkor readings x\n", "line 1: not a version of the readings format"},
      {"a,b\n1,2\n", "line 1: no column of a reading"},
      {"time_s,pwm_a\n0.0,1\n0.1\n0.2,3\n", "line 3: not a row of the columns above"},
      {"time_s,pwm_a\n0.0,1.5\n0.1,2\n", "line 2: not a row of the columns above"},
      {"time_s,pwm_a,event\n0.0,,exploded\n0.1,,\n", "line 2: not a row of the columns above"},
      {"# only a comment\n", "no column line"},
  };
  for (auto [text, expected] : rows) {
    ReadingFile file;
    ReadingFileError error;
    EXPECT_FALSE(ParseReadingFile(text, file, error)) << text;
    EXPECT_EQ(ReadingFileErrorText(error), expected) << text;
  }
}

// A recording cut mid-row opens with the rows before the torn line.
TEST(ReadingFileParse, LeavesOutATornLastRow) {
  ReadingFile file;
  ReadingFileError error;
  ASSERT_TRUE(ParseReadingFile("time_s,pwm_a\n0.0,1\n0.1,2\n0.", file, error));
  EXPECT_TRUE(file.lastRowTorn);
  EXPECT_EQ(file.samples.size(), 2u);
}

}  // namespace
}  // namespace velkor::charts
