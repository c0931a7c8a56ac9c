// remote_command_test.cpp: a command from the broker read as velkorctl's
// command line would be, refused where velkord's policy says so, and the
// reply written with each parameter's result.
#include <gtest/gtest.h>

#include <variant>

#include "codes.h"
#include "remote_command.h"

namespace velkor::daemon {
namespace {

using namespace std::chrono_literals;

constexpr RemotePolicy STILL{false, 10s, 5s};
constexpr RemotePolicy MOVING{true, 3s, 5s};

struct Refused {
  const char* name;
  const char* command;
  const char* payload;
  RemotePolicy policy;
  const char* message;
};

TEST(RemoteCommand, WhatVelkordOrVelkorctlWouldRefuseIsRefusedWithItsReason) {
  const Refused rows[] = {
      {"not JSON", "set", "{values", STILL, "the command is not a JSON object"},
      {"no values", "set", "{}", STILL, "set needs \"values\": {\"NAME\": VALUE, ...}"},
      {"out of range", "set", R"({"values":{"levelingK":16}})", STILL, "levelingK=16: out of range 0..15"},
      {"motion not allowed", "action", R"({"action":"step-left","client":"a"})", STILL,
       "remote motion is not allowed by velkord's configuration"},
      {"motion without a client", "action", R"({"action":"test"})", MOVING,
       "a motion needs \"client\", whose presence topic stops it when the client goes away"},
      {"rotation without a duration", "action", R"({"action":"rotate-left","client":"a"})", MOVING,
       "a rotation needs \"duration_s\", a positive number of seconds"},
      {"rotation too long", "action", R"({"action":"rotate-right","duration_s":3.5,"client":"a"})", MOVING,
       "a remote rotation may last 3 s at most"},
      {"client with a wildcard", "show", R"({"client":"a/#"})", STILL,
       "\"client\" must be one topic level without wildcards"},
      {"save as text", "set", R"({"values":{"levelingK":3},"save":"yes"})", STILL, "\"save\" must be true or false"},
      {"save as a number", "profile", R"({"profile":{},"save":1})", STILL, "\"save\" must be true or false"},
      {"a value as text", "set", R"({"values":{"motionCurrent":"1200"}})", STILL,
       "the value of motionCurrent must be a number (smoothing: true or false)"},
      {"no wait", "show", R"({"timeout_s":0})", STILL,
       "\"timeout_s\" must be a positive number of seconds, the asker's wait for the reply"},
      {"unknown command", "watch", "{}", STILL,
       "unknown command watch; the commands are set, action, profile and show"},
  };
  for (const Refused& row : rows) {
    const auto parsed = ParseRemoteCommand(row.command, row.payload, row.policy);
    ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << row.name;
    EXPECT_EQ(std::get<std::string>(parsed), row.message) << row.name;
  }
}

TEST(RemoteCommand, ASetBecomesVelkorctlsSetWithSmoothingAsOnOrOffAndTheSaveAskedFor) {
  const auto parsed = ParseRemoteCommand(
      "set", R"({"values":{"motionCurrent":1200,"smoothing":true},"save":true,"client":"anna","timeout_s":5.5})", STILL);
  const auto& request = std::get<RemoteRequest>(parsed);
  EXPECT_EQ(request.invocation.command, ctl::Command::Set);
  ASSERT_EQ(request.invocation.assignments.size(), 2u);
  EXPECT_EQ(request.invocation.assignments[0].id, ParameterId::MotionCurrent);
  EXPECT_EQ(request.invocation.assignments[0].value, 1200);
  EXPECT_EQ(request.invocation.assignments[1].id, ParameterId::Smoothing);
  EXPECT_EQ(request.invocation.assignments[1].value, 1);
  EXPECT_TRUE(request.invocation.save);
  EXPECT_EQ(request.invocation.timeout, 5s);
  EXPECT_EQ(request.client, "anna");
  EXPECT_EQ(request.askerWaits, 5500ms);
  EXPECT_FALSE(request.motion);
}

TEST(RemoteCommand, AnAllowedRotationKeepsItsDurationAndIsAMotion) {
  const auto parsed = ParseRemoteCommand("action", R"({"action":"rotate-left","duration_s":2.5,"client":"a"})", MOVING);
  const auto& request = std::get<RemoteRequest>(parsed);
  EXPECT_EQ(request.invocation.command, ctl::Command::Rotate);
  EXPECT_EQ(request.invocation.action, ACT_ROTATE_LEFT);
  EXPECT_EQ(request.invocation.duration, 2500ms);
  EXPECT_TRUE(request.motion);
}

TEST(RemoteCommand, AProfileIsCheckedAsAFileIsAndABadOneNamesWhatIsWrong) {
  const auto good = ParseRemoteCommand(
      "profile", R"({"profile":{"format":"velkor-profile","version":1,"device":"VK-3","parameters":{"steps":400}},"save":false})",
      STILL);
  ASSERT_TRUE(std::holds_alternative<RemoteRequest>(good)) << std::get<std::string>(good);
  EXPECT_EQ(Value(std::get<RemoteRequest>(good).profile, ParameterId::Steps), 400);
  const auto bad = ParseRemoteCommand("profile", R"({"profile":{"format":"something else"}})", STILL);
  ASSERT_TRUE(std::holds_alternative<std::string>(bad));
  EXPECT_NE(std::get<std::string>(bad).find("the profile sent"), std::string::npos) << std::get<std::string>(bad);
}

TEST(RemoteCommand, TheReplyGivesEachRowItsResultAndTheSaveAsAcknowledgedOrNot) {
  ProfileApply apply;
  apply.save = true;
  apply.outcome = ApplyOutcome::Mismatch;
  apply.count = 4;
  apply.rows[0] = {ParameterId::MotionCurrent, 1500, 1000, true, ApplyRowStatus::Mismatch, 1000};
  apply.rows[1] = {ParameterId::Smoothing, 1, 0, true, ApplyRowStatus::Confirmed, 1};
  apply.rows[2] = {ParameterId::Steps, 200, 200, false, ApplyRowStatus::Unchanged, 0};
  apply.rows[3] = {ParameterId::JogSpeed, 90, 60, true, ApplyRowStatus::NotApplied, 0};
  EXPECT_EQ(ReplyJson(1, &apply, "motionCurrent: set to 1500, but the driver reports 1000"),
            R"({"exit":1,"results":[)"
            R"({"name":"motionCurrent","requested":1500,"reported":1000,"result":"mismatch"},)"
            R"({"name":"smoothing","requested":true,"reported":true,"result":"confirmed"},)"
            R"({"name":"steps","requested":200,"reported":200,"result":"confirmed"},)"
            R"({"name":"jogSpeed","requested":90,"reported":null,"result":"not applied"}],)"
            R"("saved":false,"message":"motionCurrent: set to 1500, but the driver reports 1000"})");
  EXPECT_EQ(ReplyJson(0, nullptr, "", R"({"port":"p"})"),
            R"({"exit":0,"results":[],"saved":null,"message":"","show":{"port":"p"}})");
}

}  // namespace
}  // namespace velkor::daemon
