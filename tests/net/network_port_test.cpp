// network_port_test.cpp: the port setup over the network, against a real
// ser2net serving the emulator's pseudo-terminal, once with the COM port
// option and once raw; and the ways a connection fails: refused, unknown
// host, a server that never answers, a server that sets the line otherwise,
// a server that goes away.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "make_port.h"
#include "network_port.h"
#include "open_port.h"
#include "pty_runner.h"
#include "recording_window.h"
#include "scripted_server.h"
#include "ser2net_server.h"
#include "status_texts.h"

namespace velkor {
namespace {

using test::RecordingWindow;
using test::Ser2netServer;
using Bytes = std::vector<uint8_t>;

// The emulator with a record of every byte that reached it from the panel.
struct TappedEmulator {
  sim::PtyRunner runner;
  std::mutex mutex;
  Bytes fromPanel;

  TappedEmulator() {
    runner.SetWireTap([this](sim::WireDirection direction, const uint8_t* bytes, size_t count, auto) {
      if (direction != sim::WireDirection::kFromPanel) return;
      std::lock_guard lock(mutex);
      fromPanel.insert(fromPanel.end(), bytes, bytes + count);
    });
  }
  Bytes FromPanel() {
    std::lock_guard lock(mutex);
    return fromPanel;
  }
};

// Polls as the panel's tick does until the driver is connected; false after 5 s.
bool PollUntilConnected(Link& link) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (link.state.readyWord != READY_CONNECTED && std::chrono::steady_clock::now() < deadline) PollTick(link);
  return link.state.readyWord == READY_CONNECTED;
}

class Ser2netTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::Ser2netInstalled()) GTEST_SKIP() << "ser2net is not installed (scripts/install-deps.sh installs it)";
    ASSERT_TRUE(emulator.runner.Start()) << emulator.runner.Error();
    server = std::make_unique<Ser2netServer>(emulator.runner.SlavePath());
    ASSERT_TRUE(server->Serving()) << "ser2net did not start";
  }

  TappedEmulator emulator;
  std::unique_ptr<Ser2netServer> server;
  Link link;
  RecordingWindow window{link};
};

TEST_F(Ser2netTest, Rfc2217SetsTheLineTo38400WakesTheDriverWithOne0xFFAndTheLinkConnects) {
  NetworkPort port;
  window.selectedPort = server->Rfc2217Name();
  EXPECT_EQ(OpenPort(link, port), PortSetup::Polling);
  EXPECT_EQ(link.values.statusText, STATUS_CONNECT_DEVICE);
  EXPECT_EQ(emulator.runner.LineSpeed(), B38400);  // ser2net opened it at 9600
  ASSERT_TRUE(PollUntilConnected(link));
  const Bytes wire = emulator.FromPanel();
  ASSERT_GE(wire.size(), 2u);
  EXPECT_EQ(wire[0], 0xFF);
  EXPECT_NE(wire[1], 0xFF);  // the wake byte, not IAC IAC
  // ser2net answers no modem-line request for a terminal without modem lines.
  EXPECT_EQ(port.SetupNotes(),
            "Сервер не ответил на запросы: DTR, RTS. Порт работает, но их исполнение не подтверждено.");
  for (const std::string& call : window.calls) EXPECT_FALSE(call.starts_with("ShowMessage")) << call;
}

TEST_F(Ser2netTest, RawTcpKeepsTheServersOwnLineSettingsAndTheLinkConnects) {
  std::unique_ptr<LinePort> port = MakePort(server->RawName());
  window.selectedPort = server->RawName();
  EXPECT_EQ(OpenPort(link, *port), PortSetup::Polling);
  ASSERT_TRUE(PollUntilConnected(link));
  EXPECT_EQ(emulator.runner.LineSpeed(), B9600);
  const Bytes wire = emulator.FromPanel();
  ASSERT_GE(wire.size(), 2u);
  EXPECT_EQ(wire[0], 0xFF);
  EXPECT_NE(wire[1], 0xFF);
  EXPECT_EQ(port->SetupNotes(), "");
}

TEST_F(Ser2netTest, AServerThatGoesAwayIsAHangUpThePortClosesAndReadsNothing) {
  NetworkPort port;
  window.selectedPort = server->Rfc2217Name();
  ASSERT_EQ(OpenPort(link, port), PortSetup::Polling);
  ASSERT_TRUE(PollUntilConnected(link));
  server->Stop();
  uint8_t buffer[RECEIVE_BUFFER_SIZE];
  for (int i = 0; i < 20 && port.IsOpen(); ++i) port.Read(buffer, sizeof buffer);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.Descriptor(), -1);
  EXPECT_EQ(port.LastError(), PortError::NotFound);
  EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
}

// A listening socket that takes connections and answers each as scripted:
// `greeting` at once, `answer` once the client has asked for a baud rate.
class ScriptedServer {
 public:
  ScriptedServer(Bytes greeting, Bytes answer) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    listen(listener_, 1);
    thread_ = std::thread([this, greeting, answer] {
      const int client = accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      if (!greeting.empty()) write(client, greeting.data(), greeting.size());
      // The answer goes once the baud-rate request has come.
      const Bytes baudRequest = {0xFF, 0xFA, 0x2C, 0x01};
      Bytes received;
      uint8_t in[256];
      ssize_t got = 0;
      while (std::search(received.begin(), received.end(), baudRequest.begin(), baudRequest.end()) ==
                 received.end() &&
             (got = read(client, in, sizeof in)) > 0) {
        received.insert(received.end(), in, in + got);
      }
      if (!answer.empty()) write(client, answer.data(), answer.size());
      while (read(client, in, sizeof in) > 0) {
      }
      close(client);
    });
  }
  ~ScriptedServer() {
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    thread_.join();
  }
  std::string Name() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

const Bytes AGREEMENT = {0xFF, 0xFD, 0x2C, 0xFF, 0xFD, 0x00, 0xFF, 0xFB, 0x00};

TEST(NetworkPortTest, AServerThatSetsAnotherBaudRateIsRefusedWithTheLineSettingsMessage) {
  ScriptedServer server(AGREEMENT, {0xFF, 0xFA, 0x2C, 0x65, 0x00, 0x00, 0x25, 0x80, 0xFF, 0xF0});
  Link link;
  RecordingWindow window(link);
  window.selectedPort = server.Name();
  NetworkPort port;
  EXPECT_EQ(OpenPort(link, port), PortSetup::NotConfigured);
  EXPECT_EQ(window.calls, (std::vector<std::string>{"ReadPanel", "StopTick", "Beep",
                                                     "ShowMessage: Не выполнена функция SetCommStateдля порта ",
                                                     "RefreshPanel"}));
  EXPECT_EQ(port.LastErrorText(), "Сервер не выполнил запрос «скорость 38400»: он ответил значением 9600.");
  EXPECT_FALSE(window.tickRunning);
}

TEST(NetworkPortTest, AServerThatNeverNegotiatesFailsTheOpenWithTheReason) {
  ScriptedServer server({}, {});
  Link link;
  RecordingWindow window(link);
  window.selectedPort = server.Name();
  NetworkPort port;
  port.SetStepBound(std::chrono::milliseconds(200));
  EXPECT_EQ(OpenPort(link, port), PortSetup::OpenFailed);
  EXPECT_EQ(link.values.statusText, STATUS_OPEN_FAILED);
  EXPECT_EQ(port.LastErrorText(), "Сервер не ответил на согласование RFC 2217 за 200 мс.");
  EXPECT_FALSE(port.IsOpen());
}

TEST(NetworkPortTest, AServerWithoutTheComPortOptionIsTurnedAwayAtTheOpen) {
  ScriptedServer server({0xFF, 0xFE, 0x2C}, {});
  NetworkPort port;
  EXPECT_FALSE(port.Open(server.Name()));
  EXPECT_EQ(port.LastErrorText(), "Сервер не даёт управлять портом (RFC 2217): откройте его как tcp://.");
}

TEST(NetworkPortTest, ARefusedConnectionFailsTheOpenWithTheSystemsReason) {
  Link link;
  RecordingWindow window(link);
  window.selectedPort = "rfc2217://127.0.0.1:" + std::to_string(test::FreeLocalPort());
  NetworkPort port;
  EXPECT_EQ(OpenPort(link, port), PortSetup::OpenFailed);
  EXPECT_EQ(link.values.statusText, STATUS_OPEN_FAILED);
  EXPECT_EQ(port.LastErrorText(), "Connection refused");
  for (const std::string& call : window.calls) EXPECT_FALSE(call.starts_with("ShowMessage")) << call;
}

TEST(NetworkPortTest, AnUnknownHostFailsTheOpenNamingTheHost) {
  NetworkPort port;
  EXPECT_FALSE(port.Open("tcp://no-such-host.invalid:4000"));
  EXPECT_EQ(port.LastError(), PortError::NotFound);
  EXPECT_TRUE(port.LastErrorText().starts_with("no-such-host.invalid: ")) << port.LastErrorText();
}

struct ClosingCase {
  const char* name;
  int busyConnections;  // connections turned away as busy before the server serves
  int stepBoundMs;      // also how long a busy server is asked again
  bool opens;
  PortError error;
  std::string text;
};

// Turns the first `busy` connections away as ser2net does while another of
// its ports still holds the device, then answers the setup; or, with `words`,
// closes every connection with them.
test::ScriptedServer::Script BusyThenServing(std::atomic<int>& seen, int busy, std::string words) {
  return [&seen, busy, words](int client) {
    if (seen++ < busy) return test::CloseWithWords("Port's device already in use\r\n")(client);
    if (!words.empty()) return test::CloseWithWords(words)(client);
    test::AnswerSetup(std::chrono::milliseconds(0), 38400)(client);
  };
}

TEST(NetworkPortTest, AServerThatClosesDuringTheOpenIsToldByItsWordsAndABusyOneIsAskedAgain) {
  const std::vector<ClosingCase> cases = {
      {"busy twice, then serving", 2, 20000, true, PortError::None, ""},
      {"busy throughout", 1000000, 300, false, PortError::Busy,
       "Сервер закрыл соединение: Port's device already in use"},
      {"closing with words", 0, 20000, false, PortError::NotFound, "Сервер закрыл соединение: Gone for good"},
  };
  for (const ClosingCase& c : cases) {
    std::atomic<int> seen = 0;
    test::ScriptedServer server(BusyThenServing(seen, c.busyConnections, c.opens ? "" : "Gone for good\r\n"));
    NetworkPort port;
    port.SetStepBound(std::chrono::milliseconds(c.stepBoundMs));
    EXPECT_EQ(port.Open(server.Name("rfc2217")), c.opens) << c.name;
    EXPECT_EQ(port.LastError(), c.error) << c.name;
    EXPECT_EQ(port.LastErrorText(), c.text) << c.name;
    if (c.opens) {
      EXPECT_EQ(server.Connections(), c.busyConnections + 1) << c.name;
    }
    port.Close();
  }
}

TEST(NetworkPortTest, DataWaitsWhileTheServerSuspendsItAndGoesOnResume) {
  std::atomic<bool> written = false;
  std::atomic<bool> heldBack = false;
  Bytes afterResume;
  auto server = std::make_unique<test::ScriptedServer>([&](int client) {
    if (!test::AnswerTheSetup(client, std::chrono::milliseconds(0), 38400)) return;
    test::WriteAll(client, {0xFF, 0xFA, 0x2C, 108, 0xFF, 0xF0, 'x'});  // suspend, then a byte to read
    while (!written) std::this_thread::yield();
    uint8_t in[64];
    heldBack = recv(client, in, sizeof in, MSG_DONTWAIT) < 0;
    test::WriteAll(client, {0xFF, 0xFA, 0x2C, 109, 0xFF, 0xF0, 'z'});  // resume
    test::ReadUntil(client, {'a', 'b', 'c'}, afterResume);
  });
  NetworkPort port;
  ASSERT_TRUE(port.Open(server->Name("rfc2217")));
  ASSERT_TRUE(port.SetLineSettings());
  uint8_t in[16];
  while (port.IsOpen() && port.Read(in, 1) == 0) {
  }
  ASSERT_EQ(in[0], 'x');
  const uint8_t data[] = {'a', 'b', 'c'};
  port.Write(data, sizeof data);
  written = true;
  while (port.IsOpen() && port.Read(in, 1) == 0) {
  }
  ASSERT_EQ(in[0], 'z');
  port.Close();
  server.reset();  // the script has ended
  EXPECT_TRUE(heldBack);
  EXPECT_EQ(afterResume, (Bytes{'a', 'b', 'c'}));
}

}  // namespace
}  // namespace velkor
