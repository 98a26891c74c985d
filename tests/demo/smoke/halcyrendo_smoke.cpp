// Starts the real Halcyrendo binary with the screenshot variables and checks what it leaves: its
// exit code, the saved image and its standard error.

#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_image.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace {

struct TRun {
  int ExitCode = -1;
  std::string Stderr;
};

// Runs the program through a shell, with AEnvironment in front, within 120 s; standard error
// goes to a file in ADir.
TRun RunProgram(const std::filesystem::path& ADir, const std::string& APrefix, const std::string& AEnvironment) {
  const std::filesystem::path log = ADir / "stderr.txt";
  const std::string command = AEnvironment + " " + APrefix + " timeout 120 '" + HALCYRENDO_PATH + "' 2>'" +
                              log.string() + "' >/dev/null";
  TRun run;
  const int status = std::system(command.c_str());
  run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  run.Stderr = text.str();
  return run;
}

float Channel(const SDL_Surface* AImage, int AX, int AY, int AChannel) {
  const auto* row = static_cast<const uint8_t*>(AImage->pixels) + AY * AImage->pitch;
  return row[AX * 4 + AChannel] / 255.0f;
}

void CheckRun(const TRun& ARun, const std::filesystem::path& AImagePath) {
  ASSERT_EQ(ARun.ExitCode, 0) << ARun.Stderr;
  EXPECT_NE(ARun.Stderr.find("saved " + AImagePath.string() + " (640x480) after 30 frames"), std::string::npos)
      << ARun.Stderr;
  EXPECT_EQ(ARun.Stderr.find("<ERROR>"), std::string::npos) << ARun.Stderr;
  EXPECT_EQ(ARun.Stderr.find("ERROR:"), std::string::npos) << ARun.Stderr;
  EXPECT_FALSE(std::regex_search(ARun.Stderr, std::regex("(^|\n)E[A-Za-z]+: "))) << ARun.Stderr;

  SDL_Surface* loaded = IMG_Load(AImagePath.c_str());
  ASSERT_NE(loaded, nullptr) << IMG_GetError();
  SDL_Surface* image = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0);
  SDL_FreeSurface(loaded);
  ASSERT_EQ(image->w, 640);
  ASSERT_EQ(image->h, 480);
  // The post pass runs on the program's own clock, so the moment of the image is not ours to pick:
  // its distortion shifts whole rows to the right by up to a quarter of the width. The cube is
  // therefore looked for on the centre row from the middle rightwards, not at the centre alone.
  bool redFound = false;
  for (int x = 320; x < 640 && !redFound; ++x) {
    const float r = Channel(image, x, 240, 0), g = Channel(image, x, 240, 1), b = Channel(image, x, 240, 2);
    redFound = r - g > 0.08f && r - b > 0.08f;
  }
  EXPECT_TRUE(redFound) << "the red cube on the centre row";
  float mean[3] = {0, 0, 0};
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 640; ++x)
      for (int c = 0; c < 3; ++c)
        mean[c] += Channel(image, x, y, c) / (40 * 640);
  EXPECT_TRUE(mean[0] > 0.1f || mean[1] > 0.1f || mean[2] > 0.1f) << "the top is sky, not the clear colour";
  SDL_FreeSurface(image);
}

class HalcyrendoSmoke : public ::testing::Test {
protected:
  void SetUp() override {
    FDir = std::filesystem::temp_directory_path() / ("halcyrendo_smoke_" + std::to_string(getpid()));
    std::filesystem::create_directories(FDir);
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }
  std::filesystem::path FDir;
};

TEST_F(HalcyrendoSmoke, OffScreenItSavesItsImageAfterThirtyFramesAndExitsCleanly) {
  const std::filesystem::path image = FDir / "h.png";
  const TRun run = RunProgram(FDir, "",
                              "VANTREL_HEADLESS=1 VANTREL_SCREENSHOT='" + image.string() +
                                  "' VANTREL_SCREENSHOT_FRAMES=30");
  CheckRun(run, image);
}

TEST_F(HalcyrendoSmoke, InAnXvfbWindowItDoesTheSame) {
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "xvfb-run is not installed, so there is no display to open the window on";
  const std::filesystem::path image = FDir / "h.png";
  const TRun run = RunProgram(FDir, "xvfb-run -a",
                              "VANTREL_SCREENSHOT='" + image.string() + "' VANTREL_SCREENSHOT_FRAMES=30");
  CheckRun(run, image);
}

} // namespace
