#pragma once
// Messages the UI layer sends through rtl::TMessageManager::DefaultManager().

#include "rtl/messaging.h"

namespace ui {

// The graphics contexts lost their GPU objects and were made anew: holders of derived GPU state
// (a pass material's input texture, for one) pick it up again.
class TContextResetMessage : public rtl::TMessageBase {
public:
  TContextResetMessage() = default;
};

} // namespace ui
