#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "rtl/properties.h"
#include "rtl/random.h"
#include "ui/platform_services.h"
#include "utils/Vantrel.Utils.Dialogue.System.h"

using namespace vantrel;

namespace {

class DialogueModelTest : public ::testing::Test {
protected:
  void SetUp() override { rtl::SetRandSeed(7); }

  TVantrelDialogue* AddDialogue(const std::string& AId) {
    auto* dialogue = static_cast<TVantrelDialogue*>(System->GetDialogues()->Add());
    dialogue->SetIdent(AId);
    return dialogue;
  }
  static TVantrelDialogueItem* AddItem(TVantrelDialogueParentItem* AParent, const std::string& AId) {
    auto* item = static_cast<TVantrelDialogueItem*>(AParent->GetItems()->Add());
    item->SetIdent(AId);
    return item;
  }

  rtl::TOwned<TVantrelDialogueSystem> System = rtl::MakeOwned<TVantrelDialogueSystem>(nullptr);
};

} // namespace

TEST_F(DialogueModelTest, NewEntriesHaveTheirDefaults) {
  TVantrelDialogue* dialogue = static_cast<TVantrelDialogue*>(System->GetDialogues()->Add());
  auto* item = static_cast<TVantrelDialogueItem*>(dialogue->GetItems()->Add());
  auto* event = static_cast<TVantrelDialogueItemEvent*>(item->GetEvents()->Add());
  EXPECT_THAT(System->GetId(), ::testing::MatchesRegex("TVantrelDialogueSystem_[0-9]{1,4}"));
  EXPECT_EQ(System->GetLanguage(), 0);
  EXPECT_THAT(dialogue->GetIdent(), ::testing::MatchesRegex("TVantrelDialogue_[0-9]{1,4}"));
  EXPECT_THAT(item->GetIdent(), ::testing::MatchesRegex("TVantrelDialogueItem_[0-9]{1,4}"));
  EXPECT_EQ(item->GetKind(), TVantrelDialogueItemKind::Flow);
  EXPECT_TRUE(item->GetEnabled());
  EXPECT_EQ(item->GetDisplayTime(), 0);
  EXPECT_FALSE(item->Timer()->GetEnabled());
  EXPECT_EQ(item->Timer()->GetInterval(), 3'600'000);
  EXPECT_EQ(event->GetKind(), TVantrelDialogueEventKind::Misc);
  EXPECT_EQ(event->GetTrigger(), TVantrelDialogueEventTrigger::OnBegin);
  EXPECT_EQ(event->GetIterations(), 0);
  EXPECT_FALSE(dialogue->GetStarted());
  EXPECT_EQ(dialogue->GetCurrentItem(), nullptr);
  // A fixed seed gives the same identifiers.
  rtl::SetRandSeed(7);
  const std::string first = rtl::MakeOwned<TVantrelDialogueSystem>(nullptr)->GetId();
  rtl::SetRandSeed(7);
  EXPECT_EQ(rtl::MakeOwned<TVantrelDialogueSystem>(nullptr)->GetId(), first);
}

TEST_F(DialogueModelTest, ItemsRefuseCollectionsOfTheWrongKind) {
  rtl::TOwnedCollection plain(nullptr, TVantrelDialogueItem::StaticClass());
  try {
    plain.Add();
    FAIL();
  } catch (const rtl::Exception& e) {
    EXPECT_EQ(e.Message(), "invalid collection type - TVantrelDialogueSystemCollection expected, but "
                           "TOwnedCollection found");
  }
  EXPECT_EQ(plain.Count(), 0);
  // An item needs a collection of a dialogue, not one of the system.
  TVantrelDialogueSystemCollection systemLevel(System.get(), TVantrelDialogueItem::StaticClass());
  try {
    systemLevel.Add();
    FAIL();
  } catch (const rtl::Exception& e) {
    EXPECT_EQ(e.Message(), "invalid collection type - TVantrelDialogueCustomCollection expected, but "
                           "TVantrelDialogueSystemCollection found");
  }
  EXPECT_EQ(systemLevel.Count(), 0);
  TVantrelDialogueItemCollection items(nullptr);
  // In an item collection that belongs to neither a dialogue nor an item, navigation fails.
  auto* orphan = static_cast<TVantrelDialogueItem*>(items.Add());
  for (const auto& [call, message] : std::vector<std::pair<std::function<void()>, std::string>>{
           {[&] { orphan->GetDialogue(); }, "invalid owner of TVantrelDialogueItem - GetDialogue() failed"},
           {[&] { orphan->GetDialogueSystem(); },
            "invalid owner of TVantrelDialogueItem - GetDialogueSystem() failed"}}) {
    SCOPED_TRACE(message);
    try {
      call();
      ADD_FAILURE();
    } catch (const rtl::Exception& e) {
      EXPECT_EQ(e.Message(), message);
    }
  }
}

TEST_F(DialogueModelTest, FindItemSearchesDepthFirstAndFindItemIndexOnlyChildren) {
  TVantrelDialogue* dialogue = AddDialogue("d");
  TVantrelDialogueItem* a = AddItem(dialogue, "a");
  TVantrelDialogueItem* b = AddItem(a, "b");
  TVantrelDialogueItem* deep = AddItem(b, "deep");
  AddItem(dialogue, "deep");
  EXPECT_EQ(dialogue->FindItem("deep"), deep);
  EXPECT_EQ(dialogue->FindItemIndex("deep"), 1);
  EXPECT_EQ(dialogue->FindItemIndex("b"), -1);
  EXPECT_EQ(dialogue->FindItem("d"), nullptr);
  EXPECT_EQ(dialogue->FindItem("DEEP"), nullptr);
  EXPECT_EQ(deep->GetDialogue(), dialogue);
  EXPECT_EQ(deep->GetParent(), b);
  EXPECT_EQ(deep->GetDialogueSystem(), System.get());
  EXPECT_EQ(System->FindDialogue("d"), dialogue);
}

TEST_F(DialogueModelTest, FreeingACharacterDropsEveryReferenceToIt) {
  TVantrelDialogue* first = AddDialogue("d1");
  TVantrelDialogue* second = AddDialogue("d2");
  auto* anna = static_cast<TVantrelDialogueCharacter*>(first->GetCharacters()->Add());
  anna->SetIdent("c1");
  anna->SetName("Anna");
  TVantrelDialogueItem* byId = AddItem(first, "q1");
  TVantrelDialogueItem* nested = AddItem(byId, "a1");
  TVantrelDialogueItem* elsewhere = AddItem(second, "x");
  byId->SetCharacter("c1");
  nested->SetCharacter("Anna");
  elsewhere->SetCharacterRef(anna);
  EXPECT_EQ(byId->GetCharacterRef(), anna);
  EXPECT_EQ(nested->GetCharacterRef(), anna);
  EXPECT_EQ(elsewhere->GetCharacter(), "c1");
  EXPECT_EQ(nested->GetDisplayName(), "Anna");
  anna->Free();
  for (TVantrelDialogueItem* item : {byId, nested, elsewhere}) {
    SCOPED_TRACE(item->GetIdent());
    EXPECT_EQ(item->GetCharacterRef(), nullptr);
    EXPECT_EQ(item->GetCharacter(), "");
  }
  EXPECT_EQ(nested->GetDisplayName(), "TVantrelDialogueItem");
  nested->SetDisplayNameText("Narrator");
  EXPECT_EQ(nested->GetDisplayName(), "Narrator");
}

TEST_F(DialogueModelTest, CurrentTextFallsBackToAnyLanguageThenEnglish) {
  TVantrelDialogueItem* item = AddItem(AddDialogue("d"), "i");
  System->SetLanguage(2);
  item->Text().Add("en-us", "Hello");
  EXPECT_EQ(item->GetCurrentText(), "Hello");
  item->Text().Add("*", "Any");
  EXPECT_EQ(item->GetCurrentText(), "Any");
  item->Text().Add("de-de", "Hallo");
  EXPECT_EQ(item->GetCurrentText(), "Hallo");
}

TEST_F(DialogueModelTest, PositionText) {
  EXPECT_EQ(DialoguePositionToText({12.5f, -3}), "(12.5,-3)");
  struct TCase {
    std::string Text;
    rtl::TPointF Expected;
  };
  const TCase cases[] = {{"(12.5,-3)", {12.5f, -3}}, {"(1.5,x)", {1.5f, 9}}, {"(x,2)", {8, 9}}, {"", {8, 9}}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    rtl::TPointF position{8, 9};
    DialoguePositionFromText(c.Text, position);
    EXPECT_EQ(position, c.Expected);
  }
}

TEST_F(DialogueModelTest, KindAndTriggerTexts) {
  EXPECT_EQ(StrToDialogueItemKind("QUESTION"), TVantrelDialogueItemKind::Question);
  EXPECT_EQ(StrToDialogueItemKind("branch"), TVantrelDialogueItemKind::None);
  EXPECT_EQ(DialogueItemKindToStr(TVantrelDialogueItemKind::Reference), "reference");
  EXPECT_EQ(StrToDialogueEventKind("Property"), TVantrelDialogueEventKind::ObjProperty);
  EXPECT_EQ(StrToDialogueEventKind(""), TVantrelDialogueEventKind::Misc);
  EXPECT_EQ(DialogueEventKindToStr(TVantrelDialogueEventKind::ObjProperty), "property");
  EXPECT_EQ(StrToDialogueEventTrigger("ONTIMEOUT"), TVantrelDialogueEventTrigger::OnTimeout);
  EXPECT_EQ(StrToDialogueEventTrigger("later"), TVantrelDialogueEventTrigger::Undefined);
  EXPECT_EQ(DialogueEventTriggerToStr(TVantrelDialogueEventTrigger::OnBegin), "onBegin");
}

TEST_F(DialogueModelTest, CloneCopiesEverythingAndAssignAddsOrReplaces) {
  TVantrelDialogue* dialogue = AddDialogue("d");
  auto* character = static_cast<TVantrelDialogueCharacter*>(dialogue->GetCharacters()->Add());
  character->SetIdent("c");
  character->SetName("Anna");
  TVantrelDialogueItem* question = AddItem(dialogue, "q");
  question->SetKind(TVantrelDialogueItemKind::Question);
  question->SetCharacter("c");
  question->SetDisplayTime(2000);
  question->Text().Add("en-us", "Hello?");
  question->AddParameter("gold", rtl::TValue::From(5));
  auto* event = static_cast<TVantrelDialogueItemEvent*>(question->GetEvents()->Add());
  event->SetIdent("e");
  event->SetKind(TVantrelDialogueEventKind::Method);
  event->Data().Add("en-us", "Pay");
  AddItem(question, "a")->SetKind(TVantrelDialogueItemKind::Answer);
  rtl::TPersistent variable;
  System->AddVariable("door", &variable);
  int stops = 0;
  System->SetOnStopDialogue([&](TVantrelDialogue*) { ++stops; });

  rtl::TOwned<TVantrelDialogueSystem> copy(System->Clone(nullptr));
  EXPECT_EQ(copy->GetId(), System->GetId());
  ASSERT_EQ(copy->GetDialogues()->Count(), 1);
  TVantrelDialogue* copied = copy->FindDialogue("d");
  ASSERT_NE(copied, nullptr);
  TVantrelDialogueItem* q = copied->FindItem("q");
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->GetKind(), TVantrelDialogueItemKind::Question);
  EXPECT_EQ(q->GetDisplayTime(), 2000);
  EXPECT_EQ(q->GetCurrentText(), "Hello?");
  EXPECT_EQ(q->GetParameter("gold").AsInteger(), 5);
  EXPECT_EQ(q->GetCharacterRef(), copied->FindCharacterById("c"));
  EXPECT_EQ(q->GetCharacterRef()->GetName(), "Anna");
  ASSERT_NE(q->FindEventById("e"), nullptr);
  EXPECT_EQ(q->FindEventById("e")->GetCurrentData(), "Pay");
  EXPECT_EQ(copied->FindItem("a")->GetKind(), TVantrelDialogueItemKind::Answer);
  EXPECT_EQ(copy->GetVariable("door"), &variable);
  copied->Start();
  copied->Stop();
  EXPECT_EQ(stops, 1);
  // With an owner, the owner frees the clone.
  auto owner = rtl::MakeOwned<rtl::TComponent>(nullptr);
  EXPECT_EQ(System->Clone(owner.get())->Owner(), owner.get());
  EXPECT_EQ(owner->ComponentCount(), 1);

  // A destination that already has a parameter of that name takes the new value and keeps its own.
  TVantrelDialogueItem* target = AddItem(dialogue, "t");
  target->AddParameter("gold", rtl::TValue::From(1));
  target->AddParameter("own", rtl::TValue::From(true));
  target->Text().Add("en-us", "Old");
  target->Assign(question);
  EXPECT_EQ(target->GetParameter("gold").AsInteger(), 5);
  EXPECT_TRUE(target->GetParameter("own").AsBoolean());
  EXPECT_EQ(target->GetCurrentText(), "Hello?");
}

TEST_F(DialogueModelTest, PublishedPropertiesAreSetByName) {
  TVantrelDialogueItem* item = AddItem(AddDialogue("d"), "i");
  rtl::SetPropValue(item, "Kind", rtl::TValue::From("Question"));
  rtl::SetPropValue(item, "DisplayTime", rtl::TValue::From(250));
  rtl::SetPropValue(item, "DisplayName", rtl::TValue::From("Guard"));
  EXPECT_EQ(item->GetKind(), TVantrelDialogueItemKind::Question);
  EXPECT_EQ(item->GetDisplayTime(), 250);
  EXPECT_EQ(item->GetDisplayName(), "Guard");
  EXPECT_EQ(rtl::GetPropValue(item, "Ident").AsString(), "i");
}

TEST_F(DialogueModelTest, ItemsNeedATimerService) {
  TVantrelDialogue* dialogue = AddDialogue("d");
  auto& services = ui::TPlatformServices::Current();
  const auto previous = services.TimerService();
  services.SetTimerService(nullptr);
  EXPECT_THROW(dialogue->GetItems()->Add(), ui::EUnsupportedPlatformService);
  services.SetTimerService(previous);
  EXPECT_EQ(dialogue->GetItems()->Count(), 0);
}
