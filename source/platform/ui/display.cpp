#include "ui/display.h"

#include <utility>

#include "ui/messages.h"

namespace ui {

namespace {

int32_t UnknownRefreshRate() {
  return 0;
}

bool KeyUp(uint16_t) {
  return false;
}

TRefreshRateProvider& RefreshRateProvider() {
  static TRefreshRateProvider provider = UnknownRefreshRate;
  return provider;
}

TKeyStateQuery& KeyStateQuery() {
  static TKeyStateQuery query = KeyUp;
  return query;
}

} // namespace

int32_t GetDisplayRefreshRate() {
  return RefreshRateProvider()();
}

TRefreshRateProvider SetDisplayRefreshRateProvider(TRefreshRateProvider AProvider) {
  TRefreshRateProvider previous =
      std::exchange(RefreshRateProvider(), AProvider ? std::move(AProvider) : UnknownRefreshRate);
  rtl::TMessageManager::DefaultManager().SendMessage(
      nullptr, rtl::New<TDisplayChangedMessage>(GetDisplayRefreshRate()));
  return previous;
}

bool IsKeyDown(uint16_t AKey) {
  return KeyStateQuery()(AKey);
}

TKeyStateQuery SetKeyStateQuery(TKeyStateQuery AQuery) {
  return std::exchange(KeyStateQuery(), AQuery ? std::move(AQuery) : KeyUp);
}

} // namespace ui
