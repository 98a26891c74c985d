// The static build of a mesh definition on the UI thread: 1M vertices of the default 72-byte
// format (72 MB) and 6M 32-bit indices (24 MB), against raw glGenBuffers + glBufferData of the
// same two blocks. Both sides make fresh GL buffers each iteration and free the previous ones
// (the framework when the definition leaves the static state, the raw side with glDeleteBuffers),
// and both finish with glFinish, so the upload is inside the time. The sources are made once.

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstdio>

#include "context/Vantrel.Context.Buffers.h"
#include "definitions/Vantrel.DefTypes.h"
#include "support/bench_setup.h"
#include "support/gl_start.h"
#include "support/ratio_reporter.h"

namespace {

using namespace vantrel;

constexpr int32_t VertexCount = 1'000'000;
constexpr int32_t IndexCount = 6'000'000;

TMeshDef& Mesh() {
  static TMeshDef* mesh = [] {
    auto* result = New<TMeshDef>();
    result->SetId("upload");
    result->CreateVertexSource(TCustomMeshDef::DefaultVertexFormat());
    result->GetVertexSource()->SetLength(VertexCount);
    for (int32_t v = 0; v < VertexCount; ++v)
      result->GetVertexSource()->SetVertices(v, {float(v), 1, 2});
    result->CreateIndexSource(TIndexFormat::UInt32);
    result->GetIndexSource()->SetLength(IndexCount);
    for (int32_t i = 0; i < IndexCount; ++i)
      result->GetIndexSource()->SetIndices(i, uint32_t(i % VertexCount));
    return result;
  }();
  return *mesh;
}

void BM_BuildFramework(benchmark::State& AState) {
  TMeshDef& mesh = Mesh();
  for (auto _ : AState) {
    mesh.SetIsStatic(false);
    mesh.SetIsStatic(true);
    glFinish();
    TMeshBufferObject* object = mesh.GetBufferObject();
    if (!object || object->GetComponent(TMeshBufferComponent::All)->Size() != mesh.GetVertexSource()->Size() ||
        object->GetComponent(TMeshBufferComponent::Indices)->Size() != mesh.GetIndexSource()->Size())
      AState.SkipWithError("the build did not upload both blocks");
  }
  mesh.SetIsStatic(false);
  AState.SetBytesProcessed(int64_t(AState.iterations()) * (mesh.GetVertexSource()->Size() + mesh.GetIndexSource()->Size()));
}

void BM_BuildRaw(benchmark::State& AState) {
  TMeshDef& mesh = Mesh();
  GLuint names[2] = {};
  for (auto _ : AState) {
    if (names[0])
      glDeleteBuffers(2, names);
    glGenBuffers(2, names);
    glBindBuffer(GL_ARRAY_BUFFER, names[0]);
    glBufferData(GL_ARRAY_BUFFER, mesh.GetVertexSource()->Size(), mesh.GetVertexSource()->Buffer(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, names[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, mesh.GetIndexSource()->Size(), mesh.GetIndexSource()->Buffer(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glFinish();
  }
  glDeleteBuffers(2, names);
  AState.SetBytesProcessed(int64_t(AState.iterations()) * (mesh.GetVertexSource()->Size() + mesh.GetIndexSource()->Size()));
}

} // namespace

int main(int argc, char** argv) {
  vbench::Initialize(&argc, argv);
  if (!vbench::StartDefaultGLContext())
    return 1;
  InitializeDefTypes();
  Mesh();
  for (auto* bench : {benchmark::RegisterBenchmark("BM_BuildFramework", BM_BuildFramework),
                      benchmark::RegisterBenchmark("BM_BuildRaw", BM_BuildRaw)})
    bench->Unit(benchmark::kMillisecond);
  vbench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const bool met = reporter.PrintRatio("BM_BuildFramework", "BM_BuildRaw",
                                       "static build of 1M vertices + 6M indices against glBufferData", 0.9);
  return met ? 0 : 1;
}
