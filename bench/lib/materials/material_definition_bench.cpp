// Material definitions made into drawable materials, against the GL work they come down to.
//
// Framework, per material: the factory makes the source from a definition
// (TVantrelMaterial::CreateMaterial), the material's first apply inside a scene on a 16 x 16
// context generates both stage texts, registers the shaders, compiles and links them, and the
// source is freed again (which removes its program and gives its shaders back). Kinds: Color,
// Phong, BumpMap and PBR, each definition with a 64 x 64 cached texture asset per texture channel
// its branch reads.
// Peer: glShaderSource, compiling both stages and linking the same two texts, taken from the
// built material, then deleting the program.
// Both sides run in alternation, repetition by repetition, so a load change on the shared machine
// reaches both. A material after the first of its kind takes its stage texts from the texts kept
// for the same inputs and makes no node tree, as every material after the first of a kind does in
// a loaded model; the printed minimum and median are of those, the first of each kind is made in
// the priming pass (warm) or the first repetition (cold).
//
// Cold and warm in one invocation: before any GL context exists the program forks. The child sets
// MESA_SHADER_CACHE_DISABLE=true and measures the cold pass; after it ends the parent points
// MESA_SHADER_CACHE_DIR at a fresh folder beside the program, runs one untimed priming pass (then
// waits a second: the driver writes its cache from a queue of its own), and measures the warm
// pass. For information each pass also times the first draw with a built material into a 1 x 1
// target, where llvmpipe compiles machine code (served by the disk cache when warm).
//
// Memory: the definitions, their assets and both contexts are made once, before the timed loops;
// a timed step allocates what building a material allocates. The allocator regime is printed at
// the start. Each step checks that a program was linked and removed again (framework) or linked
// (peer); the program fails at the end when a check or a ratio goal (1.3) fails.

#include <epoxy/gl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "Vantrel.Units.h"
#include "context/Vantrel.Context.h"
#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.DefTypes.h"
#include "materials/Vantrel.Material.h"
#include "scene/Vantrel.Control.h"
#include "support/bench_setup.h"
#include "support/gl_start.h"
#include "ui/bitmap.h"
#include "ui/mesh_buffers.h"
#include "ui/shaders.h"

namespace {

using namespace vantrel;
using TClock = std::chrono::steady_clock;

constexpr int Repetitions = 7;
constexpr double RatioGoal = 1.3;

struct TKindCase {
  const char* Name;
  TMaterialDefKind Kind;
  std::vector<TColorChannelDef> Channels;
};

const std::vector<TKindCase>& Cases() {
  using C = TColorChannelDef;
  static const std::vector<TKindCase> cases{
      {"Color", TMaterialDefKind::mkColor, {}},
      {"Phong", TMaterialDefKind::mkPhong, {C::Diffuse}},
      {"BumpMap", TMaterialDefKind::mkBumpMap, {C::Diffuse, C::Normal, C::Specular}},
      {"PBR", TMaterialDefKind::mkPBR, {C::Diffuse, C::Normal, C::Metalness, C::Roughness, C::AO, C::Emissive}},
  };
  return cases;
}

double Ms(TClock::time_point AStart, TClock::time_point AEnd) {
  return std::chrono::duration<double, std::milli>(AEnd - AStart).count();
}

double Median(std::vector<double> AValues) {
  std::sort(AValues.begin(), AValues.end());
  return AValues[AValues.size() / 2];
}

std::string TextOf(const TContextShader* AShader) {
  const auto& code = AShader->GetSourceByArch(TContextShaderArch::GLSL)->Code;
  return std::string(code.begin(), code.end());
}

TOwned<TContext3D> MakeContext(TTexture& ATarget, int ASize) {
  ATarget.SetSize(ASize, ASize);
  ATarget.SetStyle({TTextureStyle::RenderTarget});
  return TOwned<TContext3D>(TContextManager::CreateFromTexture(&ATarget, TMultisample::None, true));
}

// Compiles both stages and links them; deletes the program. False when linking failed.
bool CompileAndLink(const std::string& AVertex, const std::string& APixel) {
  const GLuint program = glCreateProgram();
  for (const auto& [stage, text] : {std::pair{GLenum(GL_VERTEX_SHADER), &AVertex}, {GL_FRAGMENT_SHADER, &APixel}}) {
    const GLuint shader = glCreateShader(stage);
    const char* code = text->c_str();
    glShaderSource(shader, 1, &code, nullptr);
    glCompileShader(shader);
    glAttachShader(program, shader);
    glDeleteShader(shader);
  }
  glLinkProgram(program);
  GLint linked = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  glDeleteProgram(program);
  return linked == GL_TRUE;
}

class TDefinitionBench {
public:
  TDefinitionBench()
      : FOwner(MakeOwned<TVantrelControl>(nullptr)), FTarget(MakeOwned<TTexture>()),
        FPointTarget(MakeOwned<TTexture>()) {
    FContext = MakeContext(*FTarget, 16);
    FPointContext = MakeContext(*FPointTarget, 1);
    int count = 0;
    for (const TKindCase& c : Cases()) {
      auto* def = New<TMaterialDef>(&FModel, std::string("M") + c.Name);
      def->Kind = c.Kind;
      for (TColorChannelDef channel : c.Channels) {
        TVantrelTextureAsset* asset = TVantrelTextureAsset::Create(nullptr);
        auto bitmap = MakeOwned<TBitmap>(64, 64);
        bitmap->Clear(0xFF808080);
        asset->ImportFromCachedBitmap("t" + std::to_string(++count) + ".png", std::move(bitmap));
        def->AddTexture(channel, asset, true);
      }
      FDefs.push_back(def);
    }
  }
  ~TDefinitionBench() {
    FOwner.reset();
    FContext.reset();
    FPointContext.reset();
  }

  // One material built, applied and freed; its texts are kept for the peer. Returns the time.
  double Framework(size_t ACase) {
    const int32_t programs = TVantrelContext::ProgramCount();
    const auto start = TClock::now();
    TMaterialSource* source = TVantrelMaterial::CreateMaterial(FOwner.get(), FDefs[ACase]);
    TMaterial* material = source ? source->GetMaterial() : nullptr;
    if (material && FContext->BeginScene()) {
      FContext->ApplyMaterial(material);
      FContext->EndScene();
    }
    const auto applied = TClock::now();
    auto* custom = dynamic_cast<TCustomMaterial*>(material);
    if (!custom || !custom->VertexShader() || !custom->PixelShader() ||
        !TVantrelContext::GetProgram(custom->VertexShader(), custom->PixelShader())) {
      Fail(Cases()[ACase].Name, "the framework linked no program");
      return Ms(start, applied);
    }
    FVertex = TextOf(custom->VertexShader());
    FPixel = TextOf(custom->PixelShader());
    const auto freeing = TClock::now();
    source->Free();
    const auto end = TClock::now();
    if (TVantrelContext::ProgramCount() != programs)
      Fail(Cases()[ACase].Name, "freeing the source left its program");
    return Ms(start, applied) + Ms(freeing, end);
  }

  // The peer on the texts of the last framework step.
  double Peer(size_t ACase) {
    const auto start = TClock::now();
    const bool linked = CompileAndLink(FVertex, FPixel);
    const auto end = TClock::now();
    if (!linked)
      Fail(Cases()[ACase].Name, "the peer's texts did not link");
    return Ms(start, end);
  }

  // The first draw of a point with a newly built material into the 1 x 1 target, finished.
  double FirstDraw(size_t ACase) {
    TMaterialSource* source = TVantrelMaterial::CreateMaterial(FOwner.get(), FDefs[ACase]);
    TVertexBuffer vertices(TVertexFormats{TVertexFormat::Vertex, TVertexFormat::Normal, TVertexFormat::TexCoord0}, 1);
    const uint16_t index = 0;
    double result = 0;
    if (FPointContext->BeginScene()) {
      FPointContext->ApplyMaterial(source->GetMaterial()); // linked outside the timed draw
      source->GetMaterial()->Reset(FPointContext.get());
      glFinish();
      const auto start = TClock::now();
      FPointContext->DrawPrimitives(TPrimitivesKind::Points, vertices.Buffer(), &index,
                                    vertices.GetVertexDeclarations(), vertices.VertexSize(), 1, 2, 1,
                                    source->GetMaterial(), 1);
      glFinish();
      result = Ms(start, TClock::now());
      FPointContext->EndScene();
    }
    source->Free();
    return result;
  }

  // Every case once on both sides, untimed: fills the driver's disk cache.
  void Prime() {
    for (size_t c = 0; c < Cases().size(); ++c) {
      Framework(c);
      Peer(c);
      FirstDraw(c);
    }
  }

  // Prints and checks one pass; true when every check and ratio held.
  bool Measure(const char* APass) {
    std::printf("\n%s pass: ms per material, median of %d (minimum beside it)\n", APass, Repetitions);
    std::printf("  %-8s %17s %17s %7s %7s %11s\n", "kind", "framework", "compile+link", "ratio", "(min)", "first draw");
    bool met = true;
    for (size_t c = 0; c < Cases().size(); ++c) {
      std::vector<double> ours, peer;
      for (int r = 0; r < Repetitions; ++r) {
        ours.push_back(Framework(c));
        peer.push_back(Peer(c));
      }
      const double ratio = Median(ours) / Median(peer);
      const double minRatio = *std::min_element(ours.begin(), ours.end()) / *std::min_element(peer.begin(), peer.end());
      const double draw = FirstDraw(c);
      std::printf("  %-8s %8.2f (%6.2f) %8.2f (%6.2f) %7.3f %7.3f %8.2f ms\n", Cases()[c].Name, Median(ours),
                  *std::min_element(ours.begin(), ours.end()), Median(peer), *std::min_element(peer.begin(), peer.end()),
                  ratio, minRatio, draw);
      if (ratio > RatioGoal) {
        std::printf("  %s: ratio %.3f above the goal %.2f\n", Cases()[c].Name, ratio, RatioGoal);
        met = false;
      }
    }
    return met && FChecksHeld;
  }

private:
  void Fail(const char* ACase, const char* AWhat) {
    std::printf("  %s: %s\n", ACase, AWhat);
    FChecksHeld = false;
  }

  TModelDef FModel;
  TOwned<TVantrelControl> FOwner;
  TOwned<TTexture> FTarget, FPointTarget;
  TOwned<TContext3D> FContext, FPointContext;
  std::vector<TMaterialDef*> FDefs;
  std::string FVertex, FPixel;
  bool FChecksHeld = true;
};

// Starts GL and the units, runs APass (after priming when asked), and shuts down. 0 when met.
int RunPass(const char* APass, bool APrime) {
  if (!vbench::StartDefaultGLContext()) {
    std::printf("no OpenGL 4.3 context; nothing measured\n");
    return 0;
  }
  InitializeUnits();
  bool met = false;
  {
    TDefinitionBench bench;
    if (APrime) {
      bench.Prime();
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    met = bench.Measure(APass);
  }
  FinalizeUnits();
  return met ? 0 : 1;
}

} // namespace

int main() {
  vbench::SetAllocatorRegime();
  std::fflush(stdout);
  const pid_t child = fork();
  if (child < 0) {
    std::perror("fork");
    return 1;
  }
  if (child == 0) {
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
    const int result = RunPass("Cold (MESA_SHADER_CACHE_DISABLE=true)", false);
    std::fflush(stdout);
    _exit(result);
  }
  int status = 0;
  waitpid(child, &status, 0);
  const bool coldMet = WIFEXITED(status) && WEXITSTATUS(status) == 0;

  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  std::string pattern = (exe.empty() ? std::filesystem::current_path() : exe.parent_path()).string() +
                        "/material_definition_cache.XXXXXX";
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  setenv("MESA_SHADER_CACHE_DISABLE", "false", 1);
  setenv("MESA_SHADER_CACHE_DIR", pattern.c_str(), 1);
  const bool warmMet = RunPass("Warm (MESA_SHADER_CACHE_DIR, primed)", true) == 0;
  std::filesystem::remove_all(pattern, error);
  if (!coldMet || !warmMet) {
    std::printf("\nmissed:%s%s\n", coldMet ? "" : " cold", warmMet ? "" : " warm");
    return 1;
  }
  return 0;
}
