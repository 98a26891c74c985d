// Picking on 1,000 meshes: the viewport's RayCastIntersect with every mesh definition's triangle
// hierarchy (AcquireBVH) against the same scene after ReleaseBVH, where each mesh whose box the ray
// enters tests all of its triangles.
//   Scene: a 640 x 480 viewport after one frame; 1,000 meshes, each over its own definition (a UV
//          sphere of 1,280 triangles, radius 0.45) on a 10 x 10 x 10 lattice of spacing 1 in front
//          of the camera, each with an OnMouseMove handler.
//   Picking/0: one iteration is RayCastIntersect at the 1,024 points of a 32 x 32 grid over the
//          lattice's image. Framework: with the hierarchies; Raw: without.
//   MeshCast/0: the mesh ray casts alone, replayed from the rays the grid's picks handed to the
//          meshes whose box they enter. Framework: with the hierarchies; Raw: without.
// Reported: microseconds per pick and per mesh ray cast for both sides with their ratios (median
// of the repetitions, minimum beside it), the meshes entered and the objects visited per pick, the
// time per visited object that is not a mesh ray cast, and the operator-new calls per pick of
// each side in the steady state (target 0). Checked: both sides answer the same object at every
// grid point, most points hit, and each hit called its handler once.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "Vantrel.Units.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rendering/Vantrel.Viewport.h"
#include "scene/Vantrel.Camera.h"
#include "scene/Vantrel.Mesh.h"
#include "support/bench_setup.h"
#include "support/counting_new.h"
#include "support/gl_start.h"
#include "support/pair_reporter.h"
#include "ui/scene.h"

namespace vantrel {

// The ray a mesh was asked with, for replaying the mesh casts alone.
struct TMeshRay {
  TControl3D* Mesh;
  TVector3D Pos, Dir;
};

// A mesh that, while counting, records the picks that reach it and whether the (local) ray enters
// its box.
class TBenchMesh : public TVantrelMesh {
  RTL_CLASS(TBenchMesh, TVantrelMesh)
public:
  using TVantrelMesh::TVantrelMesh;
  static inline bool Counting = false;
  static inline int64_t Visited = 0;
  static inline std::vector<TMeshRay> Entered;

  bool RayCastIntersect(const TVector3D& ARayPos, const TVector3D& ARayDir, TVector3D& AHit) override {
    if (Counting) {
      ++Visited;
      if (EntersBox(ARayPos, ARayDir))
        Entered.push_back({this, ARayPos, ARayDir});
    }
    return TVantrelMesh::RayCastIntersect(ARayPos, ARayDir, AHit);
  }

private:
  bool EntersBox(const TVector3D& APos, const TVector3D& ADir) {
    const TBoundingBox box = GetBoundingBox();
    const float pos[3] = {APos.X, APos.Y, APos.Z}, dir[3] = {ADir.X, ADir.Y, ADir.Z};
    const float low[3] = {box.Left, box.Top, box.Near}, high[3] = {box.Right, box.Bottom, box.Far};
    float enter = -1e30f, leave = 1e30f;
    for (int axis = 0; axis < 3; ++axis) {
      if (dir[axis] == 0) {
        if (pos[axis] < low[axis] || pos[axis] > high[axis])
          return false;
        continue;
      }
      float t0 = (low[axis] - pos[axis]) / dir[axis], t1 = (high[axis] - pos[axis]) / dir[axis];
      if (t0 > t1)
        std::swap(t0, t1);
      enter = std::max(enter, t0);
      leave = std::min(leave, t1);
    }
    return enter <= leave && leave >= 0;
  }
};
RTL_DEFINE_CLASS(TBenchMesh, "Bench.Picking")

// Counts the move calls of the hits.
class TBenchHandlers : public TObject {
  RTL_CLASS(TBenchHandlers, TObject)
public:
  void MouseMove(TObject*, TShiftState, float, float, const TVector3D&, const TVector3D&) { ++Moves; }
  int64_t Moves = 0;
};
RTL_DEFINE_CLASS(TBenchHandlers, "Bench.Picking")

} // namespace vantrel

namespace {

using namespace vantrel;

constexpr int ViewWidth = 640;
constexpr int ViewHeight = 480;
constexpr int Lattice = 10;
constexpr int Grid = 32;
constexpr int Segments = 32;
constexpr int Rings = 21; // 2 x 32 x 20 = 1,280 triangles
constexpr float Radius = 0.45f;

// A UV sphere of unshared triangles around the origin.
TMeshDef* SphereDefinition() {
  auto* def = New<TMeshDef>();
  def->CreateVertexSource(TCustomMeshDef::DefaultVertexFormat());
  def->CreateIndexSource(TIndexFormat::UInt32);
  const auto point = [](int ARing, int ASegment) {
    const double theta = std::numbers::pi * ARing / (Rings - 1);
    const double phi = 2 * std::numbers::pi * ASegment / Segments;
    return TPoint3D{float(Radius * std::sin(theta) * std::cos(phi)), float(Radius * std::cos(theta)),
                    float(Radius * std::sin(theta) * std::sin(phi))};
  };
  std::vector<TPoint3D> corners;
  for (int ring = 0; ring < Rings - 1; ++ring)
    for (int segment = 0; segment < Segments; ++segment) {
      const TPoint3D a = point(ring, segment), b = point(ring, segment + 1);
      const TPoint3D c = point(ring + 1, segment), d = point(ring + 1, segment + 1);
      for (const TPoint3D& p : {a, c, b, b, c, d})
        corners.push_back(p);
    }
  TVertexBuffer& vertices = *def->GetVertexSource();
  TIndexBuffer& indices = *def->GetIndexSource();
  vertices.SetLength(int32_t(corners.size()));
  indices.SetLength(int32_t(corners.size()));
  for (size_t i = 0; i < corners.size(); ++i) {
    vertices.SetVertices(int32_t(i), corners[i]);
    indices.SetIndices(int32_t(i), uint32_t(i));
  }
  def->BoundingBoxChanged();
  return def;
}

class TPickScene {
public:
  TPickScene() : FScene(MakeOwned<TCustomScene>(nullptr)) {
    FScene->SetSize(ViewWidth, ViewHeight);
    FViewport = New<TVantrelViewport>(FScene.get());
    FViewport->SetUseFixedFrameRate(false);
    FViewport->SetSize(ViewWidth, ViewHeight);
    FCamera = New<TCamera>(FScene.get());
    FCamera->SetAngleOfView(45);
    FCamera->Position()->SetPoint({4.5f, 4.5f, -12});
    FCamera->SetParent(FViewport);
    FViewport->SetUsingDesignCamera(false);
    FViewport->SetCamera(FCamera);
    for (int z = 0; z < Lattice; ++z)
      for (int y = 0; y < Lattice; ++y)
        for (int x = 0; x < Lattice; ++x) {
          auto* mesh = New<TBenchMesh>(FScene.get());
          TMeshDef* def = SphereDefinition();
          mesh->LoadFromDefinition(def);
          mesh->Position()->SetPoint({float(x), float(y), float(z)});
          mesh->OnMouseMove = {&FHandlers, &TBenchHandlers::MouseMove};
          // Meshes take no hit tests by default.
          mesh->SetHitTest(true);
          mesh->SetParent(FViewport);
          FDefinitions.push_back(def);
        }
    FViewport->OnFixedIntervalTick(nullptr);
    // The grid spans the image of the lattice's front face.
    const TPointF a = FViewport->WorldToScreen({-0.5f, -0.5f, -0.5f});
    const TPointF b = FViewport->WorldToScreen({Lattice - 0.5f, Lattice - 0.5f, -0.5f});
    const float left = std::min(a.X, b.X), right = std::max(a.X, b.X);
    const float top = std::min(a.Y, b.Y), bottom = std::max(a.Y, b.Y);
    for (int j = 0; j < Grid; ++j)
      for (int i = 0; i < Grid; ++i)
        FPoints.push_back({left + (right - left) * (i + 0.5f) / Grid, top + (bottom - top) * (j + 0.5f) / Grid});
  }

  void SetHierarchies(bool AOn) {
    if (AOn == FHierarchies)
      return;
    for (TMeshDef* def : FDefinitions)
      AOn ? def->AcquireBVH() : def->ReleaseBVH();
    FHierarchies = AOn;
  }
  // The answers at every grid point.
  std::vector<IControl*> PickAll() {
    std::vector<IControl*> answers;
    answers.reserve(FPoints.size());
    for (const TPointF& point : FPoints)
      answers.push_back(FViewport->RayCastIntersect(point));
    return answers;
  }
  void PickAllQuietly() {
    for (const TPointF& point : FPoints)
      benchmark::DoNotOptimize(FViewport->RayCastIntersect(point));
  }
  int64_t Moves() const { return FHandlers.Moves; }
  void ResetMoves() { FHandlers.Moves = 0; }

private:
  TBenchHandlers FHandlers;
  TOwned<TCustomScene> FScene;
  TVantrelViewport* FViewport = nullptr;
  TCamera* FCamera = nullptr;
  std::vector<TMeshDef*> FDefinitions;
  std::vector<TPointF> FPoints;
  bool FHierarchies = false;
};

TPickScene* GScene = nullptr;
std::vector<TMeshRay> GRays;
double GAllocationsPerPick[2] = {-1, -1};

void BM_Picking(benchmark::State& AState, int ASide) {
  GScene->SetHierarchies(ASide == 0);
  GScene->PickAllQuietly();
  const int64_t before = vbench::Allocations();
  int64_t picks = 0;
  for (auto _ : AState) {
    GScene->PickAllQuietly();
    picks += Grid * Grid;
  }
  GAllocationsPerPick[ASide] = double(vbench::Allocations() - before) / double(std::max<int64_t>(picks, 1));
}

void BM_Picking_Framework(benchmark::State& AState) {
  BM_Picking(AState, 0);
}
void BM_Picking_Raw(benchmark::State& AState) {
  BM_Picking(AState, 1);
}

void BM_MeshCast(benchmark::State& AState, bool AHierarchies) {
  GScene->SetHierarchies(AHierarchies);
  TVector3D hit;
  for (auto _ : AState)
    for (const TMeshRay& ray : GRays)
      benchmark::DoNotOptimize(ray.Mesh->RayCastIntersect(ray.Pos, ray.Dir, hit));
}

void BM_MeshCast_Framework(benchmark::State& AState) {
  BM_MeshCast(AState, true);
}
void BM_MeshCast_Raw(benchmark::State& AState) {
  BM_MeshCast(AState, false);
}

class TPickReporter : public vbench::TPairReporter {
public:
  using TPairReporter::Times;
};

void Register(const char* AName, void (*AFunction)(benchmark::State&)) {
  benchmark::RegisterBenchmark(AName, AFunction)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

int main(int argc, char** argv) {
  if (!vbench::StartDefaultGLContext()) {
    std::printf("no OpenGL 4.3 context; nothing measured\n");
    return 0;
  }
  InitializeUnits();
  bool met = true;
  {
    TPickScene scene;
    GScene = &scene;

    // One counted pass without the hierarchies: the rays the meshes were asked with, and the
    // answers both sides must agree on.
    TBenchMesh::Counting = true;
    scene.SetHierarchies(false);
    const std::vector<IControl*> rawAnswers = scene.PickAll();
    TBenchMesh::Counting = false;
    GRays = TBenchMesh::Entered;
    const double visitedPerPick = double(TBenchMesh::Visited) / (Grid * Grid);
    const double enteredPerPick = double(GRays.size()) / (Grid * Grid);
    scene.SetHierarchies(true);
    scene.ResetMoves();
    const std::vector<IControl*> answers = scene.PickAll();
    const auto hits = std::count_if(answers.begin(), answers.end(), [](IControl* A) { return A != nullptr; });
    const bool sameAnswers = answers == rawAnswers;
    const bool handlersCalled = scene.Moves() == hits;

    Register("BM_Picking_Framework", BM_Picking_Framework);
    Register("BM_Picking_Raw", BM_Picking_Raw);
    Register("BM_MeshCast_Framework", BM_MeshCast_Framework);
    Register("BM_MeshCast_Raw", BM_MeshCast_Raw);
    vbench::Initialize(&argc, argv);
    TPickReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto picking = reporter.Times("Picking", "0");
    const auto casts = reporter.Times("MeshCast", "0");
    std::printf("\npicking on %d meshes of %d triangles, %d x %d grid (median over repetitions, minimum in "
                "brackets):\n",
                Lattice * Lattice * Lattice, 2 * Segments * (Rings - 1), Grid, Grid);
    if (!picking || !casts) {
      std::printf("FAILED: a side was not measured\n");
      met = false;
    } else {
      const double perPick = 1000.0 / (Grid * Grid);
      const double oursPick = picking->Ours * perPick, peerPick = picking->Peer * perPick;
      std::printf("  per pick:      BVH %9.2f (%9.2f) us   brute force %9.2f (%9.2f) us   ratio %.3f\n", oursPick,
                  picking->OursMin * perPick, peerPick, picking->PeerMin * perPick, oursPick / peerPick);
      const double perCast = GRays.empty() ? 0 : 1000.0 / double(GRays.size());
      const double oursCast = casts->Ours * perCast, peerCast = casts->Peer * perCast;
      std::printf("  meshes entered per pick: %.2f; per mesh ray cast: BVH %.3f us   brute force %.3f us   "
                  "brute force / BVH %.1fx (expected at least 10x)\n",
                  enteredPerPick, oursCast, peerCast, oursCast > 0 ? peerCast / oursCast : 0.0);
      const double walk = std::max(0.0, oursPick - enteredPerPick * oursCast);
      std::printf("  objects visited per pick: %.2f; the rest of a BVH pick: %.2f us, %.3f us per visited "
                  "object (%.0f%% of the pick)\n",
                  visitedPerPick, walk, visitedPerPick > 0 ? walk / visitedPerPick : 0.0,
                  oursPick > 0 ? 100 * walk / oursPick : 0.0);
      std::printf("  operator new per pick in the steady state: BVH %.3f   brute force %.3f (target 0)\n",
                  GAllocationsPerPick[0], GAllocationsPerPick[1]);
      if (oursCast <= 0 || peerCast / oursCast < 10) {
        std::printf("MISSED: the hierarchy gains less than 10x per mesh ray cast\n");
        met = false;
      }
    }
    std::printf("  hits: %lld of %d points\n", static_cast<long long>(hits), Grid * Grid);
    if (!sameAnswers) {
      std::printf("FAILED: the two sides answered differently\n");
      met = false;
    }
    if (!handlersCalled || hits < Grid * Grid / 2) {
      std::printf("FAILED: %lld handler calls for %lld hits\n", static_cast<long long>(scene.Moves()),
                  static_cast<long long>(hits));
      met = false;
    }
    GScene = nullptr;
  }
  FinalizeUnits();
  return met ? 0 : 1;
}
