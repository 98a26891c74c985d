#include "materials/Vantrel.Material.PBR.h"

#include "materials/Vantrel.Material.Default.GLSL.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelPBRMaterial, "Vantrel.Material.PBR")
RTL_DEFINE_CLASS(TVantrelPBRMaterialSource, "Vantrel.Material.PBR", &TVantrelPBRMaterialSource::RegisterProperties)

namespace {
int MaterialPBRInitCount = 0;
} // namespace

void TVantrelPBRMaterial::AfterConstruction() {
  inherited::AfterConstruction();
  Batched([&] {
    FShaderData.Material[0].Ambient = TAlphaColorF::Create(0.03f, 0.03f, 0.03f, 1.0f);
    TVector3D& displacement = FShaderData.Material[0].Displacement;
    displacement = {displacement.X * 0.5f, displacement.Y * 0.5f, displacement.Z * 0.5f, displacement.W * 0.5f};
    FShaderData.ShadingModel = static_cast<int32_t>(TVantrelShadingModel::smPBR);
    SetNormalIntensity(0.1f);
    SetUseLighting(true);
    SetUseSpecular(true);
    SetUseTexturing(true);
    SetUseTexture0(true);
    SetUsePBRAlbedoTexture(true);
    SetUsePBRMetallicTexture(true);
    SetUsePBRRoughnessTexture(true);
    SetUsePBRAOTexture(true);
  });
}

void TVantrelPBRMaterial::CreateVertexShaderBuilder() {
  inherited::CreateVertexShaderBuilder();
  for (const char* name : {"LIGHTING", "USE_TEXTURE", "USE_TEXTURE0", "DISPLACEMENT", "NORMALMAP", "BUMP", "PBR"})
    GetVertexShaderNode()->AddDefine(name);
}

void TVantrelPBRMaterial::CreateFragmentShaderBuilder() {
  inherited::CreateFragmentShaderBuilder();
  for (const char* name : {"LIGHTING", "USE_TEXTURE", "USE_TEXTURE0", "DISPLACEMENT", "NORMALMAP", "BUMP", "PBR_TEX", "PBR_TEX_ALBEDO", "PBR_TEX_METALLIC", "PBR_TEX_ROUGHNESS", "PBR_TEX_AO"})
    GetFragmentShaderNode()->AddDefine(name);
}

TOwned<TMaterial> TVantrelPBRMaterialSource::CreateMaterial() {
  return MakeOwned<TVantrelPBRMaterial>(this);
}

void TVantrelPBRMaterialSource::UpdateBitmapEntries() {
  DefaultMaterial()->Batched([&] {
    inherited::UpdateBitmapEntries();
    AddBitmap("MetalnessTexture", TPixelFormatEx::RGBA8, TPixelFormatEx::BGRA, TVantrelTextureDataType::dtUnsignedByte,
              false, true, false, TContextShaderKind::PixelShader, TVantrelTextureKind::Texture2D);
    AddBitmap("RoughnessTexture", TPixelFormatEx::RGBA8, TPixelFormatEx::BGRA, TVantrelTextureDataType::dtUnsignedByte,
              false, true, false, TContextShaderKind::PixelShader, TVantrelTextureKind::Texture2D);
    AddBitmap("AmbientOcclusionTexture", TPixelFormatEx::RGBA8, TPixelFormatEx::BGRA, TVantrelTextureDataType::dtUnsignedByte,
              false, true, false, TContextShaderKind::PixelShader, TVantrelTextureKind::Texture2D);
    AddBitmap("EmissiveTexture", TPixelFormatEx::RGBA8, TPixelFormatEx::BGRA, TVantrelTextureDataType::dtUnsignedByte,
              false, true, false, TContextShaderKind::PixelShader, TVantrelTextureKind::Texture2D);
    AddBitmap("SpecularMapTexture", TPixelFormatEx::RGBA8, TPixelFormatEx::BGRA, TVantrelTextureDataType::dtUnsignedByte,
              false, true, false, TContextShaderKind::PixelShader, TVantrelTextureKind::Texture2D);
  });
}

void TVantrelPBRMaterialSource::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelPBRMaterialSource;
  AList.Add("MetalnessTexture", &T::GetMetalnessTexture, &T::SetMetalnessTexture).Stored(false);
  AList.Add("RoughnessTexture", &T::GetRoughnessTexture, &T::SetRoughnessTexture).Stored(false);
  AList.Add("AmbientOcclusionTexture", &T::GetAmbientOcclusionTexture, &T::SetAmbientOcclusionTexture).Stored(false);
  AList.Add("EmissiveTexture", &T::GetEmissiveTexture, &T::SetEmissiveTexture).Stored(false);
  AList.Add("SpecularMap", &T::GetSpecularMap, &T::SetSpecularMap).Stored(false);
  AList.Add("UseParallaxOcclusion", &T::GetUseParallaxOcclusion, &T::SetUseParallaxOcclusion);
  AList.Add("UsePBRAlbedoTexture", &T::GetUsePBRAlbedoTexture, &T::SetUsePBRAlbedoTexture);
  AList.Add("UsePBRMetallicTexture", &T::GetUsePBRMetallicTexture, &T::SetUsePBRMetallicTexture);
  AList.Add("UsePBRRoughnessTexture", &T::GetUsePBRRoughnessTexture, &T::SetUsePBRRoughnessTexture);
  AList.Add("UsePBRAOTexture", &T::GetUsePBRAOTexture, &T::SetUsePBRAOTexture);
  AList.Add("UsePBREmissiveTexture", &T::GetUsePBREmissiveTexture, &T::SetUsePBREmissiveTexture);
  AList.Add("UsePBRSpecularTexture", &T::GetUsePBRSpecularTexture, &T::SetUsePBRSpecularTexture);
}

void InitializeMaterialPBR() {
  if (MaterialPBRInitCount++ > 0)
    return;
  RegisterClass(TVantrelPBRMaterialSource::StaticClass());
}

void FinalizeMaterialPBR() {
  if (MaterialPBRInitCount == 0 || --MaterialPBRInitCount > 0)
    return;
  UnRegisterClass(TVantrelPBRMaterialSource::StaticClass());
}

} // namespace vantrel
