#include <epoxy/gl.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "rendering/Vantrel.Renderer.h"
#include "rtl/exceptions.h"
#include "support/gl_fixture.h"

namespace {

using namespace vantrel;
using vtest::TRGBA8;

constexpr int Size = 16;
const TAlphaColorF Red = TAlphaColorF::Create(1, 0, 0, 1);
const TAlphaColorF Blue = TAlphaColorF::Create(0, 0, 1, 1);
constexpr TRGBA8 RedPixel{255, 0, 0, 255};
constexpr TRGBA8 BluePixel{0, 0, 255, 255};
constexpr TRGBA8 GreenPixel{0, 255, 0, 255};
constexpr TRGBA8 Clear{0, 0, 0, 0};

// The texture's level 0 as RGBA bytes, bottom row first.
std::vector<TRGBA8> ReadTexture(const TTexture* ATexture) {
  std::vector<TRGBA8> pixels(size_t(ATexture->Width()) * size_t(ATexture->Height()));
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  glBindTexture(GL_TEXTURE_2D, GLuint(ATexture->Handle()));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glBindTexture(GL_TEXTURE_2D, GLuint(previous));
  return pixels;
}

TRGBA8 At(const std::vector<TRGBA8>& APixels, int AX, int AY) {
  return APixels[size_t(AY) * Size + size_t(AX)];
}

class RendererGL : public vtest::ContextGLTest {
protected:
  template <class TKind> TOwned<TKind> Make(TRendererFlags AFlags = {}) {
    TOwned<TKind> renderer = MakeOwned<TKind>("Test", nullptr, AFlags, TOnRendererCreateCompositeTexture{});
    renderer->SetMultisample(TMultisample::None);
    renderer->Resize(TPoint{Size, Size}, 1);
    renderer->Apply();
    return renderer;
  }

  // One frame: the opaque phase clears to the renderer's colour, and the scene is a green patch
  // over the lower left quarter drawn into whatever the phase bound.
  static void DrawFrame(TRenderer& ARenderer) {
    ARenderer.BeginMainRenderPass(TMatrix3D::Identity(), 45);
    ASSERT_TRUE(ARenderer.BeginOpaqueRendering());
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, Size / 2, Size / 2);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    ARenderer.EndOpaqueRendering();
    ARenderer.EndMainRenderPass();
  }
};

TEST_F(RendererGL, LegacyRendererDrawsIntoItsCompositeTexture) {
  auto renderer = Make<TLegacyRenderer>();
  renderer->SetColor(Red);
  DrawFrame(*renderer);
  const auto pixels = ReadTexture(renderer->GetCompositeTexture()->Texture());
  EXPECT_EQ(At(pixels, 2, 2), GreenPixel);
  EXPECT_EQ(At(pixels, 12, 12), RedPixel);
  EXPECT_EQ(At(pixels, 12, 2), RedPixel);
}

TEST_F(RendererGL, ForwardRendererDrawsIntoTheGBuffer) {
  auto renderer = Make<TForwardRenderer>();
  renderer->SetColor(Blue);
  DrawFrame(*renderer);
  const auto albedo = ReadTexture(renderer->GetAlbedoTexture());
  EXPECT_EQ(At(albedo, 2, 2), GreenPixel);
  EXPECT_EQ(At(albedo, 12, 12), BluePixel);
  // Outside the scene the position, normals and emissive targets stay transparent black, not the
  // clear colour; the scene reaches every target the phase prepared.
  for (TVantrelTexture* texture :
       {renderer->GetPositionTexture(), renderer->GetNormalsTexture(), renderer->GetEmissiveTexture()}) {
    const auto pixels = ReadTexture(texture);
    EXPECT_EQ(At(pixels, 12, 12).R + At(pixels, 12, 12).G + At(pixels, 12, 12).B, 0);
    EXPECT_EQ(At(pixels, 2, 2).G, 255);
  }
  // The composite texture is left for the composite step.
  EXPECT_NE(At(ReadTexture(renderer->GetCompositeTexture()->Texture()), 2, 2), GreenPixel);
}

TEST_F(RendererGL, TranslucentPhaseDrawsIntoTheTranslucentAlbedo) {
  auto renderer = Make<TForwardRenderer>();
  renderer->SetColor(Blue);
  DrawFrame(*renderer);
  auto* context = dynamic_cast<TVantrelContext*>(renderer->GetSharedContext());
  renderer->BeginMainRenderPass(TMatrix3D::Identity(), 45);
  ASSERT_TRUE(renderer->BeginTranslucentRendering());
  EXPECT_TRUE(context->GetTranslucentRendering());
  glEnable(GL_SCISSOR_TEST);
  glScissor(Size / 2, Size / 2, Size / 2, Size / 2);
  glClearColor(0, 1, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  renderer->EndTranslucentRendering();
  renderer->EndMainRenderPass();
  EXPECT_FALSE(context->GetTranslucentRendering());

  const auto translucent = ReadTexture(renderer->GetTranslucentAlbedoTexture());
  EXPECT_EQ(At(translucent, 12, 12), GreenPixel);
  EXPECT_EQ(At(translucent, 2, 2), Clear);
  // The opaque result stays where the opaque phase left it.
  const auto albedo = ReadTexture(renderer->GetAlbedoTexture());
  EXPECT_EQ(At(albedo, 2, 2), GreenPixel);
  EXPECT_EQ(At(albedo, 12, 12), BluePixel);
}

TEST_F(RendererGL, TranslucentPhaseSetsThePerBufferBlendTable) {
  auto renderer = Make<TForwardRenderer>();
  auto* context = dynamic_cast<TVantrelContext*>(renderer->GetSharedContext());
  renderer->BeginMainRenderPass(TMatrix3D::Identity(), 45);
  ASSERT_TRUE(renderer->BeginTranslucentRendering());
  struct TRow {
    GLint SrcRGB, DstRGB, SrcAlpha, DstAlpha;
  };
  const TRow sum{GL_ONE, GL_ONE, GL_ONE, GL_ONE};
  const TRow rows[5] = {sum, {GL_ONE, GL_ONE_MINUS_SRC_COLOR, GL_ONE, GL_ONE_MINUS_SRC_ALPHA}, sum, sum, sum};
  for (GLuint index = 0; index < 5; ++index) {
    SCOPED_TRACE(index);
    TRow actual{};
    glGetIntegeri_v(GL_BLEND_SRC_RGB, index, &actual.SrcRGB);
    glGetIntegeri_v(GL_BLEND_DST_RGB, index, &actual.DstRGB);
    glGetIntegeri_v(GL_BLEND_SRC_ALPHA, index, &actual.SrcAlpha);
    glGetIntegeri_v(GL_BLEND_DST_ALPHA, index, &actual.DstAlpha);
    EXPECT_EQ(actual.SrcRGB, rows[index].SrcRGB);
    EXPECT_EQ(actual.DstRGB, rows[index].DstRGB);
    EXPECT_EQ(actual.SrcAlpha, rows[index].SrcAlpha);
    EXPECT_EQ(actual.DstAlpha, rows[index].DstAlpha);
    EXPECT_TRUE(glIsEnabledi(GL_BLEND, index));
  }
  renderer->EndTranslucentRendering();
  renderer->EndMainRenderPass();
  EXPECT_FALSE(context->GetTranslucentRendering());
  EXPECT_FALSE(glIsEnabledi(GL_BLEND, 0));
}

TEST_F(RendererGL, ForwardRendererWithoutGBufferDrawsIntoTheCompositeTexture) {
  auto renderer =
      Make<TForwardRenderer>({TRendererFlag::IgnoreRenderTargets, TRendererFlag::IgnoreCompositeCtrl});
  EXPECT_EQ(renderer->GetAlbedoTexture(), nullptr);
  renderer->SetRenderTargets({TRenderTarget::Color_0});
  renderer->SetColor(Red);
  DrawFrame(*renderer);
  const auto pixels = ReadTexture(renderer->GetCompositeTexture()->Texture());
  EXPECT_EQ(At(pixels, 2, 2), GreenPixel);
  EXPECT_EQ(At(pixels, 12, 12), RedPixel);
}

TEST_F(RendererGL, ResizeRecreatesOnlyOnAChange) {
  auto renderer = Make<TForwardRenderer>();
  TContext3D* context = renderer->GetSharedContext();
  TVantrelTexture* albedo = renderer->GetAlbedoTexture();
  renderer->Resize(TPoint{Size, Size}, 1);
  renderer->SetSize(TPoint{Size, Size});
  EXPECT_EQ(renderer->GetSharedContext(), context);
  EXPECT_EQ(renderer->GetAlbedoTexture(), albedo);

  renderer->SetSize(TPoint{8, 4});
  ASSERT_NE(renderer->GetSharedContext(), nullptr);
  EXPECT_EQ(renderer->GetSharedContext()->Width(), 8);
  EXPECT_EQ(renderer->GetSharedContext()->Height(), 4);
  for (TVantrelTexture* texture :
       {renderer->GetAlbedoTexture(), renderer->GetTranslucentAlbedoTexture(), renderer->GetAlphaTexture(),
        renderer->GetPositionTexture(), renderer->GetNormalsTexture(), renderer->GetEmissiveTexture()}) {
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->Width(), 8);
    EXPECT_EQ(texture->Height(), 4);
  }
  EXPECT_EQ(renderer->GetEmissiveTexture()->TextureScale(), 0.25f);

  renderer->SetScale(2);
  EXPECT_EQ(renderer->GetSharedContext()->Scale(), 2);
  EXPECT_EQ(renderer->GetCompositeTexture()->Texture()->TextureScale(), 2);
  context = renderer->GetSharedContext();
  renderer->SetScale(2);
  EXPECT_EQ(renderer->GetSharedContext(), context);
}

TEST_F(RendererGL, SettingsClampAndReachTheContext) {
  auto renderer = Make<TCompositeRenderer>();
  auto* context = dynamic_cast<TVantrelContext*>(renderer->GetSharedContext());
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(context->GetTranslucentDistance(), 10);
  EXPECT_EQ(renderer->GetRenderTargets(),
            (TRenderTargets{TRenderTarget::Color_0, TRenderTarget::Color_1, TRenderTarget::Color_2,
                            TRenderTarget::Color_3, TRenderTarget::Color_4}));
  renderer->SetTranslucentDistance(0);
  EXPECT_EQ(renderer->GetTranslucentDistance(), 1);
  EXPECT_EQ(context->GetTranslucentDistance(), 1);
  renderer->SetTranslucentDistance(20000);
  EXPECT_EQ(renderer->GetTranslucentDistance(), 10000);
  renderer->SetFXAA(9);
  EXPECT_EQ(renderer->GetFXAA(), 8);
  renderer->SetEmissiveBlur(-1);
  EXPECT_EQ(renderer->GetEmissiveBlur(), 0);
  renderer->SetEmissiveBlur(16);
  EXPECT_EQ(renderer->GetEmissiveBlur(), 15);
  renderer->SetGlobalIllumDetail(8);
  EXPECT_EQ(renderer->GetGlobalIllumDetail(), 7);
  renderer->SetGlobalIllumSoftness(6);
  EXPECT_EQ(renderer->GetGlobalIllumSoftness(), 5);
  renderer->SetShadowStrength(-1);
  EXPECT_EQ(renderer->GetShadowStrength(), 0);
  renderer->SetReflectionStrength(11);
  EXPECT_EQ(renderer->GetReflectionStrength(), 10);
}

TEST_F(RendererGL, WithoutContextThePhasesDoNothing) {
  TOwned<TForwardRenderer> renderer =
      MakeOwned<TForwardRenderer>("Bare", nullptr, TRendererFlags{}, TOnRendererCreateCompositeTexture{});
  EXPECT_EQ(renderer->GetSharedContext(), nullptr);
  EXPECT_EQ(renderer->GetDefaultFrameBuf(), nullptr);
  renderer->BeginMainRenderPass(TMatrix3D::Identity(), 45);
  EXPECT_FALSE(renderer->BeginOpaqueRendering());
  EXPECT_FALSE(renderer->BeginTranslucentRendering());
  renderer->EndTranslucentRendering();
  renderer->EndOpaqueRendering();
  renderer->EndMainRenderPass();
  renderer->Reset();
}

TEST_F(RendererGL, CompositeTextureComesFromTheEventOrFailsWithThePrefix) {
  TPoint askedSize{};
  TOwned<TLegacyRenderer> supplied =
      MakeOwned<TLegacyRenderer>("Supplied", nullptr, TRendererFlags{},
                                 [&](TObject*, const TPoint& ASize, float, TVantrelTextureBitmap*& ATexture) {
                                   askedSize = ASize;
                                   ATexture = TVantrelTextureBitmap::Create(ASize.X, ASize.Y);
                                 });
  supplied->Resize(TPoint{4, 4}, 1);
  EXPECT_EQ(askedSize, (TPoint{4, 4}));
  ASSERT_NE(supplied->GetCompositeTexture(), nullptr);
  EXPECT_EQ(supplied->GetSharedContext()->Texture(), supplied->GetCompositeTexture()->Texture());

  TOwned<TLegacyRenderer> failing = MakeOwned<TLegacyRenderer>(
      "Failing", nullptr, TRendererFlags{},
      [](TObject*, const TPoint&, float, TVantrelTextureBitmap*&) { throw Exception("no memory"); });
  try {
    failing->Resize(TPoint{4, 4}, 1);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& AError) {
    EXPECT_EQ(AError.Message(), "Failed to create renderer composite texture - no memory");
  }
  EXPECT_EQ(failing->GetSharedContext(), nullptr);
}

} // namespace

namespace {

using namespace vantrel;

TEST(RendererRef, ReadsNilOnceTheRendererGoes) {
  auto make = [](const char* AId) {
    return MakeOwned<TLegacyRenderer>(AId, nullptr, TRendererFlags{}, TOnRendererCreateCompositeTexture{});
  };
  TOwned<TLegacyRenderer> post = make("Post");
  TOwned<TLegacyRenderer> attached = make("Attached");
  post->SetAttachedRenderer(attached.get());
  const TRendererRef ref(attached.get());
  const TRendererRef copy = ref;
  EXPECT_EQ(post->GetAttachedRenderer(), attached.get());
  EXPECT_EQ(copy.Get(), attached.get());
  EXPECT_FALSE(TRendererRef().Get());
  EXPECT_FALSE(TRendererRef(nullptr).Get());

  attached.reset();
  EXPECT_EQ(post->GetAttachedRenderer(), nullptr);
  EXPECT_EQ(ref.Get(), nullptr);
  EXPECT_FALSE(copy);
}

} // namespace
