// Smooth normals of mesh definitions on UV spheres with split vertices (every triangle its own
// three vertices, as importers deliver them). At 10k vertices the default method's grid runs
// against its plain reference loop (outputs compared byte for byte first); at 100k and 1M against
// the fastest method, which only sums per index and so is the linear floor. Vertex and index
// buffers are made once per size; each iteration writes the normals of the same buffer again.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <numbers>

#include "definitions/Vantrel.DefTypes.h"
#include "support/bench_setup.h"
#include "support/ratio_reporter.h"

namespace {

using namespace vantrel;

constexpr float WeldEpsilon = 0.0001f;

struct TSphere {
  std::unique_ptr<TVertexBuffer> Vertices;
  std::unique_ptr<TIndexBuffer> Indices;
  std::vector<TPoint3D> FaceNormals;
};

// About AVertices split vertices: rings x segments quads, two triangles of three vertices each.
TSphere& Sphere(int32_t AVertices) {
  static std::map<int32_t, TSphere> spheres;
  TSphere& sphere = spheres[AVertices];
  if (sphere.Vertices)
    return sphere;
  const int segments = std::max(8, int(std::sqrt(AVertices / 6.0)));
  const int rings = std::max(4, AVertices / (6 * segments));
  const int32_t count = rings * segments * 6;
  sphere.Vertices = std::make_unique<TVertexBuffer>(TCustomMeshDef::DefaultVertexFormat(), count);
  sphere.Indices = std::make_unique<TIndexBuffer>(count, TIndexFormat::UInt32);
  const auto at = [&](int I, int J) {
    if (I == 0 || I == rings)
      return TPoint3D{0, I == 0 ? 1.0f : -1.0f, 0};
    const double theta = std::numbers::pi * I / rings, phi = 2 * std::numbers::pi * (J % segments) / segments;
    return TPoint3D{f32(std::sin(theta) * std::cos(phi)), f32(std::cos(theta)), f32(std::sin(theta) * std::sin(phi))};
  };
  int32_t v = 0;
  for (int i = 0; i < rings; ++i)
    for (int j = 0; j < segments; ++j)
      for (const TPoint3D& p : {at(i, j), at(i + 1, j + 1), at(i + 1, j), at(i, j), at(i, j + 1), at(i + 1, j + 1)}) {
        sphere.Vertices->SetVertices(v, p);
        sphere.Indices->SetIndices(v, uint32_t(v));
        ++v;
      }
  return sphere;
}

void Smooth(benchmark::State& AState, void (*ARun)(TSphere&)) {
  TSphere& sphere = Sphere(int32_t(AState.range(0)));
  for (auto _ : AState) {
    ARun(sphere);
    benchmark::ClobberMemory();
  }
  AState.SetItemsProcessed(int64_t(AState.iterations()) * sphere.Vertices->Length());
  AState.counters["vertices"] = double(sphere.Vertices->Length());
}

void RunGrid(TSphere& ASphere) {
  TMeshDef::ComputeFaceNormals(*ASphere.Vertices, *ASphere.Indices, ASphere.FaceNormals, false);
  TMeshDef::ComputeSmoothNormalsGrid(*ASphere.Vertices, *ASphere.Indices, WeldEpsilon, ASphere.FaceNormals);
}

void RunReference(TSphere& ASphere) {
  TMeshDef::ComputeFaceNormals(*ASphere.Vertices, *ASphere.Indices, ASphere.FaceNormals, false);
  TMeshDef::ComputeSmoothNormalsReference(*ASphere.Vertices, *ASphere.Indices, WeldEpsilon, ASphere.FaceNormals);
}

void RunFastest(TSphere& ASphere) {
  TMeshDef::ComputeSmoothNormals(*ASphere.Vertices, *ASphere.Indices, TMeshDefCalculateNormalMethod::cnmFastest,
                                 WeldEpsilon, ASphere.FaceNormals);
}

void BM_Grid(benchmark::State& AState) { Smooth(AState, RunGrid); }
void BM_Reference(benchmark::State& AState) { Smooth(AState, RunReference); }
void BM_Fastest(benchmark::State& AState) { Smooth(AState, RunFastest); }

// The grid must give the reference's bytes before either is timed.
bool GridEqualsReference(int32_t AVertices) {
  TSphere& sphere = Sphere(AVertices);
  RunReference(sphere);
  std::vector<uint8_t> reference(sphere.Vertices->Buffer(), sphere.Vertices->Buffer() + sphere.Vertices->Size());
  for (int32_t v = 0; v < sphere.Vertices->Length(); ++v)
    sphere.Vertices->SetNormals(v, {});
  RunGrid(sphere);
  return std::memcmp(reference.data(), sphere.Vertices->Buffer(), reference.size()) == 0;
}

// The normals must be the welded ones: unit length and along the position (their sign follows
// the winding).
bool NormalsAreSmooth(int32_t AVertices) {
  const TVertexBuffer& vertices = *Sphere(AVertices).Vertices;
  for (int32_t v = 0; v < vertices.Length(); ++v)
    if (std::abs(vertices.GetNormals(v).DotProduct(vertices.GetVertices(v))) < 0.99f)
      return false;
  return true;
}

} // namespace

int main(int argc, char** argv) {
  vbench::Initialize(&argc, argv);
  const bool equal = GridEqualsReference(10'000);
  std::printf("grid equals reference at 10k vertices: %s\n", equal ? "yes" : "NO");
  benchmark::RegisterBenchmark("BM_Grid", BM_Grid)->Arg(10'000)->Arg(100'000)->Arg(1'000'000);
  benchmark::RegisterBenchmark("BM_Reference", BM_Reference)->Arg(10'000)->Iterations(1);
  benchmark::RegisterBenchmark("BM_Fastest", BM_Fastest)->Arg(100'000)->Arg(1'000'000);
  vbench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  RunGrid(Sphere(1'000'000));
  const bool smooth = NormalsAreSmooth(1'000'000);
  std::printf("grid normals at 1M vertices lie along the positions: %s\n", smooth ? "yes" : "NO");
  bool ok = equal && smooth;
  ok = reporter.PrintRatio("BM_Grid/10000", "BM_Reference/10000/iterations:1",
                           "smooth normals, 10k vertices, grid vs reference", 100) &&
       ok;
  // Against the linear floor the ratio is for scale: the grid also welds, the floor only sums.
  reporter.PrintRatio("BM_Grid/100000", "BM_Fastest/100000", "smooth normals, 100k vertices, grid vs fastest", 0);
  reporter.PrintRatio("BM_Grid/1000000", "BM_Fastest/1000000", "smooth normals, 1M vertices, grid vs fastest", 0);
  for (const char* name : {"BM_Grid/100000", "BM_Grid/1000000"})
    if (const auto rate = reporter.MedianRate(name))
      std::printf("%s: %.3g vertices/s\n", name, *rate);
  return ok ? 0 : 1;
}
