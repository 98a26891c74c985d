#pragma once
// The environment pass: it captures the scene around a point into a cube map. One render pass of
// six iterations, each through a 90-degree camera into one face of the pass renderer's cube-map
// composite texture, then mipmaps. An embedded point light at the camera lights the capture. A
// dynamic pass captures every frame; a static one captures once and switches itself off until it
// is invalidated.

#include <array>
#include <string>

#include "context/Vantrel.Context.Types.h"
#include "rendering/Vantrel.Controller.h"
#include "scene/Vantrel.Camera.h"
#include "scene/Vantrel.Light.h"

namespace vantrel {

// The largest map edge: the power-of-two rounding of a larger value would not fit an int.
inline constexpr int32_t EnvironmentMaxMapSize = 1 << 30;

class TVantrelRenderPassEnvironment : public TVantrelRenderPassController {
  RTL_CLASS(TVantrelRenderPassEnvironment, TVantrelRenderPassController)
public:
  explicit TVantrelRenderPassEnvironment(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassController(AOwner, std::move(AId)) {}
  static void RegisterProperties(TPropertyList& AList);
  void AfterConstruction() override;
  void BeforeDestruction() override;

  TVantrelCamera* Camera() const { return FCamera; }
  TVantrelLight* EmbeddedLight() const { return FLight; }
  int32_t LightIndex() const { return FLightIndex; }
  // The renderer's current composite texture, read at every call: a rebuilt renderer makes a new
  // one. Nil without a renderer.
  TVantrelTextureBitmap* CubeMap() const;

  // The camera's absolute position; setting it moves the camera and invalidates the environment.
  TPoint3D GetPosition() const;
  void SetPosition(TPoint3D AValue);
  bool GetIsDynamic() const { return FIsDynamic; }
  void SetIsDynamic(bool AValue) { FIsDynamic = AValue; }
  bool GetUseEmbeddedLight() const { return FUseEmbeddedLight; }
  void SetUseEmbeddedLight(bool AValue) { FUseEmbeddedLight = AValue; }
  // Its absolute position is the capture centre; it joins the ignored controls so that it is not
  // drawn into its own environment. Freeing it clears it.
  TControl3D* GetTarget() const { return FTarget; }
  void SetTarget(TControl3D* AValue);
  // Front, back, left, right, top, bottom.
  template <int I> float GetCenterOffset() const { return FCenterOffset[I]; }
  template <int I> void SetCenterOffset(float AValue) { FCenterOffset[I] = AValue; }
  void SetCenterOffsets(float AFront, float ABack, float ALeft, float ARight, float ATop, float ABottom);
  void SetCenterOffsets(float AOffset);

  int32_t GetMapSize() const { return FMapSize; }
  // Rounds up to a power of two (values below 1 store 1, above 2^30 store 2^30), then makes the
  // viewport size (MapSize, MapSize).
  void SetMapSize(int32_t AValue);
  // The larger side, rounded up to a power of two, as a square; MapSize stays.
  void SetViewportSize(const TPoint& AValue) override;
  void SetViewportWidth(int32_t AValue) override;
  void SetViewportHeight(int32_t AValue) override;

  // Enables the pass when it has a renderer and a viewport and is disabled.
  void InvalidateEnvironment();

  void BeginRenderPassRendering(TContext3D* AContext, TAlphaColor AFill, float ADepth, uint32_t AStencil) override;
  void EndRenderPassRendering(TContext3D* AContext) override;
  TTexture* GetOutputTexture() override;
  virtual void SetupMatrices(TContext3D* AContext);
  using TVantrelRenderPassController::GetProjectionMatrix;
  using TVantrelRenderPassController::GetViewMatrix;
  // The camera's matrix (identity without a camera).
  TMatrix3D GetViewMatrix(TContext3D* AContext) override;
  // With OverwriteViewportSize a square perspective with the camera's angle, near 0.1, far 1000;
  // else the renderer context's projection.
  TMatrix3D GetProjectionMatrix(TContext3D* AContext) override;

protected:
  void DefineProperties(TFiler* AFiler) override;
  void Notification(TComponent* AComponent, TOperation AOperation) override;
  void InitPassDefaults() override;
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override { return nullptr; }
  void CreatePassRenderer() override;
  void ResizeRenderer(const TPoint& ASize, float AScale) override;
  void DoCreateCompositeTexture(TObject* ASender, const TPoint& ASize, float AScale,
                                TVantrelTextureBitmap*& ATexture) override;
  void DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;
  void DoOnRenderPassFinished(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;

private:
  TVantrelCamera* FCamera = nullptr;
  TVantrelLight* FLight = nullptr;
  int32_t FLightIndex = -1;
  // The record added at FLightIndex, to recognise it at the end of the capture.
  TVantrelShaderLight FAddedLight{};
  bool FUseEmbeddedLight = true;
  int32_t FMapSize = 128;
  bool FIsDynamic = true;
  TPoint3D FStoredCameraPos;
  TPoint3D FStoredTargetPos;
  std::array<float, 6> FCenterOffset{};
  TControl3D* FTarget = nullptr;

  void ForgetControl(TVantrelManagedControls* AList, TControl3D* ACtrl);
  // The context's entry at FLightIndex is still the embedded light's record.
  bool EmbeddedLightListed() const;
  void ListEmbeddedLight();
  void TurnCamera(int32_t ACount);
};

void InitializeEnvironmentPass();
void FinalizeEnvironmentPass();

} // namespace vantrel
