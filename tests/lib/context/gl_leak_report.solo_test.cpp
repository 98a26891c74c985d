// The shutdown report names every kind of GL name still alive.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "gl/names.h"
#include "support/log_capture.h"

namespace {

using namespace vantrel;

bool Logged(const vtest::TLogCapture& ALog, const std::string& ALine) {
  const std::vector<std::string> lines = ALog.Lines();
  return std::ranges::find(lines, ALine) != lines.end();
}

TEST(GLLeakReport, ShutdownNamesTheKindsStillAlive) {
  InitializeContextWindows();
  ASSERT_TRUE(TContextOpenGLWindows::StaticClass().Valid());
  const gl::TNameCounts before = gl::LiveNameCounts();
  ASSERT_EQ(gl::DescribeNameSurplus({}, before), "") << "nothing alive before the test";
  gl::TTextureName kept = gl::TTextureName::Generate();
  gl::GenerateName(gl::TNameKind::Texture);
  gl::GenerateName(gl::TNameKind::Texture);
  gl::GenerateName(gl::TNameKind::FrameBuffer);
  kept.Reset();

  vtest::TLogCapture log;
  FinalizeContextWindows();
  EXPECT_TRUE(Logged(log, "leaked GL names at shutdown: 2 texture, 1 frame buffer"));
}

} // namespace
