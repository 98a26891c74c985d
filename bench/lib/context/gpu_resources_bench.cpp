// Uploads and inflation of the GPU resource classes against the plain calls they wrap, on the
// shared EGL context (llvmpipe), each pair measured in the same run:
//   Push        a buffer object's Bind/Push/Unbind   vs glBindBuffer + glBufferData + unbind
//   PushData    a mesh's Normal stream from 48-byte vertices (position, normal, texture coordinate,
//               float colour) vs a strided copy into a reused vector + glBufferData
//   UpdateBuffer a 1024 x 1024 2D texture bitmap vs glTexSubImage2D on a texture of the same format
//   Decompress  a mesh's compressed stream vs zlib's uncompress into a preallocated buffer
// Prints each case's throughput as a fraction of its peer's and fails when one misses its goal.
// With --benchmark_repetitions the ratios use the medians. The driver's rasteriser threads play no
// part in these calls; LP_NUM_THREADS=0 keeps them out of the way all the same.
//
// Memory: sources, textures and GL buffers are made once before timing. glBufferData gives each
// upload new driver storage on both sides alike. The framework's Decompress returns a new memory
// stream per call, freed inside the timed loop, while the peer inflates into one buffer sized
// beforehand. Allocations of 64 KiB or more through operator new inside the timed loops are
// counted (the driver allocates with malloc and is not counted); PushData must make none in steady
// state, which shows that the mesh's scratch stream keeps its storage.

#include <benchmark/benchmark.h>

#include "support/bench_setup.h"
#include "support/counting_new.h"
#include "support/pair_reporter.h"
#include <epoxy/gl.h>
#include <zlib.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Buffers.OpenGL.h"
#include "context/Vantrel.Context.Buffers.h"
#include "gl/egl_context.h"
#include "gpu_resources.h"
#include "rtl/zlib_streams.h"

namespace gpubench {

TAllocationCount::TAllocationCount(benchmark::State& AState)
    : FState(AState), FStart(vbench::LargeAllocations()) {}

TAllocationCount::~TAllocationCount() {
  const auto iterations = double(FState.iterations() ? FState.iterations() : 1);
  FState.counters["large_allocs/iter"] = double(vbench::LargeAllocations() - FStart) / iterations;
}

void RegisterPair(const char* ACase, void (*AOurs)(benchmark::State&), void (*APeer)(benchmark::State&),
                  const std::vector<int64_t>& AArguments) {
  for (int64_t argument : AArguments)
    for (auto [suffix, function] : {std::pair{"_Framework", AOurs}, std::pair{"_Raw", APeer}})
      benchmark::RegisterBenchmark((std::string("BM_") + ACase + suffix).c_str(), function)
          ->Arg(argument)
          ->Unit(benchmark::kMicrosecond)
          ->UseRealTime();
}

namespace {

using namespace vantrel;
using TBytes = std::vector<uint8_t>;

constexpr int64_t KiB = 1024;
constexpr int64_t MiB = 1024 * KiB;

// Bytes that look like mesh data: smooth float values on a 1/1024 grid, which deflate to about
// a third, as vertex streams do.
TBytes MeshLikeBytes(int64_t ASize) {
  TBytes bytes(static_cast<size_t>(ASize));
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    const float value = std::round(std::sin(float(i) * 1e-4f) * 1024.0f) / 1024.0f + float(i % 48) / 4;
    std::memcpy(&bytes[i], &value, 4);
  }
  return bytes;
}

// ---- Push -------------------------------------------------------------------------------------------

void BM_Push_Framework(benchmark::State& AState) {
  const TBytes data = MeshLikeBytes(AState.range(0));
  TOwned<TBufferObject> buffer(TBufferObject::BufferObjectClass().Create(
      TBufferUsage::StaticDraw, TBufferBindingTarget::_Array, nullptr));
  {
    TAllocationCount allocations(AState);
    for (auto _ : AState) {
      TBufferObjectBinding binding(*buffer);
      buffer->Push(data.data(), int64_t(data.size()));
    }
  }
  AState.SetBytesProcessed(AState.iterations() * AState.range(0));
}

void BM_Push_Raw(benchmark::State& AState) {
  const TBytes data = MeshLikeBytes(AState.range(0));
  GLuint buffer = 0;
  glGenBuffers(1, &buffer);
  {
    TAllocationCount allocations(AState);
    for (auto _ : AState) {
      glBindBuffer(GL_ARRAY_BUFFER, buffer);
      glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(data.size()), data.data(), GL_STATIC_DRAW);
      glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
  }
  glDeleteBuffers(1, &buffer);
  AState.SetBytesProcessed(AState.iterations() * AState.range(0));
}

// ---- PushData ---------------------------------------------------------------------------------------

const TVertexFormats MeshFormat{TVertexFormat::Vertex, TVertexFormat::Normal, TVertexFormat::TexCoord0,
                                TVertexFormat::ColorF0};

TOwned<TVertexBuffer> MakeVertices(int32_t ACount) {
  auto vertices = MakeOwned<TVertexBuffer>(MeshFormat, ACount);
  const TBytes bytes = MeshLikeBytes(vertices->Size());
  std::memcpy(vertices->Buffer(), bytes.data(), bytes.size());
  return vertices;
}

void BM_PushData_Framework(benchmark::State& AState) {
  const auto vertices = MakeVertices(int32_t(AState.range(0)));
  auto mesh = MakeOwned<TMeshBufferObject>();
  // The first push sizes the scratch stream; the timed loop measures the steady state.
  mesh->PushData(TMeshBufferComponent::Normal, vertices.get());
  {
    TAllocationCount allocations(AState);
    for (auto _ : AState)
      mesh->PushData(TMeshBufferComponent::Normal, vertices.get());
  }
  AState.SetBytesProcessed(AState.iterations() * vertices->Size());
}

void BM_PushData_Raw(benchmark::State& AState) {
  const auto vertices = MakeVertices(int32_t(AState.range(0)));
  const int32_t stride = vertices->VertexSize();
  const int32_t offset = vertices->OffsetOf(TVertexFormat::Normal);
  constexpr size_t NormalSize = 12;
  TBytes scratch(size_t(vertices->Length()) * NormalSize);
  GLuint buffer = 0;
  glGenBuffers(1, &buffer);
  {
    TAllocationCount allocations(AState);
    for (auto _ : AState) {
      const uint8_t* source = vertices->Buffer() + offset;
      uint8_t* dest = scratch.data();
      for (int32_t vertex = 0; vertex < vertices->Length(); ++vertex, source += stride, dest += NormalSize)
        std::memcpy(dest, source, NormalSize);
      glBindBuffer(GL_ARRAY_BUFFER, buffer);
      glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(scratch.size()), scratch.data(), GL_STATIC_DRAW);
      glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
  }
  glDeleteBuffers(1, &buffer);
  AState.SetBytesProcessed(AState.iterations() * vertices->Size());
}

// ---- Decompress -------------------------------------------------------------------------------------

struct TPacked {
  TBytes Plain;
  TBytes Packed;
};

TPacked Pack(int64_t ASize) {
  TPacked result{MeshLikeBytes(ASize), {}};
  result.Packed = rtl::ZCompress(result.Plain);
  return result;
}

void BM_Decompress_Framework(benchmark::State& AState) {
  const TPacked data = Pack(AState.range(0));
  auto mesh = MakeOwned<TMeshBufferObject>();
  auto stream = MakeOwned<TMemoryStream>();
  stream->WriteBuffer(data.Packed.data(), int64_t(data.Packed.size()));
  mesh->SetCompressed(TMeshBufferComponent::Normal, TOwned<TStream>(stream.release()));
  const auto first = mesh->Decompress(TMeshBufferComponent::Normal);
  if (first->GetSize() != int64_t(data.Plain.size()) ||
      std::memcmp(first->Memory(), data.Plain.data(), data.Plain.size()) != 0)
    AState.SkipWithError("Decompress returned other bytes");
  {
    TAllocationCount allocations(AState);
    for (auto _ : AState) {
      auto inflated = mesh->Decompress(TMeshBufferComponent::Normal);
      benchmark::DoNotOptimize(inflated->Memory());
    }
  }
  AState.SetBytesProcessed(AState.iterations() * AState.range(0));
}

void BM_Decompress_Raw(benchmark::State& AState) {
  const TPacked data = Pack(AState.range(0));
  TBytes output(data.Plain.size());
  {
    TAllocationCount allocations(AState);
    for (auto _ : AState) {
      uLongf size = output.size();
      if (uncompress(output.data(), &size, data.Packed.data(), uLong(data.Packed.size())) != Z_OK)
        AState.SkipWithError("uncompress failed");
      benchmark::DoNotOptimize(output.data());
    }
  }
  AState.SetBytesProcessed(AState.iterations() * AState.range(0));
}

// ---- Report -----------------------------------------------------------------------------------------

class TRatioReporter : public vbench::TPairReporter {
public:
  // Prints the framework's throughput over the peer's; false when it stays below AGoal (no goal
  // when AGoal is 0).
  bool PrintRatio(const std::string& ACase, const std::string& AArgument, double AGoal) const {
    const auto times = Times(ACase, AArgument);
    if (!times)
      return false;
    const double ratio = times->Peer / times->Ours;
    const bool met = AGoal <= 0 || ratio >= AGoal;
    std::printf("  %-12s %-9s %10.1f us / %10.1f us = %.3f (min %.3f)", ACase.c_str(), AArgument.c_str(),
                times->Peer, times->Ours, ratio, times->PeerMin / times->OursMin);
    if (AGoal > 0)
      std::printf("  (goal %.2f)%s", AGoal, met ? "" : "  BELOW THE GOAL");
    std::printf("\n");
    return met;
  }
};

} // namespace
} // namespace gpubench

int main(int argc, char** argv) {
  using namespace gpubench;
  gl::AcquireContext();
  vantrel::InitializeBuffersOpenGL();
  RegisterPair("Push", BM_Push_Framework, BM_Push_Raw, {64 * KiB, 1 * MiB, 16 * MiB});
  RegisterPair("PushData", BM_PushData_Framework, BM_PushData_Raw, {100'000, 1'000'000});
  RegisterTextureBenchmarks();
  RegisterPair("Decompress", BM_Decompress_Framework, BM_Decompress_Raw, {1 * MiB, 16 * MiB});
  vbench::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nThroughput of the framework call / its raw peer, same run (peer time / framework time):\n");
  bool met = reporter.PrintRatio("Push", std::to_string(64 * KiB), 0);
  for (int64_t size : {1 * MiB, 16 * MiB})
    met &= reporter.PrintRatio("Push", std::to_string(size), 0.9);
  for (int64_t count : {100'000, 1'000'000})
    met &= reporter.PrintRatio("PushData", std::to_string(count), 0.67);
  for (const char* format : {"0", "1"})
    met &= reporter.PrintRatio("UpdateBuffer", format, 0.9);
  for (int64_t size : {1 * MiB, 16 * MiB})
    met &= reporter.PrintRatio("Decompress", std::to_string(size), 0.85);
  std::printf("  (UpdateBuffer 0 is RGBA8/BGRA bytes, 1 is RGBA16F/half floats, both 1024 x 1024)\n");
  return met ? 0 : 1;
}
