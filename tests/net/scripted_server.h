// scripted_server.h: servers of a test's own on 127.0.0.1 that behave as
// real serial servers sometimes do: each connection runs a script (close at
// once with words, answer the setup late, delay every byte both ways in front
// of a real server: a slow link). Depends on POSIX sockets and threads.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace velkor::test {

using ServerBytes = std::vector<uint8_t>;

// The server's half of agreeing on the COM port option and binary both ways.
inline const ServerBytes RFC2217_AGREEMENT = {0xFF, 0xFD, 0x2C, 0xFF, 0xFD, 0x00, 0xFF, 0xFB, 0x00};
inline const ServerBytes RFC2217_REQUEST = {0xFF, 0xFA, 0x2C};

inline int ListenLocally(int port = 0) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(fd, 8);
  return fd;
}

inline int LocalPortOf(int fd) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  return getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0 ? ntohs(address.sin_port) : 0;
}

inline void WriteAll(int fd, const ServerBytes& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// Reads until `pattern` has come (true) or the client has gone (false).
inline bool ReadUntil(int fd, const ServerBytes& pattern, ServerBytes& received) {
  uint8_t in[512];
  while (std::search(received.begin(), received.end(), pattern.begin(), pattern.end()) == received.end()) {
    const ssize_t n = read(fd, in, sizeof in);
    if (n <= 0) return false;
    received.insert(received.end(), in, in + n);
  }
  return true;
}

// Takes connections one after another and runs the script on each; counts them.
class ScriptedServer {
 public:
  using Script = std::function<void(int client)>;

  explicit ScriptedServer(Script script, int port = 0) : listener_(ListenLocally(port)), port_(LocalPortOf(listener_)) {
    thread_ = std::thread([this, script] {
      for (;;) {
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        ++connections_;
        script(client);
        close(client);
      }
    });
  }
  ~ScriptedServer() {
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    thread_.join();
  }

  int Port() const { return port_; }
  int Connections() const { return connections_; }
  std::string Name(const std::string& scheme) const { return scheme + "://127.0.0.1:" + std::to_string(port_); }

 private:
  int listener_;
  int port_;
  std::atomic<int> connections_{0};
  std::thread thread_;
};

// Scripts.
inline ScriptedServer::Script CloseWithWords(std::string words) {
  return [words](int client) { WriteAll(client, ServerBytes(words.begin(), words.end())); };
}

// Agrees on the options, then `delay` after the client's setup answers all of
// it, the speed with `speed`, everything else with the value asked for. False
// if the client went first.
inline bool AnswerTheSetup(int client, std::chrono::milliseconds delay, uint32_t speed) {
  WriteAll(client, RFC2217_AGREEMENT);
  ServerBytes received;
  // The speed query (a speed of 0) closes the client's setup.
  if (!ReadUntil(client, {0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xF0}, received)) return false;
  // The delay ends early only if the client gives up and goes.
  pollfd gone{client, POLLIN, 0};
  if (poll(&gone, 1, static_cast<int>(delay.count())) > 0) return false;
  const ServerBytes end = {0xFF, 0xF0};
  ServerBytes answers;
  for (auto at = received.begin(); (at = std::search(at, received.end(), end.begin(), end.end())) != received.end();) {
    at += 2;
    ServerBytes answer(std::find_end(received.begin(), at, RFC2217_REQUEST.begin(), RFC2217_REQUEST.end()), at);
    answer[3] += 100;
    if (answer[3] == 101) answer = {0xFF, 0xFA, 0x2C, 101, 0, 0, uint8_t(speed >> 8), uint8_t(speed), 0xFF, 0xF0};
    answers.insert(answers.end(), answer.begin(), answer.end());
  }
  WriteAll(client, answers);
  return true;
}

inline ScriptedServer::Script AnswerSetup(std::chrono::milliseconds delay, uint32_t speed) {
  return [delay, speed](int client) {
    if (!AnswerTheSetup(client, delay, speed)) return;
    uint8_t in[512];
    while (read(client, in, sizeof in) > 0) {
    }
  };
}

// Forwards each connection to 127.0.0.1:target, every piece `delay` after it
// was read, both ways: a slow link.
inline ScriptedServer::Script DelayTo(int target, std::chrono::milliseconds delay) {
  return [target, delay](int client) {
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(target));
    const auto pump = [delay](int from, int to) {
      uint8_t in[4096];
      for (ssize_t n = 0; (n = read(from, in, sizeof in)) > 0;) {
        std::this_thread::sleep_for(delay);
        WriteAll(to, ServerBytes(in, in + n));
      }
      shutdown(to, SHUT_WR);
    };
    if (connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      std::thread back(pump, server, client);
      pump(client, server);
      back.join();
    }
    close(server);
  };
}

}  // namespace velkor::test
