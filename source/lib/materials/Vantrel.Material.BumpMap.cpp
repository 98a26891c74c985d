#include "materials/Vantrel.Material.BumpMap.h"

#include "materials/Vantrel.Material.Default.GLSL.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelBumpMapMaterial, "Vantrel.Material.BumpMap")
RTL_DEFINE_CLASS(TVantrelBumpMapMaterialSource, "Vantrel.Material.BumpMap", &TVantrelBumpMapMaterialSource::RegisterProperties)

namespace {
int MaterialBumpMapInitCount = 0;
} // namespace

void TVantrelBumpMapMaterial::CreateVertexShaderBuilder() {
  inherited::CreateVertexShaderBuilder();
  for (const char* name : {"SPECULARMAP"})
    GetVertexShaderNode()->AddDefine(name);
}

void TVantrelBumpMapMaterial::CreateFragmentShaderBuilder() {
  inherited::CreateFragmentShaderBuilder();
  for (const char* name : {"SPECULARMAP"})
    GetFragmentShaderNode()->AddDefine(name);
}

TOwned<TMaterial> TVantrelBumpMapMaterialSource::CreateMaterial() {
  return MakeOwned<TVantrelBumpMapMaterial>(this);
}

void TVantrelBumpMapMaterialSource::UpdateBitmapEntries() {
  DefaultMaterial()->Batched([&] {
    AddBitmap("SpecularMapTexture", TPixelFormatEx::RGBA8, TPixelFormatEx::BGRA, TVantrelTextureDataType::dtUnsignedByte,
              false, true, true, TContextShaderKind::PixelShader, TVantrelTextureKind::Texture2D);
    inherited::UpdateBitmapEntries();
  });
}

void TVantrelBumpMapMaterialSource::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelBumpMapMaterialSource;
  AList.Add("SpecularMap", &T::GetSpecularMap, &T::SetSpecularMap).Stored(false);
}

void InitializeMaterialBumpMap() {
  if (MaterialBumpMapInitCount++ > 0)
    return;
  RegisterClass(TVantrelBumpMapMaterialSource::StaticClass());
}

void FinalizeMaterialBumpMap() {
  if (MaterialBumpMapInitCount == 0 || --MaterialBumpMapInitCount > 0)
    return;
  UnRegisterClass(TVantrelBumpMapMaterialSource::StaticClass());
}

} // namespace vantrel
