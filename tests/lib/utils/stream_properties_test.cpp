#include <gtest/gtest.h>

#include <string>

#include "rtl/filer.h"
#include "rtl/form_text.h"
#include "utils/Vantrel.Utils.Dialogue.System.h"
#include "utils/Vantrel.Utils.Inventory.h"

using namespace vantrel;

namespace {

template <class T> TOwned<T> RoundTrip(T* ASource, std::string& AText) {
  TBytesStream stream;
  TWriter(stream).WriteRootComponent(ASource);
  AText = ObjectBinaryToText(stream.Bytes());
  TOwned<T> copy(rtl::New<T>(nullptr));
  stream.SetPosition(0);
  TReader(stream).ReadRootComponent(copy.get());
  TBytesStream again;
  TWriter(again).WriteRootComponent(copy.get());
  EXPECT_EQ(again.Bytes(), stream.Bytes());
  return copy;
}

TEST(StreamProperties, InventoryMapsAndReferencesTravelThroughAComponentStream) {
  TOwned<TVantrelInventory> source(rtl::New<TVantrelInventory>(nullptr));
  TVantrelInventoryGroup* group = source->AddGroup("metal");
  TVantrelInventoryItemTemplate* sword = source->AddItemTemplate("sword");
  TVantrelInventoryItemTemplate* better = source->AddItemTemplate("better");
  sword->SetGroup(group);
  sword->SetUpgradeItem(better);
  better->SetDowngradeItem(sword);
  sword->Name()->Add("en-us", "Sword");
  sword->Parameters()->Add("damage", TValue::From(12));
  TVantrelInventoryCollectState state = TVantrelInventoryCollectState::None;
  source->Collect(sword, state);

  std::string text;
  TOwned<TVantrelInventory> copy = RoundTrip(source.get(), text);
  EXPECT_NE(text.find("NameMap = '{\"Values\":[{\"Key\":\"en-us\",\"Value\":\"Sword\"}]}'"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("GroupID = 'metal'"), std::string::npos);
  EXPECT_NE(text.find("TemplateID = 'sword'"), std::string::npos);
  TVantrelInventoryItemTemplate* loaded = copy->FindItemTemplate("sword");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->Name()->Items("en-us"), "Sword");
  EXPECT_EQ(loaded->Parameters()->Items("damage").AsInteger(), 12);
  ASSERT_NE(loaded->GetGroup(), nullptr);
  EXPECT_EQ(loaded->GetGroup()->Id(), "metal");
  ASSERT_NE(loaded->GetUpgradeItem(), nullptr);
  EXPECT_EQ(loaded->GetUpgradeItem()->Id(), "better");
  EXPECT_EQ(copy->FindItemTemplate("better")->GetDowngradeItem(), loaded);
  ASSERT_EQ(copy->CollectedItems()->Count(), 1);
  EXPECT_EQ(static_cast<TVantrelInventoryCollectable*>(copy->CollectedItems()->Items(0))->Template(), loaded);
}

TEST(StreamProperties, DialoguePositionsParametersTextsAndDataTravelThroughAComponentStream) {
  TOwned<TVantrelDialogueSystem> source(rtl::New<TVantrelDialogueSystem>(nullptr));
  auto* dialogue = static_cast<TVantrelDialogue*>(source->GetDialogues()->Add());
  dialogue->SetIdent("intro");
  dialogue->SetPosition(TPointF{1.5f, -2});
  dialogue->Parameters().Add("mood", TValue::From(std::string("calm")));
  auto* item = static_cast<TVantrelDialogueItem*>(dialogue->GetItems()->Add());
  item->SetIdent("hello");
  item->Text().Add("en-us", "Hello");
  auto* event = static_cast<TVantrelDialogueItemEvent*>(item->GetEvents()->Add());
  event->SetIdent("pay");
  event->Data().Add("en-us", "Pay");

  std::string text;
  TOwned<TVantrelDialogueSystem> copy = RoundTrip(source.get(), text);
  EXPECT_NE(text.find("Position = '(1.5,-2)'"), std::string::npos) << text;
  ASSERT_EQ(copy->GetDialogues()->Count(), 1);
  auto* loaded = static_cast<TVantrelDialogue*>(copy->GetDialogues()->Items(0));
  EXPECT_EQ(loaded->GetPosition(), (TPointF{1.5f, -2}));
  EXPECT_EQ(loaded->Parameters().Items("mood").AsString(), "calm");
  ASSERT_EQ(loaded->GetItems()->Count(), 1);
  auto* loadedItem = static_cast<TVantrelDialogueItem*>(loaded->GetItems()->Items(0));
  EXPECT_EQ(loadedItem->Text().Items("en-us"), "Hello");
  ASSERT_EQ(loadedItem->GetEvents()->Count(), 1);
  EXPECT_EQ(static_cast<TVantrelDialogueItemEvent*>(loadedItem->GetEvents()->Items(0))->Data().Items("en-us"),
            "Pay");
}

} // namespace
