#include "rtl/messaging.h"

#include <algorithm>
#include <atomic>

namespace rtl {

RTL_DEFINE_CLASS(TMessageBase, "System")

struct TMessageManager::TSubscription {
  int Id;
  TMessageListener Listener;
  std::atomic<bool> Active{true};
};

TMessageManager::TMessageManager() = default;
TMessageManager::~TMessageManager() = default;

TMessageManager& TMessageManager::DefaultManager() {
  // Never destroyed: components freed during static destruction still unsubscribe.
  static auto* manager = new TMessageManager;
  return *manager;
}

int TMessageManager::SubscribeToMessage(const std::type_info& AMessageClass, TMessageListener AListener) {
  std::lock_guard guard(FMutex);
  auto subscription = std::make_shared<TSubscription>(++FLastId, std::move(AListener));
  FListeners[std::type_index(AMessageClass)].push_back(std::move(subscription));
  return FLastId;
}

void TMessageManager::Unsubscribe(const std::type_info& AMessageClass, int AId) {
  std::lock_guard guard(FMutex);
  auto it = FListeners.find(std::type_index(AMessageClass));
  if (it == FListeners.end())
    return;
  auto& list = it->second;
  auto found = std::find_if(list.begin(), list.end(), [&](const auto& s) { return s->Id == AId; });
  if (found == list.end())
    return;
  (*found)->Active = false;
  list.erase(found);
  if (list.empty())
    FListeners.erase(it);
}

std::vector<std::shared_ptr<TMessageManager::TSubscription>>
TMessageManager::Snapshot(const std::type_info& AMessageClass) {
  std::lock_guard guard(FMutex);
  auto it = FListeners.find(std::type_index(AMessageClass));
  return it == FListeners.end() ? std::vector<std::shared_ptr<TSubscription>>{} : it->second;
}

void TMessageManager::SendMessage(TObject* ASender, TMessageBase* AMessage, bool ADispose) {
  if (!AMessage)
    throw EArgumentNilException("Message must not be nil");
  TOwned<TMessageBase> owned(ADispose ? AMessage : nullptr);
  // Listeners run without the lock, so they may subscribe, unsubscribe and send themselves.
  for (const auto& subscription : Snapshot(typeid(*AMessage)))
    if (subscription->Active)
      subscription->Listener(ASender, AMessage);
}

} // namespace rtl
