#include "utils/Vantrel.Utils.Dialogs.h"

#include <utility>

#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "ui/application.h"
#include "ui/dialogs.h"

namespace vantrel {

RTL_DEFINE_CLASS(TLoggingForm, "Vantrel.Utils.Dialogs")
RTL_DEFINE_CLASS(TProgressForm, "Vantrel.Utils.Dialogs")
RTL_DEFINE_CLASS(TLoadOptionsForm, "Vantrel.Utils.Dialogs")

namespace {

using ui::TAlignLayout;

// Makes a control owned by AOwner under AParent with the layout the windows' tables give.
template <class T>
T* AddControl(ui::TCustomForm* AOwner, ui::TFmxObject* AParent, TAlignLayout AAlign, float AHeight,
              const rtl::TRectF& AMargins) {
  T* control = rtl::New<T>(AOwner);
  control->SetParent(AParent);
  control->SetHeight(AHeight);
  control->Margins()->SetRect(AMargins);
  control->SetAlign(AAlign);
  return control;
}

template <class T> T* NewDialogForm() {
  return static_cast<T*>(ui::TCustomForm::CreateNew(T::StaticClass(), nullptr));
}

void LogAndShowPresenter(const std::string& ATitle, const std::string& AMessage, bool AReuse) {
  // The plain overload: compile logs may hold '%'.
  rtl::Log::d(std::string_view(ATitle));
  rtl::Log::d(std::string_view(AMessage));
  TLoggingForm::ShowWindow(ATitle, AMessage, AReuse);
}

TLoggingForm::TPresenter& Presenter() {
  static TLoggingForm::TPresenter presenter = LogAndShowPresenter;
  return presenter;
}

TLoggingForm*& Shared() {
  static TLoggingForm* shared = nullptr;
  return shared;
}

int DialogsInitCount = 0;

} // namespace

// TLoggingForm

TLoggingForm::TLoggingForm(rtl::TComponent* AOwner) : TForm(AOwner) {
  SetMayBecomeMainForm(false);
}

void TLoggingForm::BeforeDestruction() {
  if (Shared() == this)
    Shared() = nullptr;
  inherited::BeforeDestruction();
}

void TLoggingForm::Open(const std::string& ATitle, const std::string& AMessage, bool AReuse) {
  // A copy: the presenter may replace itself.
  const TPresenter presenter = Presenter();
  presenter(ATitle, AMessage, AReuse);
}

TLoggingForm::TPresenter TLoggingForm::SetPresenter(TPresenter APresenter) {
  if (!APresenter)
    APresenter = LogAndShowPresenter;
  return std::exchange(Presenter(), std::move(APresenter));
}

TLoggingForm* TLoggingForm::Build(bool AReuse) {
  TLoggingForm* form = NewDialogForm<TLoggingForm>();
  form->SetBorderStyle(ui::TFmxFormBorderStyle::SizeToolWin);
  form->SetClientWidth(640);
  form->SetClientHeight(280);
  form->SetPosition(ui::TFormPosition::ScreenCenter);
  form->FMemo = AddControl<ui::TMemo>(form, form, TAlignLayout::Client, form->ClientHeight(), {4, 4, 4, 4});
  form->FMemo->SetReadOnly(true);
  form->FMemo->Font().Family = "Consolas";
  form->FMemo->Font().Size = 10;
  // The shared window has no handlers: closing it only hides it.
  if (!AReuse) {
    form->OnCloseQuery = {form, &TLoggingForm::AllowClose};
    form->OnClose = {form, &TLoggingForm::FreeOnClose};
  }
  return form;
}

TLoggingForm* TLoggingForm::ShowWindow(const std::string& ATitle, const std::string& AMessage, bool AReuse) {
  TLoggingForm* form = nullptr;
  if (AReuse) {
    if (!Shared())
      Shared() = Build(true);
    form = Shared();
  } else {
    form = Build(false);
  }
  form->SetCaption(ATitle);
  form->FMemo->SetText(AMessage);
  // Show brings it to the front, also when it is visible already.
  form->Show();
  return form;
}

TLoggingForm* TLoggingForm::SharedInstance() {
  return Shared();
}

void TLoggingForm::FreeSharedInstance() {
  if (TLoggingForm* shared = Shared())
    shared->Free();
}

void TLoggingForm::AllowClose(rtl::TObject*, bool& ACanClose) {
  ACanClose = true;
}

void TLoggingForm::FreeOnClose(rtl::TObject*, ui::TCloseAction& AAction) {
  AAction = ui::TCloseAction::caFree;
}

// TProgressForm

std::atomic<uint32_t> TProgressForm::FStartDelay{1000};

TProgressForm::TProgressForm(rtl::TComponent* AOwner) : TForm(AOwner) {
  SetMayBecomeMainForm(false);
}

TProgressForm::~TProgressForm() {
  StopWorker();
}

void TProgressForm::SetStartDelay(uint32_t AMilliseconds) {
  FStartDelay = AMilliseconds;
}

uint32_t TProgressForm::StartDelay() {
  return FStartDelay;
}

std::exception_ptr TProgressForm::RunGuarded(const TProc& AProc, TProgressForm* AForm) {
  if (!AProc)
    return nullptr;
  try {
    AProc(AForm);
  } catch (const rtl::Exception& E) {
    const std::string text = "<ERROR> " + E.Message();
    rtl::Log::d(std::string_view(text));
    ui::ShowMessage(text);
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

void TProgressForm::Open(const std::string& AText, const TProc& AProc) {
  if (!rtl::IsMainThread()) {
    if (std::exception_ptr kept = RunGuarded(AProc, nullptr))
      std::rethrow_exception(kept);
    return;
  }
  rtl::TOwned<TProgressForm> form(NewDialogForm<TProgressForm>());
  form->SetCaption(AText);
  form->SetClientWidth(400);
  form->SetClientHeight(168);
  form->SetBorderStyle(ui::TFmxFormBorderStyle::Single);
  form->SetBorderIcons({});
  form->SetPosition(ui::TFormPosition::ScreenCenter);
  form->BringToFront();
  form->FLabel = AddControl<ui::TLabel>(form.get(), form.get(), TAlignLayout::Client, form->ClientHeight(), {});
  form->FLabel->SetText(AText);
  form->FLabel->SetTextAlign(ui::TTextAlign::Center);
  form->FLabel->SetVertTextAlign(ui::TTextAlign::Center);
  form->FProc = AProc;
  form->OnShow = {form.get(), &TProgressForm::StartRun};
  form->OnCloseQuery = {form.get(), &TProgressForm::AllowClose};
  form->OnClose = {form.get(), &TProgressForm::HideOnClose};
  form->ShowModal();
  form->StopWorker();
  const std::exception_ptr kept = form->FKept;
  form.reset();
  if (kept)
    std::rethrow_exception(kept);
}

void TProgressForm::StartRun(rtl::TObject*) {
  const uint32_t delay = FStartDelay;
  // The worker only waits; the operation runs on the UI thread, which the modal loop serves.
  rtl::TThread* worker = rtl::TThread::CreateAnonymousThread([this, delay] {
    if (delay > 0)
      rtl::TThread::Sleep(delay);
    rtl::TThread::Synchronize(nullptr, [this] { RunOperation(); });
  });
  // Owned here, so the window waits for it instead of racing a thread that frees itself.
  worker->SetFreeOnTerminate(false);
  FWorker.reset(worker);
  worker->Start();
}

void TProgressForm::RunOperation() {
  if (FFinished)
    return;
  FKept = RunGuarded(FProc, this);
  FLabel->SetText("Done");
  SetModalResult(ui::mrOk);
}

void TProgressForm::StopWorker() {
  // Waits for the worker while serving its hand-over, which finds the window finished.
  FFinished = true;
  FWorker.reset();
}

void TProgressForm::AllowClose(rtl::TObject*, bool& ACanClose) {
  ACanClose = true;
}

void TProgressForm::HideOnClose(rtl::TObject*, ui::TCloseAction& AAction) {
  AAction = ui::TCloseAction::caHide;
}

// TLoadOptionsForm

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

  FFileGroup = AddControl<TGroupBox>(this, this, TAlignLayout::MostTop, 80, {8, 8, 8, 8});
  FFileGroup->SetText("File");
  FFilename = AddControl<ui::TEdit>(this, FFileGroup, TAlignLayout::MostTop, 32, {8, 32, 8, 0});
  FFilename->SetReadOnly(true);
  FFilename->SetText(AOpts.FileInfo.PathOrUID);

  FTexGroup = AddControl<TGroupBox>(this, this, TAlignLayout::Top, 80, {8, 8, 8, 8});
  FTexGroup->SetText("Textures");
  FTextureLimits = AddControl<TComboBox>(this, FTexGroup, TAlignLayout::Top, 32, {8, 32, 8, 0});
  FTextureLimits->SetItems({"Unlimited", "128 x 128 px", "256 x 256 px", "512 x 512 px", "1024 x 1024 px",
                            "2048 x 2048 px", "4096 x 4096 px"});
  // Always "Unlimited", whatever the options hold: confirming unchanged removes a limit.
  FTextureLimits->SetItemIndex(0);

  FImportGroup = AddControl<TGroupBox>(this, this, TAlignLayout::Top, 128, {8, 8, 8, 8});
  FImportGroup->SetText("Import");
  FImportLights = AddControl<TCheckBox>(this, FImportGroup, TAlignLayout::MostTop, 32, {8, 32, 8, 0});
  FImportLights->SetText("Import Lights");
  FImportLights->SetIsChecked(AOpts.ImportLights);
  FImportCameras = AddControl<TCheckBox>(this, FImportGroup, TAlignLayout::Top, 32, {8, 8, 8, 0});
  FImportCameras->SetText("Import Cameras");
  FImportCameras->SetIsChecked(AOpts.ImportCameras);

  FAnimGroup = AddControl<TGroupBox>(this, this, TAlignLayout::Top, 420, {8, 8, 8, 8});
  FAnimGroup->SetText("Animations");
  FImportAnims = AddControl<TCheckBox>(this, FAnimGroup, TAlignLayout::MostTop, 32, {8, 32, 8, 0});
  FImportAnims->SetText("Import Animations");
  FImportAnims->SetIsChecked(AOpts.ImportAnimations);
  FCaching = AddControl<TComboBox>(this, FAnimGroup, TAlignLayout::Top, 32, {8, 8, 8, 0});
  FCaching->SetItems({"No Caching", "All Attributes", "VertexPosition Only"});
  const TAnimationCachingFlags caching = AOpts.Caching;
  FCaching->SetItemIndex(caching.Contains(TAnimationCachingFlag::AllAttributes)    ? 1
                         : caching.Contains(TAnimationCachingFlag::VertexPosition) ? 2
                                                                                   : 0);
  FCompressedCache = AddControl<TCheckBox>(this, FAnimGroup, TAlignLayout::Top, 32, {8, 8, 8, 0});
  FCompressedCache->SetText("Compressed Cache");
  FCompressedCache->SetIsChecked(caching.Contains(TAnimationCachingFlag::Compressed));
  FAnimSubGroup = AddControl<TGroupBox>(this, FAnimGroup, TAlignLayout::MostBottom, 256, {8, 8, 8, 8});
  FAnimSubGroup->SetText("Additional Animations");
  FAnimationList = AddControl<ui::TListBox>(this, FAnimSubGroup, TAlignLayout::Client, 128, {8, 32, 8, 8});
  FRemAnimBtn = AddControl<TButton>(this, FAnimSubGroup, TAlignLayout::Bottom, 32, {8, 8, 8, 8});
  FRemAnimBtn->SetText("Remove Animation");
  FRemAnimBtn->OnClick = {this, &TLoadOptionsForm::RemoveAnimation};
  FAddAnimBtn = AddControl<TButton>(this, FAnimSubGroup, TAlignLayout::Bottom, 32, {8, 0, 8, 0});
  FAddAnimBtn->SetText("Add Animation");
  FAddAnimBtn->OnClick = {this, &TLoadOptionsForm::AddAnimations};

  FOKButton = AddControl<TButton>(this, this, TAlignLayout::MostBottom, 32, {8, 16, 8, 8});
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

// Unit

void InitializeDialogs() {
  ++DialogsInitCount;
}

void FinalizeDialogs() {
  if (DialogsInitCount == 0 || --DialogsInitCount > 0)
    return;
  TLoggingForm::FreeSharedInstance();
}

} // namespace vantrel
