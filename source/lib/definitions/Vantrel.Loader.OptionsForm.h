#pragma once
// The model loader's options editor: a modal window, built in code like the framework's other
// small windows (utils/Vantrel.Utils.Dialogs.h), that edits a copy of the load options.

#include "Vantrel.Prelude.h"
#include "definitions/Vantrel.DefTypes.h"
#include "ui/forms.h"
#include "ui/std_controls.h"

namespace vantrel {

// The load-options editor: the options' switches, texture limit, animation caching and extra
// animation files, applied to a copy when the window closes.
class TLoadOptionsForm : public ui::TForm {
  RTL_CLASS(TLoadOptionsForm, ui::TForm)
public:
  explicit TLoadOptionsForm(rtl::TComponent* AOwner);

  // Shows the options modally and returns the edited copy. The window frees itself when it closes
  // (on the next pass of the application loop).
  static TVantrelLoadOptions Execute(const TVantrelLoadOptions& AOpts);

  // The controls, in creation order.
  ui::TGroupBox* FileGroup() const { return FFileGroup; }
  ui::TEdit* Filename() const { return FFilename; }
  ui::TGroupBox* TexGroup() const { return FTexGroup; }
  ui::TComboBox* TextureLimits() const { return FTextureLimits; }
  ui::TGroupBox* ImportGroup() const { return FImportGroup; }
  ui::TCheckBox* ImportLights() const { return FImportLights; }
  ui::TCheckBox* ImportCameras() const { return FImportCameras; }
  ui::TGroupBox* AnimGroup() const { return FAnimGroup; }
  ui::TCheckBox* ImportAnims() const { return FImportAnims; }
  ui::TComboBox* Caching() const { return FCaching; }
  ui::TCheckBox* CompressedCache() const { return FCompressedCache; }
  ui::TGroupBox* AnimSubGroup() const { return FAnimSubGroup; }
  ui::TListBox* AnimationList() const { return FAnimationList; }
  ui::TButton* RemAnimBtn() const { return FRemAnimBtn; }
  ui::TButton* AddAnimBtn() const { return FAddAnimBtn; }
  ui::TButton* OKButton() const { return FOKButton; }
  // The copy being edited.
  const TVantrelLoadOptions& Edited() const { return FEdited; }

private:
  ui::TGroupBox* FFileGroup = nullptr;
  ui::TEdit* FFilename = nullptr;
  ui::TGroupBox* FImportGroup = nullptr;
  ui::TCheckBox* FImportLights = nullptr;
  ui::TCheckBox* FImportCameras = nullptr;
  ui::TGroupBox* FTexGroup = nullptr;
  ui::TComboBox* FTextureLimits = nullptr;
  ui::TGroupBox* FAnimGroup = nullptr;
  ui::TCheckBox* FImportAnims = nullptr;
  ui::TComboBox* FCaching = nullptr;
  ui::TCheckBox* FCompressedCache = nullptr;
  ui::TGroupBox* FAnimSubGroup = nullptr;
  ui::TListBox* FAnimationList = nullptr;
  ui::TButton* FRemAnimBtn = nullptr;
  ui::TButton* FAddAnimBtn = nullptr;
  ui::TButton* FOKButton = nullptr;
  // The copy being edited; one per window, so nested editors do not share it.
  TVantrelLoadOptions FEdited;

  void Build(const TVantrelLoadOptions& AOpts);
  void ApplyControls();
  void ProcessPending(rtl::TObject*);
  void AllowClose(rtl::TObject*, bool& ACanClose);
  void ApplyOnClose(rtl::TObject*, ui::TCloseAction& AAction);
  void AddAnimations(rtl::TObject*);
  void RemoveAnimation(rtl::TObject*);
};

} // namespace vantrel
