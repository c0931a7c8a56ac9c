// port_setup_test.cpp: the port setup step by step, with the terminal calls
// scripted: the requests it makes in order (DTR raised before RTS is lowered),
// each refusal with its message box and the port left open but unpolled, and
// the serial flags that decide what 38400 means.
#include <gtest/gtest.h>

#include <linux/serial.h>

#include <filesystem>

#include "codes.h"
#include "open_port.h"
#include "pty_peer.h"
#include "recording_window.h"
#include "scripted_terminal.h"
#include "serial_port.h"
#include "status_texts.h"
#include "temp_dir.h"

namespace velkor::test {
namespace {

using std::chrono::milliseconds;
using Strings = std::vector<std::string>;

class PortSetupTest : public ::testing::Test {
 protected:
  PortSetupTest() { window.selectedPort = peer.TerminalPath(); }
  std::filesystem::path LockFile() const {
    return locks / ("LCK.." + std::filesystem::path(peer.TerminalPath()).filename().string());
  }

  PtyPeer peer;
  TempDir locks;
  ScriptedTerminal terminal;
  SerialPort port{terminal, locks.Path()};
  Link link;
  RecordingWindow window{link};
};

TEST_F(PortSetupTest, AFullSetupSetsTheLineThenTheTimeoutsThenRaisesDtrAndLowersRts) {
  EXPECT_EQ(OpenPort(link, port), PortSetup::Polling);
  EXPECT_EQ(terminal.requests, (Strings{"TIOCEXCL", "TIOCGSERIAL", "tcgetattr", "tcsetattr", "tcgetattr",
                                        "tcgetattr", "tcsetattr", "TIOCMBIS DTR", "TIOCMBIC RTS"}));
  EXPECT_EQ(window.calls, (Strings{"ReadPanel", "StopTick", "Beep", "StartTick", "RefreshPanel"}));
  EXPECT_EQ(peer.Receive(2, milliseconds(300)), std::vector<uint8_t>{WAKE_BYTE});
}

struct Refusal {
  const char* name;
  const char* request;
  int from;
  std::string_view message;
  const char* lastRequest;  // the setup stops after it
};

const Refusal REFUSALS[] = {
    {"line settings", "tcsetattr", 1, "Не выполнена функция SetCommStateдля порта ", "tcsetattr"},
    {"line settings read back", "tcgetattr", 2, "Не выполнена функция SetCommStateдля порта ", "tcgetattr"},
    {"serial flags", "TIOCGSERIAL", 1, "Не выполнена функция SetCommStateдля порта ", "TIOCGSERIAL"},
    {"timeouts", "tcsetattr", 2, "Не выполнена функция SetCommTimeouts() для порта ", "tcsetattr"},
    {"raising DTR", "TIOCMBIS DTR", 1, "Не выполнена функция EscapeCommFunction() для порта ", "TIOCMBIS DTR"},
    {"lowering RTS", "TIOCMBIC RTS", 1, "Не выполнена функция EscapeCommFunction() для порта ", "TIOCMBIC RTS"},
};

TEST_F(PortSetupTest, EachRefusedStepShowsItsMessageAndLeavesThePortOpenUnpolledAndTheLinkStartedOver) {
  for (const Refusal& r : REFUSALS) {
    SCOPED_TRACE(r.name);
    ScriptedTerminal refusing;
    refusing.refuse = r.request;
    refusing.refuseFrom = r.from;
    SerialPort refused{refusing, locks.Path()};
    link.values.statusText = STATUS_OPEN_FAILED;  // left by an earlier choice
    link.state.seq = 14;
    link.state.readyWord = READY_CONNECTED;
    window.calls.clear();

    EXPECT_EQ(OpenPort(link, refused), PortSetup::NotConfigured);
    EXPECT_EQ(window.calls, (Strings{"ReadPanel", "StopTick", "Beep", "ShowMessage: " + std::string(r.message),
                                     "RefreshPanel"}));
    EXPECT_EQ(refusing.requests.back(), r.lastRequest);
    // RTS is lowered only once DTR is up.
    EXPECT_EQ(refusing.Count("TIOCMBIC RTS"), r.request == std::string("TIOCMBIC RTS") ? 1 : 0);
    EXPECT_EQ(window.statusAtRefresh.back(), STATUS_OPEN_FAILED);  // the status line is not changed
    EXPECT_FALSE(window.tickRunning);
    // The old port is closed: whatever it carried ends there.
    EXPECT_EQ(link.state.seq, 15);
    EXPECT_EQ(link.state.readyWord, READY_NONE);
    EXPECT_TRUE(peer.Receive(1, milliseconds(50)).empty()) << "no wake byte";
    // Open until the next choice: no other program may have it meanwhile.
    EXPECT_TRUE(refused.IsOpen());
    EXPECT_EQ(FileText(LockFile()), FileText(refused.LockFile()));
    EXPECT_FALSE(FileText(LockFile()).empty());
    SerialPort other{SystemTerminalControl(), locks.Path()};
    EXPECT_FALSE(other.Open(peer.TerminalPath()));

    window.selectedPort = "/dev/velkor-no-such-port";
    EXPECT_EQ(OpenPort(link, refused), PortSetup::OpenFailed);
    EXPECT_FALSE(refused.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(LockFile()));
    EXPECT_TRUE(other.Open(peer.TerminalPath())) << other.LastErrorText();
    window.selectedPort = peer.TerminalPath();
  }
}

TEST_F(PortSetupTest, ASpeedAliasLeftByAnOldToolIsClearedAndLowLatencyAskedFor) {
  terminal.serialFlags = ASYNC_SPD_CUST | ASYNC_SKIP_TEST;
  EXPECT_EQ(OpenPort(link, port), PortSetup::Polling);
  EXPECT_EQ(terminal.flagsAsked, std::vector<int>{ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY});
  EXPECT_EQ(terminal.serialFlags, ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY);
}

TEST_F(PortSetupTest, ARefusedLowLatencyIsNoFailureButAnAliasThatStaysIs) {
  terminal.serialFlags = ASYNC_SPD_VHI;
  terminal.refusedFlags = ASYNC_LOW_LATENCY;
  EXPECT_EQ(OpenPort(link, port), PortSetup::Polling);
  EXPECT_EQ(terminal.flagsAsked, (std::vector<int>{ASYNC_LOW_LATENCY, 0}));
  EXPECT_EQ(terminal.serialFlags, 0);

  terminal.serialFlags = 0;
  terminal.flagsAsked.clear();
  EXPECT_EQ(OpenPort(link, port), PortSetup::Polling);
  EXPECT_EQ(terminal.flagsAsked, std::vector<int>{ASYNC_LOW_LATENCY});

  terminal.serialFlags = ASYNC_SPD_CUST;
  terminal.refusedFlags = ASYNC_SPD_MASK;
  window.calls.clear();
  EXPECT_EQ(OpenPort(link, port), PortSetup::NotConfigured);
  EXPECT_EQ(window.calls, (Strings{"ReadPanel", "StopTick", "Beep",
                                   "ShowMessage: Не выполнена функция SetCommStateдля порта ", "RefreshPanel"}));
  EXPECT_EQ(port.LastErrorText(), "Invalid argument");
}

TEST_F(PortSetupTest, FlagsAlreadyRightAreLeftAlone) {
  terminal.serialFlags = ASYNC_LOW_LATENCY;
  EXPECT_EQ(OpenPort(link, port), PortSetup::Polling);
  EXPECT_TRUE(terminal.flagsAsked.empty());
}

}  // namespace
}  // namespace velkor::test
