#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_image.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "present/png.h"
#include "present/presenter.h"
#include "present/screenshot.h"
#include "present/settings.h"

namespace {

using namespace present;

std::string TempPath(const std::string& AName) {
  return (std::filesystem::temp_directory_path() /
          ("vantrel_present_" + std::to_string(getpid()) + "_" + AName))
      .string();
}

// An opaque test image: every pixel differs from its neighbours.
std::vector<uint8_t> Pattern(int AWidth, int AHeight) {
  std::vector<uint8_t> pixels(static_cast<size_t>(AWidth * AHeight * 4));
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = (i % 4 == 3) ? 255 : static_cast<uint8_t>(i * 7 + i / 13);
  return pixels;
}

// AImage converted to B, G, R, A bytes.
std::vector<uint8_t> BgraBytes(SDL_Surface* AImage) {
  SDL_Surface* converted = SDL_ConvertSurfaceFormat(AImage, SDL_PIXELFORMAT_BGRA32, 0);
  std::vector<uint8_t> bytes;
  for (int y = 0; y < converted->h; ++y) {
    const auto* row = static_cast<const uint8_t*>(converted->pixels) + y * converted->pitch;
    bytes.insert(bytes.end(), row, row + converted->w * 4);
  }
  SDL_FreeSurface(converted);
  return bytes;
}

TEST(PresentSettings, EnvironmentVariablesAreReadAndBadFrameCountsRefused) {
  struct TCase {
    std::map<std::string, std::string> Env;
    bool Headless;
    std::string Path;
    int Frames;
  };
  const TCase cases[] = {
      {{}, false, "", 60},
      {{{"VANTREL_HEADLESS", "1"}}, true, "", 60},
      {{{"VANTREL_HEADLESS", "0"}}, false, "", 60},
      {{{"VANTREL_SCREENSHOT", "/tmp/h.png"}, {"VANTREL_SCREENSHOT_FRAMES", "30"}}, false, "/tmp/h.png", 30},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Path + std::to_string(test.Frames));
    const TPresentSettings settings = ReadPresentSettings([&](const char* AName) -> const char* {
      const auto found = test.Env.find(AName);
      return found == test.Env.end() ? nullptr : found->second.c_str();
    });
    EXPECT_EQ(settings.Headless, test.Headless);
    EXPECT_EQ(settings.ScreenshotPath, test.Path);
    EXPECT_EQ(settings.ScreenshotFrames, test.Frames);
  }
  for (const char* bad : {"0", "-3", "ten", "5x", "99999999999"}) {
    SCOPED_TRACE(bad);
    try {
      ReadPresentSettings([&](const char* AName) -> const char* {
        return std::string(AName) == "VANTREL_SCREENSHOT_FRAMES" ? bad : nullptr;
      });
      ADD_FAILURE();
    } catch (const EPresentError& E) {
      EXPECT_NE(E.Message().find("VANTREL_SCREENSHOT_FRAMES"), std::string::npos);
      EXPECT_NE(E.Message().find(bad), std::string::npos);
    }
  }
}

TEST(PresentPng, SavedImageLoadsBackEqualAndFailuresLeaveNoFile) {
  const std::vector<uint8_t> pixels = Pattern(7, 5);
  const std::string path = TempPath("pattern.png");
  SavePng(TPixels{pixels.data(), 7, 5, 28}, path);
  SDL_Surface* loaded = IMG_Load(path.c_str());
  ASSERT_NE(loaded, nullptr) << IMG_GetError();
  EXPECT_EQ(loaded->w, 7);
  EXPECT_EQ(loaded->h, 5);
  EXPECT_EQ(BgraBytes(loaded), pixels);
  SDL_FreeSurface(loaded);
  std::filesystem::remove(path);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  const std::string missing = TempPath("no_such_dir") + "/x.png";
  try {
    SavePng(TPixels{pixels.data(), 7, 5, 28}, missing);
    ADD_FAILURE();
  } catch (const EPresentError& E) {
    EXPECT_NE(E.Message().find("cannot save " + missing), std::string::npos) << E.Message();
  }
}

TEST(PresentScreenshot, SavesOnTheConfiguredFrameAndSaysSo) {
  TPresentSettings settings;
  settings.ScreenshotPath = TempPath("shot.png");
  settings.ScreenshotFrames = 3;
  TScreenshot screenshot(settings);
  const std::vector<uint8_t> pixels = Pattern(4, 2);
  const TPixels view{pixels.data(), 4, 2, 16};
  EXPECT_FALSE(screenshot.Presented(view));
  EXPECT_FALSE(screenshot.Presented(view));
  testing::internal::CaptureStderr();
  EXPECT_TRUE(screenshot.Presented(view));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "saved " + settings.ScreenshotPath + " (4x2) after 3 frames\n");
  EXPECT_TRUE(std::filesystem::exists(settings.ScreenshotPath));
  std::filesystem::remove(settings.ScreenshotPath);
  EXPECT_FALSE(TScreenshot(TPresentSettings{}).Presented(view));
}

TEST(OffscreenPresenter, WakeEndsAWaitAndASignalBecomesOneClose) {
  auto presenter = CreateOffscreenPresenter();
  EXPECT_FALSE(presenter->IsWindowed());
  EXPECT_THROW(CreateOffscreenPresenter(), EPresentError);
  std::thread waker([&] { presenter->Wake(); });
  presenter->Wait(-1);
  waker.join();
  std::vector<TPresentEvent> events;
  presenter->PollEvents(events);
  EXPECT_TRUE(events.empty());

  std::raise(SIGTERM);
  presenter->Wait(-1);
  presenter->PollEvents(events);
  presenter->PollEvents(events);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Kind, TEventKind::Close);
}

class WindowPresenter : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    FPresenter = CreatePresenter(TPresentSettings{});
    ASSERT_TRUE(FPresenter->IsWindowed());
    FPresenter->Show("Form1", 640, 480);
    FWindow = SDL_GetWindowFromID(FindWindowId());
    ASSERT_NE(FWindow, nullptr);
  }
  void TearDown() override { FPresenter.reset(); }

  static uint32_t FindWindowId() {
    for (uint32_t id = 1; id < 64; ++id)
      if (SDL_GetWindowFromID(id))
        return id;
    return 0;
  }
  void Push(SDL_Event AEvent) { ASSERT_EQ(SDL_PushEvent(&AEvent), 1) << SDL_GetError(); }
  std::vector<TPresentEvent> Poll() {
    std::vector<TPresentEvent> events;
    FPresenter->PollEvents(events);
    return events;
  }

  std::unique_ptr<TPresenter> FPresenter;
  SDL_Window* FWindow = nullptr;
};

TEST_F(WindowPresenter, ShowsTheCanvasInACaptionedWindowAndRefetchesItsSurfaceAfterResize) {
  EXPECT_STREQ(SDL_GetWindowTitle(FWindow), "Form1");
  Poll();
  for (auto [width, height] : {std::pair{640, 480}, std::pair{320, 240}}) {
    SCOPED_TRACE(width);
    if (width == 320) {
      SDL_SetWindowSize(FWindow, width, height);
      const auto events = Poll();
      ASSERT_FALSE(events.empty());
      EXPECT_EQ(events.back().Kind, TEventKind::Resize);
      EXPECT_EQ(events.back().ClientWidth, 320);
      EXPECT_EQ(events.back().ClientHeight, 240);
    }
    const std::vector<uint8_t> pixels = Pattern(width, height);
    FPresenter->Present(TPixels{pixels.data(), width, height, width * 4});
    SDL_Surface* surface = SDL_GetWindowSurface(FWindow);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(surface->w, width);
    EXPECT_EQ(surface->h, height);
    EXPECT_EQ(BgraBytes(surface), pixels);
  }
  FPresenter->Present(TPixels{nullptr, 320, 0, 0});
}

TEST_F(WindowPresenter, TranslatesMouseWheelAndQuitEvents) {
  Poll();
  SDL_Event event{};
  event.type = SDL_MOUSEBUTTONDOWN;
  event.button.button = SDL_BUTTON_LEFT;
  event.button.x = 10;
  event.button.y = 20;
  Push(event);
  event = {};
  event.type = SDL_MOUSEMOTION;
  event.motion.state = SDL_BUTTON_LMASK;
  event.motion.x = 700;
  event.motion.y = 25;
  Push(event);
  event = {};
  event.type = SDL_MOUSEBUTTONUP;
  event.button.button = SDL_BUTTON_LEFT;
  event.button.x = 700;
  event.button.y = 25;
  Push(event);
  event = {};
  event.type = SDL_MOUSEWHEEL;
  event.wheel.y = 1;
  Push(event);
  event = {};
  event.type = SDL_QUIT;
  Push(event);
  const auto events = Poll();
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0].Kind, TEventKind::MouseDown);
  EXPECT_EQ(events[0].X, 10);
  EXPECT_EQ(events[0].Y, 20);
  EXPECT_TRUE(events[0].Shift & LeftFlag);
  EXPECT_EQ(events[1].Kind, TEventKind::MouseMove);
  EXPECT_EQ(events[1].X, 700);
  EXPECT_TRUE(events[1].Shift & LeftFlag);
  EXPECT_EQ(events[2].Kind, TEventKind::MouseUp);
  EXPECT_EQ(events[3].Kind, TEventKind::MouseWheel);
  EXPECT_EQ(events[3].WheelDelta, 120);
  EXPECT_EQ(events[4].Kind, TEventKind::Close);
}

TEST_F(WindowPresenter, WakeFromAnotherThreadEndsAWait) {
  Poll();
  std::thread waker([&] { FPresenter->Wake(); });
  FPresenter->Wait(-1);
  waker.join();
  EXPECT_TRUE(Poll().empty());
}

} // namespace
