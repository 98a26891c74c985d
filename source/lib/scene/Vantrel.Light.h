#pragma once
// The framework's light: the platform light with the values the framework's shaders use (ambient,
// specular, intensity, attenuations, scattering), kept beside a light definition.

#include <cstdint>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Types.h"
#include "definitions/Vantrel.DefTypes.h"
#include "ui/controls3d.h"

namespace vantrel {

class TVantrelLight : public ui::TLight {
  RTL_CLASS(TVantrelLight, ui::TLight)
public:
  explicit TVantrelLight(rtl::TComponent* AOwner) : TLight(AOwner) {}
  static void RegisterProperties(rtl::TPropertyList& AList);
  static void RegisterFields();

  // Makes the own definition first (under the owner's node definition when the owner has one),
  // then sets the defaults.
  void AfterConstruction() override;
  // Clears Def and frees a standalone own definition.
  void BeforeDestruction() override;

  TLightDef* Def() const { return FDef; }
  void SetDef(TLightDef* AValue) { FDef = AValue; }
  TLightDef* SelfDef() const { return FSelfDef; }
  // The own definition is the light's to free: it was not registered in a model's list.
  bool OwnsDefinition() const { return FDefIsStandalone; }

  // The platform light as a shader light, with the light's own ambient, specular, scattering,
  // attenuations and intensity.
  virtual TVantrelShaderLight GetLightDescriptionEx();
  virtual rtl::TAlphaColorF GetAmbient() const { return FAmbient; }
  virtual void SetAmbient(const rtl::TAlphaColorF& AValue) { FAmbient = AValue; }
  virtual rtl::TAlphaColorF GetSpecular() const { return FSpecular; }
  virtual void SetSpecular(const rtl::TAlphaColorF& AValue) { FSpecular = AValue; }
  float GetIntensity() const { return FIntensity; }
  // Clamped to 0..10.
  void SetIntensity(float AValue);
  float GetConstantAttenuation() const { return FConstantAttenuation; }
  virtual void SetConstantAttenuation(float AValue) { FConstantAttenuation = AValue; }
  float GetLinearAttenuation() const { return FLinearAttenuation; }
  virtual void SetLinearAttenuation(float AValue) { FLinearAttenuation = AValue; }
  float GetQuadraticAttenuation() const { return FQuadraticAttenuation; }
  virtual void SetQuadraticAttenuation(float AValue) { FQuadraticAttenuation = AValue; }
  // Component 0..3 (intensity, exposure, decay, density); 0 for other indexes.
  virtual float GetScattering(int AIndex) const;
  // Clamped to the component's range (0..10, 0..1, 0..2, 0..10); other indexes are ignored.
  virtual void SetScattering(int AIndex, float AValue);
  float GetScatteringIntensity() const { return GetScattering(0); }
  void SetScatteringIntensity(float AValue) { SetScattering(0, AValue); }
  float GetScatteringExposure() const { return GetScattering(1); }
  void SetScatteringExposure(float AValue) { SetScattering(1, AValue); }
  float GetScatteringDecay() const { return GetScattering(2); }
  void SetScatteringDecay(float AValue) { SetScattering(2, AValue); }
  float GetScatteringDensity() const { return GetScattering(3); }
  void SetScatteringDensity(float AValue) { SetScattering(3, AValue); }
  // Def, the name (when empty), type, colours, intensity, attenuations, scattering, position and
  // rotation from ADef. The spot values are not applied.
  virtual void LoadFromDefinition(TLightDef* ADef);

  // The platform light's drawing, only on a valid context.
  void Render() override;

private:
  TLightDef* FDef = nullptr;
  TLightDef* FSelfDef = nullptr;
  bool FDefIsStandalone = false;
  rtl::TAlphaColorF FAmbient{0, 0, 0, 1};
  rtl::TAlphaColorF FSpecular{1, 1, 1, 1};
  float FIntensity = 1;
  float FConstantAttenuation = 1;
  float FLinearAttenuation = 0;
  float FQuadraticAttenuation = 0;
  rtl::TVector3D FScattering{0.1f, 0.0034f, 1.0f, 0.84f};
};

// A new definition for a light or camera owned by AOwner: under the owner's node definition when
// AOwner is a scene control with one. AStandalone tells whether no model's list took it.
template <class TDef> TDef* MakeOwnDefinition(rtl::TComponent* AOwner, bool& AStandalone);

void InitializeLight();
void FinalizeLight();

} // namespace vantrel
