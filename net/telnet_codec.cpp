// telnet_codec.cpp: the decoder's state machine, the escaping and the
// answers to option negotiation.
#include "telnet_codec.h"

namespace velkor {
namespace {

bool IsNegotiation(uint8_t verb) { return verb >= TELNET_WILL && verb <= TELNET_DONT; }

void KeepSubByte(TelnetDecoder& decoder, uint8_t byte) {
  if (decoder.subSize < SUBNEGOTIATION_CAPACITY) {
    decoder.sub[decoder.subSize++] = byte;
  } else {
    decoder.subOverflow = true;
  }
}

}  // namespace

size_t DecodeTelnet(TelnetDecoder& decoder, const uint8_t* received, size_t count, uint8_t* data,
                    TelnetListener& listener) {
  using Phase = TelnetDecoder::Phase;
  size_t out = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t byte = received[i];
    switch (decoder.phase) {
      case Phase::Data:
        if (byte == TELNET_IAC) {
          decoder.phase = Phase::Command;
        } else {
          data[out++] = byte;
        }
        break;
      case Phase::Command:
        if (byte == TELNET_IAC) {
          data[out++] = TELNET_IAC;
          decoder.phase = Phase::Data;
        } else if (IsNegotiation(byte)) {
          decoder.verb = byte;
          decoder.phase = Phase::Option;
        } else if (byte == TELNET_SB) {
          decoder.subSize = 0;
          decoder.subOverflow = false;
          decoder.phase = Phase::Sub;
        } else {
          listener.OnCommand(TelnetCommand{byte, 0});
          decoder.phase = Phase::Data;
        }
        break;
      case Phase::Option:
        listener.OnCommand(TelnetCommand{decoder.verb, byte});
        decoder.phase = Phase::Data;
        break;
      case Phase::Sub:
        if (byte == TELNET_IAC) {
          decoder.phase = Phase::SubCommand;
        } else {
          KeepSubByte(decoder, byte);
        }
        break;
      case Phase::SubCommand:
        if (byte == TELNET_IAC) {
          KeepSubByte(decoder, TELNET_IAC);
          decoder.phase = Phase::Sub;
        } else if (byte == TELNET_SE) {
          if (!decoder.subOverflow && decoder.subSize > 0) {
            listener.OnCommand(TelnetCommand{TELNET_SB, decoder.sub[0], decoder.sub + 1, decoder.subSize - 1});
          }
          decoder.phase = Phase::Data;
        } else {
          // IAC followed by anything but IAC or SE inside a subnegotiation is
          // a broken one: drop it and read on as data.
          decoder.phase = Phase::Data;
        }
        break;
    }
  }
  return out;
}

size_t EscapeTelnet(const uint8_t* data, size_t count, uint8_t* out) {
  size_t size = 0;
  for (size_t i = 0; i < count; ++i) {
    out[size++] = data[i];
    if (data[i] == TELNET_IAC) out[size++] = TELNET_IAC;
  }
  return size;
}

std::optional<TelnetCommand> AnswerNegotiation(TelnetAgreement& agreement, uint8_t verb, uint8_t option) {
  const bool ours = option == OPTION_BINARY || option == OPTION_COM_PORT;
  if (!ours) {
    // Refusing what is already off would only echo back and forth.
    if (verb == TELNET_DO) return TelnetCommand{TELNET_WONT, option};
    if (verb == TELNET_WILL) return TelnetCommand{TELNET_DONT, option};
    return std::nullopt;
  }
  if (option == OPTION_COM_PORT) {
    // The server offering the option itself is the server side's business:
    // this end is the client and never takes it on.
    if (verb == TELNET_WILL) return TelnetCommand{TELNET_DONT, option};
    if (verb == TELNET_DO) agreement.comPort = true;
    if (verb == TELNET_DONT) agreement.comPortRefused = true;
    return std::nullopt;
  }
  switch (verb) {
    case TELNET_DO: agreement.binaryToServer = true; break;
    case TELNET_WILL: agreement.binaryFromServer = true; break;
    default: agreement.binaryRefused = true; break;
  }
  return std::nullopt;
}

}  // namespace velkor
