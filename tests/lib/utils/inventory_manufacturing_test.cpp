#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "rtl/streams.h"
#include "support/fake_clock.h"
#include "utils/Vantrel.Utils.Inventory.h"

using namespace vantrel;
using TType = TManufacturingNotificationType;
using TItems = std::vector<TVantrelInventoryCollectable*>;

namespace {

// A forge (iron 2 + coal 1 => sword 1) in an inventory on a fake clock; every notification is
// recorded with the milliseconds since the test began.
class InventoryManufacturing : public ::testing::Test {
protected:
  vtest::TFakeClock Clock;
  const int64_t Begin = Clock.NowMs();
  TOwned<TVantrelInventory> Inventory{New<TVantrelInventory>(nullptr)};
  TVantrelInventoryItemTemplate* Iron = Template("iron", true);
  TVantrelInventoryItemTemplate* Coal = Template("coal", true);
  TVantrelInventoryItemTemplate* Sword = Template("sword", false);
  TVantrelInventoryManufacturer* Forge = Inventory->AddManufacturer("forge");
  std::vector<std::pair<int64_t, TType>> Events;
  std::vector<std::string> Produced;
  std::vector<std::pair<std::string, TCollectionNotification>> ItemEvents;

  void SetUp() override {
    Forge->AddIngredient(Iron, 2);
    Forge->AddIngredient("coal", 1);
    Forge->AddResultItem(Sword, 1);
    Watch(Forge);
    Inventory->SetOnItemNotify(
        [this](TVantrelInventory*, TVantrelInventoryCollectable* AItem, TCollectionNotification AAction) {
          ItemEvents.emplace_back(AItem->Id(), AAction);
        });
  }

  TVantrelInventoryItemTemplate* Template(const std::string& AId, bool APooled) {
    TVantrelInventoryItemTemplate* item = Inventory->AddItemTemplate(AId);
    item->SetIsPooled(APooled);
    item->SetMaxQuantity(0);
    return item;
  }
  void Watch(TVantrelInventoryManufacturer* AManufacturer) {
    AManufacturer->SetOnNotify([this](TVantrelInventoryManufacturer*, TVantrelInventoryManufacturingProcess*,
                                      TType AType) { Events.emplace_back(Clock.NowMs() - Begin, AType); });
    AManufacturer->SetOnProduced(
        [this](TVantrelInventoryManufacturer*, TVantrelInventoryManufacturingProcess*,
               TVantrelInventoryCollectable* AItem) { Produced.push_back(AItem->Id()); });
  }
  TVantrelInventoryCollectable* Collect(TVantrelInventoryItemTemplate* ATemplate, uint32_t ACount) {
    TVantrelInventoryCollectState state = TVantrelInventoryCollectState::None;
    return Inventory->Collect(ATemplate, ACount, state);
  }
  // Iron 5 and coal 1, started on the forge.
  TVantrelInventoryManufacturingProcess* StartForge() {
    TVantrelInventoryManufacturingProcess* process =
        Inventory->Manufacture({Collect(Iron, 5), Collect(Coal, 1)});
    ItemEvents.clear();
    return process;
  }
  int Count(TType AType) const {
    int count = 0;
    for (const auto& [time, type] : Events)
      count += type == AType ? 1 : 0;
    return count;
  }
};

} // namespace

TEST_F(InventoryManufacturing, AThreeSecondRunTicksThirtyTimesAndCompletesAt3100) {
  TVantrelInventoryManufacturingProcess* process = StartForge();
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(Events, (std::vector<std::pair<int64_t, TType>>{{0, TType::mntStarted}}));
  EXPECT_EQ(process->Progress(), 0);
  Clock.Advance(1500);
  EXPECT_EQ(process->Progress(), 1500);
  Clock.Advance(1599);
  ASSERT_EQ(Events.size(), 31u);
  for (int i = 1; i <= 30; ++i)
    EXPECT_EQ(Events[size_t(i)], (std::pair<int64_t, TType>{i * 100, TType::mntProcessing}));
  EXPECT_TRUE(Produced.empty());

  Clock.Advance(1);
  ASSERT_EQ(Events.size(), 32u);
  EXPECT_EQ(Events.back(), (std::pair<int64_t, TType>{3100, TType::mntCompleted}));
  EXPECT_EQ(Produced, std::vector<std::string>{"sword"});
  // Freed inside its own tick, with no "aborted" after "completed".
  EXPECT_EQ(Forge->ProcessCount(), 0);
  Clock.Advance(1000);
  EXPECT_EQ(Events.size(), 32u);
  EXPECT_EQ(Count(TType::mntAborted), 0);
}

TEST_F(InventoryManufacturing, ShortAndInstantRuns) {
  Forge->SetTimeNeeded(250);
  StartForge();
  Clock.Advance(400);
  EXPECT_EQ(Count(TType::mntProcessing), 3);
  EXPECT_EQ(Events.back(), (std::pair<int64_t, TType>{400, TType::mntCompleted}));

  // TimeNeeded 0 completes inside Start; the process stays listed until the manufacturer frees it,
  // and that reports nothing more.
  Events.clear();
  Produced.clear();
  Forge->SetTimeNeeded(0);
  StartForge();
  EXPECT_EQ(Events, (std::vector<std::pair<int64_t, TType>>{{400, TType::mntCompleted}}));
  EXPECT_EQ(Produced, std::vector<std::string>{"sword"});
  EXPECT_EQ(Forge->ProcessCount(), 1);
  Inventory.reset();
  EXPECT_EQ(Events.size(), 1u);
}

TEST_F(InventoryManufacturing, PauseResumesFromTheResumeAndAbortReportsOnce) {
  Forge->SetTimeNeeded(300);
  TVantrelInventoryManufacturingProcess* process = StartForge();
  Clock.Advance(100);
  process->Pause();
  Clock.Advance(500);
  process->Pause();
  Clock.Advance(300);
  EXPECT_EQ(Events, (std::vector<std::pair<int64_t, TType>>{{0, TType::mntStarted},
                                                            {100, TType::mntProcessing},
                                                            {100, TType::mntPaused},
                                                            {600, TType::mntPaused},
                                                            {700, TType::mntProcessing},
                                                            {800, TType::mntProcessing},
                                                            {900, TType::mntCompleted}}));

  Events.clear();
  process = StartForge();
  process->Abort(false);
  process->Abort(false);
  EXPECT_EQ(Forge->ProcessCount(), 1);
  EXPECT_EQ(process->Progress(), 0);
  Clock.Advance(1000);
  process->Abort(true);
  EXPECT_EQ(Forge->ProcessCount(), 0);
  EXPECT_EQ(Events,
            (std::vector<std::pair<int64_t, TType>>{{900, TType::mntStarted}, {900, TType::mntAborted}}));

  Events.clear();
  StartForge()->Abort(true);
  EXPECT_EQ(Count(TType::mntAborted), 1);
  EXPECT_EQ(Forge->ProcessCount(), 0);
}

TEST_F(InventoryManufacturing, ClearUnlinksTheIngredientsOfFreedRuns) {
  TVantrelInventoryCollectable* coal = Collect(Coal, 1);
  Forge->Start({Collect(Iron, 5), coal});
  ASSERT_EQ(coal->Template(), Coal);
  Inventory->Clear();
  EXPECT_EQ(Count(TType::mntAborted), 1);
  EXPECT_EQ(coal->Template(), nullptr);
  EXPECT_EQ(coal->GetCurrentName(), "");
}

TEST_F(InventoryManufacturing, AbortFromInsideATickFreesTheProcessAfterTheTick) {
  Forge->SetOnNotify(
      [this](TVantrelInventoryManufacturer*, TVantrelInventoryManufacturingProcess* AProcess, TType AType) {
        Events.emplace_back(Clock.NowMs() - Begin, AType);
        if (AType == TType::mntProcessing)
          AProcess->Abort(true);
      });
  StartForge();
  Clock.Advance(500);
  EXPECT_EQ(Events, (std::vector<std::pair<int64_t, TType>>{
                        {0, TType::mntStarted}, {100, TType::mntProcessing}, {100, TType::mntAborted}}));
  EXPECT_EQ(Forge->ProcessCount(), 0);
}

TEST_F(InventoryManufacturing, AnInstantRunFreedByItsCompletionHandlerStartsAsNull) {
  Forge->SetTimeNeeded(0);
  Forge->SetOnNotify(
      [this](TVantrelInventoryManufacturer*, TVantrelInventoryManufacturingProcess* AProcess, TType AType) {
        Events.emplace_back(Clock.NowMs() - Begin, AType);
        AProcess->Abort(true);
      });
  EXPECT_EQ(StartForge(), nullptr);
  EXPECT_EQ(Events, (std::vector<std::pair<int64_t, TType>>{{0, TType::mntCompleted}}));
  EXPECT_EQ(Produced, std::vector<std::string>{"sword"});
  EXPECT_EQ(Forge->ProcessCount(), 0);
}

TEST_F(InventoryManufacturing, RemovingARunningManufacturerAbortsItsRunsOnce) {
  StartForge();
  Clock.Advance(200);
  Inventory->RemoveManufacturer("forge");
  EXPECT_EQ(Count(TType::mntAborted), 1);
  EXPECT_EQ(Forge->ProcessCount(), 0);
  const size_t seen = Events.size();
  Clock.Advance(5000);
  EXPECT_EQ(Events.size(), seen);
  EXPECT_TRUE(Produced.empty());
}

TEST_F(InventoryManufacturing, TakesIngredientsAndVerifiesOffers) {
  TVantrelInventoryCollectable* iron = Collect(Iron, 5);
  TVantrelInventoryCollectable* coal = Collect(Coal, 1);
  ItemEvents.clear();
  EXPECT_TRUE(Forge->Verify({iron, coal}));
  TVantrelInventoryManufacturingProcess* process = Forge->Start({iron, coal});
  // The pooled iron shrinks and stays; the coal, exactly what is needed, moves into the process.
  EXPECT_EQ(iron->Quantity(), 3);
  EXPECT_EQ(ItemEvents, (std::vector<std::pair<std::string, TCollectionNotification>>{
                            {"iron", TCollectionNotification::cnExtracted},
                            {"coal", TCollectionNotification::cnRemoved}}));
  EXPECT_EQ(Inventory->FindFirstCollectedItem(Coal), nullptr);
  EXPECT_EQ(process->Collectables()->Count(), 1);
  process->Abort(true);
  // The taken coal outlives its process in the graveyard.
  EXPECT_EQ(coal->Id(), "coal");

  // Not pooled: each collectable counts as one unit and moves.
  TVantrelInventoryManufacturer* smelter = Inventory->AddManufacturer("smelter");
  smelter->AddIngredient(Sword, 2);
  TVantrelInventoryCollectable* first = Collect(Sword, 1);
  TVantrelInventoryCollectable* second = Collect(Sword, 1);
  ItemEvents.clear();
  smelter->Start({first, second});
  EXPECT_EQ(ItemEvents, (std::vector<std::pair<std::string, TCollectionNotification>>{
                            {"sword", TCollectionNotification::cnRemoved},
                            {"sword", TCollectionNotification::cnRemoved}}));
  EXPECT_TRUE(Inventory->FindCollectedItems(Sword).empty());

  struct TCase {
    const char* Name;
    TItems Offer;
    bool Expected;
  };
  TVantrelInventoryCollectable* moreIron = Collect(Iron, 1);
  TVantrelInventoryCollectable* moreCoal = Collect(Coal, 1);
  TVantrelInventoryCollectable* sword = Collect(Sword, 1);
  const TCase cases[] = {
      {"enough, with an item nothing needs", {moreIron, moreCoal, sword}, true},
      {"too little iron", {moreCoal}, false},
      {"nothing offered", {}, false},
  };
  for (const TCase& row : cases) {
    SCOPED_TRACE(row.Name);
    EXPECT_EQ(Forge->Verify(row.Offer), row.Expected);
  }
  TVantrelInventoryManufacturer* empty = Inventory->AddManufacturer("empty");
  EXPECT_FALSE(empty->Verify({moreIron}));
  Forge->AddDependency(Template("anvil", true), 1);
  EXPECT_FALSE(Forge->Verify({moreIron, moreCoal}));
  EXPECT_EQ(Inventory->Manufacture({moreIron, moreCoal}), nullptr);
  EXPECT_TRUE(Inventory->GetSuitableManufacturers({moreIron, moreCoal}).empty());
}

TEST_F(InventoryManufacturing, ResultsGrowPooledItemsAndSkipRefusedOnes) {
  TVantrelInventoryItemTemplate* arrow = Template("arrow", true);
  TVantrelInventoryItemTemplate* locked = Template("locked", true);
  locked->SetEnabled(false);
  Forge->ClearResultItems();
  Forge->AddResultItem(arrow, 4);
  Forge->AddResultItem(locked, 1);
  Forge->SetTimeNeeded(0);
  StartForge();
  EXPECT_EQ(Produced, std::vector<std::string>{"arrow"});
  ASSERT_EQ(Inventory->FindCollectedItems(arrow).size(), 1u);
  EXPECT_EQ(Inventory->FindFirstCollectedItem(arrow)->Quantity(), 4);
  EXPECT_EQ(Count(TType::mntCompleted), 1);
}

TEST_F(InventoryManufacturing, UpgradeMakesItsRecipeOnceAndSavesIt) {
  TVantrelInventoryItemTemplate* better = Template("better", false);
  Sword->SetUpgradeItem(better);
  better->SetEnabled(false);
  TVantrelInventoryCollectable* sword = Collect(Sword, 1);
  EXPECT_EQ(Inventory->Upgrade(sword), nullptr);
  EXPECT_EQ(Inventory->FindManufacturer("sword-Upgrade"), nullptr);

  better->SetEnabled(true);
  TVantrelInventoryManufacturingProcess* process = Inventory->Upgrade(sword);
  ASSERT_NE(process, nullptr);
  TVantrelInventoryManufacturer* recipe = Inventory->FindManufacturer("sword-Upgrade");
  ASSERT_NE(recipe, nullptr);
  EXPECT_EQ(process->Manufacturer(), recipe);
  EXPECT_EQ(process->Kind(), TManufacturingProcessKind::Upgrading);
  EXPECT_EQ(recipe->TimeNeeded(), 3000);
  EXPECT_EQ(recipe->GetDescriptionString(), "sword-Upgrade: sword(1) => (better(1))");
  Clock.Advance(3100);
  EXPECT_NE(Inventory->FindFirstCollectedItem(better), nullptr);
  EXPECT_EQ(Inventory->FindFirstCollectedItem(Sword), nullptr);

  const int manufacturers = Inventory->Manufacturers()->Count();
  EXPECT_NE(Inventory->Upgrade(Collect(Sword, 1)), nullptr);
  EXPECT_EQ(Inventory->Manufacturers()->Count(), manufacturers);
  TMemoryStream stream;
  Inventory->SaveToStream(&stream);
  const std::string text(reinterpret_cast<const char*>(stream.Memory()), size_t(stream.GetSize()));
  EXPECT_NE(text.find("<manufacturer id=\"sword-Upgrade\""), std::string::npos);

  Sword->SetDowngradeItem(Iron);
  ASSERT_NE(Inventory->Downgrade(Collect(Sword, 1)), nullptr);
  EXPECT_EQ(Inventory->FindManufacturer("sword-Downgrade")->Kind(), TManufacturingProcessKind::Downgrading);
}

TEST_F(InventoryManufacturing, AssignCopiesTheRecipeAndFreesItsOwnRuns) {
  TVantrelInventoryManufacturer* copy = Inventory->AddManufacturer("copy");
  Watch(copy);
  copy->SetTimeNeeded(0);
  copy->AddIngredient(Coal, 1);
  copy->Start({Collect(Coal, 1)});
  EXPECT_EQ(copy->ProcessCount(), 1);
  copy->Assign(Forge);
  EXPECT_EQ(copy->ProcessCount(), 0);
  EXPECT_EQ(copy->GetDescriptionString(), "forge: iron(2) + coal(1) => (sword(1))");
  EXPECT_EQ(copy->TimeNeeded(), 3000);
  EXPECT_TRUE(copy->OnNotify());
}
