// GPU frame cost of the physically based fragment stage against the Lambert one, on llvmpipe.
//
// Setup: a 256 x 256 target, one quad covering it, one directional and one point light, and the
// same block for every program. Each iteration draws the quad 20 times and waits with glFinish;
// the first draw of each program (where llvmpipe compiles machine code) runs before timing.
// Reported: ms per frame (the median of the repetitions) and the ratio PBR / Lambert from the
// same run; for information, PBR with parallax occlusion at 16 levels seen at a grazing view, and
// PBR with a shadow map and the environment map.

#include <benchmark/benchmark.h>

#include "support/bench_setup.h"
#include "support/gl_start.h"

#include "support/pair_reporter.h"
#include <epoxy/gl.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "materials/Vantrel.Material.Default.h"
#include "support/shader_variants.h"
#include "ui/context3d.h"

namespace fragmentbench {

namespace {

using namespace vantrel;

constexpr int Size = 256;
constexpr int DrawsPerFrame = 20;

struct TCase {
  const char* Name;
  vtest::TShaderVariantRow Row;
  TPoint3D Eye;
};

const std::vector<TCase>& Cases() {
  static const std::vector<TCase> cases = {
      {"Lambert", vtest::ShaderVariantRow("Lambert"), {0, 0, 2}},
      {"PBR", vtest::ShaderVariantRow("PBR"), {0, 0, 2}},
      {"PBR_POM_grazing", vtest::ShaderVariantRow("PBRMaterial"), {4, 0, 0.3f}},
      {"PBR_Shadow_Environment",
       {"PBR_Shadow_Environment",
        {"CLIPPINGPLANE", "LIGHTING", "PBR", "USE_TEXTURE", "SHADOW", "SHADOWMAPPING", "ENVIRONMENT"},
        {},
        {}},
       {0, 0, 2}},
  };
  return cases;
}

// One program per case with its own copy of the shared block.
struct TProgram {
  vtest::TShaderVariantBuilders Builders;
  vtest::TLinkedVariant Linked;
  std::unique_ptr<TVantrelShaderData> Data;
};

std::map<std::string, TProgram>& Programs() {
  static std::map<std::string, TProgram> programs;
  return programs;
}

TVantrelShaderData SharedBlock(const TPoint3D& AEye) {
  TVantrelShaderData data = TVantrelShaderData::Create();
  data.ModelViewProjectionMatrix = data.ViewMatrix = data.ProjectionMatrix = TMatrix3D::Identity();
  data.FogMode = 0;
  data.EyePos = {AEye.X, AEye.Y, AEye.Z, 1};
  TVantrelShaderMaterial& m = data.Material[0];
  m.Diffuse = {0.8f, 0.6f, 0.4f, 1};
  m.Specular = {0.5f, 0.5f, 0.5f, 1};
  m.Ambient = {0.1f, 0.1f, 0.1f, 1};
  m.Shininess = 32;
  m.Features = {1, 0, 0, 0};
  m.Texture[0].Tiling = {1, 1};
  data.PassData[0].PBRMetallic = data.PassData[0].PBRRoughness = 0.2f;
  data.PassData[0].PBRAO = 1;
  data.PassData[0].NormalIntensity = 0.1f;
  data.PassData[0].ParallaxLevels = 16;
  data.PassData[0].ReflectionPower = data.PassData[0].RefractionPower = 0.5f;
  data.LightsCount = 2;
  TVantrelShaderLight& sun = data.Lights[0];
  sun.LightType = 0;
  sun.Direction = {-0.5f, 0, -0.866f, 0};
  sun.Diffuse = {1, 1, 1, 1};
  sun.Intensity = 1;
  TVantrelShaderLight& point = data.Lights[1];
  point.LightType = 1;
  point.Position = {0.5f, 0.5f, 1, 1};
  point.Diffuse = {1, 0.9f, 0.8f, 1};
  point.ConstantAttenuation = 1;
  point.QuadraticAttenuation = 0.25f;
  point.Intensity = 1;
  return data;
}

// Textures every sampler can read: 2D ones on unit 0 (a grey parallax depth, so the loop runs),
// the shadow map on unit 1 and the cube map on unit 2.
struct TTextures {
  GLuint Grey = 0, Shadow = 0, Cube = 0;
  TTextures() {
    const std::array<uint8_t, 4> grey{128, 128, 128, 255};
    auto make = [&](GLenum ATarget, GLuint& ATexture) {
      glGenTextures(1, &ATexture);
      glBindTexture(ATarget, ATexture);
      glTexParameteri(ATarget, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
      glTexParameteri(ATarget, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    };
    make(GL_TEXTURE_2D, Grey);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, grey.data());
    make(GL_TEXTURE_2D, Shadow);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, grey.data());
    make(GL_TEXTURE_CUBE_MAP, Cube);
    for (int face = 0; face < 6; ++face)
      glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                   grey.data());
  }
  ~TTextures() {
    const std::array<GLuint, 3> names{Grey, Shadow, Cube};
    glDeleteTextures(3, names.data());
  }
  TTextures(const TTextures&) = delete;
  TTextures& operator=(const TTextures&) = delete;
};

void Bind(const TTextures& ATextures, GLuint AProgram) {
  glActiveTexture(GL_TEXTURE1);
  glBindTexture(GL_TEXTURE_2D, ATextures.Shadow);
  glActiveTexture(GL_TEXTURE2);
  glBindTexture(GL_TEXTURE_CUBE_MAP, ATextures.Cube);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, ATextures.Grey);
  if (const GLint shadow = glGetUniformLocation(AProgram, "_ShadowMapTexture0"); shadow >= 0)
    glUniform1i(shadow, 1);
  if (const GLint cube = glGetUniformLocation(AProgram, "_EnvironmentTexture"); cube >= 0)
    glUniform1i(cube, 2);
}

// The target and the quad (position, normal, UV, tangent per corner; identity model matrix).
struct TScene {
  GLuint Framebuffer = 0, Color = 0, VertexArray = 0, Buffer = 0;
  TScene() {
    glGenTextures(1, &Color);
    glBindTexture(GL_TEXTURE_2D, Color);
    glTexStorage2D(GL_TEXTURE_2D, 1, GL_RGBA8, Size, Size);
    glGenFramebuffers(1, &Framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, Framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, Color, 0);
    glViewport(0, 0, Size, Size);
    glGenVertexArrays(1, &VertexArray);
    glBindVertexArray(VertexArray);
    glGenBuffers(1, &Buffer);
    glBindBuffer(GL_ARRAY_BUFFER, Buffer);
    vtest::SetUpVariantQuad();
  }
  ~TScene() {
    glBindVertexArray(0);
    glDeleteBuffers(1, &Buffer);
    glDeleteVertexArrays(1, &VertexArray);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &Framebuffer);
    glDeleteTextures(1, &Color);
  }
  TScene(const TScene&) = delete;
  TScene& operator=(const TScene&) = delete;
};

void DrawFrame(TProgram& AProgram) {
  AProgram.Linked.Program->Use();
  AProgram.Linked.Program->PushUniformBuffers();
  for (int i = 0; i < DrawsPerFrame; ++i)
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  glFinish();
}

void BM_Frame(benchmark::State& AState) {
  TProgram& program = Programs().at(Cases()[AState.range(0)].Name);
  for (auto _ : AState)
    DrawFrame(program);
}

class TReporter : public vbench::TPairReporter {
public:
  void ReportRuns(const std::vector<Run>& ARuns) override {
    for (const Run& run : ARuns)
      if (!run.error_occurred && run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
        FTimes[run.run_name.str()] = run.GetAdjustedRealTime();
    TPairReporter::ReportRuns(ARuns);
  }
  double Time(size_t ACase) const {
    const auto found = FTimes.find("BM_Frame/" + std::to_string(ACase) + "/repeats:5/real_time");
    return found == FTimes.end() ? 0 : found->second;
  }

private:
  std::map<std::string, double> FTimes;
};

} // namespace

} // namespace fragmentbench

int main(int argc, char** argv) {
  vbench::SetAllocatorRegime();
  using namespace fragmentbench;
  // A fixed rasteriser thread count makes the ratios comparable between runs.
  setenv("LP_NUM_THREADS", "4", 0);
  const std::string threads = std::getenv("LP_NUM_THREADS");
  if (!vbench::StartDefaultGLContext())
    return 1;
  {
    const TScene scene;
    const TTextures textures;
    for (size_t i = 0; i < Cases().size(); ++i) {
      const TCase& c = Cases()[i];
      TProgram program;
      program.Builders = vtest::MakeVariantBuilders(c.Row);
      program.Linked = vtest::CompileAndLink(c.Row, program.Builders.Vertex->ToString(),
                                             program.Builders.Fragment->ToString());
      program.Data = std::make_unique<vantrel::TVantrelShaderData>(SharedBlock(c.Eye));
      program.Linked.Program->RegisterUniformBuffer("ShaderData", program.Data.get(),
                                                    sizeof(vantrel::TVantrelShaderData));
      program.Linked.Program->Use();
      Bind(textures, program.Linked.Program->Prog());
      TProgram& stored = Programs().emplace(c.Name, std::move(program)).first->second;
      glGetError();
      DrawFrame(stored);
      if (glGetError() != GL_NO_ERROR) {
        std::fprintf(stderr, "the first frame of %s failed\n", c.Name);
        return 1;
      }
      benchmark::RegisterBenchmark("BM_Frame", BM_Frame)
          ->Arg(static_cast<int64_t>(i))
          ->Unit(benchmark::kMillisecond)
          ->Repetitions(5)
          ->ReportAggregatesOnly(true)
          ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    TReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nFragment cost, %d x %d target, %d draws per frame, LP_NUM_THREADS=%s (medians of 5):\n",
                Size, Size, DrawsPerFrame, threads.c_str());
    const double lambert = reporter.Time(0);
    for (size_t i = 0; i < Cases().size(); ++i) {
      const double ms = reporter.Time(i);
      std::printf("  %-24s %8.2f ms per frame", Cases()[i].Name, ms);
      if (i > 0 && lambert > 0)
        std::printf("  -> / Lambert = %.2f", ms / lambert);
      std::printf("\n");
    }
    Programs().clear();
  }
  ui::TContextManager::UnregisterContexts();
  return 0;
}
