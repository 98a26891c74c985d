#pragma once
// Reference casts over the triangle hierarchy's public nodes, shared by the hierarchy tests and
// the ray-cast benchmark (header only, so the benchmark links no test support): what the root's
// own cast must reproduce bit for bit.

#include <cmath>
#include <cstdint>
#include <limits>

#include "utils/Vantrel.Utils.BVH.h"

namespace vtest {

// The same distance as the hierarchy takes: in double from the stored floats, rounded once.
inline float DistanceToStart(const vantrel::TRaycastResult& AHit, const vantrel::TRaycastData& ARay) {
  const double dx = double(AHit.Point.X) - ARay.Start.X, dy = double(AHit.Point.Y) - ARay.Start.Y,
               dz = double(AHit.Point.Z) - ARay.Start.Z;
  return float(std::sqrt(dx * dx + dy * dy + dz * dz));
}

// The octree cast as the hierarchy defines it, walked over the public nodes.
inline bool OctreeCast(const vantrel::TBVHNode& ANode, const vantrel::TRaycastData& ARay,
                       vantrel::TRaycastResult& ARes) {
  if (!ANode.Bounds.Raycast(ARay, ARes))
    return false;
  ARes.Hit = false;
  float best = std::numeric_limits<float>::infinity();
  vantrel::TRaycastResult candidate;
  bool found = false;
  const auto consider = [&](bool AHit) {
    if (!AHit)
      return;
    const float distance = DistanceToStart(candidate, ARay);
    if (distance < best) {
      ARes = candidate;
      best = distance;
      found = true;
    }
  };
  if (ANode.Children.empty())
    for (int32_t i = 0; i < ANode.NumTriangles; ++i)
      consider(ANode.Geometry->Triangles[ANode.Triangles[i]].Raycast(ARay, &candidate));
  else
    for (const vantrel::TBVHNode& child : ANode.Children)
      consider(OctreeCast(child, ARay, candidate));
  return found;
}

} // namespace vtest
