// network_port.cpp: opening as steps that never wait (the name lookup on a
// thread of its own, a non-blocking connect to each address in turn, the TLS
// handshake, the Telnet negotiation, the line setup), the TLS and Telnet
// layers on every read and write, and the server's words when it closes.
#include "network_port.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>

#include "port_wait.h"
#include "tls_session.h"

namespace velkor {

// A name lookup that may outlive the wait for it: getaddrinfo cannot be
// interrupted, so it runs on a thread of its own, which writes a byte to a
// pipe when done so that a waiter can watch for it; a lookup given up on
// finishes there and frees itself.
struct NameLookup {
  std::mutex mutex;
  bool finished = false;
  int error = 0;
  int systemError = 0;  // errno of the lookup's own thread, for EAI_SYSTEM
  addrinfo* result = nullptr;
  int done[2] = {-1, -1};
  ~NameLookup() {
    if (result) freeaddrinfo(result);
    for (const int fd : done) {
      if (fd >= 0) close(fd);
    }
  }
};

namespace {

using Clock = PortClock;

constexpr size_t RECEIVE_CHUNK = 512;
// Data is escaped in pieces this long: each fits a small buffer on the stack twice over.
constexpr size_t ESCAPE_CHUNK = 128;
// A busy server is asked again after this, then after twice as long, up to the longest.
constexpr Clock::duration FIRST_BUSY_PAUSE = std::chrono::milliseconds(10);
constexpr Clock::duration LONGEST_BUSY_PAUSE = std::chrono::milliseconds(200);
// Words by which a serial server says another client has the device.
constexpr const char* BUSY_WORDS[] = {"in use", "busy"};

std::shared_ptr<NameLookup> StartLookup(const std::string& host, uint16_t port) {
  auto lookup = std::make_shared<NameLookup>();
  if (pipe2(lookup->done, O_CLOEXEC | O_NONBLOCK) != 0) lookup->done[0] = lookup->done[1] = -1;
  std::thread([lookup, host, service = std::to_string(port)] {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* result = nullptr;
    const int error = getaddrinfo(host.c_str(), service.c_str(), &hints, &result);
    const int systemError = errno;
    std::lock_guard lock(lookup->mutex);
    lookup->error = error;
    lookup->systemError = systemError;
    lookup->result = result;
    lookup->finished = true;
    const uint8_t byte = 1;
    if (lookup->done[1] >= 0 && write(lookup->done[1], &byte, 1) < 0) {
      // The pipe is new and takes one byte; a waiter also wakes at its deadline.
    }
  }).detach();
  return lookup;
}

bool SaysBusy(const std::string& text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  return std::any_of(std::begin(BUSY_WORDS), std::end(BUSY_WORDS),
                     [&](const char* words) { return lower.find(words) != std::string::npos; });
}

// A server that closes with our bytes unread resets the connection instead of
// ending it: that too is the server closing it, with its words read before.
int CloseReason(ssize_t n, int error) { return n == 0 || error == ECONNRESET || error == EPIPE ? 0 : error; }

std::string Milliseconds(std::chrono::milliseconds bound) { return std::to_string(bound.count()) + " мс"; }

constexpr const char* FILES_WHERE = " (в адресе или в ~/.config/velkor/tls.ini)";

NetworkFailure FailureOf(TlsRefusal refusal) {
  switch (refusal) {
    case TlsRefusal::NotTrusted: return NetworkFailure::TlsNotTrusted;
    case TlsRefusal::CertificateRequired: return NetworkFailure::TlsCertificateRequired;
    case TlsRefusal::CertificateRefused: return NetworkFailure::TlsCertificateRefused;
    case TlsRefusal::NotTls: return NetworkFailure::TlsNotSpoken;
    case TlsRefusal::None:
    case TlsRefusal::Other: break;
  }
  return NetworkFailure::TlsFailed;
}

// The panel's words for a TLS failure: what happened and what to do.
std::string TlsText(NetworkFailure failure, const std::string& detail, const std::string& ca) {
  switch (failure) {
    case NetworkFailure::TlsNotTrusted:
      return "Сертификат сервера не заверен (" + detail + "), проверен по " +
             (ca.empty() ? std::string("системному хранилищу CA") : "«" + ca + "»") +
             ". Укажите CA, подписавший сертификат сервера: ca=ФАЙЛ" + FILES_WHERE + ".";
    case NetworkFailure::TlsCertificateRequired:
      return std::string("Сервер требует сертификат клиента, а он не указан: добавьте cert=ФАЙЛ и key=ФАЙЛ") +
             FILES_WHERE + ".";
    case NetworkFailure::TlsCertificateRefused:
      return "Сервер отклонил сертификат клиента: попросите администратора сервера доверить его "
             "(в ser2net — authdir/ИМЯ/allowed_certs).";
    case NetworkFailure::TlsNotSpoken:
      return "Сервер отвечает не по TLS (" + detail + "): если на нём порт без ssl, выберите rfc2217:// или tcp://.";
    default: break;
  }
  return "Ошибка TLS: " + detail + ".";
}

}  // namespace

NetworkPort::NetworkPort() { lastErrorText_.reserve(128); }

NetworkPort::~NetworkPort() { Close(); }

bool NetworkPort::Open(const std::string& portName) {
  OpenProgress progress = StartOpen(portName);
  while (progress == OpenProgress::Waiting) {
    const OpenWait wait = OpenWaitOf();
    if (wait.fd >= 0) {
      PollUntil(wait.fd, wait.events, wait.until);
    } else {
      SleepUntil(wait.until);
    }
    progress = ContinueOpen();
  }
  return progress == OpenProgress::Opened;
}

OpenProgress NetworkPort::StartOpen(const std::string& portName) {
  Close();
  const std::optional<NetworkAddress> address = ParseNetworkAddress(portName);
  if (!address) {
    return FailOpen(NetworkFailure::BadAddress, PortError::NotFound, {},
                    "Адрес не понят: нужен rfc2217://, tcp://, rfc2217s:// или tcps://ХОСТ:ПОРТ.");
  }
  scheme_ = address->scheme;
  if (address->tls) {
    const std::optional<TlsFiles> files = TlsFilesFor(*address, fileFault_);
    if (!files) {
      return FailOpen(NetworkFailure::TlsFileRefused, PortError::Other, fileFault_.path,
                      TlsFileFaultInRussian(fileFault_));
    }
    session_ = std::make_unique<TlsSession>();
    if (!session_->Load(*files)) {
      fileFault_ = session_->FileFault();
      return FailOpen(NetworkFailure::TlsFileRefused, PortError::Other, fileFault_.path,
                      TlsFileFaultInRussian(fileFault_));
    }
  }
  host_ = address->host;
  service_ = address->port;
  started_ = Clock::now();
  stepEnd_ = started_ + stepBound_;
  busyPause_ = FIRST_BUSY_PAUSE;
  lookup_ = StartLookup(host_, service_);
  phase_ = Phase::Lookup;
  return Advance();
}

OpenProgress NetworkPort::ContinueOpen() { return Advance(); }

bool NetworkPort::Secure() const { return session_ && session_->Attached(); }

OpenWait NetworkPort::OpenWaitOf() const {
  switch (phase_) {
    case Phase::Lookup: return {lookup_->done[0], POLLIN, stepEnd_};
    case Phase::Connecting: return {fd_, POLLOUT, stepEnd_};
    case Phase::Handshaking: return {fd_, session_->WantEvents(), stepEnd_};
    case Phase::Settling:
    case Phase::Negotiating:
    case Phase::Configuring: return {fd_, POLLIN, stepEnd_};
    case Phase::BusyPause: return {-1, 0, stepEnd_};
    case Phase::Closed:
    case Phase::Open: break;
  }
  return {-1, 0, Clock::now()};
}

OpenProgress NetworkPort::Advance() {
  switch (phase_) {
    case Phase::Lookup: return TakeLookup();
    case Phase::Connecting: return TakeConnection();
    case Phase::Handshaking: return Handshake();
    case Phase::Settling: return Settle();
    case Phase::Negotiating: return Negotiate();
    case Phase::Configuring: return Configure();
    case Phase::BusyPause:
      if (Clock::now() < stepEnd_) return OpenProgress::Waiting;
      nextAddress_ = lookup_->result;
      return ConnectNext();
    case Phase::Open: return OpenProgress::Opened;
    case Phase::Closed: break;
  }
  return OpenProgress::Failed;
}

OpenProgress NetworkPort::TakeLookup() {
  std::unique_lock lock(lookup_->mutex);
  if (!lookup_->finished) {
    if (Clock::now() < stepEnd_) return OpenProgress::Waiting;
    lock.unlock();
    return FailOpen(NetworkFailure::LookupTimedOut, PortError::NotFound, {},
                    host_ + ": имя не найдено за " + Milliseconds(stepBound_) + ".");
  }
  if (lookup_->error != 0) {
    const int error = lookup_->error;
    const std::string words = error == EAI_SYSTEM ? std::strerror(lookup_->systemError) : gai_strerror(error);
    lock.unlock();
    return FailOpen(NetworkFailure::LookupFailed, PortError::NotFound, words, host_ + ": " + words);
  }
  nextAddress_ = lookup_->result;
  connectError_ = ETIMEDOUT;
  lock.unlock();
  return ConnectNext();
}

// Each address has a step of its own: a dead first one (a broken IPv6 route)
// leaves the next its whole bound.
OpenProgress NetworkPort::ConnectNext() {
  while (nextAddress_) {
    const addrinfo& entry = *static_cast<const addrinfo*>(nextAddress_);
    nextAddress_ = entry.ai_next;
    const int fd = socket(entry.ai_family, entry.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, entry.ai_protocol);
    if (fd < 0) {
      connectError_ = errno;
      continue;
    }
    fd_ = fd;
    stepEnd_ = Clock::now() + stepBound_;
    if (connect(fd, entry.ai_addr, entry.ai_addrlen) == 0) return TakeConnection();
    if (errno == EINPROGRESS) {
      phase_ = Phase::Connecting;
      return OpenProgress::Waiting;
    }
    connectError_ = errno;
    CloseSocket();
  }
  const int error = connectError_;
  return FailOpen(error == ETIMEDOUT ? NetworkFailure::ConnectTimedOut : NetworkFailure::ConnectFailed,
                  PortErrorFromErrno(error), std::strerror(error), std::strerror(error));
}

OpenProgress NetworkPort::TakeConnection() {
  pollfd watched{fd_, POLLOUT, 0};
  if (poll(&watched, 1, 0) == 0) {
    if (Clock::now() < stepEnd_) return OpenProgress::Waiting;
    connectError_ = ETIMEDOUT;
    CloseSocket();
    return ConnectNext();
  }
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
  if (error != 0) {
    connectError_ = error;
    CloseSocket();
    return ConnectNext();
  }
  // Frames are a few bytes each and the driver answers one at a time: they
  // must leave at once, not wait to be gathered into a bigger segment.
  const int on = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (session_) {
    if (!session_->Attach(fd_, host_)) {
      FailTls();
      Close();
      return OpenProgress::Failed;
    }
    phase_ = Phase::Handshaking;
    stepEnd_ = Clock::now() + stepBound_;
    return Handshake();
  }
  return Connected();
}

OpenProgress NetworkPort::Handshake() {
  switch (session_->Handshake()) {
    case TlsStep::Done: break;
    case TlsStep::WantRead:
    case TlsStep::WantWrite:
      if (Clock::now() < stepEnd_) return OpenProgress::Waiting;
      return FailOpen(NetworkFailure::TlsHandshakeTimedOut, PortError::Other, {},
                      "Сервер не ответил на установление TLS за " + Milliseconds(stepBound_) +
                          ": возможно, на нём порт без ssl (тогда выберите rfc2217:// или tcp://) "
                          "или сеть слишком медленная.");
    case TlsStep::Failed:
      FailTls();
      Close();
      return OpenProgress::Failed;
  }
  if (!session_->CertificateAsked() || Telnet()) return Connected();
  // A raw port has nothing of its own to wait for: the server's verdict on
  // the certificate is awaited here. (Over Telnet the negotiation waits.)
  phase_ = Phase::Settling;
  settleBytes_ = session_->BytesReceived();
  settleLimit_ = Clock::now() + stepBound_;
  stepEnd_ = Clock::now() + TLS_SETTLE_QUIET;
  return Settle();
}

// Quiet for TLS_SETTLE_QUIET since the last bytes (session tickets), or a close.
// Data of the device's is the verdict too: a server that turned the client
// away never serves it, and a driver that reports all the time never leaves
// the line quiet. (Printable text may be the server's words before a close.)
OpenProgress NetworkPort::Settle() {
  if (!Receive()) return ClosedDuringOpen();
  if (pendingStart_ < pendingEnd_ && ServerText().empty()) return Opened();
  const auto now = Clock::now();
  if (session_->BytesReceived() != settleBytes_) {
    settleBytes_ = session_->BytesReceived();
    stepEnd_ = std::min(now + TLS_SETTLE_QUIET, settleLimit_);
  }
  return now < stepEnd_ ? OpenProgress::Waiting : Opened();
}

bool NetworkPort::FailTls() {
  const NetworkFailure failure = FailureOf(session_->Refusal());
  caFile_ = session_->CaFile();
  return Fail(failure, PortError::Other, session_->Reason(), TlsText(failure, session_->Reason(), caFile_));
}

OpenProgress NetworkPort::Connected() {
  if (!Telnet()) return Opened();
  // A fresh socket's buffer takes the few opening bytes at once.
  if (!BeginStep(TELNET_OPENING, sizeof TELNET_OPENING, Clock::now(), Phase::Negotiating)) return ClosedDuringOpen();
  return Negotiate();
}

OpenProgress NetworkPort::Negotiate() {
  if (!Receive()) return ClosedDuringOpen();
  if (agreement_.comPortRefused) {
    return FailOpen(NetworkFailure::ComPortRefused, PortError::Other, {},
                    "Сервер не даёт управлять портом (RFC 2217): откройте его как tcp://.");
  }
  if (agreement_.binaryRefused) {
    return FailOpen(NetworkFailure::BinaryRefused, PortError::Other, {},
                    "Сервер отказался передавать байты без изменений (двоичный режим Telnet).");
  }
  if (agreement_.comPort && agreement_.binaryToServer && agreement_.binaryFromServer) return SendSetup();
  if (Clock::now() < stepEnd_) return OpenProgress::Waiting;
  return FailOpen(NetworkFailure::NegotiationSilent, PortError::Other, {},
                  "Сервер не ответил на согласование RFC 2217 за " + Milliseconds(stepBound_) + ".");
}

// The whole setup goes at once, so that a slow link costs one round trip.
OpenProgress NetworkPort::SendSetup() {
  size_t count = 0;
  asked_[count++] = &PURGE_REQUEST;
  for (const ComPortRequest& request : LINE_REQUESTS) asked_[count++] = &request;
  asked_[count++] = &DTR_ON_REQUEST;
  asked_[count++] = &RTS_OFF_REQUEST;
  asked_[count++] = &SPEED_QUERY;
  answered_.fill(false);
  uint8_t bytes[SETUP_REQUEST_COUNT * COM_REQUEST_CAPACITY];
  size_t size = 0;
  for (const ComPortRequest* request : asked_) size += EncodeComPortRequest(*request, bytes + size);
  setupSent_ = true;
  if (!BeginStep(bytes, size, Clock::now() + stepBound_, Phase::Configuring)) return ClosedDuringOpen();
  return Configure();
}

// Sends what a step of the open begins with and starts the step's time.
// False when the server closed meanwhile; its last words are read first.
bool NetworkPort::BeginStep(const uint8_t* bytes, size_t count, PortClock::time_point deadline, Phase next) {
  if (!SendAll(bytes, count, deadline)) {
    Receive();
    return false;
  }
  phase_ = next;
  stepEnd_ = Clock::now() + stepBound_;
  return true;
}

OpenProgress NetworkPort::Configure() {
  if (!Receive()) return ClosedDuringOpen();
  if (SetupAnswered() || Clock::now() >= stepEnd_) return Opened();
  return OpenProgress::Waiting;
}

// Every line setting answered, and either the closing query (after which no
// answer is still on its way) or DTR and RTS as well.
bool NetworkPort::SetupAnswered() const {
  const auto answered = [&](const ComPortRequest& request) {
    for (size_t i = 0; i < asked_.size(); ++i) {
      if (asked_[i] == &request) return answered_[i];
    }
    return false;
  };
  return std::all_of(std::begin(LINE_REQUESTS), std::end(LINE_REQUESTS), answered) &&
         (answered(SPEED_QUERY) || (answered(DTR_ON_REQUEST) && answered(RTS_OFF_REQUEST)));
}

OpenProgress NetworkPort::Opened() {
  phase_ = Phase::Open;
  if (setupSent_) {
    for (size_t i = 0; i < asked_.size() && !refused_; ++i) {
      const ComPortRequest* request = asked_[i];
      if (request == &SPEED_QUERY || request == &PURGE_REQUEST) continue;
      const bool line = request != &DTR_ON_REQUEST && request != &RTS_OFF_REQUEST;
      if (answered_[i] ? answers_[i] != request->value : line) {
        refused_ = request;
        refusedAnswered_ = answered_[i];
        refusedValue_ = answers_[i];
      }
    }
  }
  failure_ = NetworkFailure::None;
  failureDetail_.clear();
  failedRequest_ = nullptr;
  lastError_ = PortError::None;
  lastErrorText_.clear();
  return OpenProgress::Opened;
}

OpenProgress NetworkPort::ClosedDuringOpen() {
  if (Secure() && closeError_ == EPROTO) {
    FailTls();
    Close();
    return OpenProgress::Failed;
  }
  // Closed without a word right after a handshake with a certificate request:
  // the server's verdict on the client certificate.
  if (Secure() && closeError_ == 0 && session_->CertificateAsked() && ServerText().empty() &&
      (phase_ == Phase::Settling || phase_ == Phase::Negotiating)) {
    const NetworkFailure failure = session_->CertificateGiven() ? NetworkFailure::TlsCertificateRefused
                                                                : NetworkFailure::TlsCertificateRequired;
    return FailOpen(failure, PortError::Other, {}, TlsText(failure, {}, {}));
  }
  if (closeError_ != 0) {
    const int error = closeError_;
    return FailOpen(NetworkFailure::ConnectionLost, PortErrorFromErrno(error), std::strerror(error),
                    std::strerror(error));
  }
  const std::string text = ServerText();
  const bool busy = SaysBusy(text);
  const auto now = Clock::now();
  if (busy && now + busyPause_ < started_ + stepBound_) {
    // The server lets go of its device a moment after a session on another
    // of its ports ends: asked again a little later, it serves.
    CloseSocket();
    phase_ = Phase::BusyPause;
    stepEnd_ = now + busyPause_;
    busyPause_ = std::min(2 * busyPause_, LONGEST_BUSY_PAUSE);
    return OpenProgress::Waiting;
  }
  return FailOpen(busy ? NetworkFailure::ServerBusy : NetworkFailure::ServerClosed,
                  busy ? PortError::Busy : PortError::NotFound, text,
                  text.empty() ? "Сервер закрыл соединение." : "Сервер закрыл соединение: " + text);
}

OpenProgress NetworkPort::FailOpen(NetworkFailure failure, PortError error, std::string detail, std::string text) {
  Close();
  Fail(failure, error, std::move(detail), std::move(text));
  return OpenProgress::Failed;
}

void NetworkPort::CloseSocket() {
  if (session_) session_->Detach();
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  decoder_ = TelnetDecoder{};
  agreement_ = TelnetAgreement{};
  setupSent_ = false;
  refused_ = nullptr;
  lateRefusal_ = false;
  suspended_ = false;
  heldCount_ = 0;
  textSize_ = 0;
  closeError_ = 0;
  pendingStart_ = pendingEnd_ = 0;
}

void NetworkPort::Close() {
  CloseSocket();
  phase_ = Phase::Closed;
  lookup_.reset();
  session_.reset();
  nextAddress_ = nullptr;
}

void NetworkPort::Purge() {
  pendingStart_ = pendingEnd_ = 0;
  if (!IsOpen()) return;
  if (!Receive()) HangUp(closeError_);
  pendingStart_ = pendingEnd_ = 0;
}

bool NetworkPort::RefusedAmong(const ComPortRequest* first, size_t count) {
  if (!refused_ || refused_ < first || refused_ >= first + count) return false;
  const std::string what = std::string("«") + refused_->what + "»";
  Fail(refusedAnswered_ ? NetworkFailure::RequestRefused : NetworkFailure::RequestUnanswered, PortError::Other,
              refusedAnswered_ ? std::to_string(refusedValue_) : std::string(),
              refusedAnswered_ ? "Сервер не выполнил запрос " + what + ": он ответил значением " +
                                     std::to_string(refusedValue_) + "."
                               : "Сервер не ответил на запрос " + what + " за " + Milliseconds(stepBound_) + ".");
  return true;
}

bool NetworkPort::SetLineSettings() { return !RefusedAmong(LINE_REQUESTS, std::size(LINE_REQUESTS)); }

bool NetworkPort::SetTimeouts(const PortTimeouts& timeouts) {
  timeouts_ = timeouts;
  return true;
}

bool NetworkPort::RaiseDtr() { return !RefusedAmong(&DTR_ON_REQUEST, 1); }

bool NetworkPort::LowerRts() { return !RefusedAmong(&RTS_OFF_REQUEST, 1); }

// Some servers never answer for a device without modem lines: the setup
// goes on, and the operator is told which requests went unanswered.
std::string NetworkPort::SetupNotes() const {
  std::string unanswered;
  for (size_t i = 0; setupSent_ && i < asked_.size(); ++i) {
    if (answered_[i] || asked_[i] == &SPEED_QUERY) continue;
    unanswered += (unanswered.empty() ? "" : ", ") + std::string(asked_[i]->what);
  }
  if (unanswered.empty()) return {};
  return "Сервер не ответил на запросы: " + unanswered + ". Порт работает, но их исполнение не подтверждено.";
}

std::string NetworkPort::UnansweredInEnglish() const {
  std::string unanswered;
  for (size_t i = 0; setupSent_ && i < asked_.size(); ++i) {
    if (answered_[i] || asked_[i] == &SPEED_QUERY) continue;
    unanswered += (unanswered.empty() ? "" : ", ") + std::string(asked_[i]->english);
  }
  return unanswered;
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
  if (command.verb != TELNET_SB || command.option != OPTION_COM_PORT || command.payloadSize == 0) return;
  const uint8_t code = command.payload[0];
  if (command.payloadSize == 1 && code == COM_ANSWER_OFFSET + COM_FLOWCONTROL_SUSPEND) {
    suspended_ = true;
  } else if (command.payloadSize == 1 && code == COM_ANSWER_OFFSET + COM_FLOWCONTROL_RESUME) {
    suspended_ = false;
    const size_t held = std::exchange(heldCount_, 0);
    SendAll(held_.data(), held,
            Clock::now() + TotalBudget(timeouts_.writeTotalConstantMs, timeouts_.writeTotalMultiplierMs, held));
  } else if (const std::optional<ComPortAnswer> answer = ParseComPortAnswer(command.payload, command.payloadSize)) {
    OnAnswer(*answer);
  }
  // Anything else is a notification of line or modem state: nothing the link needs.
}

// Answers come in the order asked; each goes to the first request of its kind
// still unanswered. One that comes after the open is checked all the same.
void NetworkPort::OnAnswer(const ComPortAnswer& answer) {
  for (size_t i = 0; setupSent_ && i < asked_.size(); ++i) {
    if (answered_[i] || !Answers(answer, *asked_[i])) continue;
    answered_[i] = true;
    answers_[i] = answer.value;
    const bool checked = asked_[i] != &SPEED_QUERY && asked_[i] != &PURGE_REQUEST;
    if (phase_ == Phase::Open && checked && answer.value != asked_[i]->value) {
      refused_ = asked_[i];
      refusedAnswered_ = true;
      refusedValue_ = answer.value;
      lateRefusal_ = true;
    }
    return;
  }
}

void NetworkPort::NoteText(const uint8_t* bytes, size_t count) {
  if (count >= text_.size()) {
    std::copy(bytes + count - text_.size(), bytes + count, text_.begin());
    textSize_ = text_.size();
    return;
  }
  const size_t keep = std::min(textSize_, text_.size() - count);
  std::copy(text_.begin() + (textSize_ - keep), text_.begin() + textSize_, text_.begin());
  std::copy(bytes, bytes + count, text_.begin() + keep);
  textSize_ = keep + count;
}

// The last line of the data received, if it is printable text: what a serial
// server says as it turns a client away. Empty for the driver's binary reports.
std::string NetworkPort::ServerText() const {
  std::string_view text(text_.data(), textSize_);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.remove_suffix(1);
  if (const size_t newline = text.find_last_of("\r\n"); newline != std::string_view::npos) {
    text.remove_prefix(newline + 1);
  }
  const bool printable = std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
  return printable && text.size() >= 3 ? std::string(text) : std::string();
}

void NetworkPort::KeepData(const uint8_t* bytes, size_t count) {
  NoteText(bytes, count);
  if (pendingEnd_ + count > pending_.size()) {
    std::copy(pending_.begin() + pendingStart_, pending_.begin() + pendingEnd_, pending_.begin());
    pendingEnd_ -= pendingStart_;
    pendingStart_ = 0;
  }
  // Beyond a device's input queue the oldest bytes would be lost there too;
  // here the newest are, and only while the setup waits.
  const size_t kept = std::min(count, pending_.size() - pendingEnd_);
  std::copy(bytes, bytes + kept, pending_.begin() + pendingEnd_);
  pendingEnd_ += kept;
}

bool NetworkPort::Receive() {
  for (;;) {
    uint8_t chunk[RECEIVE_CHUNK];
    const ssize_t n = ReceiveSome(chunk, sizeof chunk);
    if (n > 0) {
      const size_t count =
          Telnet() ? DecodeTelnet(decoder_, chunk, static_cast<size_t>(n), chunk, *this) : static_cast<size_t>(n);
      KeepData(chunk, count);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    closeError_ = CloseReason(n, errno);
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
  // A TLS record may hold more than asked for, and what TLS holds leaves the
  // descriptor quiet: all of it is taken now, the rest kept for the next read.
  if (Secure() && IsOpen() && pendingStart_ == pendingEnd_) {
    const bool open = Receive();
    if (lateRefusal_) {
      RefusedAmong(refused_, 1);
      CloseSocket();
      phase_ = Phase::Closed;
      return 0;
    }
    const size_t count = TakePending(buffer, capacity);
    if (!open) HangUp(closeError_);
    return count;
  }
  if (pendingStart_ < pendingEnd_) return TakePending(buffer, capacity);
  while (IsOpen()) {
    const ssize_t n = ReceiveSome(buffer, capacity);
    if (n > 0) {
      // Commands are taken out here, so the frame decoder only ever sees data.
      const size_t count =
          Telnet() ? DecodeTelnet(decoder_, buffer, static_cast<size_t>(n), buffer, *this) : static_cast<size_t>(n);
      NoteText(buffer, count);
      if (lateRefusal_) {
        RefusedAmong(refused_, 1);
        CloseSocket();
        phase_ = Phase::Closed;
        return 0;
      }
      return count;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    HangUp(CloseReason(n, errno));
  }
  return 0;
}

size_t NetworkPort::Read(uint8_t* buffer, size_t capacity) {
  PortRead read = BeginPortRead(timeouts_, capacity, Clock::now());
  while (read.got < capacity && (IsOpen() || pendingStart_ < pendingEnd_)) {
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
  if (read.got == 0 && !IsOpen()) SleepUntil(read.totalEnd);
  return read.got;
}

void NetworkPort::Write(const uint8_t* bytes, size_t count) {
  if (!IsOpen()) return;
  if (!Telnet()) {
    SendData(bytes, count);
    return;
  }
  // The wake byte is 0xFF, Telnet's command byte: every one goes out doubled.
  for (size_t done = 0; done < count;) {
    const size_t piece = std::min(ESCAPE_CHUNK, count - done);
    uint8_t escaped[2 * ESCAPE_CHUNK];
    if (!SendData(escaped, EscapeTelnet(bytes + done, piece, escaped))) return;
    done += piece;
  }
}

// While the server has suspended data, the bytes wait here for its resume;
// beyond the capacity they are lost, as a device's full output queue loses them.
bool NetworkPort::SendData(const uint8_t* bytes, size_t count) {
  if (suspended_) {
    const size_t kept = std::min(count, held_.size() - heldCount_);
    std::copy(bytes, bytes + kept, held_.begin() + heldCount_);
    heldCount_ += kept;
    return true;
  }
  return SendAll(bytes, count,
                 Clock::now() + TotalBudget(timeouts_.writeTotalConstantMs, timeouts_.writeTotalMultiplierMs, count));
}

bool NetworkPort::SendAll(const uint8_t* bytes, size_t count, Clock::time_point deadline) {
  size_t sent = 0;
  while (sent < count) {
    const ssize_t n = SendSome(bytes + sent, count - sent);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    int error = errno;
    if (n < 0 && (error == EAGAIN || error == EWOULDBLOCK)) {
      const int events = PollUntil(fd_, Secure() ? session_->WantEvents() : POLLOUT, deadline);
      if (events > 0) continue;
      error = events == 0 ? ETIMEDOUT : errno;
    }
    if (Secure() && error == EPROTO) return FailTls();
    return Fail(NetworkFailure::ConnectionLost, PortErrorFromErrno(error), std::strerror(error),
                std::strerror(error));
  }
  return true;
}

ssize_t NetworkPort::ReceiveSome(void* buffer, size_t capacity) {
  if (Secure()) return session_->Receive(buffer, capacity);
  return recv(fd_, buffer, capacity, MSG_DONTWAIT);
}

ssize_t NetworkPort::SendSome(const void* bytes, size_t count) {
  if (Secure()) return session_->Send(bytes, count);
  // MSG_NOSIGNAL: a connection the server dropped must fail the write, not end the program.
  return send(fd_, bytes, count, MSG_NOSIGNAL | MSG_DONTWAIT);
}

// The server closing the connection is what pulling out an adapter is to a
// device: the port closes at once and the link sees silence.
void NetworkPort::HangUp(int error) {
  if (error == 0) {
    const std::string text = ServerText();
    Fail(SaysBusy(text) ? NetworkFailure::ServerBusy : NetworkFailure::ServerClosed,
         SaysBusy(text) ? PortError::Busy : PortError::NotFound, text,
         text.empty() ? "Сервер закрыл соединение." : "Сервер закрыл соединение: " + text);
  } else if (Secure() && error == EPROTO) {
    FailTls();
  } else {
    Fail(NetworkFailure::ConnectionLost, PortError::NotFound, std::strerror(error), std::strerror(error));
  }
  CloseSocket();
  phase_ = Phase::Closed;
}

bool NetworkPort::Fail(NetworkFailure failure, PortError error, std::string detail, std::string text) {
  failure_ = failure;
  failureDetail_ = std::move(detail);
  failedRequest_ = failure == NetworkFailure::RequestRefused || failure == NetworkFailure::RequestUnanswered
                       ? refused_
                       : nullptr;
  lastError_ = error;
  lastErrorText_ = std::move(text);
  return false;
}

}  // namespace velkor
