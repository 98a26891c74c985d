#include "ui/application.h"

#include <algorithm>
#include <limits>

#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "rtl/stopwatch.h"
#include "rtl/threads.h"
#include "ui/platform_services.h"

namespace ui {

void TApplication::ProcessMessages() {
  ProcessCalls();
  ProcessTimers();
  ProcessPaints();
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
  // A copy: a paint may add or remove scenes.
  const auto scenes = FPaintables;
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
  if (PaintPending())
    wait = 0;
  const int64_t nextDue = TPlatformServices::Current().DefaultTimerService().NextDue();
  if (nextDue != std::numeric_limits<int64_t>::max())
    wait = std::clamp<int64_t>(nextDue - rtl::GetTickCount64(), 0, wait);
  if (wait > 0 && !FTerminated)
    rtl::WaitForPendingCall(static_cast<int>(wait));
  ProcessMessages();
}

void TApplication::Run() {
  // The bound lets a Terminate from another thread end the wait.
  constexpr int MaxWaitMs = 100;
  while (!FTerminated)
    WaitAndProcess(MaxWaitMs);
  FTerminated = false;
}

void TApplication::Terminate() {
  FTerminated = true;
}

void TApplication::HandleException(rtl::TObject* ASender, const std::string& AClassName,
                                   const std::string& AMessage) {
  if (!FOnException) {
    rtl::Log::d(std::string_view("<ERROR> " + AMessage));
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

} // namespace ui
