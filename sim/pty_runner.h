// pty_runner.h: serves an Emulator on a pseudo-terminal in real time, on a
// thread of its own, so that it keeps talking while the panel's thread waits
// in a read. The panel opens SlavePath() as it would any serial port.
// Depends on emulator.h, POSIX pseudo-terminals and threads.
#pragma once

#include <termios.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator.h"

namespace velkor::sim {

enum class WireDirection { kFromPanel, kToPanel };

// Called on the serving thread with every run of bytes read from or written to
// the terminal, stamped the moment the read returned or the write was done.
// For measuring how fast the panel answers; it must not call back into the runner.
using WireTap = std::function<void(WireDirection, const uint8_t* bytes, size_t count,
                                   std::chrono::steady_clock::time_point when)>;

class PtyRunner {
 public:
  explicit PtyRunner(EmulatorOptions options = {});
  ~PtyRunner();
  PtyRunner(const PtyRunner&) = delete;
  PtyRunner& operator=(const PtyRunner&) = delete;

  // Opens the terminal pair, puts both sides in raw mode and starts serving.
  // False, with Error() saying why, when the system gives no terminal.
  bool Start();
  // Before Start only: the serving thread reads the tap without a lock.
  void SetWireTap(WireTap tap) { tap_ = std::move(tap); }
  // The terminal to open, such as /dev/pts/3; empty before Start.
  const std::string& SlavePath() const { return slavePath_; }
  const std::string& Error() const { return error_; }
  // The baud rate the panel's side has set on the terminal: what a real
  // driver's line would run at. B0 when not serving.
  speed_t LineSpeed() const;

  // Stops serving and closes the terminal. To a panel that still holds it open
  // this is an unplugged adapter: its reads return 0 or EIO from then on.
  void Stop();
  // False once stopped, or once the hang-up time of the options has come.
  bool Serving() const { return serving_; }

  // Runs `use` on the emulator under the runner's lock: to read its state or
  // to change its fault knobs while it serves.
  template <typename Use>
  auto WithEmulator(Use&& use) {
    std::lock_guard lock(mutex_);
    return use(emulator_);
  }
  std::vector<ReceivedCommand> CommandLog();

 private:
  void Serve();
  void CloseTerminal();

  Emulator emulator_;
  WireTap tap_;
  std::mutex mutex_;
  std::thread thread_;
  std::atomic<bool> serving_{false};
  int master_ = -1;
  int slave_ = -1;       // held open so the master never sees a hang-up before the panel opens
  int stopPipe_[2] = {-1, -1};  // wakes the serving thread for Stop
  std::string slavePath_;
  std::string error_;
};

}  // namespace velkor::sim
