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

struct TMonitorSlot {
  std::timed_mutex Mutex;
  std::atomic<const char*> Owner{nullptr};
  int Depth = 0;

  bool OwnedHere() const { return Owner.load(std::memory_order_relaxed) == &GThreadMark; }

  bool Acquire(uint32_t ATimeout) {
    if (OwnedHere()) {
      ++Depth;
      return true;
    }
    if (ATimeout == INFINITE)
      Mutex.lock();
    else if (!Mutex.try_lock_for(std::chrono::milliseconds(ATimeout)))
      return false;
    Owner.store(&GThreadMark, std::memory_order_relaxed);
    Depth = 1;
    return true;
  }

  bool TryAcquire() {
    if (OwnedHere()) {
      ++Depth;
      return true;
    }
    if (!Mutex.try_lock())
      return false;
    Owner.store(&GThreadMark, std::memory_order_relaxed);
    Depth = 1;
    return true;
  }

  void Release() {
    if (!OwnedHere())
      throw EInvalidOperation(LockNotOwned);
    if (--Depth > 0)
      return;
    Owner.store(nullptr, std::memory_order_relaxed);
    Mutex.unlock();
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
