#include "utils/Vantrel.Utils.Timer.h"

#include <string>
#include <thread>

#include "rtl/exceptions.h"
#include "rtl/properties.h"
#include "rtl/sync.h"
#include "ui/application.h"

namespace vantrel {

namespace {

constexpr int64_t TicksPerMillisecond = TStopwatch::Frequency / 1000;
constexpr int64_t WindowMilliseconds = 1000;

// The class name and message of the exception being handled.
void DescribeCurrentException(std::string& AClassName, std::string& AMessage) {
  try {
    throw;
  } catch (const Exception& e) {
    AClassName = e.ClassName();
    AMessage = e.Message();
  } catch (const std::exception& e) {
    AClassName = "Exception";
    AMessage = e.what();
  } catch (...) {
    AClassName = "Exception";
    AMessage = "unknown exception";
  }
}

} // namespace

RTL_DEFINE_CLASS(TVantrelTimer, "Vantrel.Utils.Timer", &TVantrelTimer::RegisterProperties)

TVantrelTimer::TVantrelTimer() : TThread(true) {
  SetPriority(TThreadPriority::tpHigher);
  FCadencer.Reset();
}

void TVantrelTimer::RegisterProperties(TPropertyList& AList) {
  AList.Add("Mode", &TVantrelTimer::GetMode, &TVantrelTimer::SetMode).WithDefault(TVantrelTimerMode::Synchronized);
  AList.Add("Interval", &TVantrelTimer::GetInterval, &TVantrelTimer::SetInterval).WithDefault(int32_t(1000));
  AList.AddEvent("OnTimer", &TVantrelTimer::FOnTimer);
}

void TVantrelTimer::SetMode(TVantrelTimerMode AValue) {
  TMonitorLock lock(this);
  FMode = AValue;
}

void TVantrelTimer::SetInterval(int32_t AValue) {
  TMonitorLock lock(this);
  FInterval = AValue;
}

TOnTimerEvent TVantrelTimer::GetOnTimer() const {
  TMonitorLock lock(this);
  return FOnTimer;
}

void TVantrelTimer::SetOnTimer(const TOnTimerEvent& AValue) {
  TMonitorLock lock(this);
  FOnTimer = AValue;
}

bool TVantrelTimer::GetActive() const {
  return Started() && !GetSuspended();
}

void TVantrelTimer::SetActive(bool AValue) {
  TMonitorLock lock(this);
  SetSuspended(!AValue);
}

void TVantrelTimer::Execute() {
  FFrameCount = 0;
  FCadencer.Start();
  FWindowStart = TStopwatch::GetTimeStamp();
  // Terminated() is also where a paused timer parks; the cadencer and the window keep running
  // meanwhile, so the first interval after a resume is due at once.
  while (!Terminated()) {
    if (FCadencer.ElapsedMilliseconds() >= static_cast<int64_t>(FInterval.load())) {
      ++FFrameCount;
      // The next interval counts from here: time spent in the handler belongs to it.
      FCadencer.Reset();
      FCadencer.Start();
      HandOver();
    }
    MeasureWindow();
    std::this_thread::yield();
  }
}

void TVantrelTimer::HandOver() {
  TOnTimerEvent handler;
  {
    TMonitorLock lock(this);
    handler = FOnTimer;
  }
  if (!handler)
    return;
  switch (FMode.load()) {
  case TVantrelTimerMode::Synchronized:
    try {
      Synchronize([this, handler] { handler(this); });
    } catch (...) {
      // Ending the thread here would stop every later frame without a word: the error goes to
      // the application's handler instead, and the timing goes on.
      std::string className, message;
      DescribeCurrentException(className, message);
      Queue([this, className, message] { Application().HandleException(this, className, message); });
    }
    break;
  case TVantrelTimerMode::Enqueued:
    // A queued call's exception reaches the application's handler through its message loop.
    Queue([this, handler] { handler(this); });
    break;
  }
}

void TVantrelTimer::MeasureWindow() {
  const int64_t now = TStopwatch::GetTimeStamp();
  const int64_t elapsed = (now - FWindowStart) / TicksPerMillisecond;
  if (elapsed < WindowMilliseconds)
    return;
  if (FFrameCount > 0)
    FLastFPS = static_cast<float>(static_cast<double>(FFrameCount) / (static_cast<double>(elapsed) / 1000.0));
  FFrameCount = 0;
  FWindowStart = now;
}

} // namespace vantrel
