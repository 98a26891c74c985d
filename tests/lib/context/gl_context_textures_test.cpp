#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "context/Vantrel.Context.Texturing.h"
#include "rtl/ioutils.h"
#include "rtl/sysutils.h"
#include "support/gl_fixture.h"
#include "support/log_capture.h"
#include "ui/shaders.h"
#include "ui/texture.h"

namespace {

using namespace vantrel;
using Kind = TVantrelTextureKind;

GLint GetInt(GLenum AName) {
  GLint value = 0;
  glGetIntegerv(AName, &value);
  return value;
}

GLint LevelWidth(GLenum ATarget, GLint ALevel, GLenum AParameter = GL_TEXTURE_WIDTH) {
  GLint value = 0;
  glGetTexLevelParameteriv(ATarget, ALevel, AParameter, &value);
  return value;
}

GLint TexInt(GLenum ATarget, GLenum AParameter) {
  GLint value = 0;
  glGetTexParameteriv(ATarget, AParameter, &value);
  return value;
}

std::string MessageOf(const std::function<void()>& AAction) {
  try {
    AAction();
  } catch (const Exception& E) {
    return E.Message();
  }
  return "(nothing raised)";
}

bool Logged(const vtest::TLogCapture& ALog, const std::string& APart) {
  for (const std::string& line : ALog.Lines())
    if (line.find(APart) != std::string::npos)
      return true;
  return false;
}

TOwned<TTexture> PlainTexture(int32_t AWidth, int32_t AHeight) {
  TOwned<TTexture> texture(New<TTexture>());
  texture->SetSize(AWidth, AHeight);
  return texture;
}

TOwned<TVantrelTexture> FrameworkTexture(Kind AKind, int32_t AWidth, int32_t AHeight, int32_t ADepth = 0) {
  TOwned<TVantrelTexture> texture(TVantrelTexture::Create());
  texture->SetKind(AKind);
  texture->SetSize(AWidth, AHeight);
  texture->SetDepth(ADepth);
  return texture;
}

// A texture name bound for the test's own purposes, deleted at the end.
struct TSentinel {
  GLuint Name = 0;
  TSentinel() { glGenTextures(1, &Name); }
  ~TSentinel() { glDeleteTextures(1, &Name); }
};

class OpenGLTextures : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    glActiveTexture(GL_TEXTURE0);
  }
  void TearDown() override {
    glActiveTexture(GL_TEXTURE0);
    TPath::SetFolderOverride(TSpecialFolder::Public, "");
    if (!FFolder.empty())
      TDirectory::Delete(FFolder, true);
    ContextGLTest::TearDown();
  }
  // A fresh public folder; the failure report lands there.
  std::string UsePublicFolder() {
    FFolder = TPath::Combine(TPath::GetTempPath(), "vantrel-public-" + TPath::GetRandomFileName());
    TDirectory::CreateDirectory(FFolder);
    TPath::SetFolderOverride(TSpecialFolder::Public, FFolder);
    return TPath::Combine(FFolder, "vantrel3d.context.log");
  }
  static const TVantrelContextClass& Platform() { return TContextOpenGLWindows::StaticClass(); }

private:
  std::string FFolder;
};

// ---- Creation --------------------------------------------------------------------------------------

TEST_F(OpenGLTextures, PlainTextureIsA2DImageAndTheOldBindingComesBack) {
  TSentinel sentinel;
  glBindTexture(GL_TEXTURE_2D, sentinel.Name);
  auto texture = PlainTexture(32, 16);
  texture->Initialize();
  ASSERT_NE(texture->Handle(), 0u);
  EXPECT_EQ(GetInt(GL_TEXTURE_BINDING_2D), GLint(sentinel.Name));
  glBindTexture(GL_TEXTURE_2D, GLuint(texture->Handle()));
  EXPECT_EQ(LevelWidth(GL_TEXTURE_2D, 0), 32);
  EXPECT_EQ(LevelWidth(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA8);
  EXPECT_EQ(TexInt(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S), GL_REPEAT);
  EXPECT_EQ(TexInt(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
  EXPECT_EQ(LevelWidth(GL_TEXTURE_2D, 1), 16);
  glBindTexture(GL_TEXTURE_2D, 0);

  const GLuint handle = GLuint(texture->Handle());
  texture->Finalize();
  EXPECT_EQ(texture->Handle(), 0u);
  EXPECT_FALSE(glIsTexture(handle));

  auto empty = PlainTexture(0, 16);
  empty->Initialize();
  EXPECT_EQ(empty->Handle(), 0u);
}

TEST_F(OpenGLTextures, FrameworkTexturesByKind) {
  auto cube = FrameworkTexture(Kind::CubeMap, 8, 8);
  cube->SetStyle({TTextureStyle::RenderTarget, TTextureStyle::MipMaps});
  cube->SetWrapS(TVantrelTextureWrap::ClampToEdge);
  cube->Initialize();
  glBindTexture(GL_TEXTURE_CUBE_MAP, GLuint(cube->Handle()));
  for (GLenum face = 0; face < 6; ++face)
    EXPECT_EQ(LevelWidth(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0), 8) << face;
  EXPECT_EQ(TexInt(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_BASE_LEVEL), 0);
  EXPECT_EQ(TexInt(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_LEVEL), 9);
  EXPECT_EQ(TexInt(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
  EXPECT_EQ(TexInt(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
  glBindTexture(GL_TEXTURE_CUBE_MAP, 0);

  auto target = FrameworkTexture(Kind::Texture2D, 16, 16);
  target->SetStyle({TTextureStyle::RenderTarget});
  target->SetStyleEx({TTextureStyle::MipMaps});
  target->SetBorderColor(TAlphaColorF::Create(0.25f, 0.5f, 0.75f, 1));
  target->Initialize();
  glBindTexture(GL_TEXTURE_2D, GLuint(target->Handle()));
  EXPECT_EQ(TexInt(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  EXPECT_EQ(LevelWidth(GL_TEXTURE_2D, 1), 0);
  std::array<float, 4> border{};
  glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border.data());
  EXPECT_EQ(border, (std::array<float, 4>{0.25f, 0.5f, 0.75f, 1}));
  glBindTexture(GL_TEXTURE_2D, 0);

  auto floats = FrameworkTexture(Kind::Array2D, 4, 4, 3);
  floats->SetComponents(TPixelFormatEx::RGBA32F);
  floats->SetFormat(TPixelFormatEx::RGBA);
  floats->SetDataType(TVantrelTextureDataType::dtFloat);
  floats->SetStyle({});
  floats->Initialize();
  glBindTexture(GL_TEXTURE_2D_ARRAY, GLuint(floats->Handle()));
  EXPECT_EQ(LevelWidth(GL_TEXTURE_2D_ARRAY, 0, GL_TEXTURE_DEPTH), 3);
  EXPECT_EQ(LevelWidth(GL_TEXTURE_2D_ARRAY, 0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA32F);
  glBindTexture(GL_TEXTURE_2D_ARRAY, 0);
}

TEST_F(OpenGLTextures, AStaleErrorIsDrainedAndLogged) {
  glEnable(0xFFFF);
  vtest::TLogCapture log;
  auto texture = PlainTexture(4, 4);
  texture->Initialize();
  EXPECT_NE(texture->Handle(), 0u);
  EXPECT_TRUE(Logged(log, "pending GL error 1280 drained before creating the texture"));
}

TEST_F(OpenGLTextures, TheBindingOfTheTexturesOwnUnitComesBack) {
  auto first = FrameworkTexture(Kind::Texture2D, 4, 4);
  first->SetTextureUnit(3);
  first->Initialize();
  glActiveTexture(GL_TEXTURE3);
  glBindTexture(GL_TEXTURE_2D, GLuint(first->Handle()));
  TSentinel sentinel;
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, sentinel.Name);

  auto second = FrameworkTexture(Kind::Texture2D, 4, 4);
  second->SetTextureUnit(3);
  second->Initialize();
  glActiveTexture(GL_TEXTURE3);
  EXPECT_EQ(GetInt(GL_TEXTURE_BINDING_2D), GLint(first->Handle()));
  glBindTexture(GL_TEXTURE_2D, 0);
  glActiveTexture(GL_TEXTURE0);
  EXPECT_EQ(GetInt(GL_TEXTURE_BINDING_2D), GLint(sentinel.Name));
  glBindTexture(GL_TEXTURE_2D, 0);
}

TEST_F(OpenGLTextures, ImageTextureLevelsHalveDownToTheLastLevel) {
  auto image = FrameworkTexture(Kind::ImageTexture3D, 16, 16, 16);
  image->SetMipMapLevels(3);
  image->SetStyle({});
  image->Initialize();
  glBindTexture(GL_TEXTURE_3D, GLuint(image->Handle()));
  for (GLint level = 0; level < 3; ++level) {
    EXPECT_EQ(LevelWidth(GL_TEXTURE_3D, level), 16 >> level) << level;
    EXPECT_EQ(LevelWidth(GL_TEXTURE_3D, level, GL_TEXTURE_DEPTH), 16 >> level) << level;
  }
  EXPECT_EQ(TexInt(GL_TEXTURE_3D, GL_TEXTURE_MAX_LEVEL), 2);
  glBindTexture(GL_TEXTURE_3D, 0);
}

// ---- Uploads ---------------------------------------------------------------------------------------

TEST_F(OpenGLTextures, UpdatesUploadTheWholeImageOfEachKind) {
  // 2D rows with padding: the pitch is honoured.
  auto plain = PlainTexture(2, 2);
  plain->SetStyle({});
  plain->Initialize();
  const std::vector<uint8_t> padded = {1, 2,  3,  4,  5,  6,  7,  8,  0, 0, 0, 0,
                                       9, 10, 11, 12, 13, 14, 15, 16, 0, 0, 0, 0};
  TContextManager::UpdateTexture(plain.get(), padded.data(), 12);
  std::vector<uint8_t> read(16);
  glBindTexture(GL_TEXTURE_2D, GLuint(plain->Handle()));
  glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, read.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  EXPECT_EQ(read, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));

  // A volume takes its whole CPU block, not an empty level 0; one image of bits does not fill it.
  auto volume = FrameworkTexture(Kind::Texture3D, 4, 4, 4);
  volume->SetStyle({});
  volume->Initialize();
  const size_t volumeBytes = 4 * 4 * 4 * 4;
  TPixelBlock block = std::make_shared<uint8_t[]>(volumeBytes);
  for (size_t i = 0; i < volumeBytes; ++i)
    block[i] = uint8_t(i * 7 + 3);
  const std::vector<uint8_t> pattern(block.get(), block.get() + volumeBytes);
  const std::vector<uint8_t> image(4 * 4 * 4, 0xEE);
  auto readVolume = [&] {
    std::vector<uint8_t> voxels(volumeBytes);
    glBindTexture(GL_TEXTURE_3D, GLuint(volume->Handle()));
    glGetTexImage(GL_TEXTURE_3D, 0, GL_BGRA, GL_UNSIGNED_BYTE, voxels.data());
    glBindTexture(GL_TEXTURE_3D, 0);
    return voxels;
  };
  volume->SetBuffer(block, int64_t(volumeBytes));
  TContextManager::UpdateTexture(volume.get(), image.data(), 16);
  EXPECT_EQ(readVolume(), pattern);
  volume->SetBuffer(nullptr, 0);
  TContextManager::UpdateTexture(volume.get(), image.data(), 16);
  EXPECT_EQ(readVolume(), pattern);

  // A cube map takes the one source on all six faces.
  auto cube = FrameworkTexture(Kind::CubeMap, 2, 2);
  cube->SetStyle({});
  cube->Initialize();
  const std::vector<uint8_t> face(16, 0x5A);
  TContextManager::UpdateTexture(cube.get(), face.data(), 8);
  glBindTexture(GL_TEXTURE_CUBE_MAP, GLuint(cube->Handle()));
  for (GLenum side = 0; side < 6; ++side) {
    std::vector<uint8_t> texels(16);
    glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + side, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_EQ(texels, face) << side;
  }
  glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
}

// ---- Failure report --------------------------------------------------------------------------------

TEST_F(OpenGLTextures, AFailedCreationWritesTheReportAndStillRaises) {
  const std::string report = UsePublicFolder();
  TFile::WriteAllText(report, "an older report that is much longer than the new one will be, surely");
  auto texture = PlainTexture(20000, 1);
  const std::string expected = "Textur für 'TContextOpenGLWindows (Error = 1281) internal-format=32856, "
                               "format=32993' kann nicht erstellt werden.";
  EXPECT_EQ(MessageOf([&] { texture->Initialize(); }), expected);
  EXPECT_EQ(texture->Handle(), 0u);

  const std::string text = TFile::ReadAllText(report);
  EXPECT_TRUE(text.starts_with("Error: " + expected + "\r\n")) << text;
  const std::vector<std::string> keys = {"Error",
                                         "Vendor-Name",
                                         "Renderer-Name",
                                         "Version",
                                         "Extensions",
                                         "MaxTextureSize",
                                         "MaxTexture3DSize",
                                         "TextureUnitCount",
                                         "MaxTextureImageUnits",
                                         "MaxVertexShaderUniformBlocks",
                                         "MaxFragmentShaderUniformBlocks",
                                         "MaxUniformBlockSize",
                                         "MaxDrawBuffers"};
  size_t start = 0;
  for (const std::string& key : keys) {
    const size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << key;
    EXPECT_TRUE(text.substr(start, end - start).starts_with(key + ": ")) << key;
    start = end + 2;
  }
  EXPECT_EQ(start, text.size());
  EXPECT_NE(text.find("MaxTextureSize: " + IntToStr(GetInt(GL_MAX_TEXTURE_SIZE)) + "\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("Renderer-Name: " + Platform().PlatformGetRendererName() + "\r\n"), std::string::npos);
}

TEST_F(OpenGLTextures, AnUnwritableReportIsLoggedAndTheTextureErrorArrives) {
  TPath::SetFolderOverride(TSpecialFolder::Public, "/proc/vantrel-no-such-folder");
  vtest::TLogCapture log;
  auto texture = PlainTexture(20000, 1);
  EXPECT_THROW(texture->Initialize(), EContext3DException);
  EXPECT_TRUE(Logged(log, "failure report /proc/vantrel-no-such-folder/vantrel3d.context.log not written"));
}

// ---- Shader stages ---------------------------------------------------------------------------------

// A source for another architecture is passed over for the GLSL one.
TEST_F(OpenGLTextures, ShaderStagesCompileByKind) {
  const std::string fragment = "#version 430\nout vec4 o_Color;\nvoid main() { o_Color = vec4(1.0); }\n";
  const std::string vertex = "#version 430\nvoid main() { gl_Position = vec4(0.0); }\n";
  const std::string geometry = "#version 430\nlayout(points) in;\nlayout(points, max_vertices = 1) out;\n"
                               "void main() { gl_Position = vec4(0.0); EmitVertex(); }\n";
  struct TCase {
    TContextShaderKindEx Kind;
    TContextShaderArch Arch;
    std::string Code;
    GLint Stage;
  };
  const std::vector<TCase> cases = {
      {TContextShaderKindEx::PixelShader, TContextShaderArch::GLSL, fragment, GL_FRAGMENT_SHADER},
      {TContextShaderKindEx::VertexShader, TContextShaderArch::Mac, vertex, GL_VERTEX_SHADER},
      {TContextShaderKindEx::GeometryShader, TContextShaderArch::GLSL, geometry, GL_GEOMETRY_SHADER},
  };
  for (const TCase& row : cases) {
    std::vector<TContextShaderSource> sources = {
        {TContextShaderArch::GLSL, {row.Code.begin(), row.Code.end()}, {}}};
    if (row.Arch != TContextShaderArch::GLSL)
      sources.insert(sources.begin(), {row.Arch, {'x'}, {}});
    TOwned<TContextShader> shader(
        New<TContextShader>("stage", static_cast<TContextShaderKind>(row.Kind), std::move(sources)));
    TContextManager::InitializeShader(shader.get());
    const auto handle = GLuint(shader->Handle());
    ASSERT_NE(handle, 0u) << int(row.Kind);
    GLint type = 0, status = 0;
    glGetShaderiv(handle, GL_SHADER_TYPE, &type);
    glGetShaderiv(handle, GL_COMPILE_STATUS, &status);
    EXPECT_EQ(type, row.Stage);
    EXPECT_EQ(status, GL_TRUE);
    TContextManager::FinalizeShader(shader.get());
    EXPECT_EQ(shader->Handle(), 0u);
    EXPECT_FALSE(glIsShader(handle));
  }
}

} // namespace
