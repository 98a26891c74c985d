#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "rtl/properties.h"
#include "rtl/random.h"
#include "utils/Vantrel.Utils.SkillSystem.h"

using namespace vantrel;

namespace {

class SkillModelTest : public ::testing::Test {
protected:
  void SetUp() override { rtl::SetRandSeed(42); }

  rtl::TOwned<TVantrelSkillSystem> System = rtl::MakeOwned<TVantrelSkillSystem>(nullptr);
};

} // namespace

TEST_F(SkillModelTest, AFreshSkillHasItsDefaultsAndANameInTheCurrentLanguage) {
  System->SetLanguage(2);
  TVantrelSkill* skill = System->AddGroup()->AddSkill();
  EXPECT_EQ(skill->GetValue(), 1.0f);
  EXPECT_EQ(skill->GetFactor(), 1.0f);
  EXPECT_EQ(skill->GetLevel(), 0);
  EXPECT_EQ(skill->GetMaxLevel(), 0);
  EXPECT_EQ(skill->GetLevelingTime(), 1000);
  EXPECT_EQ(skill->GetInterpolation(), TVantrelSkillLevelInterpolation::LinearInterpolation);
  EXPECT_EQ(skill->GetIcon(), -1);
  EXPECT_TRUE(skill->GetEnabled());
  EXPECT_FALSE(skill->GetActivated());
  EXPECT_TRUE(skill->GetData().IsEmpty());
  EXPECT_FALSE(skill->GetGUID().IsEmpty());
  EXPECT_THAT(skill->GetNames("de-de"), ::testing::MatchesRegex("Skill-[0-9]{1,4}"));
  EXPECT_EQ(skill->GetNames("en-us"), "");
  EXPECT_THAT(System->Name(), ::testing::MatchesRegex("SkillSystem_[0-9]{1,4}"));
}

TEST_F(SkillModelTest, NamesPerLanguageAndDisplayNames) {
  TVantrelSkill* skill = System->AddGroup()->AddSkill();
  skill->SetName("Sword");
  skill->SetNames("de-de", "Schwert");
  EXPECT_EQ(skill->GetDisplayName(), "Sword");
  System->SetLanguage(2);
  EXPECT_EQ(skill->GetDisplayName(), "Schwert");
  skill->SetNames("de-de", "");
  EXPECT_EQ(skill->GetNames("de-de"), "");
  EXPECT_FALSE(skill->NameMap().ContainsKey("de-de"));
  // Without a name in the current language the class name shows; setting it stores nothing.
  EXPECT_EQ(skill->GetDisplayName(), "TVantrelSkill");
  skill->SetDisplayName("Axe");
  EXPECT_EQ(skill->GetDisplayName(), "TVantrelSkill");
  // Outside a system names live under "en-us".
  rtl::TOwned<TVantrelSkillGroup> loose(rtl::New<TVantrelSkillGroup>());
  EXPECT_NE(loose->GetNames("en-us"), "");
}

TEST_F(SkillModelTest, LookupsByNameAndActivatedSkillsKeepDistinctNames) {
  TVantrelSkillGroup* group = System->AddGroup();
  TVantrelSkill* sword = group->AddSkill();
  TVantrelSkill* bow = group->AddSkill();
  TVantrelSkill* nested = sword->AddSkill();
  sword->SetName("Sword");
  bow->SetName("Bow");
  sword->SetActivated(true);
  bow->SetActivated(true);
  EXPECT_EQ(group->FindSkillByName("Sword"), sword);
  EXPECT_EQ(group->FindSkillByName("sword"), nullptr);
  TVantrelActivatedSkills activated;
  group->GetActivatedSkills(activated);
  EXPECT_EQ(activated.Count(), 2);
  EXPECT_EQ(activated.Items("Bow"), bow);
  // A group's and the system's GUID lookups see only the skills held by groups; the tree lookup
  // sees destinations too.
  EXPECT_EQ(group->FindSkillByGUID(bow->GetGUID()), bow);
  EXPECT_EQ(System->FindSkillByGUID(nested->GetGUID()), nullptr);
  EXPECT_EQ(System->FindSkillInTree(nested->GetGUID()), nested);
  EXPECT_EQ(nested->GetGroup(), sword);
  EXPECT_EQ(nested->GetSkillSystem(), System.get());
}

TEST_F(SkillModelTest, RemoveGroupKeepsTheGroupAliveUntilTheSystemGoes) {
  TVantrelSkillGroup* group = System->AddGroup();
  TVantrelSkill* skill = group->AddSkill();
  System->RemoveGroup(group);
  System->RemoveGroup(nullptr);
  EXPECT_EQ(System->GetGroups()->Count(), 0);
  EXPECT_EQ(System->FindSkillByGUID(skill->GetGUID()), nullptr);
  skill->SetName("Still here");
  EXPECT_EQ(group->FindSkillByName("Still here"), skill);
  EXPECT_EQ(skill->GetSkillSystem(), System.get());
}

TEST_F(SkillModelTest, AssignCopiesTheTreeAndEveryField) {
  TVantrelSkillGroup* group = System->AddGroup();
  TVantrelSkill* skill = group->AddSkill();
  skill->SetFactor(2.5f);
  skill->SetInterpolation(TVantrelSkillLevelInterpolation::ExponentialInterpolation);
  skill->SetData(rtl::TValue::From(7));
  skill->AddSkill()->SetName("Next");
  TVantrelSkillGroup* copy = System->AddGroup();
  copy->Assign(group);
  EXPECT_EQ(copy->GetGUID(), group->GetGUID());
  ASSERT_EQ(copy->GetSkills()->Count(), 1);
  TVantrelSkill* copied = copy->GetSkills()->Skill(0);
  EXPECT_EQ(copied->GetFactor(), 2.5f);
  EXPECT_EQ(copied->GetInterpolation(), TVantrelSkillLevelInterpolation::ExponentialInterpolation);
  EXPECT_EQ(copied->GetData().AsInteger(), 7);
  EXPECT_NE(copied->FindSkillByName("Next"), nullptr);
}

TEST_F(SkillModelTest, PublishedPropertiesAreSetByName) {
  TVantrelSkill* skill = System->AddGroup()->AddSkill();
  rtl::SetPropValue(skill, "Interpolation", rtl::TValue::From("ExponentialMinus1Interpolation"));
  rtl::SetPropValue(skill, "MaxLevel", rtl::TValue::From(4));
  EXPECT_EQ(skill->GetInterpolation(), TVantrelSkillLevelInterpolation::ExponentialMinus1Interpolation);
  EXPECT_EQ(skill->GetMaxLevel(), 4);
  EXPECT_EQ(rtl::GetPropValue(skill, "Icon").AsInteger(), -1);
}
