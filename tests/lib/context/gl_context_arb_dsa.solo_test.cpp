// A driver that lists only the ARB direct-state-access extension: the answer is asked once and
// kept, and the paths that need EXT extensions take their core replacements.
#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include "context/Vantrel.Context.Extension.h"
#include "context/Vantrel.Context.GLES.Windows.h"
#include "context/Vantrel.Context.Texturing.OpenGL.h"
#include "support/gl_fixture.h"
#include "ui/texture.h"

namespace {

using namespace vantrel;

class TARBOnlyExtensions : public TExtensions {
  RTL_CLASS(TARBOnlyExtensions, TExtensions)
public:
  TARBOnlyExtensions() = default;

protected:
  void LoadExtensions() override {
    FExtensions->Add("GL_ARB_direct_state_access");
    FExtensions->SetSorted(true);
  }
};
RTL_DEFINE_CLASS(TARBOnlyExtensions, "vtest")

GLint GetInt(GLenum AName) {
  GLint value = 0;
  glGetIntegerv(AName, &value);
  return value;
}

TEST(DirectStateAccessFromARB, IsCachedAndTheCorePathsStandIn) {
  InitializeContextWindows();
  ASSERT_TRUE(TContextOpenGLWindows::StaticClass().Valid());
  SetExtensionClass(&TARBOnlyExtensions::StaticClass());
  EXPECT_EQ(TVantrelContext::DirectStateAccess(), 1000);
  TVantrelContext::ExtensionList()->GetExtensions().Add("GL_EXT_direct_state_access");
  EXPECT_EQ(TVantrelContext::DirectStateAccess(), 1000);
  EXPECT_FALSE(TVantrelContext::TextureCompressionAllowed());

  // Without the EXT variant the pixel store is saved with the plain push, which keeps its values.
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 3);
  const GLint depth = GetInt(GL_CLIENT_ATTRIB_STACK_DEPTH);
  TVantrelContext::SetPixelState(4, 4, 0, 4, 32);
  EXPECT_EQ(GetInt(GL_CLIENT_ATTRIB_STACK_DEPTH), depth + 1);
  EXPECT_EQ(GetInt(GL_UNPACK_SKIP_ROWS), 3);
  EXPECT_EQ(GetInt(GL_UNPACK_ROW_LENGTH), 8);
  TVantrelContext::UnsetPixelState();
  EXPECT_EQ(GetInt(GL_CLIENT_ATTRIB_STACK_DEPTH), depth);
  EXPECT_EQ(GetInt(GL_UNPACK_ROW_LENGTH), 0);

  // Without EXT_stencil_two_side the core separate-stencil calls set the two faces.
  InitializeTexturingOpenGL();
  vtest::TTestTexture texture(16, 16);
  auto context = vtest::TGLTestContext::Make(texture.get());
  context->SetTwoSidedRendering(TStencilOpEx::IncreaseWrap, TStencilOpEx::Keep, TStencilOpEx::Zero,
                                TStencilOpEx::DecreaseWrap, TStencilOpEx::Replace, TStencilOpEx::Invert, 0x0F,
                                0xF0);
  EXPECT_FALSE(glIsEnabled(GL_STENCIL_TEST_TWO_SIDE_EXT));
  EXPECT_EQ(GetInt(GL_STENCIL_FAIL), GL_INCR_WRAP);
  EXPECT_EQ(GetInt(GL_STENCIL_PASS_DEPTH_PASS), GL_ZERO);
  EXPECT_EQ(GetInt(GL_STENCIL_WRITEMASK), 0x0F);
  EXPECT_EQ(GetInt(GL_STENCIL_BACK_FAIL), GL_DECR_WRAP);
  EXPECT_EQ(GetInt(GL_STENCIL_BACK_PASS_DEPTH_FAIL), GL_REPLACE);
  EXPECT_EQ(GetInt(GL_STENCIL_BACK_PASS_DEPTH_PASS), GL_INVERT);
  EXPECT_EQ(GetInt(GL_STENCIL_BACK_WRITEMASK), 0xF0);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
