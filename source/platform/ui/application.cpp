#include "ui/application.h"

#include <algorithm>
#include <limits>

#include <cstdio>

#include "present/presenter.h"
#include "present/screenshot.h"
#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "rtl/stopwatch.h"
#include "rtl/threads.h"
#include "ui/platform_services.h"

namespace ui {

namespace {

void WakeApplication() {
  Application().Wake();
}

} // namespace

TApplication::TApplication() {
  rtl::SetWakeMainThread(&WakeApplication);
}

// Forms still alive here are left alone: freeing them would touch GL from a static destructor,
// after the context may be gone. Programs free them through DestroyForms (RunApplication does).
TApplication::~TApplication() {
  rtl::SetWakeMainThread(nullptr);
  std::lock_guard guard(FPresenterLock);
  FPresenter.reset();
}

void TApplication::ProcessMessages() {
  if (FPassDepth == 0)
    FreeReleasedForms();
  ++FPassDepth;
  struct TLeave {
    int& Depth;
    ~TLeave() { --Depth; }
  } leave{FPassDepth};
  ProcessEvents();
  ProcessCalls();
  ProcessTimers();
  ProcessPaints();
}

void TApplication::FreeReleasedForms() {
  // Freeing a form takes it off the list (RemoveForm), so take it first.
  while (!FReleasedForms.empty()) {
    rtl::TComponent* form = FReleasedForms.front();
    FReleasedForms.erase(FReleasedForms.begin());
    try {
      form->Free();
    } catch (...) {
      HandleException(nullptr, std::current_exception());
    }
  }
}

void TApplication::ProcessEvents() {
  if (!FPresenter)
    return;
  // A member buffer would be overwritten by a nested pass; events are few, a local is cheap.
  std::vector<present::TPresentEvent> events;
  FPresenter->PollEvents(events);
  for (const present::TPresentEvent& event : events) {
    IApplicationForm* form = FMainForm;
    if (!form)
      break;
    try {
      form->HandleEvent(event);
    } catch (...) {
      HandleException(nullptr, std::current_exception());
    }
  }
}

void TApplication::ProcessCalls() {
  // CheckSynchronize stops at a queued call that raises and leaves the rest pending; they run in
  // the next round, each round taking at least the failing call off the queue.
  for (;;) {
    try {
      rtl::CheckSynchronize();
      return;
    } catch (...) {
      HandleException(nullptr, std::current_exception());
    }
  }
}

void TApplication::ProcessTimers() {
  TPlatformServices::Current().DefaultTimerService().ProcessTimers(
      [this](std::exception_ptr AError) { HandleException(nullptr, AError); });
}

void TApplication::ProcessPaints() {
  // A copy: a paint may add or remove scenes. One list per nesting depth, kept, so steady frames
  // allocate nothing.
  if (FPaintDepth == FPaintLists.size())
    FPaintLists.emplace_back();
  std::vector<IPaintable*>& scenes = FPaintLists[FPaintDepth];
  scenes.assign(FPaintables.begin(), FPaintables.end());
  ++FPaintDepth;
  struct TLeave {
    size_t& Depth;
    ~TLeave() { --Depth; }
  } leave{FPaintDepth};
  for (IPaintable* scene : scenes) {
    if (std::ranges::find(FPaintables, scene) == FPaintables.end() ||
        std::ranges::find(FPainting, scene) != FPainting.end() || !scene->PaintPending())
      continue;
    FPainting.push_back(scene);
    try {
      scene->PaintPendingRects();
    } catch (...) {
      HandleException(nullptr, std::current_exception());
    }
    std::erase(FPainting, scene);
  }
}

bool TApplication::PaintPending() const {
  return std::ranges::any_of(FPaintables, [this](IPaintable* AScene) {
    return std::ranges::find(FPainting, AScene) == FPainting.end() && AScene->PaintPending();
  });
}

void TApplication::WaitAndProcess(int AMaxMs) {
  int64_t wait = std::max(AMaxMs, 0);
  if (PaintPending() || rtl::PendingCalls().Any())
    wait = 0;
  const int64_t nextDue = TPlatformServices::Current().DefaultTimerService().NextDue();
  if (nextDue != std::numeric_limits<int64_t>::max())
    wait = std::clamp<int64_t>(nextDue - rtl::GetTickCount64(), 0, wait);
  if (wait > 0 && !FTerminated) {
    // With a presenter its events end the wait too; posted calls wake it through the hook.
    if (FPresenter)
      FPresenter->Wait(static_cast<int>(wait));
    else
      rtl::WaitForPendingCall(static_cast<int>(wait));
  }
  ProcessMessages();
}

void TApplication::ProcessUntil(const std::function<bool()>& ADone) {
  // The bound lets a change made outside the loop's wake-ups (another thread's Terminate) end the
  // wait.
  constexpr int MaxWaitMs = 100;
  while (!ADone() && !FTerminated)
    WaitAndProcess(MaxWaitMs);
}

void TApplication::Run() {
  ShowMainForm();
  // The bound lets a Terminate from another thread end the wait.
  constexpr int MaxWaitMs = 100;
  while (!FTerminated)
    WaitAndProcess(MaxWaitMs);
  FTerminated = false;
  if (FFatalError) {
    const std::exception_ptr error = std::exchange(FFatalError, nullptr);
    std::rethrow_exception(error);
  }
}

void TApplication::Terminate() {
  FTerminated = true;
  Wake();
}

void TApplication::Wake() {
  std::lock_guard guard(FPresenterLock);
  if (FPresenter)
    FPresenter->Wake();
}

void TApplication::Initialize() {
  FSettings = present::ReadPresentSettings();
  FSettingsRead = true;
}

void TApplication::SetPresentSettings(const present::TPresentSettings& ASettings) {
  FSettings = ASettings;
  FSettingsRead = true;
}

void TApplication::ShowMainForm() {
  if (!FMainForm || FPresenter)
    return;
  if (!FSettingsRead)
    Initialize();
  auto presenter = present::CreatePresenter(FSettings);
  presenter->Show(FMainForm->GetCaption(), FMainForm->GetClientWidth(), FMainForm->GetClientHeight());
  FScreenshot = std::make_unique<present::TScreenshot>(FSettings);
  {
    std::lock_guard guard(FPresenterLock);
    FPresenter = std::move(presenter);
  }
  // The first pass paints the whole form into the new window.
  FMainForm->RequestPaint();
}

void TApplication::FormPainted(IApplicationForm* AForm) {
  if (AForm != FMainForm || !FPresenter)
    return;
  const present::TPixels pixels = AForm->GetPixels();
  if (pixels.Width <= 0 || pixels.Height <= 0)
    return;
  FPresenter->Present(pixels);
  try {
    if (FScreenshot && FScreenshot->Presented(pixels))
      Terminate();
  } catch (...) {
    // A screenshot that cannot be written ends the program with its reason.
    FFatalError = std::current_exception();
    Terminate();
  }
}

void TApplication::CreateForm(rtl::TClass& AClass, const std::function<void(rtl::TObject*)>& ASetReference) {
  rtl::TObject* instance = AClass.NewInstance(nullptr);
  auto* component = dynamic_cast<rtl::TComponent*>(instance);
  if (!component) {
    delete instance;
    throw rtl::EInvalidCast("CreateForm needs a component class, not " + AClass.Name());
  }
  ASetReference(instance);
  FOwnedForms.push_back(component);
  try {
    rtl::Construct(instance);
  } catch (...) {
    std::erase(FOwnedForms, component);
    ASetReference(nullptr);
    throw;
  }
}

void TApplication::AddForm(IApplicationForm* AForm) {
  if (std::ranges::find(FForms, AForm) != FForms.end())
    return;
  FForms.push_back(AForm);
  rtl::TComponent* component = AForm->GetComponent();
  if (!component->Owner() && std::ranges::find(FOwnedForms, component) == FOwnedForms.end())
    FOwnedForms.push_back(component);
  if (!FMainForm && AForm->MayBecomeMainForm())
    FMainForm = AForm;
}

void TApplication::RemoveForm(IApplicationForm* AForm) {
  std::erase(FForms, AForm);
  // A form freed by its program is no longer the application's to free.
  std::erase(FOwnedForms, AForm->GetComponent());
  std::erase(FReleasedForms, AForm->GetComponent());
  if (FMainForm == AForm)
    FMainForm = nullptr;
}

void TApplication::BringFormToFront(IApplicationForm* AForm) {
  const auto it = std::ranges::find(FForms, AForm);
  if (it == FForms.end())
    return;
  FForms.erase(it);
  FForms.push_back(AForm);
}

void TApplication::ReleaseForm(IApplicationForm* AForm) {
  rtl::TComponent* component = AForm->GetComponent();
  if (std::ranges::find(FReleasedForms, component) == FReleasedForms.end())
    FReleasedForms.push_back(component);
}

void TApplication::DestroyForms() {
  while (!FReleasedForms.empty()) {
    rtl::TComponent* form = FReleasedForms.back();
    FReleasedForms.pop_back();
    form->Free();
  }
  while (!FOwnedForms.empty()) {
    rtl::TComponent* form = FOwnedForms.back();
    FOwnedForms.pop_back();
    form->Free();
  }
  FScreenshot.reset();
  std::lock_guard guard(FPresenterLock);
  FPresenter.reset();
}

void TApplication::HandleException(rtl::TObject* ASender, const std::string& AClassName,
                                   const std::string& AMessage) {
  if (!FOnException) {
    ShowException(AClassName, AMessage);
    return;
  }
  // A copy: the handler may replace itself.
  const TExceptionEvent handler = FOnException;
  try {
    handler(ASender, AClassName, AMessage);
  } catch (const std::exception& e) {
    rtl::Log::d(std::string_view("<ERROR> " + std::string(e.what())));
  }
}

void TApplication::ShowException(const std::string&, const std::string& AMessage) {
  rtl::Log::d(std::string_view("<ERROR> " + AMessage));
}

void TApplication::HandleException(rtl::TObject* ASender, std::exception_ptr AError) {
  try {
    std::rethrow_exception(AError);
  } catch (const rtl::EAbort&) {
  } catch (const rtl::Exception& e) {
    HandleException(ASender, e.ClassName(), e.Message());
  } catch (const std::exception& e) {
    HandleException(ASender, "Exception", e.what());
  } catch (...) {
    HandleException(ASender, "Exception", "unknown exception");
  }
}

void TApplication::AddPaintable(IPaintable* AScene) {
  if (std::ranges::find(FPaintables, AScene) == FPaintables.end())
    FPaintables.push_back(AScene);
}

void TApplication::RemovePaintable(IPaintable* AScene) {
  std::erase(FPaintables, AScene);
}

TApplication& Application() {
  static TApplication application;
  return application;
}

int RunApplication(const std::function<void()>& ABody, const std::function<void()>& AFinalise) {
  int result = 0;
  auto report = [&result](const std::string& AClassName, const std::string& AMessage) {
    std::fprintf(stderr, "%s: %s\n", AClassName.c_str(), AMessage.c_str());
    result = 1;
  };
  auto guarded = [&report](const std::function<void()>& AStep) {
    try {
      AStep();
    } catch (const rtl::Exception& e) {
      report(e.ClassName(), e.Message());
    } catch (const std::exception& e) {
      report("Exception", e.what());
    } catch (...) {
      report("Exception", "unknown exception");
    }
  };
  guarded(ABody);
  // Forms (their GL objects and threads) go before the units release the GL context.
  guarded([] { Application().DestroyForms(); });
  if (AFinalise)
    guarded(AFinalise);
  return result;
}

} // namespace ui
