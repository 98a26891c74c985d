#pragma once
// Publish and subscribe: listeners subscribe to a message class and receive every message of
// exactly that class sent through the same manager.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <typeindex>
#include <typeinfo>
#include <utility>
#include <vector>

#include "rtl/object.h"

namespace rtl {

class TMessageBase : public TObject {
  RTL_CLASS(TMessageBase, TObject)
public:
  TMessageBase() = default;
};

// A message that carries one value.
template <class T> class TMessage : public TMessageBase {
public:
  explicit TMessage(T AValue) : FValue(std::move(AValue)) {}
  const T& Value() const { return FValue; }

private:
  T FValue;
};

using TMessageListener = std::function<void(TObject* ASender, TMessageBase* AMessage)>;

class TMessageManager {
public:
  TMessageManager();
  ~TMessageManager();
  TMessageManager(const TMessageManager&) = delete;
  TMessageManager& operator=(const TMessageManager&) = delete;

  // The process-wide manager.
  static TMessageManager& DefaultManager();

  // Returns the subscription id (positive, unique within this manager) that Unsubscribe takes.
  int SubscribeToMessage(const std::type_info& AMessageClass, TMessageListener AListener);
  template <class TMsg> int SubscribeToMessage(TMessageListener AListener) {
    return SubscribeToMessage(typeid(TMsg), std::move(AListener));
  }
  // An unknown id is ignored. A listener unsubscribed while a message is being sent is not called
  // for it any more.
  void Unsubscribe(const std::type_info& AMessageClass, int AId);
  template <class TMsg> void Unsubscribe(int AId) { Unsubscribe(typeid(TMsg), AId); }

  // Calls the listeners of AMessage's class in subscription order; with ADispose the message is
  // freed afterwards, also when a listener raises (the exception then propagates). A nil
  // message raises EArgumentNilException.
  void SendMessage(TObject* ASender, TMessageBase* AMessage, bool ADispose = true);

private:
  struct TSubscription;
  std::vector<std::shared_ptr<TSubscription>> Snapshot(const std::type_info& AMessageClass);

  std::mutex FMutex;
  int FLastId = 0;
  std::map<std::type_index, std::vector<std::shared_ptr<TSubscription>>> FListeners;
};

} // namespace rtl
