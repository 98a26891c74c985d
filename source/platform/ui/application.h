#pragma once
// The UI thread's message loop, as far as the framework has one: a call of ProcessMessages hands
// over what other threads synchronized or queued and fires the due timers.

namespace ui {

class TApplication {
public:
  // Runs the pending synchronized and queued calls (rtl::CheckSynchronize), then the due timers
  // of the default timer service.
  void ProcessMessages();
};

TApplication& Application();

} // namespace ui
