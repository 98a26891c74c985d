#pragma once
// The UI thread's message loop. A window-less application has no messages of its own: a pass of
// the loop hands over what other threads synchronized or queued, fires the due timers of the
// default timer service and paints the scenes that asked for it. Tests step the loop with
// ProcessMessages; an application runs it with Run until Terminate.
//
// Nothing raised by a call, a timer or a paint leaves the loop: each goes to HandleException,
// which hands it to OnException, or logs it when no handler is set.
//
// Forms: CreateForm makes a form the application owns (the first becomes MainForm); Run shows the
// main form through a presenter (a window, or off screen), hands the presenter's events to it
// each pass and presents its image after each of its paints. Forms are freed by DestroyForms,
// never inside a pass; RunApplication wraps a program's main body around that order.

#include <atomic>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "present/events.h"
#include "present/settings.h"
#include "rtl/classes.h"
#include "rtl/object.h"

namespace present {
class TPresenter;
class TScreenshot;
} // namespace present

namespace ui {

// What the loop paints: a scene with update rectangles pending (ui/scene.h).
class IPaintable {
public:
  virtual bool PaintPending() const = 0;
  // Paints the pending rectangles and forgets them.
  virtual void PaintPendingRects() = 0;

protected:
  ~IPaintable() = default;
};

// What the application needs of a form to show it and feed it (ui/forms.h implements it).
class IApplicationForm {
public:
  virtual rtl::TComponent* GetComponent() = 0;
  virtual std::string GetCaption() const = 0;
  virtual int GetClientWidth() const = 0;
  virtual int GetClientHeight() const = 0;
  // The client image after the last paint; empty while there is none.
  virtual present::TPixels GetPixels() = 0;
  // A window event: mouse input, a new client size, a close request.
  virtual void HandleEvent(const present::TPresentEvent& AEvent) = 0;
  // Asks for a paint of the whole client area in the next pass.
  virtual void RequestPaint() = 0;
  // Whether the form becomes the main form when it registers first.
  virtual bool MayBecomeMainForm() const { return true; }

protected:
  ~IApplicationForm() = default;
};

class TApplication {
public:
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  using TExceptionEvent =
      std::function<void(rtl::TObject* ASender, const std::string& AClassName, const std::string& AMessage)>;

  // One pass, on the main thread: the synchronized and queued calls that arrived before it, then
  // the due timers, then the pending paints. Re-entrant: a call, timer or paint may run it again;
  // a timer or paint that is running is not started again by the inner pass.
  void ProcessMessages();
  // Waits (real time) until a call is posted, the next timer falls due or AMaxMs passed,
  // whichever comes first, then runs one pass. Pending paints end the wait at once.
  void WaitAndProcess(int AMaxMs);
  // Runs WaitAndProcess until ADone answers true or the application is terminated (a modal
  // form's loop). ADone is asked before every wait.
  void ProcessUntil(const std::function<bool()>& ADone);
  // Runs the loop until Terminate; then clears the request, so the loop can run again.
  void Run();
  // Asks Run to return after the current pass; any thread.
  void Terminate();
  bool Terminated() const { return FTerminated; }

  // Reports an exception: to OnException when set, else to the debug log as "<ERROR> " + message.
  // What the handler itself raises is logged the same way.
  void HandleException(rtl::TObject* ASender, const std::string& AClassName, const std::string& AMessage);
  // The same for a caught exception; EAbort is silent.
  void HandleException(rtl::TObject* ASender, std::exception_ptr AError);
  // The default report: "<ERROR> " + message through the debug log (standard error).
  void ShowException(const std::string& AClassName, const std::string& AMessage);
  const TExceptionEvent& GetOnException() const { return FOnException; }
  void SetOnException(TExceptionEvent AValue) { FOnException = std::move(AValue); }

  // Scenes register while they live, so the loop paints them.
  void AddPaintable(IPaintable* AScene);
  void RemovePaintable(IPaintable* AScene);

  // Reads the presentation settings from the environment (a bad VANTREL_SCREENSHOT_FRAMES raises
  // present::EPresentError here, at start).
  void Initialize();
  // Replaces the settings Run presents with (tests; Initialize reads the environment's).
  void SetPresentSettings(const present::TPresentSettings& ASettings);
  // Makes a form of AClass owned by the application: AReference is set to the new instance
  // before it reads its resource, and back to nullptr when that fails (the form is then freed
  // and the exception propagates). The first form becomes MainForm.
  template <class T> void CreateForm(rtl::TClass& AClass, T*& AReference) {
    CreateForm(AClass, [&AReference](rtl::TObject* AForm) { AReference = dynamic_cast<T*>(AForm); });
  }
  void CreateForm(rtl::TClass& AClass, const std::function<void(rtl::TObject*)>& ASetReference);
  IApplicationForm* MainForm() const { return FMainForm; }
  // Frees the forms CreateForm made, the last first, and closes the presenter. Never from inside
  // a pass: Run has returned by then.
  void DestroyForms();

  // Forms register while they live. A form without owner joins the forms the application frees
  // (DestroyForms), as do the ones CreateForm made. The first form that may become the main form
  // is MainForm.
  void AddForm(IApplicationForm* AForm);
  void RemoveForm(IApplicationForm* AForm);
  // The registered forms, the front one last.
  const std::vector<IApplicationForm*>& Forms() const { return FForms; }
  void BringFormToFront(IApplicationForm* AForm);
  // Frees AForm at the start of the next outermost pass (a form closed with caFree), so nothing
  // of it is on the stack of a pass when it goes; DestroyForms frees what is left.
  void ReleaseForm(IApplicationForm* AForm);
  // Called by a form after it painted: presents the main form's image, counts it for the
  // screenshot and terminates after saving one.
  void FormPainted(IApplicationForm* AForm);
  // The presenter Run opened; nullptr before Run and after DestroyForms.
  present::TPresenter* Presenter() const { return FPresenter.get(); }
  // Ends a wait of the loop from any thread.
  void Wake();

  // Opens the presenter and shows the main form in it; Run does this first. Nothing without a
  // main form or when it is shown already.
  void ShowMainForm();

private:
  void ProcessEvents();
  void FreeReleasedForms();
  void ProcessCalls();
  void ProcessTimers();
  void ProcessPaints();
  bool PaintPending() const;

  std::atomic<bool> FTerminated{false};
  TExceptionEvent FOnException;
  bool FSettingsRead = false;
  present::TPresentSettings FSettings;
  // Guards FPresenter against a Wake from another thread while it is made or dropped.
  std::mutex FPresenterLock;
  std::unique_ptr<present::TPresenter> FPresenter;
  std::unique_ptr<present::TScreenshot> FScreenshot;
  // A failure that must end Run with an exception (a screenshot that could not be written).
  std::exception_ptr FFatalError;
  std::vector<IApplicationForm*> FForms;
  // The forms CreateForm made and the unowned ones, in creation order.
  std::vector<rtl::TComponent*> FOwnedForms;
  // The forms waiting to be freed by the next outermost pass.
  std::vector<rtl::TComponent*> FReleasedForms;
  // Nesting depth of ProcessMessages.
  int FPassDepth = 0;
  IApplicationForm* FMainForm = nullptr;
  std::vector<present::TPresentEvent> FEvents;
  std::vector<IPaintable*> FPaintables;
  // The scenes whose paint is running, so an inner pass does not paint them again.
  std::vector<IPaintable*> FPainting;
  // ProcessPaints' copies of FPaintables, one per nesting depth; a deque, so an inner pass's new
  // list leaves the outer one where it is.
  std::deque<std::vector<IPaintable*>> FPaintLists;
  size_t FPaintDepth = 0;
};

TApplication& Application();

// Runs a program's main body: ABody (the start-up, CreateForm, Run) inside a handler that reports
// an escaping exception as "<Class>: <message>" on standard error; then frees the forms (their GL
// objects and threads) and runs AFinalise (the library's unit finalisation, which releases the
// GL context last). Returns 1 after an exception, else 0.
int RunApplication(const std::function<void()>& ABody, const std::function<void()>& AFinalise);

} // namespace ui
