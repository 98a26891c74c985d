#pragma once
// Synchronisation primitives of the runtime layer: a re-entrant critical section, per-object
// monitors, events and atomic helpers. Locks are plain RAII members, not TObject descendants, so a
// class holds one as a field without a factory.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <type_traits>

namespace rtl {

class TObject;

// Wait without a time limit.
inline constexpr uint32_t INFINITE = 0xFFFFFFFFu;

enum class TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError, wrIOCompletion };

// A lock the owning thread may take again; it is released when every Enter has its Leave.
// It tracks its owner so a release by another thread raises instead of corrupting the lock.
class TReentrantLock {
public:
  TReentrantLock() = default;
  TReentrantLock(const TReentrantLock&) = delete;
  TReentrantLock& operator=(const TReentrantLock&) = delete;

  void Acquire();
  bool TryAcquire();
  // False when the time ran out first.
  bool Acquire(uint32_t ATimeout);
  // Raises EInvalidOperation when the calling thread does not hold the lock.
  void Release();
  bool HeldByCurrentThread() const;

private:
  bool TakeLocked(std::thread::id ASelf);

  mutable std::mutex FMutex;
  std::condition_variable FFree;
  std::thread::id FOwner;
  int FDepth = 0;
};

class TCriticalSection {
public:
  void Enter() { FLock.Acquire(); }
  bool TryEnter() { return FLock.TryAcquire(); }
  void Leave() { FLock.Release(); }
  void Acquire() { Enter(); }
  void Release() { Leave(); }

  // The standard Lockable names, so std::scoped_lock and std::unique_lock work on it.
  void lock() { Enter(); }
  bool try_lock() { return TryEnter(); }
  void unlock() { Leave(); }

private:
  TReentrantLock FLock;
};

namespace detail {
struct TMonitorSlot;
// Frees an object's monitor slot when the object goes; nullptr does nothing.
void FreeMonitorSlot(TMonitorSlot* ASlot);
} // namespace detail

// A re-entrant lock on any object. Each object has a slot of its own, made on its first Enter and
// freed with the object, so an uncontended Enter/Exit pair takes no process-wide lock and
// allocates nothing.
class TMonitor {
public:
  static void Enter(const TObject* AObject);
  // False when the time ran out first; INFINITE waits like Enter.
  static bool Enter(const TObject* AObject, uint32_t ATimeout);
  static bool TryEnter(const TObject* AObject);
  // Raises EInvalidOperation "Object lock not owned" when the calling thread does not hold it.
  static void Exit(const TObject* AObject);

private:
  // The object's slot field; raises EArgumentNilException for nil.
  static std::atomic<detail::TMonitorSlot*>& FieldOf(const TObject* AObject);
};

// Holds an object's monitor for a scope.
class TMonitorLock {
public:
  explicit TMonitorLock(const TObject* AObject) : FObject(AObject) { TMonitor::Enter(AObject); }
  ~TMonitorLock() { TMonitor::Exit(FObject); }
  TMonitorLock(const TMonitorLock&) = delete;
  TMonitorLock& operator=(const TMonitorLock&) = delete;

private:
  const TObject* FObject;
};

class TEvent {
public:
  // A manual-reset event stays signalled until ResetEvent; an auto-reset one releases one waiter
  // and resets itself.
  explicit TEvent(bool AManualReset = true, bool AInitialState = false)
      : FManualReset(AManualReset), FSignaled(AInitialState) {}
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void SetEvent();
  void ResetEvent();
  TWaitResult WaitFor(uint32_t ATimeout = INFINITE);

private:
  std::mutex FMutex;
  std::condition_variable FChanged;
  const bool FManualReset;
  bool FSignaled;
};

// Atomic read-modify-write on integer fields that other code reads plainly (through
// std::atomic_ref) or on std::atomic fields. Increment, Decrement and Add return the new value;
// Exchange and CompareExchange return the value held before.
class TInterlocked {
public:
  template <class T> static T Increment(T& ATarget) { return Add(ATarget, T(1)); }
  template <class T> static T Decrement(T& ATarget) { return Add(ATarget, T(-1)); }
  template <class T> static T Add(T& ATarget, T AIncrement) {
    return Ref(ATarget).fetch_add(AIncrement) + AIncrement;
  }
  template <class T> static T Exchange(T& ATarget, T AValue) { return Ref(ATarget).exchange(AValue); }
  // Stores AValue when the target equals AComparand.
  template <class T> static T CompareExchange(T& ATarget, T AValue, T AComparand) {
    Ref(ATarget).compare_exchange_strong(AComparand, AValue);
    return AComparand;
  }

  template <class T> static T Increment(std::atomic<T>& ATarget) { return ++ATarget; }
  template <class T> static T Decrement(std::atomic<T>& ATarget) { return --ATarget; }
  template <class T> static T Add(std::atomic<T>& ATarget, T AIncrement) {
    return ATarget.fetch_add(AIncrement) + AIncrement;
  }
  template <class T> static T Exchange(std::atomic<T>& ATarget, T AValue) { return ATarget.exchange(AValue); }
  template <class T> static T CompareExchange(std::atomic<T>& ATarget, T AValue, T AComparand) {
    ATarget.compare_exchange_strong(AComparand, AValue);
    return AComparand;
  }

private:
  template <class T> static std::atomic_ref<T> Ref(T& ATarget) {
    static_assert(std::is_integral_v<T>, "TInterlocked works on integer fields");
    return std::atomic_ref<T>(ATarget);
  }
};

} // namespace rtl
