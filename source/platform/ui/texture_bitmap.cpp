#include "ui/texture_bitmap.h"

#include "ui/context3d.h"

namespace ui {

RTL_DEFINE_CLASS(TTextureBitmap, "ui.Bitmap")

namespace {

std::shared_ptr<TTexture> HoldTexture(TTexture* ATexture) {
  if (!ATexture)
    return nullptr;
  if (std::shared_ptr<TTexture> held = ATexture->weak_from_this().lock())
    return held;
  return std::shared_ptr<TTexture>(ATexture, rtl::TFreeDeleter{});
}

} // namespace

TTexture* TTextureBitmap::Texture() {
  if (!FTexture) {
    if (TContext3DClass* contextClass = TContextManager::DefaultContextClass())
      SetTexture(contextClass->BitmapToTexture(this));
  }
  return FTexture.get();
}

void TTextureBitmap::SetTexture(TTexture* ATexture) {
  FTexture = HoldTexture(ATexture);
}

void TTextureBitmap::DestroyResources() {
  FTexture.reset();
}

void TTextureBitmap::BeforeDestruction() {
  DestroyResources();
  inherited::BeforeDestruction();
}

} // namespace ui
