#include "present/screenshot.h"

#include <cstdio>

#include "present/png.h"

namespace present {

TScreenshot::TScreenshot(const TPresentSettings& ASettings)
    : FPath(ASettings.ScreenshotPath), FTarget(ASettings.ScreenshotFrames) {}

bool TScreenshot::Presented(const TPixels& APixels) {
  ++FFrames;
  if (!Enabled() || FFrames != FTarget)
    return false;
  SavePng(APixels, FPath);
  std::fprintf(stderr, "saved %s (%dx%d) after %d frames\n", FPath.c_str(), APixels.Width, APixels.Height,
               FFrames);
  return true;
}

} // namespace present
