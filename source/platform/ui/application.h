#pragma once
// The UI thread's message loop. A window-less application has no messages of its own: a pass of
// the loop hands over what other threads synchronized or queued, fires the due timers of the
// default timer service and paints the scenes that asked for it. Tests step the loop with
// ProcessMessages; an application runs it with Run until Terminate.
//
// Nothing raised by a call, a timer or a paint leaves the loop: each goes to HandleException,
// which hands it to OnException, or logs it when no handler is set.

#include <atomic>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "rtl/object.h"

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

class TApplication {
public:
  using TExceptionEvent =
      std::function<void(rtl::TObject* ASender, const std::string& AClassName, const std::string& AMessage)>;

  // One pass, on the main thread: the synchronized and queued calls that arrived before it, then
  // the due timers, then the pending paints. Re-entrant: a call, timer or paint may run it again;
  // a timer or paint that is running is not started again by the inner pass.
  void ProcessMessages();
  // Waits (real time) until a call is posted, the next timer falls due or AMaxMs passed,
  // whichever comes first, then runs one pass. Pending paints end the wait at once.
  void WaitAndProcess(int AMaxMs);
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
  const TExceptionEvent& GetOnException() const { return FOnException; }
  void SetOnException(TExceptionEvent AValue) { FOnException = std::move(AValue); }

  // Scenes register while they live, so the loop paints them.
  void AddPaintable(IPaintable* AScene);
  void RemovePaintable(IPaintable* AScene);

private:
  void ProcessCalls();
  void ProcessTimers();
  void ProcessPaints();
  bool PaintPending() const;

  std::atomic<bool> FTerminated{false};
  TExceptionEvent FOnException;
  std::vector<IPaintable*> FPaintables;
  // The scenes whose paint is running, so an inner pass does not paint them again.
  std::vector<IPaintable*> FPainting;
};

TApplication& Application();

} // namespace ui
