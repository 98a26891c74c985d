#include "support/vertex_color_material.h"

#include <string_view>
#include <vector>

#include "context/Vantrel.Context.h"
#include "ui/context3d.h"

namespace vtest {

namespace {

// The instance matrix arrives row by row as columns, so a_ModelMatrix * p is the row-vector
// product p x M; clip coordinate j is dot(_ViewProj[j], world) (transposed rows).
constexpr std::string_view VertexCode = R"(#version 430
layout(location = 0) in vec3 a_Position;
layout(location = 2) in vec4 a_Color;
layout(location = 12) in mat4 a_ModelMatrix;
uniform vec4 _ViewProj[4];
out vec4 v_Color;
void main() {
  vec4 world = a_ModelMatrix * vec4(a_Position, 1.0);
  gl_Position = vec4(dot(_ViewProj[0], world), dot(_ViewProj[1], world), dot(_ViewProj[2], world),
                     dot(_ViewProj[3], world));
  v_Color = a_Color;
}
)";

constexpr std::string_view PixelCode = R"(#version 430
in vec4 v_Color;
out vec4 o_Color;
void main() {
  o_Color = v_Color;
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

TVertexColorMaterial::TVertexColorMaterial(const std::string& ATag) {
  using ui::TContextShaderKind;
  using ui::TContextShaderVariableKind;
  FOwnedVertex = MakeShader(ATag + ".fvs", TContextShaderKind::VertexShader, VertexCode,
                            {{"ViewProj", TContextShaderVariableKind::Matrix, 0, 4, 0,
                              TContextShaderKind::VertexShader}});
  FOwnedPixel = MakeShader(ATag + ".fps", TContextShaderKind::PixelShader, PixelCode, {});
  FVertexShader = FOwnedVertex.get();
  FPixelShader = FOwnedPixel.get();
}

TVertexColorMaterial::~TVertexColorMaterial() {
  vantrel::TVantrelContext::RemoveProgram(FVertexShader, FPixelShader);
}

void TVertexColorMaterial::DoApply(ui::TContext3D* AContext) {
  TCustomMaterial::DoApply(AContext);
  AContext->SetShaderVariable("ViewProj", AContext->CurrentCameraMatrix() * AContext->CurrentProjectionMatrix());
}

RTL_DEFINE_CLASS(TVertexColorSource, "Test.VertexColor")

rtl::TOwned<ui::TMaterial> TVertexColorSource::CreateMaterial() {
  return rtl::MakeOwned<TVertexColorMaterial>(Tag);
}

} // namespace vtest
