// The default material's apply against the GL calls its push makes, each pair measured in the same
// run:
//   Apply  Material->Apply on a 16 x 16 context inside one scene: a Lambert source whose program is
//          already linked, 32 enabled lights and an 8 x 8 image in "Texture0"; the twelve steps fill
//          the 6352-byte block and push it
//          vs a copy of the same 6352 bytes from a prepared block, glBindBufferBase and
//          glBufferData(6352)
// Prints the microseconds per apply of both sides, their ratio (median over the repetitions, the
// ratio of the minima beside it) and the heap allocations per apply counted by the replaced
// operator new of this program (the steady state should make none). Fails at the end when the
// ratio exceeds its limit, when the framework's apply did not fill the block (32 lights, the
// texture count), or when a GL error is pending.

#include <benchmark/benchmark.h>

#include "support/bench_setup.h"
#include "support/counting_new.h"
#include "support/gl_start.h"
#include "support/pair_reporter.h"
#include <epoxy/gl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "materials/Vantrel.Material.Lambert.h"
#include "ui/bitmap.h"
#include "ui/shaders.h"
#include "ui/texture.h"

namespace {

using namespace vantrel;

constexpr int32_t Target = 16;
constexpr double RatioLimit = 3.0;

double AllocationsPerApply = -1;
bool BlockFilled = false;

// The context, the source with its linked program, the lights and the texture, inside one scene.
class TApplySetup {
public:
  TApplySetup() : FTexture(MakeOwned<TTexture>()) {
    FTexture->SetSize(Target, Target);
    FTexture->SetStyle({TTextureStyle::RenderTarget});
    FContext.reset(CheckedCast<TContextOpenGLWindows>(
        TContextManager::CreateFromTexture(FTexture.get(), TMultisample::None, true)));
    for (int i = 0; i < 32; ++i) {
      TLightDescription light;
      light.LightType = TLightType::Point;
      light.Position = {float(i), 1, -2};
      FContext->AddLight(light);
    }
    FSource = MakeOwned<TVantrelLambertMaterialSource>(nullptr);
    TBitmap image(8, 8);
    FSource->SetTexture(&image);
    FContext->BeginScene();
    // The first apply registers the shaders, links the program and its block.
    Material()->Apply(FContext.get());
  }
  ~TApplySetup() {
    Material()->Reset(FContext.get());
    FContext->EndScene();
    FSource.reset();
    TVantrelContext::FreePrograms();
    TShaderManager::Clear();
    FContext.reset();
    FTexture.reset();
  }
  TApplySetup(const TApplySetup&) = delete;
  TApplySetup& operator=(const TApplySetup&) = delete;

  TVantrelDefaultMaterial* Material() const { return FSource->DefaultMaterial(); }
  TContextOpenGLWindows* Context() const { return FContext.get(); }

private:
  TOwned<TTexture> FTexture;
  TOwned<TContextOpenGLWindows> FContext;
  TOwned<TVantrelLambertMaterialSource> FSource;
};

void BM_Apply_Framework(benchmark::State& AState) {
  TApplySetup setup;
  TVantrelDefaultMaterial* material = setup.Material();
  const int64_t start = vbench::Allocations();
  for (auto _ : AState)
    material->Apply(setup.Context());
  const auto iterations = double(AState.iterations() ? AState.iterations() : 1);
  AllocationsPerApply = double(vbench::Allocations() - start) / iterations;
  AState.counters["allocs/apply"] = AllocationsPerApply;
  const TVantrelShaderData& data = material->GetShaderData();
  BlockFilled = data.LightsCount == 32 && data.Material[0].Textures == 1;
  if (!BlockFilled)
    AState.SkipWithError("the apply did not fill the block");
  if (glGetError() != GL_NO_ERROR)
    AState.SkipWithError("GL error after the applies");
}

void BM_Apply_Raw(benchmark::State& AState) {
  TApplySetup setup;
  const TVantrelShaderData prepared = setup.Material()->GetShaderData();
  TVantrelShaderData block = TVantrelShaderData::Create();
  GLuint buffer = 0;
  glGenBuffers(1, &buffer);
  for (auto _ : AState) {
    std::memcpy(&block, &prepared, sizeof(block));
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, buffer);
    glBufferData(GL_UNIFORM_BUFFER, sizeof(block), &block, GL_DYNAMIC_DRAW);
    benchmark::DoNotOptimize(&block);
  }
  glBindBufferBase(GL_UNIFORM_BUFFER, 0, 0);
  glDeleteBuffers(1, &buffer);
  if (glGetError() != GL_NO_ERROR)
    AState.SkipWithError("GL error after the raw uploads");
}

// The pair reporter with its times open to main.
class TApplyReporter : public vbench::TPairReporter {
public:
  using TPairReporter::Times;
};

} // namespace

int main(int argc, char** argv) {
  if (!vbench::StartDefaultGLContext()) {
    std::printf("no OpenGL 4.3 context; nothing measured\n");
    return 0;
  }
  using TBench = void (*)(benchmark::State&);
  for (auto [name, function] : {std::pair<const char*, TBench>{"BM_Apply_Framework", BM_Apply_Framework},
                                std::pair<const char*, TBench>{"BM_Apply_Raw", BM_Apply_Raw}})
    benchmark::RegisterBenchmark(name, function)->Arg(0)->Unit(benchmark::kMicrosecond)->UseRealTime();
  vbench::Initialize(&argc, argv);
  TApplyReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nMaterial apply, framework / raw push, same run (median over repetitions; the global "
              "operator new of this program counts every allocation):\n");
  bool met = BlockFilled && AllocationsPerApply == 0;
  if (const auto times = reporter.Times("Apply", "0")) {
    const double ratio = times->Ours / times->Peer;
    std::printf("  Apply  %9.3f us / %9.3f us = %.2f (min %.2f)  (limit %.2f)%s\n", times->Ours, times->Peer, ratio,
                times->OursMin / times->PeerMin, RatioLimit, ratio <= RatioLimit ? "" : "  OVER THE LIMIT");
    met &= ratio <= RatioLimit;
  } else {
    std::printf("  Apply  not measured\n");
    met = false;
  }
  std::printf("  allocations per apply: %.2f (goal 0)%s\n", AllocationsPerApply,
              AllocationsPerApply == 0 ? "" : "  MISSED");
  if (!BlockFilled)
    std::printf("  the framework's apply did not fill the block\n");
  return met ? 0 : 1;
}
