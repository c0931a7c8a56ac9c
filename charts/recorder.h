// recorder.h: the "Запись" stream. Every sample goes to the file as one CSV row
// the moment it is taken, so the file is complete to its last line whenever the
// recording stops, by the operator, by a change of port or by a failed write.
// Depends on csv_writer.h and POSIX files.
#pragma once

#include <QString>

#include <cstddef>
#include <sys/types.h>
#include <string>

#include "sample.h"

namespace velkor::charts {

class Recorder {
 public:
  Recorder() = default;
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Creates or empties the file and writes the header. False, with ErrorText
  // set, when the file cannot be opened or the header not written.
  bool Start(const QString& path, const std::string& header);
  // Writes one row. A write that fails ends the recording: the part of the row
  // that got out is cut off again, so the file still ends on a whole line, and
  // the file is closed. False, with ErrorText set.
  bool Append(const Sample& sample);
  void Stop();

  bool Recording() const { return fd_ >= 0; }
  const QString& Path() const { return path_; }
  size_t Rows() const { return rows_; }
  // The system's words for the last failure.
  const QString& ErrorText() const { return errorText_; }

 private:
  bool Write(const std::string& text);
  bool Fail(int error);

  int fd_ = -1;
  QString path_;
  std::string row_;
  double originSeconds_ = 0;
  size_t rows_ = 0;
  off_t complete_ = 0;  // bytes up to the end of the last whole line
  QString errorText_;
};

}  // namespace velkor::charts
