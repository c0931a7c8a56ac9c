// change_watch_test.cpp: the panel's edits journalled once each, when the
// driver has answered them: confirmed, a mismatch, or lost with the link;
// and a save once the driver acknowledged it.
#include <gtest/gtest.h>

#include "change_watch.h"
#include "codes.h"
#include "journal_entry.h"

namespace velkor {
namespace {

const JournalSource SOURCE{"", "", "/dev/ttyUSB0", "/dev/serial/by-id/usb-A"};
const std::string HEAD =
    R"({"time":"T","program":"velkor","host":"H","client":null,"driver":null,"port":"/dev/ttyUSB0","identity":"/dev/serial/by-id/usb-A",)";

// The lines the watch gives after this step, with a fixed time, program and host.
std::vector<std::string> Step(ChangeWatch& watch, const ParameterStates& states) {
  std::vector<std::string> lines;
  for (JournalEntry e : StepChangeWatch(watch, states, SOURCE)) {
    e.time = "T";
    e.program = "velkor";
    e.host = "H";
    lines.push_back(JournalLine(e));
  }
  return lines;
}

// A driver that reported jogSpeed 60 and motionCurrent 1000 on connection.
ParameterStates Connected(ChangeWatch& watch) {
  ParameterStates states;
  NoteReport(states, RPT_JOG_SPEED, 60);
  NoteReport(states, RPT_MOTION_CURRENT, 1000);
  EXPECT_TRUE(Step(watch, states).empty());
  return states;
}

TEST(ChangeWatch, AnEditIsJournalledOnceWhenItsReportComesAndNotWhileItIsOnItsWay) {
  ChangeWatch watch;
  ParameterStates states = Connected(watch);
  NoteQueued(states, CMD_SET_JOG_SPEED, 90);
  EXPECT_TRUE(Step(watch, states).empty());
  NoteSent(states, CMD_SET_JOG_SPEED, 90);
  NoteAcknowledged(states, CMD_SET_JOG_SPEED, 90);
  EXPECT_TRUE(Step(watch, states).empty());
  NoteReport(states, RPT_JOG_SPEED, 90);
  EXPECT_EQ(Step(watch, states),
            std::vector<std::string>{HEAD + R"("kind":"change","parameter":"jogSpeed","old":60,"new":90,"reported":90,"confirmed":true,"saved":false,"profile":null,"message":null})" "\n"});
  NoteReport(states, RPT_JOG_SPEED, 90);
  EXPECT_TRUE(Step(watch, states).empty());
}

TEST(ChangeWatch, AReportOfAnotherValueIsAMismatchAndALinkResetLosesWhatWasQueued) {
  ChangeWatch watch;
  ParameterStates states = Connected(watch);
  // The panel queues between ticks; the tick after sends.
  NoteQueued(states, CMD_SET_MOTION_CURRENT, 2500);
  EXPECT_TRUE(Step(watch, states).empty());
  NoteSent(states, CMD_SET_MOTION_CURRENT, 2500);
  NoteAcknowledged(states, CMD_SET_MOTION_CURRENT, 2500);
  NoteReport(states, RPT_MOTION_CURRENT, 2000);
  NoteQueued(states, CMD_SET_JOG_SPEED, 70);
  EXPECT_EQ(Step(watch, states),
            std::vector<std::string>{HEAD + R"("kind":"change","parameter":"motionCurrent","old":1000,"new":2500,"reported":2000,"confirmed":false,"saved":false,"profile":null,"message":null})" "\n"});
  NoteReset(states);
  EXPECT_EQ(Step(watch, states),
            std::vector<std::string>{HEAD + R"("kind":"change","parameter":"jogSpeed","old":60,"new":70,"reported":null,"confirmed":false,"saved":false,"profile":null,"message":"not sent: the link started over"})" "\n"});
}

TEST(ChangeWatch, ASaveIsJournalledWhenTheDriverAcknowledgesIt) {
  ChangeWatch watch;
  ParameterStates states = Connected(watch);
  NoteQueued(states, CMD_ACTION, ACT_SAVE_EEPROM);
  NoteSent(states, CMD_ACTION, ACT_SAVE_EEPROM);
  EXPECT_TRUE(Step(watch, states).empty());
  NoteAcknowledged(states, CMD_ACTION, ACT_SAVE_EEPROM);
  EXPECT_EQ(Step(watch, states),
            std::vector<std::string>{HEAD + R"("kind":"save","parameter":null,"old":null,"new":null,"reported":null,"confirmed":true,"saved":null,"profile":null,"message":null})" "\n"});
}

}  // namespace
}  // namespace velkor
