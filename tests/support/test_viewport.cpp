#include "support/test_viewport.h"

#include <algorithm>

#include "support/gl_fixture.h"
#include "ui/context3d.h"

namespace vtest {

RTL_DEFINE_CLASS(TTestViewport3D, "Test.Viewport")

TTestViewport3D::TTestViewport3D() = default;

TTestViewport3D::~TTestViewport3D() {
  if (FContext)
    FContext->Free();
}

void TTestViewport3D::CreateContext(int AWidth, int AHeight) {
  FTexture = std::make_unique<TTestTexture>(AWidth, AHeight);
  FContext = ui::TContextManager::CreateFromTexture(FTexture->get(), ui::TMultisample::None, true);
}

void TTestViewport3D::AddLight(ui::TLight* ALight) {
  ++AddLightCalls;
  Lights.push_back(ALight);
}

void TTestViewport3D::RemoveLight(ui::TLight* ALight) {
  ++RemoveLightCalls;
  std::erase(Lights, ALight);
}

} // namespace vtest
