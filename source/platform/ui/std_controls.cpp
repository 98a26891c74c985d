#include "ui/std_controls.h"

#include <utility>

#include "rtl/exceptions.h"

namespace ui {

RTL_DEFINE_CLASS(TTextControl, "ui.StdCtrls")
RTL_DEFINE_CLASS(TMemo, "ui.Memo")
RTL_DEFINE_CLASS(TEdit, "ui.Edit")
RTL_DEFINE_CLASS(TLabel, "ui.StdCtrls")
RTL_DEFINE_CLASS(TGroupBox, "ui.StdCtrls")
RTL_DEFINE_CLASS(TCheckBox, "ui.StdCtrls")
RTL_DEFINE_CLASS(TItemsControl, "ui.ListBox")
RTL_DEFINE_CLASS(TComboBox, "ui.ListBox")
RTL_DEFINE_CLASS(TListBox, "ui.ListBox")
RTL_DEFINE_CLASS(TButton, "ui.StdCtrls")

void TCheckBox::SetIsChecked(bool AValue) {
  if (AValue == FIsChecked)
    return;
  FIsChecked = AValue;
  OnChange(this);
}

void TItemsControl::SetItems(std::vector<std::string> AItems) {
  FItems = std::move(AItems);
  SetItemIndex(-1);
}

int TItemsControl::AddItem(const std::string& AText) {
  FItems.push_back(AText);
  return Count() - 1;
}

void TItemsControl::DeleteItem(int AIndex) {
  if (AIndex < 0 || AIndex >= Count())
    throw rtl::EArgumentOutOfRangeException("List index out of bounds (" + std::to_string(AIndex) + ")");
  FItems.erase(FItems.begin() + AIndex);
  if (FItemIndex == AIndex)
    SetItemIndex(-1);
  else if (FItemIndex > AIndex)
    --FItemIndex;
}

void TItemsControl::ClearItems() {
  FItems.clear();
  SetItemIndex(-1);
}

int TItemsControl::IndexOf(const std::string& AText) const {
  for (int i = 0; i < Count(); ++i)
    if (FItems[i] == AText)
      return i;
  return -1;
}

void TItemsControl::SetItemIndex(int AValue) {
  if (AValue < -1 || AValue >= Count())
    throw rtl::EArgumentOutOfRangeException("List index out of bounds (" + std::to_string(AValue) + ")");
  if (AValue == FItemIndex)
    return;
  FItemIndex = AValue;
  OnChange(this);
}

std::string TItemsControl::Selected() const {
  return FItemIndex < 0 ? std::string() : FItems[FItemIndex];
}

void TButton::Click() {
  if (!Enabled())
    return;
  OnClick(this);
  if (FModalResult == mrNone)
    return;
  // Looked up after OnClick, which may have moved the button to another form.
  if (TCustomForm* form = ParentFormOf(this))
    form->SetModalResult(FModalResult);
}

TCustomForm* ParentFormOf(const TFmxObject* AControl) {
  for (TFmxObject* parent = AControl ? AControl->Parent() : nullptr; parent; parent = parent->Parent())
    if (auto* form = dynamic_cast<TCustomForm*>(parent))
      return form;
  return nullptr;
}

} // namespace ui
