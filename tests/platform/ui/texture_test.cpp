#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/exceptions.h"
#include "support/log_capture.h"
#include "ui/context3d.h"
#include "ui/shaders.h"
#include "ui/texture.h"

namespace {

using namespace ui;

// A context class that only answers the class-level texture and shader hooks, recording them.
class TTextureHooks : public TContext3DClass {
public:
  TTextureHooks() : TContext3DClass("TTextureHooks", "Test.Texture", &TContext3D::StaticClass(), nullptr) {}

  mutable std::vector<std::string> Calls;
  bool FailFinalize = false;

  void InitializeTexture(TTexture* ATexture) const override {
    Calls.push_back("InitializeTexture");
    static_cast<ITextureAccess&>(*ATexture).SetHandle(7);
  }
  void DoFinalizeTexture(TTexture* ATexture) const override {
    Calls.push_back("DoFinalizeTexture");
    if (FailFinalize)
      throw EContext3DException("cannot delete");
    static_cast<ITextureAccess&>(*ATexture).SetHandle(0);
  }
  void UpdateTexture(TTexture*, const void*, int32_t APitch) const override {
    Calls.push_back("UpdateTexture " + std::to_string(APitch));
  }
  void InitializeShader(TContextShader* AShader) const override {
    Calls.push_back("InitializeShader");
    AShader->SetHandle(9);
  }
  void DoFinalizeShader(TContextShader* AShader) const override {
    Calls.push_back("DoFinalizeShader " + AShader->Name());
    AShader->SetHandle(0);
  }
};

class Texture : public ::testing::Test {
protected:
  void SetUp() override { TContextManager::UnregisterContexts(); }
  void TearDown() override { TContextManager::UnregisterContexts(); }
  TTextureHooks FHooks;
};

TEST_F(Texture, IsMadeThroughItsMetaclassWithDefaults) {
  rtl::TOwned<TTexture> texture(TTexture::StaticClass().CreateAs<TTexture>());
  EXPECT_TRUE(texture->IsEmpty());
  EXPECT_EQ(texture->Handle(), 0u);
  EXPECT_EQ(texture->PixelFormat(), TPixelFormat::None);
  EXPECT_EQ(texture->Style(), TTextureStyles{TTextureStyle::MipMaps});
  EXPECT_EQ(texture->MinFilter(), TTextureFilter::Linear);
  EXPECT_EQ(texture->MagFilter(), TTextureFilter::Linear);
  texture->SetSize(8, 0);
  EXPECT_TRUE(texture->IsEmpty());
  EXPECT_THROW(texture->SetSize(-8, 8), rtl::EArgumentOutOfRangeException);
}

TEST_F(Texture, WithoutDefaultClassInitializeAndFinalizeDoNothing) {
  rtl::TOwned<TTexture> texture(rtl::New<TTexture>());
  texture->SetSize(4, 4);
  texture->Initialize();
  texture->Finalize();
  EXPECT_EQ(texture->Handle(), 0u);
}

TEST_F(Texture, HandleComesAndGoesThroughTheDefaultClass) {
  TContextManager::RegisterContext(FHooks, true);
  rtl::TOwned<TTexture> texture(rtl::New<TTexture>());
  texture->SetSize(4, 4);
  texture->Initialize();
  texture->Initialize(); // has a handle: nothing to make
  EXPECT_EQ(texture->Handle(), 7u);
  TContextManager::UpdateTexture(texture.get(), nullptr, 16);
  texture->SetSize(4, 4); // same size: the GPU object stays
  EXPECT_EQ(texture->Handle(), 7u);
  texture->SetSize(8, 4);
  EXPECT_EQ(texture->Handle(), 0u);
  texture->Finalize(); // no handle: nothing to release
  texture->Initialize();
  texture.reset();
  EXPECT_EQ(FHooks.Calls,
            (std::vector<std::string>{"InitializeTexture", "UpdateTexture 16", "DoFinalizeTexture",
                                      "InitializeTexture", "DoFinalizeTexture"}));
}

TEST_F(Texture, FailedFinalizationAtDestructionIsLogged) {
  TContextManager::RegisterContext(FHooks, true);
  rtl::TOwned<TTexture> texture(rtl::New<TTexture>());
  texture->Initialize();
  FHooks.FailFinalize = true;
  EXPECT_THROW(texture->Finalize(), EContext3DException);
  vtest::TLogCapture log;
  texture.reset();
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"TTexture.Finalize failed: cannot delete"});
}

TEST_F(Texture, ShaderStagesAreReleasedWhenTheShaderGoes) {
  TContextManager::RegisterContext(FHooks, true);
  rtl::TOwned<TContextShader> shader(
      rtl::New<TContextShader>("plain.fvs", TContextShaderKind::VertexShader,
                               std::vector<TContextShaderSource>{{TContextShaderArch::GLSL, {'v', 0}, {}}}));
  TContextManager::InitializeShader(shader.get());
  EXPECT_EQ(shader->Handle(), 9u);
  shader.reset();
  EXPECT_EQ(FHooks.Calls, (std::vector<std::string>{"InitializeShader", "DoFinalizeShader plain.fvs"}));
}

} // namespace
