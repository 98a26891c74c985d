#include "pass_textures.h"

#include <epoxy/gl.h>

#include <algorithm>

#include "context/Vantrel.Context.Texturing.h"

namespace rtest {

RTL_DEFINE_CLASS(TInputPassDouble, "Tests.Rendering")

namespace {

struct TFloatFormat {
  TPixelFormatEx Format;
  GLenum Upload;
  int Channels;
};

TFloatFormat FloatFormatOf(TPixelFormatEx AComponents) {
  switch (AComponents) {
  case TPixelFormatEx::R16F:
    return {TPixelFormatEx::R, GL_RED, 1};
  case TPixelFormatEx::RG16F:
    return {TPixelFormatEx::RG, GL_RG, 2};
  default:
    return {TPixelFormatEx::RGBA, GL_RGBA, 4};
  }
}

} // namespace

TOwned<TVantrelTextureBitmap> MakeFloatTexture(int32_t AWidth, int32_t AHeight, TPixelFormatEx AComponents,
                                               const std::vector<float>& AData, TTextureFilter AFilter) {
  const TFloatFormat format = FloatFormatOf(AComponents);
  TOwned<TVantrelTextureBitmap> texture(TVantrelTextureBitmap::Create());
  texture->BeginSetup();
  texture->SetStyle(TTextureStyles{TTextureStyle::RenderTarget});
  texture->SetSize(AWidth, AHeight);
  texture->SetDataType(TVantrelTextureDataType::dtHalfFloat);
  texture->SetComponents(AComponents);
  texture->SetFormat(format.Format);
  texture->SetMinFilter(AFilter);
  texture->SetMagFilter(AFilter);
  texture->SetWrapS(TVantrelTextureWrap::ClampToEdge);
  texture->SetWrapT(TVantrelTextureWrap::ClampToEdge);
  texture->EndSetup();
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  glBindTexture(GL_TEXTURE_2D, GLuint(texture->Texture()->Handle()));
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (!AData.empty())
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, AWidth, AHeight, format.Upload, GL_FLOAT, AData.data());
  glBindTexture(GL_TEXTURE_2D, GLuint(previous));
  return texture;
}

std::vector<float> ReadTexels(const TTexture* ATexture, int32_t ALevel) {
  std::vector<float> texels(size_t(ATexture->Width()) * size_t(ATexture->Height()) * 4);
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  glBindTexture(GL_TEXTURE_2D, GLuint(ATexture->Handle()));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, ALevel, GL_RGBA, GL_FLOAT, texels.data());
  glBindTexture(GL_TEXTURE_2D, GLuint(previous));
  return texels;
}

std::vector<float> ReadTexels(const TTexture* ATexture, int32_t ALevel, int32_t AFace) {
  const size_t width = size_t(std::max(1, ATexture->Width() >> ALevel));
  const size_t height = size_t(std::max(1, ATexture->Height() >> ALevel));
  std::vector<float> texels(width * height * 4);
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_CUBE_MAP, &previous);
  glBindTexture(GL_TEXTURE_CUBE_MAP, GLuint(ATexture->Handle()));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + AFace), ALevel, GL_RGBA, GL_FLOAT, texels.data());
  glBindTexture(GL_TEXTURE_CUBE_MAP, GLuint(previous));
  return texels;
}

} // namespace rtest
