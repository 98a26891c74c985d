#pragma once
// Texture helpers of the voxel and global illumination tests: RGBA8 read-backs and half-float
// textures filled with one value.

#include <epoxy/gl.h>

#include <vector>

#include "context/Vantrel.Context.Texturing.h"
#include "support/gl_fixture.h"

namespace voxeltest {

using namespace vantrel;

// Level 0 as RGBA bytes, bottom row first.
inline std::vector<vtest::TRGBA8> ReadTexture(const TTexture* ATexture) {
  std::vector<vtest::TRGBA8> pixels(size_t(ATexture->Width()) * size_t(ATexture->Height()));
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  glBindTexture(GL_TEXTURE_2D, GLuint(ATexture->Handle()));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glBindTexture(GL_TEXTURE_2D, GLuint(previous));
  return pixels;
}

inline vtest::TRGBA8 TexturePixel(const TTexture* ATexture, int AX, int AY) {
  return ReadTexture(ATexture)[size_t(AY) * size_t(ATexture->Width()) + size_t(AX)];
}

// An RGBA16F render target of AWidth x AHeight, every texel AValue.
inline TOwned<TVantrelTextureBitmap> MakeFilledTexture(int32_t AWidth, int32_t AHeight, std::array<float, 4> AValue) {
  TOwned<TVantrelTextureBitmap> texture(TVantrelTextureBitmap::Create());
  texture->BeginSetup();
  texture->SetStyle(TTextureStyles{TTextureStyle::RenderTarget});
  texture->SetSize(AWidth, AHeight);
  texture->SetDataType(TVantrelTextureDataType::dtHalfFloat);
  texture->SetComponents(TPixelFormatEx::RGBA16F);
  texture->SetFormat(TPixelFormatEx::RGBA);
  texture->SetMinFilter(TTextureFilter::Nearest);
  texture->SetMagFilter(TTextureFilter::Nearest);
  texture->SetWrapS(TVantrelTextureWrap::ClampToEdge);
  texture->SetWrapT(TVantrelTextureWrap::ClampToEdge);
  texture->EndSetup();
  // Filled by a clear through a frame buffer.
  GLint previous = 0;
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previous);
  GLuint fbo = 0;
  glGenFramebuffers(1, &fbo);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
  glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                         GLuint(texture->Texture()->Handle()), 0);
  const GLenum buffer = GL_COLOR_ATTACHMENT0;
  glDrawBuffers(1, &buffer);
  glClearBufferfv(GL_COLOR, 0, AValue.data());
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(previous));
  glDeleteFramebuffers(1, &fbo);
  return texture;
}

} // namespace voxeltest
