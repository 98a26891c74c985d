#include "utils/Vantrel.Utils.Duplication.h"

#include <algorithm>

#include "rtl/log.h"
#include "ui/controls3d.h"
#include "ui/material.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelDuplicator, "Vantrel.Utils.Duplication")

namespace {

// Holds a copy's change handlers back while its fields are copied, so copied angles never turn
// the copied rotation a second time.
class TUpdateBracket {
public:
  explicit TUpdateBracket(TObject* AObject) : FObject(dynamic_cast<TFmxObject*>(AObject)) {
    if (FObject)
      FObject->BeginUpdate();
  }
  ~TUpdateBracket() {
    if (FObject)
      FObject->EndUpdate();
  }
  TUpdateBracket(const TUpdateBracket&) = delete;
  TUpdateBracket& operator=(const TUpdateBracket&) = delete;

private:
  TFmxObject* FObject;
};

// The copy takes the source's name when its owner has no component of that name; a class whose
// name setter makes names unique (scene controls) takes a generated one instead. Otherwise the
// copy stays unnamed.
void CopyName(const TComponent* ASource, TComponent* AClone) {
  if (ASource->Name().empty())
    return;
  try {
    AClone->SetName(ASource->Name());
  } catch (const EComponentError&) {
  }
}

} // namespace

TVantrelDuplicator::TVantrelDuplicator() : OnDuplicate(this, &TVantrelDuplicator::DuplicateNotify) {}

void TVantrelDuplicator::DuplicateNotify(TComponent* ASource, TComponent* AClone,
                                         TVantrelDuplicator* ADuplicator) {
  if (auto* duplicatable = dynamic_cast<IDuplicatable*>(AClone))
    duplicatable->DoDuplicate(ASource, ADuplicator);
}

std::vector<TVantrelLateResolveEntry> TVantrelDuplicator::LateResolve() const {
  std::vector<TVantrelLateResolveEntry> result;
  for (const TPendingEntry& pending : FLateResolve)
    if (!pending.Done)
      result.push_back(pending.Entry);
  return result;
}

bool TVantrelDuplicator::ClassIgnored(const TClass& AClass) const {
  return std::any_of(FIgnoreClasses.begin(), FIgnoreClasses.end(),
                     [&](const TClass* AIgnored) { return AClass.InheritsFrom(*AIgnored); });
}

void TVantrelDuplicator::AddObjectMap(TObject* ASource, TObject* AClone) {
  FObjectMap.Add(ASource, AClone);
  auto waiting = FPendingBySource.find(ASource);
  if (waiting == FPendingBySource.end())
    return;
  const std::vector<size_t> indexes = std::move(waiting->second);
  FPendingBySource.erase(waiting);
  for (const size_t index : indexes)
    Resolve(FLateResolve[index], AClone);
}

void TVantrelDuplicator::AddLateResolve(TObject* ASource, const TCopyField* AField, TObject* AClone) {
  FPendingBySource[ASource].push_back(FLateResolve.size());
  FLateResolve.push_back({{ASource, AField, AClone}});
}

void TVantrelDuplicator::Resolve(TPendingEntry& APending, TObject* ACopy) {
  const TVantrelLateResolveEntry& entry = APending.Entry;
  if (entry.Field->Kind == TFieldKind::Event) {
    TMethod* method = entry.Field->Method(entry.Ref);
    if (method->Object() == entry.Source)
      method->Rebind(ACopy);
  } else if (entry.Field->SetObject && entry.Field->GetObject(entry.Ref) != ACopy) {
    entry.Field->SetObject(entry.Ref, ACopy);
  }
  APending.Done = true;
}

void TVantrelDuplicator::RunLateResolve() {
  for (size_t i = 0; i < FLateResolve.size(); ++i) {
    TPendingEntry& pending = FLateResolve[i];
    if (pending.Done)
      continue;
    TObject* const* copy = FObjectMap.Find(pending.Entry.Source);
    if (!copy)
      continue;
    std::erase(FPendingBySource[pending.Entry.Source], i);
    Resolve(pending, *copy);
  }
}

TComponent* TVantrelDuplicator::Duplicate(TComponent* AObj, TComponent* AOwner, TDuplicationFlags AFlags) {
  if (AFlags.Contains(TDuplicationFlag::dfIgnoreMaterials) && !ClassIgnored(TMaterialSource::StaticClass()))
    FIgnoreClasses.push_back(&TMaterialSource::StaticClass());
  TComponent* clone = RawDuplicate(AObj, AOwner);
  RunLateResolve();
  ResolveParents();
  return clone;
}

void TVantrelDuplicator::ResolveParents() {
  for (const auto& [clone, parent] : FResolveParent) {
    TObject* const* parentCopy = FObjectMap.Find(static_cast<TObject*>(parent));
    if (auto* copy = parentCopy ? dynamic_cast<TFmxObject*>(*parentCopy) : nullptr)
      clone->SetParent(copy);
    else
      Log::d(SDuplicateParentNotResolved, clone->ClassName(), clone->Name());
  }
}

TComponent* TVantrelDuplicator::RawDuplicate(TComponent* ASource, TComponent* AOwner) {
  if (ClassIgnored(ASource->ClassType())) {
    if (!FObjectMap.ContainsKey(ASource))
      AddObjectMap(ASource, ASource);
    Log::d(SDuplicateClassIgnored, ASource->ClassName());
    return ASource;
  }
  if (TObject* const* copy = FObjectMap.Find(static_cast<TObject*>(ASource))) {
    Log::d(SDuplicateAlreadyDone, ASource->ClassName(), ASource->Name());
    return CheckedCast<TComponent>(*copy);
  }
  auto* clone = ASource->ClassType().CreateAs<TComponent>(AOwner);
  AddObjectMap(ASource, clone);
  {
    TUpdateBracket bracket(clone);
    CopyFields(ASource, clone);
    // The constructor already put the copy last among AOwner's components; taking it again
    // would only repeat the owner's notifications.
    if (AOwner && clone->Owner() != AOwner)
      AOwner->InsertComponent(clone);
    CopyName(ASource, clone);
    auto* source = dynamic_cast<TFmxObject*>(ASource);
    if (source && source->Parent()) {
      auto* clonedObject = static_cast<TFmxObject*>(clone);
      TObject* const* parentCopy = FObjectMap.Find(static_cast<TObject*>(source->Parent()));
      if (auto* copy = parentCopy ? dynamic_cast<TFmxObject*>(*parentCopy) : nullptr)
        clonedObject->SetParent(copy);
      else
        FResolveParent.AddOrSetValue(clonedObject, source->Parent());
    }
    DuplicateChildren(ASource, clone);
  }
  // The copy's matrix is rebuilt from its own copied state; the source is left as it is.
  if (auto* control = dynamic_cast<TControl3D*>(clone))
    control->MatrixChanged();
  OnDuplicate(ASource, clone, this);
  return clone;
}

const std::vector<const TCopyField*>& TVantrelDuplicator::FieldsOf(const TClass& AClass) {
  auto it = FFieldLists.find(&AClass);
  if (it == FFieldLists.end())
    it = FFieldLists.emplace(&AClass, GetCopyFields(AClass)).first;
  return it->second;
}

void TVantrelDuplicator::CopyFields(const TObject* ASource, TObject* AClone) {
  for (const TCopyField* field : FieldsOf(AClone->ClassType())) {
    switch (field->Kind) {
    case TFieldKind::NoTypeInfo:
      break;
    case TFieldKind::DynArray:
      Log::d(SDuplicateDynArrayIgnored, AClone->ClassName(), field->Name);
      break;
    case TFieldKind::Value:
      field->CopyValue(AClone, ASource);
      break;
    case TFieldKind::Event:
      CopyEventField(*field, ASource, AClone);
      break;
    case TFieldKind::Object:
      CopyObjectField(*field, ASource, AClone);
      break;
    }
  }
}

void TVantrelDuplicator::CopyEventField(const TCopyField& AField, const TObject* ASource, TObject* AClone) {
  TMethod* method = AField.Method(AClone);
  *method = *AField.Method(const_cast<TObject*>(ASource));
  TObject* target = method->Object();
  if (!target)
    return;
  if (TObject* const* copy = FObjectMap.Find(target))
    method->Rebind(*copy);
  else
    AddLateResolve(target, &AField, AClone);
}

void TVantrelDuplicator::CopyObjectField(const TCopyField& AField, const TObject* ASource, TObject* AClone) {
  if (AField.Name == "FOwner" || AField.Name == "FParent")
    return;
  TObject* value = AField.GetObject(ASource);
  if (!value)
    return;
  if (TObject* const* copy = FObjectMap.Find(value)) {
    if (AField.SetObject)
      AField.SetObject(AClone, *copy);
    return;
  }
  TObject* own = AField.GetObject(AClone);
  auto* ownPersistent = dynamic_cast<TPersistent*>(own);
  auto* valuePersistent = dynamic_cast<TPersistent*>(value);
  const bool assign = !AField.DeclaredAsReference && ownPersistent && own != value && !AField.IsGeneric() &&
                      !ClassIgnored(*AField.DeclaredClass) && AField.HasAssign() && valuePersistent;
  if (assign)
    ownPersistent->Assign(valuePersistent);
  else
    AddLateResolve(value, &AField, AClone);
}

TObject* TVantrelDuplicator::OwnCounterpart(const TComponent* ASource, const TComponent* AClone,
                                            const TComponent* AChild) {
  for (const TCopyField* field : FieldsOf(AClone->ClassType())) {
    if (field->Kind != TFieldKind::Object || field->GetObject(ASource) != AChild)
      continue;
    TObject* own = field->GetObject(AClone);
    if (own && own != AChild)
      return own;
  }
  return nullptr;
}

void TVantrelDuplicator::DuplicateChildren(TComponent* ASource, TComponent* AClone) {
  const int count = ASource->ComponentCount();
  for (int i = 0; i < count; ++i) {
    TComponent* child = ASource->Components(i);
    TObject* own = OwnCounterpart(ASource, AClone, child);
    if (!own) {
      RawDuplicate(child, AClone);
      continue;
    }
    if (FObjectMap.ContainsKey(child)) {
      Log::d(SDuplicateChildAlreadyDone, child->ClassName(), child->Name());
      continue;
    }
    AddObjectMap(child, own);
    if (auto* ownComponent = dynamic_cast<TComponent*>(own))
      DuplicateChildren(child, ownComponent);
  }
}

} // namespace vantrel
