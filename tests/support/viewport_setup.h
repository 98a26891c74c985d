#pragma once
// Setting up a framework viewport in the pass tests and benchmarks: the user camera most of them
// look through, and passes made on the viewport and found in its main context's pass table.

#include <string>

#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Controller.h"
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

// A pass of class T owned by AViewport, entered under AId in its context's table and rendering
// AViewport's scene.
template <class T> T* MakeViewportPass(vantrel::TVantrelViewport& AViewport, const std::string& AId) {
  auto* pass = static_cast<T*>(
      vantrel::TVantrelRenderPassController::CreateController(T::StaticClass(), &AViewport, AId));
  pass->SetViewport(&AViewport);
  return pass;
}

// The context the viewport's main renderer shares with its passes.
inline vantrel::TVantrelContext& MainContextOf(vantrel::TVantrelViewport& AViewport) {
  return *dynamic_cast<vantrel::TVantrelContext*>(AViewport.MainPassRenderer()->GetSharedContext());
}

// The entry of APass in the table of AViewport's main context, or nullptr.
inline vantrel::TRenderPass* PassEntryOf(vantrel::TVantrelViewport& AViewport,
                                         const vantrel::TVantrelRenderPassController& APass) {
  vantrel::TRenderPass* entry = nullptr;
  MainContextOf(AViewport).GetRenderPasses()->TryGetValue(APass.GetId(), entry);
  return entry;
}

} // namespace vtest
