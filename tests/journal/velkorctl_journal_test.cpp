// velkorctl_journal_test.cpp: what velkorctl records in the user's state
// directory, run as a script runs it against the emulator: one journal line
// per parameter it changed with what the driver confirmed and saved, a
// snapshot profile on connection, and the journal read back by driver and
// time with a damaged line skipped.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "ctl_process.h"
#include "pty_runner.h"
#include "temp_dir.h"

namespace velkor::test {
namespace {

// The state directory of the test's own, for velkorctl started from it.
class StateHome {
 public:
  StateHome() { ::setenv("XDG_STATE_HOME", dir_.Path().c_str(), 1); }
  std::filesystem::path Velkor() const { return dir_ / "velkor"; }

 private:
  TempDir dir_;
};

class Emulator {
 public:
  explicit Emulator(sim::EmulatorOptions options = {}) : runner_(options) { EXPECT_TRUE(runner_.Start()); }
  ~Emulator() { runner_.Stop(); }
  const std::string& Port() const { return runner_.SlavePath(); }

 private:
  sim::PtyRunner runner_;
};

// The journal's lines with what changes from run to run (the time, the
// host, the pseudo-terminal's name) put as T, H and P.
std::vector<std::string> JournalLines(const std::filesystem::path& file, const std::string& port) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    line = std::regex_replace(line, std::regex("\"time\":\"[^\"]*\""), "\"time\":T");
    line = std::regex_replace(line, std::regex("\"host\":\"[^\"]*\""), "\"host\":H");
    line = std::regex_replace(line, std::regex(port), "P");
    lines.push_back(line);
  }
  return lines;
}

struct SetRow {
  const char* name;
  int currentLimitMa;  // 0: the emulator takes every value
  std::vector<std::string> args;
  int exitStatus;
  std::vector<std::string> journal;
};

void PrintTo(const SetRow& row, std::ostream* os) { *os << row.name; }

class VelkorctlJournalSet : public testing::TestWithParam<SetRow> {};

TEST_P(VelkorctlJournalSet, EachChangeIsJournalledOnceWithWhatTheDriverConfirmedAndSaved) {
  const SetRow& row = GetParam();
  const StateHome home;
  sim::EmulatorOptions options;
  if (row.currentLimitMa) options.currentLimitMa = row.currentLimitMa;
  Emulator driver(options);
  std::vector<std::string> args = {"--port", driver.Port()};
  args.insert(args.end(), row.args.begin(), row.args.end());
  const CtlResult r = RunCtl(args);
  EXPECT_EQ(r.exitStatus, row.exitStatus) << r.err;
  // The identity is the terminal's resolved name, the same as the port here.
  EXPECT_EQ(JournalLines(home.Velkor() / "journal.jsonl", driver.Port()), row.journal);
}

constexpr const char* HEAD = R"({"time":T,"program":"velkorctl","host":H,"client":null,"driver":null,"port":"P","identity":"P",)";

INSTANTIATE_TEST_SUITE_P(
    Rows, VelkorctlJournalSet,
    testing::Values(
        SetRow{"confirmedAndSaved", 0, {"set", "motionCurrent=1500", "holdingCurrent=500", "smoothing=on", "--save"}, 0,
               {std::string(HEAD) + R"("kind":"change","parameter":"motionCurrent","old":1000,"new":1500,"reported":1500,"confirmed":true,"saved":true,"profile":null,"message":null})",
                std::string(HEAD) + R"("kind":"change","parameter":"smoothing","old":false,"new":true,"reported":true,"confirmed":true,"saved":true,"profile":null,"message":null})",
                std::string(HEAD) + R"("kind":"save","parameter":null,"old":null,"new":null,"reported":null,"confirmed":true,"saved":null,"profile":null,"message":null})"}},
        SetRow{"mismatchNotSaved", 2000, {"set", "motionCurrent=2500", "jogSpeed=70", "--save"}, 1,
               {std::string(HEAD) + R"("kind":"change","parameter":"motionCurrent","old":1000,"new":2500,"reported":2000,"confirmed":false,"saved":false,"profile":null,"message":null})",
                std::string(HEAD) + R"("kind":"change","parameter":"jogSpeed","old":60,"new":70,"reported":70,"confirmed":true,"saved":false,"profile":null,"message":null})"}},
        SetRow{"actionSave", 0, {"action", "save"}, 0,
               {std::string(HEAD) + R"("kind":"save","parameter":null,"old":null,"new":null,"reported":null,"confirmed":true,"saved":null,"profile":null,"message":null})"}},
        SetRow{"nothingChangedNothingJournalled", 0, {"set", "jogSpeed=60"}, 0, {}}),
    [](const testing::TestParamInfo<SetRow>& info) { return std::string(info.param.name); });

TEST(VelkorctlJournalTorn, AnEntryAfterATornLastLineHasALineOfItsOwnAndFileReadsIt) {
  const StateHome home;
  std::filesystem::create_directories(home.Velkor());
  std::ofstream(home.Velkor() / "journal.jsonl") << R"({"time":"2026-12-08T23:0)";
  Emulator driver;
  EXPECT_EQ(RunCtl({"--port", driver.Port(), "set", "jogSpeed=61"}).exitStatus, 0);
  const StateHome another;  // the journal is read as velkord's would be
  const CtlResult read = RunCtl({"journal", "--file", (home.Velkor() / "journal.jsonl").string()});
  EXPECT_NE(read.out.find(" " + driver.Port() + ": jogSpeed 60 -> 61, confirmed, not saved\n"), std::string::npos);
}

TEST(VelkorctlSnapshot, OnConnectionTheDriversParametersAreKeptAsAProfileThatDiffReads) {
  const StateHome home;
  Emulator driver;
  ASSERT_EQ(RunCtl({"--port", driver.Port(), "show"}).exitStatus, 0);
  // /dev/pts/N: no by-id link, so its resolved path names it.
  const std::filesystem::path dir =
      home.Velkor() / "snapshots" / ("dev_pts_" + driver.Port().substr(std::string("/dev/pts/").size()));
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) files.push_back(entry.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(std::regex_match(files[0].filename().string(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d-\d\d-\d\d\.\d{3}Z\.json)")));
  const std::string text = FileText(files[0]);
  EXPECT_NE(text.find("\"note\": \"on connection to " + driver.Port() + "\""), std::string::npos) << text;
  EXPECT_NE(text.find(R"("motionCurrent": 1000,)"), std::string::npos) << text;
  EXPECT_NE(text.find(R"("smoothing": false)"), std::string::npos) << text;
  // "The values it had then", compared with the driver after a change.
  ASSERT_EQ(RunCtl({"--port", driver.Port(), "set", "jogSpeed=90"}).exitStatus, 0);
  const CtlResult diff = RunCtl({"--port", driver.Port(), "profile", "diff", files[0].string()});
  EXPECT_EQ(diff.exitStatus, 1);
  EXPECT_NE(diff.out.find("jogSpeed=90 (profile: 60)\n"), std::string::npos) << diff.out;
}

struct ReadRow {
  const char* name;
  std::vector<std::string> args;
  std::string out;
};

void PrintTo(const ReadRow& row, std::ostream* os) { *os << row.name; }

class VelkorctlJournalRead : public testing::TestWithParam<ReadRow> {};

const std::string OLD_CHANGE =
    R"({"time":"2026-11-30T08:00:00.000Z","program":"velkor","host":"bench","client":null,"driver":null,"port":"/dev/ttyUSB0","identity":"/dev/serial/by-id/usb-A","kind":"change","parameter":"jogSpeed","old":60,"new":90,"reported":90,"confirmed":true,"saved":false,"profile":null,"message":null})"
    "\n";
const std::string REMOTE_CHANGE =
    R"({"time":"2026-12-02T09:30:00.000Z","program":"velkord","host":"line1","client":"op-7","driver":"d2","port":"tcp://10.0.0.2:4001","identity":"tcp://10.0.0.2:4001","kind":"change","parameter":"smoothing","old":false,"new":true,"reported":false,"confirmed":false,"saved":false,"profile":null,"message":null})"
    "\n";
const std::string TORN = R"({"time":"2026-12-03T10:00:00.000Z","program":"velk)" "\n";  // cut short by a full disk
const std::string SAVE =
    R"({"time":"2026-12-04T11:00:00.000Z","program":"velkorctl","host":"bench","client":null,"driver":null,"port":"/dev/ttyUSB0","identity":"/dev/serial/by-id/usb-A","kind":"save","parameter":null,"old":null,"new":null,"reported":null,"confirmed":true,"saved":null,"profile":null,"message":null})"
    "\n";

TEST_P(VelkorctlJournalRead, EntriesAreChosenByDriverAndTimeAndADamagedLineIsSkippedAndSaid) {
  const ReadRow& row = GetParam();
  const StateHome home;
  std::filesystem::create_directories(home.Velkor());
  std::ofstream(home.Velkor() / "journal.jsonl") << OLD_CHANGE << REMOTE_CHANGE << TORN << SAVE;
  std::vector<std::string> args = {"journal"};
  args.insert(args.end(), row.args.begin(), row.args.end());
  const CtlResult r = RunCtl(args);
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, row.out);
  EXPECT_EQ(r.err, "velkorctl: line 3 of " + (home.Velkor() / "journal.jsonl").string() +
                       " is not a journal entry (torn or damaged); skipped\n");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, VelkorctlJournalRead,
    testing::Values(
        ReadRow{"all", {},
                "2026-11-30T08:00:00.000Z velkor@bench /dev/ttyUSB0: jogSpeed 60 -> 90, confirmed, not saved\n"
                "2026-12-02T09:30:00.000Z velkord@line1 for op-7 d2 (tcp://10.0.0.2:4001): smoothing off -> on, not "
                "confirmed (reported off), not saved\n"
                "2026-12-04T11:00:00.000Z velkorctl@bench /dev/ttyUSB0: save to EEPROM, acknowledged\n"},
        ReadRow{"byIdentitySince", {"--driver", "/dev/serial/by-id/usb-A", "--since", "2026-12-01"},
                "2026-12-04T11:00:00.000Z velkorctl@bench /dev/ttyUSB0: save to EEPROM, acknowledged\n"},
        ReadRow{"byDriverNameAsJson", {"--driver=d2", "--json"}, REMOTE_CHANGE},
        ReadRow{"sinceAnHourAgo", {"--since", "1h"}, ""}),
    [](const testing::TestParamInfo<ReadRow>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velkor::test
