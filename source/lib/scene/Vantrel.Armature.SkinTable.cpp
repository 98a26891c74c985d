#include "scene/Vantrel.Armature.SkinTable.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "definitions/Vantrel.DefTypes.h"
#include "scene/Vantrel.Joint.h"

namespace vantrel {

namespace {

// The offset index of a definition that the joint map lacks.
constexpr uint32_t Unresolved = UINT32_MAX;

} // namespace

void TSkinTable::Build(const TVertexJointsList& AList, const TJointMap& AJointMap) {
  FList = nullptr;
  FVertices.clear();
  FPairs.clear();
  FJoints.clear();
  FOffsets.clear();
  FFirstUnresolved = INT32_MAX;
  FUnresolved = nullptr;
  FPairsPerVertex = 0;

  const int32_t count = AList.Count();
  const TVertexJoints* records = AList.Data();
  FVertices.reserve(size_t(count));
  // Each definition is looked up in the joint map once; later uses take its offset index.
  std::unordered_map<const TJointDef*, uint32_t> offsetOf;
  for (int32_t i = 0; i < count; ++i) {
    const TVertexJoints& record = records[i];
    const int joints = std::min<int>(record.JointsCount, int(record.JointsArray.size()));
    FVertices.push_back({record.Position.X, record.Position.Y, record.Position.Z, uint32_t(joints)});
    for (int k = 0; k < joints; ++k) {
      const TJointDef* def = record.JointsArray[size_t(k)];
      const auto [entry, added] = offsetOf.try_emplace(def, Unresolved);
      if (added) {
        TVantrelJoint* joint = nullptr;
        if (AJointMap.TryGetValue(def, joint)) {
          entry->second = uint32_t(FJoints.size());
          FJoints.push_back(joint);
        }
      }
      if (entry->second == Unresolved) {
        // Skinning never reaches this pair: Check raises first.
        if (FFirstUnresolved == INT32_MAX) {
          FFirstUnresolved = i;
          FUnresolved = def;
        }
        FPairs.push_back({0, 0});
        continue;
      }
      FPairs.push_back({entry->second, record.WeightsArray[size_t(k)]});
    }
  }
  FOffsets.resize(FJoints.size());
  if (!FVertices.empty() && FPairs.size() == FVertices.size() * FVertices.front().Count)
    FPairsPerVertex = std::all_of(FVertices.begin(), FVertices.end(),
                                  [&](const TVertex& AVertex) { return AVertex.Count == FVertices.front().Count; })
                          ? FVertices.front().Count
                          : 0;
  FList = &AList;
  FRevision = AList.Revision();
}

bool TSkinTable::IsCurrent(const TVertexJointsList& AList) const {
  return FList == &AList && FRevision == AList.Revision();
}

void TSkinTable::Check(int32_t ACount, const TJointMap& AJointMap) const {
  if (FFirstUnresolved < ACount)
    AJointMap.Items(FUnresolved);
}

void TSkinTable::GatherOffsets(int32_t ASlot) {
  for (size_t j = 0; j < FJoints.size(); ++j)
    FOffsets[j] = ASlot < 0 ? TMatrix3D::Identity() : FJoints[j]->CurrentOffsetAt(ASlot);
}

double TSkinTable::BytesPerVertex() const {
  if (FVertices.empty())
    return 0;
  return double(FVertices.size() * sizeof(TVertex) + FPairs.size() * sizeof(TPair)) / double(FVertices.size());
}

namespace {

// The skinned position of each vertex is the weighted sum of the position moved by each joint's
// offset, with the bind position filling the weights' shortfall from 1: acc += (v x offset) x w,
// sum += w, result = P (1 - sum) + acc, all in float and in the records' joint order, so that the
// result does not depend on the table. APairs > 0 is the pair count of every vertex, which lets
// the compiler unroll the inner loop; 0 takes each vertex's own count.
template <uint32_t APairs, bool ATransformed, class TVertex, class TPair>
void SkinVertices(int32_t ACount, const TVertex* AVertex, const TPair* APair, const TMatrix3D* AOffsets,
                  uint8_t* AOut, int32_t AStride, const TMatrix3D* ATransform) {
  for (int32_t i = 0; i < ACount; ++i, ++AVertex, AOut += AStride) {
    const float x = AVertex->X, y = AVertex->Y, z = AVertex->Z;
    float ax = 0, ay = 0, az = 0, sum = 0;
    const uint32_t pairs = APairs > 0 ? APairs : AVertex->Count;
    for (uint32_t k = 0; k < pairs; ++k, ++APair) {
      const float w = APair->Weight;
      const TMatrix3D& m = AOffsets[APair->Offset];
      ax += (x * m.m11 + y * m.m21 + z * m.m31 + m.m41) * w;
      ay += (x * m.m12 + y * m.m22 + z * m.m32 + m.m42) * w;
      az += (x * m.m13 + y * m.m23 + z * m.m33 + m.m43) * w;
      sum += w;
    }
    const float rest = 1 - sum;
    float out[3] = {x * rest + ax, y * rest + ay, z * rest + az};
    if constexpr (ATransformed) {
      const TPoint3D moved = TPoint3D{out[0], out[1], out[2]} * *ATransform;
      out[0] = moved.X;
      out[1] = moved.Y;
      out[2] = moved.Z;
    }
    std::memcpy(AOut, out, sizeof(out));
  }
}

template <uint32_t APairs, class TVertex, class TPair>
void SkinVertices(int32_t ACount, const TVertex* AVertex, const TPair* APair, const TMatrix3D* AOffsets,
                  uint8_t* AOut, int32_t AStride, const TMatrix3D* ATransform) {
  if (ATransform)
    SkinVertices<APairs, true>(ACount, AVertex, APair, AOffsets, AOut, AStride, ATransform);
  else
    SkinVertices<APairs, false>(ACount, AVertex, APair, AOffsets, AOut, AStride, ATransform);
}

} // namespace

void TSkinTable::Skin(int32_t ACount, uint8_t* AOut, int32_t AStride, const TMatrix3D* ATransform) const {
  const int32_t count = std::min(ACount, VertexCount());
  const TVertex* vertex = FVertices.data();
  const TPair* pair = FPairs.data();
  const TMatrix3D* offsets = FOffsets.data();
  // Meshes mostly give every vertex the same number of joints, four above all.
  switch (FPairsPerVertex) {
  case 1:
    return SkinVertices<1>(count, vertex, pair, offsets, AOut, AStride, ATransform);
  case 2:
    return SkinVertices<2>(count, vertex, pair, offsets, AOut, AStride, ATransform);
  case 3:
    return SkinVertices<3>(count, vertex, pair, offsets, AOut, AStride, ATransform);
  case 4:
    return SkinVertices<4>(count, vertex, pair, offsets, AOut, AStride, ATransform);
  default:
    return SkinVertices<0>(count, vertex, pair, offsets, AOut, AStride, ATransform);
  }
}

} // namespace vantrel
