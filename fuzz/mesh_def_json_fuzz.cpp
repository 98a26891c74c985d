// mesh_def_json: any input either fails cleanly or reads into a mesh definition on which the
// geometry routines run: smooth normals, tangents, the bounding-volume hierarchy and a ray cast.
// Indices beyond the vertices, non-finite positions and counts from the text must neither crash
// nor read outside the buffers.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/json.h"

namespace {

using namespace vantrel;

// The plain smoothing loop visits every vertex against every triangle; inputs whose product is
// beyond this are read but not smoothed, so that one input cannot take minutes.
constexpr int64_t SmoothingBudget = 20'000'000;

int64_t SmoothingCost(const TMeshDef& AMesh) {
  const TVertexBuffer* vertices = AMesh.GetVertexSource();
  const TIndexBuffer* indices = AMesh.GetIndexSource();
  if (!vertices || !indices)
    return 0;
  return int64_t(vertices->Length()) * (indices->Length() / 3 + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static const bool initialized = (InitializeDefTypes(), true);
  (void)initialized;
  const auto value = TJSONValue::ParseJSONValue(std::string_view(reinterpret_cast<const char*>(AData), ASize));
  const auto* object = dynamic_cast<const TJSONObject*>(value.get());
  if (!object)
    return 0;
  auto mesh = MakeOwned<TMeshDef>();
  try {
    mesh->FromJSON(nullptr, *object);
  } catch (const Exception&) {
    return 0;
  }
  bool withinBudget = SmoothingCost(*mesh) <= SmoothingBudget;
  if (const auto* children = mesh->GetChildren())
    for (const TTransformDef* child : *children)
      if (const auto* childMesh = dynamic_cast<const TMeshDef*>(child))
        withinBudget = withinBudget && SmoothingCost(*childMesh) <= SmoothingBudget;
  if (withinBudget)
    mesh->CalcSmoothNormals(TMeshDefCalculateNormalMethod::cnmDefault, 0.001f, true);
  mesh->CalcTangentBinormals(true);
  mesh->AcquireBVH();
  TPoint3D point, normal;
  mesh->RayCastIntersect({0.25f, 0.25f, 10}, {0, 0, -1}, TMatrix3D::Identity(), TMatrix3D::Identity(), point, normal);
  mesh->ReleaseBVH();
  mesh->RayCastIntersect({0.25f, 0.25f, 10}, {0, 0, -1}, TMatrix3D::Identity(), TMatrix3D::Identity(), point, normal);
  return 0;
}
