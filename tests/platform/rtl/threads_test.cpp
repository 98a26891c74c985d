#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "rtl/stopwatch.h"
#include "rtl/sync.h"
#include "rtl/threads.h"
#include "support/log_capture.h"
#include "support/wait_until.h"

namespace {

// A thread whose body is given by the test.
class TLambdaThread : public rtl::TThread {
  RTL_CLASS(TLambdaThread, rtl::TThread)
public:
  using TBody = std::function<void(TLambdaThread&)>;
  TLambdaThread(bool ACreateSuspended, TBody ABody, rtl::TEvent* AFreed = nullptr)
      : TThread(ACreateSuspended), FBody(std::move(ABody)), FFreed(AFreed) {}
  ~TLambdaThread() override {
    if (FFreed)
      FFreed->SetEvent();
  }

  using TThread::Queue;
  using TThread::SetReturnValue;
  using TThread::Synchronize;

protected:
  void Execute() override { FBody(*this); }

private:
  TBody FBody;
  rtl::TEvent* FFreed;
};
RTL_DEFINE_CLASS(TLambdaThread, "Test.Threads")

rtl::TOwned<TLambdaThread> StartThread(TLambdaThread::TBody ABody) {
  return rtl::MakeOwned<TLambdaThread>(false, std::move(ABody));
}

TEST(Threads, TheTestRunnerIsTheMainThread) {
  EXPECT_TRUE(rtl::IsMainThread());
  EXPECT_EQ(rtl::MainThreadID(), std::this_thread::get_id());
}

TEST(Threads, SynchronizeRunsOnTheMainThreadAndPassesExceptionsBack) {
  std::thread::id ranOn;
  std::string caught;
  auto worker = StartThread([&](TLambdaThread& self) {
    self.Synchronize([&] { ranOn = std::this_thread::get_id(); });
    try {
      self.Synchronize([] { throw rtl::EArgumentException("refused"); });
    } catch (const rtl::EArgumentException& e) {
      caught = e.Message();
    }
    self.SetReturnValue(7);
  });
  EXPECT_EQ(worker->WaitFor(), 7);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(caught, "refused");
  EXPECT_FALSE(worker->FatalException());
}

TEST(Threads, SynchronizeOnTheMainThreadRunsDirectly) {
  bool ran = false;
  rtl::TThread::Synchronize(nullptr, [&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_THROW(rtl::TThread::Synchronize(nullptr, [] { throw rtl::EAbort("stop"); }), rtl::EAbort);
  bool queued = false;
  rtl::TThread::Queue(nullptr, [&] { queued = true; });
  EXPECT_TRUE(queued);
}

TEST(Threads, WaitForAndFreeOnTheMainThreadKeepServingSynchronize) {
  std::atomic<int> served = 0;
  std::thread::id terminateRanOn;
  auto worker = StartThread([&](TLambdaThread& self) {
    for (int i = 0; i < 50; ++i)
      self.Synchronize([&] { ++served; });
  });
  worker->SetOnTerminate([&](rtl::TObject* ASender) {
    EXPECT_EQ(ASender, worker.get());
    terminateRanOn = std::this_thread::get_id();
  });
  worker->WaitFor();
  EXPECT_EQ(served, 50);
  EXPECT_EQ(terminateRanOn, std::this_thread::get_id());
  EXPECT_TRUE(worker->Finished());

  // Freeing a thread that is still synchronizing terminates it and serves its calls meanwhile.
  rtl::TEvent looping;
  auto endless = StartThread([&](TLambdaThread& self) {
    while (!self.Terminated()) {
      looping.SetEvent();
      self.Synchronize([] {});
    }
  });
  looping.WaitFor();
  endless.reset();
}

TEST(Threads, QueuedExceptionsPropagateFromCheckSynchronizeAndLeaveTheRestPending) {
  std::vector<std::string> order;
  rtl::TEvent queued, release;
  auto worker = StartThread([&](TLambdaThread& self) {
    self.Queue([&] { order.push_back("dropped"); });
    rtl::TThread::Queue(nullptr, [&] { order.push_back("b"); });
    self.Queue([&] { order.push_back("dropped too"); });
    rtl::TThread::Queue(nullptr, [] { throw rtl::EListError("queued failure"); });
    rtl::TThread::Queue(nullptr, [&] { order.push_back("c"); });
    queued.SetEvent();
    release.WaitFor();
  });
  queued.WaitFor();
  rtl::TThread::RemoveQueuedEvents(worker.get());
  EXPECT_THROW(rtl::CheckSynchronize(), rtl::EListError);
  EXPECT_EQ(order, std::vector<std::string>{"b"});
  EXPECT_TRUE(rtl::CheckSynchronize());
  EXPECT_EQ(order, (std::vector<std::string>{"b", "c"}));
  EXPECT_FALSE(rtl::CheckSynchronize());
  release.SetEvent();
  worker->WaitFor();
}

TEST(Threads, AnExceptionInExecuteIsCapturedNotFatal) {
  auto worker = StartThread([](TLambdaThread&) { throw rtl::EConvertError("bad number"); });
  worker->WaitFor();
  ASSERT_TRUE(worker->FatalException());
  EXPECT_THROW(std::rethrow_exception(worker->FatalException()), rtl::EConvertError);
}

TEST(Threads, SuspensionIsCooperativeAndTerminationWakesASuspendedThread) {
  std::atomic<int> rounds = 0;
  rtl::TEvent suspendedItself;
  auto worker = rtl::MakeOwned<TLambdaThread>(true, [&](TLambdaThread& self) {
    self.SetSuspended(true);
    suspendedItself.SetEvent();
    while (!self.Terminated())
      ++rounds;
  });
  EXPECT_TRUE(worker->GetSuspended());
  EXPECT_FALSE(worker->Started());
  worker->SetSuspended(false);
  EXPECT_TRUE(worker->Started());
  suspendedItself.WaitFor();
  EXPECT_TRUE(worker->GetSuspended());
  // The worker parks at its first Terminated check; freeing it terminates and wakes it.
  worker.reset();
  EXPECT_EQ(rounds, 0);
}

TEST(Threads, ASuspendedThreadResumes) {
  rtl::TEvent suspendedItself, resumed;
  auto worker = StartThread([&](TLambdaThread& self) {
    self.SetSuspended(true);
    suspendedItself.SetEvent();
    self.Terminated();
    resumed.SetEvent();
  });
  suspendedItself.WaitFor();
  worker->SetSuspended(false);
  EXPECT_EQ(resumed.WaitFor(), rtl::TWaitResult::wrSignaled);
  worker->WaitFor();
}

TEST(Threads, PendingCallsAndAParkedThreadAreVisibleFromOutside) {
  EXPECT_FALSE(rtl::PendingCalls().Any());
  EXPECT_FALSE(rtl::WaitForPendingCall(0));
  rtl::TEvent queued;
  auto worker = StartThread([&](TLambdaThread& self) {
    self.Queue([] {});
    queued.SetEvent();
    self.Synchronize([] {});
    self.SetSuspended(true);
    while (!self.Terminated()) {
    }
  });
  queued.WaitFor();
  // The queued call is there at once; the synchronized one follows it.
  ASSERT_TRUE(rtl::WaitForPendingCall(10'000));
  ASSERT_TRUE(vtest::WaitUntil([] { return rtl::PendingCalls().Synchronized == 1; }));
  EXPECT_EQ(rtl::PendingCalls().Queued, 1);
  EXPECT_EQ(rtl::PendingCalls().Synchronized, 1);
  EXPECT_FALSE(worker->Parked());
  EXPECT_TRUE(rtl::CheckSynchronize());
  EXPECT_FALSE(rtl::PendingCalls().Any());

  // The pause takes effect at the worker's next check, where it reports being parked.
  EXPECT_TRUE(vtest::WaitUntil([&] { return worker->Parked(); }));
  worker.reset();
}

TEST(Threads, AThreadNeverStartedNeverRunsExecute) {
  bool ran = false;
  auto worker = rtl::MakeOwned<TLambdaThread>(true, [&](TLambdaThread&) { ran = true; });
  EXPECT_THROW(worker->WaitFor(), rtl::EThread);
  worker.reset();
  EXPECT_FALSE(ran);
}

TEST(Threads, MisuseRaisesEThread) {
  std::string fromWorker;
  auto worker = StartThread([&](TLambdaThread& self) {
    try {
      rtl::CheckSynchronize();
    } catch (const rtl::EThread& e) {
      fromWorker = e.Message();
    }
    EXPECT_THROW(self.WaitFor(), rtl::EThread);
  });
  worker->WaitFor();
  EXPECT_EQ(fromWorker, "CheckSynchronize called from a thread other than the main thread");
  EXPECT_THROW(worker->Start(), rtl::EThread);
}

TEST(Threads, AThreadThatFreesItselfLogsItsFatalException) {
  vtest::TLogCapture log;
  rtl::TEvent freed;
  auto* worker = rtl::New<TLambdaThread>(
      true, [](TLambdaThread&) { throw rtl::EReadError("Stream read error"); }, &freed);
  worker->SetFreeOnTerminate(true);
  EXPECT_THROW(worker->WaitFor(), rtl::EThread);
  worker->Start();
  freed.WaitFor();
  EXPECT_EQ(log.Lines(),
            std::vector<std::string>{"Thread TLambdaThread ended with EReadError: Stream read error"});

  rtl::TEvent ran;
  rtl::TThread::CreateAnonymousThread([&] { ran.SetEvent(); })->Start();
  EXPECT_EQ(ran.WaitFor(), rtl::TWaitResult::wrSignaled);
}

class StopwatchTest : public ::testing::Test {
protected:
  void SetUp() override {
    rtl::TStopwatch::SetClock([this] { return FNow; });
  }
  void TearDown() override { rtl::TStopwatch::SetClock(nullptr); }
  int64_t FNow = 1'000'000;
};

TEST_F(StopwatchTest, MeasuresOnlyWhileRunning) {
  auto watch = rtl::TStopwatch::StartNew();
  EXPECT_TRUE(watch.IsRunning());
  FNow += 25'000;
  EXPECT_EQ(watch.ElapsedTicks(), 25'000);
  EXPECT_EQ(watch.ElapsedMilliseconds(), 2);
  EXPECT_EQ(watch.Elapsed(), rtl::TTimeSpan(25'000));
  watch.Stop();
  FNow += 90'000'000;
  EXPECT_EQ(watch.ElapsedTicks(), 25'000);
  watch.Start();
  watch.Start();
  FNow += 10'000;
  EXPECT_EQ(watch.ElapsedMilliseconds(), 3);
  watch.Reset();
  EXPECT_FALSE(watch.IsRunning());
  EXPECT_EQ(watch.ElapsedTicks(), 0);
  EXPECT_EQ(rtl::TStopwatch::Create().ElapsedTicks(), 0);
}

TEST_F(StopwatchTest, TimeStampAndTickCountReadTheReplacedClock) {
  FNow = 123'456'789;
  EXPECT_EQ(rtl::TStopwatch::GetTimeStamp(), 123'456'789);
  EXPECT_EQ(rtl::GetTickCount64(), 12'345);
  EXPECT_EQ(rtl::TStopwatch::Frequency, 10'000'000);
  rtl::TStopwatch::SetClock(nullptr);
  EXPECT_NE(rtl::TStopwatch::GetTimeStamp(), 123'456'789);
}

TEST_F(StopwatchTest, ProcessTimeStampCountsFromTheClocksStart) {
  // SetUp installed the clock at 1'000'000: that reading is the process start.
  EXPECT_EQ(rtl::TStopwatch::GetProcessTimeStamp(), 0);
  FNow += 864'000'000'000; // a day
  EXPECT_EQ(rtl::TStopwatch::GetProcessTimeStamp(), 864'000'000'000);
  FNow = 5'000;
  rtl::TStopwatch::SetClock([this] { return FNow; });
  FNow += 7;
  EXPECT_EQ(rtl::TStopwatch::GetProcessTimeStamp(), 7);

  // Back on the system clock the stamp is the time since this process started: far below the
  // boot-relative reading, and not negative.
  rtl::TStopwatch::SetClock(nullptr);
  const int64_t stamp = rtl::TStopwatch::GetProcessTimeStamp();
  EXPECT_GE(stamp, 0);
  EXPECT_LE(stamp, rtl::TStopwatch::GetTimeStamp());
}

} // namespace

namespace {

std::atomic<int> GWakes{0};
void CountWake() {
  ++GWakes;
}

TEST(Threads, APostedCallRunsTheWakeHookOnThePostingThread) {
  const rtl::TWakeMainThread previous = rtl::SetWakeMainThread(&CountWake);
  GWakes = 0;
  rtl::TEvent posted;
  auto worker = StartThread([&](TLambdaThread& self) {
    self.Queue([] {});
    posted.SetEvent();
  });
  posted.WaitFor();
  EXPECT_EQ(GWakes, 1);
  worker->WaitFor();
  rtl::CheckSynchronize();
  EXPECT_EQ(rtl::SetWakeMainThread(previous), &CountWake);
}

} // namespace

// Calls queued for an object run in arrival order; an object's removal drops only its own.
TEST(Threads, QueueKeyedByAnyObjectRunsInOrderAndIsRemovedByOwner) {
  int first = 0, second = 0;
  std::vector<int> order;
  std::thread worker([&] {
    rtl::TThread::Queue(static_cast<const void*>(&first), [&] { order.push_back(1); });
    rtl::TThread::Queue(static_cast<const void*>(&second), [&] { order.push_back(2); });
    rtl::TThread::Queue(static_cast<const void*>(&first), [&] { order.push_back(3); });
  });
  worker.join();
  rtl::TThread::RemoveQueuedEvents(static_cast<const void*>(&second));
  rtl::CheckSynchronize();
  EXPECT_EQ(order, (std::vector<int>{1, 3}));
  rtl::TThread::Queue(static_cast<const void*>(&first), [&] { order.push_back(4); });
  EXPECT_EQ(order.back(), 4); // on the main thread: at once
}
