// journal.cpp: the journal's one-write appends.
#include "journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "state_directory.h"

namespace velkor {

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "unknown";
  return name;
}

namespace {

// True for an empty file and for anything that is no regular file.
bool EndsInNewline(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size == 0) return true;
  char last = '\n';
  return ::pread(fd, &last, 1, status.st_size - 1) != 1 || last == '\n';
}

}  // namespace

Journal::Journal(std::string path, std::string program)
    : path_(std::move(path)), program_(std::move(program)), host_(HostName()) {}

std::optional<std::string> Journal::Append(JournalEntry entry) const {
  if (path_.empty()) return std::string("no journal: neither XDG_STATE_HOME nor HOME is set");
  if (entry.time.empty()) entry.time = JournalTime(std::chrono::system_clock::now());
  if (entry.program.empty()) entry.program = program_;
  if (entry.host.empty()) entry.host = host_;
  std::string line = JournalLine(entry);
  const size_t slash = path_.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    if (auto error = MakeDirectories(path_.substr(0, slash))) return "cannot write the journal: " + *error;
  }
  // O_NONBLOCK: a FIFO planted in the journal's place must not hang the program.
  const int fd = ::open(path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
  if (fd < 0) return "cannot open the journal " + path_ + ": " + std::strerror(errno);
  // A line torn by a full disk or a crash must not swallow this entry: it
  // starts on a line of its own, still in the one write.
  if (!EndsInNewline(fd)) line.insert(line.begin(), '\n');
  ssize_t written;
  do {
    written = ::write(fd, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  const int writeErrno = errno;
  const bool closed = ::close(fd) == 0;
  if (written < 0) return "cannot write the journal " + path_ + ": " + std::strerror(writeErrno);
  if (static_cast<size_t>(written) != line.size()) {
    return "the journal " + path_ + " took only part of a line (the disk may be full)";
  }
  if (!closed) return "cannot write the journal " + path_ + ": " + std::strerror(errno);
  return std::nullopt;
}

}  // namespace velkor
