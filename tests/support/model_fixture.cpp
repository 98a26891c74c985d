#include "support/model_fixture.h"

#include <array>

namespace vtest {

using namespace vantrel;

namespace {

// A mesh with the format {Vertex, Normal, TexCoord0} and the given data.
void Fill(TMeshDef& AMesh, std::span<const TPoint3D> APositions, std::span<const TPoint3D> ANormals,
          std::span<const TPointF> ATexCoords, std::span<const uint32_t> AIndices) {
  AMesh.CreateVertexSource({TVertexFormat::Vertex, TVertexFormat::Normal, TVertexFormat::TexCoord0});
  TVertexBuffer& vertices = *AMesh.GetVertexSource();
  vertices.SetLength(static_cast<int32_t>(APositions.size()));
  for (size_t v = 0; v < APositions.size(); ++v) {
    const auto index = static_cast<int32_t>(v);
    vertices.SetVertices(index, APositions[v]);
    vertices.SetNormals(index, ANormals[v]);
    vertices.SetTexCoord(0, index, ATexCoords[v]);
  }
  AMesh.CreateIndexSource(TIndexFormat::UInt32);
  TIndexBuffer& indices = *AMesh.GetIndexSource();
  indices.SetLength(static_cast<int32_t>(AIndices.size()));
  for (size_t i = 0; i < AIndices.size(); ++i)
    indices.SetIndices(static_cast<int32_t>(i), AIndices[i]);
}

// Four corners per face, so each face has its own normal: 24 vertices, 36 indices.
void FillCube(TMeshDef& AMesh) {
  struct TFace {
    TPoint3D Normal, U, V;
  };
  const std::array<TFace, 6> faces = {{
      {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
      {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
      {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}},
      {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
      {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
      {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}},
  }};
  const std::array<TPointF, 4> corners = {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}};
  std::vector<TPoint3D> positions, normals;
  std::vector<TPointF> texCoords;
  std::vector<uint32_t> indices;
  for (const TFace& face : faces) {
    const auto first = static_cast<uint32_t>(positions.size());
    for (const TPointF& corner : corners) {
      const float u = corner.X - 0.5f, v = corner.Y - 0.5f;
      positions.push_back(face.Normal * 0.5f + face.U * u + face.V * v);
      normals.push_back(face.Normal);
      texCoords.push_back(corner);
    }
    for (uint32_t offset : {0u, 1u, 2u, 0u, 2u, 3u})
      indices.push_back(first + offset);
  }
  Fill(AMesh, positions, normals, texCoords, indices);
}

} // namespace

TOwned<TModelDef> MakeFixtureModel() {
  TOwned<TModelDef> model = MakeOwned<TModelDef>();
  model->SetId("Fixture");
  auto* material = New<TMaterialDef>(model.get(), std::string("CubeMaterial"));
  material->Diffuse = TAlphaColorF::Create(0.25f, 0.5f, 0.75f, 1);

  auto* cube = New<TMeshDef>(model.get());
  cube->SetId("Cube");
  FillCube(*cube);
  cube->SetMaterialReference(material);
  model->AddMesh(cube);

  auto* child = New<TMeshDef>(cube);
  child->SetId(FixtureChildId);
  const std::array<TPoint3D, 3> positions = {{{0, 0, 1}, {1, 0, 1}, {0, 1, 1}}};
  const std::array<TPoint3D, 3> normals = {{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}};
  const std::array<TPointF, 3> texCoords = {{{0, 0}, {1, 0}, {0, 1}}};
  const std::array<uint32_t, 3> indices = {0, 1, 2};
  Fill(*child, positions, normals, texCoords, indices);
  child->SetMaterialReference(material);
  cube->AddMesh(child);

  auto* light = static_cast<TLightDef*>(TLightDef::StaticClass().CreateDef(model.get()));
  light->SetId("Lamp");
  light->LightType = ui::TLightType::Point;
  light->Intensity = 250;
  auto* camera = static_cast<TCameraDef*>(TCameraDef::StaticClass().CreateDef(model.get()));
  camera->SetId("Eye");
  camera->FOV = 60;

  model->GetMetaData()->SetTagAsString("Name", FixtureTagText);

  TAnimationDef* animation = model->AddEmptyAnimation("Hop");
  auto* stage = New<TAnimationStageDef>(animation);
  stage->SetId("CubeStage");
  stage->SetReference(cube);
  animation->AddStage(stage);
  auto* track = New<TPoint3DInterpolatorDef>(stage);
  track->SetId("CubePosition");
  track->SetPath("Position.Point");
  track->SetDuration(2);
  const std::array<float, 3> times = {0, 0.5f, 1};
  const std::array<TPoint3D, 3> points = {{{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}};
  track->AddKeys(times, points, {});
  stage->AddInterpolator(track);
  return model;
}

std::string DefinitionText(const TCustomDef& ADef) { return ADef.ToJSON()->ToString(); }

} // namespace vtest
