// recorder.cpp: the writer thread. It takes the buffer a batch at a time and
// writes it with plain write(2), so that a failure shows with the system's
// own reason, then syncs and closes when told to stop.
#include "recorder.h"

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "reading_file.h"

namespace velkor::charts {

struct Recorder::Writer {
  int fd = -1;
  std::string path;
  std::mutex mutex;
  std::condition_variable wake;
  std::string pending;  // rows handed over, not yet taken
  bool stopping = false;
  bool ended = false;   // failed, or stopped and closed
  std::thread thread;

  void Run(const std::function<void(const RecordingEnd&)>& onEnd);
  // The text written whole, or the system's reason; the file is then cut back
  // to its last whole line. `complete` is the file's length before the text.
  std::string WriteAll(const std::string& text, off_t& complete);
};

namespace {

std::string Reason(int error) { return std::strerror(error); }

}  // namespace

std::string Recorder::Writer::WriteAll(const std::string& text, off_t& complete) {
  const char* next = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t written = write(fd, next, left);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) {
      const int error = errno;
      // A full disk usually takes part of a row first; a reader of the file
      // should never meet half a line. Should the cut fail too, the write's
      // error is still the one the operator needs to hear.
      const size_t lastLine = text.rfind('\n', static_cast<size_t>(next - text.data()) - 1);
      const off_t whole = next == text.data() || lastLine == std::string::npos ? 0 : static_cast<off_t>(lastLine + 1);
      [[maybe_unused]] const int cut = ftruncate(fd, complete + whole);
      return Reason(error);
    }
    next += written;
    left -= static_cast<size_t>(written);
  }
  complete += static_cast<off_t>(text.size());
  return {};
}

void Recorder::Writer::Run(const std::function<void(const RecordingEnd&)>& onEnd) {
  std::string batch;
  off_t complete = 0;
  std::string error;
  bool last = false;
  while (!last && error.empty()) {
    {
      std::unique_lock lock(mutex);
      wake.wait_for(lock, std::chrono::milliseconds(RECORDER_BATCH_MS), [this] { return stopping; });
      batch.swap(pending);
      last = stopping;
    }
    // Only whole rows are handed over, so a batch ends on a whole line.
    error = WriteAll(batch, complete);
    batch.clear();
  }
  // A file that cannot be synced (a device, a pipe) says so with EINVAL: it
  // has nothing to sync. Any other failure, of the sync or the close, may have
  // lost rows already written.
  if (error.empty() && fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS) error = Reason(errno);
  if (close(fd) != 0 && error.empty() && errno != EINTR) error = Reason(errno);
  {
    std::lock_guard lock(mutex);
    ended = true;
  }
  onEnd({path, error.empty(), error});
}

Recorder::Recorder(std::function<void(const RecordingEnd&)> onEnd) : onEnd_(std::move(onEnd)) {}

Recorder::~Recorder() {
  Stop();
  if (writer_ && writer_->thread.joinable()) writer_->thread.join();
  for (auto& writer : finishing_)
    if (writer->thread.joinable()) writer->thread.join();
}

bool Recorder::Start(const std::string& path, const std::string& header, double originSeconds, std::string& error) {
  Stop();
  // Not waiting for a reader of a FIFO, and only a regular file is emptied
  // and written: a pipe's reader could leave at any row.
  int fd;
  do {
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = errno == ENXIO ? std::string(NOT_A_REGULAR_FILE) : Reason(errno);
    return false;
  }
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || ftruncate(fd, 0) != 0 ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    error = S_ISREG(status.st_mode) ? Reason(errno) : std::string(NOT_A_REGULAR_FILE);
    close(fd);
    return false;
  }
  // Writers that finished long ago are done with; the one before may still be syncing.
  std::erase_if(finishing_, [](const std::shared_ptr<Writer>& writer) {
    std::lock_guard lock(writer->mutex);
    if (!writer->ended) return false;
    writer->thread.join();
    return true;
  });
  writer_ = std::make_shared<Writer>();
  writer_->fd = fd;
  writer_->path = path;
  writer_->pending = header;
  path_ = path;
  originSeconds_ = originSeconds;
  writer_->thread = std::thread([writer = writer_.get(), onEnd = onEnd_] { writer->Run(onEnd); });
  return true;
}

void Recorder::Append(const Sample& sample) {
  if (!writer_) return;
  row_.clear();
  AppendSampleRow(row_, sample, originSeconds_);
  Hand(row_);
}

void Recorder::Mark(const Marker& marker) {
  if (!writer_) return;
  row_.clear();
  AppendMarkerRow(row_, marker, originSeconds_);
  Hand(row_);
}

void Recorder::Hand(std::string& rows) {
  std::lock_guard lock(writer_->mutex);
  if (!writer_->ended && !writer_->stopping) writer_->pending += rows;
}

void Recorder::Stop() {
  if (!writer_) return;
  {
    std::lock_guard lock(writer_->mutex);
    writer_->stopping = true;
  }
  writer_->wake.notify_one();
  finishing_.push_back(std::move(writer_));
  writer_.reset();
}

bool Recorder::Recording() const {
  if (!writer_) return false;
  std::lock_guard lock(writer_->mutex);
  return !writer_->ended && !writer_->stopping;
}

}  // namespace velkor::charts
