#pragma once
// A viewport for 3D control tests: implements IViewport3D, records AddLight/RemoveLight and
// NeedRender, returns a settable camera, and on request owns a real context of the default
// context class drawing into a 64 x 64 texture. Screen and local coordinates are the same.

#include <memory>
#include <vector>

#include "rtl/object.h"
#include "ui/viewport3d.h"

namespace ui {
class TTexture;
}

namespace vtest {

class TTestTexture;

class TTestViewport3D : public rtl::TObject, public ui::IViewport3D {
  RTL_CLASS(TTestViewport3D, rtl::TObject)
public:
  TTestViewport3D();
  ~TTestViewport3D() override;

  // Makes the context through TContextManager::CreateFromTexture; the GL context must be up.
  void CreateContext(int AWidth = 64, int AHeight = 64);

  rtl::TObject* GetObject() override { return this; }
  ui::TContext3D* GetContext() override { return FContext; }
  bool GetUsingDesignCamera() override { return false; }
  ui::TCamera* GetCamera() override { return Camera; }
  float GetViewportScale() override { return 1; }
  int GetLightCount() override { return static_cast<int>(Lights.size()); }
  ui::TLight* GetLight(int AIndex) override { return Lights.at(AIndex); }
  ui::TCamera* GetCurrentCamera() override { return Camera; }
  void SetCamera(ui::TCamera* ACamera) override { Camera = ACamera; }
  void AddLight(ui::TLight* ALight) override;
  void RemoveLight(ui::TLight* ALight) override;
  rtl::TPointF ScreenToLocal(rtl::TPointF APoint) override { return APoint; }
  rtl::TPointF LocalToScreen(rtl::TPointF APoint) override { return APoint; }
  void NeedRender() override { ++NeedRenderCount; }

  ui::TCamera* Camera = nullptr;
  std::vector<ui::TLight*> Lights;
  int AddLightCalls = 0;
  int RemoveLightCalls = 0;
  int NeedRenderCount = 0;

private:
  std::unique_ptr<TTestTexture> FTexture;
  ui::TContext3D* FContext = nullptr;
};

} // namespace vtest
