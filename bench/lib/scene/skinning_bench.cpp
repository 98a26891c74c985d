// CPU skinning of one frame: 100,000 vertices of the 72-byte mesh format, 4 weights each, on 64
// joints in a chain under one controller.
//
//   Ours       TVantrelArmature::AnimateSkin(nullptr) with no animation manager, the joints'
//              offset refresh (PrepareSkinAnimationStep) included.
//   Reference  a plain loop over precomputed (offset matrix pointer, weight) pairs per vertex,
//              with the same float arithmetic, positions written at stride 72.
//   Memcpy     256 MB copied, for the machine's memory rate R = (bytes read + written) / time.
//
// Reported: ms per frame for both, ours / reference (target <= 1.3), and the bandwidth floor
// V x B / R over ours (the fraction of the memory limit reached), B = sizeof(TVertexJoints) read
// plus 2 x 72 (the position's cache lines read and written). Every buffer is allocated and touched
// before timing. The program checks that both loops wrote the same skinned positions, and fails
// at the end when the target is missed or the check fails.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "support/bench_setup.h"
#include "support/sample_reporter.h"

#include "definitions/Vantrel.DefTypes.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Armature.h"
#include "scene/Vantrel.Group.h"
#include "scene/Vantrel.Joint.h"
#include "scene/Vantrel.Mesh.h"
#include "scene/Vantrel.Model.h"
#include "scene/Vantrel.Segment.h"
#include "ui/mesh_buffers.h"

namespace {

using namespace vantrel;

constexpr int32_t VertexCount = 100'000;
constexpr int32_t JointCount = 64;
constexpr int32_t WeightsPerVertex = 4;
constexpr size_t MemcpyBytes = size_t(256) << 20;

// The skinned scene: a model with one mesh, a 64-joint chain and one controller.
class TScene {
public:
  TScene() {
    FModelDef = rtl::New<TModelDef>();
    FModelDef->SetId("M");
    FModelDef->SetIsStandalone(true);
    FMesh = rtl::New<TMeshDef>(FModelDef);
    FMesh->SetId("Body");
    FModelDef->AddChild(FMesh);
    FMesh->CreateVertexSource(TCustomMeshDef::DefaultVertexFormat());
    ui::TVertexBuffer* vertices = FMesh->GetVertexSource();
    vertices->SetLength(VertexCount);
    for (int32_t i = 0; i < VertexCount; ++i)
      vertices->SetVertices(i, {float(i % 317) * 0.01f, float(i % 101) * 0.02f, float(i % 7)});
    FMesh->CreateIndexSource(ui::TIndexFormat::UInt32);
    ui::TIndexBuffer* indices = FMesh->GetIndexSource();
    indices->SetLength(VertexCount);
    for (int32_t i = 0; i < VertexCount; ++i)
      indices->SetIndices(i, i);

    FArmature = rtl::New<TArmatureDef>(FModelDef);
    TJointDef* parent = nullptr;
    for (int32_t j = 0; j < JointCount; ++j) {
      auto* joint = rtl::New<TJointDef>(FArmature);
      joint->SetId("J" + std::to_string(j));
      joint->SetTransform(rtl::TMatrix3D::CreateTranslation({0.1f, 0, 0}));
      if (parent) {
        joint->SetParent(parent);
        parent->AddJoint(joint);
      } else {
        FArmature->SetRoot(joint);
      }
      FJoints.push_back(joint);
      parent = joint;
    }
    FController = rtl::New<TControllerDef>(FMesh);
    FController->SetIndex(0);
    FController->SetSkin(rtl::New<TSkinDef>(FController));
    TSkinDef* skin = FController->GetSkin();
    skin->AddSkeleton(rtl::New<TJointRefDef>(FJoints[0], FController, true));
    std::vector<TJointRefDef*> refs;
    for (TJointDef* joint : FJoints)
      refs.push_back(skin->LinkJoint(joint));
    for (int32_t v = 0; v < VertexCount; ++v)
      for (int32_t k = 0; k < WeightsPerVertex; ++k) {
        TJointRefDef* ref = refs[size_t((v + k * 17) % JointCount)];
        ref->GetIndices().push_back(v);
        ref->GetWeights().push_back(0.25f);
      }
    FArmature->AddController(FController);

    FModel = rtl::New<TVantrelModel>(nullptr);
    FModel->LoadFromDefinition(FModelDef);
    FModel->FreeAnimationManager();
    FArmatureControl = rtl::New<TVantrelArmature>(FModel);
    FArmatureControl->SetParent(FModel);
    FArmatureControl->LoadFromDefinition(FArmature);
    // A pose: every joint turned a little about Z, so the offsets are no identities.
    for (TJointDef* def : FJoints)
      FArmatureControl->FindJoint(def)->RotationAngle()->SetZ(3);
    FBody = dynamic_cast<TVantrelMesh*>(FModel->FindControlByDeepSearch("Body"));
  }
  ~TScene() {
    FModel->Free();
    FController->Free();
    FArmature->Free();
    FModelDef->Free();
  }

  TVantrelArmature* Armature() const { return FArmatureControl; }
  TVantrelMesh* Body() const { return FBody; }

private:
  TModelDef* FModelDef = nullptr;
  TMeshDef* FMesh = nullptr;
  TArmatureDef* FArmature = nullptr;
  TControllerDef* FController = nullptr;
  std::vector<TJointDef*> FJoints;
  TVantrelModel* FModel = nullptr;
  TVantrelArmature* FArmatureControl = nullptr;
  TVantrelMesh* FBody = nullptr;
};

TScene* GScene = nullptr;

// The reference's precomputed input: four (matrix, weight) pairs and the bind position per vertex.
struct TPair {
  const TMatrix3D* Matrix;
  float Weight;
};
std::vector<TPair> GPairs;
std::vector<TPoint3D> GBind;
std::vector<uint8_t> GReferenceOut;

void PrepareReference() {
  TVertexJointsList* list = GScene->Body()->VertexJoints();
  GPairs.resize(size_t(VertexCount) * WeightsPerVertex);
  GBind.resize(size_t(VertexCount));
  GReferenceOut.assign(size_t(VertexCount) * 72, 0);
  for (int32_t v = 0; v < VertexCount; ++v) {
    const TVertexJoints& record = list->GetItemPtr(v);
    GBind[size_t(v)] = record.Position;
    for (int32_t k = 0; k < WeightsPerVertex; ++k) {
      TVantrelJoint* joint = GScene->Armature()->FindJoint(record.JointsArray[size_t(k)]);
      GPairs[size_t(v) * WeightsPerVertex + size_t(k)] = {&joint->CurrentOffsetAt(0), record.WeightsArray[size_t(k)]};
    }
  }
}

void ReferenceSkin() {
  const TPair* pairs = GPairs.data();
  uint8_t* out = GReferenceOut.data();
  for (int32_t v = 0; v < VertexCount; ++v, pairs += WeightsPerVertex, out += 72) {
    const float x = GBind[size_t(v)].X, y = GBind[size_t(v)].Y, z = GBind[size_t(v)].Z;
    float ax = 0, ay = 0, az = 0, sum = 0;
    for (int k = 0; k < WeightsPerVertex; ++k) {
      const TMatrix3D& m = *pairs[k].Matrix;
      const float w = pairs[k].Weight;
      ax += (x * m.m11 + y * m.m21 + z * m.m31 + m.m41) * w;
      ay += (x * m.m12 + y * m.m22 + z * m.m32 + m.m42) * w;
      az += (x * m.m13 + y * m.m23 + z * m.m33 + m.m43) * w;
      sum += w;
    }
    const float rest = 1 - sum;
    const float p[3] = {x * rest + ax, y * rest + ay, z * rest + az};
    std::memcpy(out, p, sizeof(p));
  }
}

void BM_Skin_Ours(benchmark::State& AState) {
  for (auto _ : AState) {
    GScene->Armature()->AnimateSkin(nullptr);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Skin_Ours)->Unit(benchmark::kMillisecond);

void BM_Skin_Reference(benchmark::State& AState) {
  for (auto _ : AState) {
    ReferenceSkin();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Skin_Reference)->Unit(benchmark::kMillisecond);

std::vector<uint8_t> GCopyFrom, GCopyTo;

void BM_Memcpy256MB(benchmark::State& AState) {
  for (auto _ : AState) {
    std::memcpy(GCopyTo.data(), GCopyFrom.data(), MemcpyBytes);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Memcpy256MB)->Unit(benchmark::kMillisecond);

// Both loops wrote the same positions (within float rounding of the same arithmetic).
bool SamePositions() {
  const ui::TVertexBuffer& ours = GScene->Body()->GetMeshData()->VertexBuffer();
  for (int32_t v = 0; v < VertexCount; ++v) {
    float p[3];
    std::memcpy(p, GReferenceOut.data() + size_t(v) * 72, sizeof(p));
    const TPoint3D q = ours.GetVertices(v);
    if (std::fabs(q.X - p[0]) > 1e-4f || std::fabs(q.Y - p[1]) > 1e-4f || std::fabs(q.Z - p[2]) > 1e-4f) {
      std::printf("vertex %d: ours (%g, %g, %g), reference (%g, %g, %g)\n", v, q.X, q.Y, q.Z, p[0], p[1], p[2]);
      return false;
    }
  }
  // And the pose moved them: the positions differ from the bind pose.
  return std::fabs(ours.GetVertices(VertexCount - 1).Y - GBind.back().Y) > 1e-3f;
}

} // namespace

int main(int argc, char** argv) {
  InitializeDefTypes();
  InitializeDefTypesNodes();
  InitializeControl();
  InitializeTransform();
  InitializeGroup();
  InitializeSegment();
  InitializeMesh();
  InitializeAnimation();
  InitializeJoint();
  InitializeArmature();
  InitializeModel();
  vbench::Initialize(&argc, argv);
  std::printf("buffers: allocated and touched before timing (mesh, vertex joints, reference pairs, 2 x 256 MB)\n");
  GScene = new TScene();
  GScene->Armature()->AnimateSkin(nullptr);
  PrepareReference();
  ReferenceSkin();
  GCopyFrom.assign(MemcpyBytes, 1);
  GCopyTo.assign(MemcpyBytes, 2);

  vbench::TSampleReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  bool met = true;
  const auto ours = reporter.MedianTime("BM_Skin_Ours"), reference = reporter.MedianTime("BM_Skin_Reference");
  const auto copy = reporter.MedianTime("BM_Memcpy256MB");
  if (!ours || !reference || !copy) {
    std::printf("skinning: not measured\n");
    met = false;
  } else {
    const double ratio = *ours / *reference;
    const double minRatio = *reporter.MinTime("BM_Skin_Ours") / *reporter.MinTime("BM_Skin_Reference");
    // Milliseconds: bytes per millisecond of the copy (read + written).
    const double rate = 2.0 * double(MemcpyBytes) / *copy;
    const double bytesPerVertex = double(sizeof(TVertexJoints)) + 2 * 72;
    const double floor = double(VertexCount) * bytesPerVertex / rate;
    std::printf("skinning 100k vertices x 4 weights, 64 joints: ours %.3f ms, reference %.3f ms per frame, "
                "ours / reference %.3fx (min %.3fx, target <= 1.30)%s\n",
                *ours, *reference, ratio, minRatio, ratio <= 1.3 ? "" : "  ABOVE TARGET");
    std::printf("bandwidth floor %.3f ms (%.0f bytes per vertex at %.2f GB/s): floor / ours %.2f\n", floor,
                bytesPerVertex, rate / 1e6, floor / *ours);
    met = ratio <= 1.3;
  }
  const bool same = SamePositions();
  std::printf("skinned positions of ours and the reference agree and differ from the bind pose: %s\n",
              same ? "yes" : "NO");
  delete GScene;
  return met && same ? 0 : 1;
}
