// After the context class is unregistered the GL context is gone for good: nothing makes it again,
// and every query answers "no context" without calling GL.
#include <gtest/gtest.h>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "context/Vantrel.Context.Memory.h"
#include "gl/egl_context.h"
#include "support/gl_fixture.h"
#include "support/log_capture.h"
#include "ui/texture.h"

namespace {

using namespace vantrel;

TEST(ContextUnregistered, ReleasesTheContextAndAnswersNoContext) {
  InitializeContextWindows();
  ASSERT_TRUE(TContextOpenGLWindows::StaticClass().Valid());
  ASSERT_NE(TVantrelContext::ExtensionList(), nullptr);
  const TContextShaderDefinesPtr defines = TVantrelContext::ShaderDefines();
  const int created = gl::CreationCount();
  {
    vtest::TLogCapture log;
    UnregisterContextClass();
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{"Unregistering Vantrel3D TContextOpenGLWindows context...",
                                        "Vantrel3D TContextOpenGLWindows context unregistered"}));
  }
  EXPECT_FALSE(gl::HasContext());
  EXPECT_EQ(TCustomContextWindows::SharedInstance(), nullptr);
  EXPECT_FALSE(TVantrelContext::IsContextAvailable());
  EXPECT_FALSE(TContextOpenGLWindows::StaticClass().Valid());

  TOwned<TTexture> texture(New<TTexture>());
  texture->SetSize(16, 16);
  try {
    vtest::TGLTestContext::Make(texture.get());
    ADD_FAILURE() << "no exception";
  } catch (const Exception& AError) {
    EXPECT_EQ(AError.Message(), "TVantrelContext.CreateFromTexture failed - invalid context");
  }
  EXPECT_EQ(gl::CreationCount(), created);

  EXPECT_EQ(TVantrelContext::GetVendorName(), "");
  EXPECT_EQ(TVantrelContext::GetRendererName(), "");
  EXPECT_EQ(TVantrelContext::GetVersion(), "");
  EXPECT_EQ(TVantrelContext::GetExtensionString(), "");
  // The released context dropped its shader defines; what is made now has no driver strings.
  EXPECT_EQ(defines.use_count(), 1);
  const TContextShaderDefinesPtr bare = TVantrelContext::ShaderDefines();
  std::vector<std::string> names;
  for (const auto& pair : bare->Defines())
    names.push_back(pair.Key);
  EXPECT_EQ(names, (std::vector<std::string>{"MSWINDOWS", ""}));
  EXPECT_EQ(TVantrelContext::MaxDrawBuffers(), 0);
  EXPECT_EQ(TVantrelContext::StaticClass().MaxTextureSize(), 0);
  intptr_t error = 1;
  EXPECT_FALSE(TVantrelContext::HasAnyErrors(error));
  EXPECT_EQ(error, 0);
  EXPECT_EQ(TVantrelMemoryManager::GetTotalMemory(), 0);
  TVantrelContext::SetPixelState(4, 4, 0, 4, 32);
  TVantrelContext::UnsetPixelState();
  TVantrelContext::DoSetTextureFiltering(texture.get(), {TTextureStyle::MipMaps}, 0x0DE1, 0x8058);
  EXPECT_EQ(TCustomContextWindows::SharedInstance(), nullptr);
}

} // namespace
