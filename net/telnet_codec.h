// telnet_codec.h: the Telnet layer of a network port: data bytes with 0xFF
// doubled, and the commands (option negotiation, subnegotiation) woven
// between them. The decoder keeps its state across reads, so a command split
// over two reads is still one command. No dependencies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace velkor {

inline constexpr uint8_t TELNET_IAC = 255;
inline constexpr uint8_t TELNET_DONT = 254;
inline constexpr uint8_t TELNET_DO = 253;
inline constexpr uint8_t TELNET_WONT = 252;
inline constexpr uint8_t TELNET_WILL = 251;
inline constexpr uint8_t TELNET_SB = 250;
inline constexpr uint8_t TELNET_SE = 240;

inline constexpr uint8_t OPTION_BINARY = 0;
inline constexpr uint8_t OPTION_COM_PORT = 44;

// The longest subnegotiation kept; the COM port option's answers take six
// bytes at most. A longer one is skipped whole.
inline constexpr size_t SUBNEGOTIATION_CAPACITY = 32;

// One command found between data bytes.
struct TelnetCommand {
  uint8_t verb;    // WILL, WONT, DO, DONT, SB, or a command of its own (NOP, GA, ...)
  uint8_t option;  // for WILL..DONT and SB; 0 otherwise
  const uint8_t* payload = nullptr;  // SB: the bytes after the option, IAC IAC undone
  size_t payloadSize = 0;
};

class TelnetListener {
 public:
  virtual ~TelnetListener() = default;
  virtual void OnCommand(const TelnetCommand& command) = 0;
};

struct TelnetDecoder {
  enum class Phase : uint8_t { Data, Command, Option, Sub, SubCommand };
  Phase phase = Phase::Data;
  uint8_t verb = 0;
  uint8_t sub[SUBNEGOTIATION_CAPACITY] = {};
  size_t subSize = 0;
  bool subOverflow = false;
};

// Takes `count` received bytes, writes the data among them to `data` (which
// may be `received` itself: data never gets ahead of the input) and hands
// each complete command to the listener. Returns the number of data bytes.
size_t DecodeTelnet(TelnetDecoder& decoder, const uint8_t* received, size_t count, uint8_t* data,
                    TelnetListener& listener);

// Writes `count` data bytes to `out` (room for twice as many) with every
// 0xFF doubled; returns how many bytes that made.
size_t EscapeTelnet(const uint8_t* data, size_t count, uint8_t* out);

// Which options both ends have agreed on so far. This end offers the COM port
// option and binary transmission both ways, and nothing else.
struct TelnetAgreement {
  bool comPort = false;           // the server said DO COM-PORT-OPTION
  bool comPortRefused = false;    // it said DONT
  bool binaryToServer = false;    // it said DO BINARY
  bool binaryFromServer = false;  // it said WILL BINARY
  bool binaryRefused = false;     // it said DONT or WONT BINARY
};

// The three commands this end opens with: WILL COM-PORT-OPTION, DO BINARY, WILL BINARY.
inline constexpr uint8_t TELNET_OPENING[] = {TELNET_IAC, TELNET_WILL, OPTION_COM_PORT, TELNET_IAC, TELNET_DO,
                                             OPTION_BINARY, TELNET_IAC, TELNET_WILL, OPTION_BINARY};

// A negotiation the server sent, noted in the agreement; the reply it needs,
// if any: an option this end does not know is refused (WONT to DO, DONT to
// WILL); what it asked for itself is not answered again.
std::optional<TelnetCommand> AnswerNegotiation(TelnetAgreement& agreement, uint8_t verb, uint8_t option);

}  // namespace velkor
