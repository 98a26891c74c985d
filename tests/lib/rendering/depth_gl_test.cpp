// The custom depth pass, the shadow-map pass and the variance shadow-map passes on llvmpipe: what
// the maps hold, their formats, the matrices, the light view with its fallbacks, and a shadow
// drawn with the stored map.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "context/Vantrel.Context.h"
#include "materials/Vantrel.Material.Default.h"
#include "pass_textures.h"
#include "rendering/Vantrel.Controller.Passes.CustomDepth.h"
#include "rendering/Vantrel.Controller.Passes.SMStoreDepth.h"
#include "rendering/Vantrel.Controller.Passes.VSMBlur.h"
#include "rendering/Vantrel.Controller.Passes.VSMStoreDepth.h"
#include "rendering_fixture.h"
#include "support/plain_context.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"
#include "ui/shaders.h"

namespace {

using namespace rtest;

constexpr int Size = 64;

// A quad of AWidth x AHeight around ACentre in the plane z = ACentre.Z, with both windings.
struct TQuad {
  std::array<TPoint3D, 4> Vertices;
  static TQuad Make(const TPoint3D& ACentre, float AWidth, float AHeight) {
    const float x = AWidth / 2, y = AHeight / 2;
    return {{{{ACentre.X - x, ACentre.Y - y, ACentre.Z},
              {ACentre.X + x, ACentre.Y - y, ACentre.Z},
              {ACentre.X + x, ACentre.Y + y, ACentre.Z},
              {ACentre.X - x, ACentre.Y + y, ACentre.Z}}}};
  }
};
constexpr std::array<uint16_t, 12> QuadIndices{0, 1, 2, 0, 2, 3, 0, 2, 1, 0, 3, 2};

void DrawQuad(TContext3D& AContext, const TQuad& AQuad, TMaterial* AMaterial) {
  const TVertexDeclaration declaration{{TVertexFormat::Vertex, 0}};
  AContext.SetMatrix(TMatrix3D::Identity());
  AContext.DrawPrimitives(TPrimitivesKind::Triangles, AQuad.Vertices.data(), QuadIndices.data(), declaration,
                          sizeof(TPoint3D), 4, 2, int32_t(QuadIndices.size()), AMaterial, 1);
}

bool Near(const TMatrix3D& A, const TMatrix3D& B, float ATolerance = 1e-5f) {
  const float* a = &A.m11;
  const float* b = &B.m11;
  for (int index = 0; index < 16; ++index)
    if (std::fabs(a[index] - b[index]) > ATolerance)
      return false;
  return true;
}

std::string Show(const TMatrix3D& A) {
  std::string text;
  const float* a = &A.m11;
  for (int index = 0; index < 16; ++index)
    text += Format("%g%s", a[index], index % 4 == 3 ? "; " : ", ");
  return text;
}

class DepthGL : public RenderingGL {
protected:
  void SetUp() override {
    RenderingGL::SetUp();
    FCamera = New<TCamera>(&Root());
    Viewport().SetCamera(FCamera);
    Viewport().SetUsingDesignCamera(false);
  }
  TVantrelContext& MainContext() { return *dynamic_cast<TVantrelContext*>(Viewport().Context()); }
  template <class T> T* MakePass() {
    auto* pass =
        static_cast<T*>(TVantrelRenderPassController::CreateController(T::StaticClass(), &Viewport(), ""));
    return pass;
  }
  // Near and far of the pass's context at every frame, as the viewport hands them to pass contexts.
  struct TPlanes : TObject {
    float Near = 1, Far = 100;
    void BeginSetup(TObject*, TContext3D* AContext, int32_t, TRenderPass*) {
      auto* context = dynamic_cast<TVantrelContext*>(AContext);
      context->SetNearPlane(Near);
      context->SetFarPlane(Far);
      context->SetCameraAngleOfView(context->CurrentAngleOfView()); // the projection is built anew
    }
  };
  void SetPlanes(TVantrelRenderPassController& APass, float ANear, float AFar) {
    FPlanes.push_back(std::make_unique<TPlanes>());
    FPlanes.back()->Near = ANear;
    FPlanes.back()->Far = AFar;
    APass.OnBeginSetup = TRenderPassEvent(FPlanes.back().get(), &TPlanes::BeginSetup);
  }
  std::vector<std::unique_ptr<TPlanes>> FPlanes;
  // Runs APass's entry once, the list being AQuads drawn with the pass material.
  void Run(TVantrelRenderPassController& APass, const std::vector<TQuad>& AQuads) {
    TRenderListProc draw = [&](PRenderContext) {
      TContext3D* context = APass.GetRenderPassContext();
      TMaterial* material = TMaterialSource::ValidMaterial(APass.Shader());
      for (const TQuad& quad : AQuads)
        DrawQuad(*context, quad, material);
    };
    TRenderContext context = TRenderContext::Create(&MainContext(), &Viewport(), draw, draw);
    auto instance = APass.CreateRenderPassInstance();
    ASSERT_NE(instance, nullptr);
    MainContext().ExecuteRenderPass(instance.get(), &context);
  }
  // The viewport's frustum as the frame loop hands it to the context.
  void SetFrustum(float AAngle, float ANear, float AFar) {
    FCamera->SetAngleOfView(AAngle);
    const TMatrix3D projection =
        TMatrix3D::CreatePerspectiveFovRH(float(AAngle * std::numbers::pi / 180.0), 1, ANear, AFar);
    MainContext().SetFrustum(
        TVantrelFrustum::Create(projection, FCamera->CameraMatrix(), FCamera->AbsolutePosition()));
  }
  // A light of AType at APosition whose Direction is ADirection (turned from its resting (0, 0, 1)).
  TLight* MakeLight(TLightType AType, const TPoint3D& APosition, const TPoint3D& ADirection) {
    auto* light = New<TLight>(&Root());
    light->SetLightType(AType);
    light->Position()->SetPoint(APosition);
    for (const TPoint3D& angles : {TPoint3D{0, 0, 0}, TPoint3D{0, 90, 0}, TPoint3D{0, -90, 0},
                                   TPoint3D{90, 0, 0}, TPoint3D{-90, 0, 0}, TPoint3D{0, 180, 0}}) {
      light->RotationAngle()->SetPoint(angles);
      if ((light->LightDescription().Direction - ADirection).Length() < 1e-4f)
        return light;
    }
    ADD_FAILURE() << "no turn gives the direction";
    return light;
  }

  TCamera* FCamera = nullptr;
};

TEST_F(DepthGL, EachDepthMethodStoresItsValue) {
  auto* pass = MakePass<TVantrelRenderPassCustomDepth>();
  SetPlanes(*pass, 1, 11);
  const TQuad quad = TQuad::Make({0, 0, 5}, 2, 2);
  struct TCase {
    TDepthMethod Method;
    float Centre, Tolerance;
  } cases[] = {{TDepthMethod::dmDefault, 0.94f, 1e-3f},
               {TDepthMethod::dmMVPPosZ, 4.4f, 5e-3f},
               {TDepthMethod::dmModelViewPosZ, -5.0f, 5e-3f}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(int(c.Method));
    pass->SetDepthMethod(c.Method);
    Run(*pass, {quad});
    const std::vector<float> texels = ReadTexels(pass->GetOutputTexture());
    EXPECT_NEAR(Texel(texels, Size, 32, 32, 0), c.Centre, c.Tolerance);
    EXPECT_EQ(Texel(texels, Size, 1, 1, 0), 0.0f) << "the clear colour's red";
  }
  // The view-space method draws with its own vertex stage and hands it the model and view.
  auto* material = pass->DepthSource()->Material();
  const std::string address = Format("%d", reinterpret_cast<intptr_t>(material));
  EXPECT_EQ(material->VertexShaderMVZ()->Name(), "CustomDepthMVZ-" + address + ".fvs");
  TShaderProgram* program =
      TVantrelContext::GetProgram(material->VertexShaderMVZ(), material->PixelShaderZ());
  ASSERT_NE(program, nullptr);
  float view[16] = {};
  glGetUniformfv(GLuint(program->Prog()), glGetUniformLocation(GLuint(program->Prog()), "_ViewMatrix"), view);
  EXPECT_TRUE(Near(*reinterpret_cast<TMatrix3D*>(view), FCamera->CameraMatrix()));
  float model[16] = {};
  glGetUniformfv(GLuint(program->Prog()), glGetUniformLocation(GLuint(program->Prog()), "_ModelMatrix"),
                 model);
  EXPECT_TRUE(Near(*reinterpret_cast<TMatrix3D*>(model), TMatrix3D::Identity()));

  // The texture matrix is the frame's view times its projection; with bias, times B.
  TContext3D* context = pass->GetRenderPassContext();
  const TMatrix3D expected = FCamera->CameraMatrix() * context->CurrentProjectionMatrix();
  EXPECT_TRUE(Near(pass->GetTextureMatrix(context, false), expected))
      << Show(pass->GetTextureMatrix(context, false));
  EXPECT_TRUE(Near(pass->GetTextureMatrix(context, true), expected * pass->GetBiasMatrix()));
}

TEST_F(DepthGL, TheMapIsAHalfFloatTextureWithAWhiteBorder) {
  struct TCase {
    const char* Name;
    TVantrelRenderPassController* Pass;
    GLint Format;
  } cases[] = {{"custom depth", MakePass<TVantrelRenderPassCustomDepth>(), GL_R16F},
               {"SM store", MakePass<TVantrelRenderPassSMStoreDepth>(), GL_R16F},
               {"VSM store", MakePass<TVantrelRenderPassVSMStoreDepth>(), GL_RG16F},
               {"VSM blur", MakePass<TVantrelRenderPassVSMBlur>(), GL_RG16F}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTexture* texture = c.Pass->GetOutputTexture();
    ASSERT_NE(texture, nullptr);
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, GLuint(texture->Handle()));
    GLint format = 0, wrapS = 0, wrapT = 0;
    float border[4] = {};
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapS);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrapT);
    glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
    glBindTexture(GL_TEXTURE_2D, GLuint(previous));
    EXPECT_EQ(format, c.Format);
    EXPECT_EQ(wrapS, GL_CLAMP_TO_BORDER);
    EXPECT_EQ(wrapT, GL_CLAMP_TO_BORDER);
    EXPECT_EQ((std::array<float, 4>{border[0], border[1], border[2], border[3]}),
              (std::array<float, 4>{1, 1, 1, 1}));
  }
}

TEST_F(DepthGL, DefaultsOfTheFourPasses) {
  constexpr TRendererFlags all{TRendererFlag::IgnoreRenderTargets, TRendererFlag::IgnoreCompositeCtrl,
                               TRendererFlag::IgnoreEmissiveBlur, TRendererFlag::IgnoreGlobalIllum};
  auto* depth = MakePass<TVantrelRenderPassCustomDepth>();
  EXPECT_EQ(depth->Get_Type(), TRenderPassType::Pre);
  EXPECT_EQ(depth->GetMethod(), TRenderPassMethod::RenderListToFBO);
  EXPECT_EQ(depth->GetRenderProc(), TRenderPassRenderingProc::ListRendering);
  EXPECT_EQ(depth->GetDefaultDepth(), 1.0f);
  EXPECT_EQ(depth->GetDefaultColor(), 0xFF000000u);
  EXPECT_EQ(depth->GetDepthMethod(), TDepthMethod::dmDefault);
  EXPECT_EQ(depth->GetRendererFlags(), all);
  EXPECT_EQ(depth->GetRenderer()->GetRenderTargets(), TRenderTargets{TRenderTarget::Color_0});
  EXPECT_FALSE(depth->Shader()->Stored());

  auto* store = MakePass<TVantrelRenderPassSMStoreDepth>();
  EXPECT_EQ(store->Get_Type(), TRenderPassType::Pre);
  EXPECT_EQ(store->GetViewportSize(), (TPoint{1024, 1024}));
  EXPECT_TRUE(store->GetOverwriteViewportSize());
  EXPECT_EQ(store->GetLight(), nullptr);
  EXPECT_EQ(store->GetOutputTexture()->Width(), 1024);

  auto* vsm = MakePass<TVantrelRenderPassVSMStoreDepth>();
  EXPECT_EQ(vsm->GetViewportSize(), (TPoint{1024, 1024}));
  EXPECT_EQ(vsm->GetRendererFlags(), all);

  auto* blur = MakePass<TVantrelRenderPassVSMBlur>();
  EXPECT_EQ(blur->Get_Type(), TRenderPassType::Pre);
  EXPECT_EQ(blur->GetMethod(), TRenderPassMethod::RectToFBO);
  EXPECT_EQ(blur->GetIterations(), 2);
  EXPECT_TRUE(blur->GetPingPongMode());
  EXPECT_EQ(blur->GetBlurAmount(), 5.0f);
  EXPECT_EQ(blur->GetBlurType(), TPassBlurType::GaussianBlur);
  EXPECT_EQ(blur->GetViewportSize(), (TPoint{1024, 1024}));

  // The blur's input is the store pass; freeing the store clears it.
  blur->SetVSMStoreDepth(vsm);
  EXPECT_EQ(blur->GetVSMStoreDepth(), vsm);
  vsm->Free();
  EXPECT_EQ(blur->GetVSMStoreDepth(), nullptr);
  // Setting an input pass on a store pass changes nothing.
  store->SetInputPass(depth);
  EXPECT_EQ(store->GetInputPass(), nullptr);
}

TEST_F(DepthGL, MapSizeResizesAndRecomputesTheProjection) {
  auto* store = MakePass<TVantrelRenderPassSMStoreDepth>();
  SetPlanes(*store, 1, 11);
  Run(*store, {});
  const TMatrix3D before = store->GetProjectionMatrix(store->GetRenderPassContext());
  store->SetMapSize({32, 32});
  SetPlanes(*store, 1, 21);
  EXPECT_EQ(store->GetOutputTexture()->Width(), 32);
  EXPECT_EQ(store->GetOutputTexture()->Height(), 32);
  Run(*store, {});
  const TMatrix3D after = store->GetProjectionMatrix(store->GetRenderPassContext());
  EXPECT_FALSE(Near(after, before)) << "a new projection: " << Show(before) << " / " << Show(after);
}

// Depth materials share "CustomDepthZ.fps": freeing one leaves the others drawing.
TEST_F(DepthGL, TheSharedZShaderLivesWhileAMaterialHoldsIt) {
  const int shaders = TShaderManager::Count();
  auto* first = MakePass<TVantrelRenderPassCustomDepth>();
  auto* second = MakePass<TVantrelRenderPassCustomDepth>();
  EXPECT_EQ(first->DepthSource()->Material()->PixelShaderZ(),
            second->DepthSource()->Material()->PixelShaderZ());
  EXPECT_EQ(first->DepthSource()->Material()->PixelShaderZ()->Name(), "CustomDepthZ.fps");
  EXPECT_EQ(TShaderManager::Count(), shaders + 9);
  SetPlanes(*second, 1, 11);
  second->SetDepthMethod(TDepthMethod::dmMVPPosZ);
  first->Free();
  Run(*second, {TQuad::Make({0, 0, 5}, 2, 2)});
  EXPECT_NEAR(Texel(ReadTexels(second->GetOutputTexture()), Size, 32, 32, 0), 4.4f, 5e-3f);
  second->Free();
  EXPECT_EQ(TShaderManager::Count(), shaders);
}

// A variance store pass whose render-pass hooks the test can call.
class TExposedVSMStore : public TVantrelRenderPassVSMStoreDepth {
  RTL_CLASS(TExposedVSMStore, TVantrelRenderPassVSMStoreDepth)
public:
  using TVantrelRenderPassVSMStoreDepth::TVantrelRenderPassVSMStoreDepth;
  using TVantrelRenderPassVSMStoreDepth::DoOnRenderPass;
  using TVantrelRenderPassVSMStoreDepth::DoOnRenderPassFinished;
};
RTL_DEFINE_CLASS(TExposedVSMStore, "Tests.Depth")

// A renderer whose context is not the framework's.
class TForeignRenderer : public TLegacyRenderer {
public:
  using TLegacyRenderer::TLegacyRenderer;

protected:
  void CreateContext() override {
    FTarget = MakeOwned<TTexture>();
    FTarget->SetSize(FSize.X, FSize.Y);
    FSharedContext = vtest::TPlainContext::Make(FTarget.get());
  }

private:
  TOwned<TTexture> FTarget;
};

// The variance store draws only through the framework's context: its material's apply and both
// render-pass hooks refuse another context with the invalid-type error instead of using it.
TEST_F(DepthGL, TheVarianceStoreRefusesAContextThatIsNotTheFrameworks) {
  auto* store = MakePass<TExposedVSMStore>();
  auto foreign = MakeOwned<TForeignRenderer>("Foreign", nullptr, TRendererFlags{}, nullptr);
  foreign->Resize({Size, Size}, 1);
  TContext3D* context = foreign->GetSharedContext();
  ASSERT_NE(context, nullptr);
  ASSERT_EQ(dynamic_cast<TVantrelContext*>(context), nullptr);
  const auto expectRefused = [](const char* AWhat, const std::function<void()>& AAction) {
    SCOPED_TRACE(AWhat);
    try {
      AAction();
      ADD_FAILURE() << "no exception";
    } catch (const EInvalidCast& error) {
      EXPECT_EQ(error.Message(), "Invalid class typecast");
    }
  };
  expectRefused("material", [&] { TMaterialSource::ValidMaterial(store->Shader())->Apply(context); });
  store->SetRenderer(foreign.get());
  expectRefused("render-pass hook", [&] { store->DoOnRenderPass(context, 0, nullptr); });
  expectRefused("finishing hook", [&] { store->DoOnRenderPassFinished(context, 0, nullptr); });
  store->SetRenderer(nullptr);
}

// ---- Light view ---------------------------------------------------------------------------------------

TEST_F(DepthGL, TheLightViewAndItsFallbacks) {
  SetFrustum(45, 1, 100);
  const TMatrix3D cameraView = FCamera->CameraMatrix();
  const auto axes = [](const TMatrix3D& M) {
    return std::array<TPoint3D, 3>{TPoint3D{M.m11, M.m21, M.m31}, TPoint3D{M.m12, M.m22, M.m32},
                                   TPoint3D{M.m13, M.m23, M.m33}};
  };
  const auto orthonormal = [&](const TMatrix3D& M) {
    const auto a = axes(M);
    for (int i = 0; i < 3; ++i) {
      if (std::fabs(a[size_t(i)].Length() - 1) > 1e-5f)
        return false;
      for (int j = i + 1; j < 3; ++j)
        if (std::fabs(a[size_t(i)].DotProduct(a[size_t(j)])) > 1e-5f)
          return false;
    }
    return true;
  };
  TMatrix3D moved = TMatrix3D::Identity();
  moved.m11 = -1, moved.m22 = -1, moved.m43 = -100;
  struct TCase {
    const char* Name;
    TLightType Type;
    TPoint3D Position, Direction;
    std::function<void(const TMatrix3D&)> Check;
  } cases[] = {
      {"directional inside",
       TLightType::Directional,
       {0, 0, 5},
       {1, 0, 0},
       [&](const TMatrix3D& M) {
         const auto a = axes(M);
         EXPECT_TRUE((a[2] - TPoint3D{-1, 0, 0}).Length() < 1e-5f);
         EXPECT_TRUE((a[0] - TPoint3D{0, 0, -1}).Length() < 1e-5f);
         EXPECT_TRUE((a[1] - TPoint3D{0, -1, 0}).Length() < 1e-5f);
         const TVector3D origin = TVector3D(0, 0, 5, 1) * M;
         EXPECT_LT(TPoint3D(origin.X, origin.Y, origin.Z).Length(), 1e-5f);
       }},
      {"point inside",
       TLightType::Point,
       {2, 0, 10},
       {0, 0, 1},
       [&](const TMatrix3D& M) {
         EXPECT_TRUE((axes(M)[2] - TPoint3D{0.196116f, 0, 0.980581f}).Length() < 1e-5f);
       }},
      {"point beyond far",
       TLightType::Point,
       {0, 0, 200},
       {0, 0, 1},
       [&](const TMatrix3D& M) { EXPECT_TRUE(Near(M, moved, 1e-3f)) << Show(M); }},
      {"directional beyond far, towards the scene",
       TLightType::Directional,
       {0, 0, 200},
       {0, 0, -1},
       [&](const TMatrix3D& M) { EXPECT_TRUE(Near(M, moved, 1e-3f)) << Show(M); }},
      {"directional beyond far, along the far plane",
       TLightType::Directional,
       {0, 0, 200},
       {1, 0, 0},
       [&](const TMatrix3D& M) {
         const TVector3D origin = TVector3D(0, 0, 200, 1) * M;
         EXPECT_LT(TPoint3D(origin.X, origin.Y, origin.Z).Length(), 1e-3f) << "unmoved";
       }},
      {"directional straight down",
       TLightType::Directional,
       {0, 0, 5},
       {0, 1, 0},
       [&](const TMatrix3D& M) {
         EXPECT_TRUE(orthonormal(M)) << Show(M);
         EXPECT_TRUE((axes(M)[0] - TPoint3D{1, 0, 0}).Length() < 1e-5f) << Show(M);
       }},
      {"point at the origin",
       TLightType::Point,
       {0, 0, 0},
       {0, 0, 1},
       [&](const TMatrix3D& M) {
         EXPECT_TRUE(orthonormal(M)) << Show(M);
         EXPECT_TRUE((axes(M)[2] - TPoint3D{0, 0, -1}).Length() < 1e-5f) << "looks along +Z";
       }},
  };
  auto* store = MakePass<TVantrelRenderPassSMStoreDepth>();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TLight* light = MakeLight(c.Type, c.Position, c.Direction);
    const TMatrix3D view = LightViewMatrix(light, &Viewport(), cameraView);
    for (float value : {view.m11, view.m22, view.m33, view.m41, view.m42, view.m43})
      EXPECT_TRUE(std::isfinite(value));
    c.Check(view);
    store->SetLight(light);
    EXPECT_TRUE(Near(store->GetViewMatrix(store->GetRenderPassContext()), view));
    light->Free();
    EXPECT_EQ(store->GetLight(), nullptr) << "a freed light is forgotten";
  }
  EXPECT_TRUE(Near(LightViewMatrix(nullptr, &Viewport(), cameraView), cameraView));
  EXPECT_TRUE(Near(store->GetViewMatrix(store->GetRenderPassContext()), cameraView)) << "the camera's view";
}

// ---- Shadow ---------------------------------------------------------------------------------------------

// Draws white where the stored depth is at least the receiver's own, black elsewhere.
constexpr const char* ShadowVertex = "#version 430\n"
                                     "in vec3 a_Position;\n"
                                     "uniform mat4 _MVP;\n"
                                     "uniform mat4 _Model;\n"
                                     "out vec4 v_World;\n"
                                     "void main(){ v_World = _Model * vec4(a_Position, 1.0); "
                                     "gl_Position = _MVP * vec4(a_Position, 1.0); }\n";
constexpr const char* ShadowPixel =
    "#version 430\n"
    "in vec4 v_World;\n"
    "uniform mat4 _Shadow;\n"
    "uniform sampler2D _Map;\n"
    "layout (location = 0) out vec4 o_Color;\n"
    "void main(){ vec4 p = _Shadow * v_World; p /= p.w;\n"
    "  float stored = texture(_Map, p.xy).r;\n"
    "  o_Color = stored >= p.z - 0.005 ? vec4(1.0) : vec4(0.0, 0.0, 0.0, 1.0); }\n";

class TShadowTestMaterial : public TCustomMaterial {
public:
  TShadowTestMaterial() {
    using K = TContextShaderVariableKind;
    const auto source = [](const char* ACode, std::vector<TContextShaderVariable> AVariables) {
      const std::string code(ACode);
      return std::vector<TContextShaderSource>{
          {TContextShaderArch::GLSL, std::vector<uint8_t>(code.begin(), code.end()), std::move(AVariables)}};
    };
    FVertexShader = TShaderManager::RegisterShaderFromData(
        "shadowtest.fvs", TContextShaderKind::VertexShader, "",
        source(ShadowVertex, {{"MVP", K::Matrix, 0, 4, 0, TContextShaderKind::VertexShader},
                              {"Model", K::Matrix, 0, 4, 0, TContextShaderKind::VertexShader}}));
    FPixelShader = TShaderManager::RegisterShaderFromData(
        "shadowtest.fps", TContextShaderKind::PixelShader, "",
        source(ShadowPixel, {{"Shadow", K::Matrix, 0, 4, 0, TContextShaderKind::PixelShader},
                             {"Map", K::Texture, 0, 0, 0, TContextShaderKind::PixelShader}}));
  }
  ~TShadowTestMaterial() override {
    TVantrelContext::RemoveProgram(FVertexShader, FPixelShader);
    TShaderManager::UnregisterShader(FVertexShader);
    TShaderManager::UnregisterShader(FPixelShader);
  }
  TMatrix3D Shadow;
  TTexture* Map = nullptr;

protected:
  void DoApply(TContext3D* AContext) override {
    TCustomMaterial::DoApply(AContext);
    auto* context = dynamic_cast<TVantrelContext*>(AContext);
    context->SetShaderVariable("MVP", AContext->CurrentModelViewProjectionMatrix(), true);
    context->SetShaderVariable("Model", AContext->CurrentMatrix(), true);
    context->SetShaderVariable("Shadow", Shadow, true);
    AContext->SetShaderVariable("Map", Map);
  }
};

class ShadowGL : public DepthGL {
protected:
  void SetUp() override {
    DepthGL::SetUp();
    // The camera at (0, 0, 10) looking down -Z; the light at (0, 0, -5) shining along +Z.
    FCamera->Position()->SetPoint({0, 0, 10});
    FCamera->RotationAngle()->SetY(180);
    SetFrustum(45, 1, 21);
    FLight = MakeLight(TLightType::Directional, {0, 0, -5}, {0, 0, 1});
  }
  const TQuad Occluder = TQuad::Make({0, 0, -3.5f}, 1, 8);
  const TQuad Receiver = TQuad::Make({0, 0, 2}, 8, 8);
  TLight* FLight = nullptr;
};

TEST_F(ShadowGL, TheStoredDepthsAndTheShadowTheyCast) {
  auto* store = MakePass<TVantrelRenderPassSMStoreDepth>();
  store->SetLight(FLight);
  store->SetMapSize({64, 64});
  SetPlanes(*store, 1, 21);
  Run(*store, {Occluder, Receiver});
  const std::vector<float> map = ReadTexels(store->GetOutputTexture());
  EXPECT_NEAR(Texel(map, Size, 32, 32, 0), 0.675f, 1e-3f) << "the occluder at distance 1.5";
  EXPECT_NEAR(Texel(map, Size, 32, 2, 0), 0.675f, 1e-3f) << "the strip covers every row";
  EXPECT_NEAR(Texel(map, Size, 2, 32, 0), 0.95f, 1e-3f) << "the receiver at distance 7";
  EXPECT_NEAR(Texel(map, Size, 61, 32, 0), 0.95f, 1e-3f);

  // The receiver drawn from the camera with the map: a band of shadow across the middle.
  TShadowTestMaterial material;
  material.Shadow = store->GetTextureMatrix(store->GetRenderPassContext(), true);
  material.Map = store->GetOutputTexture();
  TRenderer* main = Viewport().MainPassRenderer();
  TContext3D* context = main->GetSharedContext();
  auto target = MakeFloatTexture(Size, Size, TPixelFormatEx::RGBA16F, {});
  auto* framework = dynamic_cast<TVantrelContext*>(context);
  ASSERT_TRUE(context->BeginScene());
  framework->AttachTextureToDefaultBuffer(target->Texture(), TRenderTarget::Color_0);
  framework->GetDefaultFrameBuf()->Prepare(TRenderTargets{TRenderTarget::Color_0});
  framework->ClearEx(TRenderTargets{TRenderTarget::Color_0, TRenderTarget::Depth}, 0xFF0000FF, 1, 0);
  context->SetContextState(TContextState::cs3DScene);
  context->SetContextState(TContextState::csZTestOn);
  context->SetCameraMatrix(FCamera->CameraMatrix());
  framework->SetNearPlane(1);
  framework->SetFarPlane(21);
  DrawQuad(*context, Receiver, &material);
  context->EndScene();
  framework->AttachTextureToDefaultBuffer(main->GetCompositeTexture()->Texture(), TRenderTarget::Color_0);
  const std::vector<float> image = ReadTexels(target->Texture());
  for (const auto& [column, lit] : {std::pair{4, true}, std::pair{59, true}, std::pair{20, false},
                                    std::pair{32, false}, std::pair{44, false}}) {
    SCOPED_TRACE(column);
    EXPECT_NEAR(Texel(image, Size, column, 32, 0), lit ? 1.0f : 0.0f, 0.01f);
  }
}

TEST_F(ShadowGL, VarianceMapsKeepTheirMoments) {
  auto* store = MakePass<TVantrelRenderPassVSMStoreDepth>();
  auto* blur = MakePass<TVantrelRenderPassVSMBlur>();
  store->SetLight(FLight);
  store->SetMapSize({64, 64});
  blur->SetViewportSize({64, 64});
  blur->SetBlurAmount(1);
  blur->SetVSMStoreDepth(store);
  SetPlanes(*store, 1, 21);
  Run(*store, {Occluder, Receiver});
  const std::vector<float> moments = ReadTexels(store->GetOutputTexture());
  EXPECT_NEAR(Texel(moments, Size, 32, 32, 0), 0.675f, 1e-3f);
  EXPECT_NEAR(Texel(moments, Size, 32, 32, 1), 0.4556f, 1e-3f);
  EXPECT_NEAR(Texel(moments, Size, 2, 32, 0), 0.95f, 1e-3f);
  EXPECT_NEAR(Texel(moments, Size, 2, 32, 1), 0.9025f, 1e-3f);

  struct TRecorder : TObject {
    TVantrelRenderPassVSMBlur* Pass = nullptr;
    int SelfReads = 0;
    void EndRender(TObject*, TContext3D*, int32_t, TRenderPass*) {
      GLint target = 0;
      glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                            GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &target);
      if (GLuint(target) == GLuint(Pass->Material()->InputTexture()->Handle()))
        ++SelfReads;
    }
  } recorder;
  recorder.Pass = blur;
  blur->OnEndRender = TRenderPassEvent(&recorder, &TRecorder::EndRender);
  Run(*blur, {});
  blur->OnEndRender = {};
  EXPECT_EQ(recorder.SelfReads, 0);
  const std::vector<float> blurred = ReadTexels(blur->GetFinalOutputTexture());
  EXPECT_NEAR(Texel(blurred, Size, 32, 32, 0), 0.675f, 2e-3f);
  EXPECT_NEAR(Texel(blurred, Size, 32, 32, 1), 0.4556f, 2e-3f);
  int below = 0;
  for (int y = 0; y < Size; ++y)
    for (int x = 0; x < Size; ++x) {
      const float m1 = Texel(blurred, Size, x, y, 0), m2 = Texel(blurred, Size, x, y, 1);
      if (m2 < m1 * m1 - 2e-3f)
        ++below;
    }
  EXPECT_EQ(below, 0) << "m2 >= m1^2 everywhere";
}

} // namespace

namespace {

// The glue: a default material whose shadow inputs are the real passes takes the store passes'
// biased matrices after a frame.
TEST_F(ShadowGL, TheDefaultMaterialReadsTheStoreMatrices) {
  EXPECT_EQ(GetPassClass(TVantrelPassClassRef::SMStoreDepth), &TVantrelRenderPassSMStoreDepth::StaticClass());
  EXPECT_EQ(GetPassClass(TVantrelPassClassRef::VSMStoreDepth),
            &TVantrelRenderPassVSMStoreDepth::StaticClass());
  EXPECT_EQ(GetPassClass(TVantrelPassClassRef::VSMBlur), &TVantrelRenderPassVSMBlur::StaticClass());
  EXPECT_EQ(GetPassClass(TVantrelPassClassRef::CustomDepth), &TVantrelRenderPassCustomDepth::StaticClass());
  auto* sm = MakePass<TVantrelRenderPassSMStoreDepth>();
  auto* store = MakePass<TVantrelRenderPassVSMStoreDepth>();
  auto* blur = MakePass<TVantrelRenderPassVSMBlur>();
  for (TVantrelRenderPassCustomDepth* pass : {static_cast<TVantrelRenderPassCustomDepth*>(sm),
                                              static_cast<TVantrelRenderPassCustomDepth*>(store)}) {
    pass->SetMapSize({64, 64});
    SetPlanes(*pass, 1, 21);
  }
  sm->SetLight(FLight);
  store->SetLight(FLight);
  blur->SetViewportSize({64, 64});
  blur->SetVSMStoreDepth(store);
  Run(*sm, {Occluder, Receiver});
  Run(*store, {Occluder, Receiver});
  Run(*blur, {});

  auto source = MakeOwned<TVantrelDefaultMaterialSource>(nullptr);
  source->SetShadows(true);
  source->SetShadowMapPass(0, sm);
  source->SetShadowMapPass(3, blur);
  TContext3D* context = Viewport().MainPassRenderer()->GetSharedContext();
  TVertexBuffer vertices(TVertexFormats{TVertexFormat::Vertex}, 1);
  const uint16_t index = 0;
  ASSERT_TRUE(context->BeginScene());
  context->DrawPrimitives(TPrimitivesKind::Points, vertices.Buffer(), &index,
                          vertices.GetVertexDeclarations(), vertices.VertexSize(), 1, 2, 1,
                          source->DefaultMaterial(), 1);
  context->EndScene();
  const TVantrelShaderData& data = source->DefaultMaterial()->GetShaderData();
  EXPECT_TRUE(Near(data.PassData[0].ShadowMapMatrix[0], sm->GetTextureMatrix(context, true)));
  EXPECT_TRUE(Near(data.PassData[0].ShadowMapMatrix[3], store->GetTextureMatrix(context, true)))
      << "the blur's matrix is its store pass's";
  EXPECT_FALSE(Near(data.PassData[0].ShadowMapMatrix[0], TMatrix3D{}));
}

} // namespace
