// metrics_server.cpp: the listening socket and the answer to each request.
#include "metrics_server.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace velkor::daemon {
namespace {

constexpr int POLL_MS = 200;          // how soon a stop is noticed
constexpr int REQUEST_WAIT_MS = 2000;  // a client gets this long to send its request
constexpr size_t CLIENT_LIMIT = 32;    // connections waiting for their request at once
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

// Every connection is served side by side with the others, each with its
// own deadline: a client that connects and sends nothing delays nobody.
void MetricsServer::Serve() {
  std::vector<Client> clients;
  while (!stopping_) {
    std::vector<pollfd> entries{{listener_, POLLIN, 0}};
    for (const Client& client : clients) entries.push_back({client.fd, POLLIN, 0});
    if (poll(entries.data(), entries.size(), POLL_MS) < 0 && errno != EINTR) continue;
    const auto now = std::chrono::steady_clock::now();
    for (size_t i = 0; i < clients.size(); ++i) {
      Client& client = clients[i];
      bool done = now > client.deadline;
      if (!done && (entries[i + 1].revents & (POLLIN | POLLHUP | POLLERR))) {
        char buffer[512];
        const ssize_t n = recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) client.request.append(buffer, static_cast<size_t>(n));
        done = (n < 0 && errno != EAGAIN && errno != EINTR) || n == 0;
        if (client.request.find("\r\n\r\n") != std::string::npos || client.request.size() >= REQUEST_LIMIT) {
          Answer(client.fd, client.request);
          done = true;
        }
      }
      if (done) close(client.fd);
      client.fd = done ? -1 : client.fd;
    }
    std::erase_if(clients, [](const Client& client) { return client.fd < 0; });
    if (!(entries[0].revents & POLLIN)) continue;
    const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (connection < 0) continue;
    // Beyond the limit, the oldest waiting client gives way.
    if (clients.size() >= CLIENT_LIMIT) {
      close(clients.front().fd);
      clients.erase(clients.begin());
    }
    clients.push_back({connection, now + std::chrono::milliseconds(REQUEST_WAIT_MS), {}});
  }
  for (const Client& client : clients) close(client.fd);
}

// Only GET /metrics is served; whatever else comes is told so. The answer is
// short enough for the socket's buffer; a client that reads nothing loses it.
void MetricsServer::Answer(int connection, const std::string& request) {
  const bool metrics = request.rfind("GET /metrics ", 0) == 0 || request.rfind("GET /metrics?", 0) == 0;
  const std::string body = metrics ? page_() : "velkord serves its metrics at /metrics\n";
  WriteAll(connection, std::string(metrics ? "HTTP/1.0 200 OK" : "HTTP/1.0 404 Not Found") +
                           "\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
}

}  // namespace velkor::daemon
