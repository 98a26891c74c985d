#include "definitions/Vantrel.Loader.OptionsForm.h"

#include <iterator>

#include "ui/application.h"
#include "ui/dialogs.h"
#include "utils/Vantrel.Utils.Dialogs.h"

namespace vantrel {

RTL_DEFINE_CLASS(TLoadOptionsForm, "Vantrel.Loader.OptionsForm")

namespace {

constexpr int TextureLimitSizes[] = {0, 128, 256, 512, 1024, 2048, 4096};

} // namespace

TLoadOptionsForm::TLoadOptionsForm(rtl::TComponent* AOwner) : TForm(AOwner) {
  SetMayBecomeMainForm(false);
}

TVantrelLoadOptions TLoadOptionsForm::Execute(const TVantrelLoadOptions& AOpts) {
  TLoadOptionsForm* form = NewDialogForm<TLoadOptionsForm>();
  try {
    form->Build(AOpts);
    form->ShowModal();
  } catch (...) {
    // Not released by a close: the window goes with the failure.
    form->Free();
    throw;
  }
  // The window is released by its close and freed by the next pass; its copy is still here.
  return form->FEdited;
}

void TLoadOptionsForm::Build(const TVantrelLoadOptions& AOpts) {
  using ui::TCheckBox, ui::TComboBox, ui::TGroupBox, ui::TButton;
  FEdited = AOpts;
  SetCaption("Load Options ...");
  SetClientWidth(640);
  SetClientHeight(860);
  SetBorderStyle(ui::TFmxFormBorderStyle::Single);
  SetBorderIcons({});
  SetPosition(ui::TFormPosition::ScreenCenter);
  BringToFront();

  FFileGroup = AddDialogControl<TGroupBox>(this, this, ui::TAlignLayout::MostTop, 80, {8, 8, 8, 8});
  FFileGroup->SetText("File");
  FFilename = AddDialogControl<ui::TEdit>(this, FFileGroup, ui::TAlignLayout::MostTop, 32, {8, 32, 8, 0});
  FFilename->SetReadOnly(true);
  FFilename->SetText(AOpts.FileInfo.PathOrUID);

  FTexGroup = AddDialogControl<TGroupBox>(this, this, ui::TAlignLayout::Top, 80, {8, 8, 8, 8});
  FTexGroup->SetText("Textures");
  FTextureLimits = AddDialogControl<TComboBox>(this, FTexGroup, ui::TAlignLayout::Top, 32, {8, 32, 8, 0});
  FTextureLimits->SetItems({"Unlimited", "128 x 128 px", "256 x 256 px", "512 x 512 px", "1024 x 1024 px",
                            "2048 x 2048 px", "4096 x 4096 px"});
  // Always "Unlimited", whatever the options hold: confirming unchanged removes a limit.
  FTextureLimits->SetItemIndex(0);

  FImportGroup = AddDialogControl<TGroupBox>(this, this, ui::TAlignLayout::Top, 128, {8, 8, 8, 8});
  FImportGroup->SetText("Import");
  FImportLights = AddDialogControl<TCheckBox>(this, FImportGroup, ui::TAlignLayout::MostTop, 32, {8, 32, 8, 0});
  FImportLights->SetText("Import Lights");
  FImportLights->SetIsChecked(AOpts.ImportLights);
  FImportCameras = AddDialogControl<TCheckBox>(this, FImportGroup, ui::TAlignLayout::Top, 32, {8, 8, 8, 0});
  FImportCameras->SetText("Import Cameras");
  FImportCameras->SetIsChecked(AOpts.ImportCameras);

  FAnimGroup = AddDialogControl<TGroupBox>(this, this, ui::TAlignLayout::Top, 420, {8, 8, 8, 8});
  FAnimGroup->SetText("Animations");
  FImportAnims = AddDialogControl<TCheckBox>(this, FAnimGroup, ui::TAlignLayout::MostTop, 32, {8, 32, 8, 0});
  FImportAnims->SetText("Import Animations");
  FImportAnims->SetIsChecked(AOpts.ImportAnimations);
  FCaching = AddDialogControl<TComboBox>(this, FAnimGroup, ui::TAlignLayout::Top, 32, {8, 8, 8, 0});
  FCaching->SetItems({"No Caching", "All Attributes", "VertexPosition Only"});
  const TAnimationCachingFlags caching = AOpts.Caching;
  FCaching->SetItemIndex(caching.Contains(TAnimationCachingFlag::AllAttributes)    ? 1
                         : caching.Contains(TAnimationCachingFlag::VertexPosition) ? 2
                                                                                   : 0);
  FCompressedCache = AddDialogControl<TCheckBox>(this, FAnimGroup, ui::TAlignLayout::Top, 32, {8, 8, 8, 0});
  FCompressedCache->SetText("Compressed Cache");
  FCompressedCache->SetIsChecked(caching.Contains(TAnimationCachingFlag::Compressed));
  FAnimSubGroup = AddDialogControl<TGroupBox>(this, FAnimGroup, ui::TAlignLayout::MostBottom, 256, {8, 8, 8, 8});
  FAnimSubGroup->SetText("Additional Animations");
  FAnimationList = AddDialogControl<ui::TListBox>(this, FAnimSubGroup, ui::TAlignLayout::Client, 128, {8, 32, 8, 8});
  FRemAnimBtn = AddDialogControl<TButton>(this, FAnimSubGroup, ui::TAlignLayout::Bottom, 32, {8, 8, 8, 8});
  FRemAnimBtn->SetText("Remove Animation");
  FRemAnimBtn->OnClick = {this, &TLoadOptionsForm::RemoveAnimation};
  FAddAnimBtn = AddDialogControl<TButton>(this, FAnimSubGroup, ui::TAlignLayout::Bottom, 32, {8, 0, 8, 0});
  FAddAnimBtn->SetText("Add Animation");
  FAddAnimBtn->OnClick = {this, &TLoadOptionsForm::AddAnimations};

  FOKButton = AddDialogControl<TButton>(this, this, ui::TAlignLayout::MostBottom, 32, {8, 16, 8, 8});
  FOKButton->SetText("OK");
  FOKButton->SetModalResult(ui::mrOk);

  OnShow = {this, &TLoadOptionsForm::ProcessPending};
  OnCloseQuery = {this, &TLoadOptionsForm::AllowClose};
  OnClose = {this, &TLoadOptionsForm::ApplyOnClose};
}

void TLoadOptionsForm::ApplyControls() {
  const int limit = FTextureLimits->ItemIndex();
  const int size = limit > 0 && limit < static_cast<int>(std::size(TextureLimitSizes)) ? TextureLimitSizes[limit] : 0;
  FEdited.TextureLimits = {size, size};
  FEdited.ImportLights = FImportLights->IsChecked();
  FEdited.ImportCameras = FImportCameras->IsChecked();
  FEdited.ImportAnimations = FImportAnims->IsChecked();
  TAnimationCachingFlags& caching = FEdited.Caching;
  switch (FCaching->ItemIndex()) {
  case 1:
    caching.Exclude(TAnimationCachingFlag::VertexPosition);
    caching.Include(TAnimationCachingFlag::AllAttributes);
    break;
  case 2:
    caching.Exclude(TAnimationCachingFlag::AllAttributes);
    caching.Include(TAnimationCachingFlag::VertexPosition);
    break;
  default:
    caching = {};
    break;
  }
  if (FCompressedCache->IsChecked())
    caching.Include(TAnimationCachingFlag::Compressed);
  else
    caching.Exclude(TAnimationCachingFlag::Compressed);
  if (FImportAnims->IsChecked())
    FEdited.AdditionalAnimations = FAnimationList->Items();
}

void TLoadOptionsForm::ProcessPending(rtl::TObject*) {
  ui::Application().ProcessMessages();
}

void TLoadOptionsForm::AllowClose(rtl::TObject*, bool& ACanClose) {
  ACanClose = true;
}

void TLoadOptionsForm::ApplyOnClose(rtl::TObject*, ui::TCloseAction& AAction) {
  ApplyControls();
  SetModalResult(ui::mrOk);
  AAction = ui::TCloseAction::caFree;
}

void TLoadOptionsForm::AddAnimations(rtl::TObject*) {
  // Owned by the window while it runs, and freed after each use.
  const rtl::TOwned<ui::TOpenDialog> dialog(rtl::New<ui::TOpenDialog>(this));
  dialog->SetTitle("Select an animation file ...");
  dialog->SetDefaultExt(".dae");
  dialog->SetOptions(
      {ui::TOpenOption::ofAllowMultiSelect, ui::TOpenOption::ofPathMustExist, ui::TOpenOption::ofFileMustExist});
  if (dialog->Execute())
    for (const std::string& file : dialog->Files())
      FAnimationList->AddItem(file);
}

void TLoadOptionsForm::RemoveAnimation(rtl::TObject*) {
  if (FAnimationList->ItemIndex() >= 0)
    FAnimationList->DeleteItem(FAnimationList->ItemIndex());
}

} // namespace vantrel
