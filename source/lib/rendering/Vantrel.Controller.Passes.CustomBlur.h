#pragma once
// The blur pass: blurs one input texture into its own renderer's image with a radial blur (257
// samples, ACES tone mapping), a fast 19-tap kernel or a 35-tap Gaussian, the last two run as a
// horizontal and a vertical step. It is the base of the emissive blur and the variance shadow-map
// blur.
//
// Targets alternate as in the FXAA pass: with N = max(1, Iterations), iteration i draws into the
// composite texture when (N - 1 - i) is even and into a second target of the same size and format
// otherwise, so the last iteration lands in the composite texture. Even iterations read the base
// input and clear their target; odd iterations read the texture the previous iteration drew into.
// No iteration samples the texture it draws into.

#include <cstdint>
#include <string>

#include "rendering/Vantrel.Controller.h"

namespace vantrel {

enum class TPassBlurType : uint8_t { RadialBlur, FastBlur, GaussianBlur };
RTL_ENUM_TYPEINFO(TPassBlurType, "RadialBlur", "FastBlur", "GaussianBlur")

enum class TPassBlurMode : uint8_t { Horizontal, Vertical };
RTL_ENUM_TYPEINFO(TPassBlurMode, "Horizontal", "Vertical")

inline constexpr const char* SBlurInputEmpty = "blur pass - input texture empty";

// A number in the kernel texts' form: 8 decimals, "E", a sign and three exponent digits
// ("-9.00000000E+000", "3.88725400E-002").
std::string FormatKernelNumber(double AValue);

class TBlurMaterial : public TVantrelRenderPassMaterial {
  RTL_CLASS(TBlurMaterial, TVantrelRenderPassMaterial)
public:
  TBlurMaterial() = default;
  void AfterConstruction() override;
  // Removes the programs of the vertex shader with each extra pixel shader and hands the extra
  // shaders back before the base releases the radial pair.
  void BeforeDestruction() override;

  TPassBlurType BlurType() const { return FBlurType; }
  virtual void SetBlurType(TPassBlurType AValue) { FBlurType = AValue; }
  TPassBlurMode BlurMode() const { return FBlurMode; }
  void SetBlurMode(TPassBlurMode AValue) { FBlurMode = AValue; }
  float BlurAmount() const { return FBlurAmount; }
  // Kept within 0..15.
  virtual void SetBlurAmount(float AValue);
  TTexture* InputTexture() const { return FInputTexture; }
  // Stores a different value, then always runs the change notification.
  void SetInputTexture(TTexture* AValue);
  float Exposure() const { return FExposure; }
  void SetExposure(float AValue) { FExposure = AValue; }

  // The input pass's output when the source has one, else the previous renderer's image; at an
  // odd ping-pong iteration the stored input (the previous iteration's target).
  virtual TTexture* GetInputTexture(TContext3D* AContext);
  // The pixel shader the last apply chose.
  TContextShader* LastPixelShader() const { return FLastPixelShader; }
  TContextShader* FastBlurH() const { return FFastBlurH; }
  TContextShader* FastBlurV() const { return FFastBlurV; }
  TContextShader* GaussBlurH() const { return FGaussBlurH; }
  TContextShader* GaussBlurV() const { return FGaussBlurV; }

  // The stage texts (for tests of their exact form and for the benchmark's peer).
  static std::string VertexShaderText();
  static std::string RadialShaderText();
  static std::string FastShaderText(TPassBlurMode AMode);
  static std::string GaussShaderText(TPassBlurMode AMode);

protected:
  void DoInitialize() override;
  void DoApply(TContext3D* AContext) override;
  // The source's Iteration and the owner pass's ping-pong flag.
  int32_t CurrentIteration() const;
  bool PingPong() const;

  TPassBlurType FBlurType = TPassBlurType::RadialBlur;
  TPassBlurMode FBlurMode = TPassBlurMode::Horizontal;
  TContextShader* FFastBlurH = nullptr;
  TContextShader* FFastBlurV = nullptr;
  TContextShader* FGaussBlurH = nullptr;
  TContextShader* FGaussBlurV = nullptr;
  float FBlurAmount = 3.0f;
  TTexture* FInputTexture = nullptr;
  float FExposure = 1.0f;

private:
  TContextShader* FLastPixelShader = nullptr;
  TContextShader* ChooseShader() const;
};

class TBlurMaterialSource : public TVantrelRenderPassMaterialSource {
  RTL_CLASS(TBlurMaterialSource, TVantrelRenderPassMaterialSource)
public:
  TBlurMaterialSource() = default;
  // Subscribes to the context-reset message, which re-runs the change hook.
  void AfterConstruction() override;
  void BeforeDestruction() override;
  TBlurMaterial* Material() const { return static_cast<TBlurMaterial*>(GetMaterial()); }

  TPassBlurType BlurType() const { return Material() ? Material()->BlurType() : TPassBlurType::RadialBlur; }
  void SetBlurType(TPassBlurType AValue) {
    if (Material())
      Material()->SetBlurType(AValue);
  }
  float Exposure() const { return Material() ? Material()->Exposure() : 1.0f; }
  void SetExposure(float AValue) {
    if (Material())
      Material()->SetExposure(AValue);
  }
  int32_t Iteration() const { return FIteration; }
  void SetIteration(int32_t AValue) { FIteration = AValue; }

protected:
  TOwned<TMaterial> CreateMaterial() override;
  // Takes the input pass's output as the material's input.
  void DoChange() override;

private:
  int FContextResetOvrId = 0;
  int32_t FIteration = 0;
};

class TVantrelRenderPassBlur : public TVantrelRenderPassController {
  RTL_CLASS(TVantrelRenderPassBlur, TVantrelRenderPassController)
public:
  explicit TVantrelRenderPassBlur(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassController(AOwner, std::move(AId)) {}
  void BeforeDestruction() override;

  TBlurMaterialSource* BlurSource() const { return dynamic_cast<TBlurMaterialSource*>(Shader()); }
  TBlurMaterial* Material() const;

  TPassBlurType GetBlurType() const;
  // The material's type, then Iterations 2 for the fast and Gaussian filters, 1 for the radial one.
  void SetBlurType(TPassBlurType AValue);
  TPassBlurMode GetBlurMode() const;
  void SetBlurMode(TPassBlurMode AValue);
  float GetBlurAmount() const;
  void SetBlurAmount(float AValue);
  bool GetPingPongMode() const { return FPingPongMode; }
  void SetPingPongMode(bool AValue) { FPingPongMode = AValue; }
  float GetExposure() const;
  void SetExposure(float AValue);
  // The radial filter keeps one iteration whatever the value.
  void SetIterations(int32_t AValue) override;

  // In ping-pong mode with a renderer the composite texture, else the output texture.
  TTexture* GetFinalOutputTexture() override;
  // The texture iteration AIndex draws into (of N = max(1, Iterations)).
  TTexture* TargetOf(int32_t AIndex);

protected:
  void InitPassDefaults() override;
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override;
  void CreatePassRenderer() override;
  void DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;
  void DoOnRenderPassFinished(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;

  bool FPingPongMode = true;
  TTexture* FBaseTexture = nullptr;

private:
  // The alternate target, made with the composite texture's size and format.
  TOwned<TVantrelTextureBitmap> FSecondTarget;
  TTexture* FPreviousTarget = nullptr;
  TTexture* SecondTarget();
};

void InitializeCustomBlurPass();
void FinalizeCustomBlurPass();

} // namespace vantrel
