// ctl_process.h: velkorctl run as a shell runs it: a child process with its
// own standard output and error, its exit status, and signals sent to it.
// Depends on POSIX processes and pipes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace velkor::test {

struct CtlResult {
  int exitStatus = -1;  // -1: killed by a signal, or did not end in time
  std::string out;
  std::string err;
};

class CtlProcess {
 public:
  // Starts velkorctl with `args`; VELKOR_PORT is set to `environmentPort`
  // when it is not empty, and unset otherwise.
  explicit CtlProcess(const std::vector<std::string>& args, const std::string& environmentPort = {});
  ~CtlProcess();
  CtlProcess(const CtlProcess&) = delete;
  CtlProcess& operator=(const CtlProcess&) = delete;

  void Signal(int signal) const;
  // Reads standard output until it holds `lines` lines, at most for `limit`;
  // what was read is kept for Finish. False if they did not come.
  bool AwaitLines(size_t lines, std::chrono::milliseconds limit);
  // Closes the reading end of standard output, as `| head` does once it has had enough.
  void CloseOutput();
  // Collects its output until it ends; kills it after `limit`.
  CtlResult Finish(std::chrono::milliseconds limit = std::chrono::seconds(20));

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string outSoFar_;
};

// Runs velkorctl to its end.
CtlResult RunCtl(const std::vector<std::string>& args, const std::string& environmentPort = {});

}  // namespace velkor::test
