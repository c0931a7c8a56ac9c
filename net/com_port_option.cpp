// com_port_option.cpp: encoding the requests, reading the answers.
#include "com_port_option.h"

#include "telnet_codec.h"

namespace velkor {
namespace {

size_t ValueSize(uint8_t command) { return command == COM_SET_BAUDRATE ? 4 : 1; }

// The control command's values come in groups, one per thing it sets:
// outbound flow 0-3, break 4-6, DTR 7-9, RTS 10-12, inbound flow 13-16.
int ControlGroup(uint32_t value) {
  if (value <= 3) return 0;
  if (value <= 6) return 1;
  if (value <= 9) return 2;
  if (value <= 12) return 3;
  if (value <= 16) return 4;
  return 5;
}

// The parity and stop size values as the option numbers them, from 1.
constexpr const char* PARITY_NAMES[] = {"no parity", "odd parity", "even parity", "mark parity", "space parity"};
constexpr const char* STOP_SIZE_NAMES[] = {"1 stop bit", "2 stop bits", "1.5 stop bits"};

template <size_t N>
std::string NameOf(const char* const (&names)[N], uint32_t value) {
  return value >= 1 && value <= N ? names[value - 1] : "the unknown value " + std::to_string(value);
}

}  // namespace

std::string AnswerInEnglish(const ComPortRequest& request, uint32_t value) {
  switch (request.command) {
    case COM_SET_DATASIZE: return std::to_string(value) + " data bits";
    case COM_SET_PARITY: return NameOf(PARITY_NAMES, value);
    case COM_SET_STOPSIZE: return NameOf(STOP_SIZE_NAMES, value);
    default: return std::to_string(value);
  }
}

size_t EncodeComPortRequest(const ComPortRequest& request, uint8_t* out) {
  uint8_t body[5] = {request.command};
  const size_t valueSize = ValueSize(request.command);
  for (size_t i = 0; i < valueSize; ++i) {
    body[1 + i] = static_cast<uint8_t>(request.value >> (8 * (valueSize - 1 - i)));  // network order
  }
  size_t size = 0;
  out[size++] = TELNET_IAC;
  out[size++] = TELNET_SB;
  out[size++] = OPTION_COM_PORT;
  size += EscapeTelnet(body, 1 + valueSize, out + size);
  out[size++] = TELNET_IAC;
  out[size++] = TELNET_SE;
  return size;
}

std::optional<ComPortAnswer> ParseComPortAnswer(const uint8_t* payload, size_t size) {
  if (size < 2 || payload[0] <= COM_ANSWER_OFFSET) return std::nullopt;
  const uint8_t command = static_cast<uint8_t>(payload[0] - COM_ANSWER_OFFSET);
  const size_t valueSize = ValueSize(command);
  if (size != 1 + valueSize) return std::nullopt;
  uint32_t value = 0;
  for (size_t i = 0; i < valueSize; ++i) value = value << 8 | payload[1 + i];
  return ComPortAnswer{command, value};
}

bool Answers(const ComPortAnswer& answer, const ComPortRequest& request) {
  if (answer.command != request.command) return false;
  return request.command != COM_SET_CONTROL || ControlGroup(answer.value) == ControlGroup(request.value);
}

}  // namespace velkor
