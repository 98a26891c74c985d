#include "ui/objects3d.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "rtl/properties.h"
#include "ui/context3d.h"
#include "ui/material.h"

namespace ui {

RTL_DEFINE_CLASS(TRoundCube, "ui.Objects3D", &TRoundCube::RegisterProperties)

namespace {

constexpr int GridSize = 10;
constexpr double FlatHalf = 0.5 - RoundCubeEdgeRadius;

// The face's grid line coordinates, from -0.5 to 0.5.
std::array<double, GridSize> GridLines() {
  std::array<double, GridSize> lines{};
  for (int k = 0; k <= 4; ++k) {
    const double offset = FlatHalf + RoundCubeEdgeRadius * std::tan(k * 11.25 * std::numbers::pi / 180);
    lines[static_cast<size_t>(4 - k)] = -offset;
    lines[static_cast<size_t>(5 + k)] = offset;
  }
  return lines;
}

// A face: the axis of its outward normal with its sign, and the axes of its grid, with
// U x V pointing outward.
struct TFace {
  int Axis;
  double Sign;
  int U;
  int V;
};
constexpr TFace Faces[6] = {{0, 1, 1, 2},  {0, -1, 2, 1}, {1, 1, 2, 0},
                            {1, -1, 0, 2}, {2, 1, 0, 1},  {2, -1, 1, 0}};

void AddVertex(TVertexBuffer& AVertices, int32_t AIndex, const std::array<double, 3>& AGridPoint, double AU,
               double AV) {
  std::array<double, 3> q{}, d{};
  double length = 0;
  for (size_t i = 0; i < 3; ++i) {
    q[i] = std::clamp(AGridPoint[i], -FlatHalf, FlatHalf);
    d[i] = AGridPoint[i] - q[i];
    length += d[i] * d[i];
  }
  length = std::sqrt(length);
  rtl::TPoint3D normal, position;
  float* n[3] = {&normal.X, &normal.Y, &normal.Z};
  float* p[3] = {&position.X, &position.Y, &position.Z};
  for (size_t i = 0; i < 3; ++i) {
    *n[i] = static_cast<float>(d[i] / length);
    *p[i] = static_cast<float>(q[i] + RoundCubeEdgeRadius * d[i] / length);
  }
  AVertices.SetVertices(AIndex, position);
  AVertices.SetNormals(AIndex, normal);
  AVertices.SetTexCoord(0, AIndex, rtl::TPointF{static_cast<float>(AU + 0.5), static_cast<float>(AV + 0.5)});
}

} // namespace

rtl::TOwned<TMeshData> NewRoundCubeMesh() {
  constexpr int32_t faceVertices = GridSize * GridSize;
  constexpr int32_t faceIndices = (GridSize - 1) * (GridSize - 1) * 6;
  rtl::TOwned<TMeshData> mesh(rtl::New<TMeshData>(
      TVertexFormats{TVertexFormat::Vertex, TVertexFormat::Normal, TVertexFormat::TexCoord0},
      6 * faceVertices, 6 * faceIndices));
  const std::array<double, GridSize> lines = GridLines();
  TVertexBuffer& vertices = mesh->VertexBuffer();
  TIndexBuffer& indices = mesh->IndexBuffer();
  int32_t index = 0;
  for (int f = 0; f < 6; ++f) {
    const TFace& face = Faces[f];
    const int32_t base = f * faceVertices;
    for (int j = 0; j < GridSize; ++j)
      for (int i = 0; i < GridSize; ++i) {
        std::array<double, 3> point{};
        point[static_cast<size_t>(face.Axis)] = 0.5 * face.Sign;
        point[static_cast<size_t>(face.U)] = lines[static_cast<size_t>(i)];
        point[static_cast<size_t>(face.V)] = lines[static_cast<size_t>(j)];
        AddVertex(vertices, base + j * GridSize + i, point, lines[static_cast<size_t>(i)],
                  lines[static_cast<size_t>(j)]);
      }
    // Corners a b / c d of each cell, a at (i, j); U x V points outward, so a, c, d runs clockwise
    // seen from outside.
    for (int j = 0; j + 1 < GridSize; ++j)
      for (int i = 0; i + 1 < GridSize; ++i) {
        const auto a = static_cast<uint32_t>(base + j * GridSize + i);
        const uint32_t b = a + 1, c = a + GridSize, d = c + 1;
        for (uint32_t corner : {a, c, d, a, d, b})
          indices.SetIndices(index++, corner);
      }
  }
  return mesh;
}

// TRoundCube

TRoundCube::TRoundCube(rtl::TComponent* AOwner) : TControl3D(AOwner), FData(NewRoundCubeMesh()) {}

void TRoundCube::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("MaterialSource", &TRoundCube::MaterialSource, &TRoundCube::SetMaterialSource).AsReference();
}

void TRoundCube::SetMaterialSource(TMaterialSource* AValue) {
  if (AValue == FMaterialSource)
    return;
  if (FMaterialSource)
    FMaterialSource->RemoveFreeNotification(this);
  FMaterialSource = AValue;
  if (FMaterialSource)
    FMaterialSource->FreeNotification(this);
  Repaint();
}

void TRoundCube::Notification(rtl::TComponent* AComponent, rtl::TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation == rtl::TOperation::opRemove && AComponent == FMaterialSource)
    FMaterialSource = nullptr;
}

void TRoundCube::Render() {
  TContext3D* context = Context();
  if (!context)
    return;
  context->SetMatrix(rtl::TMatrix3D::CreateScaling({Width(), Height(), Depth()}) * AbsoluteMatrix());
  FData->Render(context, TMaterialSource::ValidMaterial(FMaterialSource), AbsoluteOpacity());
}

} // namespace ui
