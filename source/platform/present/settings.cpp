#include "present/settings.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace present {

TPresentSettings ReadPresentSettings(const TGetEnv& AGetEnv) {
  auto get = [&AGetEnv](const char* AName) -> std::string_view {
    const char* value = AGetEnv ? AGetEnv(AName) : std::getenv(AName);
    return value ? value : "";
  };
  TPresentSettings settings;
  settings.Headless = get("VANTREL_HEADLESS") == "1";
  settings.ScreenshotPath = get("VANTREL_SCREENSHOT");
  const std::string_view frames = get("VANTREL_SCREENSHOT_FRAMES");
  if (!frames.empty()) {
    int count = 0;
    const auto result = std::from_chars(frames.data(), frames.data() + frames.size(), count);
    if (result.ec != std::errc() || result.ptr != frames.data() + frames.size() || count <= 0)
      throw EPresentError("VANTREL_SCREENSHOT_FRAMES must be a positive integer, not '" +
                          std::string(frames) + "'");
    settings.ScreenshotFrames = count;
  }
  return settings;
}

} // namespace present
