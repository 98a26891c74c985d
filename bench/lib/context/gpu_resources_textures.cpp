// The UpdateBuffer cases of the GPU-resource benchmark: a 1024 x 1024 2D texture bitmap against
// glTexSubImage2D on a texture of the same format. Both textures get their storage before timing.

#include <epoxy/gl.h>

#include <cstdint>
#include <vector>

#include "context/Vantrel.Context.Texturing.OpenGL.h"
#include "context/Vantrel.Context.Texturing.h"
#include "gpu_resources.h"
#include "context/Vantrel.Context.GLES.Windows.h"

namespace gpubench {
namespace {

using namespace vantrel;
using TBytes = std::vector<uint8_t>;

constexpr int32_t TextureSide = 1024;

struct TTextureFormat {
  TPixelFormatEx Components, Format;
  TVantrelTextureDataType Type;
  GLenum GLInternal, GLFormat, GLType;
  int32_t BytesPerPixel;
};
constexpr TTextureFormat TextureFormats[] = {
    {TPixelFormatEx::RGBA8, TPixelFormatEx::BGRA, TVantrelTextureDataType::dtUnsignedByte, GL_RGBA8, GL_BGRA,
     GL_UNSIGNED_BYTE, 4},
    {TPixelFormatEx::RGBA16F, TPixelFormatEx::RGBA, TVantrelTextureDataType::dtHalfFloat, GL_RGBA16F, GL_RGBA,
     GL_HALF_FLOAT, 8},
};

TBytes TexturePixels(const TTextureFormat& AFormat) {
  // Half floats take any 16-bit pattern; keep them finite (exponent below 31) so nothing special
  // is converted.
  TBytes pixels(size_t(TextureSide) * TextureSide * size_t(AFormat.BytesPerPixel));
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = static_cast<uint8_t>((i * 7) & (AFormat.BytesPerPixel == 8 && i % 2 ? 0x3F : 0xFF));
  return pixels;
}

void BM_UpdateBuffer_Framework(benchmark::State& AState) {
  const TTextureFormat& format = TextureFormats[AState.range(0)];
  const TBytes pixels = TexturePixels(format);
  TOwned<TVantrelTextureBitmap> bitmap(TVantrelTextureBitmap::Create());
  bitmap->BeginSetup();
  bitmap->SetKind(TVantrelTextureKind::Texture2D);
  bitmap->SetComponents(format.Components);
  bitmap->SetFormat(format.Format);
  bitmap->SetDataType(format.Type);
  bitmap->Set3DSize(TextureSide, TextureSide, 0);
  bitmap->EndSetup();
  // The first upload makes the GL texture and its storage.
  bitmap->UpdateBuffer(pixels.data(), int64_t(pixels.size()));
  TAllocationCount allocations(AState);
  for (auto _ : AState)
    bitmap->UpdateBuffer(pixels.data(), int64_t(pixels.size()));
  AState.SetBytesProcessed(AState.iterations() * int64_t(pixels.size()));
}

void BM_UpdateBuffer_Raw(benchmark::State& AState) {
  const TTextureFormat& format = TextureFormats[AState.range(0)];
  const TBytes pixels = TexturePixels(format);
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GLint(format.GLInternal), TextureSide, TextureSide, 0, format.GLFormat,
               format.GLType, nullptr);
  glBindTexture(GL_TEXTURE_2D, 0);
  {
    TAllocationCount allocations(AState);
    for (auto _ : AState) {
      glBindTexture(GL_TEXTURE_2D, texture);
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, TextureSide, TextureSide, format.GLFormat, format.GLType,
                      pixels.data());
      glBindTexture(GL_TEXTURE_2D, 0);
    }
  }
  glDeleteTextures(1, &texture);
  AState.SetBytesProcessed(AState.iterations() * int64_t(pixels.size()));
}

} // namespace

void RegisterTextureBenchmarks() {
  // Texture uploads ask the default context class for pixel state and filtering.
  InitializeContextWindows();
  TContextOpenGLWindows::StaticClass().Valid();
  RegisterPair("UpdateBuffer", BM_UpdateBuffer_Framework, BM_UpdateBuffer_Raw, {0, 1});
}

} // namespace gpubench
