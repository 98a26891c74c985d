#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/properties.h"
#include "utils/Vantrel.Utils.Inventory.h"
#include "xml/Vantrel.Xml.Document.h"

using namespace vantrel;
using TState = TVantrelInventoryCollectState;

namespace {

class InventoryModel : public ::testing::Test {
protected:
  TOwned<TVantrelInventory> FInventory{rtl::New<TVantrelInventory>(nullptr)};
  std::vector<std::pair<std::string, TCollectionNotification>> FEvents;

  void SetUp() override {
    FInventory->SetOnItemNotify(
        [this](TVantrelInventory*, TVantrelInventoryCollectable* AItem, TCollectionNotification AAction) {
          FEvents.emplace_back(AItem->Id(), AAction);
        });
  }

  TVantrelInventoryItemTemplate* Template(const std::string& AId, int32_t AMax, bool APooled) {
    TVantrelInventoryItemTemplate* item = FInventory->AddItemTemplate(AId);
    item->SetMaxQuantity(AMax);
    item->SetIsPooled(APooled);
    return item;
  }

  TState CollectTimes(TVantrelInventoryItemTemplate* ATemplate, int ATimes) {
    TState state = TState::None;
    for (int i = 0; i < ATimes; ++i)
      FInventory->Collect(ATemplate, state);
    return state;
  }
};

} // namespace

TEST_F(InventoryModel, DecidesWhetherAnItemMayBeCollected) {
  TVantrelInventoryGroup* five = FInventory->AddGroup("five");
  five->SetMaxQuantity(5);
  TVantrelInventoryGroup* three = FInventory->AddGroup("three");
  three->SetMaxQuantity(3);
  TVantrelInventoryGroup* off = FInventory->AddGroup("off");
  off->SetEnabled(false);

  EXPECT_EQ(FInventory->IsCollectable(nullptr, 1), TState::NotFound);
  EXPECT_EQ(FInventory->IsCollectable("nothing", 1), TState::NotFound);
  TVantrelInventoryItemTemplate* disabled = Template("disabled", 10, true);
  disabled->SetEnabled(false);
  EXPECT_EQ(FInventory->IsCollectable(disabled, 1), TState::Disabled);
  TVantrelInventoryItemTemplate* inOff = Template("in-off", 10, true);
  inOff->SetGroup(off);
  EXPECT_EQ(FInventory->IsCollectable(inOff, 1), TState::Disabled);

  TVantrelInventoryItemTemplate* unlimited = Template("unlimited", 0, false);
  unlimited->SetGroup(five);
  EXPECT_EQ(CollectTimes(unlimited, 20), TState::Collected);

  TVantrelInventoryItemTemplate* capped = Template("capped", 10, false);
  capped->SetGroup(three);
  EXPECT_EQ(CollectTimes(capped, 3), TState::Collected);
  EXPECT_EQ(CollectTimes(capped, 1), TState::QuantityExceeded);

  // A single collect of more units than the limit allows changes nothing.
  TVantrelInventoryItemTemplate* ten = Template("ten", 10, true);
  TState state = TState::None;
  EXPECT_EQ(FInventory->Collect(ten, 100, state), nullptr);
  EXPECT_EQ(state, TState::QuantityExceeded);
  EXPECT_EQ(FInventory->FindFirstCollectedItem(ten), nullptr);

  // Pooled: only the first collectable counts.
  TVantrelInventoryItemTemplate* pooled = Template("pooled", 2, true);
  EXPECT_EQ(CollectTimes(pooled, 2), TState::Collected);
  EXPECT_EQ(CollectTimes(pooled, 1), TState::QuantityExceeded);
  FInventory->FindFirstCollectedItem(pooled)->SetQuantity(1);
  auto* second = static_cast<TVantrelInventoryCollectable*>(FInventory->CollectedItems()->Add());
  second->SetTemplate(pooled);
  second->SetQuantity(5);
  EXPECT_EQ(FInventory->IsCollectable(pooled, 1), TState::Allowed);

  // Dependencies are summed over every collectable of the needed template.
  TVantrelInventoryItemTemplate* ore = Template("ore", 0, false);
  TVantrelInventoryItemTemplate* bar = Template("bar", 0, true);
  bar->AddDependency("ore", 3);
  CollectTimes(ore, 2);
  EXPECT_EQ(FInventory->IsCollectable(bar, 1), TState::Missing);
  CollectTimes(ore, 1);
  EXPECT_EQ(FInventory->IsCollectable(bar, 1), TState::Allowed);
  EXPECT_EQ(FInventory->FindCollectedItems(ore).size(), 3u);

  // A count of 0 collects nothing.
  EXPECT_EQ(FInventory->Collect(bar, 0, state), nullptr);
  EXPECT_EQ(state, TState::None);
  EXPECT_EQ(FInventory->FindFirstCollectedItem(bar), nullptr);
}

TEST_F(InventoryModel, CollectsAndDropsWithTheirNotifications) {
  using enum TCollectionNotification;
  TVantrelInventoryItemTemplate* pooled = Template("gold", 0, true);
  TVantrelInventoryItemTemplate* single = Template("sword", 0, false);
  CollectTimes(pooled, 2);
  CollectTimes(single, 2);
  ASSERT_EQ(FInventory->FindCollectedItems(pooled).size(), 1u);
  EXPECT_EQ(FInventory->FindFirstCollectedItem("gold")->Quantity(), 2);
  EXPECT_EQ(FInventory->FindCollectedItems("sword").size(), 2u);
  EXPECT_EQ(FEvents, (decltype(FEvents){{"gold", cnAdded}, {"sword", cnAdded}, {"sword", cnAdded}}));

  FEvents.clear();
  TVantrelInventoryCollectable* gold = FInventory->FindFirstCollectedItem(pooled);
  gold->SetQuantity(5);
  FInventory->DropCollectedItem(gold, 0);
  FInventory->DropCollectedItem(gold, -5);
  EXPECT_TRUE(FEvents.empty());
  EXPECT_EQ(gold->Quantity(), 5);
  FInventory->DropCollectedItem(gold, 2);
  EXPECT_EQ(gold->Quantity(), 3);
  FInventory->DropCollectedItem(gold, 3);
  EXPECT_EQ(FEvents, (decltype(FEvents){{"gold", cnExtracted}, {"gold", cnRemoved}}));
  EXPECT_EQ(gold->Inventory(), nullptr);
  EXPECT_EQ(gold->GetCurrentName(), "");

  FEvents.clear();
  FInventory->DropCollectedItem("unknown", true);
  FInventory->DropCollectedItem("sword", false);
  EXPECT_EQ(FInventory->FindCollectedItems(single).size(), 1u);
  CollectTimes(single, 2);
  FInventory->DropCollectedItem(single, true);
  EXPECT_TRUE(FInventory->FindCollectedItems(single).empty());
  EXPECT_EQ(FEvents.size(), 6u); // 1 + 3 removed, 2 added
  CollectTimes(pooled, 1);
  FInventory->DropCollectedItem(FInventory->FindFirstCollectedItem(pooled), -1);
  EXPECT_EQ(FInventory->FindFirstCollectedItem(pooled), nullptr);
}

TEST_F(InventoryModel, NamesLanguagesAndCounts) {
  TVantrelInventoryGroup* group = FInventory->AddGroup("g");
  TVantrelInventoryItemTemplate* sword = Template("sword", 0, false);
  sword->SetGroup(group);
  sword->Name()->Add("en-us", "Sword");
  sword->Name()->Add("de-de", "Schwert");
  TState state = TState::None;
  TVantrelInventoryCollectable* item = FInventory->Collect(sword, 3, state);
  FInventory->Collect(sword, state);
  EXPECT_EQ(item->Quantity(), 3);
  EXPECT_EQ(item->GetCurrentName(), "Sword");
  FInventory->SetLanguage(2);
  EXPECT_EQ(item->GetCurrentName(), "Schwert");
  item->Name()->Add("de-de", "Mein Schwert");
  EXPECT_EQ(item->GetCurrentName(), "Mein Schwert");
  FInventory->SetLanguage(9);
  EXPECT_EQ(FInventory->GetCurrentLanguageName(), "en-us");
  EXPECT_EQ(group->CountCollectables(), 2);

  TVantrelInventoryItemTemplate* better = Template("better", 0, false);
  sword->SetUpgradeItem(better);
  EXPECT_TRUE(item->IsUpgradable());
  better->SetEnabled(false);
  EXPECT_FALSE(item->IsUpgradable());
  EXPECT_FALSE(item->IsDowngradable());
  TVantrelInventoryCollectable* built = sword->Build();
  ASSERT_NE(built, nullptr);
  EXPECT_EQ(built->Template(), sword);
  EXPECT_EQ(better->Build(), nullptr);
}

TEST_F(InventoryModel, RemovedEntriesStayAliveInTheGraveyard) {
  TVantrelInventoryGroup* group = FInventory->AddGroup("g");
  TVantrelInventoryItemTemplate* iron = Template("iron", 0, false);
  TVantrelInventoryItemTemplate* sword = Template("sword", 0, false);
  iron->SetGroup(group);
  sword->AddDependency(iron, 1);
  sword->SetUpgradeItem(iron);
  CollectTimes(iron, 2);
  TVantrelInventoryCollectable* held = FInventory->FindFirstCollectedItem(iron);

  FInventory->RemoveGroup("g");
  EXPECT_EQ(iron->GetGroup(), nullptr);
  EXPECT_EQ(FInventory->Groups()->Count(), 0);

  FEvents.clear();
  FInventory->RemoveItemTemplate("iron");
  EXPECT_EQ(FEvents.size(), 2u);
  EXPECT_EQ(FInventory->FindItemTemplate("iron"), nullptr);
  EXPECT_EQ(sword->Dependency()->Count(), 0);
  EXPECT_EQ(sword->GetUpgradeItem(), iron); // still a live object
  EXPECT_EQ(iron->Id(), "iron");
  EXPECT_EQ(held->Template(), iron);
  EXPECT_EQ(FInventory->Graveyard().size(), 4u);

  FInventory->Clear();
  EXPECT_EQ(held->Template(), nullptr);
  EXPECT_EQ(FInventory->ItemTemplates()->Count(), 0);
}

TEST_F(InventoryModel, LateResolutionRunsOnceAndForgetsItsList) {
  TVantrelInventoryItemTemplate* sword = Template("sword", 0, false);
  TVantrelInventoryGroup* group = FInventory->AddGroup("g");
  int writes = 0;
  FInventory->AddToLateResolve(TVantrelInventoryGroup::StaticClass(), "g",
                               [&](TVantrelInventoryCustomItem* AItem) {
                                 ++writes;
                                 sword->SetGroup(static_cast<TVantrelInventoryGroup*>(AItem));
                               });
  FInventory->AddToLateResolve(TVantrelInventoryItemTemplate::StaticClass(), "none",
                               [&](TVantrelInventoryCustomItem*) { ++writes; });
  FInventory->Loaded();
  EXPECT_EQ(sword->GetGroup(), group);
  EXPECT_EQ(writes, 1);
  FInventory->Clear();
  FInventory->Loaded();
  EXPECT_EQ(writes, 1);
}

TEST_F(InventoryModel, PublishedPropertiesAndParameters) {
  const std::vector<std::string> expected = {"Id",          "Enabled",       "Group",     "MaxQuantity",
                                             "Weight",      "MaxWeight",     "IsPooled",  "Dependency",
                                             "UpgradeItem", "DowngradeItem", "ImageIndex"};
  std::vector<std::string> names;
  for (const TPropInfo* prop : GetPropList(TVantrelInventoryItemTemplate::StaticClass()))
    names.push_back(prop->Name);
  EXPECT_EQ(names, expected);
  EXPECT_FALSE(GetPropInfo(TVantrelInventoryItemTemplate::StaticClass(), "Group")->StoredFlag);
  EXPECT_EQ(TVantrelInventoryItemTemplate::StaticClass().QualifiedName(),
            "Vantrel.Utils.Inventory.TVantrelInventoryItemTemplate");

  TVantrelInventoryParameters parameters;
  parameters.Add("42", TValue::From(12));
  parameters.Add("text", TValue::From(std::string("x")));
  TMz_XmlDocument document;
  auto* params = TMz_XmlElement::Create(&document, nullptr, "", "params");
  parameters.ToXml(params);
  TVantrelInventoryParameters back;
  back.FromXml(params);
  params->Free();
  ASSERT_EQ(back.Count(), 2);
  EXPECT_EQ(back.Items("42").AsInteger(), 12);
  EXPECT_EQ(back.Items("text").AsString(), "x");
}

TEST_F(InventoryModel, StreamPropertyTexts) {
  TVantrelInventoryItemTemplate* sword = Template("sword", 0, false);
  TVantrelInventoryItemTemplate* better = Template("better", 0, false);
  TVantrelInventoryGroup* group = FInventory->AddGroup("g");
  sword->Name()->Add("en-us", "Sword");
  sword->Parameters()->Add("damage", TValue::From(12));
  EXPECT_EQ(sword->NameMapText(), R"({"Values":[{"Key":"en-us","Value":"Sword"}]})");
  better->SetNameMapText(sword->NameMapText());
  EXPECT_EQ(better->Name()->Items("en-us"), "Sword");
  better->SetParameterMapText(sword->ParameterMapText());
  EXPECT_EQ(better->Parameters()->Items("damage").AsInteger(), 12);
  better->SetParameterMapText("not json");
  EXPECT_EQ(better->Parameters()->Count(), 0);

  EXPECT_EQ(sword->GroupIDText(), "");
  sword->SetGroupIDText("g");
  sword->SetUpgradeItemIDText("better");
  sword->SetDowngradeItemIDText("");
  TState state = TState::None;
  FInventory->Collect(sword, state)->SetTemplateIDText("better");
  EXPECT_EQ(sword->GetGroup(), nullptr);
  FInventory->Loaded();
  EXPECT_EQ(sword->GetGroup(), group);
  EXPECT_EQ(sword->GetUpgradeItem(), better);
  EXPECT_EQ(sword->GroupIDText(), "g");
  EXPECT_EQ(sword->UpgradeItemIDText(), "better");
  EXPECT_EQ(FInventory->FindFirstCollectedItem("sword")->TemplateIDText(), "better");

  TVantrelInventoryManufacturer* forge = FInventory->AddManufacturer("forge");
  forge->AddIngredient("sword", 2);
  forge->AddIngredient("nothing", 1);
  forge->AddIngredient(better, 0);
  forge->AddResultItem("better", 1);
  forge->AddResultItem("sword", 3);
  EXPECT_EQ(forge->GetDescriptionString(), "forge: sword(2) => (better(1) + sword(3))");
  FInventory->RemoveItemTemplate(sword);
  EXPECT_EQ(forge->GetDescriptionString(), "forge:  => (better(1))");
  FInventory->RemoveManufacturer("forge");
  EXPECT_EQ(FInventory->FindManufacturer("forge"), nullptr);
}
