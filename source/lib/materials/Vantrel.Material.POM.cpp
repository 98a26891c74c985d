#include "materials/Vantrel.Material.POM.h"

#include "materials/Vantrel.Material.Default.GLSL.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelPOMMaterial, "Vantrel.Material.POM")
RTL_DEFINE_CLASS(TVantrelPOMMaterialSource, "Vantrel.Material.POM", &TVantrelPOMMaterialSource::RegisterProperties)

namespace {
int MaterialPOMInitCount = 0;
} // namespace

void TVantrelPOMMaterial::AfterConstruction() {
  inherited::AfterConstruction();
  Batched([&] {
    FShaderData.PassData[0].NormalIntensity = 0.1f;
    SetUseLighting(true);
    SetUseSpecular(true);
    SetUseTexturing(true);
    SetUseTexture0(true);
  });
}

void TVantrelPOMMaterial::CreateVertexShaderBuilder() {
  inherited::CreateVertexShaderBuilder();
  for (const char* name : {"LIGHTING", "USE_TEXTURE", "USE_TEXTURE0", "DISPLACEMENT", "NORMALMAP", "BUMP", "POM", "POM_DISCARD"})
    GetVertexShaderNode()->AddDefine(name);
}

void TVantrelPOMMaterial::CreateFragmentShaderBuilder() {
  inherited::CreateFragmentShaderBuilder();
  for (const char* name : {"LIGHTING", "USE_TEXTURE", "USE_TEXTURE0", "DISPLACEMENT", "NORMALMAP", "BUMP", "POM", "POM_DISCARD"})
    GetFragmentShaderNode()->AddDefine(name);
}

bool TVantrelPOMMaterial::GetParallaxDiscardEdges() const {
  return DefinedFragment("POM_DISCARD");
}

void TVantrelPOMMaterial::SetParallaxDiscardEdges(bool AValue) {
  AValue ? AddDefineBoth("POM_DISCARD") : RemoveDefineBoth("POM_DISCARD");
  Changed();
}

bool TVantrelPOMMaterialSource::GetParallaxDiscardEdges() const {
  return static_cast<TVantrelPOMMaterial*>(DefaultMaterial())->GetParallaxDiscardEdges();
}

void TVantrelPOMMaterialSource::SetParallaxDiscardEdges(bool AValue) {
  static_cast<TVantrelPOMMaterial*>(DefaultMaterial())->SetParallaxDiscardEdges(AValue);
}

TOwned<TMaterial> TVantrelPOMMaterialSource::CreateMaterial() {
  return MakeOwned<TVantrelPOMMaterial>(this);
}

void TVantrelPOMMaterialSource::UpdateBitmapEntries() {
  DefaultMaterial()->Batched([&] {
    inherited::UpdateBitmapEntries();
    AddBitmap("POMTexture", TPixelFormatEx::RGBA8, TPixelFormatEx::RGBA, TVantrelTextureDataType::dtUnsignedByte,
              false, true, true, TContextShaderKind::PixelShader, TVantrelTextureKind::Texture2D);
  });
}

void TVantrelPOMMaterialSource::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelPOMMaterialSource;
  AList.Add("UseLighting", &T::GetUseLighting, &T::SetUseLighting);
  AList.Add("UseSpecular", &T::GetUseSpecular, &T::SetUseSpecular);
  AList.Add("UseTexturing", &T::GetUseTexturing, &T::SetUseTexturing);
  AList.Add("UseTexture0", &T::GetUseTexture0, &T::SetUseTexture0);
  AList.Add("Texture", &T::GetTexture, &T::SetTexture).Stored(false);
  AList.Add("NormalMap", &T::GetNormalMap, &T::SetNormalMap).Stored(false);
  AList.Add("ParallaxOcclusionMap", &T::GetParallaxOcclusionMap, &T::SetParallaxOcclusionMap).Stored(false);
  AList.Add("ParallaxDiscardEdges", &T::GetParallaxDiscardEdges, &T::SetParallaxDiscardEdges);
  AList.Add("DisplacementMap", &T::GetDisplacementMap, &T::SetDisplacementMap).Stored(false);
  AList.Add("DisplacementX", &T::GetDisplacementX, &T::SetDisplacementX);
  AList.Add("DisplacementY", &T::GetDisplacementY, &T::SetDisplacementY);
  AList.Add("DisplacementZ", &T::GetDisplacementZ, &T::SetDisplacementZ);
  AList.Add("DisplacementDir", &T::GetDisplacementDir, &T::SetDisplacementDir);
}

void InitializeMaterialPOM() {
  if (MaterialPOMInitCount++ > 0)
    return;
  RegisterClass(TVantrelPOMMaterialSource::StaticClass());
}

void FinalizeMaterialPOM() {
  if (MaterialPOMInitCount == 0 || --MaterialPOMInitCount > 0)
    return;
  UnRegisterClass(TVantrelPOMMaterialSource::StaticClass());
}

} // namespace vantrel
