// pty_peer.h: the far end of a pseudo-terminal, standing in for the driver in
// the port tests. The port under test opens the terminal side by its path; the
// peer writes to and reads from the master side, on a thread when it follows a
// timed script. Closing the master is an unplugged adapter. POSIX only.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace velkor::test {

using Clock = std::chrono::steady_clock;

// One write of the script, `delay` after the previous one (or after Play).
struct PeerStep {
  std::chrono::microseconds delay;
  std::vector<uint8_t> bytes;
};

class PtyPeer {
 public:
  PtyPeer();
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  const std::string& TerminalPath() const { return path_; }
  // A descriptor of the terminal side held for the peer's lifetime, so the
  // terminal survives the port closing and reopening, and its settings can be
  // read back.
  int TerminalFd() const { return terminal_; }

  void Send(const std::vector<uint8_t>& bytes);
  // Writes the steps on a thread, each at its time from now, not drifting when
  // one is late.
  void Play(std::vector<PeerStep> script);
  // Waits for the script to end; when each step's write began.
  std::vector<Clock::time_point> Finish();

  // The bytes the port sent, until `count` have come or `timeout` has passed.
  std::vector<uint8_t> Receive(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(1));

  // Closes the master side, as pulling the adapter would.
  void Unplug();

 private:
  int master_ = -1;
  int terminal_ = -1;
  std::string path_;
  std::thread player_;
  std::vector<Clock::time_point> written_;
};

}  // namespace velkor::test
