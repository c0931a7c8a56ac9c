// com_port_option.h: the requests of the Telnet COM port option that set a
// serial server's line up for the driver, and the server's answers to them.
// Depends on telnet_codec.h for the framing bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace velkor {

inline constexpr uint8_t COM_SET_BAUDRATE = 1;
inline constexpr uint8_t COM_SET_DATASIZE = 2;
inline constexpr uint8_t COM_SET_PARITY = 3;
inline constexpr uint8_t COM_SET_STOPSIZE = 4;
inline constexpr uint8_t COM_SET_CONTROL = 5;
inline constexpr uint8_t COM_PURGE_DATA = 12;
// Sent by the server alone (with the answer offset): stop sending data, and go on.
inline constexpr uint8_t COM_FLOWCONTROL_SUSPEND = 8;
inline constexpr uint8_t COM_FLOWCONTROL_RESUME = 9;
// The server answers a request with its command code plus this.
inline constexpr uint8_t COM_ANSWER_OFFSET = 100;

inline constexpr uint32_t COM_PARITY_NONE = 1;
inline constexpr uint32_t COM_STOPSIZE_ONE = 1;
inline constexpr uint32_t COM_CONTROL_NO_FLOW = 1;
inline constexpr uint32_t COM_CONTROL_DTR_ON = 8;
inline constexpr uint32_t COM_CONTROL_RTS_OFF = 12;
inline constexpr uint32_t COM_PURGE_BOTH = 3;

// The longest request on the wire: IAC SB 44, the command, four value bytes
// each of which may be doubled, IAC SE.
inline constexpr size_t COM_REQUEST_CAPACITY = 14;

struct ComPortRequest {
  const char* what;     // for the panel's operator, when the server leaves it unanswered or refuses it
  const char* english;  // the same for velkorctl
  uint8_t command;
  uint32_t value;    // the baud rate takes four bytes, every other value one
};

// The driver's line: 38400 baud, 8 data bits, no parity, one stop bit, no flow control.
inline constexpr ComPortRequest LINE_REQUESTS[] = {
    {"скорость 38400", "speed 38400", COM_SET_BAUDRATE, 38400},
    {"8 бит данных", "8 data bits", COM_SET_DATASIZE, 8},
    {"без чётности", "no parity", COM_SET_PARITY, COM_PARITY_NONE},
    {"1 стоповый бит", "1 stop bit", COM_SET_STOPSIZE, COM_STOPSIZE_ONE},
    {"без управления потоком", "no flow control", COM_SET_CONTROL, COM_CONTROL_NO_FLOW},
};
inline constexpr ComPortRequest DTR_ON_REQUEST{"DTR", "DTR", COM_SET_CONTROL, COM_CONTROL_DTR_ON};
inline constexpr ComPortRequest RTS_OFF_REQUEST{"RTS", "RTS", COM_SET_CONTROL, COM_CONTROL_RTS_OFF};
inline constexpr ComPortRequest PURGE_REQUEST{"очистка буферов", "purge", COM_PURGE_DATA, COM_PURGE_BOTH};
// A baud rate of 0 asks for the current one. Sent last: a server answers in
// the order it was asked, so once this answer is in, an answer to DTR or RTS
// that has not come will not come.
inline constexpr ComPortRequest SPEED_QUERY{"запрос скорости", "speed query", COM_SET_BAUDRATE, 0};

// Writes the request as a subnegotiation to `out` (COM_REQUEST_CAPACITY
// bytes); returns its length.
size_t EncodeComPortRequest(const ComPortRequest& request, uint8_t* out);

struct ComPortAnswer {
  uint8_t command;  // the request's code, the offset taken off
  uint32_t value;
};

// The server's answer in a COM port subnegotiation (the bytes after the
// option); none for anything else, such as a line-state notification.
std::optional<ComPortAnswer> ParseComPortAnswer(const uint8_t* payload, size_t size);

// Whether an answer is the one to this request: same command and, for the
// control command, the same line or flow setting (the value may differ: that
// is the server saying what it did instead).
bool Answers(const ComPortAnswer& answer, const ComPortRequest& request);

// A server's answer to a request in English words: "even parity", "2 stop
// bits", "7 data bits"; a speed as its number.
std::string AnswerInEnglish(const ComPortRequest& request, uint32_t value);

}  // namespace velkor
