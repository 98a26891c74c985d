#include "ui/color_material.h"

#include <span>
#include <string_view>
#include <vector>

#include "rtl/properties.h"
#include "ui/context3d.h"
#include "ui/shaders.h"

namespace ui {

RTL_DEFINE_CLASS(TColorMaterial, "ui.ColorMaterial")
RTL_DEFINE_CLASS(TColorMaterialSource, "ui.ColorMaterial", &TColorMaterialSource::RegisterProperties)

namespace {

// Clip coordinate j is dot(_MVPMatrix[j], p): the matrix arrives as its four transposed rows.
constexpr std::string_view VertexCode = R"(#version 430
layout(location = 0) in vec3 a_Vertex;
uniform vec4 _MVPMatrix[4];
void main() {
  vec4 p = vec4(a_Vertex, 1.0);
  gl_Position = vec4(dot(_MVPMatrix[0], p), dot(_MVPMatrix[1], p), dot(_MVPMatrix[2], p), dot(_MVPMatrix[3], p));
}
)";

constexpr std::string_view PixelCode = R"(#version 430
uniform vec4 _Color;
out vec4 o_Color;
void main() {
  o_Color = _Color;
}
)";

TContextShader* RegisterStage(const char* AName, TContextShaderKind AKind, std::string_view ACode,
                              TContextShaderVariable AVariable) {
  TContextShaderSource source;
  source.Arch = TContextShaderArch::GLSL;
  source.Code.assign(ACode.begin(), ACode.end());
  source.Variables = {std::move(AVariable)};
  return TShaderManager::RegisterShaderFromData(AName, AKind, "", {source});
}

} // namespace

TColorMaterial::TColorMaterial() {
  FVertexShader = RegisterStage("color.fvs", TContextShaderKind::VertexShader, VertexCode,
                                {"MVPMatrix", TContextShaderVariableKind::Matrix, 0, 4, 0,
                                 TContextShaderKind::VertexShader});
  FPixelShader = RegisterStage("color.fps", TContextShaderKind::PixelShader, PixelCode,
                               {"Color", TContextShaderVariableKind::Vector, 0, 1, 0,
                                TContextShaderKind::PixelShader});
}

void TColorMaterial::DoApply(TContext3D* AContext) {
  TCustomMaterial::DoApply(AContext);
  const rtl::TAlphaColorF color = rtl::TAlphaColorF::Create(FColor);
  const rtl::TVector3D value{color.R, color.G, color.B, color.A};
  AContext->SetShaderVariable("Color", std::span<const rtl::TVector3D>(&value, 1));
}

void TColorMaterialSource::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("Color", &TColorMaterialSource::GetColor, &TColorMaterialSource::SetColor)
      .AsType(rtl::TypeInfoAlphaColor())
      .WithDefault(rtl::TValue::From(rtl::TAlphaColor(0xFF000000), rtl::TypeInfoAlphaColor()));
}

void TColorMaterialSource::SetColor(rtl::TAlphaColor AValue) {
  FColor = AValue;
  if (auto* material = dynamic_cast<TColorMaterial*>(GetMaterial()))
    material->SetColor(AValue);
}

rtl::TOwned<TMaterial> TColorMaterialSource::CreateMaterial() {
  auto material = rtl::MakeOwned<TColorMaterial>();
  material->SetColor(FColor);
  return material;
}

} // namespace ui
