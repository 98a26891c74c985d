#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Extension.OpenGL.h"
#include "context/Vantrel.Context.GLES.Windows.h"
#include "context/Vantrel.Context.Memory.OpenGL.h"
#include "gl/egl_context.h"
#include "support/gl_fixture.h"
#include "support/log_capture.h"
#include "ui/texture.h"

namespace {

using namespace vantrel;
using vtest::TGLTestContext;
using vtest::TRGBA8;

std::unique_ptr<vtest::TTestTexture> MakeTexture(int32_t AWidth = 64, int32_t AHeight = 64) {
  return std::make_unique<vtest::TTestTexture>(AWidth, AHeight);
}

GLint GetInt(GLenum AName) {
  GLint value = 0;
  glGetIntegerv(AName, &value);
  return value;
}

GLint GetIntAt(GLenum AName, GLuint AIndex) {
  GLint value = 0;
  glGetIntegeri_v(AName, AIndex, &value);
  return value;
}

std::vector<uint8_t> Bytes(std::string_view AText) {
  return {AText.begin(), AText.end()};
}

class OpenGLContext : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    FTexture = MakeTexture();
    FContext = TGLTestContext::Make(FTexture->get());
    UseFrameBuffer(64, 64);
  }
  void TearDown() override {
    FContext.reset();
    ContextGLTest::TearDown();
  }

  std::unique_ptr<vtest::TTestTexture> FTexture;
  TOwned<TGLTestContext> FContext;
};

// ---- Shared context and registration ----------------------------------------------------------------

TEST_F(OpenGLContext, ContextsShareTheOneGLContext) {
  EXPECT_EQ(TContextManager::DefaultContextClass(), &TContextOpenGLWindows::StaticClass());
  FContext.reset();
  auto texture = MakeTexture(16, 16);
  auto second = TGLTestContext::Make(texture->get());
  EXPECT_EQ(gl::CreationCount(), 1);
  EXPECT_TRUE(second->ContextAvailable());
  TCustomContextWindows* shared = TCustomContextWindows::SharedInstance();
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(shared->ClassName(), "TCustomContextWindows");
  EXPECT_NE(shared->GetContext(), 0u);
  EXPECT_EQ(ContextShared().DrawBufferCount, GetInt(GL_MAX_DRAW_BUFFERS));
}

TEST_F(OpenGLContext, CreationEnablesTextureTargetsAndNeverMultisamples) {
  glDisable(GL_TEXTURE_3D);
  glDisable(GL_TEXTURE_CUBE_MAP);
  auto context = TGLTestContext::Make(FTexture->get(), true, TMultisample::FourSamples);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_3D));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_CUBE_MAP));
  EXPECT_EQ(context->GetPointOrigin(), GL_UPPER_LEFT);
  EXPECT_FALSE(context->GetSupportMS());
  EXPECT_EQ(context->GetDefaultMSFrameBuf(), nullptr);
  TFrameBufferObject* buffer = context->GetDefaultFrameBuf();
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(buffer->SampleCount(), 0);
  EXPECT_EQ(buffer->GetTextureByRenderTarget(TRenderTarget::Color_0), FTexture->get());
  EXPECT_NE(buffer->DepthBuf(), 0u);
  TFrameBufferObject* translucent = context->GetTranslucentBuf();
  ASSERT_NE(translucent, nullptr);
  EXPECT_EQ(translucent->DepthBuf(), 0u);
  GLint type = -1;
  glBindFramebuffer(GL_FRAMEBUFFER, translucent->Handle());
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                        GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
  FrameBuffer()->Bind();
  EXPECT_EQ(type, GL_NONE);
  auto flat = TGLTestContext::Make(FTexture->get(), false);
  EXPECT_EQ(flat->GetDefaultFrameBuf()->DepthBuf(), 0u);
}

TEST_F(OpenGLContext, WindowCreationStoresTheWindowToken) {
  TOwned<TContext3D> context(
      TGLTestContext::StaticClass().CreateFromWindow(0x1234, 32, 32, TMultisample::None, true));
  EXPECT_EQ(TCustomContextWindows::GetWindowHandle(), 0x1234u);
  EXPECT_TRUE(TGLTestContext::StaticClass().Valid());
}

TEST_F(OpenGLContext, RegistrationLogsItsLines) {
  vtest::TLogCapture log;
  RegisterContextClass();
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Registering Vantrel3D TContextOpenGLWindows context ...",
                                                   "Vantrel3D TContextOpenGLWindows context registered"}));
  EXPECT_EQ(TContextManager::DefaultContextClass(), &TContextOpenGLWindows::StaticClass());
}

TEST_F(OpenGLContext, ThePlatformAnswers) {
  EXPECT_EQ(TVantrelContext::StaticClass().Style(), TContextStyles{TContextStyle::RenderTargetFlipped});
  EXPECT_EQ(TVantrelContext::StaticClass().MaxLightCount(), 32);
  EXPECT_EQ(TVantrelContext::GetShaderArch(), TContextShaderArch::GLSL);
  EXPECT_TRUE(TVantrelContext::TextureCompressionAllowed());
  EXPECT_TRUE(TVantrelContext::IsContextAvailable());
  EXPECT_THROW(
      {
        try {
          TCustomContextWindows::StaticClass().Valid();
        } catch (const Exception& AError) {
          EXPECT_EQ(AError.Message(), "Missing method: TCustomContextWindows.Valid()");
          throw;
        }
      },
      Exception);
}

TEST_F(OpenGLContext, IdentityLimitsAndErrors) {
  EXPECT_EQ(TVantrelContext::GetVendorName(), gl::Identity().Vendor);
  EXPECT_EQ(TVantrelContext::GetRendererName(), gl::Identity().Renderer);
  EXPECT_EQ(TVantrelContext::GetVersion(), gl::Identity().Version);
  EXPECT_NE(TVantrelContext::GetExtensionString().find("GL_ARB_texture_compression"), std::string::npos);

  // The shader defines are made once per GL context from the same strings.
  const TContextShaderDefinesPtr defines = TVantrelContext::ShaderDefines();
  EXPECT_EQ(TVantrelContext::ShaderDefines(), defines);
  EXPECT_EQ(defines->Vendor(), gl::Identity().Vendor);
  std::vector<std::string> names;
  for (const auto& pair : defines->Defines()) {
    names.push_back(pair.Key);
    EXPECT_TRUE(pair.Value.AsBoolean()) << pair.Key;
  }
  ASSERT_EQ(names.size(), static_cast<size_t>(defines->Extensions().GetCount()) + 4);
  const std::string& version = gl::Identity().Version;
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 4),
            (std::vector<std::string>{"MSWINDOWS", UpperCase(gl::Identity().Vendor),
                                      UpperCase(gl::Identity().Renderer),
                                      UpperCase(version.substr(0, version.find(' ')))}));
  EXPECT_TRUE(defines->Defines().ContainsKey("GL_ARB_TEXTURE_COMPRESSION"));

  const TVantrelContextClass& platform = TContextOpenGLWindows::StaticClass();
  const std::array<std::pair<int32_t, GLenum>, 8> limits = {{
      {platform.PlatformMaxTextureSize(), GL_MAX_TEXTURE_SIZE},
      {platform.PlatformMaxTexture3DSize(), GL_MAX_3D_TEXTURE_SIZE},
      {platform.PlatformTextureUnitCount(), GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS},
      {platform.PlatformMaxTextureImageUnits(), GL_MAX_TEXTURE_IMAGE_UNITS},
      {platform.PlatformMaxVertexShaderUniformBlocks(), GL_MAX_VERTEX_UNIFORM_BLOCKS},
      {platform.PlatformMaxFragmentShaderUniformBlocks(), GL_MAX_FRAGMENT_UNIFORM_BLOCKS},
      {platform.PlatformMaxUniformBlockSize(), GL_MAX_UNIFORM_BLOCK_SIZE},
      {platform.PlatformMaxDrawBuffers(), GL_MAX_DRAW_BUFFERS},
  }};
  for (const auto& [answer, name] : limits) {
    EXPECT_GT(answer, 0) << std::hex << name;
    EXPECT_EQ(answer, GetInt(name)) << std::hex << name;
  }
  EXPECT_FALSE(TVantrelContext::HasAnyErrors());
  glEnable(0xFFFF);
  glDepthFunc(0xFFFF);
  intptr_t error = 0;
  EXPECT_TRUE(TVantrelContext::HasAnyErrors(error));
  EXPECT_EQ(error, GL_INVALID_ENUM);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// (width, height, depth, bytes per pixel, pitch) -> (unpack alignment, row length).
struct TPixelStateCase {
  std::array<int32_t, 5> Arguments;
  GLint Alignment;
  GLint RowLength;
};

TEST_F(OpenGLContext, PixelStateSetsTheUnpackStoreAndUnsetRestoresIt) {
  const std::array<TPixelStateCase, 5> cases = {{
      {{4, 4, 0, 4, 16}, 1, 0},
      {{4, 4, 0, 4, 32}, 4, 8},
      {{4, 4, 0, 4, 0}, 4, 0},
      {{3, 3, 0, 3, 12}, 1, 0},
      {{4, 4, 2, 4, 32}, 1, 0},
  }};
  glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 7);
  const GLint depth = GetInt(GL_CLIENT_ATTRIB_STACK_DEPTH);
  for (const TPixelStateCase& row : cases) {
    const auto& [w, h, d, bpp, pitch] = row.Arguments;
    TVantrelContext::SetPixelState(w, h, d, bpp, pitch);
    EXPECT_EQ(GetInt(GL_CLIENT_ATTRIB_STACK_DEPTH), depth + 1);
    EXPECT_EQ(GetInt(GL_UNPACK_ALIGNMENT), row.Alignment) << w << " " << pitch;
    EXPECT_EQ(GetInt(GL_UNPACK_ROW_LENGTH), row.RowLength) << w << " " << pitch;
    TVantrelContext::UnsetPixelState();
    EXPECT_EQ(GetInt(GL_CLIENT_ATTRIB_STACK_DEPTH), depth);
    EXPECT_EQ(GetInt(GL_UNPACK_ALIGNMENT), 2);
    EXPECT_EQ(GetInt(GL_UNPACK_ROW_LENGTH), 7);
  }
  TVantrelContext::UnsetPixelState();
  EXPECT_EQ(GetInt(GL_CLIENT_ATTRIB_STACK_DEPTH), depth);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

TEST_F(OpenGLContext, CompileShaderReturnsTheLogAndRaisesOnAFailedStage) {
  TCustomContextWindows& shared = *TCustomContextWindows::SharedInstance();
  const std::string fragment = "#version 430\nout vec4 o_Color;\nvoid main() { o_Color = vec4(1.0); }\n";
  EXPECT_EQ(shared.CompileShader(GL_FRAGMENT_SHADER, Bytes(fragment)), "");
  EXPECT_EQ(shared.CompileShader(GL_FRAGMENT_SHADER, Bytes("#version 430")), "");
  EXPECT_EQ(shared.CompileShader(GL_VERTEX_SHADER, Bytes("#version 430\nvoid main() {}\n")), "");
  struct TCase {
    GLenum Type;
    const char* Message;
  };
  for (const TCase& row :
       {TCase{GL_FRAGMENT_SHADER, "Pixel-Schattierer für 'TCustomContextWindows' kann nicht "
                                  "erstellt werden."},
        TCase{GL_VERTEX_SHADER, "Vertex-Schattierer für 'TCustomContextWindows' kann nicht "
                                "erstellt werden."}}) {
    vtest::TLogCapture log;
    try {
      shared.CompileShader(row.Type, Bytes("#version 430\nvoid main() { undeclared = 1; }\n"));
      ADD_FAILURE() << "no exception";
    } catch (const EContext3DException& AError) {
      EXPECT_EQ(AError.Message(), row.Message);
    }
    ASSERT_FALSE(log.Lines().empty());
    EXPECT_NE(log.Lines().front().find("undeclared"), std::string::npos) << log.Lines().front();
  }
}

// ---- Extensions and memory --------------------------------------------------------------------------

TEST(Extensions, SplitAtBlanks) {
  struct TCase {
    const char* Text;
    std::vector<std::string> Names;
  };
  for (const TCase& row :
       {TCase{"GL_B GL_A ", {"GL_A", "GL_B"}}, TCase{"A  B", {"", "A", "B"}}, TCase{"", {}}}) {
    TOwned<TStringList> list(New<TStringList>());
    SplitExtensionString(row.Text, *list);
    list->SetSorted(true);
    std::vector<std::string> names;
    for (int index = 0; index < list->GetCount(); ++index)
      names.push_back((*list)[index]);
    EXPECT_EQ(names, row.Names) << row.Text;
  }
}

TEST(Extensions, TheBareClassAndTheBareMemoryFacadeRaiseTheAbstractError) {
  EXPECT_THROW(TExtensions::StaticClass().Create(), EAbstractError);
  TVantrelMemoryManagerClass* previous = SetMemoryManagerClass(nullptr);
  EXPECT_THROW(TVantrelMemoryManager::GetTotalMemory(), EAbstractError);
  SetMemoryManagerClass(&TVantrelMemoryManager::StaticClass());
  EXPECT_THROW(TVantrelMemoryManager::GetCurrentMemory(), EAbstractError);
  SetMemoryManagerClass(previous);
}

TEST_F(OpenGLContext, TheDriverListIsSortedWithAnUpperCaseRenderer) {
  TExtensions* extensions = TVantrelContext::ExtensionList();
  ASSERT_NE(extensions, nullptr);
  EXPECT_EQ(extensions->ClassName(), "TOpenGLExtensions");
  EXPECT_EQ(extensions->GetRenderer(), UpperCase(gl::Identity().Renderer));
  EXPECT_NE(extensions->GetRenderer(), gl::Identity().Renderer);
  EXPECT_TRUE(extensions->GetExtensions().GetSorted());
  EXPECT_TRUE(extensions->GetExtension("gl_arb_texture_compression"));
  EXPECT_FALSE(extensions->GetExtension("GL_no_such_extension"));
  EXPECT_EQ(TVantrelContext::DirectStateAccess(), 2000);
  EXPECT_EQ(TVantrelContext::StaticClass().IndexBufferSupport(), TIndexBufferSupport::Int32);
}

TEST_F(OpenGLContext, MemoryQueriesLeaveNoErrorForTheNextScene) {
  EXPECT_EQ(MemoryManagerClass(), &TOpenGLMemoryManager::StaticClass());
  EXPECT_EQ(TVantrelMemoryManager::GetTotalMemory(), 0);
  EXPECT_EQ(TVantrelMemoryManager::GetCurrentMemory(), 0);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  ASSERT_TRUE(FContext->BeginSceneRendering());
  FContext->EndSceneRendering();
}

// ---- State ----------------------------------------------------------------------------------------

struct TStateReadBack {
  GLboolean DepthMask;
  bool DepthTest;
  bool Blend;
  bool Stencil;
  bool ColorWrite;
  bool Scissor;
  bool Culling;
  GLint CullFace;
  bool operator==(const TStateReadBack&) const = default;
};

TStateReadBack ReadState() {
  GLboolean depthMask = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
  GLboolean colorMask[4] = {};
  glGetBooleanv(GL_COLOR_WRITEMASK, colorMask);
  return {depthMask,
          bool(glIsEnabled(GL_DEPTH_TEST)),
          bool(glIsEnabled(GL_BLEND)),
          bool(glIsEnabled(GL_STENCIL_TEST)),
          colorMask[0] == GL_TRUE,
          bool(glIsEnabled(GL_SCISSOR_TEST)),
          bool(glIsEnabled(GL_CULL_FACE)),
          GetInt(GL_CULL_FACE_MODE)};
}

void ResetState() {
  glDepthMask(GL_TRUE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_STENCIL_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glFrontFace(GL_CCW);
}

TEST_F(OpenGLContext, ApplyContextStatesWithItsPrecedence) {
  using enum TContextState;
  struct TCase {
    TContextStates States;
    TStateReadBack Expected;
  };
  const std::vector<TCase> cases = {
      {{csZWriteOff, csZTestOn, csAlphaBlendOn, csStencilOn, csColorWriteOff, csScissorOn, csFrontFace},
       {GL_FALSE, true, true, true, false, true, true, GL_BACK}},
      {{csZWriteOn, csZWriteOff, csZTestOn, csZTestOff, csAlphaBlendOn, csAlphaBlendOff},
       {GL_FALSE, false, false, false, true, false, false, GL_BACK}},
      {{csFrontFace, csBackFace}, {GL_TRUE, false, false, false, true, false, true, GL_BACK}},
      {{csBackFace}, {GL_TRUE, false, false, false, true, false, true, GL_FRONT}},
      {{csBackFace, csAllFace}, {GL_TRUE, false, false, false, true, false, true, GL_FRONT}},
  };
  for (size_t index = 0; index < cases.size(); ++index) {
    const TCase& row = cases[index];
    ResetState();
    FContext->ApplyContextStates(row.States);
    EXPECT_EQ(ReadState(), row.Expected) << "row " << index;
    if (row.States.Contains(csFrontFace))
      EXPECT_EQ(GetInt(GL_FRONT_FACE), GL_CW);
  }
  glEnable(GL_CULL_FACE);
  FContext->ApplyContextStates({csAllFace});
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  EXPECT_EQ(GetInt(GL_DEPTH_FUNC), GL_LEQUAL);
  ResetState();
}

TEST_F(OpenGLContext, SetContextStatesAppliesOnceWithThePerStateHookSilent) {
  using enum TContextState;
  ResetState();
  // Applied one by one in ordinal order the back face would win.
  FContext->SetContextStates({csFrontFace, csBackFace});
  EXPECT_EQ(GetInt(GL_CULL_FACE_MODE), GL_BACK);
  FContext->SetContextState(csBackFace);
  EXPECT_EQ(GetInt(GL_CULL_FACE_MODE), GL_FRONT);
  FContext->SetContextState(csZTestOn);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  ResetState();
}

float ReadDepth(int AX, int AY) {
  float depth = -1;
  glReadPixels(AX, AY, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
  return depth;
}

TEST_F(OpenGLContext, ClearHonoursTargetsAndTheDepthStencilSetting) {
  auto flat = TGLTestContext::Make(FTexture->get(), false);
  FrameBuffer()->Bind();
  struct TCase {
    TGLTestContext* Context;
    TClearTargets Targets;
    TRGBA8 Color;
    float Depth;
  };
  const std::vector<TCase> cases = {
      {FContext.get(), {TClearTarget::Color, TClearTarget::Depth}, {0x10, 0x20, 0x30, 0x40}, 0.25f},
      {FContext.get(), {TClearTarget::Depth}, {0, 0, 0, 0}, 0.25f},
      {FContext.get(), {TClearTarget::Color}, {0x10, 0x20, 0x30, 0x40}, 1.0f},
      {flat.get(),
       {TClearTarget::Color, TClearTarget::Depth, TClearTarget::Stencil},
       {0x10, 0x20, 0x30, 0x40},
       1.0f},
  };
  for (size_t index = 0; index < cases.size(); ++index) {
    const TCase& row = cases[index];
    glDepthMask(GL_TRUE);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDepthMask(GL_FALSE);
    row.Context->Clear(row.Targets, 0x40102030, 0.25f, 7);
    EXPECT_TRUE(vtest::ColorNear(FrameBuffer()->Pixel(5, 5), row.Color)) << "row " << index;
    EXPECT_FLOAT_EQ(ReadDepth(5, 5), row.Depth) << "row " << index;
    GLboolean mask = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_EQ(mask, GL_FALSE);
  }
  glDepthMask(GL_TRUE);
  glClearStencil(0);
  glClear(GL_STENCIL_BUFFER_BIT);
  FContext->ClearEx({TRenderTarget::Stencil, TRenderTarget::Color_0}, 0xFF00FF00, 1, 5);
  GLint stencil = 0;
  glReadPixels(5, 5, 1, 1, GL_STENCIL_INDEX, GL_INT, &stencil);
  EXPECT_EQ(stencil, 5);
  EXPECT_TRUE(vtest::ColorNear(FrameBuffer()->Pixel(5, 5), {0, 0xFF, 0, 0xFF}));
}

TEST_F(OpenGLContext, StencilHooksSetBothFacesAndTheWrapOperations) {
  FContext->SetStencilOp(TStencilOp::Replace, TStencilOp::Invert, TStencilOp::Decrease);
  EXPECT_EQ(GetInt(GL_STENCIL_FAIL), GL_REPLACE);
  EXPECT_EQ(GetInt(GL_STENCIL_PASS_DEPTH_FAIL), GL_INVERT);
  EXPECT_EQ(GetInt(GL_STENCIL_PASS_DEPTH_PASS), GL_DECR);
  FContext->SetStencilFunc(TStencilFunc::NotEqual, 3, 0x0F);
  EXPECT_EQ(GetInt(GL_STENCIL_FUNC), GL_NOTEQUAL);
  EXPECT_EQ(GetInt(GL_STENCIL_REF), 3);
  EXPECT_EQ(GetInt(GL_STENCIL_VALUE_MASK), 0x0F);
  FContext->SetTwoSidedRendering(TStencilOpEx::IncreaseWrap, TStencilOpEx::Keep, TStencilOpEx::Zero,
                                 TStencilOpEx::DecreaseWrap, TStencilOpEx::Replace, TStencilOpEx::Invert,
                                 0x0F, 0xF0);
  // The driver lists EXT_stencil_two_side, whose back-face state is read with the back face active.
  EXPECT_TRUE(glIsEnabled(GL_STENCIL_TEST_TWO_SIDE_EXT));
  EXPECT_EQ(GetInt(GL_ACTIVE_STENCIL_FACE_EXT), GL_FRONT);
  EXPECT_EQ(GetInt(GL_STENCIL_FAIL), GL_INCR_WRAP);
  EXPECT_EQ(GetInt(GL_STENCIL_PASS_DEPTH_FAIL), GL_KEEP);
  EXPECT_EQ(GetInt(GL_STENCIL_PASS_DEPTH_PASS), GL_ZERO);
  EXPECT_EQ(GetInt(GL_STENCIL_WRITEMASK), 0x0F);
  glActiveStencilFaceEXT(GL_BACK);
  EXPECT_EQ(GetInt(GL_STENCIL_FAIL), GL_DECR_WRAP);
  EXPECT_EQ(GetInt(GL_STENCIL_PASS_DEPTH_FAIL), GL_REPLACE);
  EXPECT_EQ(GetInt(GL_STENCIL_PASS_DEPTH_PASS), GL_INVERT);
  EXPECT_EQ(GetInt(GL_STENCIL_WRITEMASK), 0xF0);
  glActiveStencilFaceEXT(GL_FRONT);
  glDisable(GL_STENCIL_TEST_TWO_SIDE_EXT);
  glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
  glStencilMask(0xFFFFFFFF);
  glStencilFunc(GL_ALWAYS, 0, 0xFFFFFFFF);
}

TEST_F(OpenGLContext, GlobalBlendingAndTheBlendTable) {
  ASSERT_EQ(ContextShared().DrawBufferCount, 8);
  const TBlendSetting subtract =
      TBlendSetting::Create(true, TBlendEquationFunc::befSubtract, TBlendFactor::bfSrcAlpha,
                            TBlendFactor::bfOne, TBlendFactor::bfZero, TBlendFactor::bfDstColor);
  vtest::TLogCapture log;
  FContext->SetGlobalBlending(subtract);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(GetInt(GL_BLEND_EQUATION_RGB), GL_FUNC_SUBTRACT);
  EXPECT_EQ(GetInt(GL_BLEND_SRC_RGB), GL_SRC_ALPHA);
  EXPECT_EQ(GetInt(GL_BLEND_DST_RGB), GL_ONE);
  EXPECT_EQ(GetInt(GL_BLEND_SRC_ALPHA), GL_ZERO);
  EXPECT_EQ(GetInt(GL_BLEND_DST_ALPHA), GL_DST_COLOR);
  EXPECT_EQ(FContext->GetBlendingByIndex(0), subtract);
  EXPECT_TRUE(log.Lines().empty());

  const TBlendSetting additive = TBlendSetting::Create(true, TBlendEquationFunc::befMax, TBlendFactor::bfOne,
                                                       TBlendFactor::bfOneMinusSrcColor);
  FContext->SetBlendingByIndex(3, additive);
  EXPECT_TRUE(glIsEnabledi(GL_BLEND, 3));
  EXPECT_EQ(GetIntAt(GL_BLEND_EQUATION_RGB, 3), GL_MAX);
  EXPECT_EQ(GetIntAt(GL_BLEND_SRC_RGB, 3), GL_ONE);
  EXPECT_EQ(GetIntAt(GL_BLEND_DST_ALPHA, 3), GL_ONE_MINUS_SRC_COLOR);
  EXPECT_EQ(FContext->GetBlendingByIndex(3), additive);

  const TBlendSettings before = FContext->GetBlendings();
  FContext->SetBlendingByIndex(10, additive);
  FContext->SetBlendingByIndex(40, additive);
  TBlendSettings expected = before;
  expected[10] = TBlendSetting::Create(false);
  EXPECT_EQ(FContext->GetBlendings(), expected);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  FContext->DisableBlendingBuffers();
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabledi(GL_BLEND, 3));
  FContext->EnableBlendingBuffers();
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(GetInt(GL_BLEND_DST_RGB), GL_ONE_MINUS_SRC_COLOR);
  EXPECT_EQ(FContext->GetBlendingByIndex(7), TBlendSetting::Create(true));
  EXPECT_EQ(FContext->GetBlendingByIndex(8), TBlendSetting::Create(false));
  EXPECT_EQ(FContext->GetGlobalBlending(), TBlendSetting::CreateForFMX());
  glDisable(GL_BLEND);
}

TEST_F(OpenGLContext, ScreenRectangleFillsTheTargetAndLeavesTheMatrices) {
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glMatrixMode(GL_TEXTURE);
  const GLint modelViewDepth = GetInt(GL_MODELVIEW_STACK_DEPTH);
  const GLint projectionDepth = GetInt(GL_PROJECTION_STACK_DEPTH);
  GLfloat projection[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  FContext->DrawScreenRectangle(TAlphaColorF::Create(1.0f, 0.5f, 0.0f, 1.0f));
  for (const auto& [x, y] : {std::pair{0, 0}, {63, 0}, {0, 63}, {63, 63}})
    EXPECT_TRUE(vtest::ColorNear(FrameBuffer()->Pixel(x, y), {255, 128, 0, 255})) << x << "," << y;
  EXPECT_EQ(GetInt(GL_MATRIX_MODE), GL_TEXTURE);
  EXPECT_EQ(GetInt(GL_MODELVIEW_STACK_DEPTH), modelViewDepth);
  EXPECT_EQ(GetInt(GL_PROJECTION_STACK_DEPTH), projectionDepth);
  GLfloat after[16];
  glGetFloatv(GL_PROJECTION_MATRIX, after);
  EXPECT_EQ(std::vector<float>(after, after + 16), std::vector<float>(projection, projection + 16));
  glMatrixMode(GL_MODELVIEW);
}

TEST_F(OpenGLContext, ViewportOrthoAndBarriers) {
  FContext->SetContextSize(1, 2, 30, 40);
  TVantrelContextSize size{};
  FContext->GetContextSize(size);
  EXPECT_EQ(size, (TVantrelContextSize{1, 2, 30, 40}));
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  FContext->BeginOrtho(0, 0, 64, 32, -1, 1);
  GLfloat matrix[16];
  glGetFloatv(GL_PROJECTION_MATRIX, matrix);
  EXPECT_FLOAT_EQ(matrix[0], 2.0f / 64);
  // Top 0 and bottom 32: y grows upwards from the bottom edge.
  EXPECT_FLOAT_EQ(matrix[5], 2.0f / (0 - 32));
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);

  TMemoryBarrierFlags all;
  for (int flag = 0; flag <= int(TMemoryBarrierFlag::ShaderStorageBarrierBit); ++flag)
    all.Include(TMemoryBarrierFlag(flag));
  EXPECT_EQ(FContext->MemoryBarrierFlagsToBits(all), 0x3FEFu);
  EXPECT_EQ(FContext->MemoryBarrierFlagsToBits({TMemoryBarrierFlag::ShaderImageAccessBarrierBit}), 0x20u);
  FContext->SetMemoryBarrierBits(all);
  FContext->FetchMemoryBarrierBit();
  FContext->SetFlatShading();
  EXPECT_EQ(GetInt(GL_SHADE_MODEL), GL_FLAT);
  FContext->SetSmoothShading();
  EXPECT_EQ(GetInt(GL_SHADE_MODEL), GL_SMOOTH);
}

TEST_F(OpenGLContext, SmoothingOffsetsAndPointSprites) {
  FContext->SetSmoothMode({{TSmoothTarget::stLines}});
  EXPECT_FALSE(glIsEnabled(GL_POINT_SMOOTH));
  EXPECT_TRUE(glIsEnabled(GL_LINE_SMOOTH));
  EXPECT_FALSE(glIsEnabled(GL_POLYGON_SMOOTH));
  EXPECT_EQ(FContext->GetSmoothTargets(), TSmoothTargets{TSmoothTarget::stLines});
  FContext->SetSmoothMode({});
  FContext->SetPolygonOffsetFill(TPolygonOffsetFill::pofOffsetFillOn, 2, 3);
  EXPECT_TRUE(glIsEnabled(GL_POLYGON_OFFSET_FILL));
  GLfloat factor = 0;
  glGetFloatv(GL_POLYGON_OFFSET_FACTOR, &factor);
  EXPECT_EQ(factor, 2);
  FContext->SetPolygonOffsetFill(TPolygonOffsetFill::pofOffsetFillOff, 0, 0);
  EXPECT_FALSE(glIsEnabled(GL_POLYGON_OFFSET_FILL));
  FContext->SetPointSprites(true);
  EXPECT_TRUE(glIsEnabled(GL_POINT_SPRITE));
  EXPECT_TRUE(glIsEnabled(GL_PROGRAM_POINT_SIZE));
  EXPECT_EQ(GetInt(GL_POINT_SPRITE_COORD_ORIGIN), GL_UPPER_LEFT);
  GLfloat threshold = 0;
  glGetFloatv(GL_POINT_FADE_THRESHOLD_SIZE, &threshold);
  EXPECT_EQ(threshold, 5);
  FContext->SetPointSprites(false);
  EXPECT_FALSE(glIsEnabled(GL_POINT_SPRITE));
  glDisable(GL_PROGRAM_POINT_SIZE);
  glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_UPPER_LEFT);
}

TEST_F(OpenGLContext, TextureFilteringByFormatAndStyle) {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  struct TCase {
    TTextureStyles Styles;
    uint32_t Format;
    TTextureFilter Filter;
    GLint Min, Mag, MaxLevel;
  };
  const std::vector<TCase> cases = {
      {{TTextureStyle::MipMaps}, GL_RGBA8, TTextureFilter::Linear, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, 16},
      {{TTextureStyle::MipMaps},
       GL_RGBA8,
       TTextureFilter::Nearest,
       GL_NEAREST_MIPMAP_NEAREST,
       GL_NEAREST,
       16},
      {{}, GL_RGBA8, TTextureFilter::Linear, GL_LINEAR, GL_LINEAR, 1000},
      {{TTextureStyle::MipMaps}, GL_RGBA32UI, TTextureFilter::Linear, GL_NEAREST, GL_NEAREST, 1000},
      {{}, GL_R8I, TTextureFilter::Linear, GL_NEAREST, GL_NEAREST, 1000},
  };
  for (const TCase& row : cases) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 1000);
    (*FTexture)->SetMinFilter(row.Filter);
    (*FTexture)->SetMagFilter(row.Filter);
    TVantrelContext::DoSetTextureFiltering(FTexture->get(), row.Styles, GL_TEXTURE_2D, row.Format);
    GLint min = 0, mag = 0, maxLevel = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, &maxLevel);
    EXPECT_EQ(min, row.Min) << std::hex << row.Format;
    EXPECT_EQ(mag, row.Mag) << std::hex << row.Format;
    EXPECT_EQ(maxLevel, row.MaxLevel) << std::hex << row.Format;
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  glDeleteTextures(1, &texture);
}

TEST_F(OpenGLContext, ReadBackBufferSurvivesCreationAndIsReleasedWithAContext) {
  OpenGLESShared().ReadBackBuffer.assign(64, 0xAB);
  auto texture = MakeTexture(8, 8);
  auto other = TGLTestContext::Make(texture->get());
  EXPECT_EQ(OpenGLESShared().ReadBackBuffer.size(), 64u);
  other.reset();
  EXPECT_TRUE(OpenGLESShared().ReadBackBuffer.empty());
  EXPECT_EQ(OpenGLESShared().ReadBackBuffer.capacity(), 0u);
}

// ---- Tables -----------------------------------------------------------------------------------------

TEST(OpenGLContextTables, TextureUnitsPrimitiveModesAndAttributeLocations) {
  const TVantrelContextClass& platform = TContextOpenGLWindows::StaticClass();
  for (const auto& [index, unit] :
       {std::pair{-1, 0x84C0}, {0, 0x84C0}, {1, 0x84C1}, {31, 0x84DF}, {32, 0x84C0}})
    EXPECT_EQ(platform.GetTextureByTextureIndex(index), unit) << index;
  using enum TVantrelPrimitivesKind;
  const std::vector<std::pair<TVantrelPrimitivesKind, uint32_t>> modes = {
      {Points, GL_POINTS},
      {Lines, GL_LINES},
      {Triangles, GL_TRIANGLES},
      {LineLoop, GL_LINE_LOOP},
      {LineStrip, GL_LINE_STRIP},
      {TriangleStrip, GL_TRIANGLE_STRIP},
      {TriangleFan, GL_TRIANGLE_FAN},
      {TVantrelPrimitivesKind(200), GL_TRIANGLES}};
  for (const auto& [kind, mode] : modes)
    EXPECT_EQ(PrimitiveKindToGL(kind), mode) << int(kind);
  const TVertexAttributeLayout color = VertexAttributeLayout(TVertexFormat::Color2);
  EXPECT_EQ(color.Location, 4u);
  EXPECT_EQ(color.Type, uint32_t(GL_UNSIGNED_BYTE));
  EXPECT_EQ(color.Components, GL_BGRA); // the stored B, G, R, A bytes reach the shader as R, G, B, A
  EXPECT_TRUE(color.Normalized);
  EXPECT_EQ(VertexAttributeLayout(TVertexFormat::ColorF2).Location, 4u);
  EXPECT_EQ(VertexAttributeLayout(TVertexFormat::TexCoord3).Location, 9u);
  EXPECT_EQ(VertexAttributeLayout(TVertexFormat::TexCoord3).Components, 2);
  EXPECT_EQ(VertexAttributeLayout(TVertexFormat::Tangent).Location, 11u);
}

} // namespace
