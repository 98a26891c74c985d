#pragma once
// The platform's timing service, as an application may hand it to the framework. The framework
// asks nothing of it yet, so the interface has no members.

namespace ui {

class ITimerService {
public:
  virtual ~ITimerService() = default;
};

} // namespace ui
