// recorder_test.cpp: a recording is a header and one row a sample or marker,
// written by the recorder's own thread; it has succeeded only once the file
// is closed, and a write or close that fails is a failed recording with the
// system's reason, the file cut back to its last whole line.
#include "recorder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include <sys/stat.h>

#include "file_size_cap.h"
#include "reading_file.h"

namespace velkor::charts {
namespace {

Sample At(double seconds, int32_t speed) {
  Sample sample;
  sample.seconds = seconds;
  sample.values[Index(LiveReading::ShaftSpeed)] = speed;
  sample.known = 1u << Index(LiveReading::ShaftSpeed);
  return sample;
}

// What the writer's thread told, waited for as a condition.
struct Ends {
  std::mutex mutex;
  std::condition_variable told;
  std::vector<RecordingEnd> ends;

  std::function<void(const RecordingEnd&)> Hear() {
    return [this](const RecordingEnd& end) {
      std::lock_guard lock(mutex);
      ends.push_back(end);
      told.notify_all();
    };
  }
  bool WaitFor(size_t count) {
    std::unique_lock lock(mutex);
    return told.wait_for(lock, std::chrono::seconds(20), [&] { return ends.size() >= count; });
  }
};

const std::string HEADER = "# velkor readings 2\ntime_s,set_current_a_ma,set_current_b_ma,actual_current_a_ma,"
                           "actual_current_b_ma,pwm_a,pwm_b,total_current_ma,shaft_speed_rpm,position_steps,phase,event\n";

TEST(Recorder, EveryRowAndMarkerIsInTheFileOnceTheRecordingIsToldSaved) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("run.csv").toStdString();
  Ends ends;
  Recorder recorder(ends.Hear());
  std::string error;
  ASSERT_TRUE(recorder.Start(path, HEADER, 50, error)) << error;
  for (int i = 0; i < 3; ++i) recorder.Append(At(50 + i * 0.5, 100 * i));
  recorder.Mark({51.25, MarkerKind::LinkLost, {}});
  EXPECT_TRUE(recorder.Recording());
  recorder.Stop();
  EXPECT_FALSE(recorder.Recording());
  ASSERT_TRUE(ends.WaitFor(1));
  EXPECT_TRUE(ends.ends[0].ok) << ends.ends[0].error;
  EXPECT_EQ(ends.ends[0].path, path);

  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().toStdString(),
            HEADER + "0.000,,,,,,,,0,,,\n0.500,,,,,,,,100,,,\n1.000,,,,,,,,200,,,\n1.250,,,,,,,,,,,link_lost\n");
}

// A full disk, as a file size cap (/dev/full, a device, is refused at the start).
TEST(Recorder, AFailedWriteIsAFailedRecordingWithTheSystemsReasonAndTheFileEndsOnAWholeLine) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("full.csv").toStdString();
  const std::pair<std::string, const char*> rows[] = {{path, "File too large"}};
  for (const auto& [target, reason] : rows) {
    Ends ends;
    Recorder recorder(ends.Hear());
    test::FileSizeCap cap(HEADER.size() + 100);
    std::string error;
    ASSERT_TRUE(recorder.Start(target, HEADER, 0, error)) << error;
    for (int i = 0; i < 200; ++i) recorder.Append(At(i, 1000000 + i));
    recorder.Stop();
    ASSERT_TRUE(ends.WaitFor(1)) << target;
    EXPECT_FALSE(ends.ends[0].ok) << target;
    EXPECT_EQ(ends.ends[0].error, reason);
  }
  ReadingFile file;
  ReadingFileError error;
  EXPECT_TRUE(ReadReadingFile(path, file, error)) << ReadingFileErrorText(error);
  EXPECT_GT(file.samples.size(), 0u);
}

TEST(Recorder, AFileThatCannotBeCreatedIsRefusedWithTheReason) {
  QTemporaryDir dir;
  const std::string fifo = dir.filePath("fifo.csv").toStdString();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Neither a FIFO, whose open would wait for a reader, nor a device is written.
  for (const auto& [path, expected] : {std::pair<std::string, std::string>{"/nonexistent-dir/run.csv", "No such file or directory"},
                                       {fifo, "not a regular file"}, {"/dev/full", "not a regular file"}}) {
    Ends ends;
    Recorder recorder(ends.Hear());
    std::string error;
    EXPECT_FALSE(recorder.Start(path, HEADER, 0, error)) << path;
    EXPECT_FALSE(recorder.Recording());
    EXPECT_EQ(error, expected) << path;
  }
}

TEST(Recorder, ANewRecordingStartsItsClockAndFileAfresh) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("again.csv").toStdString();
  Ends ends;
  Recorder recorder(ends.Hear());
  std::string error;
  ASSERT_TRUE(recorder.Start(path, "# first: yes\n" + HEADER, 1, error));
  recorder.Append(At(2, 2));
  recorder.Stop();
  ASSERT_TRUE(ends.WaitFor(1));
  ASSERT_TRUE(recorder.Start(path, HEADER, 30, error));
  recorder.Append(At(30, 3));
  recorder.Stop();
  ASSERT_TRUE(ends.WaitFor(2));
  ReadingFile file;
  ReadingFileError readError;
  ASSERT_TRUE(ReadReadingFile(path, file, readError)) << ReadingFileErrorText(readError);
  ASSERT_EQ(file.samples.size(), 1u);
  EXPECT_EQ(file.samples[0].seconds, 0.0);
  EXPECT_EQ(HeaderValue(file, "first"), "");
}

}  // namespace
}  // namespace velkor::charts
