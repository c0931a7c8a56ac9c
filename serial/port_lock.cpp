// port_lock.cpp: taking, checking and dropping UUCP lock files. A new lock is
// written whole under a temporary name and linked into place, so no program
// ever reads a half-written one and two programs cannot both take it.
#include "port_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <utility>

#include "processes.h"

namespace velkor {
namespace {

// Two programs that both found the same stale lock race to replace it; one of
// them then finds the winner's lock, which is live.
constexpr int TAKE_ATTEMPTS = 3;

// The pid a lock file names; 0 when it names none (unreadable or garbled).
int PidIn(const std::filesystem::path& file) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[32] = {};
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0) return 0;
  char* end = nullptr;
  const long pid = std::strtol(text, &end, 10);
  return end != text && pid > 0 && pid <= INT32_MAX ? static_cast<int>(pid) : 0;
}

// Writes a lock naming this process under `file`; 0 or the errno of the failure
// (EEXIST: somebody's lock is there).
int CreateLock(const std::filesystem::path& directory, const std::filesystem::path& file) {
  std::string scratch = (directory / "LTMP.XXXXXX").string();
  const int fd = mkstemp(scratch.data());
  if (fd < 0) return errno;
  char text[16];
  const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
  // Readable by all: other programs read it to see whether its owner lives.
  const bool written = fchmod(fd, 0644) == 0 && write(fd, text, static_cast<size_t>(length)) == length;
  const int writeError = errno;
  close(fd);
  const int error = !written ? writeError : link(scratch.c_str(), file.c_str()) == 0 ? 0 : errno;
  unlink(scratch.c_str());
  return error;
}

}  // namespace

std::string LockFileName(const std::string& devicePath) {
  std::error_code error;
  const std::filesystem::path device = std::filesystem::canonical(devicePath, error);
  return "LCK.." + (error ? std::filesystem::path(devicePath) : device).filename().string();
}

PortLock::PortLock(std::filesystem::path directory) : directory_(std::move(directory)) {}

PortLock::~PortLock() { Release(); }

bool PortLock::Take(const std::string& devicePath) {
  Release();
  const std::filesystem::path file = directory_ / LockFileName(devicePath);
  for (int attempt = 0; attempt < TAKE_ATTEMPTS; ++attempt) {
    const int error = CreateLock(directory_, file);
    if (error == 0) {
      file_ = file;
      return true;
    }
    if (error != EEXIST) return true;  // no lock directory of ours to write: unmarked
    const int pid = PidIn(file);
    // A lock naming this very process is a leftover of an earlier run that had
    // the same pid: within this process, the port's own lock keeps out doubles.
    if (pid != getpid() && ProcessAlive(pid)) {
      holder_ = {pid, ProgramOf(pid)};
      return false;
    }
    unlink(file.c_str());
  }
  return true;
}

void PortLock::Release() {
  holder_ = {};
  if (file_.empty()) return;
  // Only our own: someone may have found it stale and put theirs in its place.
  if (PidIn(file_) == getpid()) unlink(file_.c_str());
  file_.clear();
}

}  // namespace velkor
