// velkorctl_emulator_test.cpp: velkorctl run as a script runs it, against the
// VK-3 emulator on a pseudo-terminal (or a terminal nobody answers on), and
// through a ser2net serving that terminal: what it prints, how it exits, and
// what reached the driver.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "codes.h"
#include "ctl_process.h"
#include "pty_runner.h"
#include "ser2net_server.h"
#include "temp_dir.h"

namespace velkor::test {
namespace {

using namespace std::chrono_literals;

// The emulator, served on a pseudo-terminal for the length of a test.
class Driver {
 public:
  explicit Driver(sim::EmulatorOptions options = {}) : runner_(options) {
    EXPECT_TRUE(runner_.Start()) << runner_.Error();
  }
  ~Driver() { runner_.Stop(); }
  const std::string& Port() const { return runner_.SlavePath(); }
  sim::PtyRunner& Runner() { return runner_; }
  sim::Parameters Current() {
    return runner_.WithEmulator([](sim::Emulator& e) { return e.CurrentParameters(); });
  }
  sim::Parameters Saved() {
    return runner_.WithEmulator([](sim::Emulator& e) { return e.SavedParameters(); });
  }
  bool Moving() {
    return runner_.WithEmulator([](sim::Emulator& e) { return e.Moving(); });
  }
  // The executed actions and set commands, in order.
  std::vector<std::pair<uint8_t, int16_t>> Commands() {
    std::vector<std::pair<uint8_t, int16_t>> commands;
    for (const sim::ReceivedCommand& c : runner_.CommandLog()) {
      if (c.executed) commands.emplace_back(c.code, c.value);
    }
    return commands;
  }
  bool Received(uint8_t code, int16_t value) {
    const auto commands = Commands();
    return std::find(commands.begin(), commands.end(), std::pair{code, value}) != commands.end();
  }

 private:
  sim::PtyRunner runner_;
};

// A terminal with nobody at the far end: what velkorctl writes stays there.
class SilentLine {
 public:
  SilentLine() {
    char path[128] = {};
    EXPECT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(ttyname_r(slave_, path, sizeof path), 0);
    path_ = path;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~SilentLine() {
    close(master_);
    close(slave_);
  }
  const std::string& Port() const { return path_; }
  std::string Written() {
    std::string bytes;
    char buffer[256];
    ssize_t n = 0;
    while ((n = read(master_, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<size_t>(n));
    return bytes;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

TEST(VelkorctlShow, JsonHoldsThePortTheStatusTheParametersByProfileNameAndEveryReading) {
  Driver driver;
  const CtlResult r = RunCtl({"--port", driver.Port(), "show", "--json"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string expected =
      "\\{\"port\":\"" + driver.Port() +
      "\",\"state\":\"connected\",\"status\":\"Соединено VK-3 ID-19.0\","
      "\"parameters\":\\{\"stepDivision\":8,\"motionCurrent\":1000,\"reductionDelay\":500,"
      "\"holdingCurrent\":500,\"faultCurrent\":5000,\"proportionalK\":30,\"levelingK\":2,\"steps\":200,"
      "\"jogSpeed\":60,\"jogAccel\":100,\"smoothing\":false\\},"
      "\"readings\":\\{\"setCurrentA\":(1000|500),\"setCurrentB\":0,\"actualCurrentA\":\\d+,\"actualCurrentB\":-?\\d+,"
      "\"pwmA\":\\d+,\"pwmB\":-?\\d+,\"totalCurrent\":\\d+,\"shaftSpeed\":0,\"position\":0,\"phase\":0\\}\\}\n";
  EXPECT_TRUE(std::regex_match(r.out, std::regex(expected))) << r.out;
}

TEST(VelkorctlShow, TheBuiltInEmulatorNamedByTheEnvironmentPrintsOneNameValueLineEach) {
  const CtlResult r = RunCtl({"show"}, "emulator");
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find("setCurrentA=")),
            "port=emulator\nstate=connected\nstatus=Соединено VK-3 ID-19.0\nstepDivision=8\nmotionCurrent=1000\n"
            "reductionDelay=500\nholdingCurrent=500\nfaultCurrent=5000\nproportionalK=30\nlevelingK=2\n"
            "steps=200\njogSpeed=60\njogAccel=100\nsmoothing=off\n");
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\nshaftSpeed=0\nposition=0\nphase=0\n$"))) << r.out;
}

TEST(VelkorctlSet, EachValueIsReportedBackAndOnlyThenSavedToTheEeprom) {
  Driver driver;
  const CtlResult r = RunCtl({"--port", driver.Port(), "set", "motionCurrent=1500", "stepDivision=4",
                              "reductionDelay=60000", "smoothing=on", "--save"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err,
            "velkorctl: note: the driver saves every value it holds; besides those set, the save stores "
            "holdingCurrent 500 (the EEPROM's value unknown); faultCurrent 5000 (the EEPROM's value unknown); "
            "proportionalK 30 (the EEPROM's value unknown); levelingK 2 (the EEPROM's value unknown); steps 200 "
            "(the EEPROM's value unknown); jogSpeed 60 (the EEPROM's value unknown); jogAccel 100 (the EEPROM's "
            "value unknown)\n"
            "velkorctl: the driver acknowledged the save to EEPROM\n");
  // In the order a profile lists them.
  EXPECT_EQ(r.out, "stepDivision=4\nmotionCurrent=1500\nreductionDelay=60000\nsmoothing=on\n");
  const sim::Parameters current = driver.Current();
  EXPECT_EQ(current.motionCurrent, 1500);
  EXPECT_EQ(current.stepDivision, 4);
  EXPECT_EQ(current.reductionDelay, 60000);
  EXPECT_TRUE(current.smoothing);
  EXPECT_EQ(driver.Saved(), current);
  const auto commands = driver.Commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), (std::pair<uint8_t, int16_t>{CMD_ACTION, ACT_SAVE_EEPROM}));
  EXPECT_TRUE(driver.Received(CMD_SET_REDUCTION_DELAY, -5536));
}

// The driver holds the value in its memory; only a save puts it where a power-up finds it.
TEST(VelkorctlSet, ASaveAskedForIsSentWhenTheDriverHoldsTheValuesAlready) {
  Driver driver;
  ASSERT_EQ(RunCtl({"--port", driver.Port(), "set", "steps=777"}).exitStatus, 0);
  const CtlResult r = RunCtl({"--port", driver.Port(), "set", "steps=777", "--save"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out, "steps=777\n");
  EXPECT_NE(r.err.find("velkorctl: the driver acknowledged the save to EEPROM\n"), std::string::npos) << r.err;
  EXPECT_EQ(driver.Commands().back(), (std::pair<uint8_t, int16_t>{CMD_ACTION, ACT_SAVE_EEPROM}));
  EXPECT_EQ(driver.Saved().steps, 777);
}

TEST(VelkorctlSet, SmoothingAlreadyInTheWantedStateIsNotToggled) {
  Driver driver;
  const CtlResult r = RunCtl({"--port", driver.Port(), "set", "smoothing=off"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out, "smoothing=off\n");
  EXPECT_FALSE(driver.Received(CMD_ACTION, ACT_TOGGLE_SMOOTHING));
  EXPECT_FALSE(driver.Current().smoothing);
}

TEST(VelkorctlSet, ADriverThatStoresAnotherValueEndsWithOneNamingTheParameterAndNothingIsSaved) {
  sim::EmulatorOptions clamping;
  clamping.currentLimitMa = 2000;
  Driver driver(clamping);
  const CtlResult r =
      RunCtl({"--port", driver.Port(), "set", "motionCurrent=2500", "holdingCurrent=700", "--save"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.err,
            "velkorctl: motionCurrent: set to 2500, but the driver reports 2000\n"
            "velkorctl: nothing was saved to EEPROM\n");
  EXPECT_EQ(r.out, "motionCurrent=2000\nholdingCurrent=700\n");
  EXPECT_FALSE(driver.Received(CMD_ACTION, ACT_SAVE_EEPROM));
  EXPECT_EQ(driver.Saved().motionCurrent, 1000);
}

TEST(VelkorctlSet, ACommandTheDriverNeverAcknowledgesEndsWithThree) {
  sim::EmulatorOptions wrongAcks;
  wrongAcks.wrongAckProbability = 1;  // the handshake still completes: any acknowledgement counts there
  Driver driver(wrongAcks);
  const CtlResult set = RunCtl({"--port", driver.Port(), "set", "jogSpeed=90"});
  EXPECT_EQ(set.exitStatus, 3);
  // The emulator carries out the first of the repeated frames: the value may well have arrived.
  EXPECT_EQ(set.err, "velkorctl: jogSpeed may or may not be 90: the driver did not acknowledge the command\n");
  EXPECT_EQ(set.out, "");
  const CtlResult action = RunCtl({"--port", driver.Port(), "action", "zero"});
  EXPECT_EQ(action.exitStatus, 3);
  EXPECT_EQ(action.err, "velkorctl: the driver did not acknowledge the command\n");
}

TEST(VelkorctlProfile, SaveWritesTheDriversParametersDiffTellsTheChangesAndApplyBringsThemBackSaved) {
  Driver driver;
  TempDir dir;
  const std::string file = (dir / "bench.json").string();
  ASSERT_EQ(RunCtl({"--port", driver.Port(), "set", "motionCurrent=1200", "steps=400"}).exitStatus, 0);

  const CtlResult save = RunCtl({"--port", driver.Port(), "profile", "save", file});
  ASSERT_EQ(save.exitStatus, 0) << save.err;
  EXPECT_EQ(save.out, "");
  const std::regex written(
      "\\{\n  \"format\": \"velkor-profile\",\n  \"version\": 1,\n  \"device\": \"VK-3\",\n"
      "  \"savedAt\": \"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\",\n  \"parameters\": \\{\n"
      "    \"stepDivision\": 8,\n    \"motionCurrent\": 1200,\n    \"reductionDelay\": 500,\n"
      "    \"holdingCurrent\": 500,\n    \"faultCurrent\": 5000,\n    \"proportionalK\": 30,\n"
      "    \"levelingK\": 2,\n    \"steps\": 400,\n    \"jogSpeed\": 60,\n    \"jogAccel\": 100,\n"
      "    \"smoothing\": false\n  \\}\n\\}\n");
  EXPECT_TRUE(std::regex_match(FileText(file), written)) << FileText(file);

  ASSERT_EQ(RunCtl({"--port", driver.Port(), "set", "motionCurrent=900", "smoothing=on"}).exitStatus, 0);
  const CtlResult diff = RunCtl({"--port", driver.Port(), "profile", "diff", file});
  EXPECT_EQ(diff.exitStatus, 1);
  EXPECT_EQ(diff.out,
            "stepDivision=8\nmotionCurrent=900 (profile: 1200)\nreductionDelay=500\nholdingCurrent=500\n"
            "faultCurrent=5000\nproportionalK=30\nlevelingK=2\nsteps=400\njogSpeed=60\njogAccel=100\n"
            "smoothing=on (profile: off)\n");
  EXPECT_EQ(diff.err, "velkorctl: the driver differs from " + file + " in 2 parameters\n");

  const CtlResult apply = RunCtl({"--port", driver.Port(), "profile", "apply", file, "--save"});
  ASSERT_EQ(apply.exitStatus, 0) << apply.err;
  EXPECT_EQ(apply.out,
            "stepDivision=8\nmotionCurrent=1200\nreductionDelay=500\nholdingCurrent=500\nfaultCurrent=5000\n"
            "proportionalK=30\nlevelingK=2\nsteps=400\njogSpeed=60\njogAccel=100\nsmoothing=off\n");
  const sim::Parameters current = driver.Current();
  EXPECT_EQ(current.motionCurrent, 1200);
  EXPECT_EQ(current.steps, 400);
  EXPECT_FALSE(current.smoothing);
  EXPECT_EQ(driver.Saved(), current);
  EXPECT_EQ(RunCtl({"--port", driver.Port(), "profile", "diff", file}).exitStatus, 0);
}

TEST(VelkorctlProfile, ABadProfileFileEndsWithTwoAndNothingReachesTheWire) {
  TempDir dir;
  const std::string broken = (dir / "broken.json").string();
  const std::string tooHigh = (dir / "too-high.json").string();
  std::ofstream(broken) << "{\"format\": \"velkor-profile\",";
  std::ofstream(tooHigh) << "{\"format\": \"velkor-profile\", \"version\": 1, \"device\": \"VK-3\", "
                            "\"parameters\": {\"motionCurrent\": 20001}}";
  const std::string fifo = (dir / "fifo.json").string();  // nobody writes to it
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  SilentLine line;
  for (const std::string& file : {broken, tooHigh, (dir / "missing.json").string(), fifo}) {
    for (const char* verb : {"diff", "apply"}) {
      const CtlResult r = RunCtl({"--port", line.Port(), "profile", verb, file});
      EXPECT_EQ(r.exitStatus, 2) << verb << " " << file;
      EXPECT_EQ(r.err.rfind("velkorctl: " + file + ": ", 0), 0u) << r.err;
      EXPECT_EQ(r.out, "");
    }
  }
  EXPECT_EQ(line.Written(), "");
}

TEST(VelkorctlProfile, ControlCharactersFromAFileReachTheTerminalEscaped) {
  TempDir dir;
  const std::string file = dir / "p.json";
  std::ofstream(file) << R"({"format": "velkor-profile", "version": 1, "device": "\u001b]0;x\u0007\u009b2J"})";
  const CtlResult r = RunCtl({"--port", "/dev/null", "profile", "diff", file});
  EXPECT_EQ(r.err, "velkorctl: " + file + R"(: made for the device "\x1B]0;x\x07\u009B2J", not the VK-3)" "\n");
}

TEST(VelkorctlNetwork, OverSer2netWithRfc2217AndRawTheDriverIsShownAndSet) {
  if (!Ser2netInstalled()) GTEST_SKIP() << "ser2net is not installed (scripts/install-deps.sh installs it)";
  Driver driver;
  Ser2netServer server(driver.Port());
  ASSERT_TRUE(server.Serving());

  const CtlResult show = RunCtl({"--port", server.Rfc2217Name(), "show", "--json"});
  ASSERT_EQ(show.exitStatus, 0) << show.err;
  EXPECT_EQ(show.out.rfind("{\"port\":\"" + server.Rfc2217Name() +
                               "\",\"state\":\"connected\",\"status\":\"Соединено VK-3 ID-19.0\",\"parameters\":{\"stepDivision\":8,"
                               "\"motionCurrent\":1000,",
                           0),
            0u)
      << show.out;

  const CtlResult set = RunCtl({"--port", server.Rfc2217Name(), "set", "motionCurrent=1700", "reductionDelay=60000"});
  ASSERT_EQ(set.exitStatus, 0) << set.err;
  EXPECT_EQ(set.out, "motionCurrent=1700\nreductionDelay=60000\n");
  EXPECT_EQ(driver.Current().motionCurrent, 1700);

  // The raw accepter keeps ser2net's own 9600 baud towards the device; the
  // emulator's terminal does not care, a real driver would.
  const CtlResult raw = RunCtl({"--port", server.RawName(), "show"});
  ASSERT_EQ(raw.exitStatus, 0) << raw.err;
  EXPECT_NE(raw.out.find("\nmotionCurrent=1700\nreductionDelay=60000\n"), std::string::npos) << raw.out;
}

TEST(VelkorctlNetwork, ARefusedConnectionEndsWithThreeAndAMalformedAddressWithTwo) {
  const int nobody = FreeLocalPort();
  const std::string refused = "rfc2217://127.0.0.1:" + std::to_string(nobody);
  const CtlResult r = RunCtl({"--port", refused, "show"});
  EXPECT_EQ(r.exitStatus, 3);
  EXPECT_EQ(r.err, "velkorctl: cannot open " + refused + ": Connection refused\n");

  const CtlResult malformed = RunCtl({"--port", "tcp://127.0.0.1:0", "show"});
  EXPECT_EQ(malformed.exitStatus, 2);
  EXPECT_EQ(malformed.err,
            "velkorctl: 'tcp://127.0.0.1:0' is no network port: give rfc2217://, tcp://, rfc2217s:// or "
            "tcps://HOST:PORT, PORT 1..65535, over TLS optionally ?ca=FILE&cert=FILE&key=FILE\n");
}

struct UsageCase {
  std::vector<std::string> args;
  std::string message;  // the whole of standard error
};

TEST(VelkorctlUsage, AUsageErrorEndsWithTwoAndNothingReachesTheWire) {
  const std::vector<UsageCase> cases = {
      {{"set", "motionCurrent=20001"}, "motionCurrent=20001: out of range 0..20000"},
      {{"set", "reductionDelay=60001"}, "reductionDelay=60001: out of range 0..60000"},
      {{"set", "stepDivision=7"},
       "stepDivision=7: the driver knows the divisions 1, 2, 3, 4, 5, 6, 8, 10, 12, 15, 20, 24, 30, 40, 60, 120"},
      {{"set", "steps=-1"}, "steps takes a whole number from 0 to 30000, not '-1'"},
      {{"set", "levelingK=0x3"}, "levelingK takes a whole number from 0 to 15, not '0x3'"},
      {{"set", "smoothing=1"}, "smoothing takes on or off, not '1'"},
      {{"set", "speed=5"},
       "unknown parameter 'speed'; the parameters are stepDivision, motionCurrent, reductionDelay, holdingCurrent, "
       "faultCurrent, proportionalK, levelingK, steps, jogSpeed, jogAccel, smoothing"},
      {{"set", "steps=5", "jogSpeed=10", "steps=6"}, "steps is given twice"},
      {{"set"}, "set needs at least one NAME=VALUE"},
      {{"action", "jump"},
       "unknown action 'jump'; the actions are reread, save, autotune, smoothing, test, step-left, step-right, zero, stop"},
      {{"rotate", "left"}, "rotate needs --for SECONDS"},
      {{"rotate", "left", "--for", "-1"}, "--for takes a number of seconds above 0 and at most 1000000, not '-1'"},
      {{"rotate", "up", "--for", "1"}, "rotate takes left or right and --for SECONDS, not 'up'"},
      {{"watch", "--csv", "--json"}, "watch takes one of --csv and --json"},
      {{"show", "--xml"}, "show takes only --json, not '--xml'"},
      {{"--timeout", "0", "show"}, "--timeout takes a number of seconds above 0 and at most 1000000, not '0'"},
      {{"--timeout", "nan", "show"}, "--timeout takes a number of seconds above 0 and at most 1000000, not 'nan'"},
      {{"jog"}, "unknown command 'jog'; see velkorctl --help"},
      {{}, "no command given; see velkorctl --help"},
  };
  SilentLine line;
  for (const UsageCase& c : cases) {
    std::vector<std::string> args = {"--port", line.Port()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CtlResult r = RunCtl(args);
    EXPECT_EQ(r.exitStatus, 2) << c.message;
    EXPECT_EQ(r.err, "velkorctl: " + c.message + "\n");
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(line.Written(), "");
}

TEST(VelkorctlUsage, WithoutAPortOrVelkorPortItAsksForOne) {
  const CtlResult r = RunCtl({"show"});
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_EQ(r.err, "velkorctl: no port: give --port PORT or set VELKOR_PORT\n");
}

TEST(VelkorctlUsage, HelpGoesToStandardOutputAndNamesEveryCommand) {
  const CtlResult r = RunCtl({"--help"});
  EXPECT_EQ(r.exitStatus, 0);
  for (const char* command : {"show [--json]", "set NAME=VALUE... [--save]", "action NAME",
                              "rotate left|right --for SECONDS", "watch [--csv|--json] [--for SECONDS]"}) {
    EXPECT_NE(r.out.find(command), std::string::npos) << command;
  }
  EXPECT_EQ(r.out.find("server's own line settings"), r.out.rfind("server's own line settings"));
}

TEST(VelkorctlLink, ADriverThatNeverAnswersEndsWithThreeOnceTheTimeoutHasPassed) {
  SilentLine line;
  const auto start = std::chrono::steady_clock::now();
  const CtlResult r = RunCtl({"--port", line.Port(), "--timeout", "0.5", "show"});
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.exitStatus, 3);
  EXPECT_EQ(r.err,
            "velkorctl: the driver did not connect within 0.5 s (the port is open, but the driver has not "
            "answered); check the port, the cable and the driver's power\n");
  EXPECT_EQ(r.out, "");
  EXPECT_GE(took, 500ms);
  EXPECT_LT(took, 3s);
  EXPECT_EQ(line.Written(), "\xFF");  // the wake byte, and no command
}

TEST(VelkorctlLink, APortThatCannotBeOpenedEndsWithThreeAndTheSystemsReason) {
  const CtlResult r = RunCtl({"--port", "/dev/velkor-no-such-port", "show"});
  EXPECT_EQ(r.exitStatus, 3);
  EXPECT_EQ(r.err, "velkorctl: cannot open /dev/velkor-no-such-port: No such file or directory\n");
}

TEST(VelkorctlMotion, ARotationIsKeptAliveForItsTimeAndThenStopped) {
  Driver driver;
  const CtlResult r = RunCtl({"--port", driver.Port(), "rotate", "left", "--for", "1"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  // After the handshake's re-reads (more than one on a slow machine): the rotation, then the stop.
  auto commands = driver.Commands();
  std::erase(commands, std::pair<uint8_t, int16_t>{CMD_ACTION, ACT_REREAD});
  EXPECT_EQ(commands, (std::vector<std::pair<uint8_t, int16_t>>{{CMD_ACTION, ACT_ROTATE_LEFT}, {CMD_ACTION, ACT_STOP}}));
  EXPECT_FALSE(driver.Moving());
  // Without keep-alive bytes the emulator would have stopped after 0.3 s:
  // at 60 rpm and 8 microsteps, 1 s of turning is well past 480 steps.
  const int16_t position = driver.Runner().WithEmulator([](sim::Emulator& e) { return e.Position(); });
  EXPECT_LT(position, -600);
}

TEST(VelkorctlMotion, AStepIsKeptMovingUntilTheShaftComesToRest) {
  Driver driver;
  const CtlResult r = RunCtl({"--port", driver.Port(), "action", "step-right"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(driver.Runner().WithEmulator([](sim::Emulator& e) { return e.Position(); }), 200);
}

TEST(VelkorctlAction, ActionsThatEndInReportsPrintWhatTheDriverReported) {
  Driver driver;
  const CtlResult smoothing = RunCtl({"--port", driver.Port(), "action", "smoothing"});
  ASSERT_EQ(smoothing.exitStatus, 0) << smoothing.err;
  EXPECT_EQ(smoothing.out, "smoothing=on\n");
  EXPECT_TRUE(driver.Current().smoothing);

  const CtlResult tuned = RunCtl({"--port", driver.Port(), "action", "autotune"});
  ASSERT_EQ(tuned.exitStatus, 0) << tuned.err;
  const sim::Parameters after = driver.Current();
  EXPECT_EQ(tuned.out, "proportionalK=" + std::to_string(after.proportionalK) +
                           "\nlevelingK=" + std::to_string(after.levelingK) + "\n");
  EXPECT_NE(after.proportionalK, 30);  // the factory's, before tuning

  const CtlResult zero = RunCtl({"--port", driver.Port(), "action", "zero"});
  EXPECT_EQ(zero.exitStatus, 0) << zero.err;
  EXPECT_EQ(zero.out, "");
  EXPECT_TRUE(driver.Received(CMD_ACTION, ACT_ZERO_POSITION));
}

TEST(VelkorctlMotion, ALinkLostDuringARotationIsNamedOnceForWhatHappened) {
  // An unplugged adapter, or a driver fallen silent, maybe before the rotation's acknowledgement is read.
  const std::vector<std::pair<bool, std::string>> cases = {
      {true, "velkorctl: the port hung up: the adapter was unplugged or the terminal closed( during the rotation)?\n"
             "velkorctl: no stop could be sent, the port being closed: the motor may still be turning until the "
             "driver misses the keep-alive\n"},
      {false, "velkorctl: the driver fell silent( during the rotation)?\nvelkorctl: the driver did not acknowledge "
              "the stop within 1(\\.\\d+)? s: the motor may still be turning\n"}};
  for (const auto& [hangUp, err] : cases) {
    Driver driver;
    CtlProcess ctl({"--port", driver.Port(), "--timeout", "1", "rotate", "left", "--for", "30"});
    ASSERT_TRUE(WaitFor([&] { return driver.Received(CMD_ACTION, ACT_ROTATE_LEFT); }, 20s));
    if (hangUp) driver.Runner().Stop();
    else driver.Runner().WithEmulator([](sim::Emulator& e) { e.StaySilent(60000); });
    const CtlResult r = ctl.Finish();
    EXPECT_EQ(r.exitStatus, 3);
    EXPECT_TRUE(std::regex_match(r.err, std::regex(err))) << r.err;
  }
}

struct Interruption {
  int signal;
  std::vector<std::string> command;
  uint16_t motion;
  uint32_t stopsIgnored = 0;  // by the driver, before it takes one
};

TEST(VelkorctlMotion, AnInterruptionDuringARotationOrAStepStopsTheMotorBeforeTheProgramEnds) {
  const std::vector<Interruption> cases = {
      {SIGINT, {"rotate", "right", "--for", "30"}, ACT_ROTATE_RIGHT},
      {SIGTERM, {"action", "step-left"}, ACT_STEP_LEFT},
      // The first stop is lost: only one sent again can have been carried out.
      {SIGINT, {"rotate", "left", "--for", "30"}, ACT_ROTATE_LEFT, 1},
  };
  for (const Interruption& c : cases) {
    sim::EmulatorOptions options;
    options.ignoreStops = c.stopsIgnored;
    Driver driver(options);
    // A step long enough to be caught moving: 30000 steps at 1 rpm.
    ASSERT_EQ(RunCtl({"--port", driver.Port(), "set", "steps=30000", "jogSpeed=1"}).exitStatus, 0);
    std::vector<std::string> args = {"--port", driver.Port()};
    args.insert(args.end(), c.command.begin(), c.command.end());
    CtlProcess ctl(args);
    ASSERT_TRUE(WaitFor([&] { return driver.Received(CMD_ACTION, c.motion) && driver.Moving(); }))
        << c.command[0];
    std::this_thread::sleep_for(500ms);  // past the emulator's keep-alive timeout
    ASSERT_TRUE(driver.Moving()) << "kept alive";
    ctl.Signal(c.signal);
    const auto start = std::chrono::steady_clock::now();
    const CtlResult r = ctl.Finish();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(r.exitStatus, 3);
    EXPECT_NE(r.err.find("interrupted"), std::string::npos) << r.err;
    const auto commands = driver.Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), (std::pair<uint8_t, int16_t>{CMD_ACTION, ACT_STOP})) << c.command[0];
    EXPECT_FALSE(driver.Moving());
  }
}

TEST(VelkorctlWatch, CsvPrintsTheReadingsFileHeaderThenOneTimedLineForEachStatusReport) {
  sim::EmulatorOptions slow;
  slow.statusPeriodMs = 50;
  Driver driver(slow);
  const CtlResult r = RunCtl({"--port", driver.Port(), "watch", "--csv", "--for", "1"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  // The readings file's header: its version, the driver, the parameters, then the columns.
  ASSERT_EQ(r.out.substr(0, 20), "# velkor readings 2\n");
  for (const char* line : {"\n# driver: /dev/pts/", "\n# rows: every status report\n",
                           "\n# parameter motionCurrent: 1000\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line;
  const std::string columns =
      "\ntime_s,set_current_a_ma,set_current_b_ma,actual_current_a_ma,actual_current_b_ma,pwm_a,pwm_b,"
      "total_current_ma,shaft_speed_rpm,position_steps,phase,event\n";
  const size_t header = r.out.find(columns);
  ASSERT_NE(header, std::string::npos) << r.out;
  // Seconds since the header, then the readings: the shaft at rest, winding A holding; no event.
  const std::regex row("\\d\\.\\d{3},\\d+,0,\\d+,-?\\d+,\\d+,-?\\d+,\\d+,0,0,0,");
  size_t rows = 0;
  std::string rest = r.out.substr(header + columns.size());
  for (size_t end = 0; (end = rest.find('\n')) != std::string::npos; rest.erase(0, end + 1)) {
    EXPECT_TRUE(std::regex_match(rest.substr(0, end), row)) << rest.substr(0, end);
    ++rows;
  }
  EXPECT_EQ(rest, "");
  // One status report each 50 ms for a second: about 20 lines, not one for
  // each of the readings between them (some 160). An emulator held up by a
  // loaded machine sends the reports it missed at once, so a few more come.
  EXPECT_GE(rows, 15u);
  EXPECT_LE(rows, 40u);
}

TEST(VelkorctlShow, ReadingsTheDriverNeverSendsAreUnknownAndNamedShowEndsWithZeroAndPathsNeedNoUtf8) {
  sim::EmulatorOptions sparse;
  sparse.liveReports = 1u << RPT_SET_CURRENT_A | 1u << RPT_SET_CURRENT_B | 1u << RPT_POSITION;
  Driver driver(sparse);
  TempDir dir;
  const std::string path = (dir / "driver").string(), port = path + "\xff";
  ASSERT_EQ(symlink(driver.Port().c_str(), port.c_str()), 0);
  const std::string unknown = "setCurrentA=\\d+ setCurrentB=0 actualCurrentA=unknown actualCurrentB=unknown pwmA=unknown "
                              "pwmB=unknown totalCurrent=unknown shaftSpeed=0 position=0 phase=unknown\n";
  // The command, and a regular expression for its output; PORT: the path's UTF-8 part.
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"show", "--json"},
       "\\{\"port\":\"PORT\\\\udcff\",\"state\":\"connected\",.*\"readings\":\\{\"setCurrentA\":\\d+,\"setCurrentB\":0,"
       "\"actualCurrentA\":null,\"actualCurrentB\":null,\"pwmA\":null,\"pwmB\":null,\"totalCurrent\":null,"
       "\"shaftSpeed\":0,\"position\":0,\"phase\":null\\}\\}\n"},
      {{"show"}, "port=[^\n]+\nstate=connected\n[\\s\\S]*\nsmoothing=off\n" + std::regex_replace(unknown, std::regex(" "), "\n")},
      {{"watch", "--for", "0.3"}, "(" + unknown + ")+"},
  };
  for (const auto& [command, out] : cases) {
    std::vector<std::string> args = {"--port", port, "--timeout", "20"};
    args.insert(args.end(), command.begin(), command.end());
    const auto start = std::chrono::steady_clock::now();
    const CtlResult r = RunCtl(args);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << command[0];  // not the timeout
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_TRUE(std::regex_match(r.out, std::regex(std::regex_replace(out, std::regex("PORT"), path)))) << r.out;
    EXPECT_EQ(r.err, command[0] == "watch" ? "" : "velkorctl: the driver has not reported actualCurrentA, actualCurrentB, "
                                                   "pwmA, pwmB, totalCurrent, phase; shown as unknown\n");
  }
}

TEST(VelkorctlStatus, DiffAndSetTellADriverThatDiffersByOneAndOneThatCouldNotBeAskedByThree) {
  sim::EmulatorOptions clamping;
  clamping.currentLimitMa = 2000;
  Driver driver(clamping);
  SilentLine line;
  TempDir dir;
  const std::string same = (dir / "1000.json").string(), other = (dir / "1200.json").string();
  for (const std::string current : {"1000", "1200"}) {
    std::ofstream(dir / (current + ".json")) << "{\"format\": \"velkor-profile\", \"version\": 1, \"device\": "
                                                "\"VK-3\", \"parameters\": {\"motionCurrent\": " << current << "}}";
  }
  const std::vector<std::tuple<bool, std::vector<std::string>, int>> cases = {  // driver there?, command, status
      {true, {"profile", "diff", same}, 0},     {true, {"profile", "diff", other}, 1},
      {true, {"set", "motionCurrent=2500"}, 1}, {true, {"set", "motionCurrent=1500"}, 0},
      {false, {"profile", "diff", same}, 3},    {false, {"set", "motionCurrent=1500"}, 3},
  };
  for (const auto& [connected, command, status] : cases) {
    std::vector<std::string> args = {"--port", connected ? driver.Port() : line.Port()};
    if (!connected) args.insert(args.end(), {"--timeout", "0.5"});
    args.insert(args.end(), command.begin(), command.end());
    EXPECT_EQ(RunCtl(args).exitStatus, status) << command[0] << " " << command.back();
  }
}

TEST(VelkorctlWatch, CtrlCSigtermOrAReaderThatHasHadEnoughEndsItWithZeroAndNoMessage) {
  Driver driver;
  for (const int signal : {SIGINT, SIGTERM, SIGPIPE}) {
    CtlProcess ctl({"--port", driver.Port(), "watch"});
    ASSERT_TRUE(ctl.AwaitOutput()) << signal;
    if (signal == SIGPIPE) ctl.CloseOutput();  // as `watch | head -n 1` does
    else ctl.Signal(signal);
    const CtlResult r = ctl.Finish();
    EXPECT_EQ(r.exitStatus, 0) << signal;
    EXPECT_EQ(r.err, "") << signal;
    EXPECT_EQ(r.out.rfind("setCurrentA=", 0), 0u) << r.out;
  }
}

using Commands = std::vector<std::pair<uint8_t, int16_t>>;

// A plan file in a temporary directory, and the JUnit file beside it.
struct PlanFiles {
  TempDir dir;
  std::string plan = (dir / "plan.json").string();
  std::string junit = (dir / "junit.xml").string();
  explicit PlanFiles(const std::string& text) { std::ofstream(plan) << text; }
  std::string Junit() const {
    std::ifstream file(junit);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
};

TEST(VelkorctlTest, APlanExitsZeroWhenEveryBoundHoldsAndOneWhenOneDoesNotWithOneJunitCaseABound) {
  const std::string crawl = R"({"run": "crawl", "speed_rpm": 2, "for_s": 1, "name": "circle", "bounds": )";
  const std::vector<std::tuple<std::string, int, std::string>> cases = {  // bounds, status, JUnit
      {R"({"ripplePercent": {"max": 50}, "basis.readings": {"min": 10}})", 0,
       "<\\?xml version=\"1.0\" encoding=\"UTF-8\"\\?>\n"
       "<testsuites tests=\"2\" failures=\"0\" errors=\"0\">\n"
       "  <testsuite name=\"[^\"]*plan.json\" tests=\"2\" failures=\"0\" errors=\"0\" time=\"[0-9.]+\">\n"
       "    <testcase classname=\"circle\" name=\"basis.readings min 10\" time=\"[0-9.]+\"/>\n"
       "    <testcase classname=\"circle\" name=\"ripplePercent max 50\" time=\"[0-9.]+\"/>\n"
       "  </testsuite>\n</testsuites>\n"},
      {R"({"ripplePercent": {"min": 40, "max": 50}, "basis.readings": {"min": 10}})", 1,
       "<\\?xml version=\"1.0\" encoding=\"UTF-8\"\\?>\n"
       "<testsuites tests=\"2\" failures=\"1\" errors=\"0\">\n"
       "  <testsuite name=\"[^\"]*plan.json\" tests=\"2\" failures=\"1\" errors=\"0\" time=\"[0-9.]+\">\n"
       "    <testcase classname=\"circle\" name=\"basis.readings min 10\" time=\"[0-9.]+\"/>\n"
       "    <testcase classname=\"circle\" name=\"ripplePercent 40 .. 50\" time=\"[0-9.]+\">\n"
       "      <failure message=\"ripplePercent = [0-9.e-]+: below 40\"/>\n    </testcase>\n"
       "  </testsuite>\n</testsuites>\n"},
  };
  for (const auto& [bounds, status, junit] : cases) {
    Driver driver;
    const PlanFiles files(R"({"steps": [)" + crawl + bounds + "}]}");
    const CtlResult r = RunCtl({"--port", driver.Port(), "test", files.plan, "--junit", files.junit});
    EXPECT_EQ(r.exitStatus, status) << r.out << r.err;
    EXPECT_TRUE(std::regex_match(files.Junit(), std::regex(junit))) << files.Junit();
    EXPECT_FALSE(driver.Moving());
  }
}

TEST(VelkorctlTest, ABadPlanExitsTwoAndSendsNothing) {
  const std::vector<std::pair<std::string, std::string>> cases = {  // plan, message
      {"{\"steps\": [", "not JSON (unterminated array at byte 11)"},
      {R"({"steps": []})", "a plan is an object with a non-empty \"steps\" array"},
      {R"({"steps": [{"run": "spin"}]})", "step 1: \"run\" takes \"analyze\", \"crawl\", \"sweep\" or \"tune\""},
      {R"({"steps": [{"run": "crawl", "speed_rpm": 2.5}]})",
       "step 1: --speed takes a whole number of rpm from 1 to 30000, not '2.5'"},
      {R"({"steps": [{"run": "crawl", "speed": 2}]})", "step 1: unknown key \"speed\""},
      {R"({"steps": [{"run": "sweep", "from_rpm": 60}]})", "step 1: sweep needs --from RPM and --to RPM"},
      {R"({"steps": [{"run": "tune", "then": "revert", "save": true}]})",
       "step 1: tune --revert gives the old values back; --save goes with --keep"},
      {R"({"steps": [{"run": "analyze", "bounds": {"readings": {"min": 5, "max": 1}}}]})",
       "step 1: the bound on \"readings\" has its \"min\" above its \"max\""},
      {R"({"steps": [{"run": "analyze"}], "steps": [{"run": "crawl"}]})", "\"steps\" is written twice, again at byte 32"},
  };
  SilentLine line;
  for (const auto& [text, message] : cases) {
    const PlanFiles files(text);
    const CtlResult r = RunCtl({"--port", line.Port(), "test", files.plan});
    EXPECT_EQ(r.exitStatus, 2) << text;
    EXPECT_EQ(r.err, "velkorctl: " + files.plan + ": " + message + "\n");
  }
  EXPECT_EQ(line.Written(), "");
}

TEST(VelkorctlTest, AJunitFileThatCannotBeWrittenOrAPlanThatIsNoFileExitsTwoBeforeAnyMotion) {
  const PlanFiles files(R"({"steps": [{"run": "crawl", "speed_rpm": 2, "for_s": 1}]})");
  const std::string folder = files.dir.Path().string();
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {  // arguments, message
      {{"test", files.plan, "--junit", folder}, "cannot write " + folder + ": not a regular file"},
      {{"test", files.plan, "--junit", folder + "/none/junit.xml"},
       "cannot write " + folder + "/none/junit.xml: No such file or directory"},
      {{"test", "/dev/null"}, "/dev/null: not a regular file (a FIFO, a device or a socket); plans are ordinary files"},
  };
  SilentLine line;
  for (const auto& [args, message] : cases) {
    std::vector<std::string> all = {"--port", line.Port()};
    all.insert(all.end(), args.begin(), args.end());
    const CtlResult r = RunCtl(all);
    EXPECT_EQ(r.exitStatus, 2) << message;
    EXPECT_EQ(r.err, "velkorctl: " + message + "\n");
  }
  EXPECT_EQ(line.Written(), "");
}

TEST(VelkorctlTest, AStepThatEndsShortLeavesItsBoundsAndTheLaterStepsUntoldWithStatusThree) {
  sim::EmulatorOptions falling;
  falling.hangUpAfterMs = 1500;  // during the crawl: an adapter unplugged
  Driver driver(falling);
  const PlanFiles files(R"({"steps": [{"run": "crawl", "speed_rpm": 2, "for_s": 5, "name": "circle",
                                       "bounds": {"ripplePercent": {"max": 50}}},
                                      {"run": "analyze", "bounds": {"basis.readings": {"min": 1}}}]})");
  const CtlResult r = RunCtl({"--port", driver.Port(), "test", files.plan, "--junit", files.junit});
  EXPECT_EQ(r.exitStatus, 3) << r.err;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("^step circle: the link was lost; the driver stops a jog that gets "
                                                  "no keep-alive\nstep analyze 2: not run: an earlier step ended short\n"
                                                  "UNKNOWN  circle: ripplePercent = \\? \\(max 50\\): the link was lost")))
      << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\n2 bounds: 0 held, 0 failed, 2 could not be told\n$"))) << r.out;
  EXPECT_TRUE(std::regex_search(files.Junit(), std::regex("<testsuites tests=\"2\" failures=\"0\" errors=\"2\">")))
      << files.Junit();
}

TEST(VelkorctlMeasuring, EachCommandPrintsItsFiguresAndLeavesTheMotorStoppedAtItsOwnJogSpeed) {
  const std::vector<std::tuple<std::vector<std::string>, std::string, Commands>> cases = {  // command, output, executed
      {{"analyze", "--for", "0.5", "--json"}, "^\\{\"windowS\":0.5,.*\\}\n$", {}},
      {{"crawl", "--speed", "2", "--for", "0.5"}, "(^|\n)ripplePercent=[0-9.]+\n",
       {{CMD_SET_JOG_SPEED, 2}, {CMD_ACTION, ACT_ROTATE_RIGHT}, {CMD_ACTION, ACT_STOP}, {CMD_SET_JOG_SPEED, 60}}},
      {{"sweep", "--from", "30", "--to", "90", "--steps", "2"}, "\nsteps.1.targetRpm=90\n",
       {{CMD_SET_JOG_SPEED, 30}, {CMD_ACTION, ACT_ROTATE_RIGHT}, {CMD_SET_JOG_SPEED, 90}, {CMD_ACTION, ACT_STOP},
        {CMD_SET_JOG_SPEED, 60}}},
  };
  for (const auto& [command, output, executed] : cases) {
    Driver driver;
    std::vector<std::string> args = {"--port", driver.Port()};
    args.insert(args.end(), command.begin(), command.end());
    const CtlResult r = RunCtl(args);
    EXPECT_EQ(r.exitStatus, 0) << command[0] << r.err;
    EXPECT_TRUE(std::regex_search(r.out, std::regex(output))) << r.out;
    Commands moving = driver.Commands();  // without the connection's re-reads
    std::erase(moving, std::pair<uint8_t, int16_t>{CMD_ACTION, ACT_REREAD});
    EXPECT_EQ(moving, executed) << command[0];
    EXPECT_FALSE(driver.Moving()) << command[0];
    EXPECT_EQ(driver.Current().jogSpeed, 60) << command[0];
  }
}

TEST(VelkorctlCrawl, CtrlCOrSigtermStopsTheMotorBeforeVelkorctlEnds) {
  sim::EmulatorOptions patient;
  patient.jogTimeoutMs = 60000;  // only the stop can end the rotation
  for (const int signal : {SIGINT, SIGTERM}) {
    Driver driver(patient);
    CtlProcess ctl({"--port", driver.Port(), "crawl", "--speed", "30", "--for", "60"});
    ASSERT_TRUE(WaitFor([&] { return driver.Moving(); }, 10s)) << signal;
    ctl.Signal(signal);
    const CtlResult r = ctl.Finish();
    EXPECT_EQ(r.exitStatus, 3) << signal;
    EXPECT_EQ(r.err, "velkorctl: interrupted; stopping the motor\nvelkorctl: stopped before its end\n") << signal;
    EXPECT_FALSE(driver.Moving()) << signal;
    EXPECT_TRUE(driver.Received(CMD_ACTION, ACT_STOP)) << signal;
    EXPECT_EQ(driver.Current().jogSpeed, 60) << signal;  // the jog speed the crawl found
  }
}

TEST(VelkorctlTune, RevertGivesTheSnapshotBackAndShowsTheTunedCoefficients) {
  Driver driver;
  const CtlResult r = RunCtl({"--port", driver.Port(), "tune", "--revert"}, {});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_TRUE(driver.Received(CMD_ACTION, ACT_AUTOTUNE));
  EXPECT_EQ(driver.Current().proportionalK, 30);
  EXPECT_EQ(driver.Current().levelingK, 2);
  EXPECT_EQ(driver.Current().jogSpeed, 60);
  // The names come in alphabetical order.
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\ndecision=reverted\nklAfter=[5-7]\nklBefore=2\n"
                                                  "kpAfter=(5[5-9]|6[0-5])\nkpBefore=30\n")))
      << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\nreverted.levelingK.reported=2\nreverted.levelingK.snapshot=2\n")))
      << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\nreverted.proportionalK.reported=30\n"
                                                  "reverted.proportionalK.snapshot=30\n"))) << r.out;
}

}  // namespace
}  // namespace velkor::test
