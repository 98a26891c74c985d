#pragma once
// Counts the main form's presented frames and, when VANTREL_SCREENSHOT is set, saves the image
// after the configured number of frames.

#include <string>

#include "present/events.h"
#include "present/settings.h"

namespace present {

class TScreenshot {
public:
  explicit TScreenshot(const TPresentSettings& ASettings);

  bool Enabled() const { return !FPath.empty(); }
  int Frames() const { return FFrames; }
  // Counts one presented frame. On the configured frame it saves APixels, prints
  // "saved <path> (<w>x<h>) after <n> frames" on standard error and returns true: the caller
  // then terminates. A failed save raises EPresentError.
  bool Presented(const TPixels& APixels);

private:
  std::string FPath;
  int FTarget;
  int FFrames = 0;
};

} // namespace present
