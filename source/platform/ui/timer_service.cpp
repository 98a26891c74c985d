#include "ui/timer_service.h"

#include <algorithm>

#include "rtl/stopwatch.h"

namespace ui {

TTimerHandle TProcessClockTimerService::CreateTimer(int AInterval, TTimerProc AProc) {
  auto entry = std::make_shared<TEntry>();
  entry->Handle = ++FLastHandle;
  entry->Interval = std::max(AInterval, 1);
  entry->Due = rtl::GetTickCount64() + entry->Interval;
  entry->Proc = std::move(AProc);
  FEntries.push_back(entry);
  return entry->Handle;
}

bool TProcessClockTimerService::DestroyTimer(TTimerHandle ATimer) {
  auto it = std::find_if(FEntries.begin(), FEntries.end(),
                         [ATimer](const auto& AEntry) { return AEntry->Handle == ATimer; });
  if (it == FEntries.end())
    return false;
  (*it)->Alive = false;
  FEntries.erase(it);
  return true;
}

double TProcessClockTimerService::GetTick() const {
  return static_cast<double>(rtl::TStopwatch::GetProcessTimeStamp()) / rtl::TStopwatch::Frequency;
}

bool TProcessClockTimerService::ProcessTimers(const TErrorHandler& AOnError) {
  const auto pass = FEntries;
  bool fired = false;
  std::exception_ptr firstError;
  for (const auto& entry : pass) {
    const int64_t now = rtl::GetTickCount64();
    if (!entry->Alive || entry->Running || entry->Due > now)
      continue;
    entry->Due += entry->Interval;
    if (entry->Due <= now)
      entry->Due = now + entry->Interval;
    fired = true;
    // A copy: the call may destroy its own timer and with it the entry's procedure. The entry
    // itself lives on in this pass's list.
    const TTimerProc proc = entry->Proc;
    entry->Running = true;
    struct TRunning {
      bool& Flag;
      ~TRunning() { Flag = false; }
    } running{entry->Running};
    try {
      proc();
    } catch (...) {
      if (!AOnError) {
        if (!firstError)
          firstError = std::current_exception();
        continue;
      }
      AOnError(std::current_exception());
    }
  }
  if (firstError)
    std::rethrow_exception(firstError);
  return fired;
}

int64_t TProcessClockTimerService::NextDue() const {
  int64_t result = std::numeric_limits<int64_t>::max();
  for (const auto& entry : FEntries)
    result = std::min(result, entry->Due);
  return result;
}

} // namespace ui
