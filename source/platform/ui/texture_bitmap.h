#pragma once
// A bitmap that owns a texture made from it. Several texture bitmaps may share one texture: each
// holds it, and the texture (with its GPU object) goes when the last holder lets go.

#include <memory>

#include "ui/bitmap.h"
#include "ui/texture.h"

namespace ui {

class TTextureBitmap : public TBitmap {
  RTL_CLASS(TTextureBitmap, TBitmap)
public:
  TTextureBitmap() = default;
  TTextureBitmap(int32_t AWidth, int32_t AHeight) : TBitmap(AWidth, AHeight) {}

  // The held texture; when none is held, the default context class makes one from this bitmap
  // (BitmapToTexture). nullptr without a default context class.
  TTexture* Texture();
  // The held texture, never making one.
  TTexture* HeldTexture() const { return FTexture.get(); }

  // Lets go of the held texture.
  virtual void DestroyResources();
  // Lets go of the held texture while the bitmap is whole.
  void BeforeDestruction() override;

protected:
  // Holds ATexture (nullptr holds none) in place of the texture held so far, sharing it with
  // every other bitmap that holds it. The bitmap frees a texture nobody held before when it lets
  // go of it.
  void SetTexture(TTexture* ATexture);

private:
  std::shared_ptr<TTexture> FTexture;
};

} // namespace ui
