#include "rtl/sync.h"

#include <chrono>
#include <memory>

#include "rtl/exceptions.h"
#include "rtl/object.h"

namespace rtl {

namespace {

constexpr const char* LockNotOwned = "Object lock not owned";

// Waits on ACondition for APredicate, INFINITE meaning no limit; returns the predicate's value.
template <class TPredicate>
bool WaitUntil(std::condition_variable& ACondition, std::unique_lock<std::mutex>& ALock, uint32_t ATimeout,
               TPredicate APredicate) {
  if (ATimeout == INFINITE) {
    ACondition.wait(ALock, APredicate);
    return true;
  }
  return ACondition.wait_for(ALock, std::chrono::milliseconds(ATimeout), APredicate);
}

} // namespace

bool TReentrantLock::TakeLocked(std::thread::id ASelf) {
  if (FDepth > 0 && FOwner != ASelf)
    return false;
  FOwner = ASelf;
  ++FDepth;
  return true;
}

void TReentrantLock::Acquire() {
  Acquire(INFINITE);
}

bool TReentrantLock::TryAcquire() {
  std::lock_guard guard(FMutex);
  return TakeLocked(std::this_thread::get_id());
}

bool TReentrantLock::Acquire(uint32_t ATimeout) {
  const auto self = std::this_thread::get_id();
  std::unique_lock lock(FMutex);
  return WaitUntil(FFree, lock, ATimeout, [&] { return TakeLocked(self); });
}

void TReentrantLock::Release() {
  // Notifies under the mutex: the next owner may destroy the lock as soon as it gets in.
  std::lock_guard guard(FMutex);
  if (FDepth == 0 || FOwner != std::this_thread::get_id())
    throw EInvalidOperation(LockNotOwned);
  if (--FDepth > 0)
    return;
  FOwner = {};
  FFree.notify_one();
}

bool TReentrantLock::HeldByCurrentThread() const {
  std::lock_guard guard(FMutex);
  return FDepth > 0 && FOwner == std::this_thread::get_id();
}

namespace detail {

// One timed mutex and its owner: re-entry by the owner only counts, so an uncontended pair is
// one lock and one unlock of the mutex. Only the owner writes Depth.
// A thread is known by the address of its own copy of GThreadMark: cheaper to read than its id.
thread_local char GThreadMark;

// An uncontended Enter is one compare-and-swap and its Exit one exchange; only a thread that must
// wait takes the mutex and sleeps on the condition. State: 0 free, 1 held, 2 held and someone may
// be waiting. Re-entry by the owner only counts; only the owner writes Depth.
struct TMonitorSlot {
  std::atomic<int> State{0};
  std::atomic<const char*> Owner{nullptr};
  int Depth = 0;
  std::mutex WaitLock;
  std::condition_variable Freed;

  bool OwnedHere() const { return Owner.load(std::memory_order_relaxed) == &GThreadMark; }

  bool TryTake(int AFrom, int ATo) {
    return State.compare_exchange_strong(AFrom, ATo, std::memory_order_acquire, std::memory_order_relaxed);
  }

  void Own() {
    Owner.store(&GThreadMark, std::memory_order_relaxed);
    Depth = 1;
  }

  // Takes the lock as held-with-waiters, so the release wakes the next waiter.
  bool Wait(uint32_t ATimeout) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeout);
    std::unique_lock lock(WaitLock);
    for (;;) {
      int state = State.load(std::memory_order_relaxed);
      if (state == 0 && TryTake(0, 2))
        return true;
      if (state == 1 && !TryTake(1, 2))
        continue;
      if (state == 0)
        continue;
      if (ATimeout == INFINITE)
        Freed.wait(lock);
      else if (Freed.wait_until(lock, deadline) == std::cv_status::timeout)
        return TryTake(0, 2);
    }
  }

  bool Acquire(uint32_t ATimeout) {
    if (OwnedHere()) {
      ++Depth;
      return true;
    }
    if (!TryTake(0, 1) && !Wait(ATimeout))
      return false;
    Own();
    return true;
  }

  bool TryAcquire() {
    if (OwnedHere()) {
      ++Depth;
      return true;
    }
    if (!TryTake(0, 1))
      return false;
    Own();
    return true;
  }

  void Release() {
    if (!OwnedHere())
      throw EInvalidOperation(LockNotOwned);
    if (--Depth > 0)
      return;
    Owner.store(nullptr, std::memory_order_relaxed);
    if (State.exchange(0, std::memory_order_release) == 2) {
      std::lock_guard lock(WaitLock);
      Freed.notify_all();
    }
  }
};

void FreeMonitorSlot(TMonitorSlot* ASlot) {
  delete ASlot;
}

} // namespace detail

namespace {

// The object's slot, made here when it has none yet; of two threads that race to make it, the
// first one to install its slot wins.
detail::TMonitorSlot& SlotOf(std::atomic<detail::TMonitorSlot*>& AField) {
  if (detail::TMonitorSlot* slot = AField.load(std::memory_order_acquire))
    return *slot;
  auto made = std::make_unique<detail::TMonitorSlot>();
  detail::TMonitorSlot* expected = nullptr;
  if (AField.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel))
    return *made.release();
  return *expected;
}

} // namespace

std::atomic<detail::TMonitorSlot*>& TMonitor::FieldOf(const TObject* AObject) {
  if (!AObject)
    throw EArgumentNilException("Monitor object must not be nil");
  return AObject->FMonitor;
}

void TMonitor::Enter(const TObject* AObject) {
  SlotOf(FieldOf(AObject)).Acquire(INFINITE);
}

bool TMonitor::Enter(const TObject* AObject, uint32_t ATimeout) {
  return SlotOf(FieldOf(AObject)).Acquire(ATimeout);
}

bool TMonitor::TryEnter(const TObject* AObject) {
  return SlotOf(FieldOf(AObject)).TryAcquire();
}

void TMonitor::Exit(const TObject* AObject) {
  detail::TMonitorSlot* slot = FieldOf(AObject).load(std::memory_order_acquire);
  if (!slot)
    throw EInvalidOperation(LockNotOwned);
  slot->Release();
}

void TEvent::SetEvent() {
  // Notifies under the mutex: a waiter may destroy the event as soon as its wait returns.
  std::lock_guard guard(FMutex);
  FSignaled = true;
  if (FManualReset)
    FChanged.notify_all();
  else
    FChanged.notify_one();
}

void TEvent::ResetEvent() {
  std::lock_guard guard(FMutex);
  FSignaled = false;
}

TWaitResult TEvent::WaitFor(uint32_t ATimeout) {
  std::unique_lock lock(FMutex);
  if (!WaitUntil(FChanged, lock, ATimeout, [&] { return FSignaled; }))
    return TWaitResult::wrTimeout;
  if (!FManualReset)
    FSignaled = false;
  return TWaitResult::wrSignaled;
}

} // namespace rtl
