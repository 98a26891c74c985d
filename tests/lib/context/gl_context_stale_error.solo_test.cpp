// An error left over from earlier GL work does not empty the extension list of the process.
#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include "context/Vantrel.Context.Extension.h"
#include "context/Vantrel.Context.GLES.Windows.h"
#include "support/log_capture.h"

namespace {

using namespace vantrel;

TEST(ExtensionListStaleError, IsDrainedAndLoggedBeforeTheListIsRead) {
  InitializeContextWindows();
  ASSERT_TRUE(TContextOpenGLWindows::StaticClass().Valid());
  glEnable(0xFFFF);
  vtest::TLogCapture log;
  const TExtensions* extensions = TVantrelContext::ExtensionList();
  ASSERT_NE(extensions, nullptr);
  EXPECT_GT(extensions->GetExtensions().GetCount(), 10);
  EXPECT_FALSE(extensions->GetRenderer().empty());
  EXPECT_EQ(TVantrelContext::DirectStateAccess(), 2000);
  EXPECT_TRUE(TVantrelContext::TextureCompressionAllowed());
  EXPECT_EQ(log.Lines(),
            std::vector<std::string>{"TOpenGLExtensions.LoadExtensions: pending GL error 1280 drained "
                                     "before reading the extensions"});
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
