// The view frustum's box test against a plain p-vertex test written here as its peer, both over
// the same one million seeded boxes, single-threaded. Prints boxes per second for both and the
// ratio, and fails when the frustum's test stays below 20 million boxes per second.
//
// The boxes mix three kinds in equal parts: inside the view volume, outside it, and straddling one
// of its planes. The two tests need not agree on every box: the frustum answers "visible" as soon
// as a box straddles the first plane it is tested against. Memory: the boxes are made once, before
// timing; neither test allocates.

#include <benchmark/benchmark.h>

#include "support/bench_setup.h"
#include "support/sample_reporter.h"

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Frustum.h"

namespace {

using namespace vantrel;

constexpr int BoxCount = 1'000'000;
constexpr double TargetBoxesPerSecond = 20e6;

const TVantrelFrustum& Frustum() {
  static const TVantrelFrustum frustum =
      TVantrelFrustum::Create(45, 4.0f / 3, 1, 100, {0, 0, 10}, {0, 0, -1}, {0, 1, 0}, {1, 0, 0});
  return frustum;
}

const std::vector<TBoundingBox>& Boxes() {
  static const std::vector<TBoundingBox> boxes = [] {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> unit(0, 1), size(0.1f, 2);
    std::vector<TBoundingBox> result;
    result.reserve(BoxCount);
    for (int i = 0; i < BoxCount; ++i) {
      // Depth in front of the camera, and a lateral position as a fraction of the half width there.
      const float depth = 2 + 90 * unit(random);
      const float halfHeight = depth * 0.41421356f, halfWidth = halfHeight * 4 / 3;
      float fraction;
      switch (i % 3) {
      case 0: // inside
        fraction = -0.6f + 1.2f * unit(random);
        break;
      case 1: // outside, to either side
        fraction = (unit(random) < 0.5f ? -1 : 1) * (1.5f + 2 * unit(random));
        break;
      default: // straddling the left or right plane
        fraction = unit(random) < 0.5f ? -1 : 1;
      }
      const TPoint3D centre{fraction * halfWidth, (unit(random) - 0.5f) * halfHeight, 10 - depth};
      const TPoint3D half{size(random), size(random), size(random)};
      result.push_back(TBoundingBox::Create(centre - half, centre + half));
    }
    return result;
  }();
  return boxes;
}

// The usual test: a box is outside as soon as its corner furthest along a plane's inward normal
// (the p-vertex) is not inside that plane.
bool PVertexInFrustum(const TVantrelFrustumType& APlanes, const TBoundingBox& ABox) {
  for (const TVector3D& plane : APlanes) {
    const double x = plane.X >= 0 ? ABox.Right : ABox.Left;
    const double y = plane.Y >= 0 ? ABox.Bottom : ABox.Top;
    const double z = plane.Z >= 0 ? ABox.Far : ABox.Near;
    if (!(plane.X * x + plane.Y * y + plane.Z * z + plane.W > 0))
      return false;
  }
  return true;
}

void BM_Frustum(benchmark::State& AState) {
  const TVantrelFrustum& frustum = Frustum();
  for (auto _ : AState) {
    int visible = 0;
    for (const TBoundingBox& box : Boxes())
      visible += frustum.IsAABBInFrustum(box);
    benchmark::DoNotOptimize(visible);
  }
  AState.SetItemsProcessed(AState.iterations() * BoxCount);
}

void BM_PVertex(benchmark::State& AState) {
  const TVantrelFrustumType& planes = Frustum().Planes();
  for (auto _ : AState) {
    int visible = 0;
    for (const TBoundingBox& box : Boxes())
      visible += PVertexInFrustum(planes, box);
    benchmark::DoNotOptimize(visible);
  }
  AState.SetItemsProcessed(AState.iterations() * BoxCount);
}

} // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("IsAABBInFrustum/TVantrelFrustum", BM_Frustum)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("IsAABBInFrustum/PVertex", BM_PVertex)->Unit(benchmark::kMillisecond);
  vbench::Initialize(&argc, argv);
  Boxes();
  vbench::TSampleReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto frustum = reporter.MedianRate("IsAABBInFrustum/TVantrelFrustum");
  const auto peer = reporter.MedianRate("IsAABBInFrustum/PVertex");
  if (!frustum || !peer)
    return 1;
  const bool fastEnough = *frustum >= TargetBoxesPerSecond;
  std::printf("\nIsAABBInFrustum over %d boxes, single-threaded (target %.0f M boxes/s):\n", BoxCount,
              TargetBoxesPerSecond / 1e6);
  std::printf("  TVantrelFrustum %8.1f M boxes/s%s\n", *frustum / 1e6,
              fastEnough ? "" : "  BELOW TARGET");
  std::printf("  p-vertex peer   %8.1f M boxes/s\n", *peer / 1e6);
  std::printf("  TVantrelFrustum / p-vertex: %.2fx\n", *frustum / *peer);
  return fastEnough ? 0 : 1;
}
