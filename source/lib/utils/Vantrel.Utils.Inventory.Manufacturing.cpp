// Manufacturing: recipes run as processes on 100 ms UI timers, and the inventory's operations
// that choose and start them, including the upgrade and downgrade recipes made on demand.

#include <unordered_map>

#include "rtl/sync.h"
#include "ui/timers.h"
#include "utils/Vantrel.Utils.Inventory.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelInventoryManufacturingProcess, "Vantrel.Utils.Inventory")

namespace {

constexpr int TickInterval = 100;

// Template Id to the summed quantity of the ingredient entries (entries without template skipped).
std::unordered_map<std::string, int64_t> RequiredTable(const TVantrelInventoryCustomIngredientList& AList) {
  std::unordered_map<std::string, int64_t> table;
  for (int i = 0; i < AList.Count(); ++i)
    if (const TVantrelInventoryIngredient* entry = AList.Items(i); entry->Template())
      table[entry->Template()->Id()] += entry->Quantity();
  return table;
}

} // namespace

// ---- Process --------------------------------------------------------------------------------------

TVantrelInventoryManufacturingProcess::TVantrelInventoryManufacturingProcess(
    TVantrelInventoryManufacturer* AManufacturer, TManufacturingProcessKind AKind)
    : FManufacturer(AManufacturer), FKind(AKind),
      FCollectables(std::make_unique<TVantrelInventoryCollectablesCollection>(AManufacturer->Inventory())) {}

TVantrelInventoryManufacturingProcess::~TVantrelInventoryManufacturingProcess() = default;

void TVantrelInventoryManufacturingProcess::BeforeDestruction() {
  TMonitorLock lock(this);
  // Busy for good: it is being freed already.
  ++FBusy;
  ReleaseTimer();
  ReportAborted();
  // Whoever kept a taken ingredient (the item of an OnItemNotify, a Collect result) may still
  // read it: it goes to the inventory's graveyard rather than being freed.
  if (TVantrelInventory* inventory = FCollectables->Inventory())
    while (FCollectables->Count() > 0)
      inventory->Detach(static_cast<TVantrelInventoryCollectable*>(FCollectables->Items(0)));
  FCollectables.reset();
  inherited::BeforeDestruction();
}

int32_t TVantrelInventoryManufacturingProcess::Progress() const {
  TMonitorLock lock(this);
  return FManufacturingProgress > 0 ? FManufacturer->TimeNeeded() - FManufacturingProgress : 0;
}

void TVantrelInventoryManufacturingProcess::Notify(TManufacturingNotificationType AType) {
  // A copy: the handler may replace itself.
  const TOnManufacturingNotify handler = FManufacturer->OnNotify();
  if (handler)
    handler(FManufacturer, this, AType);
}

void TVantrelInventoryManufacturingProcess::ReportAborted() {
  if (FCompleted || FAborted)
    return;
  FAborted = true;
  Notify(TManufacturingNotificationType::mntAborted);
}

void TVantrelInventoryManufacturingProcess::ReleaseTimer() {
  if (!FManufacturingTimer)
    return;
  // Also safe from inside the timer's own tick: the timer service drops a freed timer after its
  // running call returns.
  FManufacturingTimer->SetOnTimer(nullptr);
  FManufacturingTimer->SetEnabled(false);
  FManufacturingTimer.reset();
}

void TVantrelInventoryManufacturingProcess::FreeIfAsked() {
  bool free = false;
  {
    TMonitorLock lock(this);
    free = FFreeWhenIdle && FBusy == 0;
  }
  if (free)
    FManufacturer->RemoveProcess(this);
}

void TVantrelInventoryManufacturingProcess::Start(
    const std::vector<TVantrelInventoryCollectable*>& AItemList) {
  {
    TMonitorLock lock(this);
    TBusy busy(*this);
    const int32_t timeNeeded = FManufacturer->TimeNeeded();
    if (timeNeeded <= 0) {
      TakeIngredients(AItemList);
      Complete();
    } else if (!FManufacturingTimer || !FManufacturingTimer->GetEnabled()) {
      StartTimed(AItemList, timeNeeded);
    }
  }
  FreeIfAsked();
}

void TVantrelInventoryManufacturingProcess::StartTimed(
    const std::vector<TVantrelInventoryCollectable*>& AItemList, int32_t ATimeNeeded) {
  FManufacturingProgress = ATimeNeeded;
  FCompleted = false;
  FAborted = false;
  if (!FManufacturingTimer) {
    FManufacturingTimer = MakeOwned<ui::TTimer>(nullptr);
    FManufacturingTimer->SetEnabled(false);
    FManufacturingTimer->SetInterval(TickInterval);
    FManufacturingTimer->SetOnTimer([this](TObject*) { Tick(); });
  }
  TakeIngredients(AItemList);
  FManufacturingTimer->SetEnabled(true);
  Notify(TManufacturingNotificationType::mntStarted);
}

void TVantrelInventoryManufacturingProcess::TakeIngredients(
    const std::vector<TVantrelInventoryCollectable*>& AItemList) {
  TMonitorLock lock(this);
  std::unordered_map<std::string, int64_t> required = RequiredTable(*FManufacturer->Ingredients());
  TVantrelInventory* inventory = FCollectables->Inventory();
  for (TVantrelInventoryCollectable* item : AItemList) {
    const TVantrelInventoryItemTemplate* itemTemplate = item ? item->Template() : nullptr;
    if (!itemTemplate)
      continue;
    const auto need = required.find(itemTemplate->Id());
    if (need == required.end() || need->second <= 0)
      continue;
    const int64_t quantity = item->Quantity();
    if (itemTemplate->IsPooled() && need->second < quantity) {
      item->SetQuantity(static_cast<int32_t>(quantity - need->second));
      need->second = 0;
      if (inventory)
        inventory->Notify(item, TCollectionNotification::cnExtracted);
      continue;
    }
    need->second -= itemTemplate->IsPooled() ? quantity : 1;
    if (inventory)
      inventory->Notify(item, TCollectionNotification::cnRemoved);
    item->SetCollection(FCollectables.get());
  }
}

void TVantrelInventoryManufacturingProcess::Tick() {
  bool finished = false;
  {
    TMonitorLock lock(this);
    if (FIsInTimer)
      return;
    TBusy busy(*this);
    FIsInTimer = true;
    // Cleared however the handlers leave, so an exception cannot stop the ticks for good.
    struct TInTimer {
      bool& Flag;
      ~TInTimer() { Flag = false; }
    } inTimer{FIsInTimer};
    if (FManufacturingProgress > 0) {
      Notify(TManufacturingNotificationType::mntProcessing);
    } else {
      Complete();
      finished = true;
    }
    FManufacturingProgress -= TickInterval;
    finished = finished || FFreeWhenIdle;
  }
  if (finished)
    FManufacturer->RemoveProcess(this);
}

void TVantrelInventoryManufacturingProcess::Pause() {
  {
    TMonitorLock lock(this);
    TBusy busy(*this);
    if (FManufacturingTimer)
      FManufacturingTimer->SetEnabled(!FManufacturingTimer->GetEnabled());
    Notify(TManufacturingNotificationType::mntPaused);
  }
  FreeIfAsked();
}

void TVantrelInventoryManufacturingProcess::Abort(bool ADestroyOnFinish) {
  {
    TMonitorLock lock(this);
    TBusy busy(*this);
    ReleaseTimer();
    FManufacturingProgress = 0;
    ReportAborted();
    FFreeWhenIdle = FFreeWhenIdle || ADestroyOnFinish;
  }
  FreeIfAsked();
}

void TVantrelInventoryManufacturingProcess::Complete() {
  {
    TMonitorLock lock(this);
    TBusy busy(*this);
    ReleaseTimer();
    FManufacturingProgress = 0;
    const std::vector<TVantrelInventoryCollectable*> produced = FManufacturer->Produce();
    FCompleted = true;
    Notify(TManufacturingNotificationType::mntCompleted);
    const TOnManufacturingProduced handler = FManufacturer->OnProduced();
    if (handler)
      for (TVantrelInventoryCollectable* item : produced)
        handler(FManufacturer, this, item);
  }
  FreeIfAsked();
}

// ---- Manufacturer ---------------------------------------------------------------------------------

TVantrelInventoryManufacturer::~TVantrelInventoryManufacturer() {
  // The processes go first: their last notifications still read the manufacturer.
  FProcesses.Clear();
}

void TVantrelInventoryManufacturer::SetOnNotify(TOnManufacturingNotify AValue) {
  TMonitorLock lock(this);
  FOnNotify = std::move(AValue);
}

void TVantrelInventoryManufacturer::SetOnProduced(TOnManufacturingProduced AValue) {
  TMonitorLock lock(this);
  FOnProduced = std::move(AValue);
}

int TVantrelInventoryManufacturer::ProcessCount() const {
  TMonitorLock lock(this);
  return FProcesses.Count();
}

TVantrelInventoryManufacturingProcess* TVantrelInventoryManufacturer::Processes(int AIndex) const {
  TMonitorLock lock(this);
  return FProcesses.Items(AIndex);
}

void TVantrelInventoryManufacturer::RemoveProcess(TVantrelInventoryManufacturingProcess* AProcess) {
  TMonitorLock lock(this);
  FProcesses.Remove(AProcess);
}

bool TVantrelInventoryManufacturer::CheckDependency() const {
  TMonitorLock lock(this);
  const TVantrelInventory* inventory = Inventory();
  for (int i = 0; i < FDependency->Count(); ++i) {
    const TVantrelInventoryIngredient* need = FDependency->Items(i);
    int64_t held = 0;
    if (inventory)
      for (const TVantrelInventoryCollectable* item : inventory->FindCollectedItems(need->Template()))
        held += item->Quantity();
    if (held < need->Quantity())
      return false;
  }
  return true;
}

bool TVantrelInventoryManufacturer::Verify(
    const std::vector<TVantrelInventoryCollectable*>& AItemList) const {
  TMonitorLock lock(this);
  if (!CheckDependency())
    return false;
  const std::unordered_map<std::string, int64_t> required = RequiredTable(*FIngredients);
  std::unordered_map<std::string, int64_t> offered;
  for (const TVantrelInventoryCollectable* item : AItemList)
    if (item && item->Template())
      offered[item->Template()->Id()] += item->Quantity();
  if (required.empty() || offered.empty())
    return false;
  for (const auto& [id, quantity] : required)
    if (const auto found = offered.find(id); found == offered.end() || found->second < quantity)
      return false;
  return true;
}

std::vector<TVantrelInventoryCollectable*> TVantrelInventoryManufacturer::Produce() {
  TMonitorLock lock(this);
  std::vector<TVantrelInventoryCollectable*> produced;
  for (int i = 0; i < FResultItems->Count(); ++i) {
    const TVantrelInventoryIngredient* entry = FResultItems->Items(i);
    if (!entry->Template())
      continue;
    TVantrelInventoryCollectable* item = entry->Template()->Build();
    if (!item)
      continue;
    if (entry->Quantity() > 1)
      item->SetQuantity(item->Quantity() + entry->Quantity() - 1);
    produced.push_back(item);
  }
  return produced;
}

TVantrelInventoryManufacturingProcess*
TVantrelInventoryManufacturer::Start(const std::vector<TVantrelInventoryCollectable*>& AItemList) {
  TMonitorLock lock(this);
  auto* process = New<TVantrelInventoryManufacturingProcess>(this, FKind);
  FProcesses.Add(process);
  if (TVantrelInventory* inventory = Inventory(); inventory && inventory->OnAddManufacturing())
    inventory->OnAddManufacturing()(inventory, process);
  process->Start(AItemList);
  return FProcesses.Contains(process) ? process : nullptr;
}

// ---- Inventory ------------------------------------------------------------------------------------

TVantrelInventoryManufacturer* TVantrelInventory::GetSuitableManufacturer(
    const std::vector<TVantrelInventoryCollectable*>& AItemList) const {
  TMonitorLock lock(this);
  for (int i = 0; i < FManufacturers->Count(); ++i) {
    auto* manufacturer = static_cast<TVantrelInventoryManufacturer*>(FManufacturers->Items(i));
    if (manufacturer->Enabled() && manufacturer->Verify(AItemList))
      return manufacturer;
  }
  return nullptr;
}

std::vector<TVantrelInventoryManufacturer*> TVantrelInventory::GetSuitableManufacturers(
    const std::vector<TVantrelInventoryCollectable*>& AItemList) const {
  TMonitorLock lock(this);
  std::vector<TVantrelInventoryManufacturer*> found;
  for (int i = 0; i < FManufacturers->Count(); ++i) {
    auto* manufacturer = static_cast<TVantrelInventoryManufacturer*>(FManufacturers->Items(i));
    if (manufacturer->Enabled() && manufacturer->Verify(AItemList))
      found.push_back(manufacturer);
  }
  return found;
}

TVantrelInventoryManufacturingProcess*
TVantrelInventory::StartManufacturing(TVantrelInventoryManufacturer* AManufacturer,
                                      const std::vector<TVantrelInventoryCollectable*>& AItemList) {
  TMonitorLock lock(this);
  if (!AManufacturer || AItemList.empty())
    return nullptr;
  return AManufacturer->Start(AItemList);
}

TVantrelInventoryManufacturingProcess*
TVantrelInventory::Manufacture(const std::vector<TVantrelInventoryCollectable*>& AItemList) {
  TMonitorLock lock(this);
  TVantrelInventoryManufacturer* manufacturer = GetSuitableManufacturer(AItemList);
  return manufacturer ? StartManufacturing(manufacturer, AItemList) : nullptr;
}

TVantrelInventoryManufacturingProcess*
TVantrelInventory::Manufacture(TVantrelInventoryManufacturer* AManufacturer,
                               const std::vector<TVantrelInventoryCollectable*>& AItemList) {
  TMonitorLock lock(this);
  if (!AManufacturer || AItemList.empty() || !AManufacturer->Enabled() || !AManufacturer->Verify(AItemList))
    return nullptr;
  return AManufacturer->Start(AItemList);
}

TVantrelInventoryManufacturer* TVantrelInventory::ConversionRecipe(TVantrelInventoryCollectable* AItem,
                                                                   TVantrelInventoryItemTemplate* ATarget,
                                                                   TManufacturingProcessKind AKind,
                                                                   const char* ASuffix) {
  TVantrelInventoryItemTemplate* source = AItem->Template();
  const std::string id = source->Id() + ASuffix;
  if (TVantrelInventoryManufacturer* found = FindManufacturer(id))
    return found;
  TVantrelInventoryManufacturer* recipe = AddManufacturer(id);
  recipe->SetKind(AKind);
  recipe->AddIngredient(source, 1);
  recipe->AddResultItem(ATarget, 1);
  return recipe;
}

TVantrelInventoryManufacturingProcess* TVantrelInventory::Convert(TVantrelInventoryCollectable* AItem,
                                                                  bool AUpgrade) {
  TMonitorLock lock(this);
  if (!AItem || !(AUpgrade ? AItem->IsUpgradable() : AItem->IsDowngradable()))
    return nullptr;
  TVantrelInventoryItemTemplate* source = AItem->Template();
  TVantrelInventoryManufacturer* recipe =
      AUpgrade ? ConversionRecipe(AItem, source->GetUpgradeItem(), TManufacturingProcessKind::Upgrading,
                                  "-Upgrade")
               : ConversionRecipe(AItem, source->GetDowngradeItem(), TManufacturingProcessKind::Downgrading,
                                  "-Downgrade");
  return recipe->Start({AItem});
}

TVantrelInventoryManufacturingProcess* TVantrelInventory::Upgrade(TVantrelInventoryCollectable* AItem) {
  return Convert(AItem, true);
}

TVantrelInventoryManufacturingProcess* TVantrelInventory::Downgrade(TVantrelInventoryCollectable* AItem) {
  return Convert(AItem, false);
}

} // namespace vantrel
