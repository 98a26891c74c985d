// The inventory file: writing and reading every entry, and the loading cache that resolves
// references pointing forward in the file.

#include <memory>

#include "rtl/sync.h"
#include "rtl/sysutils.h"
#include "utils/Vantrel.Utils.Inventory.h"
#include "xml/Vantrel.Xml.Document.h"

namespace vantrel {

namespace {

TMz_XmlElement* NewElement(TMz_XmlElement* AParent, std::string_view AName) {
  return TMz_XmlElement::Create(AParent->document(), AParent, "", AName);
}

// Texts (ids, references, formatted numbers) are stored as they are.
void AddText(TMz_XmlElement* AElement, std::string_view AName, const std::string& AText) {
  AElement->addAttribute(AName, AText);
}

// Single values widened to double in the general format ("0.5", "5", "0.100000001490116").
void AddSingle(TMz_XmlElement* AElement, std::string_view AName, float AValue) {
  AddText(AElement, AName, FloatToStr(static_cast<double>(AValue)));
}

bool Has(const TMz_XmlElement* AElement, std::string_view AName) {
  return AElement->attributes().find(AName) != nullptr;
}

int32_t ReadInteger(const TMz_XmlElement* AElement, std::string_view AName, int32_t AMissing) {
  int32_t value = AMissing;
  if (Has(AElement, AName))
    AElement->getAttribute(AName, value);
  return value;
}

bool ReadBoolean(const TMz_XmlElement* AElement, std::string_view AName, bool AMissing) {
  bool value = AMissing;
  if (Has(AElement, AName))
    AElement->getAttribute(AName, value);
  return value;
}

// Singles are read by the double rules (so "1E-6", which types as text, still reads) and then
// narrowed; text that is no number raises the invalid-cast error as a bad integer does.
float ReadSingle(const TMz_XmlElement* AElement, std::string_view AName) {
  if (!Has(AElement, AName))
    return 0;
  double value = 0;
  if (AElement->getAttribute(AName, value))
    return static_cast<float>(value);
  if (AElement->getAttributeRaw(AName).empty())
    return 0;
  throw EInvalidCast(messages::InvalidCast);
}

// References are read normalised, the way ids are, so an id that looks like a number survives.
std::string ReadReference(const TMz_XmlElement* AElement, std::string_view AName) {
  return AElement->getAttribute(AName);
}

const TMz_XmlElement* Child(const TMz_XmlElement* AElement, std::string_view AName) {
  return AElement->find(AName);
}

// A template reference: set at once when the template is known, else queued in ATable.
template <class TSet>
void ResolveOrQueue(TVantrelInventoryLoadingCache* ACache, TDictionary<TObject*, std::string>& ATable,
                    TObject* AWaiting, const std::string& AId, TSet ASet) {
  if (TVantrelInventoryItemTemplate* found = ACache ? ACache->FindTemplate(AId) : nullptr)
    ASet(found);
  else
    ATable.AddOrSetValue(AWaiting, AId);
}

} // namespace

// ---- Entries --------------------------------------------------------------------------------------

TMz_XmlElement* TVantrelInventoryCustomItem::ToXml(TMz_XmlElement* AParent) const {
  TMonitorLock lock(this);
  TMz_XmlElement* element = NewElement(AParent, GetIdentifier());
  AddText(element, "id", FId);
  element->addAttribute("enabled", FEnabled);
  FName->ToXml(NewElement(element, "name"));
  return element;
}

void TVantrelInventoryCustomItem::FromXml(const TMz_XmlElement* ANode, TVantrelInventoryLoadingCache*) {
  TMonitorLock lock(this);
  FId = ANode->getAttribute("id");
  FEnabled = ReadBoolean(ANode, "enabled", false);
  if (const TMz_XmlElement* name = Child(ANode, "name"))
    FName->FromXml(name);
}

TMz_XmlElement* TVantrelInventoryItem::ToXml(TMz_XmlElement* AParent) const {
  TMonitorLock lock(this);
  TMz_XmlElement* element = inherited::ToXml(AParent);
  FParameters->ToXml(NewElement(element, "params"));
  return element;
}

void TVantrelInventoryItem::FromXml(const TMz_XmlElement* ANode, TVantrelInventoryLoadingCache* ACache) {
  TMonitorLock lock(this);
  inherited::FromXml(ANode, ACache);
  FParameters->Clear();
  if (const TMz_XmlElement* params = Child(ANode, "params"))
    FParameters->FromXml(params);
}

TMz_XmlElement* TVantrelInventoryItemTemplate::ToXml(TMz_XmlElement* AParent) const {
  TMonitorLock lock(this);
  TMz_XmlElement* element = inherited::ToXml(AParent);
  if (FGroup)
    AddText(element, "group", FGroup->Id());
  element->addAttribute("max-quantity", FMaxQuantity);
  AddSingle(element, "weight", FWeight);
  AddSingle(element, "max-weight", FMaxWeight);
  element->addAttribute("is-pooled", FIsPooled);
  FDependency->ToXml(NewElement(element, "dependencies"));
  if (FUpgradeItem)
    AddText(element, "upgrade-item", FUpgradeItem->Id());
  if (FDowngradeItem)
    AddText(element, "downgrade-item", FDowngradeItem->Id());
  element->addAttribute("image-index", FImageIndex);
  return element;
}

void TVantrelInventoryItemTemplate::FromXml(const TMz_XmlElement* ANode,
                                            TVantrelInventoryLoadingCache* ACache) {
  TMonitorLock lock(this);
  inherited::FromXml(ANode, ACache);
  const TVantrelInventory* inventory = ACache ? ACache->Inventory() : Inventory();
  if (const std::string group = ReadReference(ANode, "group"); !group.empty() && inventory)
    FGroup = inventory->FindGroup(group);
  FMaxQuantity = ReadInteger(ANode, "max-quantity", 0);
  FWeight = ReadSingle(ANode, "weight");
  FMaxWeight = ReadSingle(ANode, "max-weight");
  FIsPooled = ReadBoolean(ANode, "is-pooled", true);
  if (const TMz_XmlElement* dependencies = Child(ANode, "dependencies"))
    FDependency->FromXml(dependencies, ACache);
  if (ACache) {
    if (const std::string upgrade = ReadReference(ANode, "upgrade-item"); Has(ANode, "upgrade-item"))
      ResolveOrQueue(ACache, ACache->Upgrade(), this, upgrade,
                     [this](auto* AFound) { FUpgradeItem = AFound; });
    if (const std::string downgrade = ReadReference(ANode, "downgrade-item"); Has(ANode, "downgrade-item"))
      ResolveOrQueue(ACache, ACache->Downgrade(), this, downgrade,
                     [this](auto* AFound) { FDowngradeItem = AFound; });
  }
  FImageIndex = ReadInteger(ANode, "image-index", -1);
}

TMz_XmlElement* TVantrelInventoryCollectable::ToXml(TMz_XmlElement* AParent) const {
  TMonitorLock lock(this);
  TMz_XmlElement* element = inherited::ToXml(AParent);
  if (FTemplate)
    AddText(element, "template", FTemplate->Id());
  element->addAttribute("quantity", FQuantity);
  AddSingle(element, "weight", FWeight);
  return element;
}

void TVantrelInventoryCollectable::FromXml(const TMz_XmlElement* ANode,
                                           TVantrelInventoryLoadingCache* ACache) {
  TMonitorLock lock(this);
  inherited::FromXml(ANode, ACache);
  if (ACache && Has(ANode, "template"))
    ResolveOrQueue(ACache, ACache->References(), this, ReadReference(ANode, "template"),
                   [this](auto* AFound) { FTemplate = AFound; });
  FQuantity = ReadInteger(ANode, "quantity", 1);
  FWeight = ReadSingle(ANode, "weight");
}

TMz_XmlElement* TVantrelInventoryGroup::ToXml(TMz_XmlElement* AParent) const {
  TMonitorLock lock(this);
  TMz_XmlElement* element = inherited::ToXml(AParent);
  element->addAttribute("max-quantity", FMaxQuantity);
  AddText(element, "max-weight", FormatFloat("0.00", FMaxWeight));
  return element;
}

void TVantrelInventoryGroup::FromXml(const TMz_XmlElement* ANode, TVantrelInventoryLoadingCache* ACache) {
  TMonitorLock lock(this);
  inherited::FromXml(ANode, ACache);
  FMaxQuantity = ReadInteger(ANode, "max-quantity", 0);
  FMaxWeight = ReadSingle(ANode, "max-weight");
}

TMz_XmlElement* TVantrelInventoryManufacturer::ToXml(TMz_XmlElement* AParent) const {
  TMonitorLock lock(this);
  TMz_XmlElement* element = inherited::ToXml(AParent);
  element->addAttribute("time-needed", FTimeNeeded);
  FResultItems->ToXml(NewElement(element, "results"));
  FDependency->ToXml(NewElement(element, "dependencies"));
  FIngredients->ToXml(NewElement(element, "ingredients"));
  return element;
}

void TVantrelInventoryManufacturer::FromXml(const TMz_XmlElement* ANode,
                                            TVantrelInventoryLoadingCache* ACache) {
  TMonitorLock lock(this);
  inherited::FromXml(ANode, ACache);
  FTimeNeeded = ReadInteger(ANode, "time-needed", 3000);
  // Older files hold one result in `result`.
  if (const TMz_XmlElement* result = Child(ANode, "result"))
    if (const TMz_XmlElement* entry = Child(result, "in"))
      FResultItems->AddFromXml(entry, ACache);
  if (const TMz_XmlElement* results = Child(ANode, "results"))
    FResultItems->FromXml(results, ACache);
  if (const TMz_XmlElement* dependencies = Child(ANode, "dependencies"))
    FDependency->FromXml(dependencies, ACache);
  if (const TMz_XmlElement* ingredients = Child(ANode, "ingredients"))
    FIngredients->FromXml(ingredients, ACache);
}

TMz_XmlElement* TVantrelInventoryVisualItem::ToXml(TMz_XmlElement* AParent) const {
  TMonitorLock lock(this);
  static constexpr const char* Children[] = {"image_lod_0", "image_lod_1", "image_lod_2", "model_file"};
  TMz_XmlElement* element = NewElement(AParent, "view");
  AddText(element, "id", FName);
  for (int i = 0; i < 4; ++i)
    NewElement(element, Children[i])->setRawValue(FResources[i]);
  return element;
}

void TVantrelInventoryVisualItem::FromXml(const TMz_XmlElement* ANode, TVantrelInventoryLoadingCache*) {
  TMonitorLock lock(this);
  static constexpr const char* Children[] = {"image_lod_0", "image_lod_1", "image_lod_2", "model_file"};
  FName = ANode->getAttribute("id");
  for (int i = 0; i < 4; ++i)
    if (const TMz_XmlElement* child = Child(ANode, Children[i]))
      FResources[i] = child->getRawValue();
}

// ---- Ingredient lists -----------------------------------------------------------------------------

TMz_XmlElement* TVantrelInventoryIngredient::ToXml(TMz_XmlElement* AParent) const {
  TMz_XmlElement* element = NewElement(AParent, "in");
  if (FTemplate)
    AddText(element, "template", FTemplate->Id());
  element->addAttribute("quantity", FQuantity);
  return element;
}

void TVantrelInventoryIngredient::FromXml(const TMz_XmlElement* ANode,
                                          TVantrelInventoryLoadingCache* ACache) {
  if (ACache && Has(ANode, "template"))
    ResolveOrQueue(ACache, ACache->References(), this, ReadReference(ANode, "template"),
                   [this](auto* AFound) { FTemplate = AFound; });
  FQuantity = ReadInteger(ANode, "quantity", 1);
}

void TVantrelInventoryCustomIngredientList::ToXml(TMz_XmlElement* AParent) const {
  TMonitorLock lock(this);
  for (const auto& item : FItems)
    item->ToXml(AParent);
}

TVantrelInventoryIngredient*
TVantrelInventoryCustomIngredientList::AddFromXml(const TMz_XmlElement* ANode,
                                                  TVantrelInventoryLoadingCache* ACache) {
  TMonitorLock lock(this);
  TVantrelInventoryIngredient* item = Add(nullptr, 1);
  item->FromXml(ANode, ACache);
  return item;
}

void TVantrelInventoryCustomIngredientList::FromXml(const TMz_XmlElement* ANode,
                                                    TVantrelInventoryLoadingCache* ACache) {
  TMonitorLock lock(this);
  if (!ANode->nodes())
    return;
  for (const TMz_XmlElement* child : *ANode->nodes())
    if (child->kind() == TMz_XmlNodeKind::mzDefault && child->name() == "in")
      AddFromXml(child, ACache);
}

// ---- Collections ----------------------------------------------------------------------------------

void TVantrelInventoryCustomCollection::ToXml(TMz_XmlElement* AParent) const {
  TMonitorLock lock(this);
  for (int i = 0; i < Count(); ++i)
    static_cast<const TVantrelInventoryCustomItem*>(Items(i))->ToXml(AParent);
}

void TVantrelInventoryCustomCollection::FromXml(const TMz_XmlElement* ANode,
                                                TVantrelInventoryLoadingCache* ACache) {
  TMonitorLock lock(this);
  Clear();
  if (!ANode->nodes())
    return;
  for (const TMz_XmlElement* child : *ANode->nodes()) {
    if (child->kind() != TMz_XmlNodeKind::mzDefault)
      continue;
    auto* item = static_cast<TVantrelInventoryCustomItem*>(Add());
    item->FromXml(child, ACache);
    if (auto* itemTemplate = dynamic_cast<TVantrelInventoryItemTemplate*>(item); itemTemplate && ACache)
      ACache->NoteTemplate(itemTemplate);
  }
}

void TVantrelInventoryVisualItemCollection::ToXml(TMz_XmlElement* AParent) const {
  TMonitorLock lock(this);
  for (int i = 0; i < Count(); ++i)
    static_cast<const TVantrelInventoryVisualItem*>(Items(i))->ToXml(AParent);
}

void TVantrelInventoryVisualItemCollection::FromXml(const TMz_XmlElement* ANode,
                                                    TVantrelInventoryLoadingCache* ACache) {
  TMonitorLock lock(this);
  Clear();
  if (!ANode->nodes())
    return;
  for (const TMz_XmlElement* child : *ANode->nodes())
    if (child->kind() == TMz_XmlNodeKind::mzDefault)
      static_cast<TVantrelInventoryVisualItem*>(Add())->FromXml(child, ACache);
}

// ---- Loading cache --------------------------------------------------------------------------------

TVantrelInventoryItemTemplate* TVantrelInventoryLoadingCache::FindTemplate(const std::string& AId) const {
  TVantrelInventoryItemTemplate* const* found = FTemplates.Find(AId);
  return found ? *found : nullptr;
}

void TVantrelInventoryLoadingCache::NoteTemplate(TVantrelInventoryItemTemplate* ATemplate) {
  FTemplates.TryAdd(ATemplate->Id(), ATemplate);
}

void TVantrelInventoryLoadingCache::Resolve() {
  TMonitorLock lock(this);
  for (const auto& entry : FReferences) {
    TVantrelInventoryItemTemplate* found = FindTemplate(entry.Value);
    if (!found)
      continue;
    if (auto* item = dynamic_cast<TVantrelInventoryCollectable*>(entry.Key))
      item->SetTemplate(found);
    else if (auto* ingredient = dynamic_cast<TVantrelInventoryIngredient*>(entry.Key))
      ingredient->SetTemplate(found);
  }
  for (const auto& entry : FUpgrade)
    if (auto* item = dynamic_cast<TVantrelInventoryItemTemplate*>(entry.Key))
      if (TVantrelInventoryItemTemplate* found = FindTemplate(entry.Value))
        item->SetUpgradeItem(found);
  for (const auto& entry : FDowngrade)
    if (auto* item = dynamic_cast<TVantrelInventoryItemTemplate*>(entry.Key))
      if (TVantrelInventoryItemTemplate* found = FindTemplate(entry.Value))
        item->SetDowngradeItem(found);
}

// ---- The file -------------------------------------------------------------------------------------

void TVantrelInventory::SaveToStream(TStream* AStream) const {
  TMonitorLock lock(this);
  if (!AStream)
    return;
  TMz_XmlDocument document;
  auto* root = TMz_XmlElement::Create(&document, nullptr, "", "xml");
  root->setKind(TMz_XmlNodeKind::mzDocument);
  document.setRoot(root);
  root->addAttribute("version", std::string("1.0"));
  root->addAttribute("encoding", std::string("UTF-8"));
  TMz_XmlElement* inventory = NewElement(root, "inventory");
  AddText(inventory, "path", ExtractFilePath(FFileName));
  FVisualItems->ToXml(NewElement(inventory, "visual_items"));
  FGroups->ToXml(NewElement(inventory, "groups"));
  FItemTemplates->ToXml(NewElement(inventory, "templates"));
  FManufacturers->ToXml(NewElement(inventory, "manufacturers"));
  FCollectedItems->ToXml(NewElement(inventory, "items"));
  document.saveToStream(AStream, true);
}

void TVantrelInventory::LoadFromStream(TStream* AStream) {
  Clear();
  TMonitorLock lock(this);
  TVantrelInventoryLoadingCache cache(this);
  {
    TMz_XmlDocument document;
    document.loadFromStream(AStream);
    const TMz_XmlElement* root = document.root() ? document.root()->asElement() : nullptr;
    const TMz_XmlElement* inventory = root ? root->find("inventory") : nullptr;
    if (!inventory)
      throw Exception("missing \"inventory\" tag in xml");
    if (const std::string path = inventory->getAttribute("path"); !path.empty())
      FFileName = path;
    if (const TMz_XmlElement* section = inventory->find("visual_items"))
      FVisualItems->FromXml(section, &cache);
    SetImageListsModified();
    if (const TMz_XmlElement* section = inventory->find("groups"))
      FGroups->FromXml(section, &cache);
    if (const TMz_XmlElement* section = inventory->find("templates"))
      FItemTemplates->FromXml(section, &cache);
    if (const TMz_XmlElement* section = inventory->find("manufacturers"))
      FManufacturers->FromXml(section, &cache);
    if (const TMz_XmlElement* section = inventory->find("items"))
      FCollectedItems->FromXml(section, &cache);
  }
  cache.Resolve();
}

void TVantrelInventory::SaveToFile(const std::string& AFilename) const {
  TFileStream stream(AFilename, fmCreate);
  SaveToStream(&stream);
}

void TVantrelInventory::LoadFromFile(const std::string& AFilename) {
  TFileStream stream(AFilename, fmOpenRead | fmShareDenyNone);
  FFileName = AFilename;
  LoadFromStream(&stream);
}

TVantrelInventory* TVantrelInventory::Clone() const {
  TMonitorLock lock(this);
  TOwned<TVantrelInventory> copy(New<TVantrelInventory>(Owner()));
  TMemoryStream stream;
  SaveToStream(&stream);
  stream.SetPosition(0);
  copy->LoadFromStream(&stream);
  return copy.release();
}

} // namespace vantrel
