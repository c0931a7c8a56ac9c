// recorder.cpp: plain write(2) on an unbuffered descriptor, so that a row
// either reaches the system at once or its failure shows at once, with the
// system's own reason, not at some later flush.
#include "recorder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "csv_writer.h"

namespace velkor::charts {

Recorder::~Recorder() { Stop(); }

bool Recorder::Start(const QString& path, const std::string& header) {
  Stop();
  errorText_.clear();
  rows_ = 0;
  complete_ = 0;
  path_ = path;
  do {
    fd_ = open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) return Fail(errno);
  return Write(header);
}

bool Recorder::Append(const Sample& sample) {
  if (!Recording()) return false;
  if (rows_ == 0) originSeconds_ = sample.seconds;
  row_.clear();
  AppendCsvRow(row_, sample, originSeconds_);
  if (!Write(row_)) return false;
  ++rows_;
  return true;
}

void Recorder::Stop() {
  if (!Recording()) return;
  close(fd_);
  fd_ = -1;
}

bool Recorder::Write(const std::string& text) {
  const char* next = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t written = write(fd_, next, left);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) {
      const int error = errno;
      // A full disk usually takes part of a row first; a reader of the file
      // should never meet half a line. Should the cut fail too, the write's
      // error is still the one the operator needs to hear.
      [[maybe_unused]] const int cut = ftruncate(fd_, complete_);
      return Fail(error);
    }
    next += written;
    left -= static_cast<size_t>(written);
  }
  complete_ += static_cast<off_t>(text.size());
  return true;
}

bool Recorder::Fail(int error) {
  errorText_ = QString::fromLocal8Bit(std::strerror(error));
  Stop();
  return false;
}

}  // namespace velkor::charts
