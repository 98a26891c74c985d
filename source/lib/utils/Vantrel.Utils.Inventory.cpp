#include "utils/Vantrel.Utils.Inventory.h"

#include <algorithm>

#include "rtl/filer.h"
#include "rtl/json.h"
#include "rtl/properties.h"
#include "rtl/sync.h"
#include "ui/image_list.h"
#include "xml/Vantrel.Xml.Document.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelInventoryCustomItem, "Vantrel.Utils.Inventory",
                 &TVantrelInventoryCustomItem::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelInventoryItem, "Vantrel.Utils.Inventory", &TVantrelInventoryItem::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelInventoryIngredient, "Vantrel.Utils.Inventory")
RTL_DEFINE_CLASS(TVantrelInventoryCustomIngredientList, "Vantrel.Utils.Inventory")
RTL_DEFINE_CLASS(TVantrelInventoryIngredientList, "Vantrel.Utils.Inventory")
RTL_DEFINE_CLASS(TVantrelInventoryDependencyList, "Vantrel.Utils.Inventory")
RTL_DEFINE_CLASS(TVantrelInventoryResultItemList, "Vantrel.Utils.Inventory")
RTL_DEFINE_CLASS(TVantrelInventoryItemTemplate, "Vantrel.Utils.Inventory",
                 &TVantrelInventoryItemTemplate::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelInventoryCollectable, "Vantrel.Utils.Inventory",
                 &TVantrelInventoryCollectable::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelInventoryGroup, "Vantrel.Utils.Inventory",
                 &TVantrelInventoryGroup::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelInventoryCustomCollection, "Vantrel.Utils.Inventory")
RTL_DEFINE_CLASS(TVantrelInventoryItemCollection, "Vantrel.Utils.Inventory")
RTL_DEFINE_CLASS(TVantrelInventoryCollectablesCollection, "Vantrel.Utils.Inventory")
RTL_DEFINE_CLASS(TVantrelInventoryGroupCollection, "Vantrel.Utils.Inventory")
RTL_DEFINE_CLASS(TVantrelInventoryManufacturer, "Vantrel.Utils.Inventory",
                 &TVantrelInventoryManufacturer::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelInventoryVisualItem, "Vantrel.Utils.Inventory",
                 &TVantrelInventoryVisualItem::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelInventoryManufacturerCollection, "Vantrel.Utils.Inventory")
RTL_DEFINE_CLASS(TVantrelInventoryVisualItemCollection, "Vantrel.Utils.Inventory",
                 &TVantrelInventoryVisualItemCollection::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelInventoryLoadingCache, "Vantrel.Utils.Inventory")
RTL_DEFINE_CLASS(TVantrelInventory, "Vantrel.Utils.Inventory", &TVantrelInventory::RegisterProperties)

// ---- Maps -----------------------------------------------------------------------------------------

void TVantrelInventoryParameters::ToXml(TMz_XmlElement* AParent) const {
  if (!AParent)
    return;
  for (const auto& entry : *this) {
    TMz_XmlElement* param = TMz_XmlElement::Create(AParent->document(), AParent, "", "param");
    param->addAttribute("id", entry.Key);
    param->setRawValue(entry.Value.ToString());
  }
}

void TVantrelInventoryParameters::FromXml(const TMz_XmlElement* ANode) {
  if (!ANode || !ANode->nodes())
    return;
  for (const TMz_XmlElement* param : *ANode->nodes()) {
    if (param->kind() != TMz_XmlNodeKind::mzDefault || param->name() != "param" ||
        !param->attributes().find("id"))
      continue;
    // The id is read the way entry ids are, so an id that looks like a number survives.
    AddOrSetValue(param->getAttribute("id"), param->getValue());
  }
}

// ---- Entries --------------------------------------------------------------------------------------

TVantrelInventoryCustomItem::TVantrelInventoryCustomItem()
    : FName(std::make_unique<TVantrelInventoryLanguageMap>()) {}

void TVantrelInventoryCustomItem::RegisterProperties(TPropertyList& AList) {
  AList.Add("Id", &TVantrelInventoryCustomItem::Id, &TVantrelInventoryCustomItem::SetId);
  AList.Add("Enabled", &TVantrelInventoryCustomItem::Enabled, &TVantrelInventoryCustomItem::SetEnabled);
}

void TVantrelInventoryCustomItem::SetId(const std::string& AValue) {
  TMonitorLock lock(this);
  FId = AValue;
}

void TVantrelInventoryCustomItem::SetEnabled(bool AValue) {
  TMonitorLock lock(this);
  FEnabled = AValue;
}

void TVantrelInventoryCustomItem::SetData(const TValue& AValue) {
  TMonitorLock lock(this);
  FData = AValue;
}

TVantrelInventory* TVantrelInventoryCustomItem::Inventory() const {
  const auto* collection = dynamic_cast<const TVantrelInventoryCustomCollection*>(Collection());
  return collection ? collection->Inventory() : nullptr;
}

std::string TVantrelInventoryCustomItem::GetCurrentName() const {
  TMonitorLock lock(this);
  const TVantrelInventory* inventory = Inventory();
  const std::string code = inventory ? inventory->GetCurrentLanguageName() : LanguageIndexToCode(0);
  const std::string* text = FName->Find(code);
  return text ? *text : std::string();
}

void TVantrelInventoryCustomItem::Assign(const TPersistent* ASource) {
  const auto* source = dynamic_cast<const TVantrelInventoryCustomItem*>(ASource);
  if (!source) {
    inherited::Assign(ASource);
    return;
  }
  TMonitorLock lock(this);
  FId = source->FId;
  FName->Assign(source->FName.get());
  FEnabled = source->FEnabled;
  FData = source->FData;
}

namespace {

std::unique_ptr<TJSONObject> ParseObject(std::string_view AText) {
  std::unique_ptr<TJSONValue> value = TJSONValue::ParseJSONValue(AText);
  if (!dynamic_cast<TJSONObject*>(value.get()))
    return nullptr;
  return std::unique_ptr<TJSONObject>(static_cast<TJSONObject*>(value.release()));
}

} // namespace

void TVantrelInventoryCustomItem::DefineProperties(TFiler* AFiler) {
  inherited::DefineProperties(AFiler);
  DefineTextProperty(AFiler, "NameMap", NameMapText(), "{}",
                     [this](std::string_view AText) { SetNameMapText(AText); });
}

void TVantrelInventoryItem::DefineProperties(TFiler* AFiler) {
  inherited::DefineProperties(AFiler);
  DefineTextProperty(AFiler, "ParameterMap", ParameterMapText(), "{}",
                     [this](std::string_view AText) { SetParameterMapText(AText); });
}

void TVantrelInventoryItemTemplate::DefineProperties(TFiler* AFiler) {
  inherited::DefineProperties(AFiler);
  DefineTextProperty(AFiler, "GroupID", GroupIDText(), "",
                     [this](std::string_view AText) { SetGroupIDText(AText); });
  DefineTextProperty(AFiler, "UpgradeItemID", UpgradeItemIDText(), "",
                     [this](std::string_view AText) { SetUpgradeItemIDText(AText); });
  DefineTextProperty(AFiler, "DowngradeItemID", DowngradeItemIDText(), "",
                     [this](std::string_view AText) { SetDowngradeItemIDText(AText); });
}

void TVantrelInventoryCollectable::DefineProperties(TFiler* AFiler) {
  inherited::DefineProperties(AFiler);
  DefineTextProperty(AFiler, "TemplateID", TemplateIDText(), "",
                     [this](std::string_view AText) { SetTemplateIDText(AText); });
}

std::string TVantrelInventoryCustomItem::NameMapText() const {
  TMonitorLock lock(this);
  return FName->ToJSON()->ToJSON();
}

void TVantrelInventoryCustomItem::SetNameMapText(std::string_view AText) {
  TMonitorLock lock(this);
  FName->Clear();
  FName->FromJSON(ParseObject(AText).get());
}

void TVantrelInventoryCustomItem::QueueReference(const TClass& AClass, std::string_view AId,
                                                 std::function<void(TVantrelInventoryCustomItem*)> ASet) {
  if (TVantrelInventory* inventory = Inventory(); inventory && !AId.empty())
    inventory->AddToLateResolve(AClass, std::string(AId), std::move(ASet));
}

std::string TVantrelInventoryItem::ParameterMapText() const {
  TMonitorLock lock(this);
  return FParameters->ToJSON()->ToJSON();
}

void TVantrelInventoryItem::SetParameterMapText(std::string_view AText) {
  TMonitorLock lock(this);
  FParameters->Clear();
  FParameters->FromJSON(ParseObject(AText).get());
}

std::string TVantrelInventoryItemTemplate::GroupIDText() const {
  TMonitorLock lock(this);
  return FGroup ? FGroup->Id() : std::string();
}

void TVantrelInventoryItemTemplate::SetGroupIDText(std::string_view AText) {
  TMonitorLock lock(this);
  QueueReference(TVantrelInventoryGroup::StaticClass(), AText, [this](TVantrelInventoryCustomItem* AItem) {
    SetGroup(static_cast<TVantrelInventoryGroup*>(AItem));
  });
}

std::string TVantrelInventoryItemTemplate::UpgradeItemIDText() const {
  TMonitorLock lock(this);
  return FUpgradeItem ? FUpgradeItem->Id() : std::string();
}

void TVantrelInventoryItemTemplate::SetUpgradeItemIDText(std::string_view AText) {
  TMonitorLock lock(this);
  QueueReference(StaticClass(), AText, [this](TVantrelInventoryCustomItem* AItem) {
    SetUpgradeItem(static_cast<TVantrelInventoryItemTemplate*>(AItem));
  });
}

std::string TVantrelInventoryItemTemplate::DowngradeItemIDText() const {
  TMonitorLock lock(this);
  return FDowngradeItem ? FDowngradeItem->Id() : std::string();
}

void TVantrelInventoryItemTemplate::SetDowngradeItemIDText(std::string_view AText) {
  TMonitorLock lock(this);
  QueueReference(StaticClass(), AText, [this](TVantrelInventoryCustomItem* AItem) {
    SetDowngradeItem(static_cast<TVantrelInventoryItemTemplate*>(AItem));
  });
}

std::string TVantrelInventoryCollectable::TemplateIDText() const {
  TMonitorLock lock(this);
  return FTemplate ? FTemplate->Id() : std::string();
}

void TVantrelInventoryCollectable::SetTemplateIDText(std::string_view AText) {
  TMonitorLock lock(this);
  QueueReference(TVantrelInventoryItemTemplate::StaticClass(), AText,
                 [this](TVantrelInventoryCustomItem* AItem) {
                   SetTemplate(static_cast<TVantrelInventoryItemTemplate*>(AItem));
                 });
}

TVantrelInventoryItem::TVantrelInventoryItem()
    : FParameters(std::make_unique<TVantrelInventoryParameters>()) {}

void TVantrelInventoryItem::RegisterProperties(TPropertyList&) {}

void TVantrelInventoryItem::SetParameters(const TVantrelParametersMap* AValue) {
  TMonitorLock lock(this);
  FParameters->Clear();
  if (AValue)
    for (const auto& entry : *AValue)
      FParameters->AddOrSetValue(entry.Key, entry.Value);
}

void TVantrelInventoryItem::Assign(const TPersistent* ASource) {
  if (const auto* source = dynamic_cast<const TVantrelInventoryItem*>(ASource)) {
    TMonitorLock lock(this);
    SetParameters(source->FParameters.get());
  }
  inherited::Assign(ASource);
}

// ---- Ingredient lists -----------------------------------------------------------------------------

int TVantrelInventoryCustomIngredientList::Count() const {
  TMonitorLock lock(this);
  return static_cast<int>(FItems.size());
}

TVantrelInventoryIngredient* TVantrelInventoryCustomIngredientList::Items(int AIndex) const {
  TMonitorLock lock(this);
  if (AIndex < 0 || AIndex >= static_cast<int>(FItems.size()))
    throw EListError(Format(messages::ListIndexError, AIndex));
  return FItems[static_cast<size_t>(AIndex)].get();
}

TVantrelInventoryIngredient*
TVantrelInventoryCustomIngredientList::Add(TVantrelInventoryItemTemplate* ATemplate, int32_t AQuantity) {
  TMonitorLock lock(this);
  FItems.emplace_back(new TVantrelInventoryIngredient(ATemplate, AQuantity));
  return FItems.back().get();
}

void TVantrelInventoryCustomIngredientList::RemoveTemplate(const TVantrelInventoryItemTemplate* ATemplate) {
  TMonitorLock lock(this);
  std::erase_if(FItems, [&](const TOwned<TVantrelInventoryIngredient>& AItem) {
    return AItem->Template() == ATemplate;
  });
}

void TVantrelInventoryCustomIngredientList::Clear() {
  TMonitorLock lock(this);
  FItems.clear();
}

void TVantrelInventoryCustomIngredientList::Assign(const TPersistent* ASource) {
  const auto* source = dynamic_cast<const TVantrelInventoryCustomIngredientList*>(ASource);
  if (ASource && !source) {
    inherited::Assign(ASource);
    return;
  }
  TMonitorLock lock(this);
  if (source == this)
    return;
  FItems.clear();
  if (source)
    for (const auto& item : source->FItems)
      Add(item->Template(), item->Quantity());
}

// ---- Templates ------------------------------------------------------------------------------------

TVantrelInventoryItemTemplate::TVantrelInventoryItemTemplate()
    : FDependency(std::make_unique<TVantrelInventoryDependencyList>()) {}

void TVantrelInventoryItemTemplate::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelInventoryItemTemplate;
  AList.Add("Group", &T::GetGroup, &T::SetGroup).AsReference().Stored(false);
  AList.Add("MaxQuantity", &T::MaxQuantity, &T::SetMaxQuantity);
  AList.Add("Weight", &T::Weight, &T::SetWeight);
  AList.Add("MaxWeight", &T::MaxWeight, &T::SetMaxWeight);
  AList.Add("IsPooled", &T::IsPooled, &T::SetIsPooled);
  AList.Add("Dependency", &T::Dependency);
  AList.Add("UpgradeItem", &T::GetUpgradeItem, &T::SetUpgradeItem).AsReference().Stored(false);
  AList.Add("DowngradeItem", &T::GetDowngradeItem, &T::SetDowngradeItem).AsReference().Stored(false);
  AList.Add("ImageIndex", &T::ImageIndex, &T::SetImageIndex);
}

TVantrelInventoryGroup* TVantrelInventoryItemTemplate::GetGroup() const {
  TMonitorLock lock(this);
  return FGroup;
}

void TVantrelInventoryItemTemplate::SetGroup(TVantrelInventoryGroup* AValue) {
  TMonitorLock lock(this);
  FGroup = AValue;
}

TVantrelInventoryItemTemplate* TVantrelInventoryItemTemplate::GetUpgradeItem() const {
  TMonitorLock lock(this);
  return FUpgradeItem;
}

void TVantrelInventoryItemTemplate::SetUpgradeItem(TVantrelInventoryItemTemplate* AValue) {
  TMonitorLock lock(this);
  FUpgradeItem = AValue;
}

TVantrelInventoryItemTemplate* TVantrelInventoryItemTemplate::GetDowngradeItem() const {
  TMonitorLock lock(this);
  return FDowngradeItem;
}

void TVantrelInventoryItemTemplate::SetDowngradeItem(TVantrelInventoryItemTemplate* AValue) {
  TMonitorLock lock(this);
  FDowngradeItem = AValue;
}

void TVantrelInventoryItemTemplate::SetMaxQuantity(int32_t AValue) {
  TMonitorLock lock(this);
  FMaxQuantity = AValue;
}

void TVantrelInventoryItemTemplate::SetWeight(float AValue) {
  TMonitorLock lock(this);
  FWeight = AValue;
}

void TVantrelInventoryItemTemplate::SetMaxWeight(float AValue) {
  TMonitorLock lock(this);
  FMaxWeight = AValue;
}

void TVantrelInventoryItemTemplate::SetIsPooled(bool AValue) {
  TMonitorLock lock(this);
  FIsPooled = AValue;
}

void TVantrelInventoryItemTemplate::SetImageIndex(int32_t AValue) {
  TMonitorLock lock(this);
  FImageIndex = AValue;
}

void TVantrelInventoryItemTemplate::SetDependency(const TVantrelInventoryCustomIngredientList* AValue) {
  TMonitorLock lock(this);
  FDependency->Assign(AValue);
}

TVantrelInventoryCollectable* TVantrelInventoryItemTemplate::Build() {
  TMonitorLock lock(this);
  TVantrelInventory* inventory = Inventory();
  if (!inventory)
    return nullptr;
  TVantrelInventoryCollectState state = TVantrelInventoryCollectState::None;
  TVantrelInventoryCollectable* item = inventory->Collect(this, state);
  return state == TVantrelInventoryCollectState::Collected ? item : nullptr;
}

TVantrelInventoryIngredient* TVantrelInventoryItemTemplate::AddDependency(const std::string& ATemplateId,
                                                                          int32_t AQuantity) {
  TMonitorLock lock(this);
  TVantrelInventory* inventory = Inventory();
  TVantrelInventoryItemTemplate* found = inventory ? inventory->FindItemTemplate(ATemplateId) : nullptr;
  return found ? AddDependency(found, AQuantity) : nullptr;
}

TVantrelInventoryIngredient*
TVantrelInventoryItemTemplate::AddDependency(TVantrelInventoryItemTemplate* ATemplate, int32_t AQuantity) {
  TMonitorLock lock(this);
  return FDependency->Add(ATemplate, AQuantity);
}

void TVantrelInventoryItemTemplate::RemoveDependency(const std::string& ATemplateId) {
  TMonitorLock lock(this);
  TVantrelInventory* inventory = Inventory();
  if (TVantrelInventoryItemTemplate* found = inventory ? inventory->FindItemTemplate(ATemplateId) : nullptr)
    RemoveDependency(found);
}

void TVantrelInventoryItemTemplate::RemoveDependency(const TVantrelInventoryItemTemplate* ATemplate) {
  TMonitorLock lock(this);
  FDependency->RemoveTemplate(ATemplate);
}

void TVantrelInventoryItemTemplate::ClearDependencies() {
  TMonitorLock lock(this);
  FDependency->Clear();
}

void TVantrelInventoryItemTemplate::Assign(const TPersistent* ASource) {
  if (const auto* source = dynamic_cast<const TVantrelInventoryItemTemplate*>(ASource)) {
    TMonitorLock lock(this);
    FGroup = source->FGroup;
    FMaxQuantity = source->FMaxQuantity;
    FWeight = source->FWeight;
    FMaxWeight = source->FMaxWeight;
    FIsPooled = source->FIsPooled;
    FDependency->Assign(source->FDependency.get());
    FUpgradeItem = source->FUpgradeItem;
    FDowngradeItem = source->FDowngradeItem;
    FImageIndex = source->FImageIndex;
  }
  inherited::Assign(ASource);
}

// ---- Collectables and groups ----------------------------------------------------------------------

void TVantrelInventoryCollectable::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelInventoryCollectable;
  AList.Add("Template", &T::Template, &T::SetTemplate).AsReference().Stored(false);
  AList.Add("Quantity", &T::Quantity, &T::SetQuantity);
  AList.Add("Weight", &T::Weight, &T::SetWeight);
}

TVantrelInventoryItemTemplate* TVantrelInventoryCollectable::Template() const {
  TMonitorLock lock(this);
  return FTemplate;
}

void TVantrelInventoryCollectable::SetTemplate(TVantrelInventoryItemTemplate* AValue) {
  TMonitorLock lock(this);
  FTemplate = AValue;
}

int32_t TVantrelInventoryCollectable::Quantity() const {
  TMonitorLock lock(this);
  return FQuantity;
}

void TVantrelInventoryCollectable::SetQuantity(int32_t AValue) {
  TMonitorLock lock(this);
  FQuantity = AValue;
}

float TVantrelInventoryCollectable::Weight() const {
  TMonitorLock lock(this);
  return FWeight;
}

void TVantrelInventoryCollectable::SetWeight(float AValue) {
  TMonitorLock lock(this);
  FWeight = AValue;
}

bool TVantrelInventoryCollectable::IsUpgradable() const {
  TMonitorLock lock(this);
  const TVantrelInventoryItemTemplate* upgrade = FTemplate ? FTemplate->GetUpgradeItem() : nullptr;
  return upgrade && upgrade->Enabled();
}

bool TVantrelInventoryCollectable::IsDowngradable() const {
  TMonitorLock lock(this);
  const TVantrelInventoryItemTemplate* downgrade = FTemplate ? FTemplate->GetDowngradeItem() : nullptr;
  return downgrade && downgrade->Enabled();
}

std::string TVantrelInventoryCollectable::GetCurrentName() const {
  TMonitorLock lock(this);
  std::string name = inherited::GetCurrentName();
  if (name.empty() && FTemplate)
    name = FTemplate->GetCurrentName();
  return name;
}

void TVantrelInventoryGroup::RegisterProperties(TPropertyList& AList) {
  AList.Add("MaxQuantity", &TVantrelInventoryGroup::MaxQuantity, &TVantrelInventoryGroup::SetMaxQuantity);
  AList.Add("MaxWeight", &TVantrelInventoryGroup::MaxWeight, &TVantrelInventoryGroup::SetMaxWeight);
}

void TVantrelInventoryGroup::SetMaxQuantity(int32_t AValue) {
  TMonitorLock lock(this);
  FMaxQuantity = AValue;
}

void TVantrelInventoryGroup::SetMaxWeight(float AValue) {
  TMonitorLock lock(this);
  FMaxWeight = AValue;
}

int TVantrelInventoryGroup::CountCollectables() const {
  TMonitorLock lock(this);
  const TVantrelInventory* inventory = Inventory();
  if (!inventory)
    return 0;
  int count = 0;
  for (const TVantrelInventoryCollectable* item : inventory->CollectedItems()->ToArray())
    if (item->Template() && item->Template()->GetGroup() == this)
      ++count;
  return count;
}

void TVantrelInventoryGroup::Assign(const TPersistent* ASource) {
  if (const auto* source = dynamic_cast<const TVantrelInventoryGroup*>(ASource)) {
    TMonitorLock lock(this);
    FMaxQuantity = source->FMaxQuantity;
    FMaxWeight = source->FMaxWeight;
  }
  inherited::Assign(ASource);
}

// ---- Manufacturers --------------------------------------------------------------------------------

TVantrelInventoryManufacturer::TVantrelInventoryManufacturer()
    : FIngredients(std::make_unique<TVantrelInventoryIngredientList>()),
      FDependency(std::make_unique<TVantrelInventoryDependencyList>()),
      FResultItems(std::make_unique<TVantrelInventoryResultItemList>()) {}

void TVantrelInventoryManufacturer::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelInventoryManufacturer;
  AList.Add("Ingredients", &T::Ingredients);
  AList.Add("Dependency", &T::Dependency);
  AList.Add("ResultItems", &T::ResultItems);
  AList.Add("Kind", &T::Kind, &T::SetKind);
  AList.Add("TimeNeeded", &T::TimeNeeded, &T::SetTimeNeeded);
}

void TVantrelInventoryManufacturer::SetIngredients(const TVantrelInventoryCustomIngredientList* AValue) {
  TMonitorLock lock(this);
  FIngredients->Assign(AValue);
}

void TVantrelInventoryManufacturer::SetDependency(const TVantrelInventoryCustomIngredientList* AValue) {
  TMonitorLock lock(this);
  FDependency->Assign(AValue);
}

void TVantrelInventoryManufacturer::SetResultItems(const TVantrelInventoryCustomIngredientList* AValue) {
  TMonitorLock lock(this);
  FResultItems->Assign(AValue);
}

TManufacturingProcessKind TVantrelInventoryManufacturer::Kind() const {
  TMonitorLock lock(this);
  return FKind;
}

void TVantrelInventoryManufacturer::SetKind(TManufacturingProcessKind AValue) {
  TMonitorLock lock(this);
  FKind = AValue;
}

int32_t TVantrelInventoryManufacturer::TimeNeeded() const {
  TMonitorLock lock(this);
  return FTimeNeeded;
}

void TVantrelInventoryManufacturer::SetTimeNeeded(int32_t AValue) {
  TMonitorLock lock(this);
  FTimeNeeded = AValue;
}

TVantrelInventoryItemTemplate* TVantrelInventoryManufacturer::Lookup(const std::string& ATemplateId) const {
  const TVantrelInventory* inventory = Inventory();
  return inventory ? inventory->FindItemTemplate(ATemplateId) : nullptr;
}

namespace {

void AddChecked(TVantrelInventoryCustomIngredientList& AList, TVantrelInventoryItemTemplate* ATemplate,
                int32_t AQuantity) {
  if (ATemplate && AQuantity > 0)
    AList.Add(ATemplate, AQuantity);
}

} // namespace

void TVantrelInventoryManufacturer::AddIngredient(const std::string& ATemplateId, int32_t AQuantity) {
  TMonitorLock lock(this);
  AddChecked(*FIngredients, Lookup(ATemplateId), AQuantity);
}

void TVantrelInventoryManufacturer::AddIngredient(TVantrelInventoryItemTemplate* ATemplate,
                                                  int32_t AQuantity) {
  TMonitorLock lock(this);
  AddChecked(*FIngredients, ATemplate, AQuantity);
}

void TVantrelInventoryManufacturer::RemoveIngredient(const std::string& ATemplateId) {
  TMonitorLock lock(this);
  if (const TVantrelInventoryItemTemplate* found = Lookup(ATemplateId))
    FIngredients->RemoveTemplate(found);
}

void TVantrelInventoryManufacturer::RemoveIngredient(const TVantrelInventoryItemTemplate* ATemplate) {
  TMonitorLock lock(this);
  FIngredients->RemoveTemplate(ATemplate);
}

void TVantrelInventoryManufacturer::AddDependency(const std::string& ATemplateId, int32_t AQuantity) {
  TMonitorLock lock(this);
  AddChecked(*FDependency, Lookup(ATemplateId), AQuantity);
}

void TVantrelInventoryManufacturer::AddDependency(TVantrelInventoryItemTemplate* ATemplate,
                                                  int32_t AQuantity) {
  TMonitorLock lock(this);
  AddChecked(*FDependency, ATemplate, AQuantity);
}

void TVantrelInventoryManufacturer::RemoveDependency(const std::string& ATemplateId) {
  TMonitorLock lock(this);
  if (const TVantrelInventoryItemTemplate* found = Lookup(ATemplateId))
    FDependency->RemoveTemplate(found);
}

void TVantrelInventoryManufacturer::RemoveDependency(const TVantrelInventoryItemTemplate* ATemplate) {
  TMonitorLock lock(this);
  FDependency->RemoveTemplate(ATemplate);
}

void TVantrelInventoryManufacturer::AddResultItem(const std::string& ATemplateId, int32_t AQuantity) {
  TMonitorLock lock(this);
  AddChecked(*FResultItems, Lookup(ATemplateId), AQuantity);
}

void TVantrelInventoryManufacturer::AddResultItem(TVantrelInventoryItemTemplate* ATemplate,
                                                  int32_t AQuantity) {
  TMonitorLock lock(this);
  AddChecked(*FResultItems, ATemplate, AQuantity);
}

void TVantrelInventoryManufacturer::RemoveResultItem(const std::string& ATemplateId) {
  TMonitorLock lock(this);
  if (const TVantrelInventoryItemTemplate* found = Lookup(ATemplateId))
    FResultItems->RemoveTemplate(found);
}

void TVantrelInventoryManufacturer::RemoveResultItem(const TVantrelInventoryItemTemplate* ATemplate) {
  TMonitorLock lock(this);
  FResultItems->RemoveTemplate(ATemplate);
}

void TVantrelInventoryManufacturer::ClearIngredients() {
  TMonitorLock lock(this);
  FIngredients->Clear();
}

void TVantrelInventoryManufacturer::ClearDependencies() {
  TMonitorLock lock(this);
  FDependency->Clear();
}

void TVantrelInventoryManufacturer::ClearResultItems() {
  TMonitorLock lock(this);
  FResultItems->Clear();
}

std::string TVantrelInventoryManufacturer::GetDescriptionString() const {
  TMonitorLock lock(this);
  const auto entries = [](const TVantrelInventoryCustomIngredientList& AList, const char* ASeparator) {
    std::string text;
    for (int i = 0; i < AList.Count(); ++i) {
      const TVantrelInventoryIngredient* entry = AList.Items(i);
      if (i > 0)
        text += ASeparator;
      text += (entry->Template() ? entry->Template()->Id() : "?") + "(" + IntToStr(entry->Quantity()) + ")";
    }
    return text;
  };
  return Id() + ": " + entries(*FIngredients, " + ") + " => (" + entries(*FResultItems, " + ") + ")";
}

void TVantrelInventoryManufacturer::Assign(const TPersistent* ASource) {
  if (const auto* source = dynamic_cast<const TVantrelInventoryManufacturer*>(ASource)) {
    TMonitorLock lock(this);
    FIngredients->Assign(source->FIngredients.get());
    FDependency->Assign(source->FDependency.get());
    FResultItems->Assign(source->FResultItems.get());
    FKind = source->FKind;
    FTimeNeeded = source->FTimeNeeded;
    FOnNotify = source->FOnNotify;
    FOnProduced = source->FOnProduced;
    FProcesses.Clear();
  }
  inherited::Assign(ASource);
}

// ---- Visual items ---------------------------------------------------------------------------------

void TVantrelInventoryVisualItem::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelInventoryVisualItem;
  AList.Add("DisplayName", &T::GetDisplayName, &T::SetDisplayName);
  AList.Add("ImageLOD0", &T::ImageLOD0, &T::SetImageLOD0);
  AList.Add("ImageLOD1", &T::ImageLOD1, &T::SetImageLOD1);
  AList.Add("ImageLOD2", &T::ImageLOD2, &T::SetImageLOD2);
  AList.Add("ModelFile", &T::ModelFile, &T::SetModelFile);
}

std::string TVantrelInventoryVisualItem::GetDisplayName() const {
  TMonitorLock lock(this);
  return FName;
}

void TVantrelInventoryVisualItem::SetDisplayName(const std::string& AValue) {
  TMonitorLock lock(this);
  FName = AValue;
}

std::string TVantrelInventoryVisualItem::GetResource(int AIndex) const {
  TMonitorLock lock(this);
  if (AIndex < 0 || AIndex > 3)
    throw EArgumentOutOfRangeException(Format(messages::ListIndexError, AIndex));
  return FResources[AIndex];
}

void TVantrelInventoryVisualItem::SetResource(int AIndex, const std::string& AValue) {
  TMonitorLock lock(this);
  if (AIndex < 0 || AIndex > 3)
    throw EArgumentOutOfRangeException(Format(messages::ListIndexError, AIndex));
  FResources[AIndex] = AValue;
}

void TVantrelInventoryVisualItem::Assign(const TPersistent* ASource) {
  const auto* source = dynamic_cast<const TVantrelInventoryVisualItem*>(ASource);
  if (!source) {
    inherited::Assign(ASource);
    return;
  }
  TMonitorLock lock(this);
  FName = source->FName;
  for (int i = 0; i < 4; ++i)
    FResources[i] = source->FResources[i];
}

// ---- Collections ----------------------------------------------------------------------------------

TVantrelInventoryCustomCollection::TVantrelInventoryCustomCollection(TVantrelInventory* AOwner,
                                                                     const TClass& AItemClass)
    : TOwnedCollection(AOwner, AItemClass) {}

TVantrelInventory* TVantrelInventoryCustomCollection::Inventory() const {
  return static_cast<TVantrelInventory*>(GetOwner());
}

TVantrelInventoryItemCollection::TVantrelInventoryItemCollection(TVantrelInventory* AOwner)
    : TVantrelInventoryCustomCollection(AOwner, TVantrelInventoryItemTemplate::StaticClass()) {}

TVantrelInventoryCollectablesCollection::TVantrelInventoryCollectablesCollection(TVantrelInventory* AOwner)
    : TVantrelInventoryCustomCollection(AOwner, TVantrelInventoryCollectable::StaticClass()) {}

std::vector<TVantrelInventoryCollectable*> TVantrelInventoryCollectablesCollection::ToArray() const {
  TMonitorLock lock(this);
  std::vector<TVantrelInventoryCollectable*> items;
  items.reserve(static_cast<size_t>(Count()));
  for (int i = 0; i < Count(); ++i)
    items.push_back(static_cast<TVantrelInventoryCollectable*>(Items(i)));
  return items;
}

TVantrelInventoryGroupCollection::TVantrelInventoryGroupCollection(TVantrelInventory* AOwner)
    : TVantrelInventoryCustomCollection(AOwner, TVantrelInventoryGroup::StaticClass()) {}

TVantrelInventoryManufacturerCollection::TVantrelInventoryManufacturerCollection(TVantrelInventory* AOwner)
    : TVantrelInventoryCustomCollection(AOwner, TVantrelInventoryManufacturer::StaticClass()) {}

TVantrelInventoryVisualItemCollection::TVantrelInventoryVisualItemCollection(TVantrelInventory* AOwner)
    : TOwnedCollection(AOwner, TVantrelInventoryVisualItem::StaticClass()) {}

void TVantrelInventoryVisualItemCollection::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelInventoryVisualItemCollection;
  AList.Add("ImageLOD0Size", &T::ImageLOD0Size, &T::SetImageLOD0Size);
  AList.Add("ImageLOD1Size", &T::ImageLOD1Size, &T::SetImageLOD1Size);
  AList.Add("ImageLOD2Size", &T::ImageLOD2Size, &T::SetImageLOD2Size);
}

TPoint TVantrelInventoryVisualItemCollection::GetImageLODSize(int AIndex) const {
  TMonitorLock lock(this);
  if (AIndex < 0 || AIndex > 2)
    throw EArgumentOutOfRangeException(Format(messages::ListIndexError, AIndex));
  if (FImageLODSizes[0] == TPoint{0, 0}) {
    FImageLODSizes[0] = {24, 24};
    FImageLODSizes[1] = {64, 64};
    FImageLODSizes[2] = {128, 128};
  }
  return FImageLODSizes[AIndex];
}

void TVantrelInventoryVisualItemCollection::SetImageLODSize(int AIndex, const TPoint& AValue) {
  TMonitorLock lock(this);
  if (AIndex < 0 || AIndex > 2)
    throw EArgumentOutOfRangeException(Format(messages::ListIndexError, AIndex));
  FImageLODSizes[AIndex] = AValue;
}

// ---- Inventory ------------------------------------------------------------------------------------

namespace {

template <class T> T* ItemAt(const TCollection& ACollection, int AIndex) {
  return static_cast<T*>(ACollection.Items(AIndex));
}

int InitCount = 0;

TClass* const InventoryClasses[] = {
    &TVantrelInventory::StaticClass(),
    &TVantrelInventoryItemTemplate::StaticClass(),
    &TVantrelInventoryCollectable::StaticClass(),
    &TVantrelInventoryGroup::StaticClass(),
    &TVantrelInventoryItemCollection::StaticClass(),
    &TVantrelInventoryCollectablesCollection::StaticClass(),
    &TVantrelInventoryGroupCollection::StaticClass(),
    &TVantrelInventoryDependencyList::StaticClass(),
    &TVantrelInventoryIngredientList::StaticClass(),
    &TVantrelInventoryResultItemList::StaticClass(),
    &TVantrelInventoryManufacturer::StaticClass(),
    &TVantrelInventoryManufacturerCollection::StaticClass(),
    &TVantrelInventoryVisualItem::StaticClass(),
    &TVantrelInventoryVisualItemCollection::StaticClass(),
};

} // namespace

TVantrelInventory::TVantrelInventory(TComponent* AOwner) : TComponent(AOwner) {
  FGroups = std::make_unique<TVantrelInventoryGroupCollection>(this);
  FItemTemplates = std::make_unique<TVantrelInventoryItemCollection>(this);
  FManufacturers = std::make_unique<TVantrelInventoryManufacturerCollection>(this);
  FCollectedItems = std::make_unique<TVantrelInventoryCollectablesCollection>(this);
  FVisualItems = std::make_unique<TVantrelInventoryVisualItemCollection>(this);
}

TVantrelInventory::~TVantrelInventory() {
  TMonitorLock lock(this);
  FLateResolveList.reset();
  FManufacturers.reset();
  FCollectedItems.reset();
  FItemTemplates.reset();
  FGroups.reset();
  FVisualItems.reset();
  for (TOwned<ui::TImageList>& list : FImageLists)
    list.reset();
  FGraveyard.clear();
}

void TVantrelInventory::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelInventory;
  AList.Add("ItemTemplates", &T::ItemTemplates, &T::SetItemTemplates);
  AList.Add("Groups", &T::Groups, &T::SetGroups);
  AList.Add("Manufacturers", &T::Manufacturers, &T::SetManufacturers);
  AList.Add("CollectedItems", &T::CollectedItems, &T::SetCollectedItems);
  AList.Add("VisualItems", &T::VisualItems, &T::SetVisualItems);
  AList.Add("Language", &T::Language, &T::SetLanguage);
}

void TVantrelInventory::SetItemTemplates(TVantrelInventoryItemCollection* AValue) {
  TMonitorLock lock(this);
  FItemTemplates->Assign(AValue);
}

void TVantrelInventory::SetGroups(TVantrelInventoryGroupCollection* AValue) {
  TMonitorLock lock(this);
  FGroups->Assign(AValue);
}

void TVantrelInventory::SetCollectedItems(TVantrelInventoryCollectablesCollection* AValue) {
  TMonitorLock lock(this);
  FCollectedItems->Assign(AValue);
}

void TVantrelInventory::SetManufacturers(TVantrelInventoryManufacturerCollection* AValue) {
  TMonitorLock lock(this);
  FManufacturers->Assign(AValue);
}

void TVantrelInventory::SetVisualItems(TVantrelInventoryVisualItemCollection* AValue) {
  TMonitorLock lock(this);
  SetImageListsModified();
  FVisualItems->Assign(AValue);
}

TVantrelInventoryManufacturer* TVantrelInventory::AddManufacturer(const std::string& AManId) {
  TMonitorLock lock(this);
  auto* item = static_cast<TVantrelInventoryManufacturer*>(FManufacturers->Add());
  item->SetId(AManId);
  return item;
}

TVantrelInventoryManufacturer* TVantrelInventory::FindManufacturer(std::string_view AId) const {
  TMonitorLock lock(this);
  for (int i = 0; i < FManufacturers->Count(); ++i)
    if (auto* item = ItemAt<TVantrelInventoryManufacturer>(*FManufacturers, i); item->Id() == AId)
      return item;
  return nullptr;
}

void TVantrelInventory::RemoveManufacturer(std::string_view AManId) {
  TMonitorLock lock(this);
  RemoveManufacturer(FindManufacturer(AManId));
}

void TVantrelInventory::RemoveManufacturer(TVantrelInventoryManufacturer* AMan) {
  TMonitorLock lock(this);
  if (!AMan || AMan->Inventory() != this)
    return;
  // A detached manufacturer has no inventory to produce into: its runs end here.
  for (int i = AMan->ProcessCount() - 1; i >= 0; --i)
    AMan->Processes(i)->Abort(true);
  Detach(AMan);
}

TVantrelInventoryVisualItem* TVantrelInventory::AddVisualItem(int AIndex, const std::string& AName,
                                                              const std::string& ALOD0,
                                                              const std::string& ALOD1,
                                                              const std::string& ALOD2,
                                                              const std::string& AModelFile) {
  TMonitorLock lock(this);
  SetImageListsModified();
  auto* item = static_cast<TVantrelInventoryVisualItem*>(FVisualItems->Add());
  item->SetDisplayName(AName);
  item->SetResource(0, ALOD0);
  item->SetResource(1, ALOD1);
  item->SetResource(2, ALOD2);
  item->SetResource(3, AModelFile);
  if (AIndex >= 0)
    item->SetIndex(std::min(AIndex, FVisualItems->Count() - 1));
  return item;
}

void TVantrelInventory::RemoveVisualItem(const std::string& AName) {
  TMonitorLock lock(this);
  SetImageListsModified();
  if (TVantrelInventoryVisualItem* item = GetVisualItemByName(AName))
    FVisualItems->Delete(item->Index());
}

void TVantrelInventory::ClearVisualItems() {
  TMonitorLock lock(this);
  SetImageListsModified();
  FVisualItems->Clear();
}

TVantrelInventoryVisualItem* TVantrelInventory::GetVisualItemByName(const std::string& AName) const {
  TMonitorLock lock(this);
  for (int i = 0; i < FVisualItems->Count(); ++i)
    if (auto* item = ItemAt<TVantrelInventoryVisualItem>(*FVisualItems, i); item->GetDisplayName() == AName)
      return item;
  return nullptr;
}

void TVantrelInventory::SetImageListsModified() {
  TMonitorLock lock(this);
  for (bool& flag : FImageListsModified)
    flag = true;
}

void TVantrelInventory::UnsetImageListsModified() {
  TMonitorLock lock(this);
  for (bool& flag : FImageListsModified)
    flag = false;
}

namespace {

int CheckedLevel(int AIndex) {
  if (AIndex < 0 || AIndex > 2)
    throw EArgumentOutOfRangeException(Format(messages::ListIndexError, AIndex));
  return AIndex;
}

} // namespace

void TVantrelInventory::SetImageListModified(int AIndex) {
  TMonitorLock lock(this);
  FImageListsModified[CheckedLevel(AIndex)] = true;
}

void TVantrelInventory::UnsetImageListModified(int AIndex) {
  TMonitorLock lock(this);
  FImageListsModified[CheckedLevel(AIndex)] = false;
}

bool TVantrelInventory::ImageListModified(int AIndex) const {
  TMonitorLock lock(this);
  return FImageListsModified[CheckedLevel(AIndex)];
}

int32_t TVantrelInventory::Language() const {
  TMonitorLock lock(this);
  return FLanguage;
}

void TVantrelInventory::SetLanguage(int32_t AValue) {
  TMonitorLock lock(this);
  FLanguage = AValue;
}

std::string TVantrelInventory::GetCurrentLanguageName() const {
  TMonitorLock lock(this);
  return LanguageIndexToCode(FLanguage);
}

void TVantrelInventory::Detach(TVantrelInventoryCustomItem* AItem) {
  AItem->SetCollection(nullptr);
  FGraveyard.emplace_back(AItem);
}

void TVantrelInventory::Notify(TVantrelInventoryCollectable* AItem, TCollectionNotification AAction) {
  if (FOnItemNotify)
    FOnItemNotify(this, AItem, AAction);
}

void TVantrelInventory::UnlinkGraveyard() {
  for (const auto& entry : FGraveyard) {
    if (auto* item = dynamic_cast<TVantrelInventoryCollectable*>(entry.get()))
      item->SetTemplate(nullptr);
    if (auto* item = dynamic_cast<TVantrelInventoryItemTemplate*>(entry.get())) {
      item->SetGroup(nullptr);
      item->SetUpgradeItem(nullptr);
      item->SetDowngradeItem(nullptr);
      item->ClearDependencies();
    }
    if (auto* item = dynamic_cast<TVantrelInventoryManufacturer*>(entry.get())) {
      item->ClearIngredients();
      item->ClearDependencies();
      item->ClearResultItems();
    }
  }
}

void TVantrelInventory::Clear() {
  TMonitorLock lock(this);
  FLateResolveList.reset();
  // Freeing the manufacturers frees their processes, whose taken ingredients join the graveyard;
  // then no graveyard entry may keep pointing at what is freed next.
  FManufacturers->Clear();
  UnlinkGraveyard();
  FCollectedItems->Clear();
  FItemTemplates->Clear();
  FGroups->Clear();
  SetImageListsModified();
  FVisualItems->Clear();
}

TVantrelInventoryGroup* TVantrelInventory::AddGroup(const std::string& AGroupId) {
  TMonitorLock lock(this);
  auto* group = static_cast<TVantrelInventoryGroup*>(FGroups->Add());
  group->SetId(AGroupId);
  return group;
}

TVantrelInventoryGroup* TVantrelInventory::FindGroup(std::string_view AGroupId) const {
  TMonitorLock lock(this);
  for (int i = 0; i < FGroups->Count(); ++i)
    if (auto* group = ItemAt<TVantrelInventoryGroup>(*FGroups, i); group->Id() == AGroupId)
      return group;
  return nullptr;
}

TVantrelInventoryItemTemplate* TVantrelInventory::AddItemTemplate(const std::string& ATemplateId) {
  TMonitorLock lock(this);
  auto* item = static_cast<TVantrelInventoryItemTemplate*>(FItemTemplates->Add());
  item->SetId(ATemplateId);
  return item;
}

TVantrelInventoryItemTemplate* TVantrelInventory::FindItemTemplate(std::string_view ATemplateId) const {
  TMonitorLock lock(this);
  for (int i = 0; i < FItemTemplates->Count(); ++i)
    if (auto* item = ItemAt<TVantrelInventoryItemTemplate>(*FItemTemplates, i); item->Id() == ATemplateId)
      return item;
  return nullptr;
}

std::vector<TVantrelInventoryCollectable*> TVantrelInventory::FindCollectedItems(std::string_view AId) const {
  TMonitorLock lock(this);
  std::vector<TVantrelInventoryCollectable*> found;
  for (TVantrelInventoryCollectable* item : FCollectedItems->ToArray())
    if (item->Id() == AId)
      found.push_back(item);
  return found;
}

std::vector<TVantrelInventoryCollectable*>
TVantrelInventory::FindCollectedItems(const TVantrelInventoryItemTemplate* ATemplate) const {
  TMonitorLock lock(this);
  std::vector<TVantrelInventoryCollectable*> found;
  // The items' own monitors are not taken for each field read: the inventory's monitor covers the
  // scan, and a lock per item made collecting in a large inventory slow.
  for (TVantrelInventoryCollectable* item : FCollectedItems->ToArray())
    if (item->FTemplate == ATemplate)
      found.push_back(item);
  return found;
}

TVantrelInventoryCollectable* TVantrelInventory::FindFirstCollectedItem(std::string_view AId) const {
  TMonitorLock lock(this);
  for (int i = 0; i < FCollectedItems->Count(); ++i)
    if (auto* item = ItemAt<TVantrelInventoryCollectable>(*FCollectedItems, i); item->Id() == AId)
      return item;
  return nullptr;
}

TVantrelInventoryCollectable*
TVantrelInventory::FindFirstCollectedItem(const TVantrelInventoryItemTemplate* ATemplate) const {
  TMonitorLock lock(this);
  for (int i = 0; i < FCollectedItems->Count(); ++i)
    if (auto* item = ItemAt<TVantrelInventoryCollectable>(*FCollectedItems, i); item->FTemplate == ATemplate)
      return item;
  return nullptr;
}

void TVantrelInventory::RemoveItemTemplate(std::string_view ATemplateId) {
  TMonitorLock lock(this);
  RemoveItemTemplate(FindItemTemplate(ATemplateId));
}

void TVantrelInventory::RemoveItemTemplate(TVantrelInventoryItemTemplate* ATemplate) {
  TMonitorLock lock(this);
  if (!ATemplate || ATemplate->Inventory() != this)
    return;
  DropCollectedItem(ATemplate, true);
  for (int i = 0; i < FManufacturers->Count(); ++i) {
    auto* manufacturer = ItemAt<TVantrelInventoryManufacturer>(*FManufacturers, i);
    manufacturer->RemoveIngredient(ATemplate);
    manufacturer->RemoveResultItem(ATemplate);
    manufacturer->RemoveDependency(ATemplate);
  }
  for (int i = 0; i < FItemTemplates->Count(); ++i)
    ItemAt<TVantrelInventoryItemTemplate>(*FItemTemplates, i)->RemoveDependency(ATemplate);
  Detach(ATemplate);
}

void TVantrelInventory::RemoveGroup(std::string_view AGroupId) {
  TMonitorLock lock(this);
  RemoveGroup(FindGroup(AGroupId));
}

void TVantrelInventory::RemoveGroup(TVantrelInventoryGroup* AGroup) {
  TMonitorLock lock(this);
  if (!AGroup || AGroup->Inventory() != this)
    return;
  for (int i = 0; i < FItemTemplates->Count(); ++i)
    if (auto* item = ItemAt<TVantrelInventoryItemTemplate>(*FItemTemplates, i); item->GetGroup() == AGroup)
      item->SetGroup(nullptr);
  Detach(AGroup);
}

int32_t TVantrelInventory::CountOf(const TVantrelInventoryItemTemplate* ATemplate) const {
  int32_t count = 0;
  for (const TVantrelInventoryCollectable* item : FindCollectedItems(ATemplate))
    count += item->Quantity();
  return count;
}

TVantrelInventoryCollectState TVantrelInventory::IsCollectable(std::string_view ATemplateId,
                                                               uint32_t ACount) const {
  TMonitorLock lock(this);
  return IsCollectable(FindItemTemplate(ATemplateId), ACount);
}

TVantrelInventoryCollectState TVantrelInventory::IsCollectable(const TVantrelInventoryItemTemplate* ATemplate,
                                                               uint32_t ACount) const {
  TMonitorLock lock(this);
  if (!ATemplate)
    return TVantrelInventoryCollectState::NotFound;
  const TVantrelInventoryGroup* group = ATemplate->GetGroup();
  if (!ATemplate->Enabled() || (group && !group->Enabled()))
    return TVantrelInventoryCollectState::Disabled;
  int64_t limit = ATemplate->MaxQuantity();
  if (group && group->MaxQuantity() != 0)
    limit = std::min<int64_t>(group->MaxQuantity(), limit);
  int64_t current = 0;
  if (ATemplate->IsPooled()) {
    const TVantrelInventoryCollectable* first = FindFirstCollectedItem(ATemplate);
    current = first ? first->Quantity() : 0;
  } else {
    current = CountOf(ATemplate);
  }
  // The units about to be added count too, so one large collect cannot pass the limit.
  if (limit > 0 && (current >= limit || current + static_cast<int64_t>(ACount) > limit))
    return TVantrelInventoryCollectState::QuantityExceeded;
  const TVantrelInventoryDependencyList* dependencies = ATemplate->Dependency();
  for (int i = 0; i < dependencies->Count(); ++i) {
    const TVantrelInventoryIngredient* need = dependencies->Items(i);
    if (CountOf(need->Template()) < need->Quantity())
      return TVantrelInventoryCollectState::Missing;
  }
  return TVantrelInventoryCollectState::Allowed;
}

TVantrelInventoryCollectable* TVantrelInventory::Collect(std::string_view ATemplateId) {
  TMonitorLock lock(this);
  TVantrelInventoryCollectState state = TVantrelInventoryCollectState::None;
  return Collect(FindItemTemplate(ATemplateId), 1, state);
}

TVantrelInventoryCollectable* TVantrelInventory::Collect(TVantrelInventoryItemTemplate* ATemplate,
                                                         TVantrelInventoryCollectState& AState) {
  return Collect(ATemplate, 1, AState);
}

TVantrelInventoryCollectable* TVantrelInventory::Collect(TVantrelInventoryItemTemplate* ATemplate,
                                                         uint32_t ACount,
                                                         TVantrelInventoryCollectState& AState) {
  TMonitorLock lock(this);
  AState = TVantrelInventoryCollectState::None;
  if (!ATemplate) {
    AState = TVantrelInventoryCollectState::NotFound;
    return nullptr;
  }
  if (ACount == 0)
    return nullptr;
  AState = IsCollectable(ATemplate, ACount);
  if (AState != TVantrelInventoryCollectState::Allowed)
    return nullptr;
  TVantrelInventoryCollectable* item = ATemplate->IsPooled() ? FindFirstCollectedItem(ATemplate) : nullptr;
  if (item) {
    item->SetQuantity(item->Quantity() + static_cast<int32_t>(ACount));
  } else {
    item = static_cast<TVantrelInventoryCollectable*>(FCollectedItems->Add());
    item->SetTemplate(ATemplate);
    item->SetId(ATemplate->Id());
    item->SetQuantity(static_cast<int32_t>(ACount));
    item->SetWeight(ATemplate->Weight());
    Notify(item, TCollectionNotification::cnAdded);
  }
  AState = TVantrelInventoryCollectState::Collected;
  return item;
}

void TVantrelInventory::DropCollectedItem(std::string_view AItem, bool ADropAll) {
  TMonitorLock lock(this);
  if (const TVantrelInventoryItemTemplate* found = FindItemTemplate(AItem))
    DropCollectedItem(found, ADropAll);
}

void TVantrelInventory::DropCollectedItem(TVantrelInventoryCollectable* AItem, int32_t ACount) {
  TMonitorLock lock(this);
  if (!AItem || AItem->Inventory() != this || ACount == 0 || ACount < -1)
    return;
  const TVantrelInventoryItemTemplate* item = AItem->Template();
  if (item && item->IsPooled() && ACount != -1) {
    AItem->SetQuantity(AItem->Quantity() - ACount);
    if (AItem->Quantity() > 0) {
      Notify(AItem, TCollectionNotification::cnExtracted);
      return;
    }
  }
  Notify(AItem, TCollectionNotification::cnRemoved);
  Detach(AItem);
}

void TVantrelInventory::DropCollectedItem(const TVantrelInventoryItemTemplate* ATemplate, bool ADropAll) {
  TMonitorLock lock(this);
  std::vector<TVantrelInventoryCollectable*> items = FindCollectedItems(ATemplate);
  if (!ADropAll && items.size() > 1)
    items.resize(1);
  for (TVantrelInventoryCollectable* item : items) {
    Notify(item, TCollectionNotification::cnRemoved);
    Detach(item);
  }
}

void TVantrelInventory::AddToLateResolve(const TClass& AClass, const std::string& AId,
                                         std::function<void(TVantrelInventoryCustomItem*)> AAddr) {
  TMonitorLock lock(this);
  if (!FLateResolveList)
    FLateResolveList = std::make_unique<std::vector<TLateResolve>>();
  FLateResolveList->push_back({&AClass, AId, std::move(AAddr)});
}

void TVantrelInventory::LateResolve() {
  TMonitorLock lock(this);
  if (!FLateResolveList)
    return;
  // Taken first: the fields it writes may belong to entries a later Clear frees.
  const std::unique_ptr<std::vector<TLateResolve>> list = std::move(FLateResolveList);
  for (const TLateResolve& entry : *list) {
    TVantrelInventoryCustomItem* found = nullptr;
    if (entry._Class->InheritsFrom(TVantrelInventoryGroup::StaticClass()))
      found = FindGroup(entry.ID);
    else if (entry._Class->InheritsFrom(TVantrelInventoryItemTemplate::StaticClass()))
      found = FindItemTemplate(entry.ID);
    if (found)
      entry.Addr(found);
  }
}

void TVantrelInventory::Loaded() {
  inherited::Loaded();
  LateResolve();
}

void InitializeInventory() {
  if (InitCount++ > 0)
    return;
  for (TClass* item : InventoryClasses)
    RegisterClass(*item);
}

void FinalizeInventory() {
  if (InitCount == 0 || --InitCount > 0)
    return;
  for (TClass* item : InventoryClasses)
    UnRegisterClass(*item);
}

} // namespace vantrel
