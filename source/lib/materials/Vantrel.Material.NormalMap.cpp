#include "materials/Vantrel.Material.NormalMap.h"

#include "materials/Vantrel.Material.Default.GLSL.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelNormalMapMaterial, "Vantrel.Material.NormalMap")
RTL_DEFINE_CLASS(TVantrelNormalMapMaterialSource, "Vantrel.Material.NormalMap", &TVantrelNormalMapMaterialSource::RegisterProperties)

namespace {
int MaterialNormalMapInitCount = 0;
} // namespace

void TVantrelNormalMapMaterial::AfterConstruction() {
  inherited::AfterConstruction();
  Batched([&] {
    SetShadingModel(TVantrelShadingModel::smBlinnPhong);
    SetUseLighting(true);
    SetUseSpecular(true);
    SetUseTexturing(true);
    SetUseTexture0(true);
  });
}

void TVantrelNormalMapMaterial::CreateVertexShaderBuilder() {
  inherited::CreateVertexShaderBuilder();
  for (const char* name : {"LIGHTING", "USE_TEXTURE", "USE_TEXTURE0", "DISPLACEMENT", "NORMALMAP", "BUMP"})
    GetVertexShaderNode()->AddDefine(name);
}

void TVantrelNormalMapMaterial::CreateFragmentShaderBuilder() {
  inherited::CreateFragmentShaderBuilder();
  for (const char* name : {"LIGHTING", "USE_TEXTURE", "USE_TEXTURE0", "DISPLACEMENT", "NORMALMAP", "BUMP"})
    GetFragmentShaderNode()->AddDefine(name);
}

TOwned<TMaterial> TVantrelNormalMapMaterialSource::CreateMaterial() {
  return MakeOwned<TVantrelNormalMapMaterial>(this);
}

void TVantrelNormalMapMaterialSource::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelNormalMapMaterialSource;
  AList.Add("UseLighting", &T::GetUseLighting, &T::SetUseLighting);
  AList.Add("UseSpecular", &T::GetUseSpecular, &T::SetUseSpecular);
  AList.Add("UseTexturing", &T::GetUseTexturing, &T::SetUseTexturing);
  AList.Add("UseTexture0", &T::GetUseTexture0, &T::SetUseTexture0);
  AList.Add("UseVertexColor", &T::GetUseVertexColor, &T::SetUseVertexColor);
  AList.Add("UseColorClipping", &T::GetUseColorClipping, &T::SetUseColorClipping);
  AList.Add("Texture", &T::GetTexture, &T::SetTexture).Stored(false);
  AList.Add("NormalMap", &T::GetNormalMap, &T::SetNormalMap).Stored(false);
  AList.Add("DisplacementMap", &T::GetDisplacementMap, &T::SetDisplacementMap).Stored(false);
  AList.Add("DisplacementX", &T::GetDisplacementX, &T::SetDisplacementX);
  AList.Add("DisplacementY", &T::GetDisplacementY, &T::SetDisplacementY);
  AList.Add("DisplacementZ", &T::GetDisplacementZ, &T::SetDisplacementZ);
  AList.Add("DisplacementDir", &T::GetDisplacementDir, &T::SetDisplacementDir);
}

void InitializeMaterialNormalMap() {
  if (MaterialNormalMapInitCount++ > 0)
    return;
  RegisterClass(TVantrelNormalMapMaterialSource::StaticClass());
}

void FinalizeMaterialNormalMap() {
  if (MaterialNormalMapInitCount == 0 || --MaterialNormalMapInitCount > 0)
    return;
  UnRegisterClass(TVantrelNormalMapMaterialSource::StaticClass());
}

} // namespace vantrel
