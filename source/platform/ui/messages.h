#pragma once
// Messages the UI layer sends through rtl::TMessageManager::DefaultManager().

#include <cstdint>

#include "rtl/messaging.h"

namespace ui {

// A scene (the sender) changed its scale; carries the new scale.
class TScaleChangedMessage : public rtl::TMessage<float> {
public:
  using TMessage::TMessage;
};

// The display changed (a new mode, or a new refresh-rate provider); carries the refresh rate in
// Hz, 0 when unknown.
class TDisplayChangedMessage : public rtl::TMessage<int32_t> {
public:
  using TMessage::TMessage;
};

// The graphics contexts lost their GPU objects and were made anew: holders of derived GPU state
// (a pass material's input texture, for one) pick it up again.
class TContextResetMessage : public rtl::TMessageBase {
public:
  TContextResetMessage() = default;
};

} // namespace ui
