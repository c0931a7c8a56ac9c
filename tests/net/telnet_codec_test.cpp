// telnet_codec_test.cpp: the Telnet layer, byte for byte: what reaches the
// frame decoder and which commands are found, however the bytes are split
// across reads; the escaping of 0xFF; the answers to option negotiation.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "telnet_codec.h"

namespace velkor {
namespace {

using Bytes = std::vector<uint8_t>;

// Each command as text: "DO 44", "SB 44: 101 0 0 150 0", "CMD 241".
class CommandLog : public TelnetListener {
 public:
  std::string log;
  void OnCommand(const TelnetCommand& command) override {
    if (!log.empty()) log += "; ";
    switch (command.verb) {
      case TELNET_WILL: log += "WILL " + std::to_string(command.option); break;
      case TELNET_WONT: log += "WONT " + std::to_string(command.option); break;
      case TELNET_DO: log += "DO " + std::to_string(command.option); break;
      case TELNET_DONT: log += "DONT " + std::to_string(command.option); break;
      case TELNET_SB:
        log += "SB " + std::to_string(command.option) + ":";
        for (size_t i = 0; i < command.payloadSize; ++i) log += " " + std::to_string(command.payload[i]);
        break;
      default: log += "CMD " + std::to_string(command.verb); break;
    }
  }
};

struct DecodeCase {
  const char* name;
  std::vector<Bytes> reads;  // the received bytes, as the reads brought them
  Bytes data;                // what the frame decoder gets
  const char* commands;      // what the listener hears
};

const DecodeCase DECODE_CASES[] = {
    {"plain data passes untouched", {{0x0A, 0x04, 0x5C, 0x0B, 0xD0}}, {0x0A, 0x04, 0x5C, 0x0B, 0xD0}, ""},
    {"a doubled 0xFF is one data byte", {{0x01, 0xFF, 0xFF, 0x02}}, {0x01, 0xFF, 0x02}, ""},
    {"negotiation between data bytes is taken out", {{0x01, 0xFF, 0xFD, 0x2C, 0x02}}, {0x01, 0x02}, "DO 44"},
    {"a command of one byte is taken out", {{0x01, 0xFF, 0xF1, 0x02}}, {0x01, 0x02}, "CMD 241"},
    {"a subnegotiation is taken out whole",
     {{0x33, 0xFF, 0xFA, 0x2C, 0x65, 0x00, 0x00, 0x96, 0x00, 0xFF, 0xF0, 0x44}},
     {0x33, 0x44},
     "SB 44: 101 0 0 150 0"},
    {"a doubled 0xFF inside a subnegotiation is one byte",
     {{0xFF, 0xFA, 0x2C, 0x65, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xF0}},
     {},
     "SB 44: 101 0 0 255"},
    {"IAC at the end of a read, its second byte in the next", {{0x01, 0xFF}, {0xFF, 0x02}}, {0x01, 0xFF, 0x02}, ""},
    {"IAC at the end of a read, a command in the next", {{0x01, 0xFF}, {0xFB, 0x00, 0x02}}, {0x01, 0x02}, "WILL 0"},
    {"a negotiation split before its option", {{0xFF, 0xFE}, {0x01, 0x7F}}, {0x7F}, "DONT 1"},
    {"a subnegotiation split at every part",
     {{0xFF}, {0xFA}, {0x2C}, {0x6C, 0x03, 0xFF}, {0xF0}, {0x10}},
     {0x10},
     "SB 44: 108 3"},
    {"the server's greeting among the driver's first bytes",
     {{0xFF, 0xFB, 0x03, 0xFF, 0xFD, 0x03, 0x15, 0xFF, 0xFB, 0x01, 0xFF, 0xFE, 0x01, 0x96}},
     {0x15, 0x96},
     "WILL 3; DO 3; WILL 1; DONT 1"},
    {"a broken subnegotiation is dropped and data goes on",
     {{0xFF, 0xFA, 0x2C, 0x65, 0xFF, 0x20, 0x21}},
     {0x21},
     ""},
};

TEST(TelnetDecoderTest, DataReachesTheFrameDecoderAndCommandsTheListenerHoweverTheReadsSplitThem) {
  for (const DecodeCase& c : DECODE_CASES) {
    SCOPED_TRACE(c.name);
    TelnetDecoder decoder;
    CommandLog listener;
    Bytes data;
    for (const Bytes& read : c.reads) {
      Bytes buffer = read;  // decoded in place, as the port does
      const size_t count = DecodeTelnet(decoder, buffer.data(), buffer.size(), buffer.data(), listener);
      data.insert(data.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(count));
    }
    EXPECT_EQ(data, c.data);
    EXPECT_EQ(listener.log, c.commands);
  }
}

TEST(TelnetDecoderTest, ASubnegotiationTooLongToKeepIsSkippedAndTheDataAfterItKept) {
  TelnetDecoder decoder;
  CommandLog listener;
  Bytes bytes = {0xFF, 0xFA, 0x2C};
  bytes.insert(bytes.end(), 40, 0x41);
  bytes.insert(bytes.end(), {0xFF, 0xF0, 0x05});
  const size_t count = DecodeTelnet(decoder, bytes.data(), bytes.size(), bytes.data(), listener);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(count)), Bytes({0x05}));
  EXPECT_EQ(listener.log, "");
}

struct EscapeCase {
  const char* name;
  Bytes data;
  Bytes wire;
};

const EscapeCase ESCAPE_CASES[] = {
    {"the wake byte goes out doubled", {0xFF}, {0xFF, 0xFF}},
    {"a command frame without 0xFF goes out as it is", {0x0A, 0x04, 0x5C, 0x0B, 0xD0}, {0x0A, 0x04, 0x5C, 0x0B, 0xD0}},
    {"a check byte of 0xFF is doubled in place", {0x0B, 0x05, 0x00, 0x01, 0xFF}, {0x0B, 0x05, 0x00, 0x01, 0xFF, 0xFF}},
    {"every 0xFF of a run is doubled", {0xFF, 0xFF, 0x00}, {0xFF, 0xFF, 0xFF, 0xFF, 0x00}},
};

TEST(TelnetEscapeTest, Every0xFFOfTheDataGoesOnTheWireAsIacIacAndComesBackAsOne) {
  for (const EscapeCase& c : ESCAPE_CASES) {
    SCOPED_TRACE(c.name);
    Bytes wire(2 * c.data.size() + 1, 0xEE);  // a guard byte after the room allowed
    const size_t size = EscapeTelnet(c.data.data(), c.data.size(), wire.data());
    EXPECT_EQ(Bytes(wire.begin(), wire.begin() + static_cast<ptrdiff_t>(size)), c.wire);
    EXPECT_EQ(wire.back(), 0xEE);
    TelnetDecoder decoder;
    CommandLog listener;
    const size_t count = DecodeTelnet(decoder, wire.data(), size, wire.data(), listener);
    EXPECT_EQ(Bytes(wire.begin(), wire.begin() + static_cast<ptrdiff_t>(count)), c.data);
  }
}

struct NegotiationCase {
  const char* name;
  uint8_t verb;
  uint8_t option;
  Bytes reply;  // empty: none
  TelnetAgreement after;
};

const NegotiationCase NEGOTIATION_CASES[] = {
    {"DO COM-PORT-OPTION agrees to the option", TELNET_DO, 44, {}, {true, false, false, false, false}},
    {"DONT COM-PORT-OPTION is a refusal", TELNET_DONT, 44, {}, {false, true, false, false, false}},
    {"WILL COM-PORT-OPTION from the server is refused", TELNET_WILL, 44, {TELNET_DONT, 44}, {}},
    {"DO BINARY agrees to send binary", TELNET_DO, 0, {}, {false, false, true, false, false}},
    {"WILL BINARY agrees to receive binary", TELNET_WILL, 0, {}, {false, false, false, true, false}},
    {"WONT BINARY is a refusal", TELNET_WONT, 0, {}, {false, false, false, false, true}},
    {"DO ECHO, an option this end does not know, gets WONT", TELNET_DO, 1, {TELNET_WONT, 1}, {}},
    {"WILL SUPPRESS-GO-AHEAD gets DONT", TELNET_WILL, 3, {TELNET_DONT, 3}, {}},
    {"DONT ECHO needs no answer", TELNET_DONT, 1, {}, {}},
    {"WONT of an unknown option needs no answer", TELNET_WONT, 200, {}, {}},
};

TEST(TelnetNegotiationTest, OnlyTheComPortOptionAndBinaryAreAgreedToAndEveryOtherOptionIsRefused) {
  for (const NegotiationCase& c : NEGOTIATION_CASES) {
    SCOPED_TRACE(c.name);
    TelnetAgreement agreement;
    const std::optional<TelnetCommand> reply = AnswerNegotiation(agreement, c.verb, c.option);
    EXPECT_EQ(reply ? Bytes({reply->verb, reply->option}) : Bytes{}, c.reply);
    EXPECT_EQ(agreement.comPort, c.after.comPort);
    EXPECT_EQ(agreement.comPortRefused, c.after.comPortRefused);
    EXPECT_EQ(agreement.binaryToServer, c.after.binaryToServer);
    EXPECT_EQ(agreement.binaryFromServer, c.after.binaryFromServer);
    EXPECT_EQ(agreement.binaryRefused, c.after.binaryRefused);
  }
}

}  // namespace
}  // namespace velkor
