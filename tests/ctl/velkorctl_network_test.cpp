// velkorctl_network_test.cpp: velkorctl against serial servers as they are met
// on a network: one device served on two accepters of a real ser2net, used
// back to back; servers that close at once with their words or refuse the
// speed late; a slow link. Depends on the emulator, velkorctl run as a child
// process, the network tests' ser2net runner and scripted servers.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "ctl_process.h"
#include "pty_runner.h"
#include "scripted_server.h"
#include "ser2net_server.h"

namespace velkor {
namespace {

using namespace std::chrono_literals;
using test::CtlResult;
using test::RunCtl;

constexpr const char* SER2NET_NOTE =
    "velkorctl: note: the serial server did not answer the requests for DTR, RTS (some answer none for a device "
    "without modem lines); the link works all the same\n";

TEST(VelkorctlNetwork, OneDeviceOnTwoAccepterServesBackToBackRunsInBothOrders) {
  if (!test::Ser2netInstalled()) GTEST_SKIP() << "ser2net is not installed (scripts/install-deps.sh installs it)";
  sim::PtyRunner driver;
  ASSERT_TRUE(driver.Start()) << driver.Error();
  test::Ser2netServer server(driver.SlavePath(), false);
  ASSERT_TRUE(server.Serving());
  // Each run follows the last at once: the server still holds the device a
  // moment for the other accepter's session.
  const std::vector<std::string> order = {server.Rfc2217Name(), server.RawName(), server.RawName(),
                                          server.Rfc2217Name(), server.Rfc2217Name(), server.RawName()};
  for (size_t i = 0; i < order.size(); ++i) {
    const CtlResult r = RunCtl({"--port", order[i], "--timeout", "20", "show"});
    ASSERT_EQ(r.exitStatus, 0) << "run " << i << " " << order[i] << ": " << r.err;
    EXPECT_EQ(r.err, order[i] == server.Rfc2217Name() ? SER2NET_NOTE : "") << "run " << i;
    EXPECT_NE(r.out.find("\nmotionCurrent=1000\n"), std::string::npos) << r.out;
  }
}

TEST(VelkorctlNetwork, AServerThatClosesAtOnceIsReportedAtOnceWithItsWords) {
  test::ScriptedServer server(test::CloseWithWords("Gone for maintenance\r\n"));
  for (const char* scheme : {"rfc2217", "tcp"}) {
    const auto start = std::chrono::steady_clock::now();
    const CtlResult r = RunCtl({"--port", server.Name(scheme), "--timeout", "30", "show"});
    EXPECT_EQ(r.exitStatus, 3) << scheme;  // could not tell: never connected
    EXPECT_EQ(r.err, "velkorctl: cannot open " + server.Name(scheme) +
                         ": the server closed the connection saying \"Gone for maintenance\"; see the server's log "
                         "and its port settings\n");
    // Not the whole timeout: the close is the answer.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 15s) << scheme;
  }
}

struct RefusalCase {
  std::chrono::milliseconds delay;
  uint32_t speed;
  std::string timeout;
  std::string reason;  // what follows "cannot set up PORT: "
};

TEST(VelkorctlNetwork, EveryAnswerToTheSetupIsCheckedHoweverLateItComes) {
  const std::string refused =
      "the server answered the request for speed 38400 with 9600; the driver needs 38400 baud, 8 data bits, no "
      "parity, 1 stop bit: check the server's port settings";
  const std::vector<RefusalCase> cases = {
      {0ms, 9600, "10", refused},
      {400ms, 9600, "10", refused},
      {60000ms, 38400, "2", "the server did not answer the request for speed 38400 within 2 s; a slow link needs a "
                            "longer --timeout"},
  };
  for (const RefusalCase& c : cases) {
    test::ScriptedServer server(test::AnswerSetup(c.delay, c.speed));
    const std::string name = server.Name("rfc2217");
    const CtlResult r = RunCtl({"--port", name, "--timeout", c.timeout, "show"});
    EXPECT_EQ(r.exitStatus, 3) << c.delay.count();
    EXPECT_EQ(r.err, "velkorctl: cannot set up " + name + ": " + c.reason + "\n");
  }
}

TEST(VelkorctlNetwork, AnInterruptionEndsTheOpenAtOnce) {
  // rfc2217: the setup waits for its answers; tcp: the wait for the driver does.
  test::ScriptedServer server(test::AnswerSetup(60000ms, 38400));
  for (const char* scheme : {"rfc2217", "tcp"}) {
    const int before = server.Connections();
    test::CtlProcess ctl({"--port", server.Name(scheme), "--timeout", "30", "show"});
    const auto limit = std::chrono::steady_clock::now() + 20s;
    while (server.Connections() == before && std::chrono::steady_clock::now() < limit) std::this_thread::sleep_for(10ms);
    ctl.Signal(SIGTERM);
    const CtlResult r = ctl.Finish(10s);
    EXPECT_EQ(r.exitStatus, 3) << scheme;
    EXPECT_EQ(r.err, "velkorctl: interrupted\n") << scheme;
  }
}

TEST(VelkorctlNetwork, OverASlowLinkALongerTimeoutIsEnoughForEveryStep) {
  if (!test::Ser2netInstalled()) GTEST_SKIP() << "ser2net is not installed (scripts/install-deps.sh installs it)";
  sim::PtyRunner driver;
  ASSERT_TRUE(driver.Start()) << driver.Error();
  test::Ser2netServer server(driver.SlavePath(), false);
  ASSERT_TRUE(server.Serving());
  // 200 ms or more each way: every step takes longer than a local one ever does.
  test::ScriptedServer slow(test::DelayTo(server.TelnetPort(), 200ms));
  const CtlResult r = RunCtl({"--port", slow.Name("rfc2217"), "--timeout", "30", "show"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, SER2NET_NOTE);
  EXPECT_NE(r.out.find("\nmotionCurrent=1000\n"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace velkor
