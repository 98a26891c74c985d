// The triangle hierarchy's ray casts and build against Embree 3, the reference point for ray-cast
// speed, all single-threaded, in one process, over the same rays. Targets: our time per ray at
// most 4x Embree's, our build at most 3x Embree's, at 100k and 1M triangles.
//
// Meshes: a closed, outward-wound torus (major radius 1, minor radius 0.35, radial noise of
// amplitude 0.05) as the framework's vertex and index buffers, read through the TBVHGeometry
// constructor with the identity matrix: 250 x 200 quads (100,000 triangles) and 1000 x 500 quads
// (1,000,000 triangles). Embree gets exactly the stored triangles.
//
// Rays: 4,096 seeded rays from a sphere of radius 3 towards uniform points of the mesh's bounding
// box; about three in four hit. Each starts outside the closed surface, so its first surface is a
// front face and Embree's two-sided closest hit is the same first-hit rule as our front-face-only
// cast.
//
// Checks, run before the timings: the hierarchy's cast against the octree cast walked over the
// public nodes (bit for bit: 4,096 rays at 100k, 512 at 1M), against brute force over every
// triangle (1,000 rays at 100k, 100 at 1M) and against Embree (hit flags and distances, all rays).
// The run goes on to the end and exits non-zero when a check failed; a ratio beyond its target is
// marked but does not fail the run, since it depends on the machine's load.
//
// Timings: each benchmark runs 5 times; the ratios use the medians, with the ratio of the minima
// beside them.
//
// Memory: meshes, trees and Embree scenes are built once before the ray timings; a cast allocates
// nothing. The build timings construct a fresh geometry (or scene) outside the timed region and
// time only BuildBVH (or rtcCommitScene). Allocator regime: our trees come from the default
// allocator (glibc malloc) without any huge-page request; Embree uses its own allocator with its
// default settings. The run prints the kernel's transparent huge page mode, which both meet.

#include <benchmark/benchmark.h>

#include "support/bench_setup.h"
#include <embree3/rtcore.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "support/bvh_reference.h"
#include "utils/Vantrel.Utils.BVH.RayTree.h"
#include "utils/Vantrel.Utils.BVH.h"

namespace {

using namespace vantrel;
using vtest::DistanceToStart;
using vtest::OctreeCast;

constexpr int RayCount = 4096;
constexpr int kRepetitions = 5;

struct TMeshSize {
  const char* Name;
  int Around;
  int Across;
  // Rays checked against brute force and against the octree cast.
  int BruteForceRays;
  int OctreeRays;
  // Rays of the brute-force timing.
  int BruteForceTimed;
};
constexpr TMeshSize kSizes[] = {{"100k", 250, 200, 1000, 4096, 256}, {"1M", 1000, 500, 100, 512, 32}};

// --- The torus -----------------------------------------------------------------------------------

struct TTorus {
  TOwned<TVertexBuffer> Vertices;
  TOwned<TIndexBuffer> Indices;
};

TPoint3D TorusPoint(int AI, int AJ, const TMeshSize& ASize) {
  const double theta = 2 * std::numbers::pi * AI / ASize.Around;
  const double phi = 2 * std::numbers::pi * AJ / ASize.Across;
  const double noise =
      0.6 * std::sin(5 * theta + 1) * std::cos(3 * phi) + 0.4 * std::sin(11 * theta - 7 * phi);
  const double r = 0.35 + 0.05 * noise;
  const double ring = 1 + r * std::cos(phi);
  return {float(ring * std::cos(theta)), float(ring * std::sin(theta)), float(r * std::sin(phi))};
}

TTorus MakeTorus(const TMeshSize& ASize) {
  const int vertexCount = ASize.Around * ASize.Across;
  TTorus torus{MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Vertex}, vertexCount),
               MakeOwned<TIndexBuffer>(6 * vertexCount, TIndexFormat::UInt32)};
  for (int i = 0; i < ASize.Around; ++i)
    for (int j = 0; j < ASize.Across; ++j)
      torus.Vertices->SetVertices(i * ASize.Across + j, TorusPoint(i, j, ASize));
  const auto vertex = [&](int i, int j) {
    return uint32_t((i % ASize.Around) * ASize.Across + j % ASize.Across);
  };
  int32_t next = 0;
  // The quad (i, j), (i+1, j), (i+1, j+1), (i, j+1) runs counter-clockwise seen from outside. The
  // geometry reads each index triple backwards, so each triangle is written C, B, A.
  const auto triangle = [&](uint32_t a, uint32_t b, uint32_t c) {
    for (uint32_t index : {c, b, a})
      torus.Indices->SetIndices(next++, index);
  };
  for (int i = 0; i < ASize.Around; ++i)
    for (int j = 0; j < ASize.Across; ++j) {
      triangle(vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1));
      triangle(vertex(i, j), vertex(i + 1, j + 1), vertex(i, j + 1));
    }
  return torus;
}

std::unique_ptr<TBVHGeometry> MakeGeometry(const TTorus& ATorus) {
  return std::make_unique<TBVHGeometry>(ATorus.Vertices.get(), ATorus.Indices.get(), TMatrix3D::Identity());
}

// --- Embree --------------------------------------------------------------------------------------

// One single-threaded device for the whole run; scenes keep their own reference to it.
RTCDevice Device() {
  static const std::unique_ptr<RTCDeviceTy, void (*)(RTCDevice)> device(rtcNewDevice("threads=1"),
                                                                        rtcReleaseDevice);
  return device.get();
}

using TEmbreeScene = std::unique_ptr<RTCSceneTy, void (*)(RTCScene)>;

TEmbreeScene MakeEmbreeScene(const TBVHGeometry& AGeometry, bool ACommit = true) {
  TEmbreeScene scene(rtcNewScene(Device()), rtcReleaseScene);
  RTCGeometry mesh = rtcNewGeometry(Device(), RTC_GEOMETRY_TYPE_TRIANGLE);
  const size_t count = AGeometry.Triangles.size();
  auto* vertices = static_cast<float*>(rtcSetNewGeometryBuffer(
      mesh, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), 3 * count));
  auto* indices = static_cast<unsigned*>(
      rtcSetNewGeometryBuffer(mesh, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned), count));
  for (size_t k = 0; k < count; ++k)
    for (int corner = 0; corner < 3; ++corner) {
      const TPoint3D& p = AGeometry.Triangles[k].Points(corner);
      float* v = vertices + 3 * (3 * k + corner);
      v[0] = p.X;
      v[1] = p.Y;
      v[2] = p.Z;
      indices[3 * k + corner] = unsigned(3 * k + corner);
    }
  rtcCommitGeometry(mesh);
  rtcAttachGeometry(scene.get(), mesh);
  rtcReleaseGeometry(mesh);
  if (ACommit)
    rtcCommitScene(scene.get());
  return scene;
}

// The distance to the first hit, or -1.
float EmbreeCast(RTCScene AScene, const TRaycastData& ARay) {
  RTCIntersectContext context;
  rtcInitIntersectContext(&context);
  RTCRayHit rayHit{};
  rayHit.ray.org_x = ARay.Start.X;
  rayHit.ray.org_y = ARay.Start.Y;
  rayHit.ray.org_z = ARay.Start.Z;
  rayHit.ray.dir_x = ARay.Dir.X;
  rayHit.ray.dir_y = ARay.Dir.Y;
  rayHit.ray.dir_z = ARay.Dir.Z;
  rayHit.ray.tnear = 0;
  rayHit.ray.tfar = std::numeric_limits<float>::infinity();
  rayHit.ray.mask = ~0u;
  rayHit.hit.geomID = RTC_INVALID_GEOMETRY_ID;
  rayHit.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
  rtcIntersect1(AScene, &context, &rayHit);
  return rayHit.hit.geomID == RTC_INVALID_GEOMETRY_ID ? -1 : rayHit.ray.tfar;
}

// --- Rays and the brute-force reference ----------------------------------------------------------

std::vector<TRaycastData> MakeRays(const TBVHGeometry& AGeometry) {
  const TAABB& box = AGeometry.Accelerator->Bounds;
  std::mt19937 random(17);
  std::normal_distribution<float> gauss;
  std::uniform_real_distribution<float> unit(0, 1);
  std::vector<TRaycastData> rays(RayCount);
  for (TRaycastData& ray : rays) {
    const TPoint3D start = TPoint3D{gauss(random), gauss(random), gauss(random)}.Normalize() * 3;
    const TPoint3D target{box.Min.X + unit(random) * (box.Max.X - box.Min.X),
                          box.Min.Y + unit(random) * (box.Max.Y - box.Min.Y),
                          box.Min.Z + unit(random) * (box.Max.Z - box.Min.Z)};
    ray.Set(start, (target - start).Normalize(), 1000);
  }
  return rays;
}

// The nearest hit over all triangles by distance, the first of equals; the count of triangles
// reaching that distance goes to ATies.
bool BruteForceCast(const TBVHGeometry& AGeometry, const TRaycastData& ARay, TRaycastResult& ARes,
                    std::vector<TRaycastResult>* ATies = nullptr) {
  float best = std::numeric_limits<float>::infinity();
  TRaycastResult hit;
  ARes = {};
  for (const TTriangle& triangle : AGeometry.Triangles) {
    if (!triangle.Raycast(ARay, &hit))
      continue;
    const float distance = DistanceToStart(hit, ARay);
    if (distance < best) {
      best = distance;
      ARes = hit;
      if (ATies)
        ATies->clear();
    }
    if (ATies && distance == best)
      ATies->push_back(hit);
  }
  return ARes.Hit;
}

bool SameBits(const TRaycastResult& A, const TRaycastResult& B) {
  return std::memcmp(&A.T, &B.T, sizeof(float)) == 0 &&
         std::memcmp(&A.Normal, &B.Normal, sizeof(TPoint3D)) == 0 &&
         std::memcmp(&A.Point, &B.Point, sizeof(TPoint3D)) == 0;
}

// --- One prepared mesh per size ------------------------------------------------------------------

struct TPrepared {
  TTorus Torus;
  std::unique_ptr<TBVHGeometry> Geometry;
  TEmbreeScene Scene{nullptr, rtcReleaseScene};
  std::vector<TRaycastData> Rays;
};

TPrepared& Prepared(int ASize) {
  static std::map<int, TPrepared> prepared;
  const auto found = prepared.find(ASize);
  if (found != prepared.end())
    return found->second;
  TPrepared& result = prepared[ASize];
  result.Torus = MakeTorus(kSizes[ASize]);
  result.Geometry = MakeGeometry(result.Torus);
  BuildBVH(result.Geometry.get());
  result.Scene = MakeEmbreeScene(*result.Geometry);
  result.Rays = MakeRays(*result.Geometry);
  return result;
}

bool CrossCheck(int ASize) {
  const TMeshSize& size = kSizes[ASize];
  TPrepared& mesh = Prepared(ASize);
  int octreeMismatches = 0;
  for (int r = 0; r < size.OctreeRays; ++r) {
    TRaycastResult ours, reference;
    const bool hit = mesh.Geometry->Raycast(mesh.Rays[r], ours);
    octreeMismatches += hit != OctreeCast(*mesh.Geometry->Accelerator, mesh.Rays[r], reference) ||
                        !SameBits(ours, reference) || ours.Hit != reference.Hit;
  }
  int bruteMismatches = 0;
  for (int r = 0; r < size.BruteForceRays; ++r) {
    const TRaycastData& ray = mesh.Rays[r];
    TRaycastResult ours, reference;
    std::vector<TRaycastResult> ties;
    const bool hit = mesh.Geometry->Raycast(ray, ours);
    const bool expected = BruteForceCast(*mesh.Geometry, ray, reference, &ties);
    const bool agrees =
        hit == expected && (!hit || (DistanceToStart(ours, ray) == DistanceToStart(reference, ray) &&
                                     std::any_of(ties.begin(), ties.end(), [&](const TRaycastResult& ATie) {
                                       return SameBits(ATie, ours);
                                     })));
    bruteMismatches += !agrees;
  }
  int hits = 0, flagMismatches = 0, distanceMismatches = 0;
  for (const TRaycastData& ray : mesh.Rays) {
    TRaycastResult ours;
    const bool hit = mesh.Geometry->Raycast(ray, ours);
    const float embree = EmbreeCast(mesh.Scene.get(), ray);
    hits += hit;
    if (hit != (embree >= 0)) {
      ++flagMismatches;
      continue;
    }
    if (hit && std::fabs(DistanceToStart(ours, ray) - embree) > 1e-4 * embree)
      ++distanceMismatches;
  }
  // Rays grazing a shared edge may differ, since our cast has no edge tolerance: at most one in
  // ten thousand, and at least one is allowed.
  const int allowedFlags = std::max(1, RayCount / 10000);
  std::printf(
      "%s triangles: hierarchy vs octree cast %d of %d rays differ in some bit; vs brute force %d of %d "
      "rays differ; vs Embree: %d of %d rays hit, %d hit flags differ (allowed %d), %d distances differ "
      "by more than 1e-4\n",
      size.Name, octreeMismatches, size.OctreeRays, bruteMismatches, size.BruteForceRays, hits, RayCount,
      flagMismatches, allowedFlags, distanceMismatches);
  return octreeMismatches == 0 && bruteMismatches == 0 && flagMismatches <= allowedFlags &&
         distanceMismatches == 0;
}

// --- Benchmarks ----------------------------------------------------------------------------------

void BM_BuildBVH(benchmark::State& AState) {
  TPrepared& mesh = Prepared(int(AState.range(0)));
  for (auto _ : AState) {
    AState.PauseTiming();
    auto geometry = MakeGeometry(mesh.Torus);
    AState.ResumeTiming();
    BuildBVH(geometry.get());
    AState.PauseTiming();
    geometry.reset();
    AState.ResumeTiming();
  }
}

void BM_BuildEmbree(benchmark::State& AState) {
  TPrepared& mesh = Prepared(int(AState.range(0)));
  for (auto _ : AState) {
    AState.PauseTiming();
    TEmbreeScene scene = MakeEmbreeScene(*mesh.Geometry, false);
    AState.ResumeTiming();
    rtcCommitScene(scene.get());
    AState.PauseTiming();
    scene.reset();
    AState.ResumeTiming();
  }
}

template <class TCast> void CastAll(benchmark::State& AState, size_t ACount, TCast ACast) {
  const TPrepared& mesh = Prepared(int(AState.range(0)));
  for (auto _ : AState) {
    int hits = 0;
    for (size_t r = 0; r < ACount; ++r)
      hits += ACast(mesh, mesh.Rays[r]);
    benchmark::DoNotOptimize(hits);
  }
  AState.SetItemsProcessed(int64_t(AState.iterations() * ACount));
}

void BM_RaysBVH(benchmark::State& AState) {
  CastAll(AState, RayCount, [](const TPrepared& AMesh, const TRaycastData& ARay) {
    TRaycastResult result;
    return AMesh.Geometry->Raycast(ARay, result);
  });
}

void BM_RaysBruteForce(benchmark::State& AState) {
  CastAll(AState, size_t(kSizes[AState.range(0)].BruteForceTimed),
          [](const TPrepared& AMesh, const TRaycastData& ARay) {
            TRaycastResult result;
            return BruteForceCast(*AMesh.Geometry, ARay, result);
          });
}

void BM_RaysEmbree(benchmark::State& AState) {
  CastAll(AState, RayCount, [](const TPrepared& AMesh, const TRaycastData& ARay) {
    return EmbreeCast(AMesh.Scene.get(), ARay) >= 0;
  });
}

// Prints the usual console table and keeps the median and the minimum time per iteration of each
// benchmark, so each ratio comes from this very run.
class TMedianReporter : public benchmark::ConsoleReporter {
public:
  struct TTimes {
    double Median = std::nan("");
    double Minimum = std::nan("");
  };

  void ReportRuns(const std::vector<Run>& ARuns) override {
    for (const Run& run : ARuns)
      if (run.run_type == Run::RT_Aggregate && !run.error_occurred) {
        // Keyed by name and argument, without the repetition suffix.
        TTimes& times = Times[run.run_name.function_name + "/" + run.run_name.args];
        if (run.aggregate_name == "median")
          times.Median = run.GetAdjustedRealTime();
        else if (run.aggregate_name == "min")
          times.Minimum = run.GetAdjustedRealTime();
      }
    ConsoleReporter::ReportRuns(ARuns);
  }

  std::map<std::string, TTimes> Times;
};

double Minimum(const std::vector<double>& AValues) {
  return *std::min_element(AValues.begin(), AValues.end());
}

void PrintStatistics(int ASize) {
  const TBVHGeometry& geometry = *Prepared(ASize).Geometry;
  long long leaves = 0, listed = 0, largest = 0;
  const auto visit = [&](const auto& AVisit, const TBVHNode& ANode) -> void {
    if (ANode.Children.empty()) {
      if (ANode.NumTriangles > 0) {
        ++leaves;
        listed += ANode.NumTriangles;
        largest = std::max<long long>(largest, ANode.NumTriangles);
      }
      return;
    }
    for (const TBVHNode& child : ANode.Children)
      AVisit(AVisit, child);
  };
  visit(visit, *geometry.Accelerator);
  std::printf("  %-4s octree: %lld non-empty leaves, mean leaf %.1f, largest %lld, duplication %.2f\n",
              kSizes[ASize].Name, leaves, double(listed) / double(leaves), largest,
              double(listed) / geometry.NumTriangles);
  // The root's private tree, built again here to read its size.
  const auto tree = TBVHRayTree::Build(geometry.Triangles);
  std::printf("  %-4s ray tree: %zu nodes of four children, %.1f MB with the triangle records\n",
              kSizes[ASize].Name, tree->NodeCount(), double(tree->MemoryBytes()) / 1e6);
}

// Our time per item over the peer's, as median / median and minimum / minimum; AOurItems and
// APeerItems are the items of one iteration.
TMedianReporter::TTimes Ratio(const TMedianReporter& AReporter, const std::string& AOurs, int AOurItems,
                              const std::string& APeer, int APeerItems) {
  const auto ours = AReporter.Times.find(AOurs), peer = AReporter.Times.find(APeer);
  if (ours == AReporter.Times.end() || peer == AReporter.Times.end())
    return {};
  const double scale = double(APeerItems) / AOurItems;
  return {ours->second.Median / peer->second.Median * scale,
          ours->second.Minimum / peer->second.Minimum * scale};
}

void PrintRatio(const char* AWhat, const TMedianReporter::TTimes& ARatio, double ATarget) {
  std::printf("  %-44s %8.2fx (minima %.2fx)", AWhat, ARatio.Median, ARatio.Minimum);
  if (ATarget > 0)
    std::printf("   target <= %.0fx%s", ATarget, ARatio.Median <= ATarget ? "" : "   MISSES TARGET");
  std::printf("\n");
}

std::string HugePageMode() {
  std::ifstream file("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string mode;
  std::getline(file, mode);
  return mode.empty() ? "unknown" : mode;
}

} // namespace

int main(int argc, char** argv) {
  vbench::SetAllocatorRegime();
  struct TEntry {
    const char* Name;
    void (*Function)(benchmark::State&);
  };
  for (const TEntry& entry : {TEntry{"Build/BVH", BM_BuildBVH}, TEntry{"Build/Embree", BM_BuildEmbree},
                              TEntry{"Rays/BVH", BM_RaysBVH}, TEntry{"Rays/BruteForce", BM_RaysBruteForce},
                              TEntry{"Rays/Embree", BM_RaysEmbree}})
    benchmark::RegisterBenchmark(entry.Name, entry.Function)
        ->Arg(0)
        ->Arg(1)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(kRepetitions)
        ->ComputeStatistics("min", Minimum)
        ->ReportAggregatesOnly(true);
  benchmark::Initialize(&argc, argv);

  bool passed = true;
  for (int size = 0; size < 2; ++size)
    passed = CrossCheck(size) && passed;

  TMedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf(
      "\nTriangle hierarchy against Embree, single-threaded, %d rays, medians of %d runs; transparent "
      "huge pages: %s\n",
      RayCount, kRepetitions, HugePageMode().c_str());
  for (int size = 0; size < 2; ++size) {
    std::string arg = "/";
    arg += std::to_string(size);
    std::printf(" %s triangles:\n", kSizes[size].Name);
    PrintRatio("our time per ray / Embree's",
               Ratio(reporter, "Rays/BVH" + arg, RayCount, "Rays/Embree" + arg, RayCount), 4);
    PrintRatio("our build time / Embree's", Ratio(reporter, "Build/BVH" + arg, 1, "Build/Embree" + arg, 1),
               3);
    PrintRatio(
        "brute force time per ray / ours",
        Ratio(reporter, "Rays/BruteForce" + arg, kSizes[size].BruteForceTimed, "Rays/BVH" + arg, RayCount),
        0);
  }
  for (int size = 0; size < 2; ++size)
    PrintStatistics(size);
  if (!passed)
    std::printf("Cross-checks failed: see the lines before the timings.\n");
  return passed ? 0 : 1;
}
