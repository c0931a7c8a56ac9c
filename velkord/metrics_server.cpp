// metrics_server.cpp: the listening socket and the answer to each request.
#include "metrics_server.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velkor::daemon {
namespace {

constexpr int POLL_MS = 200;          // how soon a stop is noticed
constexpr int REQUEST_WAIT_MS = 2000;  // a client gets this long to send its request
constexpr size_t REQUEST_LIMIT = 4096;

void WriteAll(int fd, const std::string& text) {
  size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

}  // namespace

bool MetricsServer::Start(const std::string& address, std::string& error) {
  const size_t colon = address.rfind(':');
  if (colon == std::string::npos) {
    error = "the metrics address must be HOST:PORT, not " + address;
    return false;
  }
  std::string host = address.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* found = nullptr;
  if (const int rc = getaddrinfo(host.c_str(), address.c_str() + colon + 1, &hints, &found); rc != 0) {
    error = "the metrics address " + address + ": " + gai_strerror(rc);
    return false;
  }
  listener_ = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int yes = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  const bool ok = listener_ >= 0 && bind(listener_, found->ai_addr, found->ai_addrlen) == 0 && listen(listener_, 8) == 0;
  freeaddrinfo(found);
  if (!ok) {
    error = "cannot serve metrics on " + address + ": " + std::strerror(errno);
    return false;
  }
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void MetricsServer::Stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) close(listener_);
  listener_ = -1;
}

void MetricsServer::Serve() {
  while (!stopping_) {
    pollfd entry{listener_, POLLIN, 0};
    if (poll(&entry, 1, POLL_MS) <= 0) continue;
    const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    Answer(connection);
    close(connection);
  }
}

// Only GET /metrics is served; whatever else comes is told so.
void MetricsServer::Answer(int connection) {
  std::string request;
  char buffer[512];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < REQUEST_LIMIT) {
    pollfd entry{connection, POLLIN, 0};
    if (poll(&entry, 1, REQUEST_WAIT_MS) <= 0) return;
    const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    request.append(buffer, static_cast<size_t>(n));
  }
  const bool metrics = request.rfind("GET /metrics ", 0) == 0 || request.rfind("GET /metrics?", 0) == 0;
  const std::string body = metrics ? page_() : "velkord serves its metrics at /metrics\n";
  WriteAll(connection, std::string(metrics ? "HTTP/1.0 200 OK" : "HTTP/1.0 404 Not Found") +
                           "\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
}

}  // namespace velkor::daemon
