// profile_apply_test.cpp: profiles taken from, compared with and applied to
// the emulated driver through the real link controller, in virtual time: the
// commands that reach the driver, the rows' statuses, what the driver holds
// and has saved afterwards, and what is told when the link drops.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "profile_apply.h"
#include "profile_apply_text.h"
#include "profile_diff.h"
#include "profile_file.h"
#include "virtual_line.h"

namespace velkor {
namespace {

using sim::EmulatorOptions;
using sim::testing::VirtualLine;
using Commands = std::vector<std::pair<int, int>>;  // (code, value) as the driver received them

constexpr uint32_t LIMIT_MS = 500;
// Each silent read waits its whole 170 ms, and six of them drop the link.
constexpr uint32_t SILENCE_MS = 1500;
constexpr uint32_t DROP_LIMIT_MS = 1200;

void Connect(VirtualLine& line) {
  line.Open();
  ASSERT_TRUE(line.RunUntil([&] { return line.Connected(); }, 30));
  line.emulator.TakeCommandLog();  // the handshake's re-read
}

Commands Received(VirtualLine& line) {
  Commands commands;
  for (const sim::ReceivedCommand& c : line.emulator.TakeCommandLog()) commands.emplace_back(c.code, c.value);
  return commands;
}

Profile Make(std::initializer_list<std::pair<ParameterId, int32_t>> values) {
  Profile p;
  for (const auto& [id, value] : values) p.values[Index(id)] = value;
  return p;
}

// Steps the apply after every tick, as the panel does, until it finishes.
bool RunApply(VirtualLine& line, ProfileApply& apply, uint32_t limitMs = LIMIT_MS) {
  return line.RunUntil([&] { StepApply(apply, line.link); return Finished(apply); }, limitMs);
}

std::vector<ApplyRowStatus> Statuses(const ProfileApply& apply) {
  std::vector<ApplyRowStatus> s;
  for (const ApplyRow& row : Rows(apply)) s.push_back(row.status);
  return s;
}

using enum ApplyRowStatus;

TEST(ProfileFromDriver, TheDriversValuesAreTakenOnlyOnceAllAreReportedAndNoneIsChanging) {
  VirtualLine line;
  EXPECT_EQ(DriverSnapshotBlock(line.link.parameters), SnapshotBlock::NotAllReported);
  EXPECT_FALSE(ProfileFromDriver(line.link.parameters, "t", ""));
  Connect(line);
  const auto profile = ProfileFromDriver(line.link.parameters, "2026-12-08T13:00:00Z", "");
  ASSERT_TRUE(profile);
  EXPECT_EQ(profile->savedAt, "2026-12-08T13:00:00Z");
  // The emulator's factory settings, smoothing off.
  EXPECT_EQ(profile->values, (std::array<std::optional<int32_t>, PARAMETER_STATE_COUNT>{
                                 8, 1000, 500, 500, 5000, 30, 2, 200, 60, 100, 0}));
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_STEPS, 400));
  EXPECT_EQ(DriverSnapshotBlock(line.link.parameters), SnapshotBlock::RequestPending);
  EXPECT_FALSE(ProfileFromDriver(line.link.parameters, "t", ""));
  line.emulator.StaySilent(SILENCE_MS);
  line.RunMs(DROP_LIMIT_MS);
  EXPECT_EQ(DriverSnapshotBlock(line.link.parameters), SnapshotBlock::NotAllReported);
}

TEST(ProfileDiff, RowsFollowThePanelsOrderAndMarkWhatDiffers) {
  VirtualLine line;
  const Profile profile = Make({{ParameterId::Smoothing, 1}, {ParameterId::MotionCurrent, 1000},
                                {ParameterId::ReductionDelay, 60000}});
  ProfileDiff diff = DiffProfile(profile, line.link.parameters);
  EXPECT_FALSE(DriverKnown(diff));
  EXPECT_EQ(DifferingRows(diff), 0u);
  Connect(line);
  diff = DiffProfile(profile, line.link.parameters);
  ASSERT_EQ(diff.count, 3);
  EXPECT_TRUE(DriverKnown(diff));
  EXPECT_EQ(DifferingRows(diff), 2u);
  const DiffRow& current = diff.rows[0];
  EXPECT_EQ(current.id, ParameterId::MotionCurrent);
  EXPECT_EQ(current.driverValue, 1000);
  EXPECT_FALSE(current.differs);
  const DiffRow& delay = diff.rows[1];
  EXPECT_EQ(delay.id, ParameterId::ReductionDelay);
  EXPECT_EQ(delay.driverValue, 500);
  EXPECT_EQ(delay.profileValue, 60000);
  EXPECT_TRUE(delay.differs);
  EXPECT_EQ(diff.rows[2].id, ParameterId::Smoothing);
  EXPECT_EQ(diff.rows[2].driverValue, 0);
  EXPECT_TRUE(diff.rows[2].differs);
}

// After the driver failed a command the link starts over: until it has
// reported again, what it reported before decides nothing.
TEST(ProfileDiff, ValuesReportedBeforeTheLastResetAreUnknown) {
  VirtualLine line;
  Connect(line);
  const Profile profile = Make({{ParameterId::Steps, 400}});
  EXPECT_EQ(DifferingRows(DiffProfile(profile, line.link.parameters)), 1u);
  NoteReset(line.link.parameters);
  EXPECT_FALSE(DriverKnown(DiffProfile(profile, line.link.parameters)));
  EXPECT_EQ(DifferingRows(DiffProfile(profile, line.link.parameters)), 0u);
}

TEST(ProfileApply, OnlyTheDifferingSetsGoOutThenTheReReadThenTheSaveAndEveryRowIsConfirmed) {
  VirtualLine line;
  Connect(line);
  const Profile profile = Make({{ParameterId::MotionCurrent, 1500},
                                {ParameterId::ReductionDelay, 60000},
                                {ParameterId::LevelingK, 2},
                                {ParameterId::Steps, 200},
                                {ParameterId::Smoothing, 1}});
  ProfileApply apply = StartApply(line.link, profile, true);
  ASSERT_TRUE(RunApply(line, apply));
  EXPECT_EQ(apply.outcome, ApplyOutcome::Saved);
  EXPECT_EQ(Received(line), (Commands{{CMD_SET_MOTION_CURRENT, 1500},
                                      {CMD_SET_REDUCTION_DELAY, -5536},  // 60000 as it travels
                                      {CMD_ACTION, ACT_TOGGLE_SMOOTHING},
                                      {CMD_ACTION, ACT_REREAD},
                                      {CMD_ACTION, ACT_SAVE_EEPROM}}));
  EXPECT_EQ(Statuses(apply), (std::vector{Confirmed, Confirmed, Confirmed, Confirmed, Confirmed}));
  EXPECT_EQ(apply.rows[1].reported, 60000);
  const sim::Parameters& saved = line.emulator.SavedParameters();
  EXPECT_EQ(saved.motionCurrent, 1500);
  EXPECT_EQ(saved.reductionDelay, 60000);
  EXPECT_TRUE(saved.smoothing);
  EXPECT_EQ(saved.levelingK, 2);
  // Nothing more follows.
  line.RunMs(100);
  EXPECT_EQ(Received(line), Commands{});
}

TEST(ProfileApply, WithoutSaveTheEepromIsLeftAsItWas) {
  VirtualLine line;
  Connect(line);
  ProfileApply apply = StartApply(line.link, Make({{ParameterId::JogSpeed, 120}}), false);
  ASSERT_TRUE(RunApply(line, apply));
  EXPECT_EQ(apply.outcome, ApplyOutcome::Confirmed);
  EXPECT_EQ(Received(line), (Commands{{CMD_SET_JOG_SPEED, 120}, {CMD_ACTION, ACT_REREAD}}));
  EXPECT_EQ(line.emulator.CurrentParameters().jogSpeed, 120);
  EXPECT_EQ(line.emulator.SavedParameters().jogSpeed, 60);
}

TEST(ProfileApply, AProfileTheDriverAlreadyHoldsSendsNothingWithoutSave) {
  VirtualLine line;
  Connect(line);
  const size_t written = line.pipe.Written().size();
  ProfileApply apply = StartApply(line.link, Make({{ParameterId::StepDivision, 8}, {ParameterId::Smoothing, 0},
                                                   {ParameterId::FaultCurrent, 5000}}), false);
  EXPECT_EQ(apply.outcome, ApplyOutcome::NothingToDo);
  EXPECT_EQ(Statuses(apply), (std::vector{Unchanged, Unchanged, Unchanged}));
  line.RunMs(100);
  EXPECT_FALSE(StepApply(apply, line.link));
  EXPECT_EQ(line.pipe.Written().size(), written);
  EXPECT_EQ(Received(line), Commands{});
}

// The EEPROM cannot be read: what the program believes it holds decides nothing.
TEST(ProfileApply, ApplyAndSaveOfValuesHeldIsVerifiedSavedAndNamesWhatElseTheSaveStores) {
  VirtualLine line;
  Connect(line);
  ASSERT_TRUE(PushCommand(line.link, CMD_ACTION, ACT_SAVE_EEPROM));
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_JOG_SPEED, 90));
  ProfileApply apply = StartApply(line.link, Make({{ParameterId::Steps, 200}}), true);
  ASSERT_TRUE(RunApply(line, apply));
  EXPECT_EQ(Received(line), (Commands{{CMD_ACTION, ACT_SAVE_EEPROM}, {CMD_SET_JOG_SPEED, 90},
                                      {CMD_ACTION, ACT_REREAD}, {CMD_ACTION, ACT_SAVE_EEPROM}}));
  EXPECT_EQ(ApplyOutcomeText(apply, Language::Russian),
            "Все значения подтверждены устройством; запись в EEPROM подтверждена устройством. Запись сохраняет и "
            "другие значения устройства, как они есть: Скор. (об/мин) 90 (при последней записи было 60).");
}

TEST(ProfileApply, ApplyAndSaveOfValuesHeldButNotSavedVerifiesThemAndSaves) {
  VirtualLine line;
  Connect(line);
  ASSERT_TRUE(PushCommand(line.link, CMD_SET_STEPS, 400));
  ASSERT_TRUE(line.RunUntil([&] { return !Pending(State(line.link.parameters, ParameterId::Steps)); }, LIMIT_MS));
  Received(line);
  ProfileApply apply = StartApply(line.link, Make({{ParameterId::Steps, 400}}), true);
  ASSERT_TRUE(RunApply(line, apply));
  EXPECT_EQ(apply.outcome, ApplyOutcome::Saved);
  EXPECT_EQ(Received(line), (Commands{{CMD_ACTION, ACT_REREAD}, {CMD_ACTION, ACT_SAVE_EEPROM}}));
  EXPECT_EQ(line.emulator.SavedParameters().steps, 400);
}

TEST(ProfileApply, AClampedCurrentIsAMismatchWithBothValuesAndNoSaveIsSent) {
  EmulatorOptions options;
  options.currentLimitMa = 1200;
  VirtualLine line(options);
  Connect(line);
  ProfileApply apply =
      StartApply(line.link, Make({{ParameterId::MotionCurrent, 1500}, {ParameterId::HoldingCurrent, 800}}), true);
  ASSERT_TRUE(RunApply(line, apply));
  EXPECT_EQ(apply.outcome, ApplyOutcome::Mismatch);
  EXPECT_EQ(Statuses(apply), (std::vector{Mismatch, Confirmed}));
  EXPECT_EQ(apply.rows[0].profileValue, 1500);
  EXPECT_EQ(apply.rows[0].reported, 1200);
  EXPECT_EQ(apply.rows[1].reported, 800);
  EXPECT_EQ(RowStatusText(apply.rows[0], Language::Russian), "расхождение: устройство сообщило 1200");
  EXPECT_EQ(RowStatusText(apply.rows[1], Language::Russian), "подтверждено");
  EXPECT_EQ(ApplyOutcomeText(apply, Language::Russian),
            "Устройство сообщило другие значения: Ток движения (mA) (запрошено 1500, устройство сообщило 1200). "
            "В EEPROM ничего не записано.");
  EXPECT_EQ(ApplyOutcomeText(apply, Language::English),
            "The driver reported other values than asked: motionCurrent (asked 1500, the driver reported 1200). "
            "Nothing was saved to EEPROM.");
  line.RunMs(200);
  EXPECT_EQ(Received(line),
            (Commands{{CMD_SET_MOTION_CURRENT, 1500}, {CMD_SET_HOLDING_CURRENT, 800}, {CMD_ACTION, ACT_REREAD}}));
  EXPECT_EQ(line.emulator.SavedParameters().motionCurrent, 1000);
}

TEST(ProfileApply, ADriverFallingSilentAfterTheFirstSetEndsTheApplyAndTellsWhatWasApplied) {
  VirtualLine line;
  Connect(line);
  ProfileApply apply = StartApply(
      line.link,
      Make({{ParameterId::MotionCurrent, 1500}, {ParameterId::HoldingCurrent, 800}, {ParameterId::Steps, 400}}), true);
  ASSERT_TRUE(line.RunUntil([&] { StepApply(apply, line.link); return apply.rows[0].status == Acknowledged; },
                            LIMIT_MS));
  line.emulator.StaySilent(SILENCE_MS);
  ASSERT_TRUE(RunApply(line, apply, DROP_LIMIT_MS));
  EXPECT_EQ(apply.outcome, ApplyOutcome::LinkDropped);
  EXPECT_EQ(apply.phase, ApplyPhase::Setting);
  EXPECT_EQ(Statuses(apply), (std::vector{Acknowledged, NotApplied, NotApplied}));
  EXPECT_EQ(ApplyOutcomeText(apply, Language::Russian),
            "Связь прервалась во время применения. Применено, без проверки: Ток движения (mA). "
            "Не применено: Ток удержания (mA), Шагов. "
            "В EEPROM ничего не записано; после восстановления связи примените профиль снова.");
  EXPECT_EQ(ApplyOutcomeText(apply, Language::English),
            "The link dropped during the apply. Applied, not verified: motionCurrent. "
            "Not applied: holdingCurrent, steps. "
            "Nothing was saved to EEPROM; apply the profile again once the link is back.");
  line.RunMs(1000);  // the link comes back; the dropped commands stay dropped
  EXPECT_EQ(Received(line), (Commands{{CMD_SET_MOTION_CURRENT, 1500}, {CMD_ACTION, ACT_REREAD}}));
  EXPECT_EQ(line.emulator.CurrentParameters().motionCurrent, 1500);
  EXPECT_EQ(line.emulator.CurrentParameters().holdingCurrent, 500);
  EXPECT_EQ(line.emulator.SavedParameters().motionCurrent, 1000);
}

TEST(ProfileApply, ACommandNeverAcknowledgedBeforeTheLinkGivesUpIsUncertainNotApplied) {
  VirtualLine line;
  Connect(line);
  ProfileApply apply =
      StartApply(line.link, Make({{ParameterId::ProportionalK, 40}, {ParameterId::JogAccel, 200}}), false);
  line.emulator.Options().ignoreCommandProbability = 1;
  ASSERT_TRUE(RunApply(line, apply, 1000));
  EXPECT_EQ(apply.outcome, ApplyOutcome::LinkDropped);
  EXPECT_EQ(Statuses(apply), (std::vector{Uncertain, NotApplied}));
  EXPECT_EQ(ApplyOutcomeText(apply, Language::English),
            "The link dropped during the apply. Sent but not acknowledged, unknown: proportionalK. "
            "Not applied: jogAccel. Nothing was saved to EEPROM; apply the profile again once the link is back.");
}

// The driver may have saved without its acknowledgement getting through.
TEST(ProfileApply, ASaveSentButNeverAcknowledgedMayOrMayNotHaveHappened) {
  VirtualLine line;
  Connect(line);
  ProfileApply apply = StartApply(line.link, Make({{ParameterId::Steps, 400}}), true);
  ASSERT_TRUE(line.RunUntil([&] { StepApply(apply, line.link); return apply.phase == ApplyPhase::Saving; },
                            LIMIT_MS));
  line.emulator.Options().wrongAckProbability = 1;
  ASSERT_TRUE(RunApply(line, apply, 1000));
  EXPECT_EQ(ApplyOutcomeText(apply, Language::English).substr(0, 144),
            "The link dropped during the apply. Every value was confirmed. The save to EEPROM was sent but not "
            "acknowledged: it may or may not have happened.");
}

TEST(ProfileApply, ALinkDropDuringTheReReadLeavesTheSetsAcknowledgedButUnverified) {
  VirtualLine line;
  Connect(line);
  ProfileApply apply = StartApply(line.link, Make({{ParameterId::Steps, 400}}), true);
  ASSERT_TRUE(line.RunUntil([&] { StepApply(apply, line.link); return apply.phase == ApplyPhase::Rereading; },
                            LIMIT_MS));
  line.emulator.StaySilent(SILENCE_MS);
  ASSERT_TRUE(RunApply(line, apply, DROP_LIMIT_MS));
  EXPECT_EQ(apply.outcome, ApplyOutcome::LinkDropped);
  EXPECT_EQ(apply.phase, ApplyPhase::Rereading);
  EXPECT_EQ(Statuses(apply), (std::vector{Acknowledged}));
  line.RunMs(1000);
  EXPECT_EQ(line.emulator.SavedParameters().steps, 200);
}

TEST(ProfileApply, BeforeTheDriverHasReportedNothingIsQueued) {
  VirtualLine line;
  ProfileApply apply = StartApply(line.link, Make({{ParameterId::Steps, 400}}), true);
  EXPECT_EQ(apply.outcome, ApplyOutcome::NotReady);
  EXPECT_FALSE(QueueNotEmpty(line.link.queue));
  EXPECT_FALSE(apply.rows[0].commandQueued);
}

}  // namespace
}  // namespace velkor
