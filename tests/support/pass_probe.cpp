#include "support/pass_probe.h"

#include <cmath>
#include <span>
#include <string_view>

#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/sysutils.h"
#include "ui/mesh_buffers.h"

namespace vtest {

RTL_DEFINE_CLASS(TPassProbe, "Test.PassProbe")
RTL_DEFINE_CLASS(TDirectionBox, "Test.PassProbe")

namespace {

using namespace vantrel;

constexpr std::string_view PositionVertexCode = R"(#version 430
layout(location = 0) in vec3 a_Vertex;
uniform vec4 _MVPMatrix[4];
out vec3 v_Position;
void main() {
  vec4 p = vec4(a_Vertex, 1.0);
  v_Position = a_Vertex;
  gl_Position = vec4(dot(_MVPMatrix[0], p), dot(_MVPMatrix[1], p), dot(_MVPMatrix[2], p), dot(_MVPMatrix[3], p));
}
)";

constexpr std::string_view ColorPixelCode = R"(#version 430
uniform vec4 _Color;
in vec3 v_Position;
layout(location = 0) out vec4 o_Color0;
layout(location = 1) out vec4 o_Color1;
layout(location = 2) out vec4 o_Color2;
layout(location = 3) out vec4 o_Color3;
layout(location = 4) out vec4 o_Color4;
void main() {
  o_Color0 = _Color;
  o_Color1 = vec4(0.0);
  o_Color2 = vec4(0.0);
  o_Color3 = vec4(0.0);
  o_Color4 = vec4(0.0);
}
)";

constexpr std::string_view DirectionPixelCode = R"(#version 430
in vec3 v_Position;
layout(location = 0) out vec4 o_Color0;
layout(location = 1) out vec4 o_Color1;
layout(location = 2) out vec4 o_Color2;
layout(location = 3) out vec4 o_Color3;
layout(location = 4) out vec4 o_Color4;
void main() {
  vec3 m = abs(v_Position);
  int a = (m.x >= m.y && m.x >= m.z) ? 0 : (m.y >= m.z ? 1 : 2);
  float s = v_Position[a];
  float u = a == 0 ? v_Position.y : v_Position.x;
  float v = a == 2 ? v_Position.y : v_Position.z;
  o_Color0 = vec4(0.1 + 0.15 * float(2 * a + (s > 0.0 ? 1 : 0)), u > 0.0 ? 0.9 : 0.3, v > 0.0 ? 0.9 : 0.3, 1.0);
  o_Color1 = vec4(0.0);
  o_Color2 = vec4(0.0);
  o_Color3 = vec4(0.0);
  o_Color4 = vec4(0.0);
}
)";

TOwned<TContextShader> MakeShader(const std::string& AName, TContextShaderKind AKind, std::string_view ACode,
                                  std::vector<TContextShaderVariable> AVariables) {
  TContextShaderSource source;
  source.Arch = TContextShaderArch::GLSL;
  source.Code.assign(ACode.begin(), ACode.end());
  source.Variables = std::move(AVariables);
  return MakeOwned<TContextShader>(AName, AKind, std::vector<TContextShaderSource>{source});
}

std::vector<TContextShaderVariable> MatrixVariable() {
  return {{"MVPMatrix", TContextShaderVariableKind::Matrix, 0, 4, 0, TContextShaderKind::VertexShader}};
}

// Both windings of each triangle: the object shows whatever face the pass culls.
void DrawBothSides(TContext3D& AContext, const std::vector<TPoint3D>& AVertices,
                   const std::vector<uint32_t>& ATriangles, TMaterial* AMaterial) {
  TVertexBuffer vertices(TVertexFormats{TVertexFormat::Vertex}, int32_t(AVertices.size()));
  for (size_t i = 0; i < AVertices.size(); ++i)
    vertices.SetVertices(int32_t(i), AVertices[i]);
  TIndexBuffer indices(int32_t(ATriangles.size() * 2));
  for (size_t i = 0; i < ATriangles.size(); i += 3) {
    const uint32_t a = ATriangles[i], b = ATriangles[i + 1], c = ATriangles[i + 2];
    const uint32_t both[6] = {a, b, c, a, c, b};
    for (int k = 0; k < 6; ++k)
      indices.SetIndices(int32_t(i * 2 + size_t(k)), both[k]);
  }
  AContext.DrawPrimitives(TPrimitivesKind::Triangles, vertices.Buffer(), indices.Buffer(),
                          vertices.GetVertexDeclarations(), vertices.VertexSize(), vertices.Length(),
                          indices.IndexSize(), indices.Length(), AMaterial, 1);
}

class TDirectionMaterial : public TCustomMaterial {
public:
  explicit TDirectionMaterial(const std::string& ATag) {
    FOwnedVertex = MakeShader(ATag + ".fvs", TContextShaderKind::VertexShader, PositionVertexCode, MatrixVariable());
    FOwnedPixel = MakeShader(ATag + ".fps", TContextShaderKind::PixelShader, DirectionPixelCode, {});
    FVertexShader = FOwnedVertex.get();
    FPixelShader = FOwnedPixel.get();
  }
  ~TDirectionMaterial() override { TVantrelContext::RemoveProgram(FVertexShader, FPixelShader); }

private:
  TOwned<TContextShader> FOwnedVertex;
  TOwned<TContextShader> FOwnedPixel;
};

} // namespace

// ---- Five-target colour material --------------------------------------------------------------------

TFiveTargetColorMaterial::TFiveTargetColorMaterial(TAlphaColorF AColor, const std::string& ATag) : Color(AColor) {
  FOwnedVertex = MakeShader(ATag + ".fvs", TContextShaderKind::VertexShader, PositionVertexCode, MatrixVariable());
  FOwnedPixel = MakeShader(ATag + ".fps", TContextShaderKind::PixelShader, ColorPixelCode,
                           {{"Color", TContextShaderVariableKind::Vector, 0, 1, 0, TContextShaderKind::PixelShader}});
  FVertexShader = FOwnedVertex.get();
  FPixelShader = FOwnedPixel.get();
}

TFiveTargetColorMaterial::~TFiveTargetColorMaterial() { TVantrelContext::RemoveProgram(FVertexShader, FPixelShader); }

void TFiveTargetColorMaterial::DoApply(TContext3D* AContext) {
  TCustomMaterial::DoApply(AContext);
  const TVector3D color{Color.R, Color.G, Color.B, Color.A};
  AContext->SetShaderVariable("Color", std::span<const TVector3D>(&color, 1));
}

// ---- Probe ------------------------------------------------------------------------------------------

TPassProbe::TPassProbe(TComponent* AOwner) : TVantrelControl(AOwner) {
  SetWidth(2);
  SetHeight(2);
  SetDepth(2);
}

void TPassProbe::BeforeDestruction() {
  FMaterial.reset();
  inherited::BeforeDestruction();
}

void TPassProbe::SetColor(TAlphaColorF AValue) {
  FColor = AValue;
  if (FMaterial)
    FMaterial->Color = AValue;
}

std::vector<TProbeRecord> TPassProbe::RecordsOf(const TRenderPass* APass) const {
  std::vector<TProbeRecord> result;
  for (const TProbeRecord& record : Records)
    if (record.Pass == APass)
      result.push_back(record);
  return result;
}

void TPassProbe::Render() {
  if (OnDraw)
    OnDraw();
  if (Recording)
    Record();
  DrawQuad();
}

void TPassProbe::Record() {
  TProbeRecord record;
  record.Context = Context();
  if (auto* context = dynamic_cast<TVantrelContext*>(Context())) {
    record.Pass = context->GetCurrentRenderPass();
    record.Camera = context->CurrentCameraMatrix();
    record.Projection = context->CurrentProjectionMatrix();
    record.AngleOfView = context->CurrentAngleOfView();
    record.ClipActive = context->IsClippingPlaneActive(0);
    record.Clip = context->GetClippingPlane(0)->Plane;
    const auto& lights = context->GetShaderLights();
    for (int i = 0; i < lights.Count(); ++i)
      record.Lights.push_back(lights[i]);
  }
  if (auto* viewport = dynamic_cast<TVantrelViewport*>(FindViewport(this))) {
    record.ViewportCamera = viewport->CurrentCamera();
    if (record.ViewportCamera)
      record.ViewportCameraPosition = record.ViewportCamera->AbsolutePosition();
  }
  Records.push_back(record);
}

void TPassProbe::DrawQuad() {
  if (!FMaterial)
    FMaterial = std::make_unique<TFiveTargetColorMaterial>(
        FColor, Format("probe-%d", reinterpret_cast<intptr_t>(this)));
  const float x = Width() / 2, y = Height() / 2;
  const std::vector<TPoint3D> corners =
      Horizontal ? std::vector<TPoint3D>{{-x, 0, -y}, {x, 0, -y}, {x, 0, y}, {-x, 0, y}}
                 : std::vector<TPoint3D>{{-x, -y, 0}, {x, -y, 0}, {x, y, 0}, {-x, y, 0}};
  DrawBothSides(*Context(), corners, {0, 1, 2, 0, 2, 3}, FMaterial.get());
}

// ---- Direction box ----------------------------------------------------------------------------------

TAlphaColorF DirectionColor(const TPoint3D& APoint) {
  const float m[3] = {std::fabs(APoint.X), std::fabs(APoint.Y), std::fabs(APoint.Z)};
  const float p[3] = {APoint.X, APoint.Y, APoint.Z};
  const int a = (m[0] >= m[1] && m[0] >= m[2]) ? 0 : (m[1] >= m[2] ? 1 : 2);
  const float u = a == 0 ? p[1] : p[0];
  const float v = a == 2 ? p[1] : p[2];
  return {0.1f + 0.15f * float(2 * a + (p[a] > 0 ? 1 : 0)), u > 0 ? 0.9f : 0.3f, v > 0 ? 0.9f : 0.3f, 1};
}

TDirectionBox::TDirectionBox(TComponent* AOwner) : TVantrelControl(AOwner) {
  SetWidth(10);
  SetHeight(10);
  SetDepth(10);
}

void TDirectionBox::BeforeDestruction() {
  FMaterial.reset();
  inherited::BeforeDestruction();
}

void TDirectionBox::Render() {
  ++Draws;
  if (!FMaterial)
    FMaterial = std::make_unique<TDirectionMaterial>(Format("direction-%d", reinterpret_cast<intptr_t>(this)));
  std::vector<TPoint3D> corners;
  for (int i = 0; i < 8; ++i)
    corners.push_back({i & 1 ? 5.0f : -5.0f, i & 2 ? 5.0f : -5.0f, i & 4 ? 5.0f : -5.0f});
  // Two triangles per face; the windings do not matter, both are drawn.
  const std::vector<uint32_t> faces = {0, 2, 6, 0, 6, 4, 1, 3, 7, 1, 7, 5, 0, 1, 5, 0, 5, 4,
                                       2, 3, 7, 2, 7, 6, 0, 1, 3, 0, 3, 2, 4, 5, 7, 4, 7, 6};
  DrawBothSides(*Context(), corners, faces, FMaterial.get());
}

} // namespace vtest
