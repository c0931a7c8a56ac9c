// pty_runner.cpp: the emulator behind a pseudo-terminal, served in real time.
#include "pty_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

namespace velkor::sim {
namespace {

// Bytes are handed on in batches, as a UART's FIFO hands them on: the thread
// sleeps until a byte has left the line and this long after, or until the
// panel writes. Shorter than the panel's 2 ms read interval, so a burst of
// reports still comes in one read; long enough that a burst costs a few wakes.
constexpr uint64_t BATCH_US = 1500;
constexpr size_t CHUNK = 512;

// Raw in both directions: no echo, no line editing, no CR/LF translation, no
// flow control characters, so every byte value passes as it is.
bool MakeRaw(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return false;
  cfmakeraw(&settings);
  cfsetispeed(&settings, B38400);
  cfsetospeed(&settings, B38400);
  settings.c_cflag |= CLOCAL | CREAD;
  return tcsetattr(fd, TCSANOW, &settings) == 0;
}

bool AddFlags(int fd, int fdFlags, int statusFlags) {
  const int fdNow = fcntl(fd, F_GETFD);
  const int statusNow = fcntl(fd, F_GETFL);
  return fdNow >= 0 && statusNow >= 0 && fcntl(fd, F_SETFD, fdNow | fdFlags) == 0 &&
         fcntl(fd, F_SETFL, statusNow | statusFlags) == 0;
}

// How long to sleep until `wakeUs` on the emulator's clock, now at `nowUs`;
// null: until the panel writes or the runner stops.
const timespec* SleepUntil(uint64_t wakeUs, uint64_t nowUs, timespec& wait) {
  if (wakeUs == Emulator::NOTHING_DUE) return nullptr;
  const uint64_t us = wakeUs > nowUs ? wakeUs - nowUs : 0;
  wait = timespec{static_cast<time_t>(us / 1'000'000), static_cast<long>(us % 1'000'000 * 1000)};
  return &wait;
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

PtyRunner::PtyRunner(EmulatorOptions options) : emulator_(std::move(options)) {}

PtyRunner::~PtyRunner() { Stop(); }

bool PtyRunner::Start() {
  if (master_ >= 0 || thread_.joinable()) {
    error_ = "already started";
    return false;
  }
  char path[128] = {};
  const bool opened = openpty(&master_, &slave_, nullptr, nullptr, nullptr) == 0;
  if (!opened || ttyname_r(slave_, path, sizeof path) != 0 || !MakeRaw(slave_) || !MakeRaw(master_) ||
      !AddFlags(master_, FD_CLOEXEC, O_NONBLOCK) || !AddFlags(slave_, FD_CLOEXEC, 0) ||
      pipe2(stopPipe_, O_CLOEXEC) != 0) {
    error_ = std::strerror(errno);
    CloseTerminal();
    CloseFd(stopPipe_[0]);
    CloseFd(stopPipe_[1]);
    return false;
  }
  slavePath_ = path;
  serving_ = true;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void PtyRunner::Stop() {
  if (thread_.joinable()) {
    const uint8_t stop = 1;
    while (write(stopPipe_[1], &stop, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
  }
  CloseTerminal();
  CloseFd(stopPipe_[0]);
  CloseFd(stopPipe_[1]);
  serving_ = false;
}

std::vector<ReceivedCommand> PtyRunner::CommandLog() {
  return WithEmulator([](Emulator& e) { return e.CommandLog(); });
}

void PtyRunner::CloseTerminal() {
  CloseFd(master_);
  CloseFd(slave_);
}

void PtyRunner::Serve() {
  using Clock = std::chrono::steady_clock;
  auto last = Clock::now();
  uint8_t in[CHUNK];
  uint8_t out[CHUNK];
  const uint64_t hangUpUs = uint64_t{emulator_.Options().hangUpAfterMs} * 1000;
  // Asleep until woken, the driver has nothing due but the hang-up.
  uint64_t wakeUs = hangUpUs != 0 ? hangUpUs : Emulator::NOTHING_DUE;
  uint64_t nowUs = 0;
  for (;;) {
    pollfd fds[2] = {{master_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    timespec wait{};
    if (ppoll(fds, 2, SleepUntil(wakeUs, nowUs, wait), nullptr) < 0 && errno != EINTR) break;
    if (fds[1].revents != 0) break;
    // With the runner's own slave descriptor open, the master hangs up only
    // when something is badly wrong; serving on would spin.
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) break;
    ssize_t got = 0;
    if (fds[0].revents & POLLIN) got = read(master_, in, sizeof in);
    if (got > 0 && tap_) tap_(WireDirection::kFromPanel, in, static_cast<size_t>(got), Clock::now());

    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - last);
    last += elapsed;
    emulator_.Advance(static_cast<uint32_t>(std::min<int64_t>(elapsed.count(), UINT32_MAX)));
    if (got > 0) emulator_.Receive(in, static_cast<size_t>(got));
    // Bytes the terminal cannot take now are lost, as on a line nobody reads.
    const size_t count = emulator_.TakeOutput(out, sizeof out);
    for (size_t done = 0; done < count;) {
      const ssize_t put = write(master_, out + done, count - done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) break;
      if (tap_) tap_(WireDirection::kToPanel, out + done, static_cast<size_t>(put), Clock::now());
      done += static_cast<size_t>(put);
    }
    nowUs = emulator_.NowMicroseconds();
    if (hangUpUs != 0 && nowUs >= hangUpUs) break;
    const uint64_t outputUs = emulator_.NextOutputMicroseconds();
    wakeUs = outputUs == Emulator::NOTHING_DUE ? outputUs : outputUs + BATCH_US;
    if (hangUpUs != 0) wakeUs = std::min(wakeUs, hangUpUs);
  }
  // Not serving any more by the time the panel can notice the hang-up.
  serving_ = false;
  CloseTerminal();
}

speed_t PtyRunner::LineSpeed() const {
  termios settings{};
  return slave_ >= 0 && tcgetattr(slave_, &settings) == 0 ? cfgetospeed(&settings) : B0;
}

}  // namespace velkor::sim
