// serial_port.cpp: the termios port. Reads are timed by port_wait against
// monotonic deadlines.
#include "serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "port_name.h"
#include "port_wait.h"

namespace velkor {
namespace {

using Clock = PortClock;

// Long enough for every strerror text, so that keeping one on the tick path
// never allocates.
constexpr size_t ERROR_TEXT_CAPACITY = 128;

constexpr tcflag_t FRAMING_FLAGS = CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD;
constexpr tcflag_t DRIVER_FRAMING = CS8 | CLOCAL | CREAD;
constexpr speed_t DRIVER_SPEED = B38400;

}  // namespace

SerialPort::SerialPort(TerminalControl& terminal, std::filesystem::path lockDirectory)
    : terminal_(terminal), lock_(std::move(lockDirectory)) {
  lastErrorText_.reserve(ERROR_TEXT_CAPACITY);
}

SerialPort::~SerialPort() { Close(); }

bool SerialPort::Open(const std::string& portName) {
  Close();
  const std::string path = DevicePath(portName);
  // O_NONBLOCK: the open must not wait for a carrier that CLOCAL is not yet
  // there to ignore, and every later wait is one of our own ppoll calls.
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Fail(errno);
  // TIOCEXCL keeps other users out, but not root; the lock keeps out root too.
  // Locking first leaves a port that someone else holds untouched. A lock held
  // elsewhere means the port is in use, which is what the operator should read,
  // not "try again".
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    close(fd);
    return Fail(error);
  }
  if (terminal_.Control(fd, TIOCEXCL, nullptr) != 0) {  // also turns away files that are no terminal
    const int error = errno;
    close(fd);
    return Fail(error);
  }
  // The lock file comes last: a port this process already holds is turned
  // away above, so a lock naming our own pid is never another port's.
  if (!lock_.Take(path)) {
    terminal_.Control(fd, TIOCNXCL, nullptr);
    close(fd);
    return Fail(EBUSY);
  }
  fd_ = fd;
  lastError_ = PortError::None;
  lastErrorText_.clear();
  return true;
}

void SerialPort::Close() {
  // The lock file first: once the descriptor closes, the kernel may give the
  // device's name to a new device, which must not look taken by us.
  lock_.Release();
  if (fd_ < 0) return;
  terminal_.Control(fd_, TIOCNXCL, nullptr);  // the mark outlives us while others hold the terminal
  close(fd_);                                 // and the flock goes with the descriptor
  fd_ = -1;
}

bool SerialPort::IsOpen() const { return fd_ >= 0; }

void SerialPort::Purge() { tcflush(fd_, TCIOFLUSH); }

bool SerialPort::SetLineSettings() {
  // Before the speed is set: the alias decides what B38400 means when it is.
  if (!ClearSpeedAlias()) return false;
  termios settings{};
  if (terminal_.GetAttributes(fd_, settings) != 0) return Fail(errno);
  // The driver's frames use all 256 byte values: no echo, no line editing, no
  // signals, no CR/LF or case translation, no eighth-bit stripping, no parity
  // marks, and no XON/XOFF, whose bytes would be eaten as flow control.
  cfmakeraw(&settings);
  settings.c_iflag &= ~(IXOFF | IXANY | IUCLC);
  settings.c_cflag = (settings.c_cflag & ~FRAMING_FLAGS) | DRIVER_FRAMING;
  cfsetispeed(&settings, DRIVER_SPEED);
  cfsetospeed(&settings, DRIVER_SPEED);
  if (terminal_.SetAttributes(fd_, settings) != 0) return Fail(errno);
  // tcsetattr succeeds when any part of the change took: check the parts that matter.
  termios applied{};
  if (terminal_.GetAttributes(fd_, applied) != 0) return Fail(errno);
  if (cfgetispeed(&applied) != DRIVER_SPEED || cfgetospeed(&applied) != DRIVER_SPEED ||
      (applied.c_cflag & FRAMING_FLAGS) != DRIVER_FRAMING)
    return Fail(EINVAL);
  return true;
}

bool SerialPort::SetTimeouts(const PortTimeouts& timeouts) {
  termios settings{};
  if (terminal_.GetAttributes(fd_, settings) != 0) return Fail(errno);
  // The kernel neither counts nor times a read; Read does both. With VMIN 1 an
  // empty non-blocking read says EAGAIN, so a read of 0 can only mean hang-up.
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  if (terminal_.SetAttributes(fd_, settings) != 0) return Fail(errno);
  timeouts_ = timeouts;
  return true;
}

bool SerialPort::RaiseDtr() { return SetModemLine(TIOCMBIS, TIOCM_DTR); }

bool SerialPort::LowerRts() { return SetModemLine(TIOCMBIC, TIOCM_RTS); }

// An old setserial "spd_hi" or "spd_cust" makes the 8250, FTDI and other
// drivers run B38400 at another rate. Low latency makes a USB adapter hand
// over each byte as it comes instead of after its 16 ms timer; a driver that
// refuses it still works. Drivers without serial flags (pseudo-terminals,
// CDC-ACM on some kernels) answer ENOTTY or EINVAL and have no alias either.
bool SerialPort::ClearSpeedAlias() {
  serial_struct flags{};
  if (terminal_.Control(fd_, TIOCGSERIAL, &flags) != 0) return errno == ENOTTY || errno == EINVAL || Fail(errno);
  const int alias = flags.flags & ASYNC_SPD_MASK;
  serial_struct wanted = flags;
  wanted.flags = (flags.flags & ~ASYNC_SPD_MASK) | ASYNC_LOW_LATENCY;
  if (wanted.flags == flags.flags || terminal_.Control(fd_, TIOCSSERIAL, &wanted) == 0) return true;
  if (alias == 0) return true;  // only low latency was refused
  wanted.flags = flags.flags & ~ASYNC_SPD_MASK;
  return terminal_.Control(fd_, TIOCSSERIAL, &wanted) == 0 || Fail(errno);
}

bool SerialPort::SetModemLine(unsigned long request, int line) {
  if (terminal_.Control(fd_, request, &line) == 0) return true;
  // A device without modem-control lines (a pseudo-terminal, a virtual port)
  // has nothing to set: refusing it would shut out every virtual port.
  if (errno == ENOTTY || errno == EINVAL) return true;
  return Fail(errno);
}

size_t SerialPort::Read(uint8_t* buffer, size_t capacity) {
  PortRead read = BeginPortRead(timeouts_, capacity, Clock::now());
  while (fd_ >= 0 && read.got < capacity) {
    const int events = PollUntil(fd_, POLLIN, read.end);
    if (events == 0) break;
    if (events < 0) {
      Fail(errno);
      Close();
      break;
    }
    NoteArrival(read, timeouts_, ReadAvailable(buffer + read.got, capacity - read.got), Clock::now());
  }
  // Bytes that came before a failure are the driver's and go to the link. A
  // read that got nothing from a failed or closed port waits out its time, as a
  // read of silence would, so the 1 ms tick cannot become a busy loop.
  if (read.got == 0 && fd_ < 0) SleepUntil(read.totalEnd);
  return read.got;
}

size_t SerialPort::ReadAvailable(uint8_t* buffer, size_t capacity) {
  if (fd_ < 0) return 0;
  for (;;) {
    const ssize_t n = read(fd_, buffer, capacity);
    if (n > 0) return static_cast<size_t>(n);
    const int error = n < 0 ? errno : 0;
    if (error == EINTR) continue;
    // Nothing there yet, unless the device has gone and only says so in poll.
    if (error == EAGAIN && !HungUp(fd_)) return 0;
    // A hang-up reads 0 or fails with EIO, depending on the terminal and the
    // kernel; either way the device has gone.
    // Let go of the device now: while a descriptor of it stays open, the
    // kernel gives a replugged adapter a new name.
    Fail(error == 0 || error == EIO || error == EAGAIN ? ENODEV : error);
    Close();
    return 0;
  }
}

void SerialPort::Write(const uint8_t* bytes, size_t count) {
  if (fd_ < 0) return;
  const auto deadline =
      Clock::now() + TotalBudget(timeouts_.writeTotalConstantMs, timeouts_.writeTotalMultiplierMs, count);
  size_t sent = 0;
  while (sent < count) {
    const ssize_t n = write(fd_, bytes + sent, count - sent);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EINTR && errno != EAGAIN) {
      Fail(errno);
      return;
    }
    const int events = PollUntil(fd_, POLLOUT, deadline);
    if (events <= 0) {
      Fail(events == 0 ? ETIMEDOUT : errno);
      return;
    }
  }
}

bool SerialPort::Fail(int error) {
  lastError_ = PortErrorFromErrno(error);
  lastErrorText_ = std::strerror(error);
  return false;
}

}  // namespace velkor
