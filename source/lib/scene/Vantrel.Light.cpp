// The framework's light.

#include "scene/Vantrel.Light.h"

#include <algorithm>

#include "rtl/properties.h"
#include "scene/Vantrel.Control.h"
#include "ui/context3d.h"
#include "utils/Vantrel.Utils.Math.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelLight, "Vantrel.Light", &TVantrelLight::RegisterProperties)

namespace {

int LightInitCount = 0;

// The upper bounds of the scattering components (intensity, exposure, decay, density).
constexpr float ScatteringMax[] = {10, 1, 2, 10};

float& Component(TVector3D& AVector, int AIndex) {
  switch (AIndex) {
  case 0:
    return AVector.X;
  case 1:
    return AVector.Y;
  case 2:
    return AVector.Z;
  default:
    return AVector.W;
  }
}

} // namespace

template <class TDef> TDef* MakeOwnDefinition(TComponent* AOwner, bool& AStandalone) {
  TCustomDef* ownerDef = nullptr;
  if (auto* control = dynamic_cast<TVantrelControl*>(AOwner))
    ownerDef = dynamic_cast<TTransformDef*>(control->Def());
  auto* def = static_cast<TDef*>(TDef::StaticClass().CreateDef(ownerDef));
  // A model's list owns what it registered; everything else is the light's or camera's own.
  AStandalone = def->GetListedIn() == nullptr;
  return def;
}

template TLightDef* MakeOwnDefinition<TLightDef>(TComponent*, bool&);
template TCameraDef* MakeOwnDefinition<TCameraDef>(TComponent*, bool&);

void TVantrelLight::RegisterProperties(TPropertyList& AList) {
  AList.Add("Ambient", &TVantrelLight::GetAmbient, &TVantrelLight::SetAmbient);
  AList.Add("Specular", &TVantrelLight::GetSpecular, &TVantrelLight::SetSpecular);
  AList.Add("Intensity", &TVantrelLight::GetIntensity, &TVantrelLight::SetIntensity);
  AList.Add("ConstantAttenuation", &TVantrelLight::GetConstantAttenuation, &TVantrelLight::SetConstantAttenuation);
  AList.Add("LinearAttenuation", &TVantrelLight::GetLinearAttenuation, &TVantrelLight::SetLinearAttenuation);
  AList.Add("QuadraticAttenuation", &TVantrelLight::GetQuadraticAttenuation,
            &TVantrelLight::SetQuadraticAttenuation);
  AList.Add("ScatteringIntensity", &TVantrelLight::GetScatteringIntensity, &TVantrelLight::SetScatteringIntensity);
  AList.Add("ScatteringExposure", &TVantrelLight::GetScatteringExposure, &TVantrelLight::SetScatteringExposure);
  AList.Add("ScatteringDecay", &TVantrelLight::GetScatteringDecay, &TVantrelLight::SetScatteringDecay);
  AList.Add("ScatteringDensity", &TVantrelLight::GetScatteringDensity, &TVantrelLight::SetScatteringDensity);
}

void TVantrelLight::RegisterFields() {
  // The definition is shared with a copy unless the light frees its own.
  TCopyField def;
  def.Name = "FDef";
  def.CopyValue = [](TObject* ADest, const TObject* ASource) {
    const auto* source = static_cast<const TVantrelLight*>(ASource);
    if (!source->OwnsDefinition())
      static_cast<TVantrelLight*>(ADest)->FDef = source->FDef;
  };
  rtl::RegisterFields(StaticClass(), {def, SkippedField("FSelfDef", TFieldKind::NoTypeInfo),
                                      SkippedField("FDefIsStandalone", TFieldKind::NoTypeInfo),
                                      ValueField<&TVantrelLight::FAmbient>("FAmbient"),
                                      ValueField<&TVantrelLight::FSpecular>("FSpecular"),
                                      ValueField<&TVantrelLight::FIntensity>("FIntensity"),
                                      ValueField<&TVantrelLight::FConstantAttenuation>("FConstantAttenuation"),
                                      ValueField<&TVantrelLight::FLinearAttenuation>("FLinearAttenuation"),
                                      ValueField<&TVantrelLight::FQuadraticAttenuation>("FQuadraticAttenuation"),
                                      ValueField<&TVantrelLight::FScattering>("FScattering")});
}

void TVantrelLight::AfterConstruction() {
  inherited::AfterConstruction();
  if (!FDef) {
    FSelfDef = MakeOwnDefinition<TLightDef>(Owner(), FDefIsStandalone);
    FDef = FSelfDef;
  }
  FAmbient = {0, 0, 0, 1};
  FSpecular = {1, 1, 1, 1};
  FIntensity = 1;
  FConstantAttenuation = 1;
  FLinearAttenuation = 0;
  FQuadraticAttenuation = 0;
  FScattering = {0.1f, 0.0034f, 1.0f, 0.84f};
}

void TVantrelLight::BeforeDestruction() {
  FDef = nullptr;
  if (FDefIsStandalone && FSelfDef)
    std::exchange(FSelfDef, nullptr)->Free();
  inherited::BeforeDestruction();
}

void TVantrelLight::SetIntensity(float AValue) {
  FIntensity = std::min(10.0f, std::max(0.0f, AValue));
}

float TVantrelLight::GetScattering(int AIndex) const {
  if (AIndex < 0 || AIndex > 3)
    return 0;
  return Component(const_cast<TVector3D&>(FScattering), AIndex);
}

void TVantrelLight::SetScattering(int AIndex, float AValue) {
  if (AIndex < 0 || AIndex > 3)
    return;
  Component(FScattering, AIndex) = LimitF(AValue, 0, ScatteringMax[AIndex]);
}

TVantrelShaderLight TVantrelLight::GetLightDescriptionEx() {
  TVantrelShaderLight result = TVantrelShaderLight::Create(LightDescription());
  result.Ambient = FAmbient;
  result.Specular = FSpecular;
  result.Scattering = FScattering;
  result.ConstantAttenuation = FConstantAttenuation;
  result.LinearAttenuation = FLinearAttenuation;
  result.QuadraticAttenuation = FQuadraticAttenuation;
  result.Intensity = FIntensity;
  return result;
}

void TVantrelLight::LoadFromDefinition(TLightDef* ADef) {
  FDef = ADef;
  if (!ADef)
    return;
  if (Name().empty())
    SetName(ADef->GetQualifiedComponentName());
  SetLightType(ADef->LightType);
  SetColor(ADef->Diffuse.ToAlphaColor());
  SetAmbient(ADef->Ambient);
  SetSpecular(ADef->Specular);
  SetIntensity(ADef->Intensity);
  SetConstantAttenuation(ADef->ConstantAttenuation);
  SetLinearAttenuation(ADef->LinearAttenuation);
  SetQuadraticAttenuation(ADef->QuadraticAttenuation);
  SetScattering(0, ADef->ScatteringIntensity);
  SetScattering(1, ADef->ScatteringExposure);
  SetScattering(2, ADef->ScatteringDecay);
  SetScattering(3, ADef->ScatteringDensity);
  const TMatrix3D& transform = ADef->GetTransform();
  Position()->SetPoint({transform.m41, transform.m42, transform.m43});
  // The definition's direction vector is taken as rotation angles, as files expect.
  RotationAngle()->SetPoint(ADef->Direction);
}

void TVantrelLight::Render() {
  ui::TContext3D* context = Context();
  if (context && static_cast<const ui::TContext3DClass&>(context->ClassType()).Valid())
    inherited::Render();
}

void InitializeLight() {
  if (LightInitCount++ > 0)
    return;
  RegisterClass(TVantrelLight::StaticClass());
  TVantrelLight::RegisterFields();
}

void FinalizeLight() {
  if (LightInitCount == 0 || --LightInitCount > 0)
    return;
  UnRegisterFields(TVantrelLight::StaticClass());
  UnRegisterClass(TVantrelLight::StaticClass());
}

} // namespace vantrel
