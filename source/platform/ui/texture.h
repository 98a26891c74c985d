#pragma once
// GPU textures as the 3D context protocol sees them: a size, a pixel format, a style and filters,
// and the GPU object's name that the context makes. The name is written only by the context's
// texture hooks, through ITextureAccess, so no other code can desynchronise it from the GPU.

#include <cstdint>
#include <memory>

#include "rtl/classes.h"
#include "ui/types3d.h"

namespace ui {

class TBitmap;

class ITextureAccess {
public:
  virtual void SetHandle(THandle AHandle) = 0;

protected:
  ~ITextureAccess() = default;
};

// Texture bitmaps may share one texture: they hold it through shared pointers made from the
// texture itself (shared_from_this), so the last holder frees it and with it the GPU object.
class TTexture : public rtl::TPersistent,
                 public ITextureAccess,
                 public std::enable_shared_from_this<TTexture> {
  RTL_CLASS(TTexture, rtl::TPersistent)
public:
  TTexture() = default;

  // From another texture: size, pixel format, scale, style and filters (never the GPU object).
  // From a bitmap: the GPU object is finalised, the bitmap's pixel format (BGRA for a tag beyond
  // TPixelFormat), scale and size are taken, Style becomes {Dynamic}, and with a default context
  // class the GPU object is made and the bitmap's pixels are uploaded through the update hook.
  void Assign(const rtl::TPersistent* ASource) override;

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  // A new size finalises the GPU object, whose storage has the old size; the next Initialize
  // makes it anew. A negative size raises EArgumentOutOfRangeException.
  void SetSize(int32_t AWidth, int32_t AHeight);
  bool IsEmpty() const { return FWidth == 0 || FHeight == 0; }

  TPixelFormat PixelFormat() const { return FPixelFormat; }
  void SetPixelFormat(TPixelFormat AValue) { FPixelFormat = AValue; }
  TTextureStyles Style() const { return FStyle; }
  void SetStyle(TTextureStyles AValue) { FStyle = AValue; }
  TTextureFilter MinFilter() const { return FMinFilter; }
  void SetMinFilter(TTextureFilter AValue) { FMinFilter = AValue; }
  TTextureFilter MagFilter() const { return FMagFilter; }
  void SetMagFilter(TTextureFilter AValue) { FMagFilter = AValue; }

  // Pixels per point of the image the texture was made from.
  float TextureScale() const { return FTextureScale; }
  void SetTextureScale(float AValue) { FTextureScale = AValue; }

  THandle Handle() const { return FHandle; }

  // Makes the GPU object through the context manager's default class when there is none yet.
  // Without a default context class there is nothing to make it with, and nothing happens.
  void Initialize();
  // Releases the GPU object through the default class, which sets Handle back to 0. Nothing
  // happens without a GPU object or without a default class.
  void Finalize();

  // Finalises while the texture is whole. A failure there is logged, because raising out of
  // destruction would leak the object.
  void BeforeDestruction() override;

private:
  void SetHandle(THandle AHandle) override { FHandle = AHandle; }
  void AssignBitmap(const TBitmap& ABitmap);

  int32_t FWidth = 0;
  int32_t FHeight = 0;
  TPixelFormat FPixelFormat = TPixelFormat::None;
  TTextureStyles FStyle{TTextureStyle::MipMaps};
  TTextureFilter FMinFilter = TTextureFilter::Linear;
  TTextureFilter FMagFilter = TTextureFilter::Linear;
  float FTextureScale = 1;
  THandle FHandle = 0;
};

} // namespace ui
