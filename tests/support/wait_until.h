#pragma once
// Bounded waiting for another thread: tests never sleep to let time pass, they wait for a
// condition and give up after a bound that only a broken program reaches.

#include <chrono>
#include <functional>
#include <thread>

namespace vtest {

inline constexpr int DefaultWaitMs = 5000;

// Polls APredicate (yielding between polls) until it holds or ATimeoutMs of real time passed;
// answers whether it held.
inline bool WaitUntil(const std::function<bool()>& APredicate, int ATimeoutMs = DefaultWaitMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
  while (!APredicate()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return APredicate();
    std::this_thread::yield();
  }
  return true;
}

} // namespace vtest
