#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "rtl/messaging.h"
#include "support/log_capture.h"

namespace {

using TTextMessage = rtl::TMessage<std::string>;

class TResetMessage : public rtl::TMessageBase {
public:
  explicit TResetMessage(bool* AFreed = nullptr) : FFreed(AFreed) {}
  ~TResetMessage() override {
    if (FFreed)
      *FFreed = true;
  }

private:
  bool* FFreed;
};

class TSender : public rtl::TObject {};

TEST(MessageManager, DeliversToSubscribersOfExactlyThatClassInOrder) {
  rtl::TMessageManager manager;
  auto sender = rtl::MakeOwned<TSender>();
  std::vector<std::string> calls;
  const int first =
      manager.SubscribeToMessage<TTextMessage>([&](rtl::TObject* ASender, rtl::TMessageBase* AMessage) {
        EXPECT_EQ(ASender, sender.get());
        calls.push_back("first " + static_cast<TTextMessage*>(AMessage)->Value());
      });
  const int second =
      manager.SubscribeToMessage(typeid(TTextMessage), [&](rtl::TObject*, rtl::TMessageBase* AMessage) {
        calls.push_back("second " + static_cast<TTextMessage*>(AMessage)->Value());
      });
  manager.SubscribeToMessage<TResetMessage>(
      [&](rtl::TObject*, rtl::TMessageBase*) { calls.push_back("reset"); });
  EXPECT_GT(first, 0);
  EXPECT_NE(first, second);

  manager.SendMessage(sender.get(), rtl::New<TTextMessage>("hello"));
  EXPECT_EQ(calls, (std::vector<std::string>{"first hello", "second hello"}));

  calls.clear();
  manager.Unsubscribe<TTextMessage>(first);
  manager.Unsubscribe<TTextMessage>(first);
  manager.Unsubscribe<TResetMessage>(second);
  manager.SendMessage(sender.get(), rtl::New<TTextMessage>("again"));
  manager.SendMessage(nullptr, rtl::New<TResetMessage>());
  EXPECT_EQ(calls, (std::vector<std::string>{"second again", "reset"}));
  EXPECT_THROW(manager.SendMessage(nullptr, nullptr), rtl::EArgumentNilException);
}

TEST(MessageManager, DisposesTheMessageOnlyWhenAskedAlsoWhenAListenerRaises) {
  rtl::TMessageManager manager;
  bool freed = false;
  TResetMessage kept(&freed);
  manager.SendMessage(nullptr, &kept, false);
  EXPECT_FALSE(freed);

  bool freedAfterFailure = false;
  manager.SubscribeToMessage<TResetMessage>(
      [](rtl::TObject*, rtl::TMessageBase*) { throw rtl::EAbort("listener failed"); });
  EXPECT_THROW(manager.SendMessage(nullptr, rtl::New<TResetMessage>(&freedAfterFailure)), rtl::EAbort);
  EXPECT_TRUE(freedAfterFailure);
}

TEST(MessageManager, AListenerUnsubscribedDuringSendingIsNotCalled) {
  rtl::TMessageManager manager;
  std::vector<std::string> calls;
  int later = 0;
  manager.SubscribeToMessage<TResetMessage>([&](rtl::TObject*, rtl::TMessageBase*) {
    calls.push_back("first");
    manager.Unsubscribe<TResetMessage>(later);
    manager.SubscribeToMessage<TResetMessage>(
        [&](rtl::TObject*, rtl::TMessageBase*) { calls.push_back("new"); });
  });
  later = manager.SubscribeToMessage<TResetMessage>(
      [&](rtl::TObject*, rtl::TMessageBase*) { calls.push_back("later"); });
  manager.SendMessage(nullptr, rtl::New<TResetMessage>());
  EXPECT_EQ(calls, std::vector<std::string>{"first"});
  EXPECT_EQ(&rtl::TMessageManager::DefaultManager(), &rtl::TMessageManager::DefaultManager());
}

TEST(Log, CaptureCollectsLinesFromAnyThreadAndRestoresThePreviousSink) {
  vtest::TLogCapture outer;
  {
    vtest::TLogCapture inner;
    rtl::Log::d("one");
    std::thread([] { rtl::Log::d("two"); }).join();
    EXPECT_EQ(inner.Lines(), (std::vector<std::string>{"one", "two"}));
  }
  rtl::Log::d("three");
  EXPECT_EQ(outer.Lines(), std::vector<std::string>{"three"});
}

} // namespace

namespace {

TEST(Log, FormattedLineAndVerbatimText) {
  vtest::TLogCapture capture;
  rtl::Log::d("loaded %d of %s", 3, "meshes");
  rtl::Log::d("100% verbatim %d");
  EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"loaded 3 of meshes", "100% verbatim %d"}));
}

} // namespace
