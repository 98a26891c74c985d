#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/stopwatch.h"
#include "support/fake_clock.h"
#include "ui/application.h"
#include "ui/platform_services.h"
#include "ui/timers.h"

using ui::TTimer;

namespace {

TTimer* NewTimer(int AInterval, std::vector<std::string>& ATrace, const std::string& AName) {
  auto* timer = rtl::New<TTimer>(nullptr);
  timer->SetInterval(AInterval);
  timer->SetOnTimer([&ATrace, AName](rtl::TObject*) { ATrace.push_back(AName); });
  return timer;
}

} // namespace

TEST(TimersTest, DefaultsAndTicksOnTheFakeClock) {
  vtest::TFakeClock clock;
  std::vector<std::string> trace;
  rtl::TOwned<TTimer> timer(NewTimer(1000, trace, "a"));
  EXPECT_TRUE(timer->GetEnabled());
  clock.Advance(999);
  EXPECT_TRUE(trace.empty());
  clock.Advance(1);
  clock.Advance(2500);
  EXPECT_EQ(trace.size(), 3u);
}

TEST(TimersTest, DueTimersFireInCreationOrderOncePerPass) {
  vtest::TFakeClock clock;
  std::vector<std::string> trace;
  rtl::TOwned<TTimer> slow(NewTimer(300, trace, "slow"));
  rtl::TOwned<TTimer> fast(NewTimer(100, trace, "fast"));
  clock.Advance(300);
  // At 300 both are due: creation order.
  EXPECT_EQ(trace, (std::vector<std::string>{"fast", "fast", "slow", "fast"}));
  trace.clear();
  // A pump far behind fires each timer once; it is then due one interval from now.
  rtl::TStopwatch::SetClock([] { return int64_t(2'000'000) * 10'000; });
  ui::Application().ProcessMessages();
  EXPECT_EQ(trace, (std::vector<std::string>{"slow", "fast"}));
}

TEST(TimersTest, DisablingRestartsFromTheFullInterval) {
  vtest::TFakeClock clock;
  std::vector<std::string> trace;
  rtl::TOwned<TTimer> timer(NewTimer(1000, trace, "a"));
  clock.Advance(800);
  timer->SetEnabled(false);
  clock.Advance(5000);
  timer->SetEnabled(true);
  clock.Advance(999);
  EXPECT_TRUE(trace.empty());
  clock.Advance(1);
  EXPECT_EQ(trace.size(), 1u);
}

TEST(TimersTest, ATimerMayFreeOrDisableItselfAndOthersInItsCall) {
  vtest::TFakeClock clock;
  std::vector<std::string> trace;
  TTimer* first = rtl::New<TTimer>(nullptr);
  TTimer* second = rtl::New<TTimer>(nullptr);
  rtl::TOwned<TTimer> third(NewTimer(100, trace, "third"));
  first->SetInterval(100);
  second->SetInterval(100);
  first->SetOnTimer([&](rtl::TObject* ASender) {
    trace.push_back("first");
    static_cast<TTimer*>(ASender)->Free();
    second->Free();
  });
  second->SetOnTimer([&](rtl::TObject*) { trace.push_back("second"); });
  clock.Advance(100);
  third->SetOnTimer([&](rtl::TObject* ASender) {
    trace.push_back("third off");
    static_cast<TTimer*>(ASender)->SetEnabled(false);
  });
  clock.Advance(300);
  // The service knows a timer from the moment it has a handler: "third" came first.
  EXPECT_EQ(trace, (std::vector<std::string>{"third", "first", "third off"}));
}

TEST(TimersTest, WithoutAServiceNoTimerCanBeMade) {
  auto& services = ui::TPlatformServices::Current();
  const auto previous = services.TimerService();
  services.SetTimerService(nullptr);
  try {
    rtl::New<TTimer>(nullptr);
    ADD_FAILURE();
  } catch (const ui::EUnsupportedPlatformService& e) {
    EXPECT_EQ(e.Message(), "Unsupported platform service: IFMXTimerService");
  }
  services.SetTimerService(previous);
}
