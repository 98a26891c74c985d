#pragma once
// The camera most viewport tests and benchmarks look through: a user camera at a given point,
// aimed at a dummy at the origin.

#include "rendering/Vantrel.Viewport.h"
#include "rtl/classes.h"
#include "ui/controls3d.h"

namespace vtest {

// A camera at APosition targeting a dummy at the origin, both owned by AOwner and children of
// AViewport, made AViewport's camera in place of its design camera.
inline ui::TCamera* UseLookAtCamera(rtl::TComponent* AOwner, vantrel::TVantrelViewport& AViewport,
                                    const rtl::TPoint3D& APosition) {
  auto* target = rtl::New<ui::TDummy>(AOwner);
  target->SetParent(&AViewport);
  auto* camera = rtl::New<ui::TCamera>(AOwner);
  camera->SetParent(&AViewport);
  camera->Position()->SetPoint(APosition);
  camera->SetTarget(target);
  AViewport.SetCamera(camera);
  AViewport.SetUsingDesignCamera(false);
  return camera;
}

} // namespace vtest
