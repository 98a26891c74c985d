#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "rtl/streams.h"
#include "rtl/threads.h"
#include "support/fake_clock.h"
#include "utils/Vantrel.Utils.SkillSystem.h"
#include "xml/Vantrel.Xml.Document.h"

using namespace vantrel;

namespace {

const char* const GoldenFile =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<skillsystem id=\"SkillSystem_1\" position=\"10.5;20\">\r\n"
    "\t<language>0</language>\r\n"
    "\t<groups>\r\n"
    "\t\t<group guid=\"{00000000-0000-0000-0000-000000000001}\" id=\"Combat\" enabled=\"True\" icon=\"-1\" "
    "position=\"0;0\">\r\n"
    "\t\t\t<name type=\"multilingual\">\r\n"
    "\t\t\t\t<lang id=\"en-us\">\r\n"
    "\t\t\t\t\t<![CDATA[Combat]]>\r\n"
    "\t\t\t\t</lang>\r\n"
    "\t\t\t</name>\r\n"
    "\t\t\t<skills>\r\n"
    "\t\t\t\t<skill guid=\"{00000000-0000-0000-0000-000000000002}\" id=\"Sword\" enabled=\"True\" "
    "icon=\"-1\" "
    "position=\"0;0\">\r\n"
    "\t\t\t\t\t<name type=\"multilingual\">\r\n"
    "\t\t\t\t\t\t<lang id=\"en-us\">\r\n"
    "\t\t\t\t\t\t\t<![CDATA[Sword]]>\r\n"
    "\t\t\t\t\t\t</lang>\r\n"
    "\t\t\t\t\t</name>\r\n"
    "\t\t\t\t\t<skills />\r\n"
    "\t\t\t\t\t<activated>False</activated>\r\n"
    "\t\t\t\t\t<value>1</value>\r\n"
    "\t\t\t\t\t<factor>1.5</factor>\r\n"
    "\t\t\t\t\t<interpolation>LinearInterpolation</interpolation>\r\n"
    "\t\t\t\t\t<level>0</level>\r\n"
    "\t\t\t\t\t<max-level>3</max-level>\r\n"
    "\t\t\t\t\t<leveling-time>1000</leveling-time>\r\n"
    "\t\t\t\t\t<data>(empty)</data>\r\n"
    "\t\t\t\t</skill>\r\n"
    "\t\t\t</skills>\r\n"
    "\t\t</group>\r\n"
    "\t</groups>\r\n"
    "\t<processes />\r\n"
    "</skillsystem>\r\n";

std::string Saved(const TVantrelSkillSystem& ASystem) {
  rtl::TStringStream stream;
  ASystem.SaveToStream(&stream);
  return stream.DataString();
}

void Load(TVantrelSkillSystem& ASystem, const std::string& AText) {
  rtl::TStringStream stream(AText);
  ASystem.LoadFromStream(&stream);
}

// A skill file around AGroups (the inside of "groups") and ARoot (attributes of "skillsystem").
std::string File(const std::string& AGroups, const std::string& ARoot = "id=\"S\"") {
  return "<?xml version=\"1.0\"?><skillsystem " + ARoot + "><groups>" + AGroups + "</groups></skillsystem>";
}

bool PumpUntil(const std::function<bool()>& ADone) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (!ADone()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    rtl::CheckSynchronize(50);
  }
  return true;
}

class SkillFileTest : public ::testing::Test {
protected:
  rtl::TOwned<TVantrelSkillSystem> NewSystem() { return rtl::MakeOwned<TVantrelSkillSystem>(nullptr); }

  vtest::TFakeClock Clock;
  rtl::TOwned<TVantrelSkillSystem> System = NewSystem();
};

} // namespace

TEST_F(SkillFileTest, GoldenFileReadsAndWritesBackByteForByte) {
  Load(*System, GoldenFile);
  EXPECT_EQ(System->Name(), "SkillSystem_1");
  EXPECT_EQ(System->GetPosition(), (rtl::TPointF{10.5f, 20}));
  ASSERT_EQ(System->GetGroups()->Count(), 1);
  TVantrelSkillGroup* group = System->GetGroups()->Group(0);
  EXPECT_EQ(group->GetGUID(), rtl::TGUID::Create("{00000000-0000-0000-0000-000000000001}"));
  EXPECT_EQ(group->GetName(), "Combat");
  ASSERT_EQ(group->GetSkills()->Count(), 1);
  TVantrelSkill* sword = group->GetSkills()->Skill(0);
  EXPECT_EQ(sword->GetName(), "Sword");
  EXPECT_EQ(sword->NameMap().Count(), 1);
  EXPECT_EQ(sword->GetFactor(), 1.5f);
  EXPECT_EQ(sword->GetMaxLevel(), 3);
  EXPECT_EQ(sword->GetData().AsString(), "(empty)");
  EXPECT_EQ(Saved(*System), GoldenFile);
}

TEST_F(SkillFileTest, RoundTripOfADeepTreeAndLoadingTwiceDoubles) {
  System->SetPosition({-2.25f, 1e-6f});
  TVantrelSkillGroup* group = System->AddGroup();
  group->SetNames("de-de", "Kampf");
  group->SetIcon(4);
  TVantrelSkill* skill = group->AddSkill();
  skill->SetValue(1e-6f);
  skill->SetFactor(0.1f);
  skill->SetInterpolation(TVantrelSkillLevelInterpolation::ExponentialMinus1Interpolation);
  skill->SetPosition({3.5f, -7});
  skill->SetEnabled(false);
  skill->SetActivated(true);
  skill->SetData(rtl::TValue::From(42));
  TVantrelSkill* deepest = skill->AddSkill()->AddSkill()->AddSkill();
  deepest->SetName("Deep");
  const std::string text = Saved(*System);

  auto copy = NewSystem();
  Load(*copy, text);
  EXPECT_EQ(Saved(*copy), text);
  TVantrelSkill* read = copy->FindSkillByGUID(skill->GetGUID());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->GetValue(), 1e-6f);
  EXPECT_EQ(read->GetFactor(), 0.1f);
  EXPECT_EQ(read->GetInterpolation(), TVantrelSkillLevelInterpolation::ExponentialMinus1Interpolation);
  EXPECT_EQ(read->GetPosition(), (rtl::TPointF{3.5f, -7}));
  EXPECT_FALSE(read->GetEnabled());
  EXPECT_TRUE(read->GetActivated());
  EXPECT_EQ(read->GetData().AsInteger(), 42);
  EXPECT_EQ(copy->GetGroups()->Group(0)->GetNames("de-de"), "Kampf");
  EXPECT_EQ(copy->GetGroups()->Group(0)->GetIcon(), 4);
  EXPECT_EQ(copy->FindSkillInTree(deepest->GetGUID())->GetName(), "Deep");
  EXPECT_EQ(copy->GetPosition(), System->GetPosition());
  Load(*copy, text);
  EXPECT_EQ(copy->GetGroups()->Count(), 2);
}

TEST_F(SkillFileTest, ReaderTable) {
  struct TCase {
    std::string Position;
    rtl::TPointF Expected;
  };
  for (const TCase& c : {TCase{"1.5;2.5", {1.5f, 2.5f}}, TCase{"1.5", {0, 0}}, TCase{"a;2", {0, 2}}}) {
    SCOPED_TRACE(c.Position);
    auto system = NewSystem();
    system->SetPosition({9, 9});
    Load(*system, File("", "id=\"S\" position=\"" + c.Position + "\""));
    EXPECT_EQ(system->GetPosition(), c.Expected);
  }
  Load(*System, File("<group><skills><skill><Value>2.5</Value><Name type=\"multilingual\"><lang id=\"en-us\">"
                     "<![CDATA[Ignored]]></lang></Name><INTERPOLATION>Cubic</INTERPOLATION>"
                     "<factor>1E-6</factor></skill></skills></group>"));
  TVantrelSkill* skill = System->GetGroups()->Group(0)->GetSkills()->Skill(0);
  EXPECT_EQ(skill->GetValue(), 2.5f);
  EXPECT_EQ(skill->GetFactor(), 1e-6f);
  EXPECT_EQ(skill->GetInterpolation(), TVantrelSkillLevelInterpolation::LinearInterpolation);
  EXPECT_NE(skill->GetName(), "Ignored");
}

TEST_F(SkillFileTest, ReaderErrors) {
  const std::pair<std::string, std::string> messages[] = {
      {"<skillsystem id=\"S\"><groups/></skillsystem>", "root node \"skillsystem\" not found!"},
      {"<?xml version=\"1.0\"?><other/>", "root node \"skillsystem\" not found!"},
      {"<?xml version=\"1.0\"?><skillsystem id=\"S\"/>", "skill groups not found!"}};
  for (const auto& [text, message] : messages) {
    SCOPED_TRACE(text);
    try {
      Load(*NewSystem(), text);
      ADD_FAILURE();
    } catch (const rtl::Exception& e) {
      EXPECT_STREQ(e.ClassName(), "Exception");
      EXPECT_EQ(e.Message(), message);
    }
  }
  EXPECT_THROW(Load(*NewSystem(), File("<group guid=\"{nope}\"/>")), rtl::EConvertError);
  EXPECT_THROW(Load(*NewSystem(), File("", "id=\"1x\"")), rtl::EComponentError);
  EXPECT_THROW(
      Load(*NewSystem(), File("<group><skills><skill><value>1E300</value></skill></skills></group>")),
      rtl::EConvertError);
  // What was read before the error stays.
  auto partial = NewSystem();
  EXPECT_THROW(Load(*partial, File("<group/><group guid=\"bad\"/>")), rtl::EConvertError);
  EXPECT_EQ(partial->GetGroups()->Count(), 2);
  // A missing file loads nothing.
  partial->LoadFromFile("/nonexistent/skills.xml");
  EXPECT_EQ(partial->GetGroups()->Count(), 2);
}

TEST_F(SkillFileTest, PendingLevelUpsOfNestedSkillsLoadAndComplete) {
  TVantrelSkill* skill = System->AddGroup()->AddSkill();
  TVantrelSkill* nested = skill->AddSkill();
  TVantrelSkill* destination = nested->AddSkill();
  nested->SetLevelingTime(0);
  nested->SetMaxLevel(1);
  std::string text;
  {
    // Held across the save: the thread cannot start the level-up meanwhile.
    auto pending = System->Leveling()->LockProcesses();
    nested->StartLevelingUp(destination);
    ASSERT_FALSE(pending->First()->IsStarted());
    text = Saved(*System);
  }
  EXPECT_NE(text.find("progress=\"0\""), std::string::npos);
  auto copy = NewSystem();
  {
    auto pending = copy->Leveling()->LockProcesses();
    Load(*copy, text);
    ASSERT_EQ(pending->Count(), 1);
    EXPECT_FALSE(pending->First()->IsStarted());
  }
  TVantrelSkill* loaded = copy->FindSkillInTree(nested->GetGUID());
  ASSERT_NE(loaded, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return loaded->GetLevel() == 1; }));
  EXPECT_TRUE(copy->FindSkillInTree(destination->GetGUID())->GetActivated());
}

TEST_F(SkillFileTest, ALevelUpResumesWhereItWasSaved) {
  TVantrelSkill* skill = System->AddGroup()->AddSkill();
  skill->StartLevelingUp();
  const int64_t reads = Clock.Reads();
  ASSERT_TRUE(PumpUntil([&] { return Clock.Reads() > reads; }));
  Clock.Advance(300);
  const std::string text = Saved(*System);
  EXPECT_NE(text.find("progress=\"300\""), std::string::npos);
  auto copy = NewSystem();
  Load(*copy, text);
  auto pending = copy->Leveling()->LockProcesses();
  ASSERT_EQ(pending->Count(), 1);
  EXPECT_TRUE(pending->First()->IsStarted());
  EXPECT_EQ(pending->First()->Progress(), 300);
}

TEST_F(SkillFileTest, LevelUpsNamingUnknownSkillsStopTheLoad) {
  const std::string guid = "{00000000-0000-0000-0000-0000000000AA}";
  const std::string groups =
      "<groups><group><skills><skill guid=\"" + guid + "\"/></skills></group></groups>";
  const std::pair<std::string, std::string> cases[] = {
      {"<process skill=\"{00000000-0000-0000-0000-000000000001}\"/>",
       "failed to load leveling process - skill not found"},
      {"<process to-level=\"2\"/>", "failed to load leveling process - skill not found"},
      {"<process skill=\"" + guid + "\" dest=\"{00000000-0000-0000-0000-000000000001}\"/>",
       "failed to load leveling process - destination not found"}};
  for (const auto& [process, message] : cases) {
    SCOPED_TRACE(process);
    auto system = NewSystem();
    try {
      Load(*system, "<?xml version=\"1.0\"?><skillsystem id=\"S\">" + groups + "<processes>" + process +
                        "</processes></skillsystem>");
      ADD_FAILURE();
    } catch (const rtl::Exception& e) {
      EXPECT_EQ(e.Message(), message);
    }
    EXPECT_EQ(system->Leveling()->LockProcesses()->Count(), 0);
  }
}

TEST_F(SkillFileTest, AFileWrittenWhileALevelUpFinishesKeepsTheirOrder) {
  TVantrelSkillGroup* group = System->AddGroup();
  TVantrelSkill* slow = group->AddSkill();
  TVantrelSkill* instant = group->AddSkill();
  instant->SetLevelingTime(0);
  slow->StartLevelingUp();
  instant->StartLevelingUp();
  // Without pumping, the instant level-up waits in the finished list for the UI thread.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (System->Leveling()->LockProcesses()->Count() != 1 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  const std::string text = Saved(*System);
  const std::string processes = text.substr(text.find("<processes>"));
  ASSERT_LT(processes.find(slow->GetGUID().ToString()), processes.find(instant->GetGUID().ToString()));
  ASSERT_TRUE(PumpUntil([&] { return instant->GetLevel() == 1; }));
}

TEST_F(SkillFileTest, NamesInTheFileReplaceTheDefaultName) {
  TVantrelSkillGroup* group = System->AddGroup();
  group->SetName("");
  group->AddSkill()->SetNames("de-de", "Schwert");
  const std::string text = Saved(*System);
  auto copy = NewSystem();
  Load(*copy, text);
  EXPECT_EQ(copy->GetGroups()->Group(0)->NameMap().Count(), 0);
  EXPECT_EQ(copy->GetGroups()->Group(0)->GetSkills()->Skill(0)->NameMap().Count(), 2);
  EXPECT_EQ(Saved(*copy), text);
  Load(*copy, File("<group><name id=\"de-de\">Kampf</name></group>"));
  EXPECT_EQ(copy->GetGroups()->Group(1)->NameMap().Count(), 1);
  EXPECT_EQ(copy->GetGroups()->Group(1)->GetNames("de-de"), "Kampf");
}
