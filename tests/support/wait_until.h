#pragma once
// Waits for another thread to reach a state: polls APredicate (yielding in between) until it
// holds or ATimeoutMs of real time passed. Returns whether it held. The bound only keeps a broken
// test from hanging; passing tests never wait for it.

#include <chrono>
#include <functional>
#include <thread>

namespace vtest {

inline bool WaitUntil(const std::function<bool()>& APredicate, int ATimeoutMs = 10'000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
  while (!APredicate()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::yield();
  }
  return true;
}

} // namespace vtest
