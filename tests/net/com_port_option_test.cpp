// com_port_option_test.cpp: the COM port option's requests as they go on the
// wire, the server's answers as they are read, and network port names.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "com_port_option.h"
#include "network_address.h"

namespace velkor {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Encoded(const ComPortRequest& request) {
  Bytes out(COM_REQUEST_CAPACITY);
  out.resize(EncodeComPortRequest(request, out.data()));
  return out;
}

TEST(ComPortRequestTest, TheDriversLineIsAskedForInTheOptionsOwnCodes) {
  EXPECT_EQ(Encoded(LINE_REQUESTS[0]), Bytes({0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x96, 0x00, 0xFF, 0xF0}));
  EXPECT_EQ(Encoded(LINE_REQUESTS[1]), Bytes({0xFF, 0xFA, 0x2C, 0x02, 0x08, 0xFF, 0xF0}));
  EXPECT_EQ(Encoded(LINE_REQUESTS[2]), Bytes({0xFF, 0xFA, 0x2C, 0x03, 0x01, 0xFF, 0xF0}));
  EXPECT_EQ(Encoded(LINE_REQUESTS[3]), Bytes({0xFF, 0xFA, 0x2C, 0x04, 0x01, 0xFF, 0xF0}));
  EXPECT_EQ(Encoded(LINE_REQUESTS[4]), Bytes({0xFF, 0xFA, 0x2C, 0x05, 0x01, 0xFF, 0xF0}));
  EXPECT_EQ(Encoded(DTR_ON_REQUEST), Bytes({0xFF, 0xFA, 0x2C, 0x05, 0x08, 0xFF, 0xF0}));
  EXPECT_EQ(Encoded(RTS_OFF_REQUEST), Bytes({0xFF, 0xFA, 0x2C, 0x05, 0x0C, 0xFF, 0xF0}));
  EXPECT_EQ(Encoded(PURGE_REQUEST), Bytes({0xFF, 0xFA, 0x2C, 0x0C, 0x03, 0xFF, 0xF0}));
  EXPECT_EQ(Encoded(SPEED_QUERY), Bytes({0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xF0}));
}

TEST(ComPortRequestTest, A0xFFInsideARequestsValueIsDoubled) {
  EXPECT_EQ(Encoded({"", "", COM_SET_BAUDRATE, 0x0001FFFF}),
            Bytes({0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0}));
}

TEST(ComPortAnswerTest, AnswersAreReadWithTheirValuesAndMatchedToTheirRequests) {
  const uint8_t baud[] = {101, 0x00, 0x00, 0x96, 0x00};
  const auto answer = ParseComPortAnswer(baud, sizeof baud);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->command, COM_SET_BAUDRATE);
  EXPECT_EQ(answer->value, 38400u);
  EXPECT_TRUE(Answers(*answer, LINE_REQUESTS[0]));
  EXPECT_FALSE(Answers(*answer, LINE_REQUESTS[1]));

  // The control command's answers belong to the setting they speak of.
  const uint8_t dtrOff[] = {105, 9};
  const auto dtr = ParseComPortAnswer(dtrOff, sizeof dtrOff);
  ASSERT_TRUE(dtr);
  EXPECT_TRUE(Answers(*dtr, DTR_ON_REQUEST));
  EXPECT_FALSE(Answers(*dtr, RTS_OFF_REQUEST));
  EXPECT_FALSE(Answers(*dtr, LINE_REQUESTS[4]));
}

TEST(ComPortAnswerTest, ClientRequestsAndCutAnswersAreNoAnswers) {
  const uint8_t request[] = {1, 0x00, 0x00, 0x96, 0x00};
  const uint8_t cut[] = {101, 0x00, 0x96};
  const uint8_t alone[] = {102};
  EXPECT_FALSE(ParseComPortAnswer(request, sizeof request));
  EXPECT_FALSE(ParseComPortAnswer(cut, sizeof cut));
  EXPECT_FALSE(ParseComPortAnswer(alone, sizeof alone));
}

TEST(ComPortAnswerTest, AnswersAreNamedInWords) {
  const struct { const ComPortRequest& request; uint32_t value; const char* words; } rows[] = {
      {LINE_REQUESTS[0], 9600, "9600"}, {LINE_REQUESTS[1], 7, "7 data bits"}, {LINE_REQUESTS[2], 3, "even parity"},
      {LINE_REQUESTS[2], 9, "the unknown value 9"}, {LINE_REQUESTS[3], 3, "1.5 stop bits"}};
  for (const auto& row : rows) EXPECT_EQ(AnswerInEnglish(row.request, row.value), row.words) << row.value;
}

TEST(NetworkAddressTest, SchemeHostAndPortAreTakenApart) {
  const auto telnet = ParseNetworkAddress("rfc2217://192.168.1.20:4000");
  ASSERT_TRUE(telnet);
  EXPECT_EQ(telnet->scheme, NetworkScheme::Rfc2217);
  EXPECT_EQ(telnet->host, "192.168.1.20");
  EXPECT_EQ(telnet->port, 4000);
  const auto raw = ParseNetworkAddress("tcp://[::1]:65535");
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->scheme, NetworkScheme::RawTcp);
  EXPECT_EQ(raw->host, "::1");
  EXPECT_EQ(raw->port, 65535);
  EXPECT_EQ(ParseNetworkAddress("tcp://bench-pi.local:2001")->host, "bench-pi.local");
  // A scheme is a scheme in capitals too, never a device's file name.
  EXPECT_EQ(ParseNetworkAddress("RFC2217://bench-pi:4000")->scheme, NetworkScheme::Rfc2217);
  EXPECT_EQ(ParseNetworkAddress("Tcp://bench-pi:4001")->scheme, NetworkScheme::RawTcp);
}

TEST(NetworkAddressTest, TlsSchemesTakeTheirFilesFromTheAddress) {
  struct Row {
    const char* name;
    NetworkScheme scheme;
    const char* host;
    uint16_t port;
    const char* ca;
    const char* cert;
    const char* key;
  } rows[] = {
      {"rfc2217s://bench-pi:4000", NetworkScheme::Rfc2217, "bench-pi", 4000, "", "", ""},
      {"TCPS://[::1]:4001", NetworkScheme::RawTcp, "::1", 4001, "", "", ""},
      {"tcps://10.0.0.5:4001?ca=/etc/velkor/ca.pem", NetworkScheme::RawTcp, "10.0.0.5", 4001, "/etc/velkor/ca.pem",
       "", ""},
      {"rfc2217s://pi:4000?key=~/.velkor/me.key&cert=~/.velkor/me.pem&ca=/ca.pem", NetworkScheme::Rfc2217, "pi",
       4000, "/ca.pem", "~/.velkor/me.pem", "~/.velkor/me.key"},
  };
  for (const Row& row : rows) {
    const auto address = ParseNetworkAddress(row.name);
    ASSERT_TRUE(address) << row.name;
    EXPECT_TRUE(address->tls) << row.name;
    EXPECT_EQ(address->scheme, row.scheme) << row.name;
    EXPECT_EQ(address->host, row.host) << row.name;
    EXPECT_EQ(address->port, row.port) << row.name;
    EXPECT_EQ(address->files.ca, row.ca) << row.name;
    EXPECT_EQ(address->files.cert, row.cert) << row.name;
    EXPECT_EQ(address->files.key, row.key) << row.name;
  }
  EXPECT_FALSE(ParseNetworkAddress("tcp://pi:4001")->tls);
}

TEST(NetworkAddressTest, NamesThatAreNoAddressAreRefused) {
  for (const char* name : {"rfc2217://host", "rfc2217://:4000", "tcp://host:0", "tcp://host:65536", "tcp://host:40a",
                           "tcp://::1:4000", "telnet://host:4000", "/dev/ttyUSB0", "tcp://a b:1", "tcp://host:",
                           // files only over TLS, each once, by its absolute path
                           "tcp://host:1?ca=/ca.pem", "tcps://host:1?ca=ca.pem", "tcps://host:1?ca=/a&ca=/b",
                           "tcps://host:1?pin=/x", "tcps://host:1?ca", "tcps://host:1?", "rfc2217s://host"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(ParseNetworkAddress(name));
  }
  EXPECT_TRUE(IsNetworkPortName("tcp://host"));
  EXPECT_FALSE(IsNetworkPortName("COM3"));
}

}  // namespace
}  // namespace velkor
