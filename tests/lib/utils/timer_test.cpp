#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "rtl/exceptions.h"
#include "rtl/threads.h"
#include "support/fake_clock.h"
#include "support/log_capture.h"
#include "support/wait_until.h"
#include "ui/application.h"
#include "utils/Vantrel.Utils.Timer.h"

namespace timertest {

// Counts the timer's calls on the UI thread; can raise, or run a step of the test inside a call.
class TTimerProbe : public rtl::TObject {
  RTL_CLASS(TTimerProbe, rtl::TObject)
public:
  void OnTimer(rtl::TObject* ASender) {
    EXPECT_TRUE(rtl::IsMainThread());
    ++Calls;
    LastSender = ASender;
    if (InCall) {
      auto step = std::move(InCall);
      step();
    }
    if (RaiseOnce.exchange(false))
      throw rtl::EInvalidOperation("frame failed");
  }

  std::atomic<int> Calls{0};
  rtl::TObject* LastSender = nullptr;
  std::atomic<bool> RaiseOnce{false};
  std::function<void()> InCall;
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
  // The first call takes 100 ms of clock time; the loop waits for it and restarted its cadencer
  // before the hand-over, so exactly one more interval is due afterwards, not six.
  FProbe.InCall = [this] { FClock.Jump(100); };
  Start();
  FClock.Jump(16);
  ASSERT_TRUE(Service());
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
  // Pausing inside the call: the loop's next clock reading comes after its pause check, so no
  // move of the clock from here on can make it fire while paused.
  FProbe.InCall = [this] { FTimer->SetActive(false); };
  Start();
  FClock.Jump(16);
  ASSERT_TRUE(Service());
  EXPECT_FALSE(FTimer->GetActive());
  FClock.Jump(100);
  EXPECT_FALSE(rtl::CheckSynchronize());
  EXPECT_EQ(FProbe.Calls, 1);

  FTimer->SetActive(true);
  EXPECT_TRUE(FTimer->GetActive());
  ASSERT_TRUE(Service());
  EXPECT_EQ(FProbe.Calls, 2);
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
    if (c.Pause)
      FTimer->SetActive(false);
    FClock.Jump(16);
    FTimer.reset();
    EXPECT_LE(FProbe.Calls, 1);
    FProbe.Calls = 0;
  }
}

TEST_F(FrameTimerTest, ARaisingHandlerIsReportedAndTheTimingGoesOn) {
  vtest::TLogCapture log;
  FProbe.RaiseOnce = true;
  Start();
  FClock.Jump(16);
  ASSERT_TRUE(Service());
  // The report is queued by the timer thread after the raising call returned.
  ASSERT_TRUE(vtest::WaitUntil([&] {
    ui::Application().ProcessMessages();
    return !log.Lines().empty();
  }));
  EXPECT_EQ(log.Lines().front(), "<ERROR> frame failed");

  FClock.Jump(16);
  ASSERT_TRUE(Service());
  EXPECT_EQ(FProbe.Calls, 2);
}

} // namespace
