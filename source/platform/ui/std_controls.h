#pragma once
// Standard controls that keep their state and draw nothing: the framework's dialog windows are
// built from them and driven by code or by the dialog driver (ui/dialogs.h), never by a toolkit.
// Each is a TControl, so it keeps Align, Height and Margins, and sits in a form's tree. None of
// them is registered for form streaming.

#include <cstdint>
#include <string>
#include <vector>

#include "ui/canvas.h"
#include "ui/controls.h"
#include "ui/forms.h"

namespace ui {

// A control with a text: the caption of a label, box, check box or button, or an edit's content.
class TTextControl : public TControl {
  RTL_CLASS(TTextControl, TControl)
public:
  using TControl::TControl;

  const std::string& Text() const { return FText; }
  void SetText(const std::string& AValue) { FText = AValue; }

private:
  std::string FText;
};

// The font a text control would draw with.
struct TTextFont {
  std::string Family;
  float Size = 12;
};

// Several lines of text.
class TMemo : public TTextControl {
  RTL_CLASS(TMemo, TTextControl)
public:
  using TTextControl::TTextControl;

  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool AValue) { FReadOnly = AValue; }
  TTextFont& Font() { return FFont; }
  const TTextFont& Font() const { return FFont; }

private:
  bool FReadOnly = false;
  TTextFont FFont;
};

// One line of text the user may edit.
class TEdit : public TTextControl {
  RTL_CLASS(TEdit, TTextControl)
public:
  using TTextControl::TTextControl;

  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool AValue) { FReadOnly = AValue; }

private:
  bool FReadOnly = false;
};

class TLabel : public TTextControl {
  RTL_CLASS(TLabel, TTextControl)
public:
  using TTextControl::TTextControl;

  TTextAlign TextAlign() const { return FTextAlign; }
  void SetTextAlign(TTextAlign AValue) { FTextAlign = AValue; }
  TTextAlign VertTextAlign() const { return FVertTextAlign; }
  void SetVertTextAlign(TTextAlign AValue) { FVertTextAlign = AValue; }

private:
  TTextAlign FTextAlign = TTextAlign::Leading;
  TTextAlign FVertTextAlign = TTextAlign::Center;
};

// A titled frame around other controls (its children).
class TGroupBox : public TTextControl {
  RTL_CLASS(TGroupBox, TTextControl)
public:
  using TTextControl::TTextControl;
};

class TCheckBox : public TTextControl {
  RTL_CLASS(TCheckBox, TTextControl)
public:
  using TTextControl::TTextControl;

  bool IsChecked() const { return FIsChecked; }
  // Fires OnChange when the state changes.
  void SetIsChecked(bool AValue);

  TNotifyEvent OnChange;

private:
  bool FIsChecked = false;
};

// A list of texts with one selected entry (ItemIndex, -1 for none). Removing entries keeps the
// selection on the same entry, or none when it is the one removed.
class TItemsControl : public TControl {
  RTL_CLASS(TItemsControl, TControl)
public:
  using TControl::TControl;

  const std::vector<std::string>& Items() const { return FItems; }
  int Count() const { return static_cast<int>(FItems.size()); }
  // Replaces the entries and selects none.
  void SetItems(std::vector<std::string> AItems);
  // Appends AText; returns its index.
  int AddItem(const std::string& AText);
  // Raises EArgumentOutOfRangeException for an index outside the entries.
  void DeleteItem(int AIndex);
  void ClearItems();
  // The index of the first entry equal to AText, or -1.
  int IndexOf(const std::string& AText) const;

  int ItemIndex() const { return FItemIndex; }
  // -1 selects none; other values outside the entries raise EArgumentOutOfRangeException. Fires
  // OnChange when the selection changes.
  void SetItemIndex(int AValue);
  // The selected entry's text, empty for none.
  std::string Selected() const;

  TNotifyEvent OnChange;

private:
  std::vector<std::string> FItems;
  int FItemIndex = -1;
};

// A drop-down list; the selection is the chosen entry.
class TComboBox : public TItemsControl {
  RTL_CLASS(TComboBox, TItemsControl)
public:
  using TItemsControl::TItemsControl;
};

class TListBox : public TItemsControl {
  RTL_CLASS(TListBox, TItemsControl)
public:
  using TItemsControl::TItemsControl;
};

class TButton : public TTextControl {
  RTL_CLASS(TButton, TTextControl)
public:
  using TTextControl::TTextControl;

  // Non-zero: pressing the button sets this modal result on its form.
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult AValue) { FModalResult = AValue; }
  // Presses the button: OnClick, then a non-zero ModalResult goes to the form the button sits on
  // (its nearest parent form). Nothing while the button is disabled.
  void Click();

private:
  TModalResult FModalResult = mrNone;
};

// The form AControl sits on (its nearest parent form), or nullptr.
TCustomForm* ParentFormOf(const TFmxObject* AControl);

} // namespace ui
