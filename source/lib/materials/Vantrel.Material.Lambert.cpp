#include "materials/Vantrel.Material.Lambert.h"

#include "materials/Vantrel.Material.Default.GLSL.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelLambertMaterial, "Vantrel.Material.Lambert")
RTL_DEFINE_CLASS(TVantrelLambertMaterialSource, "Vantrel.Material.Lambert", &TVantrelLambertMaterialSource::RegisterProperties)

namespace {
int MaterialLambertInitCount = 0;
} // namespace

void TVantrelLambertMaterial::AfterConstruction() {
  inherited::AfterConstruction();
  Batched([&] {
    FShaderData.ShadingModel = static_cast<int32_t>(TVantrelShadingModel::smLambert);
    SetUseLighting(true);
    SetUseSpecular(false);
    SetUseTexturing(true);
    SetUseTexture0(true);
  });
}

TOwned<TMaterial> TVantrelLambertMaterialSource::CreateMaterial() {
  return MakeOwned<TVantrelLambertMaterial>(this);
}

void TVantrelLambertMaterialSource::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelLambertMaterialSource;
  AList.Add("UseLighting", &T::GetUseLighting, &T::SetUseLighting);
  AList.Add("UseSpecular", &T::GetUseSpecular, &T::SetUseSpecular);
  AList.Add("UseTexturing", &T::GetUseTexturing, &T::SetUseTexturing);
  AList.Add("UseTexture0", &T::GetUseTexture0, &T::SetUseTexture0);
  AList.Add("UseVertexColor", &T::GetUseVertexColor, &T::SetUseVertexColor);
  AList.Add("UseColorClipping", &T::GetUseColorClipping, &T::SetUseColorClipping);
  AList.Add("Texture", &T::GetTexture, &T::SetTexture).Stored(false);
}

void InitializeMaterialLambert() {
  if (MaterialLambertInitCount++ > 0)
    return;
  RegisterClass(TVantrelLambertMaterialSource::StaticClass());
}

void FinalizeMaterialLambert() {
  if (MaterialLambertInitCount == 0 || --MaterialLambertInitCount > 0)
    return;
  UnRegisterClass(TVantrelLambertMaterialSource::StaticClass());
}

} // namespace vantrel
