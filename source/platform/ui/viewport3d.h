#pragma once
// What a 3D control asks of the viewport it stands in: its context, camera, lights, coordinate
// conversions and render requests. The viewport control implements it.

#include "rtl/object.h"
#include "rtl/types2d.h"

namespace ui {

class TCamera;
class TContext3D;
class TLight;

class IViewport3D {
public:
  // The viewport itself.
  virtual rtl::TObject* GetObject() = 0;
  // nullptr while the viewport has no context.
  virtual TContext3D* GetContext() = 0;
  virtual bool GetUsingDesignCamera() = 0;
  virtual TCamera* GetCamera() = 0;
  virtual float GetViewportScale() = 0;
  virtual int GetLightCount() = 0;
  virtual TLight* GetLight(int AIndex) = 0;
  // The camera the viewport renders with (its Camera or its design camera).
  virtual TCamera* GetCurrentCamera() = 0;
  virtual void SetCamera(TCamera* ACamera) = 0;
  virtual void AddLight(TLight* ALight) = 0;
  virtual void RemoveLight(TLight* ALight) = 0;
  virtual rtl::TPointF ScreenToLocal(rtl::TPointF APoint) = 0;
  virtual rtl::TPointF LocalToScreen(rtl::TPointF APoint) = 0;
  // Asks for a new frame.
  virtual void NeedRender() = 0;

protected:
  ~IViewport3D() = default;
};

} // namespace ui
