#include "support/constant_material.h"

#include <span>
#include <string_view>
#include <vector>

#include "context/Vantrel.Context.h"
#include "ui/context3d.h"

namespace vtest {

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

rtl::TOwned<ui::TContextShader> MakeShader(const std::string& AName, ui::TContextShaderKind AKind,
                                           std::string_view ACode,
                                           std::vector<ui::TContextShaderVariable> AVariables) {
  ui::TContextShaderSource source;
  source.Arch = ui::TContextShaderArch::GLSL;
  source.Code.assign(ACode.begin(), ACode.end());
  source.Variables = std::move(AVariables);
  return rtl::MakeOwned<ui::TContextShader>(AName, AKind, std::vector<ui::TContextShaderSource>{source});
}

} // namespace

TConstantColorMaterial::TConstantColorMaterial(rtl::TAlphaColorF AColor, const std::string& ATag)
    : FColor(AColor) {
  using ui::TContextShaderKind;
  using ui::TContextShaderVariableKind;
  FOwnedVertex = MakeShader(ATag + ".fvs", TContextShaderKind::VertexShader, VertexCode,
                            {{"MVPMatrix", TContextShaderVariableKind::Matrix, 0, 4, 0,
                              TContextShaderKind::VertexShader}});
  FOwnedPixel = MakeShader(
      ATag + ".fps", TContextShaderKind::PixelShader, PixelCode,
      {{"Color", TContextShaderVariableKind::Vector, 0, 1, 0, TContextShaderKind::PixelShader}});
  FVertexShader = FOwnedVertex.get();
  FPixelShader = FOwnedPixel.get();
}

TConstantColorMaterial::~TConstantColorMaterial() {
  // The program made from the two shaders goes first: it refers to their stages.
  vantrel::TVantrelContext::RemoveProgram(FVertexShader, FPixelShader);
}

void TConstantColorMaterial::DoApply(ui::TContext3D* AContext) {
  TCustomMaterial::DoApply(AContext);
  const rtl::TVector3D color{FColor.R, FColor.G, FColor.B, FColor.A};
  AContext->SetShaderVariable("Color", std::span<const rtl::TVector3D>(&color, 1));
}

} // namespace vtest
