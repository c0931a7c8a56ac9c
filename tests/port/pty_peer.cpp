// pty_peer.cpp: the scripted far end over openpty.
#include "pty_peer.h"

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <stdexcept>

#include "real_time.h"

namespace velkor::test {
PtyPeer::PtyPeer() {
  if (openpty(&master_, &terminal_, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  char name[PATH_MAX];
  if (ttyname_r(terminal_, name, sizeof name) != 0) throw std::runtime_error("ttyname_r failed");
  // The terminal starts cooked, as the kernel makes it; the master's side is
  // raw already. (Settings asked of the master would go to the terminal.)
  path_ = name;
}

PtyPeer::~PtyPeer() {
  if (player_.joinable()) player_.join();
  Unplug();
  close(terminal_);
}

void PtyPeer::Send(const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + sent, bytes.size() - sent);
    if (n < 0 && errno != EINTR) throw std::runtime_error("write to master failed");
    if (n > 0) sent += static_cast<size_t>(n);
  }
}

void PtyPeer::Play(std::vector<PeerStep> script) {
  player_ = std::thread([this, script = std::move(script)] {
    const RealTimeScope onTime;
    auto due = Clock::now();
    for (const PeerStep& step : script) {
      due += step.delay;
      std::this_thread::sleep_until(due);
      written_.push_back(Clock::now());  // before the write: the bytes cannot arrive earlier
      Send(step.bytes);
    }
  });
}

std::vector<Clock::time_point> PtyPeer::Finish() {
  player_.join();
  return std::move(written_);
}

std::vector<uint8_t> PtyPeer::Receive(size_t count, std::chrono::milliseconds timeout) {
  std::vector<uint8_t> bytes;
  const auto deadline = Clock::now() + timeout;
  while (bytes.size() < count && Clock::now() < deadline) {
    pollfd entry{master_, POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (poll(&entry, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
    uint8_t chunk[256];
    const ssize_t n = read(master_, chunk, std::min(sizeof chunk, count - bytes.size()));
    if (n > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  }
  return bytes;
}

void PtyPeer::Unplug() {
  if (master_ < 0) return;
  close(master_);
  master_ = -1;
}

}  // namespace velkor::test
