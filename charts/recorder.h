// recorder.h: the "Запись" stream. Rows are formatted on the caller's thread
// into a buffer and written by a thread of the recorder's own, a batch at a
// time, so the window never waits for the disk. A recording has succeeded only
// when every row reached the file, the data was synced and the file closed:
// a write, sync or close that fails is a failed recording, with the system's
// reason. After a failed write the file is cut back to its last whole line.
// Depends on reading_file.h, POSIX files and std::thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "marker.h"
#include "sample.h"

namespace velkor::charts {

// How long rows may wait in the buffer before the writer takes them.
inline constexpr int RECORDER_BATCH_MS = 200;
inline constexpr std::string_view NOT_A_REGULAR_FILE = "not a regular file";

struct RecordingEnd {
  std::string path;
  bool ok = false;
  std::string error;  // the system's words when not ok
};

class Recorder {
 public:
  // `onEnd` is called once per recording that ends, on the writer's thread:
  // when a write fails, or when a Stop has been carried out to the close.
  explicit Recorder(std::function<void(const RecordingEnd&)> onEnd);
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Creates or empties the file, then hands the header to the writer. False,
  // with the system's words in `error`, when the file cannot be opened, or
  // NOT_A_REGULAR_FILE for a FIFO, a device or a socket, left as it was.
  bool Start(const std::string& path, const std::string& header, double originSeconds, std::string& error);
  // Rows for the writer; nothing once the recording ended.
  void Append(const Sample& sample);
  void Mark(const Marker& marker);
  // Writes what is left, syncs and closes on the writer's thread; onEnd tells how it went.
  void Stop();
  // Started and neither stopped nor failed.
  bool Recording() const;
  const std::string& Path() const { return path_; }

 private:
  struct Writer;
  void Hand(std::string& rows);

  std::function<void(const RecordingEnd&)> onEnd_;
  std::shared_ptr<Writer> writer_;
  std::vector<std::shared_ptr<Writer>> finishing_;  // stopped, syncing or done, to be joined
  std::string path_;
  std::string row_;  // reused: a row costs no allocation
  double originSeconds_ = 0;
};

}  // namespace velkor::charts
