// network_port.h: a serial port on another machine, reached over TCP: raw
// (tcp://) or through the Telnet COM port option (rfc2217://), such as
// ser2net serves. It reads and writes like the serial device, by the same
// read rules, so the link cannot tell them apart. Depends on the link's port
// interface, the Telnet codec and the COM port option.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "com_port_option.h"
#include "line_port.h"
#include "network_address.h"
#include "telnet_codec.h"

namespace velkor {

// How long any one step of opening and setting up waits: the name lookup,
// the connection, the server's answers. As long as the longest read the port
// allows, so a network port holds the window no longer than a device does.
inline constexpr std::chrono::milliseconds NETWORK_STEP_BOUND{170};

// The received data kept while the setup waits for the server's answers; the
// size of a device's input queue.
inline constexpr size_t NETWORK_PENDING_CAPACITY = 4096;

class NetworkPort : public LinePort, private TelnetListener {
 public:
  NetworkPort();
  ~NetworkPort() override;
  NetworkPort(const NetworkPort&) = delete;
  NetworkPort& operator=(const NetworkPort&) = delete;

  // Connects to rfc2217://HOST:PORT or tcp://HOST:PORT; for the former, also
  // agrees on the COM port option and binary transmission both ways.
  bool Open(const std::string& portName) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }

  // rfc2217: the server is asked to purge its buffers; what has arrived here
  // is thrown away. A request left unanswered is noted, never waited on twice.
  void Purge() override;
  // rfc2217: the line requests, each checked against the server's answer.
  // tcp: nothing to do; the server's own settings apply.
  bool SetLineSettings() override;
  bool SetTimeouts(const PortTimeouts& timeouts) override;
  bool RaiseDtr() override;
  bool LowerRts() override;

  size_t Read(uint8_t* buffer, size_t capacity) override;
  void Write(const uint8_t* bytes, size_t count) override;
  size_t ReadAvailable(uint8_t* buffer, size_t capacity) override;
  int Descriptor() const override { return fd_; }
  const PortTimeouts& Timeouts() const override { return timeouts_; }

  PortError LastError() const override { return lastError_; }
  const std::string& LastErrorText() const override { return lastErrorText_; }
  std::string SetupNotes() const override;

 private:
  bool Telnet() const { return scheme_ == NetworkScheme::Rfc2217; }
  bool Connect(const NetworkAddress& address);
  bool Negotiate();
  // Sends the requests and waits for their answers, up to one step bound in
  // all. False when the server answered one with another value.
  bool Request(std::span<const ComPortRequest> requests);
  // Takes whatever the socket holds now, commands handled, data kept for the
  // link; false once the connection has gone.
  bool Receive();
  bool SendAll(const uint8_t* bytes, size_t count, PortClock::time_point deadline);
  void OnCommand(const TelnetCommand& command) override;
  size_t TakePending(uint8_t* buffer, size_t capacity);
  void HangUp(int error);
  bool Fail(PortError error, std::string text);
  bool FailErrno(int error);

  int fd_ = -1;
  NetworkScheme scheme_ = NetworkScheme::RawTcp;
  PortTimeouts timeouts_ = DRIVER_TIMEOUTS;
  TelnetDecoder decoder_;
  TelnetAgreement agreement_;
  // The requests of the current Request call, and which of them were answered
  // with what.
  std::span<const ComPortRequest> asked_;
  std::array<bool, std::size(LINE_REQUESTS)> answered_{};
  std::array<uint32_t, std::size(LINE_REQUESTS)> answers_{};
  std::string unanswered_;  // the requests the server never answered, for the operator
  std::array<uint8_t, NETWORK_PENDING_CAPACITY> pending_{};
  size_t pendingStart_ = 0;
  size_t pendingEnd_ = 0;
  PortError lastError_ = PortError::None;
  std::string lastErrorText_;
};

}  // namespace velkor
