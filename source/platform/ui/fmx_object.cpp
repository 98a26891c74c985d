#include "ui/fmx_object.h"

#include <algorithm>

#include "rtl/properties.h"

namespace ui {

RTL_DEFINE_CLASS(TFmxObject, "ui.Types", &TFmxObject::RegisterProperties)

void TFmxObject::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("TagFloat", &TFmxObject::TagFloat, &TFmxObject::SetTagFloat).WithDefault(0.0f);
  AList.Add("TagString", &TFmxObject::TagString, &TFmxObject::SetTagString).WithDefault(std::string());
  AList.Add("StyleName", &TFmxObject::StyleName, &TFmxObject::SetStyleName).WithDefault(std::string());
}

void TFmxObject::SetParentComponent(rtl::TComponent* AParent) {
  if (auto* parent = dynamic_cast<TFmxObject*>(AParent))
    SetParent(parent);
}

void TFmxObject::GetChildren(const TGetChildProc& AProc, rtl::TComponent* ARoot) {
  for (TFmxObject* child : FChildren)
    if (child->Stored() && child->Owner() == ARoot)
      AProc(child);
  inherited::GetChildren(AProc, ARoot);
}

void TFmxObject::BeforeDestruction() {
  // Children are never owned through the parent link: the ones still here are only unparented.
  while (!FChildren.empty())
    RemoveObject(FChildren.back());
  if (FParent)
    FParent->RemoveObject(this);
  inherited::BeforeDestruction();
}

void TFmxObject::SetParent(TFmxObject* AParent) {
  if (AParent == FParent)
    return;
  if (AParent)
    AParent->AddObject(this);
  else
    FParent->RemoveObject(this);
}

void TFmxObject::Link(int AIndex, TFmxObject* AObject) {
  if (AObject->FParent)
    AObject->FParent->RemoveObject(AObject);
  FChildren.insert(FChildren.begin() + std::min(AIndex, ChildrenCount()), AObject);
  AObject->FParent = this;
}

void TFmxObject::AddObject(TFmxObject* AObject) {
  if (!AObject || AObject == this || AObject->FParent == this)
    return;
  Link(ChildrenCount(), AObject);
  DoAddObject(AObject);
  AObject->ParentChanged();
}

void TFmxObject::InsertObject(int AIndex, TFmxObject* AObject) {
  if (!AObject || AObject == this || AObject->FParent == this)
    return;
  const int index = std::clamp(AIndex, 0, ChildrenCount());
  Link(index, AObject);
  DoInsertObject(index, AObject);
  AObject->ParentChanged();
}

void TFmxObject::RemoveObject(TFmxObject* AObject) {
  auto it = std::find(FChildren.begin(), FChildren.end(), AObject);
  if (it == FChildren.end())
    return;
  FChildren.erase(it);
  AObject->FParent = nullptr;
  DoRemoveObject(AObject);
  AObject->ParentChanged();
}

void TFmxObject::DoAddObject(TFmxObject*) {}

void TFmxObject::DoInsertObject(int, TFmxObject* AObject) {
  DoAddObject(AObject);
}

void TFmxObject::DoRemoveObject(TFmxObject*) {}

void TFmxObject::BeginUpdate() {
  ++FUpdating;
  for (TFmxObject* child : FChildren)
    child->BeginUpdate();
}

void TFmxObject::EndUpdate() {
  if (FUpdating == 0)
    return;
  --FUpdating;
  for (TFmxObject* child : FChildren)
    child->EndUpdate();
}

} // namespace ui
