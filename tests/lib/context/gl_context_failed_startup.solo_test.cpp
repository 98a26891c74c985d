// A start-up that fails is reported once; the process then has no context and never retries.
#include <gtest/gtest.h>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "gl/egl_context.h"
#include "support/log_capture.h"

namespace {

using namespace vantrel;

TEST(ContextFailedStartUp, RaisesOnceThenAnswersFalseWithoutRetrying) {
  TCustomContextWindows::Configuration().MajorVersion = 9;
  TCustomContextWindows::Configuration().MinorVersion = 9;
  InitializeContextWindows();
  std::vector<TContextErrorKind> kinds;
  std::string sender;
  ContextErrorHook = [&](TObject* ASender, TContextErrorKind AKind, const std::string&) {
    kinds.push_back(AKind);
    sender = ASender ? ASender->ClassName() : "";
  };
  vtest::TLogCapture log;
  try {
    TContextOpenGLWindows::StaticClass().Valid();
    ADD_FAILURE() << "no exception";
  } catch (const Exception& AError) {
    EXPECT_EQ(AError.Message(),
              "Failed to initialize context: Could not create the desired OpenGL rendering context!");
  }
  ContextErrorHook = nullptr;
  EXPECT_EQ(kinds, std::vector<TContextErrorKind>{TContextErrorKind::Initialization});
  EXPECT_EQ(sender, "TCustomContextWindows");
  const std::vector<std::string> lines = log.Lines();
  EXPECT_NE(
      std::find(lines.begin(), lines.end(),
                "[Initialization Exception]: Failed to initialize context: Could not create the desired "
                "OpenGL rendering context!"),
      lines.end());

  EXPECT_FALSE(TContextOpenGLWindows::StaticClass().Valid());
  EXPECT_FALSE(TVantrelContext::IsContextAvailable());
  EXPECT_EQ(TCustomContextWindows::SharedInstance(), nullptr);
  EXPECT_EQ(gl::CreationCount(), 0);
  EXPECT_FALSE(gl::HasContext());
  EXPECT_EQ(TVantrelContext::GetRendererName(), "");
  EXPECT_EQ(TVantrelContext::ExtensionList(), nullptr);
  EXPECT_EQ(TVantrelContext::DirectStateAccess(), 0);
  EXPECT_EQ(OpenGLESShared().DirectStateAccess, 0);
  EXPECT_FALSE(TVantrelContext::TextureCompressionAllowed());
}

} // namespace
