// file_size_cap.h: caps the size of any file this process writes, as a full
// disk would, until the cap goes out of scope. A write past it fails with EFBIG.
#pragma once

#include <csignal>
#include <sys/resource.h>

namespace velkor::test {

class FileSizeCap {
 public:
  explicit FileSizeCap(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead of killing the test
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit capped = saved_;
    capped.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &capped);
  }
  ~FileSizeCap() { setrlimit(RLIMIT_FSIZE, &saved_); }
  FileSizeCap(const FileSizeCap&) = delete;
  FileSizeCap& operator=(const FileSizeCap&) = delete;

 private:
  rlimit saved_{};
};

}  // namespace velkor::test
