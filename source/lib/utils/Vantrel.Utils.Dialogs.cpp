#include "utils/Vantrel.Utils.Dialogs.h"

#include <utility>

#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "ui/application.h"
#include "ui/dialogs.h"

namespace vantrel {

RTL_DEFINE_CLASS(TLoggingForm, "Vantrel.Utils.Dialogs")
RTL_DEFINE_CLASS(TProgressForm, "Vantrel.Utils.Dialogs")

namespace {

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
  form->FMemo = AddDialogControl<ui::TMemo>(form, form, ui::TAlignLayout::Client, form->ClientHeight(), {4, 4, 4, 4});
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
  form->FLabel = AddDialogControl<ui::TLabel>(form.get(), form.get(), ui::TAlignLayout::Client, form->ClientHeight(), {});
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
