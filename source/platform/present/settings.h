#pragma once
// The platform environment variables that steer presentation:
//   VANTREL_HEADLESS=1                 renders off screen even when a display is present;
//   VANTREL_SCREENSHOT=<file.png>      saves the main form's image after it was presented
//                                      VANTREL_SCREENSHOT_FRAMES times (default 60), then quits.

#include <functional>
#include <string>

#include "rtl/exceptions.h"

namespace present {

class EPresentError : public rtl::Exception {
public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EPresentError"; }
};

struct TPresentSettings {
  bool Headless = false;
  // Empty: no screenshot.
  std::string ScreenshotPath;
  int ScreenshotFrames = 60;
};

using TGetEnv = std::function<const char*(const char* AName)>;

// Reads the variables through AGetEnv (the process environment by default). A frame count that
// is not a positive integer raises EPresentError naming the variable and the value.
TPresentSettings ReadPresentSettings(const TGetEnv& AGetEnv = {});

} // namespace present
