// network_port.cpp: connecting with bounded waits, the Telnet layer on every
// read and write, and the COM port option's requests during the setup.
#include "network_port.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "port_wait.h"

namespace velkor {
namespace {

using Clock = PortClock;

constexpr size_t RECEIVE_CHUNK = 512;
// Data is escaped in pieces this long: each fits a small buffer on the stack twice over.
constexpr size_t ESCAPE_CHUNK = 128;

// A name lookup that may outlive the wait for it: getaddrinfo cannot be
// interrupted, so it runs on a thread of its own, and a lookup given up on
// finishes there and frees itself.
struct NameLookup {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  int error = 0;
  addrinfo* result = nullptr;
  ~NameLookup() {
    if (result) freeaddrinfo(result);
  }
};

std::shared_ptr<NameLookup> StartLookup(const NetworkAddress& address) {
  auto lookup = std::make_shared<NameLookup>();
  std::thread([lookup, host = address.host, service = std::to_string(address.port)] {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* result = nullptr;
    const int error = getaddrinfo(host.c_str(), service.c_str(), &hints, &result);
    std::lock_guard lock(lookup->mutex);
    lookup->error = error;
    lookup->result = result;
    lookup->finished = true;
    lookup->done.notify_all();
  }).detach();
  return lookup;
}

// Connects to one address within the deadline; the socket, or -1 with errno set.
int ConnectTo(const addrinfo& address, Clock::time_point deadline) {
  const int fd = socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
  if (fd < 0) return -1;
  int error = 0;
  if (connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
    error = errno;
    if (error == EINPROGRESS) {
      const int events = PollUntil(fd, POLLOUT, deadline);
      socklen_t size = sizeof error;
      if (events == 0) {
        error = ETIMEDOUT;
      } else if (events < 0) {
        error = errno;
      } else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
        error = errno;
      }
    }
  }
  if (error != 0) {
    close(fd);
    errno = error;
    return -1;
  }
  // Frames are a few bytes each and the driver answers one at a time: they
  // must leave at once, not wait to be gathered into a bigger segment.
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

}  // namespace

NetworkPort::NetworkPort() { lastErrorText_.reserve(128); }

NetworkPort::~NetworkPort() { Close(); }

bool NetworkPort::Open(const std::string& portName) {
  Close();
  decoder_ = TelnetDecoder{};
  agreement_ = TelnetAgreement{};
  unanswered_.clear();
  const std::optional<NetworkAddress> address = ParseNetworkAddress(portName);
  if (!address) {
    return Fail(PortError::NotFound, "Адрес не понят: нужен rfc2217://ХОСТ:ПОРТ или tcp://ХОСТ:ПОРТ.");
  }
  scheme_ = address->scheme;
  if (!Connect(*address)) return false;
  if (Telnet() && !Negotiate()) {
    Close();
    return false;
  }
  lastError_ = PortError::None;
  lastErrorText_.clear();
  return true;
}

bool NetworkPort::Connect(const NetworkAddress& address) {
  const std::shared_ptr<NameLookup> lookup = StartLookup(address);
  std::unique_lock lock(lookup->mutex);
  if (!lookup->done.wait_until(lock, Clock::now() + NETWORK_STEP_BOUND, [&] { return lookup->finished; })) {
    return Fail(PortError::NotFound, address.host + ": имя не найдено за " +
                                         std::to_string(NETWORK_STEP_BOUND.count()) + " мс.");
  }
  if (lookup->error != 0) {
    const int error = lookup->error;
    return Fail(PortError::NotFound,
                address.host + ": " + (error == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(error)));
  }
  const auto deadline = Clock::now() + NETWORK_STEP_BOUND;
  int error = ETIMEDOUT;
  for (const addrinfo* entry = lookup->result; entry && fd_ < 0; entry = entry->ai_next) {
    fd_ = ConnectTo(*entry, deadline);
    if (fd_ < 0) error = errno;
  }
  return fd_ >= 0 || FailErrno(error);
}

bool NetworkPort::Negotiate() {
  const auto deadline = Clock::now() + NETWORK_STEP_BOUND;
  if (!SendAll(TELNET_OPENING, sizeof TELNET_OPENING, deadline)) return false;
  while (!(agreement_.comPort && agreement_.binaryToServer && agreement_.binaryFromServer)) {
    if (agreement_.comPortRefused) {
      return Fail(PortError::Other, "Сервер не даёт управлять портом (RFC 2217): откройте его как tcp://.");
    }
    if (agreement_.binaryRefused) {
      return Fail(PortError::Other, "Сервер отказался передавать байты без изменений (двоичный режим Telnet).");
    }
    const int events = PollUntil(fd_, POLLIN, deadline);
    if (events == 0) {
      return Fail(PortError::Other, "Сервер не ответил на согласование RFC 2217 за " +
                                        std::to_string(NETWORK_STEP_BOUND.count()) + " мс.");
    }
    if (events < 0) return FailErrno(errno);
    if (!Receive()) return false;
  }
  return true;
}

void NetworkPort::Close() {
  pendingStart_ = pendingEnd_ = 0;
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
}

void NetworkPort::Purge() {
  if (fd_ < 0) return;
  if (Telnet()) Request(std::span(&PURGE_REQUEST, 1));
  if (fd_ >= 0) Receive();
  pendingStart_ = pendingEnd_ = 0;
}

bool NetworkPort::SetLineSettings() { return !Telnet() || Request(LINE_REQUESTS); }

bool NetworkPort::SetTimeouts(const PortTimeouts& timeouts) {
  timeouts_ = timeouts;
  return true;
}

bool NetworkPort::RaiseDtr() { return !Telnet() || Request(std::span(&DTR_ON_REQUEST, 1)); }

bool NetworkPort::LowerRts() { return !Telnet() || Request(std::span(&RTS_OFF_REQUEST, 1)); }

bool NetworkPort::Request(std::span<const ComPortRequest> requests) {
  if (fd_ < 0) return FailErrno(ENOTCONN);
  const auto deadline = Clock::now() + NETWORK_STEP_BOUND;
  for (const ComPortRequest& request : requests) {
    uint8_t bytes[COM_REQUEST_CAPACITY];
    if (!SendAll(bytes, EncodeComPortRequest(request, bytes), deadline)) return false;
  }
  asked_ = requests;
  answered_.fill(false);
  const auto allAnswered = [&] { return std::all_of(answered_.begin(), answered_.begin() + requests.size(), std::identity{}); };
  bool connected = true;
  while (connected && !allAnswered()) {
    const int events = PollUntil(fd_, POLLIN, deadline);
    if (events == 0) break;
    connected = events > 0 ? Receive() : FailErrno(errno);
  }
  asked_ = {};
  if (!connected) return false;
  for (size_t i = 0; i < requests.size(); ++i) {
    if (!answered_[i]) {
      // Some servers never answer for a device without modem lines: the
      // setup goes on, and the operator is told.
      unanswered_ += (unanswered_.empty() ? "" : ", ") + std::string(requests[i].what);
    } else if (answers_[i] != requests[i].value) {
      return Fail(PortError::Other, std::string("Сервер не выполнил запрос «") + requests[i].what +
                                        "»: он ответил значением " + std::to_string(answers_[i]) + ".");
    }
  }
  return true;
}

std::string NetworkPort::SetupNotes() const {
  if (unanswered_.empty()) return {};
  return "Сервер не ответил на запросы: " + unanswered_ + ". Порт работает, но их исполнение не подтверждено.";
}

void NetworkPort::OnCommand(const TelnetCommand& command) {
  if (command.verb >= TELNET_WILL && command.verb <= TELNET_DONT) {
    if (const auto reply = AnswerNegotiation(agreement_, command.verb, command.option)) {
      const uint8_t bytes[] = {TELNET_IAC, reply->verb, reply->option};
      SendAll(bytes, sizeof bytes, Clock::now() + TotalBudget(timeouts_.writeTotalConstantMs,
                                                              timeouts_.writeTotalMultiplierMs, sizeof bytes));
    }
    return;
  }
  if (command.verb != TELNET_SB || command.option != OPTION_COM_PORT) return;
  const std::optional<ComPortAnswer> answer = ParseComPortAnswer(command.payload, command.payloadSize);
  if (!answer) return;  // a notification of line or modem state: nothing the link needs
  for (size_t i = 0; i < asked_.size(); ++i) {
    if (!answered_[i] && Answers(*answer, asked_[i])) {
      answered_[i] = true;
      answers_[i] = answer->value;
      return;
    }
  }
}

bool NetworkPort::Receive() {
  for (;;) {
    uint8_t chunk[RECEIVE_CHUNK];
    const ssize_t n = recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n > 0) {
      const size_t count =
          Telnet() ? DecodeTelnet(decoder_, chunk, static_cast<size_t>(n), chunk, *this) : static_cast<size_t>(n);
      if (pendingEnd_ + count > pending_.size()) {
        std::copy(pending_.begin() + pendingStart_, pending_.begin() + pendingEnd_, pending_.begin());
        pendingEnd_ -= pendingStart_;
        pendingStart_ = 0;
      }
      // Beyond a device's input queue the oldest bytes would be lost there too;
      // here the newest are, and only while the setup waits.
      const size_t kept = std::min(count, pending_.size() - pendingEnd_);
      std::copy(chunk, chunk + kept, pending_.begin() + pendingEnd_);
      pendingEnd_ += kept;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    HangUp(n == 0 ? 0 : errno);
    return false;
  }
}

size_t NetworkPort::TakePending(uint8_t* buffer, size_t capacity) {
  const size_t count = std::min(capacity, pendingEnd_ - pendingStart_);
  std::copy(pending_.begin() + pendingStart_, pending_.begin() + pendingStart_ + count, buffer);
  pendingStart_ += count;
  if (pendingStart_ == pendingEnd_) pendingStart_ = pendingEnd_ = 0;
  return count;
}

size_t NetworkPort::ReadAvailable(uint8_t* buffer, size_t capacity) {
  if (capacity == 0) return 0;
  if (pendingStart_ < pendingEnd_) return TakePending(buffer, capacity);
  while (fd_ >= 0) {
    const ssize_t n = recv(fd_, buffer, capacity, MSG_DONTWAIT);
    if (n > 0) {
      // Commands are taken out here, so the frame decoder only ever sees data.
      return Telnet() ? DecodeTelnet(decoder_, buffer, static_cast<size_t>(n), buffer, *this)
                      : static_cast<size_t>(n);
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    HangUp(n == 0 ? 0 : errno);
  }
  return 0;
}

size_t NetworkPort::Read(uint8_t* buffer, size_t capacity) {
  PortRead read = BeginPortRead(timeouts_, capacity, Clock::now());
  while (read.got < capacity && (fd_ >= 0 || pendingStart_ < pendingEnd_)) {
    if (pendingStart_ == pendingEnd_) {
      const int events = PollUntil(fd_, POLLIN, read.end);
      if (events == 0) break;
      if (events < 0) {
        HangUp(errno);
        break;
      }
    }
    NoteArrival(read, timeouts_, ReadAvailable(buffer + read.got, capacity - read.got), Clock::now());
  }
  // As on a device: a read of a dropped connection waits out its time, so the
  // 1 ms tick cannot become a busy loop.
  if (read.got == 0 && fd_ < 0) SleepUntil(read.totalEnd);
  return read.got;
}

void NetworkPort::Write(const uint8_t* bytes, size_t count) {
  if (fd_ < 0) return;
  const auto deadline =
      Clock::now() + TotalBudget(timeouts_.writeTotalConstantMs, timeouts_.writeTotalMultiplierMs, count);
  if (!Telnet()) {
    SendAll(bytes, count, deadline);
    return;
  }
  // The wake byte is 0xFF, Telnet's command byte: every one goes out doubled.
  for (size_t done = 0; done < count;) {
    const size_t piece = std::min(ESCAPE_CHUNK, count - done);
    uint8_t escaped[2 * ESCAPE_CHUNK];
    if (!SendAll(escaped, EscapeTelnet(bytes + done, piece, escaped), deadline)) return;
    done += piece;
  }
}

bool NetworkPort::SendAll(const uint8_t* bytes, size_t count, Clock::time_point deadline) {
  size_t sent = 0;
  while (sent < count) {
    // MSG_NOSIGNAL: a connection the server dropped must fail the write, not end the program.
    const ssize_t n = send(fd_, bytes + sent, count - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return FailErrno(errno);
    const int events = PollUntil(fd_, POLLOUT, deadline);
    if (events <= 0) return FailErrno(events == 0 ? ETIMEDOUT : errno);
  }
  return true;
}

// The server closing the connection is what pulling out an adapter is to a
// device: the port closes at once and the link sees silence.
void NetworkPort::HangUp(int error) {
  Fail(PortError::NotFound, error == 0 ? "Сервер закрыл соединение." : std::strerror(error));
  Close();
}

bool NetworkPort::Fail(PortError error, std::string text) {
  lastError_ = error;
  lastErrorText_ = std::move(text);
  return false;
}

bool NetworkPort::FailErrno(int error) { return Fail(PortErrorFromErrno(error), std::strerror(error)); }

}  // namespace velkor
