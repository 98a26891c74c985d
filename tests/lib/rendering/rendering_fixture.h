#pragma once
// Shared pieces of the rendering tests: a root component with a viewport on it, a RectToFBO test
// pass whose material maps its input (the previous renderer's image) by a fixed rule, and pixel
// reads of textures.

#include <gtest/gtest.h>

#include <vector>

#include "rendering/Vantrel.Controller.h"
#include "rendering/Vantrel.Viewport.h"
#include "support/gl_fixture.h"

namespace rtest {

using namespace vantrel;

// The texture's level 0 as RGBA bytes, bottom row first.
std::vector<vtest::TRGBA8> ReadTexture(const TTexture* ATexture);
vtest::TRGBA8 TexturePixel(const TTexture* ATexture, int AX, int AY);
// Within ±2 per channel.
::testing::AssertionResult Near(const vtest::TRGBA8& AActual, const vtest::TRGBA8& AExpected);

// What the test pass writes for an input colour c.
enum class TPassRule : uint8_t { Invert, Half, Constant };

class TTestPassMaterial : public TVantrelRenderPassMaterial {
  RTL_CLASS(TTestPassMaterial, TVantrelRenderPassMaterial)
public:
  TTestPassMaterial() = default;
  void Setup(TPassRule ARule);
  TAlphaColorF Constant{0.1f, 0.2f, 0.3f, 1};
  // Raises from the apply hook when set.
  bool RaiseOnApply = false;
  TTexture* LastInput = nullptr;
  TPassRule Rule = TPassRule::Invert;

protected:
  void DoApply(TContext3D* AContext) override;
};

class TTestPassSource : public TVantrelRenderPassMaterialSource {
  RTL_CLASS(TTestPassSource, TVantrelRenderPassMaterialSource)
public:
  TTestPassSource() = default;
  TTestPassMaterial& Material() { return static_cast<TTestPassMaterial&>(*GetMaterial()); }

protected:
  TOwned<TMaterial> CreateMaterial() override;
  void DoChange() override {}
};

// A Post, RectToFBO pass drawing into its own composite texture (all four renderer flags).
class TTestPass : public TVantrelRenderPassController {
  RTL_CLASS(TTestPass, TVantrelRenderPassController)
public:
  explicit TTestPass(TComponent* AOwner, std::string AId = {}) : TVantrelRenderPassController(AOwner, std::move(AId)) {}
  TTestPassSource& Source() { return static_cast<TTestPassSource&>(*Shader()); }

protected:
  void InitPassDefaults() override;
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override;
};

// A plain pass with the base defaults and no material.
class TPlainPass : public TVantrelRenderPassController {
  RTL_CLASS(TPlainPass, TVantrelRenderPassController)
public:
  explicit TPlainPass(TComponent* AOwner, std::string AId = {}) : TVantrelRenderPassController(AOwner, std::move(AId)) {}

protected:
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override { return nullptr; }
};

// A root component owning a viewport sized 64 x 64 (its main renderer made), with the units up.
class RenderingGL : public vtest::ContextGLTest {
protected:
  void SetUp() override;
  void TearDown() override;
  TVantrelViewport& Viewport() { return *FViewport; }
  TComponent& Root() { return *FRoot; }
  // Runs the viewport main context's Post passes once, after the main renderer drew its opaque
  // phase (its colour); the main renderer's attached renderer is cleared first.
  void RunPostFrame();

  TOwned<TFmxObject> FRoot;
  TVantrelViewport* FViewport = nullptr;
};

} // namespace rtest
