#include "materials/Vantrel.Material.VertexColor.h"

#include "materials/Vantrel.Material.Default.GLSL.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelVertexColorMaterial, "Vantrel.Material.VertexColor")
RTL_DEFINE_CLASS(TVantrelVertexColorMaterialSource, "Vantrel.Material.VertexColor", &TVantrelVertexColorMaterialSource::RegisterProperties)

namespace {
int MaterialVertexColorInitCount = 0;
} // namespace

void TVantrelVertexColorMaterial::AfterConstruction() {
  inherited::AfterConstruction();
  Batched([&] {
    SetUseLighting(true);
    SetUseSpecular(true);
    SetUseTexturing(false);
    SetUseTexture0(false);
    SetUseVertexColor(true);
  });
}

void TVantrelVertexColorMaterial::BuildVertexShaderSource() {
  inherited::BuildVertexShaderSource();
  TVantrelNodeBuilder* builder = GetVertexShaderNode();
  builder->AddDefine("USE_VERTEXCOLOR");
  builder->AddDefine("LIGHTING");
  builder->RemoveDefine("USE_TEXTURE");
  builder->RemoveDefine("USE_TEXTURE0");
}

void TVantrelVertexColorMaterial::BuildFragmentShaderSource() {
  inherited::BuildFragmentShaderSource();
  TVantrelNodeBuilder* builder = GetFragmentShaderNode();
  builder->AddDefine("USE_VERTEXCOLOR");
  builder->AddDefine("LIGHTING");
  builder->RemoveDefine("USE_TEXTURE");
  builder->RemoveDefine("USE_TEXTURE0");
}

TOwned<TMaterial> TVantrelVertexColorMaterialSource::CreateMaterial() {
  return MakeOwned<TVantrelVertexColorMaterial>(this);
}

void TVantrelVertexColorMaterialSource::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelVertexColorMaterialSource;
  AList.Add("UseLighting", &T::GetUseLighting, &T::SetUseLighting);
  AList.Add("UseSpecular", &T::GetUseSpecular, &T::SetUseSpecular);
  AList.Add("UseVertexColor", &T::GetUseVertexColor, &T::SetUseVertexColor);
  AList.Add("UseColorClipping", &T::GetUseColorClipping, &T::SetUseColorClipping);
}

void InitializeMaterialVertexColor() {
  if (MaterialVertexColorInitCount++ > 0)
    return;
  RegisterClass(TVantrelVertexColorMaterialSource::StaticClass());
}

void FinalizeMaterialVertexColor() {
  if (MaterialVertexColorInitCount == 0 || --MaterialVertexColorInitCount > 0)
    return;
  UnRegisterClass(TVantrelVertexColorMaterialSource::StaticClass());
}

} // namespace vantrel
