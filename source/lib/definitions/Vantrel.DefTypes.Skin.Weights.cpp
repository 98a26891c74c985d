// The skin's per-vertex weights: the list of joints per vertex, the transfer of the per-joint
// weights into it, their normalisation and check, and weight maps for inspection.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <utility>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/ioutils.h"
#include "rtl/log.h"
#include "rtl/sysutils.h"
#include "ui/bitmap.h"

namespace vantrel {

namespace {

constexpr const char* MissingTarget = "missing target definition in skin `%s`";
constexpr const char* TargetNotSet =
    "TSkinDef.ApplyVertexJointsRelation - target not set for reference-joint %s";
constexpr const char* InvalidListIndex =
    "TSkinDef.ApplyVertexJointsRelation - invalid index on TVertexJointsList (%d / %d";
constexpr const char* NormalizeFailed =
    "TSkinDef.NormalizeJointVertexWeights: failed to normalize weights for vertex %d";
constexpr const char* CheckException =
    "TSkinDef.CheckMeshVerticesToBeAttachedCorrectly(): unexpected exception for vertex - %s";
constexpr const char* NotAttached = "vertex #%d - not attached to any joint (error = %d)";
constexpr const char* InvalidWeight = "vertex #%d - invalid weight = %n (error = %d)";
constexpr const char* UnknownError = "vertex #%d - unknown error (error = %d)";
constexpr int MaxWeightsPerVertex = 16;

// A sum of weights is valid when its magnitude is 1 within the tolerance; a tolerance of 0 means
// 1e-12 times the smaller magnitude, at least 1e-12.
bool IsValidWeightSum(float ASum, float ATolerance) {
  const double magnitude = std::fabs(static_cast<double>(ASum));
  const double tolerance = ATolerance == 0 ? std::max(1e-12 * std::min(magnitude, 1.0), 1e-12) : ATolerance;
  return std::fabs(magnitude - 1.0) <= tolerance;
}

const TVertexIndexMap* UsedMap(const TMeshDef* AMesh) {
  const TVertexIndexMap* map = AMesh->GetVertexIndexMap();
  return map && map->Count() > 0 ? map : nullptr;
}

int32_t VertexCountOf(const TMeshDef* AMesh) {
  const ui::TVertexBuffer* vertices = AMesh->GetVertexSource();
  return vertices ? vertices->Length() : 0;
}

// The vertices a walk over a mesh treats, by the index the references use: the map's keys in
// their order, or 0 .. count - 1. Position() gives a vertex's place in that order, or -1.
class TTreatedVertices {
public:
  TTreatedVertices(const TVertexIndexMap* AMap, int32_t ACount) : FCount(ACount) {
    if (!AMap)
      return;
    FKeys.reserve(static_cast<size_t>(AMap->Count()));
    for (const auto& pair : *AMap) {
      FPositions.emplace(static_cast<int64_t>(pair.Key), static_cast<int32_t>(FKeys.size()));
      FKeys.push_back(static_cast<int64_t>(pair.Key));
    }
    FMapped = true;
  }
  int32_t Size() const { return FMapped ? static_cast<int32_t>(FKeys.size()) : FCount; }
  int64_t Vertex(int32_t APosition) const {
    return FMapped ? FKeys[static_cast<size_t>(APosition)] : APosition;
  }
  int32_t Position(int64_t AVertex) const {
    if (!FMapped)
      return AVertex >= 0 && AVertex < FCount ? static_cast<int32_t>(AVertex) : -1;
    const auto found = FPositions.find(AVertex);
    return found == FPositions.end() ? -1 : found->second;
  }

private:
  int32_t FCount;
  bool FMapped = false;
  std::vector<int64_t> FKeys;
  std::unordered_map<int64_t, int32_t> FPositions;
};

// The (reference, slot) pairs of every treated vertex, in reference order then slot order: one
// inverted index built in a single walk, so that each vertex finds its pairs directly.
struct TVertexPairs {
  std::vector<uint32_t> Starts; // Size() + 1 offsets into Pairs
  std::vector<std::pair<int32_t, int32_t>> Pairs;

  TVertexPairs(const rtl::TObjectList<TJointRefDef>& ALinked, const TTreatedVertices& AVertices) {
    Starts.assign(static_cast<size_t>(AVertices.Size()) + 1, 0);
    ForEach(ALinked, AVertices, [&](int32_t APosition, int32_t, int32_t) { ++Starts[APosition + 1]; });
    for (size_t i = 1; i < Starts.size(); ++i)
      Starts[i] += Starts[i - 1];
    Pairs.resize(Starts.back());
    std::vector<uint32_t> next(Starts.begin(), Starts.end() - 1);
    ForEach(ALinked, AVertices, [&](int32_t APosition, int32_t ARef, int32_t ASlot) {
      Pairs[next[APosition]++] = {ARef, ASlot};
    });
  }

  template <class TProc>
  static void ForEach(const rtl::TObjectList<TJointRefDef>& ALinked, const TTreatedVertices& AVertices,
                      TProc&& AProc) {
    for (int32_t r = 0; r < ALinked.Count(); ++r) {
      const TJointRefDef* jointRef = ALinked.Items(r);
      const size_t count = std::min(jointRef->GetIndices().size(), jointRef->GetWeights().size());
      for (size_t k = 0; k < count; ++k) {
        const int32_t position = AVertices.Position(jointRef->GetIndices()[k]);
        if (position >= 0)
          AProc(position, r, static_cast<int32_t>(k));
      }
    }
  }
};

// "_" for "/", "\", ":" and control characters, so that a reference Id names a file inside the
// folder; "_" for an empty Id.
std::string WeightMapFileName(const std::string& AId) {
  if (AId.empty())
    return "_";
  std::string name = AId;
  for (char& c : name)
    if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 32 || c == 127)
      c = '_';
  return name;
}

int32_t WeightMapSize(int32_t ASize) {
  for (int32_t size : {16, 32, 128, 256, 512, 1024, 2048, 4096})
    if (ASize == size)
      return size;
  return 256;
}

} // namespace

// ---- TVertexJointsList ----

TVertexJointsList::TVertexJointsList(TControllerDef* AController, int32_t ACapacity)
    : FController(AController),
      FItems(static_cast<size_t>(std::max(ACapacity, 0)), TVertexJoints::Create(0)) {}

TVertexJointsList::~TVertexJointsList() {
  Clear();
}

int32_t TVertexJointsList::Count() const {
  return static_cast<int32_t>(FItems.size());
}

size_t TVertexJointsList::CheckedIndex(int32_t AIndex) const {
  if (AIndex < 0 || AIndex >= Count())
    throw ERangeError(rtl::messages::RangeError);
  return static_cast<size_t>(AIndex);
}

TVertexJoints TVertexJointsList::GetItem(int32_t AIndex) const {
  return FItems[CheckedIndex(AIndex)];
}

TVertexJoints& TVertexJointsList::GetItemPtr(int32_t AIndex) {
  TVertexJoints& item = FItems[CheckedIndex(AIndex)];
  FRevision = 0;
  return item;
}

void TVertexJointsList::SetItem(int32_t AIndex, const TVertexJoints& AValue) {
  TVertexJoints& item = FItems[CheckedIndex(AIndex)];
  FRevision = 0;
  item.Free();
  item = AValue;
}

void TVertexJointsList::Clear() {
  FRevision = 0;
  for (TVertexJoints& item : FItems)
    item.Free();
  FItems.clear();
}

uint64_t TVertexJointsList::Revision() const {
  // Shared by every list, so that no two lists ever hold the same number.
  static std::atomic<uint64_t> LastRevision{0};
  if (FRevision == 0)
    FRevision = ++LastRevision;
  return FRevision;
}

// ---- TSkinDef: per-vertex weights ----

TMeshDef* TSkinDef::TargetMesh() const {
  return dynamic_cast<TMeshDef*>(GetTarget());
}

TVertexJointsList* TSkinDef::GenerateVertexJoints(const TMatrix3D& ABindShapeMatrix,
                                                  TMeshDef* AMeshDef) const {
  TMeshDef* mesh = AMeshDef;
  if (!mesh) {
    TTransformDef* target = GetTarget();
    if (!target)
      throw Exception(Format(MissingTarget, {GetId()}));
    mesh = dynamic_cast<TMeshDef*>(target);
    if (!mesh)
      return nullptr;
  }
  const ui::TVertexBuffer* vertices = mesh->GetVertexSource();
  if (!vertices || !mesh->GetIndexSource())
    return nullptr;
  auto* list = New<TVertexJointsList>(GetController(), vertices->Length());
  for (int32_t i = 0; i < vertices->Length(); ++i) {
    TVertexJoints item = TVertexJoints::Create(i);
    item.Position = vertices->GetVertices(i) * ABindShapeMatrix;
    list->SetItem(i, item);
  }
  return list;
}

void TSkinDef::ApplyVertexJointsRelation(TVertexJointsList* AVertices) const {
  if (!GetController() || !AVertices)
    return;
  const int32_t count = AVertices->Count();
  for (const TJointRefDef* jointRef : *FLinkedJoints) {
    TTransformDef* target = jointRef->GetTarget();
    if (!target) {
      Log::d(Format(TargetNotSet, {jointRef->GetJoint() ? jointRef->GetJoint()->GetId() : std::string()}));
      return;
    }
    const auto* mesh = dynamic_cast<const TMeshDef*>(target);
    if (!mesh)
      continue;
    const TVertexIndexMap* map = UsedMap(mesh);
    const size_t pairs = std::min(jointRef->GetIndices().size(), jointRef->GetWeights().size());
    for (size_t k = 0; k < pairs; ++k) {
      const int32_t v = jointRef->GetIndices()[k];
      const float w = jointRef->GetWeights()[k];
      if (!map) {
        // Negative indices are refused as well: they would write before the list.
        if (v < 0 || v >= count)
          throw Exception(Format(InvalidListIndex, {v, count}));
        AVertices->GetItemPtr(v).Add(jointRef->GetJoint(), w);
        continue;
      }
      if (v < 0)
        continue;
      if (const std::vector<uint32_t>* mapped = map->Find(static_cast<uint32_t>(v)))
        for (const uint32_t index : *mapped)
          if (index < static_cast<uint32_t>(count))
            AVertices->GetItemPtr(static_cast<int32_t>(index)).Add(jointRef->GetJoint(), w);
    }
  }
}

void TSkinDef::NormalizeJointVertexWeights(float AWeightTolerance) {
  TMeshDef* mesh = TargetMesh();
  if (!mesh || VertexCountOf(mesh) == 0 || FSkeletons->Count() == 0 || FLinkedJoints->Count() == 0)
    return;
  const TTreatedVertices vertices(UsedMap(mesh), VertexCountOf(mesh));
  const TVertexPairs pairs(*FLinkedJoints, vertices);
  std::vector<float*> weights;
  weights.reserve(MaxWeightsPerVertex);
  for (int32_t position = 0; position < vertices.Size(); ++position) {
    // At most 16 pairs per vertex take part; later ones are left as they are.
    weights.clear();
    const uint32_t end = std::min(pairs.Starts[position + 1], pairs.Starts[position] + MaxWeightsPerVertex);
    for (uint32_t p = pairs.Starts[position]; p < end; ++p) {
      const auto [ref, slot] = pairs.Pairs[p];
      weights.push_back(&FLinkedJoints->Items(ref)->GetWeights()[static_cast<size_t>(slot)]);
    }
    float sum = 0;
    for (const float* weight : weights)
      sum += *weight;
    if (IsValidWeightSum(sum, AWeightTolerance))
      continue;
    const int64_t vertex = vertices.Vertex(position);
    // Dividing by 0 or by a non-finite sum would write infinities or NaN into the weights.
    if (sum == 0 || !std::isfinite(sum))
      throw Exception(Format(NormalizeFailed, {vertex}));
    const float magnitude = std::fabs(sum);
    sum = 0;
    for (float* weight : weights) {
      *weight /= magnitude;
      sum += *weight;
    }
    if (!IsValidWeightSum(sum, AWeightTolerance))
      throw Exception(Format(NormalizeFailed, {vertex}));
  }
}

int32_t TSkinDef::CheckMeshVerticesToBeAttachedCorrectly(float AWeightTolerance) const {
  TTransformDef* target = GetTarget();
  if (!target)
    return 0;
  const auto* mesh = dynamic_cast<const TMeshDef*>(target);
  if (!mesh || VertexCountOf(mesh) == 0)
    return 4;
  if (FSkeletons->Count() == 0)
    return 5;
  if (FLinkedJoints->Count() == 0)
    return 6;
  try {
    const int32_t count = VertexCountOf(mesh);
    const TVertexIndexMap* map = UsedMap(mesh);
    const TTreatedVertices vertices(map, count);
    // Every pair of every reference counts towards its vertex's sum.
    std::vector<float> sums(static_cast<size_t>(vertices.Size()), 0.0f);
    TVertexPairs::ForEach(*FLinkedJoints, vertices, [&](int32_t APosition, int32_t ARef, int32_t ASlot) {
      sums[static_cast<size_t>(APosition)] +=
          FLinkedJoints->Items(ARef)->GetWeights()[static_cast<size_t>(ASlot)];
    });
    bool invalid = false, unattached = false;
    const auto report = [&](int64_t AVertex, int32_t ACode, float ASum) {
      if (ACode == 1)
        Log::d(Format(NotAttached, {AVertex, ACode}));
      else if (ACode == 2)
        Log::d(Format(InvalidWeight, {AVertex, static_cast<double>(ASum), ACode}));
      else if (ACode != 0)
        Log::d(Format(UnknownError, {AVertex, ACode}));
    };
    std::vector<bool> attached(map ? static_cast<size_t>(count) : 0, false);
    for (int32_t position = 0; position < vertices.Size(); ++position) {
      if (map)
        for (const uint32_t index : map->Items(static_cast<uint32_t>(vertices.Vertex(position))))
          if (index < static_cast<uint32_t>(count)) // a mapped index beyond the mesh is skipped
            attached[index] = true;
      const float sum = sums[static_cast<size_t>(position)];
      const int32_t code = IsValidWeightSum(sum, AWeightTolerance) ? 0 : 2;
      invalid = invalid || code == 2;
      report(vertices.Vertex(position), code, sum);
    }
    for (size_t v = 0; v < attached.size(); ++v)
      if (!attached[v]) {
        unattached = true;
        report(static_cast<int64_t>(v), 1, 0);
      }
    // The worst code seen, not the last vertex's: one invalid vertex fails the whole mesh.
    return invalid ? 2 : unattached ? 1 : 0;
  } catch (const std::exception& error) {
    const auto* rtlError = dynamic_cast<const Exception*>(&error);
    Log::d(Format(CheckException, {rtlError ? rtlError->Message() : std::string(error.what())}));
    return -1;
  }
}

void TSkinDef::DrawJointWeights(const TJointRefDef* AJointRef, ui::TBitmap* ABitmap) const {
  const TMeshDef* mesh = TargetMesh();
  if (!AJointRef || !ABitmap || !mesh)
    return;
  ABitmap->Clear(0xFF000000);
  const ui::TVertexBuffer* vertices = mesh->GetVertexSource();
  if (!vertices || !vertices->Format().Contains(ui::TVertexFormat::TexCoord0))
    return;
  ui::TBitmapData data;
  if (!ABitmap->Map(ui::TMapAccess::Write, data))
    return;
  const int32_t width = ABitmap->Width(), height = ABitmap->Height();
  const size_t pairs = std::min(AJointRef->GetIndices().size(), AJointRef->GetWeights().size());
  for (size_t k = 0; k < pairs; ++k) {
    const int32_t v = AJointRef->GetIndices()[k];
    if (v < 0 || v >= vertices->Length())
      continue;
    const TPointF uv = vertices->GetTexCoord(0, v);
    const auto x = static_cast<int32_t>(std::clamp<int64_t>(Round(double(uv.X) * width), 0, width - 1));
    const auto y = static_cast<int32_t>(std::clamp<int64_t>(Round(double(uv.Y) * height), 0, height - 1));
    const TAlphaColor pixel = data.GetPixel(x, y);
    const double added = std::floor(double(AJointRef->GetWeights()[k]) * 255);
    // Saturates: overlapping heavy weights stay bright instead of wrapping to dark.
    const auto red = static_cast<uint32_t>(std::clamp(double((pixel >> 16) & 0xFF) + added, 0.0, 255.0));
    data.SetPixel(x, y, (pixel & 0xFF00FFFFu) | (red << 16));
  }
  ABitmap->Unmap(data);
}

void TSkinDef::SaveJointWeightMaps(const std::string& APath, int32_t ASize) const {
  if (!FLinkedJoints)
    return;
  const int32_t size = WeightMapSize(ASize);
  const std::string folder = IncludeTrailingPathDelimiter(APath);
  for (const TJointRefDef* jointRef : *FLinkedJoints) {
    TOwned<ui::TBitmap> bitmap(New<ui::TBitmap>(size, size));
    DrawJointWeights(jointRef, bitmap.get());
    bitmap->SaveToFile(folder + WeightMapFileName(jointRef->GetId()) + ".jpg");
  }
}

} // namespace vantrel
