#include "rtl/sync.h"

#include <chrono>
#include <memory>
#include <unordered_map>

#include "rtl/exceptions.h"

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

namespace {

// One monitor per object that is held or waited for. Users counts the Enter calls not yet
// matched by an Exit (or a failed attempt), so the entry lives exactly as long as someone needs it.
struct TMonitorEntry {
  TReentrantLock Lock;
  int Users = 0;
};

class TMonitorTable {
public:
  std::shared_ptr<TMonitorEntry> Join(const TObject* AObject) {
    if (!AObject)
      throw EArgumentNilException("Monitor object must not be nil");
    std::lock_guard guard(FMutex);
    auto& entry = FEntries[AObject];
    if (!entry)
      entry = std::make_shared<TMonitorEntry>();
    ++entry->Users;
    return entry;
  }

  std::shared_ptr<TMonitorEntry> Find(const TObject* AObject) {
    std::lock_guard guard(FMutex);
    auto it = FEntries.find(AObject);
    if (it == FEntries.end())
      throw EInvalidOperation(LockNotOwned);
    return it->second;
  }

  void Leave(const TObject* AObject) {
    std::lock_guard guard(FMutex);
    auto it = FEntries.find(AObject);
    if (it != FEntries.end() && --it->second->Users == 0)
      FEntries.erase(it);
  }

private:
  std::mutex FMutex;
  std::unordered_map<const TObject*, std::shared_ptr<TMonitorEntry>> FEntries;
};

TMonitorTable& Monitors() {
  // Never destroyed: threads that outlive static destruction may still exit a monitor.
  static auto* table = new TMonitorTable;
  return *table;
}

} // namespace

void TMonitor::Enter(const TObject* AObject) {
  Enter(AObject, INFINITE);
}

bool TMonitor::Enter(const TObject* AObject, uint32_t ATimeout) {
  auto entry = Monitors().Join(AObject);
  if (entry->Lock.Acquire(ATimeout))
    return true;
  Monitors().Leave(AObject);
  return false;
}

bool TMonitor::TryEnter(const TObject* AObject) {
  auto entry = Monitors().Join(AObject);
  if (entry->Lock.TryAcquire())
    return true;
  Monitors().Leave(AObject);
  return false;
}

void TMonitor::Exit(const TObject* AObject) {
  Monitors().Find(AObject)->Lock.Release();
  Monitors().Leave(AObject);
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
