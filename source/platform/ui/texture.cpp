#include "ui/texture.h"

#include "rtl/log.h"
#include "rtl/sysutils.h"
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

void TTexture::BeforeDestruction() {
  try {
    Finalize();
  } catch (const rtl::Exception& E) {
    rtl::Log::d(rtl::Format(FinalizeFailed, E.Message()));
  }
  inherited::BeforeDestruction();
}

} // namespace ui
