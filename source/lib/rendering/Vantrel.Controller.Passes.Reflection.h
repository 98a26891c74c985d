#pragma once
// The planar mirror pass: before the main pass it renders the scene as seen in a mirror into its
// own target. A mirrored camera looks at the point where the viewing ray meets the mirror, with an
// angle of view fitted to the mirror's size; clip plane 0 cuts away what lies behind the mirror;
// the biased texture matrix lets a material sample the image projectively.

#include <string>

#include "rendering/Vantrel.Controller.Passes.Plane.h"
#include "rendering/Vantrel.Controller.h"
#include "scene/Vantrel.Camera.h"

namespace vantrel {

class TVantrelRenderPassReflection : public TVantrelRenderPassController {
  RTL_CLASS(TVantrelRenderPassReflection, TVantrelRenderPassController)
public:
  explicit TVantrelRenderPassReflection(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassController(AOwner, std::move(AId)) {}
  static void RegisterProperties(TPropertyList& AList);
  void BeforeDestruction() override;

  // The viewport's camera to copy from and give back; taken from the viewport on the first
  // rendering when nil. Freeing it clears it.
  TCamera* GetCamera() const { return FOrigCamera; }
  void SetCamera(TCamera* AValue);
  // Its local position becomes the mirror position at every rendering. Freeing it clears it.
  TControl3D* GetTarget() const { return FTarget; }
  void SetTarget(TControl3D* AValue);
  TPosition3D* GetMirrorPosition() const { return FMirror.Position(); }
  void SetMirrorPosition(const TPosition3D* AValue) { FMirror.SetPosition(AValue); }
  TPosition3D* GetMirrorNormal() const { return FMirror.Normal(); }
  void SetMirrorNormal(const TPosition3D* AValue) { FMirror.SetNormal(AValue); }
  float GetMirrorSize() const { return FMirrorSize; }
  void SetMirrorSize(float AValue) { FMirrorSize = AValue; }
  float GetAngleOfView() const { return FAngleOfView; }
  // The camera the viewport renders through while the pass draws.
  TVantrelCamera* PassCamera() const { return FPassCamera.get(); }
  TMatrix3D GetStoredViewMatrix() const { return FViewMatrix; }
  TMatrix3D GetStoredProjMatrix() const { return FProjMatrix; }

  virtual void SetupMatrices(TContext3D* AContext);
  using TVantrelRenderPassController::GetProjectionMatrix;
  using TVantrelRenderPassController::GetViewMatrix;
  // The mirrored view, recomputed when the pass flagged it.
  TMatrix3D GetViewMatrix(TContext3D* AContext) override;
  // The projection the image is rendered with, as stored by the view computation.
  TMatrix3D GetProjectionMatrix(TContext3D*) override { return FProjMatrix; }

protected:
  void DefineProperties(TFiler* AFiler) override;
  void Notification(TComponent* AComponent, TOperation AOperation) override;
  void InitPassDefaults() override;
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override { return nullptr; }
  void DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;
  void DoOnRenderPassFinished(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;

private:
  TOwned<TVantrelCamera> FPassCamera;
  TCamera* FOrigCamera = nullptr;
  TControl3D* FTarget = nullptr;
  float FAngleOfView = 45;
  TVantrelPassPlane FMirror{TPoint3D{0, 0, 0}, TPoint3D{0, -1, 0}};
  float FMirrorSize = 10;

  // The frame's saved camera matrix: the viewport's main context holds it (a pass context never
  // receives it); without a viewport, AContext's.
  TMatrix3D OriginalCameraMatrix(TContext3D* AContext) const;
  float ViewportCameraAngle() const;
  // Gives AContext FAngleOfView and stores the projection it computes with it.
  void StoreProjection(TContext3D* AContext);
  bool ComputeMirrorCamera(TContext3D* AContext, const TPoint3D& ACameraPos, const TPoint3D& ADirection,
                           const TPoint3D& AMirrorPos, const TPoint3D& AMirrorNormal, float AMirrorSize,
                           TPoint3D& AEye);
};

void InitializeReflectionPass();
void FinalizeReflectionPass();

} // namespace vantrel
