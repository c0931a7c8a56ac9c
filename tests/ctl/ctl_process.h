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
  // Waits for its first output, which is kept for Finish; false if it ended without.
  bool AwaitOutput();
  void CloseOutput();  // its standard output's reading end, as `| head` does when it has had enough
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
