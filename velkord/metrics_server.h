// metrics_server.h: the metrics page over HTTP/1.0, on its own thread: a
// listening socket on the configured address (loopback by default), each
// request answered with the page of the moment and the connection closed.
// Connections are served side by side, each with its own deadline.
// Depends on POSIX sockets.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace velkor::daemon {

class MetricsServer {
 public:
  explicit MetricsServer(std::function<std::string()> page) : page_(std::move(page)) {}
  ~MetricsServer() { Stop(); }
  MetricsServer(const MetricsServer&) = delete;
  MetricsServer& operator=(const MetricsServer&) = delete;

  // Listens on "HOST:PORT" (an IPv4 or IPv6 literal; "[::1]:9466"). False
  // with the reason in `error`.
  bool Start(const std::string& address, std::string& error);
  void Stop();

 private:
  void Serve();
  struct Client {
    int fd;
    std::chrono::steady_clock::time_point deadline;
    std::string request;
  };
  void Answer(int connection, const std::string& request);

  std::function<std::string()> page_;
  int listener_ = -1;
  std::atomic<bool> stopping_ = false;
  std::thread thread_;
};

}  // namespace velkor::daemon
