#include "ui/texture.h"

#include "rtl/log.h"
#include "rtl/sysutils.h"
#include "ui/bitmap.h"
#include "ui/context3d.h"

namespace ui {

RTL_DEFINE_CLASS(TTexture, "ui.Texture")

namespace {
constexpr const char* BadSize = "Invalid texture size %d x %d";
constexpr const char* FinalizeFailed = "TTexture.Finalize failed: %s";
} // namespace

void TTexture::SetSize(int32_t AWidth, int32_t AHeight) {
  if (AWidth < 0 || AHeight < 0)
    throw rtl::EArgumentOutOfRangeException(rtl::Format(BadSize, AWidth, AHeight));
  if (AWidth == FWidth && AHeight == FHeight)
    return;
  Finalize();
  FWidth = AWidth;
  FHeight = AHeight;
}

void TTexture::Initialize() {
  if (FHandle == 0 && TContextManager::DefaultContextClass())
    TContextManager::InitializeTexture(this);
}

void TTexture::Finalize() {
  if (FHandle != 0 && TContextManager::DefaultContextClass())
    TContextManager::FinalizeTexture(this);
}

void TTexture::Assign(const rtl::TPersistent* ASource) {
  if (ASource == this)
    return;
  if (const auto* bitmap = dynamic_cast<const TBitmap*>(ASource)) {
    AssignBitmap(*bitmap);
    return;
  }
  const auto* texture = dynamic_cast<const TTexture*>(ASource);
  if (!texture) {
    inherited::Assign(ASource);
    return;
  }
  SetSize(texture->FWidth, texture->FHeight);
  FPixelFormat = texture->FPixelFormat;
  FTextureScale = texture->FTextureScale;
  FStyle = texture->FStyle;
  FMinFilter = texture->FMinFilter;
  FMagFilter = texture->FMagFilter;
}

void TTexture::AssignBitmap(const TBitmap& ABitmap) {
  Finalize();
  const TPixelFormatTag tag = ABitmap.PixelFormatTag();
  FPixelFormat = tag <= MaxPixelFormatOrdinal ? static_cast<TPixelFormat>(tag) : TPixelFormat::BGRA;
  FTextureScale = ABitmap.BitmapScale();
  SetSize(ABitmap.Width(), ABitmap.Height());
  FStyle = TTextureStyles{TTextureStyle::Dynamic};
  if (!TContextManager::DefaultContextClass())
    return;
  Initialize();
  // Mapping only reads; the bitmap's storage is not changed by it.
  auto& source = const_cast<TBitmap&>(ABitmap);
  TBitmapData data;
  if (!source.Map(TMapAccess::Read, data))
    return;
  try {
    TContextManager::UpdateTexture(this, data.Data, data.Pitch);
  } catch (...) {
    source.Unmap(data);
    throw;
  }
  source.Unmap(data);
}

void TTexture::BeforeDestruction() {
  try {
    Finalize();
  } catch (const rtl::Exception& E) {
    rtl::Log::d(rtl::Format(FinalizeFailed, E.Message()));
  }
  inherited::BeforeDestruction();
}

} // namespace ui
