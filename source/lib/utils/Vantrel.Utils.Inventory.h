#pragma once
// The inventory: what a player owns. Item templates (the kinds of item), groups of templates with
// shared limits, and the collected items, with the rules that decide whether an item may be
// collected, collecting and dropping with their notifications, and the references that form
// streaming resolves once everything is read; recipes (manufacturers) that run as timed processes
// on UI timers; and visual items that become one image list per level of detail.
//
// Every public operation holds the object's own monitor (rtl::TMonitorLock) for its whole run
// and raises its events under it. Inventories are used on the UI thread; the monitors only make
// single calls atomic and give no lock order. Entries the inventory detaches (dropped
// collectables, removed templates and groups) go to its graveyard and live as long as it does,
// so no reference to them ever dangles.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/classes.h"
#include "rtl/generics_lists.h"
#include "rtl/streams.h"
#include "rtl/types2d.h"
#include "rtl/value.h"
#include "utils/Vantrel.Utils.Language.h"
#include "utils/Vantrel.Utils.Parameters.h"

namespace ui {
class TBitmap;
class TImageList;
class TTimer;
} // namespace ui

namespace vantrel {

class TMz_XmlElement;
class TVantrelInventory;
class TVantrelInventoryGroup;
class TVantrelInventoryItemTemplate;
class TVantrelInventoryCollectable;
class TVantrelInventoryLoadingCache;
class TVantrelInventoryVisualItemCollection;
class TVantrelInventoryManufacturerCollection;
class TVantrelInventoryCollectablesCollection;
class TVantrelInventoryManufacturer;
class TVantrelInventoryManufacturingProcess;
class TVantrelInventoryVisualItem;

enum class TVantrelInventoryCollectState : uint8_t {
  None,
  Allowed,
  Collected,
  QuantityExceeded,
  Disabled,
  NotFound,
  Missing
};
RTL_ENUM_TYPEINFO(TVantrelInventoryCollectState, "None", "Allowed", "Collected", "QuantityExceeded",
                  "Disabled", "NotFound", "Missing")

enum class TManufacturingProcessKind : uint8_t { NewItem, Upgrading, Downgrading };
RTL_ENUM_TYPEINFO(TManufacturingProcessKind, "NewItem", "Upgrading", "Downgrading")

enum class TManufacturingNotificationType : uint8_t {
  mntStarted,
  mntPaused,
  mntAborted,
  mntCompleted,
  mntProcessing
};
RTL_ENUM_TYPEINFO(TManufacturingNotificationType, "mntStarted", "mntPaused", "mntAborted", "mntCompleted",
                  "mntProcessing")

using TOnInventoryItemNotify = std::function<void(
    TVantrelInventory* AInventory, TVantrelInventoryCollectable* AItem, TCollectionNotification AAction)>;
using TOnInventoryAddManufacturing =
    std::function<void(TVantrelInventory* AInventory, TVantrelInventoryManufacturingProcess* AProcess)>;
using TOnInventoryLoadResource =
    std::function<void(TVantrelInventory* AInventory, int AResIdx, const std::string& AResource,
                       TVantrelInventoryVisualItem* AItem, ui::TBitmap* ADestBitmap)>;
using TOnManufacturingNotify = std::function<void(TVantrelInventoryManufacturer* AManufacturer,
                                                  TVantrelInventoryManufacturingProcess* AProcess,
                                                  TManufacturingNotificationType AType)>;
using TOnManufacturingProduced =
    std::function<void(TVantrelInventoryManufacturer* AManufacturer,
                       TVantrelInventoryManufacturingProcess* AProcess, TVantrelInventoryCollectable* AItem)>;

// The names of an entry: the language map, written as `lang` entries straight into an element.
class TVantrelInventoryLanguageMap : public TVantrelLanguageMap {
public:
  TMz_XmlElement* ToXml(TMz_XmlElement* AParent) { return TVantrelLanguageMap::ToXml("", false, AParent); }
};

// The parameters of an item: the parameter map, written as `param` elements.
class TVantrelInventoryParameters : public TVantrelParametersMap {
public:
  // One `param id="<name>"` per entry holding the value's standard text ("12", "True", "(record)").
  void ToXml(TMz_XmlElement* AParent) const;
  // Adds or replaces one entry per `param` child: the id read normalised, the text typed.
  void FromXml(const TMz_XmlElement* ANode);
};

// Base of every named entry.
class TVantrelInventoryCustomItem : public TCollectionItem {
  RTL_CLASS(TVantrelInventoryCustomItem, TCollectionItem)
public:
  TVantrelInventoryCustomItem();
  static void RegisterProperties(TPropertyList& AList);

  const std::string& Id() const { return FId; }
  void SetId(const std::string& AValue);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool AValue);
  const TValue& Data() const { return FData; }
  void SetData(const TValue& AValue);
  TVantrelInventoryLanguageMap* Name() const { return FName.get(); }

  // The inventory holding the collection the entry is in; null for a detached entry.
  TVantrelInventory* Inventory() const;
  // The element name of the entry in the inventory file.
  virtual std::string GetIdentifier() const = 0;
  // The name in the inventory's language ("en-us" for a detached entry), or "".
  virtual std::string GetCurrentName() const;
  // Copies Id, names, Enabled and Data from another entry.
  void Assign(const TPersistent* ASource) override;
  // Writes the entry as an element under AParent and returns it.
  virtual TMz_XmlElement* ToXml(TMz_XmlElement* AParent) const;
  virtual void FromXml(const TMz_XmlElement* ANode, TVantrelInventoryLoadingCache* ACache);

  // The "NameMap" stream property: the names' JSON text; reading empties the names, then fills
  // them from the text (nothing when it is no JSON object).
  std::string NameMapText() const;
  void SetNameMapText(std::string_view AText);
  // Streams "NameMap" (when there are names).
  void DefineProperties(TFiler* AFiler) override;

protected:
  // Queues a reference for the inventory's late resolution; nothing for a detached entry or an
  // empty Id.
  void QueueReference(const TClass& AClass, std::string_view AId,
                      std::function<void(TVantrelInventoryCustomItem*)> ASet);

private:
  std::string FId;
  std::unique_ptr<TVantrelInventoryLanguageMap> FName;
  bool FEnabled = true;
  TValue FData;
};

class TVantrelInventoryItem : public TVantrelInventoryCustomItem {
  RTL_CLASS(TVantrelInventoryItem, TVantrelInventoryCustomItem)
public:
  TVantrelInventoryItem();
  static void RegisterProperties(TPropertyList& AList);

  TVantrelInventoryParameters* Parameters() const { return FParameters.get(); }
  // Empties the parameters, then copies every pair of AValue (null leaves them empty).
  virtual void SetParameters(const TVantrelParametersMap* AValue);
  std::string GetIdentifier() const override { return "item"; }
  void Assign(const TPersistent* ASource) override;
  TMz_XmlElement* ToXml(TMz_XmlElement* AParent) const override;
  void FromXml(const TMz_XmlElement* ANode, TVantrelInventoryLoadingCache* ACache) override;

  // The "ParameterMap" stream property, as NameMapText for the parameters.
  std::string ParameterMapText() const;
  void SetParameterMapText(std::string_view AText);
  // Streams "ParameterMap" (when there are parameters) after the inherited values.
  void DefineProperties(TFiler* AFiler) override;

private:
  std::unique_ptr<TVantrelInventoryParameters> FParameters;
};

// One (template, quantity) entry of a dependency, ingredient or result list.
class TVantrelInventoryIngredient : public TObject {
  RTL_CLASS(TVantrelInventoryIngredient, TObject)
public:
  TVantrelInventoryIngredient(TVantrelInventoryItemTemplate* ATemplate, int32_t AQuantity)
      : FTemplate(ATemplate), FQuantity(AQuantity) {}

  TVantrelInventoryItemTemplate* Template() const { return FTemplate; }
  void SetTemplate(TVantrelInventoryItemTemplate* AValue) { FTemplate = AValue; }
  int32_t Quantity() const { return FQuantity; }
  void SetQuantity(int32_t AValue) { FQuantity = AValue; }

  // An `in` element.
  virtual TMz_XmlElement* ToXml(TMz_XmlElement* AParent) const;
  virtual void FromXml(const TMz_XmlElement* ANode, TVantrelInventoryLoadingCache* ACache);

private:
  TVantrelInventoryItemTemplate* FTemplate;
  int32_t FQuantity;
};

// A list of ingredients that owns its entries.
class TVantrelInventoryCustomIngredientList : public TPersistent {
  RTL_CLASS(TVantrelInventoryCustomIngredientList, TPersistent)
public:
  TVantrelInventoryCustomIngredientList() = default;

  int Count() const;
  TVantrelInventoryIngredient* Items(int AIndex) const;
  TVantrelInventoryIngredient* Add(TVantrelInventoryItemTemplate* ATemplate, int32_t AQuantity);
  // Frees every entry of ATemplate.
  void RemoveTemplate(const TVantrelInventoryItemTemplate* ATemplate);
  void Clear();
  // Empties the list, then appends a copy of each entry of another list (null leaves it empty).
  void Assign(const TPersistent* ASource) override;
  // One `in` element per entry, into AParent.
  virtual void ToXml(TMz_XmlElement* AParent) const;
  // Appends one entry per `in` child.
  virtual void FromXml(const TMz_XmlElement* ANode, TVantrelInventoryLoadingCache* ACache);
  // An `in` element read into a new entry (template nil, quantity 1 before reading).
  TVantrelInventoryIngredient* AddFromXml(const TMz_XmlElement* ANode, TVantrelInventoryLoadingCache* ACache);

private:
  std::vector<TOwned<TVantrelInventoryIngredient>> FItems;
};

class TVantrelInventoryIngredientList : public TVantrelInventoryCustomIngredientList {
  RTL_CLASS(TVantrelInventoryIngredientList, TVantrelInventoryCustomIngredientList)
};
class TVantrelInventoryDependencyList : public TVantrelInventoryCustomIngredientList {
  RTL_CLASS(TVantrelInventoryDependencyList, TVantrelInventoryCustomIngredientList)
};
class TVantrelInventoryResultItemList : public TVantrelInventoryCustomIngredientList {
  RTL_CLASS(TVantrelInventoryResultItemList, TVantrelInventoryCustomIngredientList)
};

class TVantrelInventoryItemTemplate : public TVantrelInventoryItem {
  RTL_CLASS(TVantrelInventoryItemTemplate, TVantrelInventoryItem)
public:
  TVantrelInventoryItemTemplate();
  static void RegisterProperties(TPropertyList& AList);

  virtual TVantrelInventoryGroup* GetGroup() const;
  virtual void SetGroup(TVantrelInventoryGroup* AValue);
  virtual TVantrelInventoryItemTemplate* GetUpgradeItem() const;
  virtual void SetUpgradeItem(TVantrelInventoryItemTemplate* AValue);
  virtual TVantrelInventoryItemTemplate* GetDowngradeItem() const;
  virtual void SetDowngradeItem(TVantrelInventoryItemTemplate* AValue);
  int32_t MaxQuantity() const { return FMaxQuantity; }
  void SetMaxQuantity(int32_t AValue);
  float Weight() const { return FWeight; }
  void SetWeight(float AValue);
  float MaxWeight() const { return FMaxWeight; }
  void SetMaxWeight(float AValue);
  bool IsPooled() const { return FIsPooled; }
  void SetIsPooled(bool AValue);
  int32_t ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int32_t AValue);
  TVantrelInventoryDependencyList* Dependency() const { return FDependency.get(); }
  // Empties the dependencies, then copies each entry of AValue (null leaves them empty).
  virtual void SetDependency(const TVantrelInventoryCustomIngredientList* AValue);

  // Collects one unit through the inventory; the collectable when it was collected, else null.
  virtual TVantrelInventoryCollectable* Build();
  // Appends a dependency without checks; the id form answers null for an unknown template.
  virtual TVantrelInventoryIngredient* AddDependency(const std::string& ATemplateId, int32_t AQuantity);
  virtual TVantrelInventoryIngredient* AddDependency(TVantrelInventoryItemTemplate* ATemplate,
                                                     int32_t AQuantity);
  virtual void RemoveDependency(const std::string& ATemplateId);
  virtual void RemoveDependency(const TVantrelInventoryItemTemplate* ATemplate);
  virtual void ClearDependencies();

  std::string GetIdentifier() const override { return "template"; }
  void Assign(const TPersistent* ASource) override;
  TMz_XmlElement* ToXml(TMz_XmlElement* AParent) const override;
  void FromXml(const TMz_XmlElement* ANode, TVantrelInventoryLoadingCache* ACache) override;

  // The "GroupID", "UpgradeItemID" and "DowngradeItemID" stream properties: the referenced
  // entry's Id ("" when unset, and then not written); reading queues a late resolution.
  std::string GroupIDText() const;
  void SetGroupIDText(std::string_view AText);
  std::string UpgradeItemIDText() const;
  void SetUpgradeItemIDText(std::string_view AText);
  std::string DowngradeItemIDText() const;
  void SetDowngradeItemIDText(std::string_view AText);
  // Streams "GroupID", "UpgradeItemID" and "DowngradeItemID" (each when set).
  void DefineProperties(TFiler* AFiler) override;

private:
  TVantrelInventoryGroup* FGroup = nullptr;
  int32_t FMaxQuantity = 10;
  float FWeight = 0.5f;
  float FMaxWeight = 5.0f;
  bool FIsPooled = true;
  std::unique_ptr<TVantrelInventoryDependencyList> FDependency;
  TVantrelInventoryItemTemplate* FUpgradeItem = nullptr;
  TVantrelInventoryItemTemplate* FDowngradeItem = nullptr;
  int32_t FImageIndex = -1;

  friend class TVantrelInventory;
};

class TVantrelInventoryCollectable : public TVantrelInventoryItem {
  RTL_CLASS(TVantrelInventoryCollectable, TVantrelInventoryItem)
public:
  TVantrelInventoryCollectable() = default;
  static void RegisterProperties(TPropertyList& AList);

  TVantrelInventoryItemTemplate* Template() const;
  void SetTemplate(TVantrelInventoryItemTemplate* AValue);
  int32_t Quantity() const;
  void SetQuantity(int32_t AValue);
  float Weight() const;
  void SetWeight(float AValue);

  // Whether the template has an enabled upgrade (downgrade) template.
  virtual bool IsUpgradable() const;
  virtual bool IsDowngradable() const;
  // Its own name, else the template's.
  std::string GetCurrentName() const override;
  std::string GetIdentifier() const override { return "collectable"; }
  TMz_XmlElement* ToXml(TMz_XmlElement* AParent) const override;
  void FromXml(const TMz_XmlElement* ANode, TVantrelInventoryLoadingCache* ACache) override;

  // The "TemplateID" stream property, as the template's references.
  std::string TemplateIDText() const;
  void SetTemplateIDText(std::string_view AText);
  // Streams "TemplateID" (when set).
  void DefineProperties(TFiler* AFiler) override;

private:
  TVantrelInventoryItemTemplate* FTemplate = nullptr;
  int32_t FQuantity = 1;
  float FWeight = 0;

  friend class TVantrelInventory;
};

class TVantrelInventoryGroup : public TVantrelInventoryCustomItem {
  RTL_CLASS(TVantrelInventoryGroup, TVantrelInventoryCustomItem)
public:
  TVantrelInventoryGroup() = default;
  static void RegisterProperties(TPropertyList& AList);

  int32_t MaxQuantity() const { return FMaxQuantity; }
  void SetMaxQuantity(int32_t AValue);
  float MaxWeight() const { return FMaxWeight; }
  void SetMaxWeight(float AValue);
  // The collectables whose template is in this group (entries, not quantities).
  virtual int CountCollectables() const;
  std::string GetIdentifier() const override { return "group"; }
  void Assign(const TPersistent* ASource) override;
  TMz_XmlElement* ToXml(TMz_XmlElement* AParent) const override;
  void FromXml(const TMz_XmlElement* ANode, TVantrelInventoryLoadingCache* ACache) override;

private:
  int32_t FMaxQuantity = 0;
  float FMaxWeight = 0;
};

// One run of a recipe, paced by a 100 ms UI timer: it takes its ingredients out of the inventory
// when it starts, reports each tick to the manufacturer's OnNotify and, when the time is up,
// produces the results into the inventory and frees itself. Its manufacturer's process list owns
// it. A process reports mntAborted at most once per run, and never after mntCompleted.
class TVantrelInventoryManufacturingProcess : public TObject {
  RTL_CLASS(TVantrelInventoryManufacturingProcess, TObject)
public:
  TVantrelInventoryManufacturingProcess(TVantrelInventoryManufacturer* AManufacturer,
                                        TManufacturingProcessKind AKind);
  ~TVantrelInventoryManufacturingProcess() override;
  // Stops the run (reporting mntAborted unless it completed or aborted), then hands the taken
  // ingredients to the inventory's graveyard, so references to them stay valid.
  void BeforeDestruction() override;

  TVantrelInventoryManufacturer* Manufacturer() const { return FManufacturer; }
  TManufacturingProcessKind Kind() const { return FKind; }
  // The elapsed milliseconds of a running or paused run, in steps of 100; 0 otherwise.
  int32_t Progress() const;
  // The collected items taken as ingredients.
  TVantrelInventoryCollectablesCollection* Collectables() const { return FCollectables.get(); }

  // Switches the timer (pausing a running run, resuming a paused one); reports mntPaused.
  virtual void Pause();
  // Stops the run and reports mntAborted (not after completion or an earlier abort); with
  // ADestroyOnFinish the manufacturer then frees the process (called from a handler of this
  // process, once the operation that raised the event has returned). Taken ingredients are not
  // given back.
  virtual void Abort(bool ADestroyOnFinish);
  // Stops the timer, produces the results, reports mntCompleted, then OnProduced per result.
  virtual void Complete();
  // Starts a run: with a TimeNeeded above 0, unless the timer runs already, takes the ingredients
  // from AItemList, starts the timer and reports mntStarted; otherwise takes the ingredients and
  // completes at once.
  void Start(const std::vector<TVantrelInventoryCollectable*>& AItemList);

private:
  TVantrelInventoryManufacturer* FManufacturer;
  TManufacturingProcessKind FKind;
  bool FIsInTimer = false;
  int32_t FManufacturingProgress = 0;
  TOwned<ui::TTimer> FManufacturingTimer;
  std::unique_ptr<TVantrelInventoryCollectablesCollection> FCollectables;
  bool FCompleted = false;
  bool FAborted = false;
  // Operations of this process running now, which a handler's Abort(True) must not free it under.
  int FBusy = 0;
  bool FFreeWhenIdle = false;

  void Tick();
  // Remaining := ATimeNeeded, the timer made on first use, the ingredients taken, the timer
  // started and mntStarted reported.
  void StartTimed(const std::vector<TVantrelInventoryCollectable*>& AItemList, int32_t ATimeNeeded);
  void TakeIngredients(const std::vector<TVantrelInventoryCollectable*>& AItemList);
  void ReleaseTimer();
  void Notify(TManufacturingNotificationType AType);
  // Reports mntAborted once for a run that neither completed nor aborted.
  void ReportAborted();
  // Frees the process through its manufacturer when an Abort(True) asked for it and no operation
  // of it runs any more.
  void FreeIfAsked();
  // Counts one running operation for its scope.
  struct TBusy {
    explicit TBusy(TVantrelInventoryManufacturingProcess& AProcess) : Process(AProcess) { ++Process.FBusy; }
    ~TBusy() { --Process.FBusy; }
    TBusy(const TBusy&) = delete;
    TBusy& operator=(const TBusy&) = delete;
    TVantrelInventoryManufacturingProcess& Process;
  };
};

// A recipe: what a run consumes (ingredients), what must be held (dependencies) and what it
// produces (result items), with the time a run takes. Each Start makes a manufacturing process.
class TVantrelInventoryManufacturer : public TVantrelInventoryCustomItem {
  RTL_CLASS(TVantrelInventoryManufacturer, TVantrelInventoryCustomItem)
public:
  TVantrelInventoryManufacturer();
  ~TVantrelInventoryManufacturer() override;
  static void RegisterProperties(TPropertyList& AList);

  TVantrelInventoryIngredientList* Ingredients() const { return FIngredients.get(); }
  TVantrelInventoryDependencyList* Dependency() const { return FDependency.get(); }
  TVantrelInventoryResultItemList* ResultItems() const { return FResultItems.get(); }
  // Each setter empties its list, then copies the entries of AValue.
  virtual void SetIngredients(const TVantrelInventoryCustomIngredientList* AValue);
  virtual void SetDependency(const TVantrelInventoryCustomIngredientList* AValue);
  virtual void SetResultItems(const TVantrelInventoryCustomIngredientList* AValue);
  TManufacturingProcessKind Kind() const;
  void SetKind(TManufacturingProcessKind AValue);
  int32_t TimeNeeded() const;
  void SetTimeNeeded(int32_t AValue);

  // Entries with a nil template or a quantity of 0 or less are ignored; the id forms look the
  // template up in the inventory.
  virtual void AddIngredient(const std::string& ATemplateId, int32_t AQuantity);
  virtual void AddIngredient(TVantrelInventoryItemTemplate* ATemplate, int32_t AQuantity);
  virtual void RemoveIngredient(const std::string& ATemplateId);
  virtual void RemoveIngredient(const TVantrelInventoryItemTemplate* ATemplate);
  virtual void AddDependency(const std::string& ATemplateId, int32_t AQuantity);
  virtual void AddDependency(TVantrelInventoryItemTemplate* ATemplate, int32_t AQuantity);
  virtual void RemoveDependency(const std::string& ATemplateId);
  virtual void RemoveDependency(const TVantrelInventoryItemTemplate* ATemplate);
  virtual void AddResultItem(const std::string& ATemplateId, int32_t AQuantity);
  virtual void AddResultItem(TVantrelInventoryItemTemplate* ATemplate, int32_t AQuantity);
  virtual void RemoveResultItem(const std::string& ATemplateId);
  virtual void RemoveResultItem(const TVantrelInventoryItemTemplate* ATemplate);
  virtual void ClearIngredients();
  virtual void ClearDependencies();
  virtual void ClearResultItems();
  // "forge: iron(2) + coal(1) => (sword(1))"; an entry without template shows "?".
  virtual std::string GetDescriptionString() const;

  const TOnManufacturingNotify& OnNotify() const { return FOnNotify; }
  void SetOnNotify(TOnManufacturingNotify AValue);
  const TOnManufacturingProduced& OnProduced() const { return FOnProduced; }
  void SetOnProduced(TOnManufacturingProduced AValue);
  int ProcessCount() const;
  TVantrelInventoryManufacturingProcess* Processes(int AIndex) const;
  // Removes the process from the list, which frees it; nothing for a process of another list.
  virtual void RemoveProcess(TVantrelInventoryManufacturingProcess* AProcess);
  // Whether the inventory holds, per dependency entry, at least its quantity of the template.
  virtual bool CheckDependency() const;
  // The dependencies hold and AItemList offers, per template Id, at least what the ingredients
  // need; an empty ingredient list or offer is false.
  virtual bool Verify(const std::vector<TVantrelInventoryCollectable*>& AItemList) const;
  // Builds each result (refused ones left out); a quantity above 1 grows the built collectable.
  virtual std::vector<TVantrelInventoryCollectable*> Produce();
  // A new process in the list, announced by the inventory's OnAddManufacturing, then started;
  // null when a handler freed it already (Abort(True) while it completed at once).
  virtual TVantrelInventoryManufacturingProcess*
  Start(const std::vector<TVantrelInventoryCollectable*>& AItemList);

  std::string GetIdentifier() const override { return "manufacturer"; }
  // Copies the three lists, Kind, TimeNeeded and both handlers, frees its own processes, then
  // copies the entry's fields.
  void Assign(const TPersistent* ASource) override;
  TMz_XmlElement* ToXml(TMz_XmlElement* AParent) const override;
  void FromXml(const TMz_XmlElement* ANode, TVantrelInventoryLoadingCache* ACache) override;

private:
  std::unique_ptr<TVantrelInventoryIngredientList> FIngredients;
  std::unique_ptr<TVantrelInventoryDependencyList> FDependency;
  std::unique_ptr<TVantrelInventoryResultItemList> FResultItems;
  TManufacturingProcessKind FKind = TManufacturingProcessKind::NewItem;
  int32_t FTimeNeeded = 3000;
  TObjectList<TVantrelInventoryManufacturingProcess> FProcesses;
  TOnManufacturingNotify FOnNotify;
  TOnManufacturingProduced FOnProduced;

  TVantrelInventoryItemTemplate* Lookup(const std::string& ATemplateId) const;
};

// The display data of an inventory entry: a name, image files for three levels of detail and a
// model file.
class TVantrelInventoryVisualItem : public TCollectionItem {
  RTL_CLASS(TVantrelInventoryVisualItem, TCollectionItem)
public:
  TVantrelInventoryVisualItem() = default;
  static void RegisterProperties(TPropertyList& AList);

  std::string GetDisplayName() const override;
  void SetDisplayName(const std::string& AValue) override;
  // 0, 1, 2: the LOD images; 3: the model file.
  virtual std::string GetResource(int AIndex) const;
  virtual void SetResource(int AIndex, const std::string& AValue);
  std::string ImageLOD0() const { return GetResource(0); }
  void SetImageLOD0(const std::string& AValue) { SetResource(0, AValue); }
  std::string ImageLOD1() const { return GetResource(1); }
  void SetImageLOD1(const std::string& AValue) { SetResource(1, AValue); }
  std::string ImageLOD2() const { return GetResource(2); }
  void SetImageLOD2(const std::string& AValue) { SetResource(2, AValue); }
  std::string ModelFile() const { return GetResource(3); }
  void SetModelFile(const std::string& AValue) { SetResource(3, AValue); }

  void Assign(const TPersistent* ASource) override;
  // A `view` element.
  virtual TMz_XmlElement* ToXml(TMz_XmlElement* AParent) const;
  virtual void FromXml(const TMz_XmlElement* ANode, TVantrelInventoryLoadingCache* ACache);

private:
  std::string FName;
  std::string FResources[4];
};

// The collections of an inventory, owned by it.
class TVantrelInventoryCustomCollection : public TOwnedCollection {
  RTL_CLASS(TVantrelInventoryCustomCollection, TOwnedCollection)
public:
  TVantrelInventoryCustomCollection(TVantrelInventory* AOwner, const TClass& AItemClass);
  TVantrelInventory* Inventory() const;
  // Each entry's element, in order, under AParent.
  virtual void ToXml(TMz_XmlElement* AParent) const;
  // Empties the collection, then adds one entry per element child, whatever its tag.
  virtual void FromXml(const TMz_XmlElement* ANode, TVantrelInventoryLoadingCache* ACache);
};

class TVantrelInventoryItemCollection : public TVantrelInventoryCustomCollection {
  RTL_CLASS(TVantrelInventoryItemCollection, TVantrelInventoryCustomCollection)
public:
  explicit TVantrelInventoryItemCollection(TVantrelInventory* AOwner);
};

class TVantrelInventoryCollectablesCollection : public TVantrelInventoryCustomCollection {
  RTL_CLASS(TVantrelInventoryCollectablesCollection, TVantrelInventoryCustomCollection)
public:
  explicit TVantrelInventoryCollectablesCollection(TVantrelInventory* AOwner);
  std::vector<TVantrelInventoryCollectable*> ToArray() const;
};

class TVantrelInventoryGroupCollection : public TVantrelInventoryCustomCollection {
  RTL_CLASS(TVantrelInventoryGroupCollection, TVantrelInventoryCustomCollection)
public:
  explicit TVantrelInventoryGroupCollection(TVantrelInventory* AOwner);
};

class TVantrelInventoryManufacturerCollection : public TVantrelInventoryCustomCollection {
  RTL_CLASS(TVantrelInventoryManufacturerCollection, TVantrelInventoryCustomCollection)
public:
  explicit TVantrelInventoryManufacturerCollection(TVantrelInventory* AOwner);
};

class TVantrelInventoryVisualItemCollection : public TOwnedCollection {
  RTL_CLASS(TVantrelInventoryVisualItemCollection, TOwnedCollection)
public:
  explicit TVantrelInventoryVisualItemCollection(TVantrelInventory* AOwner);
  static void RegisterProperties(TPropertyList& AList);

  // When LOD 0 reads (0, 0), all three become 24x24, 64x64 and 128x128 first.
  virtual TPoint GetImageLODSize(int AIndex) const;
  virtual void SetImageLODSize(int AIndex, const TPoint& AValue);
  TPoint ImageLOD0Size() const { return GetImageLODSize(0); }
  void SetImageLOD0Size(const TPoint& AValue) { SetImageLODSize(0, AValue); }
  TPoint ImageLOD1Size() const { return GetImageLODSize(1); }
  void SetImageLOD1Size(const TPoint& AValue) { SetImageLODSize(1, AValue); }
  TPoint ImageLOD2Size() const { return GetImageLODSize(2); }
  void SetImageLOD2Size(const TPoint& AValue) { SetImageLODSize(2, AValue); }
  virtual void ToXml(TMz_XmlElement* AParent) const;
  virtual void FromXml(const TMz_XmlElement* ANode, TVantrelInventoryLoadingCache* ACache);
  // Swaps two visual items without notification; the image lists are not flagged.
  void Exchange(int AIdx1, int AIdx2);

private:
  mutable TPoint FImageLODSizes[3];
};

// The references a load meets before their targets: the waiting object and the template Id, for
// template references (collectables and ingredients), upgrade and downgrade links. Templates are
// indexed by Id as they are read, so lookups during a load stay constant-time.
class TVantrelInventoryLoadingCache : public TObject {
  RTL_CLASS(TVantrelInventoryLoadingCache, TObject)
public:
  explicit TVantrelInventoryLoadingCache(TVantrelInventory* AInventory) : FInventory(AInventory) {}

  TVantrelInventory* Inventory() const { return FInventory; }
  TDictionary<TObject*, std::string>& References() { return FReferences; }
  TDictionary<TObject*, std::string>& Upgrade() { return FUpgrade; }
  TDictionary<TObject*, std::string>& Downgrade() { return FDowngrade; }

  // The first template read with this Id, else null.
  TVantrelInventoryItemTemplate* FindTemplate(const std::string& AId) const;
  // Notes a template that was read (the first of an Id wins, as FindItemTemplate would answer).
  void NoteTemplate(TVantrelInventoryItemTemplate* ATemplate);
  // Writes every waiting reference whose template exists: references, then upgrades, then
  // downgrades, each in its own order.
  void Resolve();

private:
  TVantrelInventory* FInventory;
  TDictionary<TObject*, std::string> FReferences;
  TDictionary<TObject*, std::string> FUpgrade;
  TDictionary<TObject*, std::string> FDowngrade;
  TDictionary<std::string, TVantrelInventoryItemTemplate*> FTemplates;
};

class TVantrelInventory : public TComponent {
  RTL_CLASS(TVantrelInventory, TComponent)
public:
  // One reference that form streaming found before its target: the group or template class, the
  // target's Id and the setter that receives the found object.
  struct TLateResolve {
    const TClass* _Class;
    std::string ID;
    std::function<void(TVantrelInventoryCustomItem*)> Addr;
  };

  explicit TVantrelInventory(TComponent* AOwner);
  ~TVantrelInventory() override;
  static void RegisterProperties(TPropertyList& AList);

  TVantrelInventoryItemCollection* ItemTemplates() const { return FItemTemplates.get(); }
  TVantrelInventoryGroupCollection* Groups() const { return FGroups.get(); }
  TVantrelInventoryCollectablesCollection* CollectedItems() const { return FCollectedItems.get(); }
  TVantrelInventoryManufacturerCollection* Manufacturers() const { return FManufacturers.get(); }
  TVantrelInventoryVisualItemCollection* VisualItems() const { return FVisualItems.get(); }
  void SetManufacturers(TVantrelInventoryManufacturerCollection* AValue);
  // Flags all image lists as modified, then copies the given collection's items.
  void SetVisualItems(TVantrelInventoryVisualItemCollection* AValue);
  // The setters assign the given collection's content.
  void SetItemTemplates(TVantrelInventoryItemCollection* AValue);
  void SetGroups(TVantrelInventoryGroupCollection* AValue);
  void SetCollectedItems(TVantrelInventoryCollectablesCollection* AValue);
  const std::string& FileName() const { return FFileName; }
  int32_t Language() const;
  void SetLanguage(int32_t AValue);
  const TOnInventoryItemNotify& OnItemNotify() const { return FOnItemNotify; }
  void SetOnItemNotify(TOnInventoryItemNotify AValue) { FOnItemNotify = std::move(AValue); }
  const TOnInventoryAddManufacturing& OnAddManufacturing() const { return FOnAddManufacturing; }
  void SetOnAddManufacturing(TOnInventoryAddManufacturing AValue) { FOnAddManufacturing = std::move(AValue); }
  const TOnInventoryLoadResource& OnLoadResource() const { return FOnLoadResource; }
  void SetOnLoadResource(TOnInventoryLoadResource AValue) { FOnLoadResource = std::move(AValue); }

  // Frees the manufacturers, collected items, templates and groups (in that order), flags the
  // image lists and clears the visual items; empties the late-resolve list. Graveyard entries
  // that referred to what is freed are unlinked first.
  virtual void Clear();
  // A new inventory with the same owner, filled through SaveToStream and LoadFromStream.
  virtual TVantrelInventory* Clone() const;

  TVantrelInventoryManufacturer* AddManufacturer(const std::string& AManId);
  TVantrelInventoryManufacturer* FindManufacturer(std::string_view AId) const;
  virtual void RemoveManufacturer(std::string_view AManId);
  virtual void RemoveManufacturer(TVantrelInventoryManufacturer* AMan);

  // Appends a visual item (moved to AIndex when it is 0 or more) and flags the image lists.
  TVantrelInventoryVisualItem* AddVisualItem(int AIndex, const std::string& AName, const std::string& ALOD0,
                                             const std::string& ALOD1, const std::string& ALOD2,
                                             const std::string& AModelFile);
  virtual void RemoveVisualItem(const std::string& AName);
  virtual void ClearVisualItems();
  virtual TVantrelInventoryVisualItem* GetVisualItemByName(const std::string& AName) const;
  void SetImageListsModified();
  void UnsetImageListsModified();
  // AIndex 0..2; anything else raises EArgumentOutOfRangeException.
  void SetImageListModified(int AIndex);
  void UnsetImageListModified(int AIndex);
  bool ImageListModified(int AIndex) const;
  // The image list of one level of detail (0..2), rebuilt when missing or flagged: one source
  // (the picture at the level's size) and one destination per visual item, in order. Pictures
  // come from OnLoadResource when it is set, else from the resource's file, else from the file
  // beside FileName; a missing one logs a warning and stays empty. Another index raises
  // EArgumentOutOfRangeException.
  ui::TImageList* GetImageList(int AIndex);
  ui::TImageList* ImageListLOD0() { return GetImageList(0); }
  ui::TImageList* ImageListLOD1() { return GetImageList(1); }
  ui::TImageList* ImageListLOD2() { return GetImageList(2); }

  // The first enabled manufacturer whose Verify holds, else null.
  virtual TVantrelInventoryManufacturer*
  GetSuitableManufacturer(const std::vector<TVantrelInventoryCollectable*>& AItemList) const;
  // Every such manufacturer in order (empty when none).
  virtual std::vector<TVantrelInventoryManufacturer*>
  GetSuitableManufacturers(const std::vector<TVantrelInventoryCollectable*>& AItemList) const;
  // Starts AManufacturer without Verify; null for no manufacturer or an empty list.
  virtual TVantrelInventoryManufacturingProcess*
  StartManufacturing(TVantrelInventoryManufacturer* AManufacturer,
                     const std::vector<TVantrelInventoryCollectable*>& AItemList);
  // Starts the first suitable manufacturer; null when none.
  virtual TVantrelInventoryManufacturingProcess*
  Manufacture(const std::vector<TVantrelInventoryCollectable*>& AItemList);
  // Starts AManufacturer when it is enabled and its Verify holds; otherwise null.
  virtual TVantrelInventoryManufacturingProcess*
  Manufacture(TVantrelInventoryManufacturer* AManufacturer,
              const std::vector<TVantrelInventoryCollectable*>& AItemList);
  // Runs the "<template Id>-Upgrade" ("-Downgrade") recipe on AItem, making it once in the
  // manufacturer collection; null when AItem is not upgradable (downgradable).
  virtual TVantrelInventoryManufacturingProcess* Upgrade(TVantrelInventoryCollectable* AItem);
  virtual TVantrelInventoryManufacturingProcess* Downgrade(TVantrelInventoryCollectable* AItem);

  // The file: the declaration, then `inventory` with "path" (the folder of FileName) and the
  // sections visual_items, groups, templates, manufacturers and items, written beautified.
  virtual void SaveToStream(TStream* AStream) const;
  // Clears the inventory, then reads a file; a file without an `inventory` element raises
  // "missing \"inventory\" tag in xml" and leaves the inventory cleared.
  virtual void LoadFromStream(TStream* AStream);
  virtual void SaveToFile(const std::string& AFilename) const;
  // Sets FileName, then loads.
  virtual void LoadFromFile(const std::string& AFilename);
  // The code of Language ("en-us" for an index outside the table).
  virtual std::string GetCurrentLanguageName() const;

  TVantrelInventoryGroup* AddGroup(const std::string& AGroupId);
  TVantrelInventoryGroup* FindGroup(std::string_view AGroupId) const;
  virtual TVantrelInventoryItemTemplate* AddItemTemplate(const std::string& ATemplateId);
  virtual TVantrelInventoryItemTemplate* FindItemTemplate(std::string_view ATemplateId) const;
  virtual std::vector<TVantrelInventoryCollectable*> FindCollectedItems(std::string_view AId) const;
  virtual std::vector<TVantrelInventoryCollectable*>
  FindCollectedItems(const TVantrelInventoryItemTemplate* ATemplate) const;
  virtual TVantrelInventoryCollectable* FindFirstCollectedItem(std::string_view AId) const;
  virtual TVantrelInventoryCollectable*
  FindFirstCollectedItem(const TVantrelInventoryItemTemplate* ATemplate) const;

  virtual void RemoveItemTemplate(std::string_view ATemplateId);
  // Drops its collectables, takes it out of every dependency list, then detaches it.
  virtual void RemoveItemTemplate(TVantrelInventoryItemTemplate* ATemplate);
  virtual void RemoveGroup(std::string_view AGroupId);
  // Unsets the group of its templates, then detaches it.
  virtual void RemoveGroup(TVantrelInventoryGroup* AGroup);

  TVantrelInventoryCollectState IsCollectable(std::string_view ATemplateId, uint32_t ACount) const;
  TVantrelInventoryCollectState IsCollectable(const TVantrelInventoryItemTemplate* ATemplate,
                                              uint32_t ACount) const;
  virtual TVantrelInventoryCollectable* Collect(std::string_view ATemplateId);
  virtual TVantrelInventoryCollectable* Collect(TVantrelInventoryItemTemplate* ATemplate,
                                                TVantrelInventoryCollectState& AState);
  // A count of 0 collects nothing (state None, null).
  virtual TVantrelInventoryCollectable* Collect(TVantrelInventoryItemTemplate* ATemplate, uint32_t ACount,
                                                TVantrelInventoryCollectState& AState);
  // AItem is a template Id.
  virtual void DropCollectedItem(std::string_view AItem, bool ADropAll);
  // -1 drops the item whatever its quantity; 0 and other negative counts do nothing.
  virtual void DropCollectedItem(TVantrelInventoryCollectable* AItem, int32_t ACount);
  virtual void DropCollectedItem(const TVantrelInventoryItemTemplate* ATemplate, bool ADropAll);

  void AddToLateResolve(const TClass& AClass, const std::string& AId,
                        std::function<void(TVantrelInventoryCustomItem*)> AAddr);
  // Writes every queued reference whose target is found, then empties the list.
  void LateResolve();
  void Loaded() override;

  // Entries the inventory detached, oldest first; they are freed with the inventory.
  const std::vector<TOwned<TVantrelInventoryCustomItem>>& Graveyard() const { return FGraveyard; }

private:
  std::unique_ptr<TVantrelInventoryItemCollection> FItemTemplates;
  std::unique_ptr<TVantrelInventoryGroupCollection> FGroups;
  std::unique_ptr<TVantrelInventoryCollectablesCollection> FCollectedItems;
  std::unique_ptr<TVantrelInventoryManufacturerCollection> FManufacturers;
  std::unique_ptr<TVantrelInventoryVisualItemCollection> FVisualItems;
  std::string FFileName;
  bool FImageListsModified[3] = {true, true, true};
  int32_t FLanguage = 0;
  TOnInventoryItemNotify FOnItemNotify;
  TOnInventoryAddManufacturing FOnAddManufacturing;
  TOnInventoryLoadResource FOnLoadResource;
  std::unique_ptr<std::vector<TLateResolve>> FLateResolveList;
  TOwned<ui::TImageList> FImageLists[3];
  std::vector<TOwned<TVantrelInventoryCustomItem>> FGraveyard;

  friend class TVantrelInventoryManufacturingProcess;
  friend class TVantrelInventoryManufacturer;

  // Takes AItem out of its collection into the graveyard.
  void Detach(TVantrelInventoryCustomItem* AItem);
  void Notify(TVantrelInventoryCollectable* AItem, TCollectionNotification AAction);
  int32_t CountOf(const TVantrelInventoryItemTemplate* ATemplate) const;
  // Unlinks graveyard entries from the live entries about to be freed.
  void UnlinkGraveyard();
  // The recipe that turns AItem's template into ATarget, made on first use.
  TVantrelInventoryManufacturer* ConversionRecipe(TVantrelInventoryCollectable* AItem,
                                                  TVantrelInventoryItemTemplate* ATarget,
                                                  TManufacturingProcessKind AKind, const char* ASuffix);
  TVantrelInventoryManufacturingProcess* Convert(TVantrelInventoryCollectable* AItem, bool AUpgrade);
  // Loads the picture of visual item ANumber at level ALevel into ABitmap, or logs why not.
  void LoadImage(int ALevel, int ANumber, TVantrelInventoryVisualItem* AItem, const TPoint& ASize,
                 ui::TBitmap* ABitmap);
};

// Registers the inventory's classes for streaming (counted; the first call registers).
void InitializeInventory();
void FinalizeInventory();

} // namespace vantrel
