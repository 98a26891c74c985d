#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "rtl/exceptions.h"
#include "rtl/messaging.h"
#include "rtl/threads.h"
#include "support/fake_clock.h"
#include "support/log_capture.h"
#include "support/wait_until.h"
#include "ui/application.h"
#include "ui/display.h"
#include "ui/messages.h"
#include "ui/platform_services.h"
#include "ui/timers.h"

namespace {

using ui::Application;
using ui::TTimer;

// Records what reaches Application().HandleException while it lives.
class TExceptionRecorder {
public:
  TExceptionRecorder() {
    Application().SetOnException(
        [this](rtl::TObject*, const std::string& AClassName, const std::string& AMessage) {
          Reports.push_back(AClassName + ": " + AMessage);
        });
  }
  ~TExceptionRecorder() { Application().SetOnException(nullptr); }
  std::vector<std::string> Reports;
};

TTimer* NewTimer(int AInterval, std::function<void()> AHandler) {
  auto* timer = rtl::New<TTimer>(nullptr);
  timer->SetInterval(AInterval);
  timer->SetOnTimer([AHandler = std::move(AHandler)](rtl::TObject*) { AHandler(); });
  return timer;
}

class TWorker : public rtl::TThread {
  RTL_CLASS(TWorker, rtl::TThread)
public:
  explicit TWorker(std::function<void(TWorker&)> ABody) : TThread(false), FBody(std::move(ABody)) {}
  using TThread::Queue;
  using TThread::Synchronize;

protected:
  void Execute() override { FBody(*this); }

private:
  std::function<void(TWorker&)> FBody;
};
RTL_DEFINE_CLASS(TWorker, "Test.Application")

TEST(Application, TimersOnTheFakeClock) {
  vtest::TFakeClock clock;
  struct TCase {
    const char* Name;
    std::function<void(std::vector<std::string>& ATrace)> Run;
    std::vector<std::string> Expected;
  };
  const TCase cases[] = {
      {"fires at +100, not at +99",
       [&](auto& ATrace) {
         rtl::TOwned<TTimer> t(NewTimer(100, [&] { ATrace.push_back("t"); }));
         clock.Advance(99);
         ATrace.push_back("99");
         clock.Advance(1);
       },
       {"99", "t"}},
      {"disabled stops; a new interval reschedules from now",
       [&](auto& ATrace) {
         rtl::TOwned<TTimer> t(NewTimer(100, [&] { ATrace.push_back("t"); }));
         clock.Advance(50);
         t->SetEnabled(false);
         clock.Advance(200);
         t->SetEnabled(true);
         t->SetInterval(30);
         clock.Advance(29);
         ATrace.push_back("29");
         clock.Advance(1);
       },
       {"29", "t"}},
      {"a +350 ms stall fires once, then one interval from now",
       [&](auto& ATrace) {
         rtl::TOwned<TTimer> t(NewTimer(100, [&] { ATrace.push_back("t"); }));
         clock.Jump(350);
         clock.Pump();
         ATrace.push_back("|");
         clock.Advance(99);
         ATrace.push_back("|");
         clock.Advance(1);
       },
       {"t", "|", "|", "t"}},
      {"two due timers fire in creation order",
       [&](auto& ATrace) {
         rtl::TOwned<TTimer> a(NewTimer(50, [&] { ATrace.push_back("a"); }));
         rtl::TOwned<TTimer> b(NewTimer(50, [&] { ATrace.push_back("b"); }));
         clock.Advance(50);
       },
       {"a", "b"}},
      {"a handler that pumps does not re-enter itself",
       [&](auto& ATrace) {
         rtl::TOwned<TTimer> other;
         rtl::TOwned<TTimer> t(NewTimer(10, [&] {
           ATrace.push_back("enter");
           clock.Jump(10); // due again while still running
           Application().ProcessMessages();
           ATrace.push_back("leave");
         }));
         other.reset(NewTimer(10, [&] { ATrace.push_back("other"); }));
         clock.Advance(10);
       },
       // The inner pass runs the other timer; the outer pass finds it no longer due.
       {"enter", "other", "leave"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> trace;
    c.Run(trace);
    EXPECT_EQ(trace, c.Expected);
  }
}

TEST(Application, ExceptionsOfTimersAndQueuedCallsGoToHandleExceptionAndTheLoopGoesOn) {
  vtest::TFakeClock clock;
  std::vector<std::string> trace;
  {
    TExceptionRecorder recorder;
    rtl::TOwned<TTimer> raising(NewTimer(10, [] { throw rtl::EConvertError("bad tick"); }));
    rtl::TOwned<TTimer> after(NewTimer(10, [&] { trace.push_back("after"); }));
    rtl::TOwned<TWorker> worker(rtl::New<TWorker>([&](TWorker&) {
      rtl::TThread::Queue(nullptr, [] { throw rtl::EAbort("silent"); });
      rtl::TThread::Queue(nullptr, [] { throw rtl::EListError("bad call"); });
      rtl::TThread::Queue(nullptr, [&] { trace.push_back("queued"); });
    }));
    // Not WaitFor, which would serve the calls: they wait for the loop.
    ASSERT_TRUE(vtest::WaitUntil([&] { return worker->Finished(); }));
    ASSERT_EQ(rtl::PendingCalls().Queued, 3);
    clock.Advance(10);
    clock.Advance(10);
    EXPECT_EQ(trace, (std::vector<std::string>{"queued", "after", "after"}));
    EXPECT_EQ(recorder.Reports, (std::vector<std::string>{"EListError: bad call", "EConvertError: bad tick",
                                                          "EConvertError: bad tick"}));
  }
  // Without a handler the report is logged.
  vtest::TLogCapture log;
  Application().HandleException(nullptr, "EInOutError", "disk gone");
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"<ERROR> disk gone"});
}

TEST(Application, GetTickIsSecondsSinceProcessStart) {
  vtest::TFakeClock clock;
  const auto service = ui::TPlatformServices::Current().TimerService();
  EXPECT_DOUBLE_EQ(service->GetTick(), 0.0);
  clock.Advance(1500);
  EXPECT_DOUBLE_EQ(service->GetTick(), 1.5);
}

TEST(Application, AWorkersSynchronizeWakesWaitAndProcessAndRunsOnTheUIThread) {
  std::thread::id ranOn;
  std::vector<std::string> order;
  rtl::TOwned<TWorker> worker(rtl::New<TWorker>([&](TWorker& self) {
    self.Queue([&] { order.push_back("queued"); });
    self.Synchronize([&] {
      ranOn = std::this_thread::get_id();
      // A call that pumps runs the others, never itself.
      Application().ProcessMessages();
      order.push_back("synchronized");
    });
  }));
  while (!worker->Finished())
    Application().WaitAndProcess(10'000);
  worker->WaitFor();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(order, (std::vector<std::string>{"queued", "synchronized"}));

  // Run returns at Terminate, and clears the request.
  rtl::TOwned<TWorker> stopper(
      rtl::New<TWorker>([](TWorker& self) { self.Synchronize([] { Application().Terminate(); }); }));
  Application().Run();
  EXPECT_FALSE(Application().Terminated());
}

struct ITestService {
  static constexpr const char* ServiceName = "ITestService";
  int Answer = 42;
};

TEST(PlatformServices, ServicesByNameAndTheUnsupportedError) {
  auto& services = ui::TPlatformServices::Current();
  EXPECT_FALSE(services.Supports<ITestService>());
  try {
    services.GetPlatformService<ITestService>();
    ADD_FAILURE();
  } catch (const ui::EUnsupportedPlatformService& e) {
    EXPECT_EQ(e.Message(), "Unsupported platform service: ITestService");
  }
  services.Add(std::make_shared<ITestService>());
  EXPECT_TRUE(services.Supports<ITestService>());
  EXPECT_EQ(services.GetPlatformService<ITestService>()->Answer, 42);
  services.Remove<ITestService>();
  EXPECT_FALSE(services.SupportsPlatformService("ITestService"));
  EXPECT_TRUE(services.Supports<ui::ITimerService>());
}

TEST(Display, RefreshRateProviderAnnouncesItselfAndKeysDefaultToUp) {
  std::vector<int32_t> announced;
  auto& manager = rtl::TMessageManager::DefaultManager();
  const int id =
      manager.SubscribeToMessage<ui::TDisplayChangedMessage>([&](rtl::TObject*, rtl::TMessageBase* AMessage) {
        announced.push_back(static_cast<ui::TDisplayChangedMessage*>(AMessage)->Value());
      });
  EXPECT_EQ(ui::GetDisplayRefreshRate(), 0);
  const auto previous = ui::SetDisplayRefreshRateProvider([] { return 144; });
  EXPECT_EQ(ui::GetDisplayRefreshRate(), 144);
  ui::SetDisplayRefreshRateProvider(previous);
  EXPECT_EQ(ui::GetDisplayRefreshRate(), 0);
  manager.Unsubscribe<ui::TDisplayChangedMessage>(id);
  EXPECT_EQ(announced, (std::vector<int32_t>{144, 0}));

  EXPECT_FALSE(ui::IsKeyDown(ui::vkLMenu));
  ui::SetKeyStateQuery([](uint16_t AKey) { return AKey == ui::vkLMenu; });
  EXPECT_TRUE(ui::IsKeyDown(ui::vkLMenu));
  EXPECT_FALSE(ui::IsKeyDown(ui::vkShift));
  ui::SetKeyStateQuery(nullptr);
  EXPECT_FALSE(ui::IsKeyDown(ui::vkLMenu));
}

} // namespace
