#include "rtl/threads.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "rtl/exceptions.h"
#include "rtl/log.h"

namespace rtl {

namespace {

std::atomic<std::thread::id>& MainID() {
  static std::atomic<std::thread::id> id{std::this_thread::get_id()};
  return id;
}
// Touching the module during static initialisation makes the initialising thread the main thread.
[[maybe_unused]] const bool MainIDTouched = (MainID(), true);

// A Synchronize in progress: the worker waits until Done.
struct TSyncCall {
  TThreadMethod Method;
  bool Done = false;
  std::exception_ptr Error;
};

struct TPendingCall {
  // The thread or other object the call was queued for.
  const void* Owner;
  uint64_t Sequence;
  TThreadMethod Method;            // a queued call
  std::shared_ptr<TSyncCall> Sync; // or a synchronized one
};

struct TSyncQueue {
  std::mutex Mutex;
  // Calls arrived or a thread finished.
  std::condition_variable MainWake;
  // A synchronized call ran.
  std::condition_variable CallDone;
  std::deque<TPendingCall> Pending;
  uint64_t NextSequence = 0;
};

TSyncQueue& SyncQueue() {
  // Never destroyed: threads still running during static destruction may synchronize.
  static auto* queue = new TSyncQueue;
  return *queue;
}

std::atomic<TWakeMainThread> WakeHook{nullptr};

void Enqueue(const void* AThread, TThreadMethod AMethod, std::shared_ptr<TSyncCall> ASync) {
  auto& queue = SyncQueue();
  {
    std::lock_guard guard(queue.Mutex);
    queue.Pending.push_back({AThread, queue.NextSequence++, std::move(AMethod), std::move(ASync)});
  }
  queue.MainWake.notify_all();
  if (TWakeMainThread hook = WakeHook.load())
    hook();
}

// Runs one synchronized call on the main thread and hands its outcome to the waiting worker.
void RunSynchronized(TSyncCall& ACall) {
  std::exception_ptr error;
  {
    // The worker is blocked until Done, so only this thread touches Method now.
    TThreadMethod method = std::move(ACall.Method);
    try {
      method();
    } catch (...) {
      error = std::current_exception();
    }
  }
  auto& queue = SyncQueue();
  {
    std::lock_guard guard(queue.Mutex);
    ACall.Error = error;
    ACall.Done = true;
  }
  queue.CallDone.notify_all();
}

// Takes the oldest pending call that arrived before ALimit; calls queued by the calls being run
// wait for the next round, so a call that queues itself cannot keep CheckSynchronize busy forever.
bool TakeNext(uint64_t ALimit, TPendingCall& ACall) {
  auto& queue = SyncQueue();
  std::lock_guard guard(queue.Mutex);
  if (queue.Pending.empty() || queue.Pending.front().Sequence >= ALimit)
    return false;
  ACall = std::move(queue.Pending.front());
  queue.Pending.pop_front();
  return true;
}

std::string DescribeException(const std::exception_ptr& AError) {
  try {
    std::rethrow_exception(AError);
  } catch (const Exception& e) {
    return std::string(e.ClassName()) + ": " + e.Message();
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown exception";
  }
}

int NiceValue(TThreadPriority APriority) {
  switch (APriority) {
  case TThreadPriority::tpIdle:
    return 19;
  case TThreadPriority::tpLowest:
    return 10;
  case TThreadPriority::tpLower:
    return 5;
  case TThreadPriority::tpNormal:
    return 0;
  case TThreadPriority::tpHigher:
    return -5;
  case TThreadPriority::tpHighest:
    return -10;
  case TThreadPriority::tpTimeCritical:
    return -20;
  }
  return 0;
}

class TAnonymousThread : public TThread {
  RTL_CLASS(TAnonymousThread, TThread)
public:
  explicit TAnonymousThread(TThreadMethod AProc) : TThread(true), FProc(std::move(AProc)) {
    SetFreeOnTerminate(true);
  }

protected:
  void Execute() override { FProc(); }

private:
  TThreadMethod FProc;
};
RTL_DEFINE_CLASS(TAnonymousThread, "System")

} // namespace

std::thread::id MainThreadID() {
  return MainID().load();
}

void SetMainThreadID(std::thread::id AThreadID) {
  MainID().store(AThreadID);
}

bool IsMainThread() {
  return std::this_thread::get_id() == MainThreadID();
}

bool CheckSynchronize(int ATimeout) {
  if (!IsMainThread())
    throw EThread("CheckSynchronize called from a thread other than the main thread");
  auto& queue = SyncQueue();
  uint64_t limit;
  {
    std::unique_lock lock(queue.Mutex);
    if (ATimeout > 0)
      queue.MainWake.wait_for(lock, std::chrono::milliseconds(ATimeout),
                              [&] { return !queue.Pending.empty(); });
    limit = queue.NextSequence;
  }
  bool ran = false;
  TPendingCall call;
  while (TakeNext(limit, call)) {
    ran = true;
    if (call.Sync)
      RunSynchronized(*call.Sync);
    else
      std::exchange(call.Method, nullptr)();
  }
  return ran;
}

TPendingCalls PendingCalls() {
  auto& queue = SyncQueue();
  std::lock_guard guard(queue.Mutex);
  TPendingCalls result;
  for (const TPendingCall& call : queue.Pending)
    ++(call.Sync ? result.Synchronized : result.Queued);
  return result;
}

TWakeMainThread SetWakeMainThread(TWakeMainThread AHook) {
  return WakeHook.exchange(AHook);
}

bool WaitForPendingCall(int ATimeout) {
  auto& queue = SyncQueue();
  std::unique_lock lock(queue.Mutex);
  return queue.MainWake.wait_for(lock, std::chrono::milliseconds(std::max(ATimeout, 0)),
                                 [&] { return !queue.Pending.empty(); });
}

RTL_DEFINE_CLASS(TThread, "System")

TThread::TThread(bool ACreateSuspended) : FCreateSuspended(ACreateSuspended) {}

TThread::~TThread() = default;

void TThread::AfterConstruction() {
  inherited::AfterConstruction();
  if (!FCreateSuspended)
    Start();
}

void TThread::BeforeDestruction() {
  inherited::BeforeDestruction();
  if (OnOwnThread()) {
    // Freeing itself after Execute: nothing is left to wait for.
    std::lock_guard guard(FStateMutex);
    FHandle.detach();
  } else if (FStarted) {
    Terminate();
    Resume();
    std::exception_ptr queuedError;
    AwaitFinished(queuedError);
    Join();
    if (queuedError)
      Log::d("Queued call raised while freeing thread " + ClassName() + ": " +
             DescribeException(queuedError));
  }
  RemoveQueuedEvents(this);
}

void TThread::Start() {
  std::lock_guard guard(FStateMutex);
  if (FStarted.exchange(true))
    throw EThread("Cannot call Start on a running or suspended thread");
  try {
    FHandle = std::thread([this] { Run(); });
  } catch (const std::system_error& e) {
    FStarted = false;
    throw EThread(std::string("Thread creation error: ") + e.what());
  }
  FThreadID = FHandle.get_id();
}

void TThread::Run() {
  {
    // Start publishes the handle and id under this lock before the body may look at them.
    std::lock_guard guard(FStateMutex);
  }
  FNativeID = gettid();
  ApplyPriority();
  try {
    Execute();
  } catch (...) {
    FFatalException = std::current_exception();
  }
  try {
    DoTerminate();
  } catch (...) {
    if (!FFatalException)
      FFatalException = std::current_exception();
  }
  FNativeID = 0;
  const bool freeSelf = FFreeOnTerminate;
  auto& queue = SyncQueue();
  {
    std::lock_guard guard(queue.Mutex);
    FFinished = true;
  }
  queue.MainWake.notify_all();
  if (!freeSelf)
    return;
  if (FFatalException)
    Log::d("Thread " + ClassName() + " ended with " + DescribeException(FFatalException));
  Free();
}

void TThread::DoTerminate() {
  if (FOnTerminate)
    Synchronize([this] { FOnTerminate(this); });
}

void TThread::Terminate() {
  FTerminated = true;
  {
    // Pairs with the predicate check in ParkWhileSuspended so the wake-up cannot be lost.
    std::lock_guard guard(FStateMutex);
  }
  FStateChanged.notify_all();
  TerminatedSet();
}

bool TThread::Terminated() {
  if (FSuspended && OnOwnThread())
    ParkWhileSuspended();
  return FTerminated;
}

void TThread::ParkWhileSuspended() {
  std::unique_lock lock(FStateMutex);
  FParked = true;
  FStateChanged.wait(lock, [&] { return !FSuspended || FTerminated; });
  FParked = false;
}

bool TThread::GetSuspended() const {
  return (FCreateSuspended && !FStarted) || FSuspended;
}

void TThread::SetSuspended(bool AValue) {
  if (!FStarted) {
    if (!AValue)
      Start();
    return;
  }
  if (!AValue) {
    Resume();
    return;
  }
  std::lock_guard guard(FStateMutex);
  FSuspended = true;
}

void TThread::Resume() {
  {
    std::lock_guard guard(FStateMutex);
    FSuspended = false;
  }
  FStateChanged.notify_all();
}

int TThread::WaitFor() {
  if (OnOwnThread())
    throw EThread("A thread cannot wait for itself");
  if (FFreeOnTerminate)
    throw EThread("Cannot wait for a thread that frees itself on termination");
  if (!FStarted)
    throw EThread("Cannot wait for a thread that was never started");
  std::exception_ptr queuedError;
  AwaitFinished(queuedError);
  Join();
  if (queuedError)
    std::rethrow_exception(queuedError);
  return FReturnValue;
}

void TThread::AwaitFinished(std::exception_ptr& AQueuedError) {
  auto& queue = SyncQueue();
  if (!IsMainThread()) {
    std::unique_lock lock(queue.Mutex);
    queue.MainWake.wait(lock, [&] { return FFinished.load(); });
    return;
  }
  for (;;) {
    {
      std::unique_lock lock(queue.Mutex);
      queue.MainWake.wait(lock, [&] { return FFinished || !queue.Pending.empty(); });
      if (FFinished)
        return;
    }
    try {
      CheckSynchronize();
    } catch (...) {
      if (!AQueuedError)
        AQueuedError = std::current_exception();
    }
  }
}

void TThread::Join() {
  std::lock_guard guard(FStateMutex);
  if (FHandle.joinable())
    FHandle.join();
}

bool TThread::OnOwnThread() const {
  std::lock_guard guard(FStateMutex);
  return FThreadID == std::this_thread::get_id();
}

std::thread::id TThread::ThreadID() const {
  std::lock_guard guard(FStateMutex);
  return FThreadID;
}

void TThread::SetPriority(TThreadPriority AValue) {
  FPriority = AValue;
  ApplyPriority();
}

void TThread::ApplyPriority() {
  // Linux keeps a nice value per thread; a raise without privileges fails and changes nothing.
  if (const int tid = FNativeID)
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceValue(FPriority));
}

void TThread::Synchronize(TThread* AThread, TThreadMethod AMethod) {
  if (IsMainThread()) {
    AMethod();
    return;
  }
  auto call = std::make_shared<TSyncCall>();
  call->Method = std::move(AMethod);
  Enqueue(AThread, nullptr, call);
  auto& queue = SyncQueue();
  {
    std::unique_lock lock(queue.Mutex);
    queue.CallDone.wait(lock, [&] { return call->Done; });
  }
  if (call->Error)
    std::rethrow_exception(call->Error);
}

void TThread::Queue(TThread* AThread, TThreadMethod AMethod) {
  if (IsMainThread())
    AMethod();
  else
    Enqueue(AThread, std::move(AMethod), nullptr);
}

void TThread::RemoveQueuedEvents(TThread* AThread) {
  RemoveQueuedEvents(static_cast<const void*>(AThread));
}

void TThread::Queue(const void* AOwner, TThreadMethod AMethod) {
  if (IsMainThread())
    AMethod();
  else
    Enqueue(AOwner, std::move(AMethod), nullptr);
}

void TThread::RemoveQueuedEvents(const void* AOwner) {
  auto& queue = SyncQueue();
  std::lock_guard guard(queue.Mutex);
  std::erase_if(queue.Pending,
                [&](const TPendingCall& ACall) { return !ACall.Sync && ACall.Owner == AOwner; });
}

TThread* TThread::CreateAnonymousThread(TThreadMethod AProc) {
  return New<TAnonymousThread>(std::move(AProc));
}

void TThread::Yield() {
  std::this_thread::yield();
}

void TThread::Sleep(uint32_t AMilliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(AMilliseconds));
}

} // namespace rtl
