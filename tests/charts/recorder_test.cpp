// recorder_test.cpp: a recording is a header and one row a sample, complete on
// disk at every moment, and a failed write ends it with the system's reason.
#include "recorder.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "csv_reader.h"
#include "csv_writer.h"
#include "file_size_cap.h"

namespace velkor::charts {
namespace {

Sample At(double seconds, int32_t speed) {
  Sample sample;
  sample.seconds = seconds;
  sample.values[Index(LiveReading::ShaftSpeed)] = speed;
  return sample;
}

TEST(Recorder, EveryRowIsOnDiskAsSoonAsItIsAppended) {
  QTemporaryDir dir;
  const QString path = dir.filePath("run.csv");
  Recorder recorder;
  ASSERT_TRUE(recorder.Start(path, CsvHeader(PanelValues{}, "now")));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(recorder.Append(At(50 + i * 0.5, 100 * i)));

  // Read while the recording still runs: nothing waits in a buffer.
  const test::CsvFile csv = test::ReadCsv(path);
  EXPECT_TRUE(recorder.Recording());
  ASSERT_TRUE(csv.wellFormed);
  ASSERT_EQ(csv.rows.size(), 3);
  EXPECT_EQ(csv.rows[0][0], 0.0);
  EXPECT_EQ(csv.rows[2][0], 1.0);
  EXPECT_EQ(csv.rows[2][csv.columns.indexOf("shaft_speed_rpm")], 200);
  EXPECT_EQ(recorder.Rows(), 3u);
}

TEST(Recorder, AFailedWriteEndsTheRecordingWithTheSystemsReason) {
  QTemporaryDir dir;
  const QString path = dir.filePath("full.csv");
  const std::string header = CsvHeader(PanelValues{}, "now");
  Recorder recorder;
  ASSERT_TRUE(recorder.Start(path, header));
  {
    test::FileSizeCap cap(header.size() + 100);
    int appended = 0;
    while (recorder.Append(At(appended, appended))) ++appended;
    EXPECT_GT(appended, 0);
    EXPECT_LT(appended, 100);
  }
  EXPECT_FALSE(recorder.Recording());
  EXPECT_TRUE(recorder.ErrorText().contains("too large", Qt::CaseInsensitive)) << recorder.ErrorText().toStdString();
  EXPECT_FALSE(recorder.Append(At(1000, 1)));  // stays stopped

  // The row cut short by the full disk is gone again: the file ends on a whole line.
  const test::CsvFile csv = test::ReadCsv(path);
  EXPECT_TRUE(csv.wellFormed);
  EXPECT_TRUE(csv.endsWithNewline);
  EXPECT_EQ(static_cast<size_t>(csv.rows.size()), recorder.Rows());
}

TEST(Recorder, AFileThatCannotBeCreatedIsRefusedWithTheReason) {
  Recorder recorder;
  EXPECT_FALSE(recorder.Start("/nonexistent-dir/run.csv", "x\n"));
  EXPECT_FALSE(recorder.Recording());
  EXPECT_FALSE(recorder.ErrorText().isEmpty());
}

TEST(Recorder, ANewRecordingStartsItsClockAndFileAfresh) {
  QTemporaryDir dir;
  const QString path = dir.filePath("again.csv");
  Recorder recorder;
  ASSERT_TRUE(recorder.Start(path, "# first: yes\n"));
  ASSERT_TRUE(recorder.Append(At(1, 1)));
  ASSERT_TRUE(recorder.Append(At(2, 2)));
  recorder.Stop();
  ASSERT_TRUE(recorder.Start(path, CsvHeader(PanelValues{}, "")));
  ASSERT_TRUE(recorder.Append(At(30, 3)));
  const test::CsvFile csv = test::ReadCsv(path);
  ASSERT_EQ(csv.rows.size(), 1);
  EXPECT_EQ(csv.rows[0][0], 0.0);
  EXPECT_FALSE(csv.comments.contains("first"));
}

}  // namespace
}  // namespace velkor::charts
