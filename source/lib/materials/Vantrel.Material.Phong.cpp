#include "materials/Vantrel.Material.Phong.h"

#include "materials/Vantrel.Material.Default.GLSL.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelPhongMaterial, "Vantrel.Material.Phong")
RTL_DEFINE_CLASS(TVantrelPhongMaterialSource, "Vantrel.Material.Phong", &TVantrelPhongMaterialSource::RegisterProperties)

namespace {
int MaterialPhongInitCount = 0;
} // namespace

void TVantrelPhongMaterial::AfterConstruction() {
  inherited::AfterConstruction();
  Batched([&] {
    FShaderData.ShadingModel = static_cast<int32_t>(TVantrelShadingModel::smPhong);
    SetShininess(50.0f);
    SetUseLighting(true);
    SetUseSpecular(true);
    SetUseTexturing(true);
    SetUseTexture0(true);
  });
}

TOwned<TMaterial> TVantrelPhongMaterialSource::CreateMaterial() {
  return MakeOwned<TVantrelPhongMaterial>(this);
}

void TVantrelPhongMaterialSource::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelPhongMaterialSource;
  AList.Add("UseLighting", &T::GetUseLighting, &T::SetUseLighting);
  AList.Add("UseSpecular", &T::GetUseSpecular, &T::SetUseSpecular);
  AList.Add("UseTexturing", &T::GetUseTexturing, &T::SetUseTexturing);
  AList.Add("UseTexture0", &T::GetUseTexture0, &T::SetUseTexture0);
  AList.Add("UseVertexColor", &T::GetUseVertexColor, &T::SetUseVertexColor);
  AList.Add("UseColorClipping", &T::GetUseColorClipping, &T::SetUseColorClipping);
  AList.Add("Texture", &T::GetTexture, &T::SetTexture).Stored(false);
}

void InitializeMaterialPhong() {
  if (MaterialPhongInitCount++ > 0)
    return;
  RegisterClass(TVantrelPhongMaterialSource::StaticClass());
}

void FinalizeMaterialPhong() {
  if (MaterialPhongInitCount == 0 || --MaterialPhongInitCount > 0)
    return;
  UnRegisterClass(TVantrelPhongMaterialSource::StaticClass());
}

} // namespace vantrel
