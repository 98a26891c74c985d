// Model animation costs per frame.
//
// 1. Key-frame evaluation: one skeleton step (TSkeletonKeyAnimation::ProcessAnimation: the parent's
//    update bracket, the clock handed to every track, each track's key search, interpolation and
//    property write, the matrices rebuilt at the bracket's end) over 200 tracks of 100 keys, one
//    element each, on 200 joints; point tracks ("Position.Point"), then quaternion tracks
//    ("Quaternion"). Peer: a raw loop with the same linear key scan (the first pair in key order
//    around t) and the same interpolation, into plain arrays. Reported: ns per property per frame
//    and ours / peer; target <= 1 us per property per frame for point tracks.
// 2. The cache hit path of the 100,000-vertex skinned mesh (the skinning benchmark's scene):
//    GetCurrentCachedFrame alone (monitor, state check, frame lookup), ns per call; then the
//    lookup plus the Decompress of the frame's 1.2 MB position stream, against memcpy of 1.2 MB
//    and against CPU skinning of the same mesh (AnimateSkin). Skinning / cache hit is the
//    caching's payoff.
// 3. Caching-run frames per second: one real caching run (CacheAnimations, compressed positions,
//    zlib level 9), and the compression of one cached frame's positions at level 9 (ours) against
//    level 1, turned into frames per second with the skinning of the same mesh, so the cost of
//    the highest level is known.
//
// Every buffer and scene is built and touched before timing. The program checks that each timed
// path did its work (ours and the peer wrote the same values, the cached frame inflates to the
// skinned positions, compressed sizes are sane), and fails at the end when a check or the point
// track target fails.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "support/bench_setup.h"
#include "support/sample_reporter.h"
#include "support/skinned_scene.h"

#include "context/Vantrel.Context.Buffers.h"
#include "rtl/zlib_streams.h"
#include "scene/Vantrel.Transform.h"
#include "ui/animations.h"
#include "utils/Vantrel.Utils.Quaternions.h"

namespace {

using namespace vantrel;

constexpr int32_t TrackCount = 200;
constexpr int32_t KeyCount = 100;
// The clock's step per frame: not a divisor of the key spacing, so the scans vary in length.
constexpr double StepTime = 0.0173;

double NextTime(double ATime) {
  const double next = ATime + StepTime;
  return next > 1 ? next - 1 : next;
}

float KeyTime(int32_t AKey) {
  return float(AKey) / float(KeyCount - 1);
}

TPoint3D PointValue(int32_t ATrack, int32_t AKey) {
  return {float(ATrack % 13) + float(AKey), float(AKey % 7) * 0.5f, float(ATrack) * 0.01f};
}

TQuaternion3D QuaternionValue(int32_t ATrack, int32_t AKey) {
  const float angle = float((ATrack * 7 + AKey * 11) % 360) * float(M_PI / 180);
  return TQuaternion3D::Create({0, 0, 1}, angle);
}

// The linear scan of the key collection: the first pair in key order with k0 <= t <= k1.
bool FindPair(const std::vector<float>& AKeys, double ATime, int32_t& AIndex) {
  for (int32_t i = 0; i + 1 < int32_t(AKeys.size()); ++i)
    if (double(AKeys[size_t(i)]) <= ATime && ATime <= double(AKeys[size_t(i + 1)])) {
      AIndex = i;
      return true;
    }
  return false;
}

TQuaternion3D Slerp(const TQuaternion3D& A, const TQuaternion3D& B, float AFactor) {
  TVector3D from, to;
  QuaternionFromMatrix(A.ToMatrix(), from);
  QuaternionFromMatrix(B.ToMatrix(), to);
  const TVector3D result = QuaternionSlerp(AFactor, from, to);
  return TQuaternion3D({result.X, result.Y, result.Z}, result.W);
}

// ---- 1. key-frame evaluation ----

enum class TTrackKind { Point, Quaternion };

// 200 joints under one transform, one track each on a skeleton whose parent is the transform.
class TKeyScene {
public:
  explicit TKeyScene(TTrackKind AKind) : FKind(AKind) {
    FRoot = rtl::MakeOwned<TVantrelTransform>(nullptr);
    FSkeleton = rtl::New<TSkeletonKeyAnimation>(FRoot.get());
    FSkeleton->SetParent(FRoot.get());
    FSkeleton->SetDuration(1);
    FKeys.resize(KeyCount);
    for (int32_t k = 0; k < KeyCount; ++k)
      FKeys[size_t(k)] = KeyTime(k);
    for (int32_t j = 0; j < TrackCount; ++j) {
      auto* joint = rtl::New<TVantrelJoint>(FRoot.get());
      joint->SetParent(FRoot.get());
      FJoints.push_back(joint);
      FSkeleton->AddInterpolator(MakeTrack(joint, j));
    }
    FPeerPoints.resize(TrackCount);
    FPeerQuaternions.resize(TrackCount);
  }

  void Step(double ATime) {
    FSkeleton->SetTime(ATime);
    FSkeleton->ProcessAnimation();
  }

  // The peer: the same scan and interpolation into plain arrays.
  void PeerStep(double ATime) {
    const float t = float(ATime);
    for (int32_t j = 0; j < TrackCount; ++j) {
      int32_t i = 0;
      if (!FindPair(FKeys, t, i) || FKeys[size_t(i + 1)] == FKeys[size_t(i)])
        continue;
      const float f = (t - FKeys[size_t(i)]) / (FKeys[size_t(i + 1)] - FKeys[size_t(i)]);
      if (FKind == TTrackKind::Point) {
        const TPoint3D a = FPoints[size_t(j) * KeyCount + size_t(i)];
        const TPoint3D b = FPoints[size_t(j) * KeyCount + size_t(i) + 1];
        FPeerPoints[size_t(j)] = a + (b - a) * f;
      } else {
        FPeerQuaternions[size_t(j)] = Slerp(FQuaternions[size_t(j) * KeyCount + size_t(i)],
                                            FQuaternions[size_t(j) * KeyCount + size_t(i) + 1], f);
      }
    }
  }

  // Both sides at one time wrote the same values.
  bool Agree(double ATime) {
    Step(ATime);
    PeerStep(ATime);
    for (int32_t j = 0; j < TrackCount; ++j) {
      TVantrelJoint* joint = FJoints[size_t(j)];
      if (FKind == TTrackKind::Point) {
        const TPoint3D ours = joint->Position()->Point(), peer = FPeerPoints[size_t(j)];
        if (std::fabs(ours.X - peer.X) > 1e-4f || std::fabs(ours.Y - peer.Y) > 1e-4f ||
            std::fabs(ours.Z - peer.Z) > 1e-4f)
          return false;
        // The matrix follows the written position.
        if (std::fabs(joint->LocalMatrix().m41 - peer.X) > 1e-3f)
          return false;
      } else {
        const TQuaternion3D ours = joint->Quaternion(), peer = FPeerQuaternions[size_t(j)];
        if (std::fabs(ours.RealPart - peer.RealPart) > 1e-4f || std::fabs(ours.ImagPart.Z - peer.ImagPart.Z) > 1e-4f)
          return false;
      }
    }
    return true;
  }

private:
  TTrackKind FKind;
  rtl::TOwned<TVantrelTransform> FRoot;
  TSkeletonKeyAnimation* FSkeleton = nullptr;
  std::vector<TVantrelJoint*> FJoints;
  std::vector<float> FKeys;
  std::vector<TPoint3D> FPoints, FPeerPoints;
  std::vector<TQuaternion3D> FQuaternions, FPeerQuaternions;

  TPropertyKeyAnimation* MakeTrack(TVantrelJoint* AJoint, int32_t ATrack) {
    TPropertyKeyAnimation* track = nullptr;
    if (FKind == TTrackKind::Point) {
      auto* points = rtl::New<TPoint3DKeyAnimation>(FRoot.get());
      points->SetPropertyName("Position.Point");
      for (int32_t k = 0; k < KeyCount; ++k) {
        auto* key = static_cast<TPoint3DKey*>(points->Keys()->Add());
        key->SetKey(KeyTime(k));
        key->SetValue(AJoint, PointValue(ATrack, k));
        FPoints.push_back(PointValue(ATrack, k));
      }
      track = points;
    } else {
      auto* rotations = rtl::New<TQuaternion3DKeyAnimation>(FRoot.get());
      for (int32_t k = 0; k < KeyCount; ++k) {
        auto* key = static_cast<TQuaternion3DKey*>(rotations->Keys()->Add());
        key->SetKey(KeyTime(k));
        key->SetValue(AJoint, QuaternionValue(ATrack, k));
        FQuaternions.push_back(QuaternionValue(ATrack, k));
      }
      track = rotations;
    }
    track->SetParent(AJoint);
    track->SetDuration(1);
    track->AddElement(AJoint, true);
    return track;
  }
};

std::unique_ptr<TKeyScene> GPointScene, GQuaternionScene;

void BM_Keys_Point_Ours(benchmark::State& AState) {
  double t = 0;
  for (auto _ : AState) {
    GPointScene->Step(t);
    t = NextTime(t);
  }
}
BENCHMARK(BM_Keys_Point_Ours)->Unit(benchmark::kMicrosecond);

void BM_Keys_Point_Peer(benchmark::State& AState) {
  double t = 0;
  for (auto _ : AState) {
    GPointScene->PeerStep(t);
    benchmark::ClobberMemory();
    t = NextTime(t);
  }
}
BENCHMARK(BM_Keys_Point_Peer)->Unit(benchmark::kMicrosecond);

void BM_Keys_Quaternion_Ours(benchmark::State& AState) {
  double t = 0;
  for (auto _ : AState) {
    GQuaternionScene->Step(t);
    t = NextTime(t);
  }
}
BENCHMARK(BM_Keys_Quaternion_Ours)->Unit(benchmark::kMicrosecond);

void BM_Keys_Quaternion_Peer(benchmark::State& AState) {
  double t = 0;
  for (auto _ : AState) {
    GQuaternionScene->PeerStep(t);
    benchmark::ClobberMemory();
    t = NextTime(t);
  }
}
BENCHMARK(BM_Keys_Quaternion_Peer)->Unit(benchmark::kMicrosecond);

// ---- 2. the cache hit path ----

// Cached at 10 frames per second (11 frames) so that the caching run stays short.
constexpr int32_t CacheFrameRate = 10;
constexpr int32_t HitFrame = 5;
constexpr size_t PositionBytes = size_t(vbench::SkinnedVertexCount) * 12;

vbench::TSkinnedScene* GCached = nullptr;
TVantrelAnimation* GWalk = nullptr;
std::vector<uint8_t> GCopyFrom, GCopyTo;

void BM_CacheHit_Lookup(benchmark::State& AState) {
  for (auto _ : AState)
    benchmark::DoNotOptimize(GWalk->GetCurrentCachedFrame(GCached->MeshDef()));
}
BENCHMARK(BM_CacheHit_Lookup)->Unit(benchmark::kNanosecond);

void BM_CacheHit_Decompress(benchmark::State& AState) {
  for (auto _ : AState) {
    TMeshBufferObject* frame = GWalk->GetCurrentCachedFrame(GCached->MeshDef());
    rtl::TOwned<rtl::TMemoryStream> positions = frame->Decompress(TMeshBufferComponent::Vertex);
    benchmark::DoNotOptimize(positions->Memory());
  }
}
BENCHMARK(BM_CacheHit_Decompress)->Unit(benchmark::kMillisecond);

void BM_Memcpy1200KB(benchmark::State& AState) {
  for (auto _ : AState) {
    std::memcpy(GCopyTo.data(), GCopyFrom.data(), PositionBytes);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Memcpy1200KB)->Unit(benchmark::kMillisecond);

// The same mesh skinned on the CPU, as the skinning benchmark measures it (another scene without
// a manager, so the skinning is never skipped for a cached animation).
vbench::TSkinnedScene* GSkinned = nullptr;

void BM_Skin_SameMesh(benchmark::State& AState) {
  for (auto _ : AState) {
    GSkinned->Armature()->AnimateSkin(nullptr);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Skin_SameMesh)->Unit(benchmark::kMillisecond);

// ---- 3. caching-run frames ----

int32_t GRunFrames = 0;

void BM_CachingRun(benchmark::State& AState) {
  for (auto _ : AState) {
    GCached->Walk()->ClearCache();
    GCached->ModelDef()->CacheAnimations(
        {}, {TAnimationCachingFlag::Compressed, TAnimationCachingFlag::VertexPosition}, GCached->Model());
  }
  GRunFrames = GCached->Walk()->GetFrameCount();
}
BENCHMARK(BM_CachingRun)->Unit(benchmark::kMillisecond)->Iterations(2);

// The positions of one cached frame, as the run compressed them.
std::vector<uint8_t> GFramePositions;
size_t GLevel9Size = 0, GLevel1Size = 0;

void BM_Compress_Level9(benchmark::State& AState) {
  for (auto _ : AState) {
    rtl::TOwned<rtl::TMemoryStream> packed =
        TAnimationFrameCompression::Compress(GFramePositions.data(), int64_t(GFramePositions.size()));
    GLevel9Size = size_t(packed->GetSize());
  }
}
BENCHMARK(BM_Compress_Level9)->Unit(benchmark::kMillisecond);

void BM_Compress_Level1(benchmark::State& AState) {
  for (auto _ : AState) {
    const rtl::TBytes packed = rtl::ZCompress(GFramePositions, rtl::TZCompressionLevel::clFastest);
    GLevel1Size = packed.size();
  }
}
BENCHMARK(BM_Compress_Level1)->Unit(benchmark::kMillisecond);

// The cached frame inflates to the positions of a skinning at its time.
bool CachedFrameHoldsTheSkinnedPose() {
  TMeshBufferObject* frame = GWalk->GetCurrentCachedFrame(GCached->MeshDef());
  if (!frame)
    return false;
  rtl::TOwned<rtl::TMemoryStream> positions = frame->Decompress(TMeshBufferComponent::Vertex);
  if (size_t(positions->GetSize()) != PositionBytes)
    return false;
  GFramePositions.assign(positions->Memory(), positions->Memory() + PositionBytes);
  // Frame k holds the root k / (N - 1) above its bind place: every vertex moved by that over the bind pose.
  const float shift = float(HitFrame) / float(GCached->Walk()->GetFrameCount() - 1);
  const ui::TVertexBuffer* bind = GCached->MeshDef()->GetVertexSource();
  const auto* data = reinterpret_cast<const float*>(positions->Memory());
  for (int32_t v = 0; v < vbench::SkinnedVertexCount; v += 997) {
    const TPoint3D p = bind->GetVertices(v);
    if (std::fabs(data[3 * v] - p.X) > 1e-3f || std::fabs(data[3 * v + 1] - (p.Y + shift)) > 1e-3f) {
      std::printf("vertex %d: cached (%g, %g), expected (%g, %g)\n", v, data[3 * v], data[3 * v + 1], p.X, p.Y + shift);
      return false;
    }
  }
  return true;
}

std::optional<double> Ratio(const vbench::TSampleReporter& AReporter, const char* AOurs, const char* APeer) {
  const auto ours = AReporter.MedianTime(AOurs), peer = AReporter.MedianTime(APeer);
  if (!ours || !peer)
    return std::nullopt;
  return *ours / *peer;
}

std::optional<double> MinRatio(const vbench::TSampleReporter& AReporter, const char* AOurs, const char* APeer) {
  const auto ours = AReporter.MinTime(AOurs), peer = AReporter.MinTime(APeer);
  if (!ours || !peer)
    return std::nullopt;
  return *ours / *peer;
}

} // namespace

int main(int argc, char** argv) {
  vbench::InitializeSkinnedSceneUnits();
  vbench::Initialize(&argc, argv);
  std::printf("buffers: scenes, key arrays, cached frames and copy buffers allocated and touched before timing\n");

  GPointScene = std::make_unique<TKeyScene>(TTrackKind::Point);
  GQuaternionScene = std::make_unique<TKeyScene>(TTrackKind::Quaternion);
  bool checks = GPointScene->Agree(0.37) && GQuaternionScene->Agree(0.37);
  std::printf("key tracks: ours and the peer wrote the same values: %s\n", checks ? "yes" : "NO");

  GCached = new vbench::TSkinnedScene(CacheFrameRate);
  GCached->ModelDef()->CacheAnimations({}, {TAnimationCachingFlag::Compressed, TAnimationCachingFlag::VertexPosition},
                                       GCached->Model());
  GWalk = GCached->Model()->AnimationManager()->PlayAnimation("Walk");
  if (GWalk)
    GWalk->SetFixedCacheFrame(HitFrame);
  const bool cached = GWalk && GCached->Walk()->GetBufferingState() == TAnimationBufferingState::Ready &&
                      CachedFrameHoldsTheSkinnedPose();
  std::printf("cache: %d frames ready, frame %d inflates to the skinned pose: %s\n",
              GCached->Walk()->GetFrameCount(), HitFrame, cached ? "yes" : "NO");
  checks = checks && cached;
  GSkinned = new vbench::TSkinnedScene();
  GSkinned->Model()->FreeAnimationManager();
  GSkinned->Pose();
  GSkinned->Armature()->AnimateSkin(nullptr);
  GCopyFrom.assign(PositionBytes, 1);
  GCopyTo.assign(PositionBytes, 2);

  vbench::TSampleReporter reporter;
  if (checks)
    benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  bool met = checks;
  const auto perProperty = [&](const char* AName) {
    const auto median = reporter.MedianTime(AName);
    return median ? *median * 1000.0 / TrackCount : 0.0; // us per step -> ns per property
  };
  for (const char* kind : {"Point", "Quaternion"}) {
    const std::string ours = std::string("BM_Keys_") + kind + "_Ours", peer = std::string("BM_Keys_") + kind + "_Peer";
    const auto ratio = Ratio(reporter, ours.c_str(), peer.c_str());
    const auto minRatio = MinRatio(reporter, ours.c_str(), peer.c_str());
    if (!ratio) {
      std::printf("key evaluation, %s tracks: not measured\n", kind);
      met = false;
      continue;
    }
    const double ns = perProperty(ours.c_str());
    const bool point = std::string(kind) == "Point";
    std::printf("key evaluation, 200 %s tracks x 100 keys: ours %.1f ns, peer %.1f ns per property per frame, "
                "ours / peer %.2fx (min %.2fx)%s\n",
                kind, ns, perProperty(peer.c_str()), *ratio, *minRatio,
                point ? (ns <= 1000 ? ", target <= 1000 ns met" : ", target <= 1000 ns  ABOVE TARGET") : "");
    if (point && ns > 1000)
      met = false;
  }

  const auto lookup = reporter.MedianTime("BM_CacheHit_Lookup");
  const auto hit = reporter.MedianTime("BM_CacheHit_Decompress");
  const auto copy = reporter.MedianTime("BM_Memcpy1200KB");
  const auto skin = reporter.MedianTime("BM_Skin_SameMesh");
  if (!lookup || !hit || !copy || !skin) {
    std::printf("cache hit: not measured\n");
    met = false;
  } else {
    std::printf("cache hit, 100k vertices: GetCurrentCachedFrame %.1f ns per call; lookup + Decompress of 1.2 MB "
                "%.3f ms; memcpy 1.2 MB %.3f ms; CPU skinning %.3f ms\n",
                *lookup, *hit, *copy, *skin);
    std::printf("cache hit / memcpy %.1fx (min %.1fx); skinning / cache hit %.2fx (min %.2fx): the caching's payoff\n",
                *hit / *copy, *MinRatio(reporter, "BM_CacheHit_Decompress", "BM_Memcpy1200KB"), *skin / *hit,
                *MinRatio(reporter, "BM_Skin_SameMesh", "BM_CacheHit_Decompress"));
  }

  const auto run = reporter.MedianTime("BM_CachingRun/iterations:2");
  const auto level9 = reporter.MedianTime("BM_Compress_Level9");
  const auto level1 = reporter.MedianTime("BM_Compress_Level1");
  if (!run || !level9 || !level1 || !skin || GLevel9Size == 0 || GLevel1Size == 0 ||
      GLevel9Size >= PositionBytes) {
    std::printf("caching frames: not measured\n");
    met = false;
  } else {
    std::printf("caching run (level 9, compressed positions): %d frames in %.1f ms, %.1f frames/s\n", GRunFrames,
                *run, GRunFrames * 1000.0 / *run);
    std::printf("compressing one frame's 1.2 MB of positions: level 9 %.2f ms (%zu bytes), level 1 %.2f ms (%zu "
                "bytes), level 9 / level 1 %.2fx; with the frame's skinning (%.2f ms): level 9 %.1f frames/s, "
                "level 1 %.1f frames/s\n",
                *level9, GLevel9Size, *level1, GLevel1Size, *level9 / *level1, *skin, 1000.0 / (*skin + *level9),
                1000.0 / (*skin + *level1));
  }

  GWalk = nullptr;
  delete GSkinned;
  delete GCached;
  GPointScene.reset();
  GQuaternionScene.reset();
  return met ? 0 : 1;
}
