#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "context/Vantrel.Context.Shader.h"
#include "context/Vantrel.Context.Texturing.h"
#include "gl/egl_context.h"
#include "support/gl_fixture.h"
#include "support/log_capture.h"
#include "ui/bitmap.h"
#include "ui/shaders.h"
#include "ui/texture.h"

namespace {

using namespace vantrel;
using VarKind = TContextShaderVariableKind;

constexpr std::string_view Vertex = R"(#version 430
in vec4 a_Position;
void main() { gl_Position = a_Position; }
)";

// Every uniform takes part in the result, so that none is optimised away.
constexpr std::string_view Fragment = R"(#version 430
uniform float _F;
uniform vec2 _F2;
uniform vec3 _F3;
uniform vec4 _V[6];
uniform mat4 _M[4];
uniform int _I;
uniform int _IA[3];
uniform vec4 _Wrong;
uniform sampler2D _Tex;
uniform sampler3D _Vol;
layout(rgba8) uniform image3D _Img;
out vec4 o_Color;
void main() {
  vec4 sum = vec4(_F) + vec4(_F2, 0.0, 0.0) + vec4(_F3, 0.0) + _V[0] + _V[5] + _M[0][0] + _M[3][0] + _Wrong;
  sum += vec4(float(_I + _IA[0] + _IA[2]));
  sum += texture(_Tex, vec2(0.5)) + texture(_Vol, vec3(0.5)) + imageLoad(_Img, ivec3(0));
  o_Color = sum;
}
)";

TContextShaderVariable Var(std::string AName, VarKind AKind, int32_t ASize = 1) {
  return {.Name = std::move(AName), .Kind = AKind, .Size = ASize};
}

TOwned<TContextShader> Stage(TContextShaderKind AKind, std::string_view ACode,
                             std::vector<TContextShaderVariable> AVariables = {}) {
  TContextShaderSource source{TContextShaderArch::GLSL, {ACode.begin(), ACode.end()}, std::move(AVariables)};
  TOwned<TContextShader> shader(New<TContextShader>("uniforms", AKind, std::vector{std::move(source)}));
  TContextManager::InitializeShader(shader.get());
  return shader;
}

class OpenGLUniforms : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    FTexture = std::make_unique<vtest::TTestTexture>(64, 64);
    FContext = vtest::TGLTestContext::Make(FTexture->get());
  }
  void TearDown() override {
    ContextShared().DesignTime = false;
    glUseProgram(0);
    if (FProgram)
      TVantrelContext::RemoveProgram(FVertexShader.get(), FPixelShader.get());
    FPixelShader.reset();
    FVertexShader.reset();
    FContext.reset();
    FTexture.reset();
    ContextGLTest::TearDown();
  }

  void UseProgram() {
    FVertexShader = Stage(TContextShaderKind::VertexShader, Vertex);
    FPixelShader =
        Stage(TContextShaderKind::PixelShader, Fragment,
              {Var("F", VarKind::Float), Var("F2", VarKind::Float2), Var("F3", VarKind::Float3),
               Var("V", VarKind::Vector, 4), Var("M", VarKind::Matrix), Var("I", VarKind::Int),
               Var("IA", VarKind::IntArray, 3), Var("Wrong", VarKind::Float), Var("Tex", VarKind::Texture),
               Var("Vol", VarKind::Texture), Var("Img", VarKind::Texture)});
    FContext->SetShaders(FVertexShader.get(), FPixelShader.get());
    FProgram = TVantrelContext::GetCurrentProgram();
    ASSERT_NE(FProgram, nullptr);
  }

  std::vector<float> Floats(const char* AUniform, size_t ACount) const {
    std::vector<float> values(ACount);
    glGetUniformfv(FProgram->Prog(), glGetUniformLocation(FProgram->Prog(), AUniform), values.data());
    return values;
  }
  GLint Int(const char* AUniform) const {
    GLint value = -1;
    glGetUniformiv(FProgram->Prog(), glGetUniformLocation(FProgram->Prog(), AUniform), &value);
    return value;
  }
  int32_t UnitOf(const char* AName) const {
    return FProgram->Variables().Find(std::string(AName))->TextureUnit;
  }

  std::unique_ptr<vtest::TTestTexture> FTexture;
  TOwned<vtest::TGLTestContext> FContext;
  TOwned<TContextShader> FVertexShader;
  TOwned<TContextShader> FPixelShader;
  // The context's current program, owned by the program list.
  TShaderProgram* FProgram = nullptr;
};

TVector3D Vec(float AValue) {
  return {AValue, AValue + 1, AValue + 2, AValue + 3};
}

TEST_F(OpenGLUniforms, VectorsMatricesAndIntsReadBack) {
  ASSERT_NO_FATAL_FAILURE(UseProgram());
  FContext->SetShaderVariable("F", std::array{Vec(1.5f)});
  FContext->SetShaderVariable("F", std::span<const TVector3D>());
  FContext->SetShaderVariable("F2", std::array{Vec(2)});
  FContext->SetShaderVariable("F3", std::array{Vec(3)});
  EXPECT_EQ(Floats("_F", 1), std::vector<float>{1.5f});
  EXPECT_EQ(Floats("_F2", 2), (std::vector<float>{2, 3}));
  EXPECT_EQ(Floats("_F3", 3), (std::vector<float>{3, 4, 5}));

  // Size 4 of a six-element array: ten vectors given, four uploaded.
  std::vector<TVector3D> ten;
  for (int i = 0; i < 10; ++i)
    ten.push_back(Vec(float(10 * (i + 1))));
  FContext->SetShaderVariable("V", ten);
  EXPECT_EQ(Floats("_V[3]", 4), (std::vector<float>{40, 41, 42, 43}));
  EXPECT_EQ(Floats("_V[4]", 4), (std::vector<float>{0, 0, 0, 0}));

  // One matrix for a mat4 array sets element 0 only, as it is.
  TMatrix3D matrix;
  float* cells = &matrix.m11;
  for (int i = 0; i < 16; ++i)
    cells[i] = float(i + 1);
  FContext->SetShaderVariable("M", matrix, true);
  EXPECT_EQ(Floats("_M[0]", 16), std::vector<float>(cells, cells + 16));
  EXPECT_EQ(Floats("_M[1]", 16), std::vector<float>(16, 0.0f));

  FContext->SetShaderVariableInt("I", 7);
  FContext->SetShaderVariableInt("IA", 9);
  EXPECT_EQ(Int("_I"), 7);
  EXPECT_EQ(Int("_IA[0]"), 9);
  EXPECT_EQ(Int("_IA[1]"), 0);
  // An array fills the int[3] uniform; values beyond its size are not sent.
  FContext->SetShaderVariableInt("IA", std::array{4, 5, 6, 7});
  EXPECT_EQ(Int("_IA[0]"), 4);
  EXPECT_EQ(Int("_IA[1]"), 5);
  EXPECT_EQ(Int("_IA[2]"), 6);
  // A single integer takes the first of several.
  FContext->SetShaderVariableInt("I", std::array{3, 8});
  EXPECT_EQ(Int("_I"), 3);

  FContext->SetShaderVariable("Unknown", std::array{Vec(1)});
  FContext->SetShaderVariableInt("Unknown", 1);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(OpenGLUniforms, AGLErrorRaisesAtRunTimeAndIsSilentAtDesignTime) {
  ASSERT_NO_FATAL_FAILURE(UseProgram());
  // A Float variable whose uniform is a vec4: GL refuses the upload.
  EXPECT_THROW(
      {
        try {
          FContext->SetShaderVariable("Wrong", std::array{Vec(1)});
        } catch (const EContext3DException& E) {
          EXPECT_EQ(E.Message(), "Schattierervariable \"Wrong\" nicht gefunden.");
          throw;
        }
      },
      EContext3DException);
  ContextShared().DesignTime = true;
  EXPECT_NO_THROW(FContext->SetShaderVariable("Wrong", std::array{Vec(1)}));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(OpenGLUniforms, TexturesBindOnTheVariablesUnitWithTheirTarget) {
  ASSERT_NO_FATAL_FAILURE(UseProgram());
  TOwned<TTexture> plain(New<TTexture>());
  plain->SetSize(4, 4);
  plain->Initialize();
  FContext->SetShaderVariable("Tex", plain.get());
  EXPECT_EQ(Int("_Tex"), UnitOf("Tex"));
  GLint value = 0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &value);
  EXPECT_EQ(value, GL_TEXTURE0 + UnitOf("Tex"));
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
  EXPECT_EQ(value, GLint(plain->Handle()));

  TOwned<TVantrelTexture> volume(TVantrelTexture::Create());
  volume->SetKind(TVantrelTextureKind::Texture3D);
  volume->SetSize(4, 4);
  volume->SetDepth(4);
  volume->Initialize();
  FContext->SetShaderVariable("Vol", volume.get());
  EXPECT_EQ(volume->GetTextureUnit(), UnitOf("Vol"));
  glGetIntegerv(GL_TEXTURE_BINDING_3D, &value);
  EXPECT_EQ(value, GLint(volume->Handle()));

  TOwned<TVantrelTexture> image(TVantrelTexture::Create());
  image->SetKind(TVantrelTextureKind::ImageTexture3D);
  image->SetSize(4, 4);
  image->SetDepth(4);
  image->SetStyle({});
  image->Initialize();
  FContext->SetShaderVariable("Img", image.get());
  const std::vector<std::pair<GLenum, GLint>> binding = {{GL_IMAGE_BINDING_NAME, GLint(image->Handle())},
                                                         {GL_IMAGE_BINDING_LEVEL, 0},
                                                         {GL_IMAGE_BINDING_LAYERED, GL_TRUE},
                                                         {GL_IMAGE_BINDING_ACCESS, GL_READ_WRITE},
                                                         {GL_IMAGE_BINDING_FORMAT, GL_RGBA8}};
  for (const auto& [name, expected] : binding) {
    glGetIntegeri_v(name, 0, &value);
    EXPECT_EQ(value, expected) << std::hex << name;
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

  glBindImageTexture(0, 0, 0, GL_FALSE, 0, GL_READ_ONLY, GL_RGBA8);
  for (const char* name : {"Tex", "Vol", "Img"}) {
    glActiveTexture(GL_TEXTURE0 + UnitOf(name));
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindTexture(GL_TEXTURE_3D, 0);
  }
  glActiveTexture(GL_TEXTURE0);
}

// ---- Read-back -------------------------------------------------------------------------------------

constexpr int Size = 64;

// The context's default buffer holds orange in its upper half (GL rows 32 .. 63) and blue below.
void PaintHalves(vtest::TGLTestContext& AContext) {
  TFrameBufferBinding binding(*AContext.GetDefaultFrameBuf());
  glViewport(0, 0, Size, Size);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 0, Size, Size / 2);
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glScissor(0, Size / 2, Size, Size / 2);
  glClearColor(1, 0.5f, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
}

TEST_F(OpenGLUniforms, CopyToBitsPutsTheTopRowFirstAndKeepsItsBuffer) {
  gl::SetPackInvertOverride(0);
  PaintHalves(*FContext);
  const int32_t pitch = Size * 4 + 8;
  std::vector<uint8_t> bits(size_t(pitch) * Size, 0xAB);
  FContext->CopyToBits(bits.data(), pitch, {0, 0, Size, Size});
  const std::vector<uint8_t> orange = {0, 128, 255, 255}, blue = {255, 0, 0, 255};
  EXPECT_EQ(std::vector<uint8_t>(bits.begin(), bits.begin() + 4), orange);
  const size_t last = size_t(pitch) * (Size - 1);
  EXPECT_EQ(std::vector<uint8_t>(bits.begin() + last + (Size - 1) * 4, bits.begin() + last + Size * 4), blue);
  EXPECT_EQ(bits[Size * 4], 0xAB) << "row padding is left alone";

  const uint8_t* scratch = OpenGLESShared().ReadBackBuffer.data();
  EXPECT_EQ(OpenGLESShared().ReadBackBuffer.size(), size_t(Size * Size * 4));
  FContext->CopyToBits(bits.data(), pitch, {0, 0, Size, Size});
  EXPECT_EQ(OpenGLESShared().ReadBackBuffer.data(), scratch);

  TOwned<TBitmap> bitmap(New<TBitmap>(Size, Size));
  FContext->CopyToBitmap(bitmap.get(), {0, 0, Size, Size});
  TBitmapData data;
  ASSERT_TRUE(bitmap->Map(TMapAccess::Read, data));
  EXPECT_EQ(data.GetPixel(5, 5), TAlphaColor(0xFFFF8000));
  EXPECT_EQ(data.GetPixel(5, Size - 5), TAlphaColor(0xFF0000FF));
  bitmap->Unmap(data);
}

TEST_F(OpenGLUniforms, CopyToBitsLogsWhatItCannotCopyAndCopiesNothing) {
  PaintHalves(*FContext);
  struct TCase {
    TRect Rect;
    int32_t Pitch;
    std::string Line;
  };
  const std::vector<TCase> cases = {
      {{0, 0, 32, 32},
       32 * 4,
       "TVantrelContextOpenGLES.DoCopyToBits: context default framebuffer size is not equal to destination "
       "render "
       "size: width=64<>32, height=64<>32"},
      {{0, 0, Size, Size},
       Size * 4 - 4,
       "TVantrelContextOpenGLES.DoCopyToBits: destination pitch is smaller than a destination row: "
       "pitch=252<256"},
  };
  for (const TCase& row : cases) {
    std::vector<uint8_t> bits(size_t(Size) * Size * 4, 0xAB);
    vtest::TLogCapture log;
    EXPECT_NO_THROW(FContext->CopyToBits(bits.data(), row.Pitch, row.Rect));
    EXPECT_EQ(log.Lines(), std::vector<std::string>{row.Line});
    EXPECT_EQ(bits, std::vector<uint8_t>(bits.size(), 0xAB));
  }
}

} // namespace
