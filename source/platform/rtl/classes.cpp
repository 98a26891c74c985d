#include "rtl/classes.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "rtl/filer.h"
#include "rtl/properties.h"
#include "rtl/sysutils.h"

namespace rtl {

RTL_DEFINE_CLASS(TFiler, "Rtl.Classes")
RTL_DEFINE_CLASS(TPersistent, "Rtl.Classes")
RTL_DEFINE_CLASS(TComponent, "Rtl.Classes", &TComponent::RegisterProperties)
RTL_DEFINE_CLASS(TCollectionItem, "Rtl.Classes")
RTL_DEFINE_CLASS(TCollection, "Rtl.Classes")
RTL_DEFINE_CLASS(TOwnedCollection, "Rtl.Classes")

namespace {

[[noreturn]] void ListIndexError(int AIndex) {
  throw EListError(Format(messages::ListIndexError, AIndex));
}

bool IsValidIdent(std::string_view AName) {
  auto isAlpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  auto isAlnum = [&](char c) { return isAlpha(c) || (c >= '0' && c <= '9'); };
  return !AName.empty() && isAlpha(AName.front()) && std::all_of(AName.begin() + 1, AName.end(), isAlnum);
}

std::vector<TComponent*>& GlobalComponents() {
  static std::vector<TComponent*> components;
  return components;
}

TIsUniqueGlobalComponentName& GlobalNameProc() {
  static TIsUniqueGlobalComponentName proc;
  return proc;
}

} // namespace

void AddGlobalComponent(TComponent* AComponent) {
  auto& components = GlobalComponents();
  if (AComponent && std::find(components.begin(), components.end(), AComponent) == components.end())
    components.push_back(AComponent);
}

void RemoveGlobalComponent(TComponent* AComponent) {
  std::erase(GlobalComponents(), AComponent);
}

TComponent* FindGlobalComponent(std::string_view AName) {
  if (AName.empty())
    return nullptr;
  for (TComponent* component : GlobalComponents())
    if (SameText(component->Name(), AName))
      return component;
  return nullptr;
}

TIsUniqueGlobalComponentName SetIsUniqueGlobalComponentNameProc(TIsUniqueGlobalComponentName AProc) {
  return std::exchange(GlobalNameProc(), std::move(AProc));
}

const TIsUniqueGlobalComponentName& IsUniqueGlobalComponentNameProc() {
  return GlobalNameProc();
}

// ---- TPersistent ----

void TPersistent::Assign(const TPersistent* ASource) {
  if (!ASource)
    AssignError(nullptr);
  ASource->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* ADest) const {
  ADest->AssignError(this);
}

void TPersistent::AssignError(const TPersistent* ASource) const {
  const std::string source = ASource ? ASource->ClassName() : "nil";
  throw EConvertError(Format(messages::AssignError, {source, ClassName()}));
}

std::string TPersistent::GetNamePath() const {
  std::string result = ClassName();
  if (const TPersistent* owner = GetOwner()) {
    const std::string path = owner->GetNamePath();
    if (!path.empty())
      result = path + "." + result;
  }
  return result;
}

void TPersistent::DefineProperties(TFiler*) {}

// ---- TComponent ----

namespace {
thread_local int LoadingMarkers = 0;
} // namespace

TComponentLoadingMarker::TComponentLoadingMarker() {
  ++LoadingMarkers;
}

TComponentLoadingMarker::~TComponentLoadingMarker() {
  --LoadingMarkers;
}

bool TComponentLoadingMarker::Active() {
  return LoadingMarkers > 0;
}

TComponent::TComponent(TComponent* AOwner) : FOwner(AOwner) {
  if (TComponentLoadingMarker::Active())
    Loading();
  // The constructors of derived classes, and their creation bodies, already see the design state
  // the owner will hand over when it takes the component in.
  if (AOwner && AOwner->FComponentState.Contains(TComponentStateItem::csDesigning))
    FComponentState.Include(TComponentStateItem::csDesigning);
}

TComponent::~TComponent() {
  // Normally BeforeDestruction has done all of this; these keep memory sound when an override
  // skipped the inherited one.
  DestroyComponents();
  RemoveFreeNotifications();
  if (FOwner)
    std::erase(FOwner->FComponents, this);
  RemoveGlobalComponent(this);
}

void TComponent::RegisterProperties(TPropertyList& AList) {
  AList.Add("Name", &TComponent::Name, &TComponent::SetName).Stored(false);
  AList.Add("Tag", &TComponent::Tag, &TComponent::SetTag).WithDefault(NativeInt{0});
}

void TComponent::AfterConstruction() {
  inherited::AfterConstruction();
  // The owner was only remembered by the constructor; joining it now lets the owner's other
  // components see the finished object in their opInsert notification.
  if (FOwner && !FOwner->Owns(this))
    FOwner->InsertComponent(this);
}

void TComponent::BeforeDestruction() {
  Destroying();
  RemoveGlobalComponent(this);
  if (FOwner && FOwner->Owns(this))
    FOwner->Notification(this, TOperation::opRemove);
  RemoveFreeNotifications();
  DestroyComponents();
  inherited::BeforeDestruction();
}

bool TComponent::Owns(const TComponent* AComponent) const {
  return std::find(FComponents.begin(), FComponents.end(), AComponent) != FComponents.end();
}

TComponent* TComponent::Components(int AIndex) const {
  if (AIndex < 0 || AIndex >= ComponentCount())
    ListIndexError(AIndex);
  return FComponents[static_cast<size_t>(AIndex)];
}

int TComponent::ComponentIndex() const {
  if (!FOwner)
    return -1;
  const auto& siblings = FOwner->FComponents;
  const auto found = std::find(siblings.begin(), siblings.end(), this);
  return found == siblings.end() ? -1 : static_cast<int>(found - siblings.begin());
}

TComponent* TComponent::FindComponent(std::string_view AName) const {
  if (AName.empty())
    return nullptr;
  for (TComponent* component : FComponents)
    if (SameText(component->FName, AName))
      return component;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent)
    throw EArgumentNilException("InsertComponent: nil component");
  for (const TComponent* owner = this; owner; owner = owner->FOwner)
    if (owner == AComponent)
      throw EInvalidOperation("A component cannot own itself or one of its owners");
  ValidateRename(AComponent, "", AComponent->FName);
  if (AComponent->FOwner)
    AComponent->FOwner->RemoveComponent(AComponent);
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
  if (FComponentState.Contains(TComponentStateItem::csDesigning))
    AComponent->SetDesigning(true);
  Notification(AComponent, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner != this)
    return;
  if (Owns(AComponent))
    Notification(AComponent, TOperation::opRemove);
  std::erase(FComponents, AComponent);
  AComponent->FOwner = nullptr;
}

void TComponent::SetName(const std::string& AName) {
  if (FName == AName)
    return;
  if (!AName.empty() && !IsValidIdent(AName))
    throw EComponentError(Format(messages::InvalidName, {AName}));
  if (FOwner)
    FOwner->ValidateRename(this, FName, AName);
  FName = AName;
}

void TComponent::ValidateRename(const TComponent* AComponent, const std::string& ACurName,
                                const std::string& ANewName) const {
  if (SameText(ACurName, ANewName))
    return;
  const TComponent* holder = FindComponent(ANewName);
  if (holder && holder != AComponent)
    throw EComponentError(Format(messages::DuplicateName, {ANewName}));
}

void TComponent::SetDesigning(bool AValue, bool ASetChildren) {
  if (AValue)
    FComponentState.Include(TComponentStateItem::csDesigning);
  else
    FComponentState.Exclude(TComponentStateItem::csDesigning);
  if (ASetChildren)
    for (TComponent* component : FComponents)
      component->SetDesigning(AValue);
}

void TComponent::Loaded() {
  FComponentState.Exclude(TComponentStateItem::csLoading);
}

void TComponent::Destroying() {
  if (FComponentState.Contains(TComponentStateItem::csDestroying))
    return;
  FComponentState.Include(TComponentStateItem::csDestroying);
  for (TComponent* component : FComponents)
    component->Destroying();
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this)
    return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end()) {
    FFreeNotifies.push_back(AComponent);
    AComponent->FFreeNotifies.push_back(this);
  }
  FComponentState.Include(TComponentStateItem::csFreeNotification);
  AComponent->FComponentState.Include(TComponentStateItem::csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent)
    return;
  std::erase(FFreeNotifies, AComponent);
  std::erase(AComponent->FFreeNotifies, this);
}

void TComponent::Notification(TComponent* AComponent, TOperation AOperation) {
  if (AOperation == TOperation::opRemove && AComponent) {
    RemoveFreeNotification(AComponent);
    // A published field never outlives the component it names.
    if (AComponent->Owner() == this)
      for (const TFieldInfo* field : GetFieldList(ClassType()))
        if (field->Get(this) == AComponent)
          field->Set(this, nullptr);
  }
  // A notified component may free others; the index is clamped after each call.
  int i = ComponentCount() - 1;
  while (i >= 0) {
    TComponent* component = FComponents[static_cast<size_t>(i)];
    if (component != AComponent)
      component->Notification(AComponent, AOperation);
    i = std::min(i - 1, ComponentCount() - 1);
  }
}

void TComponent::GetChildren(const TGetChildProc& AProc, TComponent* ARoot) {
  if (ARoot != this)
    return;
  for (TComponent* component : FComponents)
    if (!component->GetParentComponent())
      AProc(component);
}

void TComponent::DefineProperties(TFiler* AFiler) {
  auto half = [this](bool ATop) { return static_cast<int32_t>(ATop ? FDesignInfo >> 32 : FDesignInfo); };
  auto setHalf = [this](bool ATop, int32_t AValue) {
    const uint64_t low = ATop ? static_cast<uint32_t>(FDesignInfo) : static_cast<uint32_t>(AValue);
    const uint64_t high = ATop ? static_cast<uint32_t>(AValue) : static_cast<uint32_t>(FDesignInfo >> 32);
    FDesignInfo = static_cast<int64_t>(high << 32 | low);
  };
  for (bool top : {false, true})
    AFiler->DefineProperty(
        top ? "Top" : "Left", [=](TReader& AReader) { setHalf(top, AReader.ReadInteger()); },
        [=](TWriter& AWriter) { AWriter.WriteInteger(half(top)); }, half(top) != 0);
}

void TComponent::DestroyComponents() {
  // Each component leaves this list in its destructor.
  while (!FComponents.empty())
    FComponents.back()->Free();
}

void TComponent::RemoveFreeNotifications() {
  // The link is cut on both sides before the partner hears of it, so a partner that ignores the
  // notice keeps no pointer to this component.
  while (!FFreeNotifies.empty()) {
    TComponent* partner = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    std::erase(partner->FFreeNotifies, this);
    partner->Notification(this, TOperation::opRemove);
  }
}

// ---- TCollectionItem ----

TCollectionItem::~TCollectionItem() {
  if (FCollection)
    FCollection->RemoveItem(this);
}

void TCollectionItem::BeforeDestruction() {
  SetCollection(nullptr);
  inherited::BeforeDestruction();
}

void TCollectionItem::SetCollection(TCollection* ACollection) {
  if (ACollection == FCollection)
    return;
  if (ACollection)
    ACollection->CheckItemClass(this);
  if (FCollection)
    FCollection->RemoveItem(this);
  if (ACollection)
    ACollection->InsertItem(this);
}

TPersistent* TCollectionItem::GetOwner() const {
  return FCollection;
}

std::string TCollectionItem::GetNamePath() const {
  if (!FCollection)
    return ClassName();
  return FCollection->GetNamePath() + "[" + std::to_string(Index()) + "]";
}

int TCollectionItem::Index() const {
  if (!FCollection)
    return -1;
  const auto& items = FCollection->FItems;
  return static_cast<int>(std::find(items.begin(), items.end(), this) - items.begin());
}

void TCollectionItem::SetIndex(int AValue) {
  const int current = Index();
  if (current < 0 || current == AValue)
    return;
  FCollection->CheckIndex(AValue, FCollection->Count() - 1);
  auto& items = FCollection->FItems;
  items.erase(items.begin() + current);
  items.insert(items.begin() + AValue, this);
  Changed(true);
}

void TCollectionItem::SetDisplayName(const std::string&) {
  Changed(false);
}

void TCollectionItem::Changed(bool AAllItems) {
  if (FCollection && FCollection->FUpdateCount == 0)
    FCollection->Update(AAllItems ? nullptr : this);
}

// ---- TCollection ----

TCollection::TCollection(const TClass& AItemClass) : FItemClass(&AItemClass) {
  if (!AItemClass.InheritsFrom(TCollectionItem::StaticClass()))
    throw EInvalidCast(messages::InvalidCast);
}

TCollection::~TCollection() {
  // Normally empty already (BeforeDestruction); frees what an override left behind.
  FUpdateCount = 1;
  while (!FItems.empty())
    FItems.back()->Free();
}

void TCollection::BeforeDestruction() {
  ++FUpdateCount;
  while (!FItems.empty())
    FItems.back()->Free();
  inherited::BeforeDestruction();
}

namespace {
struct TUpdateScope {
  TCollection& Collection;
  explicit TUpdateScope(TCollection& ACollection) : Collection(ACollection) { Collection.BeginUpdate(); }
  ~TUpdateScope() { Collection.EndUpdate(); }
};
} // namespace

void TCollection::Assign(const TPersistent* ASource) {
  const auto* source = dynamic_cast<const TCollection*>(ASource);
  if (!source) {
    inherited::Assign(ASource);
    return;
  }
  TUpdateScope scope(*this);
  Clear();
  for (const TCollectionItem* item : source->FItems)
    Add()->Assign(item);
}

std::string TCollection::GetNamePath() const {
  const TPersistent* owner = GetOwner();
  if (!owner)
    return ClassName();
  const std::string ownerPath = owner->GetNamePath();
  if (ownerPath.empty())
    return ClassName();
  // The collection is named after the owner's published property that holds it.
  for (const TPropInfo* prop : GetPropList(owner->ClassType()))
    if (prop->Type->Kind == TTypeKind::tkClass && prop->Get(owner).AsObject() == this)
      return ownerPath + "." + prop->Name;
  return ClassName();
}

TCollectionItem* TCollection::Items(int AIndex) const {
  CheckIndex(AIndex, Count() - 1);
  return FItems[static_cast<size_t>(AIndex)];
}

TCollectionItem* TCollection::Add() {
  // The item class was checked by the constructor, so the factory makes a collection item.
  auto* item = static_cast<TCollectionItem*>(FItemClass->NewInstance());
  InsertItem(item);
  return Construct(item);
}

TCollectionItem* TCollection::Insert(int AIndex) {
  CheckIndex(AIndex, Count());
  TCollectionItem* item = Add();
  item->SetIndex(AIndex);
  return item;
}

void TCollection::Delete(int AIndex) {
  TCollectionItem* item = Items(AIndex);
  Notify(item, TCollectionItemNotification::cnDeleting);
  item->Free();
}

void TCollection::Exchange(int AIndex1, int AIndex2) {
  CheckIndex(AIndex1, Count() - 1);
  CheckIndex(AIndex2, Count() - 1);
  std::swap(FItems[size_t(AIndex1)], FItems[size_t(AIndex2)]);
}

void TCollection::Clear() {
  if (FItems.empty())
    return;
  TUpdateScope scope(*this);
  while (!FItems.empty())
    FItems.back()->Free();
}

TCollectionItem* TCollection::FindItemID(int AID) const {
  for (TCollectionItem* item : FItems)
    if (item->FID == AID)
      return item;
  return nullptr;
}

void TCollection::EndUpdate() {
  --FUpdateCount;
  Changed();
}

void TCollection::Update(TCollectionItem*) {}

void TCollection::Notify(TCollectionItem*, TCollectionItemNotification) {}

void TCollection::Changed() {
  if (FUpdateCount == 0)
    Update(nullptr);
}

void TCollection::CheckItemClass(const TCollectionItem* AItem) const {
  if (!AItem->InheritsFrom(*FItemClass))
    throw EInvalidCast(messages::InvalidCast);
}

void TCollection::InsertItem(TCollectionItem* AItem) {
  FItems.push_back(AItem);
  AItem->FCollection = this;
  AItem->FID = FNextID++;
  Notify(AItem, TCollectionItemNotification::cnAdded);
  Changed();
}

void TCollection::RemoveItem(TCollectionItem* AItem) {
  Notify(AItem, TCollectionItemNotification::cnExtracting);
  // Searched from the end: Clear and destruction free the last item each time, which keeps
  // emptying a large collection linear.
  if (const auto found = std::find(FItems.rbegin(), FItems.rend(), AItem); found != FItems.rend())
    FItems.erase(std::next(found).base());
  AItem->FCollection = nullptr;
  Changed();
}

void TCollection::CheckIndex(int AIndex, int ALimit) const {
  if (AIndex < 0 || AIndex > ALimit)
    ListIndexError(AIndex);
}

// ---- TOwnedCollection ----

TOwnedCollection::TOwnedCollection(TPersistent* AOwner, const TClass& AItemClass)
    : TCollection(AItemClass), FOwner(AOwner) {}

} // namespace rtl
