#pragma once
// The FXAA pass: smooths the edges of the composed image with fast approximate anti-aliasing,
// Iterations times. The composite renderer runs it last, on the deferred composite's output.
//
// Iterations after the first filter the previous iteration's image. The pass keeps a second
// target of the composite texture's size and format: iteration i draws into the composite texture
// when (N - 1 - i) is even and into the second target otherwise, so the last iteration always lands
// in the composite texture, and no iteration samples the texture it draws into.
//
// The unit also holds the GLSL texts that several passes share (the full-target vertex body and
// the texture helpers), so each text exists once.

#include <cstdint>
#include <string>

#include "rendering/Vantrel.Controller.h"

namespace vantrel {

// "#version 430" and three line breaks.
extern const char* const SPassShaderHeader;
// The full-target vertex body: position and first texture coordinate in, v_Position and TEX0 out,
// transformed by _ModelViewProjMatrix.
extern const char* const SPassVertexBody;
// tex2D, tex2DProj, tex3D and texCube, one line each with a blank line after.
extern const char* const SPassTextureHelpers;
inline constexpr const char* SFXAAInputEmpty = "fxaa pass - input texture empty";

class TFXAAMaterial : public TVantrelRenderPassMaterial {
  RTL_CLASS(TFXAAMaterial, TVantrelRenderPassMaterial)
public:
  TFXAAMaterial() = default;
  TTexture* InputTexture() const { return FInputTexture; }
  void SetInputTexture(TTexture* AValue);
  // The set input; else the source's input pass's output (or the context's own texture), kept.
  virtual TTexture* GetInputTexture(TContext3D* AContext);
  // The pixel shader's text (for tests of its exact form).
  static std::string PixelShaderText();
  static std::string VertexShaderText();

protected:
  void DoInitialize() override;
  void DoApply(TContext3D* AContext) override;

private:
  TTexture* FInputTexture = nullptr;
};

class TFXAAMaterialSource : public TVantrelRenderPassMaterialSource {
  RTL_CLASS(TFXAAMaterialSource, TVantrelRenderPassMaterialSource)
public:
  TFXAAMaterialSource() = default;
  // Subscribes to the context-reset message, which re-runs the change hook.
  void AfterConstruction() override;
  void BeforeDestruction() override;
  TFXAAMaterial* Material() const { return static_cast<TFXAAMaterial*>(GetMaterial()); }

protected:
  TOwned<TMaterial> CreateMaterial() override;
  // Takes the input pass's output as the material's input.
  void DoChange() override;

private:
  int FContextResetOvrId = 0;
};

class TVantrelRenderPassFXAA : public TVantrelRenderPassController {
  RTL_CLASS(TVantrelRenderPassFXAA, TVantrelRenderPassController)
public:
  explicit TVantrelRenderPassFXAA(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassController(AOwner, std::move(AId)) {}
  void BeforeDestruction() override;

  bool IsInternalRenderPass() const override { return true; }
  // The first iteration's input from now on.
  void SetCompositeInputTexture(TTexture* ATexture);
  TTexture* GetFinalOutputTexture() override;
  TFXAAMaterial* Material() const;
  // The texture iteration AIndex draws into (of N = max(1, Iterations)).
  TTexture* TargetOf(int32_t AIndex);

protected:
  void InitPassDefaults() override;
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override;
  void CreatePassRenderer() override;
  void DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;
  void DoOnRenderPassFinished(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;

private:
  TTexture* FBaseTexture = nullptr;
  // The alternate target, made at the composite texture's size and re-made when that changes.
  TOwned<TVantrelTextureBitmap> FSecondTarget;
  // The texture the previous iteration drew into.
  TTexture* FPreviousTarget = nullptr;
  TTexture* SecondTarget();
};

void InitializeFXAAPass();
void FinalizeFXAAPass();

} // namespace vantrel
