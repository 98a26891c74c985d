#pragma once
// The refraction pass: before the main pass it renders the scene with the viewport's own camera
// into its own target, optionally cut by clip plane 0 at a surface (a water surface, say), so that
// a material can show what lies beyond that surface.

#include <set>
#include <string>

#include "rendering/Vantrel.Controller.Passes.Plane.h"
#include "rendering/Vantrel.Controller.h"

namespace vantrel {

inline constexpr const char* SRefractionPassErrorPrefix = "TVantrelRenderPassRefraction.DoOnRenderPass: ";

class TVantrelRenderPassRefraction : public TVantrelRenderPassController {
  RTL_CLASS(TVantrelRenderPassRefraction, TVantrelRenderPassController)
public:
  explicit TVantrelRenderPassRefraction(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassController(AOwner, std::move(AId)) {}
  static void RegisterProperties(TPropertyList& AList);

  bool GetClippingEnabled() const { return FClippingEnabled; }
  void SetClippingEnabled(bool AValue) { FClippingEnabled = AValue; }
  TPosition3D* GetSurfacePosition() const { return FSurface.Position(); }
  void SetSurfacePosition(const TPosition3D* AValue) { FSurface.SetPosition(AValue); }
  TPosition3D* GetSurfaceNormal() const { return FSurface.Normal(); }
  void SetSurfaceNormal(const TPosition3D* AValue) { FSurface.SetNormal(AValue); }
  float GetSurfaceCutOff() const { return FSurfaceCutOff; }
  void SetSurfaceCutOff(float AValue) { FSurfaceCutOff = AValue; }
  // The position target of the pass's renderer; nil without a renderer. A renderer that is not a
  // composite renderer raises EInvalidCast.
  virtual TTexture* GetOutputDepthTexture() const;
  // V × P of the last rendering; kept, never returned by GetTextureMatrix.
  TMatrix3D GetComputedTextureMatrix() const { return FTextureMatrix; }

  virtual void SetupMatrices(TContext3D* AContext);
  // The bias matrix, whatever AUseBias: the material samples at the mesh's own coordinates.
  TMatrix3D GetTextureMatrix(TContext3D* AContext, bool AUseBias) override;

protected:
  void DefineProperties(TFiler* AFiler) override;
  void InitPassDefaults() override;
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override { return nullptr; }
  void DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;
  void DoOnRenderPassFinished(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;

private:
  bool FClippingEnabled = true;
  TVantrelPassPlane FSurface{TPoint3D{0, 0, 0}, TPoint3D{0, 1, 0}};
  float FSurfaceCutOff = 0;
  // The messages logged so far: each distinct one is logged once per pass.
  std::set<std::string> FLoggedErrors;

  void PrepareContext();
};

void InitializeRefractionPass();
void FinalizeRefractionPass();

} // namespace vantrel
