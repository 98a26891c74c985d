#include "materials/Vantrel.Material.Blinn.h"

#include "materials/Vantrel.Material.Default.GLSL.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelBlinnMaterial, "Vantrel.Material.Blinn")
RTL_DEFINE_CLASS(TVantrelBlinnMaterialSource, "Vantrel.Material.Blinn", &TVantrelBlinnMaterialSource::RegisterProperties)

namespace {
int MaterialBlinnInitCount = 0;
} // namespace

void TVantrelBlinnMaterial::AfterConstruction() {
  inherited::AfterConstruction();
  Batched([&] {
    FShaderData.ShadingModel = static_cast<int32_t>(TVantrelShadingModel::smBlinnPhong);
    SetShininess(50.0f);
    SetUseLighting(true);
    SetUseSpecular(true);
    SetUseTexturing(true);
    SetUseTexture0(true);
  });
}

TOwned<TMaterial> TVantrelBlinnMaterialSource::CreateMaterial() {
  return MakeOwned<TVantrelBlinnMaterial>(this);
}

void TVantrelBlinnMaterialSource::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelBlinnMaterialSource;
  AList.Add("UseLighting", &T::GetUseLighting, &T::SetUseLighting);
  AList.Add("UseSpecular", &T::GetUseSpecular, &T::SetUseSpecular);
  AList.Add("UseTexturing", &T::GetUseTexturing, &T::SetUseTexturing);
  AList.Add("UseTexture0", &T::GetUseTexture0, &T::SetUseTexture0);
  AList.Add("UseVertexColor", &T::GetUseVertexColor, &T::SetUseVertexColor);
  AList.Add("UseColorClipping", &T::GetUseColorClipping, &T::SetUseColorClipping);
  AList.Add("Texture", &T::GetTexture, &T::SetTexture).Stored(false);
}

void InitializeMaterialBlinn() {
  if (MaterialBlinnInitCount++ > 0)
    return;
  RegisterClass(TVantrelBlinnMaterialSource::StaticClass());
}

void FinalizeMaterialBlinn() {
  if (MaterialBlinnInitCount == 0 || --MaterialBlinnInitCount > 0)
    return;
  UnRegisterClass(TVantrelBlinnMaterialSource::StaticClass());
}

} // namespace vantrel
