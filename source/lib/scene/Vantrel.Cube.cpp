#include "scene/Vantrel.Cube.h"

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/properties.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelCube, "Vantrel.Cube", &TVantrelCube::RegisterProperties)

namespace {

// One face of the box: its normal, colour and the corners of the quad at cell (a, b) with steps
// (da, db), with the texture coordinate of a corner.
struct TFaceCell {
  float A, B, DA, DB;
};

using TCornerFn = std::array<TPoint3D, 4> (*)(const TFaceCell&);
using TUVFn = TPointF (*)(const TPoint3D&);

struct TFace {
  TPoint3D Normal;
  TAlphaColor Color;
  TCornerFn Corners;
  TUVFn UV;
};

// The far corner of a cell: computed in double and stored as a Single, so neighbouring quads
// share their corners exactly.
float Far(float ACursor, float AStep) {
  return f32(double(ACursor) + double(AStep));
}

const TFace Bottom{{0, -1, 0}, 0xFFFF0000,
                   [](const TFaceCell& C) {
                     const float x = C.A, z = C.B, x1 = Far(C.A, C.DA), z1 = Far(C.B, C.DB);
                     return std::array<TPoint3D, 4>{TPoint3D{x, -0.5f, z}, {x1, -0.5f, z}, {x1, -0.5f, z1}, {x, -0.5f, z1}};
                   },
                   [](const TPoint3D& P) { return TPointF{f32(P.X + 0.5), f32(0.5 - P.Z)}; }};
const TFace Top{{0, 1, 0}, 0xFF00FF00,
                [](const TFaceCell& C) {
                  const float x = C.A, z = C.B, x1 = Far(C.A, C.DA), z1 = Far(C.B, C.DB);
                  return std::array<TPoint3D, 4>{TPoint3D{x1, 0.5f, z1}, {x1, 0.5f, z}, {x, 0.5f, z}, {x, 0.5f, z1}};
                },
                [](const TPoint3D& P) { return TPointF{f32(P.X + 0.5), f32(P.Z + 0.5)}; }};
const TFace Front{{0, 0, 1}, 0xFF0000FF,
                  [](const TFaceCell& C) {
                    const float x = C.A, y = C.B, x1 = Far(C.A, C.DA), y1 = Far(C.B, C.DB);
                    return std::array<TPoint3D, 4>{TPoint3D{x, y, 0.5f}, {x1, y, 0.5f}, {x1, y1, 0.5f}, {x, y1, 0.5f}};
                  },
                  [](const TPoint3D& P) { return TPointF{f32(0.5 - P.X), f32(P.Y + 0.5)}; }};
const TFace Back{{0, 0, -1}, 0xFF00FFFF,
                 [](const TFaceCell& C) {
                   const float x = C.A, y = C.B, x1 = Far(C.A, C.DA), y1 = Far(C.B, C.DB);
                   return std::array<TPoint3D, 4>{TPoint3D{x1, y1, -0.5f}, {x1, y, -0.5f}, {x, y, -0.5f}, {x, y1, -0.5f}};
                 },
                 [](const TPoint3D& P) { return TPointF{f32(P.X + 0.5), f32(P.Y + 0.5)}; }};
const TFace Right{{1, 0, 0}, 0xFFFF00FF,
                  [](const TFaceCell& C) {
                    const float z = C.A, y = C.B, z1 = Far(C.A, C.DA), y1 = Far(C.B, C.DB);
                    return std::array<TPoint3D, 4>{TPoint3D{0.5f, y, z}, {0.5f, y1, z}, {0.5f, y1, z1}, {0.5f, y, z1}};
                  },
                  [](const TPoint3D& P) { return TPointF{f32(P.Z + 0.5), f32(P.Y + 0.5)}; }};
const TFace Left{{-1, 0, 0}, 0xFFFFFF00,
                 [](const TFaceCell& C) {
                   const float z = C.A, y = C.B, z1 = Far(C.A, C.DA), y1 = Far(C.B, C.DB);
                   return std::array<TPoint3D, 4>{TPoint3D{-0.5f, y, z}, {-0.5f, y, z1}, {-0.5f, y1, z1}, {-0.5f, y1, z}};
                 },
                 [](const TPoint3D& P) { return TPointF{f32(0.5 - P.Z), f32(P.Y + 0.5)}; }};

// Writes quad q of AFace at ACell: corners, normal, colour, texture coordinates, the tangent frame
// of its first triangle, and the indices 0, 2, 1, 0, 3, 2.
void WriteQuad(TVertexBuffer& AVertices, TIndexBuffer& AIndices, int32_t AQuad, const TFace& AFace,
               const TFaceCell& ACell) {
  const std::array<TPoint3D, 4> corners = AFace.Corners(ACell);
  const int32_t v = 4 * AQuad;
  std::array<TPointF, 4> uv;
  for (int32_t c = 0; c < 4; ++c) {
    uv[size_t(c)] = AFace.UV(corners[size_t(c)]);
    AVertices.SetVertices(v + c, corners[size_t(c)]);
    AVertices.SetNormals(v + c, AFace.Normal);
    AVertices.SetColor(0, v + c, AFace.Color);
    AVertices.SetTexCoord(0, v + c, uv[size_t(c)]);
  }
  const TPoint3D e1 = corners[1] - corners[0], e2 = corners[2] - corners[0];
  const double du1 = double(uv[1].X) - uv[0].X, dv1 = double(uv[1].Y) - uv[0].Y;
  const double du2 = double(uv[2].X) - uv[0].X, dv2 = double(uv[2].Y) - uv[0].Y;
  const double r = 1 / (du1 * dv2 - dv1 * du2);
  const TPoint3D tangent{f32((e1.X * dv2 - e2.X * dv1) * r), f32((e1.Y * dv2 - e2.Y * dv1) * r),
                         f32((e1.Z * dv2 - e2.Z * dv1) * r)};
  const TPoint3D binormal{f32((e2.X * du1 - e1.X * du2) * r), f32((e2.Y * du1 - e1.Y * du2) * r),
                          f32((e2.Z * du1 - e1.Z * du2) * r)};
  for (int32_t c = 0; c < 4; ++c) {
    AVertices.SetTangents(v + c, tangent);
    AVertices.SetBiNormals(v + c, binormal);
  }
  constexpr uint32_t pattern[6] = {0, 2, 1, 0, 3, 2};
  for (int32_t k = 0; k < 6; ++k)
    AIndices.SetIndices(6 * AQuad + k, uint32_t(v) + pattern[k]);
}

// Runs AStep for each of ACount cells from -0.5 on: the cursor grows by the step and the loop
// runs while it stays below 0.5 - step / 2.
template <class F> void ForEachCell(float AStep, F AStep_) {
  for (float cursor = -0.5f; cursor < 0.5f - AStep / 2; cursor += AStep)
    AStep_(cursor);
}

} // namespace

TVantrelCube::TVantrelCube(TComponent* AOwner) : TVantrelMesh(AOwner) {}

void TVantrelCube::AfterConstruction() {
  TVantrelMesh::AfterConstruction();
  SetDef(New<TMeshDef>());
  RebuildMesh(true);
}

void TVantrelCube::RegisterProperties(TPropertyList& AList) {
  AList.Add("SubdivisionsWidth", &TVantrelCube::SubdivisionsWidth, &TVantrelCube::SetSubdivisionsWidth).WithDefault(int32_t(1));
  AList.Add("SubdivisionsHeight", &TVantrelCube::SubdivisionsHeight, &TVantrelCube::SetSubdivisionsHeight).WithDefault(int32_t(1));
  AList.Add("SubdivisionsDepth", &TVantrelCube::SubdivisionsDepth, &TVantrelCube::SetSubdivisionsDepth).WithDefault(int32_t(1));
}

void TVantrelCube::SetCount(int32_t& ACount, int32_t AValue) {
  if (AValue == ACount)
    return;
  ACount = AValue < 1 ? 1 : AValue;
  RebuildMesh(true);
}

void TVantrelCube::SetSubdivisionsWidth(int32_t AValue) {
  SetCount(FSubdivisionsWidth, AValue);
}
void TVantrelCube::SetSubdivisionsHeight(int32_t AValue) {
  SetCount(FSubdivisionsHeight, AValue);
}
void TVantrelCube::SetSubdivisionsDepth(int32_t AValue) {
  SetCount(FSubdivisionsDepth, AValue);
}

void TVantrelCube::RebuildMesh(bool AIsStatic) {
  TMeshData* data = GetMeshData();
  if (!data)
    return;
  const int32_t w = FSubdivisionsWidth, h = FSubdivisionsHeight, d = FSubdivisionsDepth;
  const int32_t quads = 2 * w * d + 2 * d * h + 2 * w * h;
  TVertexBuffer& vertices = data->VertexBuffer();
  TIndexBuffer& indices = data->IndexBuffer();
  // The cube draws with 32-bit indices.
  if (indices.Format() != TIndexFormat::UInt32)
    indices.Assign(TIndexBuffer(0, TIndexFormat::UInt32));
  vertices.SetLength(4 * quads);
  indices.SetLength(6 * quads);
  const float dx = 1.0f / float(w), dy = 1.0f / float(h), dz = 1.0f / float(d);
  int32_t q = 0;
  ForEachCell(dz, [&](float z) {
    ForEachCell(dx, [&](float x) { WriteQuad(vertices, indices, q++, Bottom, {x, z, dx, dz}); });
    ForEachCell(dx, [&](float x) { WriteQuad(vertices, indices, q++, Top, {x, z, dx, dz}); });
  });
  ForEachCell(dy, [&](float y) {
    ForEachCell(dx, [&](float x) { WriteQuad(vertices, indices, q++, Front, {x, y, dx, dy}); });
    ForEachCell(dx, [&](float x) { WriteQuad(vertices, indices, q++, Back, {x, y, dx, dy}); });
  });
  ForEachCell(dy, [&](float y) {
    ForEachCell(dz, [&](float z) { WriteQuad(vertices, indices, q++, Right, {z, y, dz, dy}); });
    ForEachCell(dz, [&](float z) { WriteQuad(vertices, indices, q++, Left, {z, y, dz, dy}); });
  });
  TMeshDef::ComputeTangentBinormals(&vertices, &indices);
  if (AIsStatic)
    MoveGeometryIntoDefinition(*data);
}

void TVantrelCube::MoveGeometryIntoDefinition(TMeshData& AData) {
  auto* def = dynamic_cast<TMeshDef*>(Def());
  if (!def)
    return;
  def->SetIsStatic(false);
  try {
    AData.BoundingBoxChanged();
    AData.GetBoundingBox();
    DoBoundsChanged(Parent());
    def->ApplyFromMeshData(&AData);
    AData.VertexBuffer().SetLength(0);
    AData.IndexBuffer().SetLength(0);
  } catch (...) {
    def->SetIsStatic(true);
    throw;
  }
  def->SetIsStatic(true);
}

void TVantrelCube::Resize3D() {
  RecalcAbsolute();
  TVantrelMesh::Resize3D();
}

namespace {
int CubeInitCount = 0;
} // namespace

void InitializeCube() {
  if (CubeInitCount++ > 0)
    return;
  RegisterClass(TVantrelCube::StaticClass());
}

void FinalizeCube() {
  if (CubeInitCount == 0 || --CubeInitCount > 0)
    return;
  UnRegisterClass(TVantrelCube::StaticClass());
}

} // namespace vantrel
