// network_port.h: a serial port on another machine, reached over TCP: raw
// (tcp://) or through the Telnet COM port option (rfc2217://), such as
// ser2net serves, and either over TLS (tcps://, rfc2217s://), as ser2net's
// ssl layer serves them. It reads and writes like the serial device, by the same
// read rules, so the link cannot tell them apart. Opening is a series of
// steps that never wait themselves (StartOpen, then ContinueOpen whenever
// OpenWaitOf says), so a window's event loop can drive it; Open drives it
// with poll for callers that may wait. Depends on the link's port interface,
// the Telnet codec, the COM port option and the TLS session.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "com_port_option.h"
#include "line_port.h"
#include "network_address.h"
#include "network_failure.h"
#include "telnet_codec.h"
#include "tls_files.h"

namespace velkor {

// How long one step of opening and setting up may take (the name lookup, the
// connection to each address, the negotiation, the answers to the line
// settings) until the owner says otherwise, and how long a busy server is
// tried again. The panel never waits for the steps.
inline constexpr std::chrono::milliseconds NETWORK_DEFAULT_STEP_BOUND{3000};

// The received data kept while the setup waits for the server's answers, and
// the data held back while the server has suspended it; the size of a
// device's input queue.
inline constexpr size_t NETWORK_PENDING_CAPACITY = 4096;

// The last data bytes kept for the words a server may send as it closes.
inline constexpr size_t SERVER_TEXT_CAPACITY = 96;

// Every request of the setup, sent at once: the purge, the line, DTR, RTS,
// and the speed query that closes the series.
inline constexpr size_t SETUP_REQUEST_COUNT = std::size(LINE_REQUESTS) + 4;

enum class OpenProgress { Waiting, Opened, Failed };

// What an open under way waits for: `events` on `fd` (none when -1), and
// ContinueOpen is due at `until` in any case.
struct OpenWait {
  int fd = -1;
  short events = 0;
  PortClock::time_point until;
};

// After a handshake in which the server asked for a client certificate, how
// long it must stay quiet before its acceptance is taken: ser2net checks the
// certificate after the handshake and turns a client down by closing.
inline constexpr std::chrono::milliseconds TLS_SETTLE_QUIET{250};

struct NameLookup;
class TlsSession;

class NetworkPort : public LinePort, private TelnetListener {
 public:
  NetworkPort();
  ~NetworkPort() override;
  NetworkPort(const NetworkPort&) = delete;
  NetworkPort& operator=(const NetworkPort&) = delete;

  // The bound of each step and of the retries of a busy server.
  void SetStepBound(std::chrono::milliseconds bound) { stepBound_ = bound; }
  std::chrono::milliseconds StepBound() const { return stepBound_; }

  // Connects to rfc2217://HOST:PORT or tcp://HOST:PORT (over TLS for
  // rfc2217s:// and tcps://, the files from the address or the settings
  // file, the handshake within one step bound); for the former, also
  // agrees on the COM port option and binary transmission both ways, and sends
  // the whole line setup, taking the answers. Waits, within the step bounds.
  bool Open(const std::string& portName) override;
  // The same without waiting: Waiting until ContinueOpen says otherwise.
  OpenProgress StartOpen(const std::string& portName);
  OpenProgress ContinueOpen();
  OpenWait OpenWaitOf() const;

  void Close() override;
  bool IsOpen() const override { return fd_ >= 0 && phase_ == Phase::Open; }

  // What has arrived is thrown away (the server purged its own buffers in the setup).
  void Purge() override;
  // rfc2217: how the server answered the setup's requests, taken at the open.
  // A refused or unanswered line setting fails; DTR and RTS fail only if
  // refused. tcp: nothing to do; the server's own settings apply.
  bool SetLineSettings() override;
  bool SetTimeouts(const PortTimeouts& timeouts) override;
  bool RaiseDtr() override;
  bool LowerRts() override;

  size_t Read(uint8_t* buffer, size_t capacity) override;
  // While the server has suspended data, the bytes are held and go on resume.
  void Write(const uint8_t* bytes, size_t count) override;
  size_t ReadAvailable(uint8_t* buffer, size_t capacity) override;
  int Descriptor() const override { return IsOpen() ? fd_ : -1; }
  const PortTimeouts& Timeouts() const override { return timeouts_; }

  PortError LastError() const override { return lastError_; }
  const std::string& LastErrorText() const override { return lastErrorText_; }
  std::string SetupNotes() const override;

  // The last failure as a kind, and its detail: the system's or the
  // resolver's words, the server's own text, or the value it answered.
  NetworkFailure Failure() const { return failure_; }
  const std::string& FailureDetail() const { return failureDetail_; }
  // The server has suspended data (flow control): what is written waits.
  bool Suspended() const { return suspended_; }
  // The request a RequestRefused or RequestUnanswered failure is about.
  const ComPortRequest* FailedRequest() const { return failedRequest_; }
  // The value a RequestRefused failure's server answered.
  uint32_t RefusedValue() const { return refusedValue_; }
  // The requests the server never answered (those it need not answer), in English.
  std::string UnansweredInEnglish() const;
  // A TlsFileRefused failure's file and what is wrong with it.
  const TlsFileFault& FileFault() const { return fileFault_; }
  // The CA file a TlsNotTrusted failure's server was checked against; empty for the system's store.
  const std::string& TlsCaFile() const { return caFile_; }

 private:
  enum class Phase { Closed, Lookup, Connecting, Handshaking, Settling, Negotiating, Configuring, BusyPause, Open };

  bool Telnet() const { return scheme_ == NetworkScheme::Rfc2217; }
  bool Secure() const;
  OpenProgress Advance();
  OpenProgress TakeLookup();
  OpenProgress ConnectNext();
  OpenProgress TakeConnection();
  OpenProgress Handshake();
  OpenProgress Settle();
  // What comes after the connection, or the handshake over TLS.
  OpenProgress Connected();
  // The TLS session's failure as the port's failure.
  bool FailTls();
  OpenProgress Negotiate();
  OpenProgress SendSetup();
  bool BeginStep(const uint8_t* bytes, size_t count, PortClock::time_point deadline, Phase next);
  OpenProgress Configure();
  OpenProgress Opened();
  // The server closed the connection during the open: a busy one is tried
  // again while the time allows.
  OpenProgress ClosedDuringOpen();
  OpenProgress FailOpen(NetworkFailure failure, PortError error, std::string detail, std::string text);
  bool SetupAnswered() const;
  // Takes whatever the socket holds now, commands handled, data kept for the
  // link; false once the connection has gone.
  bool Receive();
  // After Receive or a read found the connection gone: 0 for the server's
  // close, else the system's error.
  bool SendAll(const uint8_t* bytes, size_t count, PortClock::time_point deadline);
  bool SendData(const uint8_t* bytes, size_t count);
  // recv and send, through TLS where the port has it.
  ssize_t ReceiveSome(void* buffer, size_t capacity);
  ssize_t SendSome(const void* bytes, size_t count);
  void OnCommand(const TelnetCommand& command) override;
  void OnAnswer(const ComPortAnswer& answer);
  void KeepData(const uint8_t* bytes, size_t count);
  void NoteText(const uint8_t* bytes, size_t count);
  std::string ServerText() const;
  size_t TakePending(uint8_t* buffer, size_t capacity);
  void HangUp(int error);
  // Whether the refused request is one of these; if so, it is the last failure.
  bool RefusedAmong(const ComPortRequest* first, size_t count);
  bool Fail(NetworkFailure failure, PortError error, std::string detail, std::string text);
  void CloseSocket();

  int fd_ = -1;
  Phase phase_ = Phase::Closed;
  std::chrono::milliseconds stepBound_ = NETWORK_DEFAULT_STEP_BOUND;
  NetworkScheme scheme_ = NetworkScheme::RawTcp;
  std::unique_ptr<TlsSession> session_;  // from the start of a TLS port's open to its close
  unsigned long settleBytes_ = 0;        // what the session had received when the quiet began
  PortClock::time_point settleLimit_;    // the quiet is awaited one step bound at most
  TlsFileFault fileFault_;
  std::string caFile_;
  std::string host_;
  uint16_t service_ = 0;
  std::shared_ptr<NameLookup> lookup_;
  const void* nextAddress_ = nullptr;  // the addrinfo entry to try next
  int connectError_ = 0;               // the last address's failure
  int closeError_ = 0;
  PortClock::time_point started_;      // busy retries end one step bound after this
  PortClock::time_point stepEnd_;
  PortClock::duration busyPause_{};
  PortTimeouts timeouts_ = DRIVER_TIMEOUTS;
  TelnetDecoder decoder_;
  TelnetAgreement agreement_;
  // The setup's requests in the order sent, and which were answered with what.
  std::array<const ComPortRequest*, SETUP_REQUEST_COUNT> asked_{};
  std::array<bool, SETUP_REQUEST_COUNT> answered_{};
  std::array<uint32_t, SETUP_REQUEST_COUNT> answers_{};
  bool setupSent_ = false;
  // The first setup request refused: answered with another value, or (a line
  // setting) not answered at all.
  const ComPortRequest* refused_ = nullptr;
  bool refusedAnswered_ = false;
  uint32_t refusedValue_ = 0;
  bool lateRefusal_ = false;  // a request was refused after the open
  bool suspended_ = false;                   // the server asked for no data until it resumes
  std::array<uint8_t, NETWORK_PENDING_CAPACITY> held_{};
  size_t heldCount_ = 0;
  std::array<uint8_t, NETWORK_PENDING_CAPACITY> pending_{};
  size_t pendingStart_ = 0;
  size_t pendingEnd_ = 0;
  std::array<char, SERVER_TEXT_CAPACITY> text_{};
  size_t textSize_ = 0;
  NetworkFailure failure_ = NetworkFailure::None;
  std::string failureDetail_;
  const ComPortRequest* failedRequest_ = nullptr;
  PortError lastError_ = PortError::None;
  std::string lastErrorText_;
};

}  // namespace velkor
