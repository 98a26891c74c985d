#pragma once
// Threads and the hand-over of work to the main (UI) thread. Workers pass calls to the main thread
// with Synchronize (waits until it ran) or Queue (does not wait); the main thread runs them when it
// calls CheckSynchronize, and while it waits for a thread in WaitFor, so a worker that synchronizes
// during shutdown cannot deadlock.
//
// The main thread is the one that first touched this module; static initialisation touches it, so
// by default that is the thread that runs the program's static initialisers, i.e. the process's main
// thread. SetMainThreadID changes it.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "rtl/object.h"

namespace rtl {

using TThreadMethod = std::function<void()>;

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

std::thread::id MainThreadID();
void SetMainThreadID(std::thread::id AThreadID = std::this_thread::get_id());
bool IsMainThread();

// On the main thread: runs the pending Synchronize and Queue calls in the order they arrived,
// waiting up to ATimeout ms for one when none is pending. Returns whether any ran. An exception of a
// queued call propagates from here (the calls behind it stay pending); one of a synchronized call
// goes to the thread that waits for it. Raises EThread on another thread.
bool CheckSynchronize(int ATimeout = 0);

// The calls waiting for the main thread: synchronized ones (each blocks its worker) and queued ones.
struct TPendingCalls {
  int Synchronized = 0;
  int Queued = 0;
  bool Any() const { return Synchronized + Queued > 0; }
};
TPendingCalls PendingCalls();
// Waits up to ATimeout ms (real time) until a call is pending, without running it; returns
// whether one is. Any thread may wait, e.g. a test for a worker's hand-over.
bool WaitForPendingCall(int ATimeout);

// Runs on the posting thread after every Synchronize or Queue call, so a main loop that waits
// somewhere else (a window's event queue) wakes up. nullptr for none; returns the previous hook.
using TWakeMainThread = void (*)();
TWakeMainThread SetWakeMainThread(TWakeMainThread AHook);

class TThread : public TObject {
  RTL_CLASS(TThread, TObject)
public:
  using TTerminateEvent = std::function<void(TObject* ASender)>;

  ~TThread() override;
  // Starts the thread unless it was created suspended.
  void AfterConstruction() override;
  // Terminates a running thread, resumes it if suspended and waits until it finished (servicing
  // synchronized calls on the main thread). A thread that was created suspended and never started
  // is not started: its Execute never runs.
  void BeforeDestruction() override;

  // Starts a thread created suspended. Raises EThread when it was started before.
  void Start();
  // Asks Execute to end; Execute polls Terminated.
  void Terminate();
  // Called from the thread itself this is also where a suspended thread parks until it is resumed
  // or terminated: suspension is cooperative and happens only at this check.
  bool Terminated();

  // True while created suspended and not started, or while suspension was asked for. Setting it
  // False starts a thread that was never started.
  bool GetSuspended() const;
  void SetSuspended(bool AValue);
  // True while the thread waits inside Terminated() for the end of a suspension.
  bool Parked() const { return FParked; }
  bool Started() const { return FStarted; }
  bool Finished() const { return FFinished; }

  // Waits until Execute and OnTerminate ran and returns ReturnValue. On the main thread it keeps
  // running synchronized and queued calls meanwhile; an exception of a queued call is raised after
  // the thread has finished. Raises EThread for a thread that was never started, that frees itself,
  // or when a thread waits for itself.
  int WaitFor();

  // A thread that frees itself does so on its own thread, right after OnTerminate ran; nothing may
  // touch it after it was started. Set it before Start. An exception that ended its Execute is
  // written to the debug log, since no one can read FatalException any more.
  bool GetFreeOnTerminate() const { return FFreeOnTerminate; }
  void SetFreeOnTerminate(bool AValue) { FFreeOnTerminate = AValue; }
  // A hint to the scheduler. Raising priority above normal needs privileges the process usually
  // lacks; then the thread keeps its priority.
  TThreadPriority GetPriority() const { return FPriority; }
  void SetPriority(TThreadPriority AValue);
  int GetReturnValue() const { return FReturnValue; }
  // The exception that ended Execute, or null.
  std::exception_ptr FatalException() const { return FFatalException; }
  std::thread::id ThreadID() const;
  // Runs on the main thread (through Synchronize) after Execute.
  const TTerminateEvent& GetOnTerminate() const { return FOnTerminate; }
  void SetOnTerminate(TTerminateEvent AValue) { FOnTerminate = std::move(AValue); }

  // Runs AMethod on the main thread and waits until it ran; directly when called on the main thread.
  // An exception of AMethod propagates to the caller.
  static void Synchronize(TThread* AThread, TThreadMethod AMethod);
  // Hands AMethod to the main thread without waiting; runs it directly on the main thread.
  static void Queue(TThread* AThread, TThreadMethod AMethod);
  // Drops the queued, not yet run calls that AThread queued (nullptr: those queued without thread).
  static void RemoveQueuedEvents(TThread* AThread);
  static void Queue(std::nullptr_t, TThreadMethod AMethod) { Queue(static_cast<TThread*>(nullptr), std::move(AMethod)); }
  static void RemoveQueuedEvents(std::nullptr_t) { RemoveQueuedEvents(static_cast<TThread*>(nullptr)); }
  // The same queue keyed by any object instead of a thread: on the main thread AMethod runs at
  // once, otherwise in arrival order at CheckSynchronize. An object that dies removes its pending
  // calls first, under the queue's lock, so none of them runs on freed memory.
  static void Queue(const void* AOwner, TThreadMethod AMethod);
  static void RemoveQueuedEvents(const void* AOwner);
  // A suspended thread that frees itself and runs AProc.
  static TThread* CreateAnonymousThread(TThreadMethod AProc);
  static void Yield();
  static void Sleep(uint32_t AMilliseconds);

protected:
  explicit TThread(bool ACreateSuspended);

  virtual void Execute() = 0;
  // Runs OnTerminate on the main thread.
  virtual void DoTerminate();
  // Runs on the thread that called Terminate.
  virtual void TerminatedSet() {}

  void Synchronize(TThreadMethod AMethod) { Synchronize(this, std::move(AMethod)); }
  void Queue(TThreadMethod AMethod) { Queue(this, std::move(AMethod)); }
  void SetReturnValue(int AValue) { FReturnValue = AValue; }

private:
  void Run();
  void ParkWhileSuspended();
  void Resume();
  void AwaitFinished(std::exception_ptr& AQueuedError);
  void Join();
  void ApplyPriority();
  bool OnOwnThread() const;

  const bool FCreateSuspended;
  std::atomic<bool> FStarted{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FSuspended{false};
  std::atomic<bool> FParked{false};
  std::atomic<bool> FFreeOnTerminate{false};
  std::atomic<TThreadPriority> FPriority{TThreadPriority::tpNormal};
  std::atomic<int> FReturnValue{0};
  std::atomic<int> FNativeID{0};
  std::exception_ptr FFatalException;
  TTerminateEvent FOnTerminate;

  // Guards the handle, the thread id and the suspension wake-up.
  mutable std::mutex FStateMutex;
  std::condition_variable FStateChanged;
  std::thread FHandle;
  std::thread::id FThreadID;
};

} // namespace rtl
