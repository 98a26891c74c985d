#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "rtl/exceptions.h"
#include "rtl/object.h"
#include "rtl/sync.h"

namespace {

class TPlain : public rtl::TObject {};

// Runs AWork on another thread and waits for it to end.
template <class TWork> void OnOtherThread(TWork AWork) {
  std::thread(AWork).join();
}

TEST(CriticalSection, IsReentrantAndHeldUntilEveryEnterIsLeft) {
  rtl::TCriticalSection section;
  section.Enter();
  section.Enter();
  EXPECT_TRUE(section.TryEnter());
  bool otherGotIt = true;
  OnOtherThread([&] { otherGotIt = section.TryEnter(); });
  EXPECT_FALSE(otherGotIt);
  section.Leave();
  section.Leave();
  OnOtherThread([&] { otherGotIt = section.TryEnter(); });
  EXPECT_FALSE(otherGotIt);
  section.Leave();
  OnOtherThread([&] {
    otherGotIt = section.TryEnter();
    section.Leave();
  });
  EXPECT_TRUE(otherGotIt);
}

TEST(CriticalSection, LeaveWithoutOwningRaises) {
  rtl::TCriticalSection section;
  EXPECT_THROW(section.Leave(), rtl::EInvalidOperation);
  section.Enter();
  OnOtherThread([&] { EXPECT_THROW(section.Leave(), rtl::EInvalidOperation); });
  section.Leave();
}

TEST(CriticalSection, SerialisesConcurrentWriters) {
  rtl::TCriticalSection section;
  int64_t total = 0;
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t)
    workers.emplace_back([&] {
      for (int i = 0; i < 5000; ++i) {
        std::scoped_lock lock(section);
        std::scoped_lock again(section);
        ++total;
      }
    });
  for (auto& w : workers)
    w.join();
  EXPECT_EQ(total, 20000);
}

TEST(Monitor, BlocksOtherThreadsUntilTheLastExit) {
  auto object = rtl::MakeOwned<TPlain>();
  auto other = rtl::MakeOwned<TPlain>();
  rtl::TMonitor::Enter(object.get());
  EXPECT_TRUE(rtl::TMonitor::TryEnter(object.get()));

  bool gotObject = true, gotOther = false;
  OnOtherThread([&] {
    gotObject = rtl::TMonitor::TryEnter(object.get());
    gotOther = rtl::TMonitor::TryEnter(other.get());
    rtl::TMonitor::Exit(other.get());
  });
  EXPECT_FALSE(gotObject);
  EXPECT_TRUE(gotOther);

  // The waiter records how many exits it saw when it got in; only the last one lets it in.
  std::atomic<int> exits = 0;
  int exitsSeenByWaiter = -1;
  rtl::TEvent waiting;
  std::thread waiter([&] {
    waiting.SetEvent();
    rtl::TMonitorLock lock(object.get());
    exitsSeenByWaiter = exits;
  });
  waiting.WaitFor();
  exits = 1;
  rtl::TMonitor::Exit(object.get());
  exits = 2;
  rtl::TMonitor::Exit(object.get());
  waiter.join();
  EXPECT_EQ(exitsSeenByWaiter, 2);
  EXPECT_TRUE(rtl::TMonitor::Enter(object.get(), 0));
  rtl::TMonitor::Exit(object.get());
}

// Two threads take turns on 10,000 objects, each incrementing a plain counter of the object inside
// its monitor: a lost increment would show a broken exclusion, also while slots are being made.
TEST(Monitor, KeepsMutualExclusionAcrossManyObjects) {
  struct TCounted : rtl::TObject {
    int64_t Count = 0;
  };
  std::vector<rtl::TOwned<TCounted>> objects;
  for (int index = 0; index < 10000; ++index)
    objects.push_back(rtl::MakeOwned<TCounted>());
  constexpr int Rounds = 20;
  auto work = [&] {
    for (int round = 0; round < Rounds; ++round)
      for (const auto& object : objects) {
        rtl::TMonitorLock lock(object.get());
        ++object->Count;
      }
  };
  std::thread first(work), second(work);
  first.join();
  second.join();
  for (const auto& object : objects)
    ASSERT_EQ(object->Count, 2 * Rounds);
}

TEST(Monitor, ExitWithoutEnterRaises) {
  auto object = rtl::MakeOwned<TPlain>();
  EXPECT_THROW(rtl::TMonitor::Exit(object.get()), rtl::EInvalidOperation);
  rtl::TMonitor::Enter(object.get());
  OnOtherThread([&] { EXPECT_THROW(rtl::TMonitor::Exit(object.get()), rtl::EInvalidOperation); });
  rtl::TMonitor::Exit(object.get());
  EXPECT_THROW(rtl::TMonitor::Exit(object.get()), rtl::EInvalidOperation);
  EXPECT_THROW(rtl::TMonitor::Enter(nullptr), rtl::EArgumentNilException);
}

TEST(Event, ManualAndAutoReset) {
  struct TCase {
    bool ManualReset, InitialState;
    std::vector<rtl::TWaitResult> Waits;
  };
  using enum rtl::TWaitResult;
  const TCase cases[] = {
      {true, false, {wrTimeout}},
      {true, true, {wrSignaled, wrSignaled}},
      {false, true, {wrSignaled, wrTimeout}},
  };
  for (const auto& c : cases) {
    rtl::TEvent event(c.ManualReset, c.InitialState);
    std::vector<rtl::TWaitResult> waits;
    for (size_t i = 0; i < c.Waits.size(); ++i)
      waits.push_back(event.WaitFor(0));
    EXPECT_EQ(waits, c.Waits) << "manual " << c.ManualReset << " initial " << c.InitialState;
  }
  rtl::TEvent event;
  event.SetEvent();
  event.ResetEvent();
  EXPECT_EQ(event.WaitFor(0), wrTimeout);
  std::thread setter([&] { event.SetEvent(); });
  EXPECT_EQ(event.WaitFor(), wrSignaled);
  setter.join();
}

TEST(Interlocked, ReturnsTheDocumentedValues) {
  int32_t value = 5;
  EXPECT_EQ(rtl::TInterlocked::Increment(value), 6);
  EXPECT_EQ(rtl::TInterlocked::Decrement(value), 5);
  EXPECT_EQ(rtl::TInterlocked::Add(value, 10), 15);
  EXPECT_EQ(rtl::TInterlocked::Exchange(value, 3), 15);
  EXPECT_EQ(rtl::TInterlocked::CompareExchange(value, 9, 4), 3);
  EXPECT_EQ(value, 3);
  EXPECT_EQ(rtl::TInterlocked::CompareExchange(value, 9, 3), 3);
  EXPECT_EQ(value, 9);

  std::atomic<int64_t> counter = 0;
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t)
    workers.emplace_back([&] {
      for (int i = 0; i < 10000; ++i)
        rtl::TInterlocked::Increment(counter);
    });
  for (auto& w : workers)
    w.join();
  EXPECT_EQ(counter, 40000);
  EXPECT_EQ(rtl::TInterlocked::CompareExchange(counter, int64_t(1), int64_t(40000)), 40000);
  EXPECT_EQ(counter, 1);
}

} // namespace
