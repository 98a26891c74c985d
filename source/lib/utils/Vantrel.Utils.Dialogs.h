#pragma once
// The framework's small windows, built in code: a logging window that shows a titled text (a
// shader's compile log at design time) and a modal progress window that runs an operation while
// showing a message; the helpers below build them (and the loader's options editor, which lives
// with the loader in definitions/). They are real forms with real controls that no toolkit draws:
// the dialog driver (ui/dialogs.h) answers for the user.

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "Vantrel.Prelude.h"
#include "rtl/threads.h"
#include "ui/forms.h"
#include "ui/std_controls.h"

namespace vantrel {

// The logging window: a read-only memo filling a tool window.
class TLoggingForm : public ui::TForm {
  RTL_CLASS(TLoggingForm, ui::TForm)
public:
  // AReuse: show the text in the window already open instead of opening another one.
  using TPresenter = std::function<void(const std::string& ATitle, const std::string& AMessage, bool AReuse)>;

  explicit TLoggingForm(rtl::TComponent* AOwner);
  void BeforeDestruction() override;

  // Shows AMessage under ATitle through the installed presenter. UI thread only.
  static void Open(const std::string& ATitle, const std::string& AMessage, bool AReuse);
  // Installs APresenter and returns the one it replaces; nullptr restores the default, which
  // writes both texts to the debug log and shows them in the window (ShowWindow).
  static TPresenter SetPresenter(TPresenter APresenter);
  // The window itself: without AReuse a new window that frees itself when closed; with AReuse the
  // shared window (made on first use), which closing only hides. Returns the window shown.
  static TLoggingForm* ShowWindow(const std::string& ATitle, const std::string& AMessage, bool AReuse);
  // The shared window, or nullptr before the first reusable one.
  static TLoggingForm* SharedInstance();
  // Frees the shared window (unit finalisation).
  static void FreeSharedInstance();

  ui::TMemo* Memo() const { return FMemo; }

private:
  ui::TMemo* FMemo = nullptr;

  static TLoggingForm* Build(bool AReuse);
  void AllowClose(rtl::TObject*, bool& ACanClose);
  void FreeOnClose(rtl::TObject*, ui::TCloseAction& AAction);
};

// The progress window: a centred label while an operation runs on the UI thread.
class TProgressForm : public ui::TForm {
  RTL_CLASS(TProgressForm, ui::TForm)
public:
  using TProc = std::function<void(TProgressForm* AForm)>;

  explicit TProgressForm(rtl::TComponent* AOwner);
  ~TProgressForm() override;

  // Shows AText modally; a worker waits the start delay, then the UI thread runs AProc (when
  // given) with the window. An rtl::Exception of AProc is logged and shown as "<ERROR> " + its
  // message; any other exception is rethrown here once the window is freed. Either way the label
  // ends as "Done" and the window closes. Off the UI thread no window is made (a modal loop there
  // would wait for a thread that never serves it): AProc runs on the calling thread with nullptr
  // and the same handling.
  static void Open(const std::string& AText, const TProc& AProc);
  // The wait before the operation runs, process-wide; 1000 ms by default.
  static void SetStartDelay(uint32_t AMilliseconds);
  static uint32_t StartDelay();

  ui::TLabel* Text() const { return FLabel; }

private:
  ui::TLabel* FLabel = nullptr;
  TProc FProc;
  rtl::TOwned<rtl::TThread> FWorker;
  // A non-platform exception of the operation, rethrown by Open.
  std::exception_ptr FKept;
  // Set once the modal loop is over: a late hand-over from the worker then does nothing.
  bool FFinished = false;

  static std::atomic<uint32_t> FStartDelay;

  void StartRun(rtl::TObject*);
  void RunOperation();
  void AllowClose(rtl::TObject*, bool& ACanClose);
  void HideOnClose(rtl::TObject*, ui::TCloseAction& AAction);
  void StopWorker();
  // Runs AProc with AForm, reporting a platform exception; returns a kept other one.
  static std::exception_ptr RunGuarded(const TProc& AProc, TProgressForm* AForm);
};

// Building the windows in code: a new window of class T without an owner, which nothing reads
// from a resource.
template <class T> T* NewDialogForm() {
  return static_cast<T*>(ui::TCustomForm::CreateNew(T::StaticClass(), nullptr));
}

// Makes a control owned by AOwner under AParent with the height, margins and alignment given.
template <class T>
T* AddDialogControl(ui::TCustomForm* AOwner, ui::TFmxObject* AParent, ui::TAlignLayout AAlign, float AHeight,
                    const rtl::TRectF& AMargins) {
  T* control = rtl::New<T>(AOwner);
  control->SetParent(AParent);
  control->SetHeight(AHeight);
  control->Margins()->SetRect(AMargins);
  control->SetAlign(AAlign);
  return control;
}

// Unit start-up and shutdown; the shutdown frees the shared logging window.
void InitializeDialogs();
void FinalizeDialogs();

} // namespace vantrel
