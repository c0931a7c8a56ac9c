// ctl_process.cpp: fork, exec and the two pipes read with poll until both close.
#include "ctl_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

namespace velkor::test {

CtlProcess::CtlProcess(const std::vector<std::string>& args, const std::string& environmentPort) {
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    if (environmentPort.empty()) unsetenv("VELKOR_PORT");
    else setenv("VELKOR_PORT", environmentPort.c_str(), 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(VELKORCTL_PATH));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(VELKORCTL_PATH, argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  out_ = out[0];
  err_ = err[0];
}

CtlProcess::~CtlProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) close(out_);
  if (err_ >= 0) close(err_);
}

void CtlProcess::Signal(int signal) const { kill(pid_, signal); }

bool CtlProcess::AwaitOutput() {
  char buffer[4096];
  const ssize_t n = read(out_, buffer, sizeof buffer);  // the program's own timeout bounds it
  if (n > 0) outSoFar_.append(buffer, static_cast<size_t>(n));
  return n > 0;
}

void CtlProcess::CloseOutput() {
  close(out_);
  out_ = -1;
}

CtlResult CtlProcess::Finish(std::chrono::milliseconds limit) {
  CtlResult result;
  result.out = std::move(outSoFar_);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int* fds[2] = {&out_, &err_};
  std::string* texts[2] = {&result.out, &result.err};
  while ((out_ >= 0 || err_ >= 0) && std::chrono::steady_clock::now() < deadline) {
    pollfd polled[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (poll(polled, 2, 50) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (polled[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(*fds[i], buffer, sizeof buffer);
      if (n > 0) {
        texts[i]->append(buffer, static_cast<size_t>(n));
      } else {
        close(*fds[i]);
        *fds[i] = -1;
      }
    }
  }
  if (out_ >= 0 || err_ >= 0) return result;  // still running: the destructor kills it
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  return result;
}

CtlResult RunCtl(const std::vector<std::string>& args, const std::string& environmentPort) {
  return CtlProcess(args, environmentPort).Finish();
}

}  // namespace velkor::test
