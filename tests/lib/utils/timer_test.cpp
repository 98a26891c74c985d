#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "rtl/exceptions.h"
#include "rtl/threads.h"
#include "support/fake_clock.h"
#include "support/wait_until.h"
#include "ui/application.h"
#include "utils/Vantrel.Utils.Timer.h"

namespace timertest {

// Counts the timer's calls on the UI thread; can raise once.
class TTimerProbe : public rtl::TObject {
  RTL_CLASS(TTimerProbe, rtl::TObject)
public:
  void OnTimer(rtl::TObject* ASender) {
    EXPECT_TRUE(rtl::IsMainThread());
    ++Calls;
    LastSender = ASender;
    if (RaiseOnce.exchange(false))
      throw rtl::EInvalidOperation("frame failed");
  }

  std::atomic<int> Calls{0};
  rtl::TObject* LastSender = nullptr;
  std::atomic<bool> RaiseOnce{false};
};
RTL_DEFINE_CLASS(TTimerProbe, "Test.Timer")

} // namespace timertest

namespace {

using timertest::TTimerProbe;
using vantrel::TVantrelTimer;
using vantrel::TVantrelTimerMode;

// Bounds the waits for the timer thread; only a broken timer reaches it.
constexpr int kWaitMs = 10000;

class FrameTimerTest : public ::testing::Test {
protected:
  void SetUp() override {
    FTimer.reset(rtl::New<TVantrelTimer>());
    FTimer->SetInterval(16);
    FTimer->SetOnTimer({&FProbe, &TTimerProbe::OnTimer});
  }

  // Starts the loop and waits until it took its first readings, so its window starts now.
  void Start() {
    FTimer->SetActive(true);
    WaitForLoop();
  }

  // Waits until the loop compared the clock at least once after the last move and finished that
  // turn: each turn reads the clock two or three times, and a read counted after the move sees it.
  void WaitForLoop() {
    const int64_t reads = FClock.Reads();
    ASSERT_TRUE(vtest::WaitUntil([&] { return FClock.Reads() >= reads + 7; }));
  }

  // Runs the pending synchronized or queued calls, waiting a bounded time for the first one.
  bool Service() { return rtl::CheckSynchronize(kWaitMs); }

  vtest::TFakeClock FClock;
  TTimerProbe FProbe;
  rtl::TOwned<TVantrelTimer> FTimer;
};

TEST_F(FrameTimerTest, CreatedSuspendedWithTheDefaults) {
  rtl::TOwned<TVantrelTimer> timer(rtl::New<TVantrelTimer>());
  EXPECT_FALSE(timer->GetActive());
  EXPECT_EQ(timer->GetFPS(), 0.0f);
  EXPECT_EQ(timer->GetInterval(), 1000);
  EXPECT_EQ(timer->GetMode(), TVantrelTimerMode::Synchronized);
  EXPECT_FALSE(timer->GetOnTimer());
  EXPECT_FALSE(timer->Started());
}

TEST_F(FrameTimerTest, FiresOncePerElapsedIntervalWithItselfAsSender) {
  Start();
  EXPECT_TRUE(FTimer->GetActive());
  FClock.Jump(15);
  WaitForLoop();
  EXPECT_FALSE(rtl::CheckSynchronize());
  EXPECT_EQ(FProbe.Calls, 0);

  FClock.Jump(1);
  ASSERT_TRUE(Service());
  EXPECT_EQ(FProbe.Calls, 1);
  EXPECT_EQ(FProbe.LastSender, FTimer.get());

  FClock.Jump(16);
  ASSERT_TRUE(Service());
  EXPECT_EQ(FProbe.Calls, 2);
}

TEST_F(FrameTimerTest, SynchronizedCallsDoNotPileUpWhileTheHandlerRuns) {
  Start();
  FClock.Jump(16);
  ASSERT_TRUE(rtl::WaitForPendingCall(kWaitMs));
  // The loop waits for its call: however far the clock moves, nothing more is counted or queued.
  FClock.Jump(100);
  EXPECT_EQ(rtl::PendingCalls().Synchronized, 1);
  ASSERT_TRUE(rtl::CheckSynchronize());
  // It restarted its cadencer before the hand-over, so exactly one more interval is due, not six.
  ASSERT_TRUE(Service());
  WaitForLoop();
  EXPECT_FALSE(rtl::CheckSynchronize());
  EXPECT_EQ(FProbe.Calls, 2);
}

TEST_F(FrameTimerTest, IntervalZeroFiresOnEveryService) {
  FTimer->SetInterval(0);
  FTimer->SetActive(true);
  for (int i = 0; i < 5; ++i)
    ASSERT_TRUE(Service());
  EXPECT_EQ(FProbe.Calls, 5);
}

TEST_F(FrameTimerTest, EnqueuedCallsWaitForTheMessageLoop) {
  FTimer->SetMode(TVantrelTimerMode::Enqueued);
  Start();
  FClock.Jump(16);
  WaitForLoop();
  FClock.Jump(16);
  WaitForLoop();
  EXPECT_EQ(FProbe.Calls, 0);
  ui::Application().ProcessMessages();
  EXPECT_EQ(FProbe.Calls, 2);
}

TEST_F(FrameTimerTest, FpsIsTheIntervalRateOfTheLastFullWindow) {
  FTimer->SetOnTimer(nullptr);
  Start();
  for (int i = 0; i < 62; ++i) {
    FClock.Jump(16);
    WaitForLoop();
  }
  EXPECT_EQ(FTimer->GetFPS(), 0.0f);
  FClock.Jump(8);
  WaitForLoop();
  EXPECT_FLOAT_EQ(FTimer->GetFPS(), 62.0f);

  // A window in which nothing fired keeps the last rate.
  FTimer->SetInterval(5000);
  FClock.Jump(1000);
  WaitForLoop();
  EXPECT_FLOAT_EQ(FTimer->GetFPS(), 62.0f);
}

TEST_F(FrameTimerTest, PauseParksTheLoopAndResumeFiresAtOnce) {
  Start();
  FTimer->SetActive(false);
  EXPECT_FALSE(FTimer->GetActive());
  ASSERT_TRUE(vtest::WaitUntil([&] { return FTimer->Parked(); }, kWaitMs));
  const int64_t reads = FClock.Reads();
  FClock.Jump(100);
  EXPECT_FALSE(rtl::PendingCalls().Any());
  EXPECT_EQ(FClock.Reads(), reads);
  EXPECT_EQ(FProbe.Calls, 0);

  FTimer->SetActive(true);
  EXPECT_TRUE(FTimer->GetActive());
  ASSERT_TRUE(Service());
  EXPECT_EQ(FProbe.Calls, 1);
}

TEST_F(FrameTimerTest, FreeingReturnsWithACallPendingOrWhileParked) {
  struct TCase {
    const char* Name;
    bool Pause;
  };
  for (const TCase& c : {TCase{"synchronized call pending", false}, TCase{"parked", true}}) {
    SCOPED_TRACE(c.Name);
    SetUp();
    Start();
    if (c.Pause) {
      FTimer->SetActive(false);
      ASSERT_TRUE(vtest::WaitUntil([&] { return FTimer->Parked(); }, kWaitMs));
    } else {
      FClock.Jump(16);
      ASSERT_TRUE(rtl::WaitForPendingCall(kWaitMs));
    }
    FTimer.reset();
    EXPECT_LE(FProbe.Calls, 1);
    FProbe.Calls = 0;
  }
}

TEST_F(FrameTimerTest, ARaisingHandlerIsReportedAndTheTimingGoesOn) {
  struct TReport {
    rtl::TObject* Sender;
    std::string ClassName, Message;
  };
  std::vector<TReport> reports;
  ui::Application().SetOnException([&](rtl::TObject* ASender, const std::string& AClassName,
                                       const std::string& AMessage) {
    reports.push_back({ASender, AClassName, AMessage});
  });
  FProbe.RaiseOnce = true;
  Start();
  FClock.Jump(16);
  ASSERT_TRUE(Service());
  // The report is queued by the timer thread after the raising call came back to it.
  ASSERT_TRUE(vtest::WaitUntil([&] {
    ui::Application().ProcessMessages();
    return !reports.empty();
  }, kWaitMs));
  ui::Application().SetOnException(nullptr);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].Sender, FTimer.get());
  EXPECT_EQ(reports[0].ClassName, "EInvalidOperation");
  EXPECT_EQ(reports[0].Message, "frame failed");

  FClock.Jump(16);
  ASSERT_TRUE(Service());
  EXPECT_EQ(FProbe.Calls, 2);
}

} // namespace
