#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "rtl/threads.h"
#include "support/fake_clock.h"
#include "utils/Vantrel.Utils.SkillSystem.h"

using namespace vantrel;
using TInterpolation = TVantrelSkillLevelInterpolation;

namespace {

// Serves the levelling thread's hand-overs until ADone holds, for at most 3 s of real time.
bool PumpUntil(const std::function<bool()>& ADone) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (!ADone()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    rtl::CheckSynchronize(50);
  }
  return true;
}

class SkillLevelingTest : public ::testing::Test {
protected:
  // Each pass of the levelling thread over one pending level-up reads the clock once.
  bool WaitForPasses(int ACount) {
    const int64_t target = Clock.Reads() + ACount;
    return PumpUntil([&] { return Clock.Reads() >= target; });
  }
  int PendingCount() { return System->Leveling()->LockProcesses()->Count(); }

  vtest::TFakeClock Clock;
  rtl::TOwned<TVantrelSkillSystem> System = rtl::MakeOwned<TVantrelSkillSystem>(nullptr);
  TVantrelSkillGroup* Group = System->AddGroup();
};

} // namespace

TEST_F(SkillLevelingTest, InterpolateValue) {
  struct TCase {
    TInterpolation Kind;
    int Level;
    float Factor;
    float Expected;
  };
  const TCase cases[] = {
      {TInterpolation::LinearInterpolation, 0, 1, 1},
      {TInterpolation::LinearInterpolation, 1, 1, 2},
      {TInterpolation::LogarithmicInterpolation, 8, 1, 3},
      {TInterpolation::ExponentialInterpolation, 0, 1, 1},
      {TInterpolation::ExponentialMinus1Interpolation, 0, 1, 0},
      {static_cast<TInterpolation>(7), 3, 2, 7},
  };
  TVantrelSkill* skill = Group->AddSkill();
  for (const TCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Kind) * 100 + c.Level);
    skill->SetInterpolation(c.Kind);
    EXPECT_FLOAT_EQ(skill->InterpolateValue(c.Level, 1, c.Factor), c.Expected);
  }
  skill->SetInterpolation(TInterpolation::LogarithmicInterpolation);
  EXPECT_THROW(skill->InterpolateValue(0, 1, 1), rtl::EZeroDivide);
  EXPECT_THROW(skill->InterpolateValue(1, 1, -1), rtl::EInvalidOp);
  skill->SetInterpolation(TInterpolation::ExponentialInterpolation);
  try {
    skill->InterpolateValue(100, 1, 1);
    FAIL();
  } catch (const rtl::EOverflow& e) {
    EXPECT_EQ(e.Message(), "Floating point overflow");
  }
}

TEST_F(SkillLevelingTest, StartLevelingUp) {
  TVantrelSkill* skill = Group->AddSkill();
  TVantrelSkill* dest = skill->AddSkill();
  skill->SetActivated(true);
  skill->SetValue(5);
  // No maximum and an enabled destination: finished at once.
  EXPECT_EQ(skill->StartLevelingUp(), nullptr);
  EXPECT_FALSE(skill->GetActivated());
  EXPECT_TRUE(dest->GetActivated());
  EXPECT_EQ(skill->GetLevel(), 0);
  EXPECT_EQ(skill->GetValue(), 5.0f);
  EXPECT_EQ(PendingCount(), 0);

  // At its maximum, but nobody to take over: still levels up.
  skill->SetMaxLevel(3);
  skill->SetLevel(3);
  dest->SetEnabled(false);
  for (TVantrelSkill* target : {static_cast<TVantrelSkill*>(nullptr), dest}) {
    SCOPED_TRACE(target ? "disabled destination" : "no destination");
    // Under the list lock, so the thread cannot start the clock meanwhile.
    auto pending = System->Leveling()->LockProcesses();
    TVantrelSkillProcess* process = skill->StartLevelingUp(target);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(process->ToLevel(), 4);
    EXPECT_EQ(process->NewValue(), 8.0f);
    EXPECT_FALSE(process->IsStarted());
  }
  EXPECT_EQ(PendingCount(), 2);

  TVantrelSkill* logarithmic = Group->AddSkill();
  logarithmic->SetInterpolation(TInterpolation::LogarithmicInterpolation);
  EXPECT_THROW(logarithmic->StartLevelingUp(), rtl::EZeroDivide);
  EXPECT_EQ(PendingCount(), 2);

  rtl::TOwned<TVantrelSkillGroup> loose(rtl::New<TVantrelSkillGroup>());
  try {
    loose->AddSkill()->StartLevelingUp();
    FAIL();
  } catch (const rtl::EInvalidOperation& e) {
    EXPECT_EQ(e.Message(), "skill has no skill system");
  }
}

TEST_F(SkillLevelingTest, ALevelUpWithoutTimeIsAppliedOnTheNextPass) {
  TVantrelSkill* skill = Group->AddSkill();
  skill->SetLevelingTime(0);
  skill->StartLevelingUp();
  ASSERT_TRUE(PumpUntil([&] { return skill->GetLevel() == 1; }));
  EXPECT_EQ(skill->GetValue(), 1.0f);
  EXPECT_EQ(PendingCount(), 0);
}

TEST_F(SkillLevelingTest, ALevelUpWaitsForItsTimeOnTheProcessClock) {
  TVantrelSkill* skill = Group->AddSkill();
  skill->SetValue(3);
  skill->SetLevel(2);
  skill->StartLevelingUp();
  ASSERT_TRUE(WaitForPasses(3));
  EXPECT_EQ(skill->GetLevel(), 2);
  Clock.Advance(1000);
  ASSERT_TRUE(PumpUntil([&] { return skill->GetLevel() == 3; }));
  EXPECT_EQ(skill->GetValue(), 5.0f);
}

TEST_F(SkillLevelingTest, DestroyingTheSystemDoesNotWaitForTheNextPass) {
  Group->AddSkill()->StartLevelingUp();
  ASSERT_TRUE(WaitForPasses(1));
  const auto start = std::chrono::steady_clock::now();
  System.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
}

TEST_F(SkillLevelingTest, FreeingSkillsDropsTheirLevelUpsPendingOrFinished) {
  TVantrelSkillGroup* doomed = System->AddGroup();
  TVantrelSkill* pending = doomed->AddSkill();
  TVantrelSkill* finished = doomed->AddSkill();
  TVantrelSkill* survivor = Group->AddSkill();
  TVantrelSkill* destination = survivor->AddSkill();
  finished->SetLevelingTime(0);
  survivor->SetLevelingTime(0);
  survivor->SetMaxLevel(1);
  pending->StartLevelingUp();
  finished->StartLevelingUp();
  survivor->StartLevelingUp(destination);
  // A level-up of another skill that leads to a doomed one goes with it.
  survivor->StartLevelingUp(pending);
  // Two passes: the second finds the instant level-ups elapsed and waits for the UI thread.
  ASSERT_TRUE(WaitForPasses(8));
  doomed->Free();
  ASSERT_TRUE(PumpUntil([&] { return survivor->GetLevel() == 1; }));
  EXPECT_TRUE(destination->GetActivated());
  EXPECT_EQ(PendingCount(), 0);
}

TEST_F(SkillLevelingTest, ClearingGroupsDropsEveryLevelUpOfTheirSkills) {
  TVantrelSkill* skill = Group->AddSkill()->AddSkill();
  skill->StartLevelingUp();
  System->GetGroups()->Clear();
  EXPECT_EQ(PendingCount(), 0);
}
