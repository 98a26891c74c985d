// Frame cost of the sky box's fragment programs on llvmpipe, against the blank program (the
// fill-rate floor: same geometry, targets and fog, a flat colour).
//
// Setup: a 640 x 480 frame buffer with the renderer's five G-buffer colour formats (RGBA8 albedo,
// R16F alpha, RGBA16F position, RGB16F normals, RGB8 emissive), the 500-unit sky box seen from
// the demo's design camera at (0, -10, -25) and the demo's sky values. The programs are compiled
// and drawn once before timing. A frame is one sky draw plus glFinish.
// Reported: each case's median ms per frame (minimum beside it), its ratio to Blank and its share
// of the 16.7 ms budget of the demo's fixed 60 frames per second.

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "context/Vantrel.Context.Shader.OpenGL.h"
#include "scene/Vantrel.SkyBox.Shaders.h"
#include "scene/Vantrel.SkyBox.h"
#include "support/bench_setup.h"
#include "support/gl_start.h"
#include "support/sample_reporter.h"

namespace skyboxbench {

namespace {

using namespace vantrel;
namespace sbs = vantrel::skybox_shaders;

constexpr int Width = 640, Height = 480;
constexpr double BudgetMs = 1000.0 / 60.0;

struct TCase {
  const char* Name;
  TVantrelSkyBoxMode Mode;
  void (*Adjust)(TSkyBoxShaderData& AData, TSkyBoxShaderData& ASettings);
};

// Settings.X/Y are the stars and clouds flags.
const std::vector<TCase>& Cases() {
  static const std::vector<TCase> cases = {
      {"Blank", TVantrelSkyBoxMode::Blank, [](TSkyBoxShaderData&, TSkyBoxShaderData&) {}},
      {"DemoSky", TVantrelSkyBoxMode::ProceduralSkyBox, [](TSkyBoxShaderData&, TSkyBoxShaderData&) {}},
      {"NoStarsNoClouds", TVantrelSkyBoxMode::ProceduralSkyBox,
       [](TSkyBoxShaderData& AData, TSkyBoxShaderData&) { AData.Settings = {0, 0, 0, 0}; }},
      {"Clouds16", TVantrelSkyBoxMode::ProceduralSkyBox,
       [](TSkyBoxShaderData& AData, TSkyBoxShaderData&) { AData.CloudIterations = 16; }},
      {"CubeMap256", TVantrelSkyBoxMode::CubeMapSkyBox, [](TSkyBoxShaderData&, TSkyBoxShaderData&) {}},
  };
  return cases;
}

GLuint Compile(GLenum AType, const std::string& AText) {
  const GLuint shader = glCreateShader(AType);
  const char* text = AText.c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  return shader;
}

GLuint Link(TVantrelSkyBoxMode AMode) {
  const bool cube = AMode == TVantrelSkyBoxMode::CubeMapSkyBox;
  const GLuint vs = Compile(GL_VERTEX_SHADER, cube ? sbs::CubeMapVertexShader() : sbs::ProceduralVertexShader());
  const GLuint fs = Compile(GL_FRAGMENT_SHADER, cube                                         ? sbs::CubeMapFragmentShader()
                                                : AMode == TVantrelSkyBoxMode::Blank ? sbs::BlankFragmentShader()
                                                                                     : sbs::ProceduralFragmentShader());
  const GLuint program = glCreateProgram();
  glAttachShader(program, vs);
  glAttachShader(program, fs);
  for (GLuint location = 0; location < ShaderAttributeNames.size(); ++location)
    glBindAttribLocation(program, location, ShaderAttributeNames[location]);
  glLinkProgram(program);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint status = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &status);
  return status ? program : 0;
}

// The target, the box and the block.
struct TScene {
  GLuint Framebuffer = 0, VertexArray = 0, Buffer = 0, Indices = 0, Block = 0, Cube = 0;
  std::array<GLuint, 5> Targets{};
  GLsizei IndexCount = 0;

  TScene() {
    const GLenum formats[5] = {GL_RGBA8, GL_R16F, GL_RGBA16F, GL_RGB16F, GL_RGB8};
    glGenTextures(5, Targets.data());
    glGenFramebuffers(1, &Framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, Framebuffer);
    std::array<GLenum, 5> buffers{};
    for (int i = 0; i < 5; ++i) {
      glBindTexture(GL_TEXTURE_2D, Targets[i]);
      glTexStorage2D(GL_TEXTURE_2D, 1, formats[i], Width, Height);
      glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D, Targets[i], 0);
      buffers[i] = GL_COLOR_ATTACHMENT0 + i;
    }
    glDrawBuffers(5, buffers.data());
    glViewport(0, 0, Width, Height);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);

    // Position, normal, texture coordinate; two triangles per face of a 500-unit box.
    std::vector<float> vertices;
    std::vector<uint16_t> indices;
    for (int axis = 0; axis < 3; ++axis)
      for (float sign : {-1.0f, 1.0f}) {
        const auto base = static_cast<uint16_t>(vertices.size() / 8);
        for (auto [u, v] : {std::pair{-1, -1}, std::pair{1, -1}, std::pair{1, 1}, std::pair{-1, 1}}) {
          float p[3], n[3] = {0, 0, 0};
          p[axis] = sign * 250;
          p[(axis + 1) % 3] = float(u) * 250;
          p[(axis + 2) % 3] = float(v) * 250;
          n[axis] = sign;
          vertices.insert(vertices.end(), {p[0], p[1], p[2], n[0], n[1], n[2], (u + 1) / 2.0f, (v + 1) / 2.0f});
        }
        for (uint16_t i : {0, 1, 2, 0, 2, 3})
          indices.push_back(uint16_t(base + i));
      }
    IndexCount = GLsizei(indices.size());
    glGenVertexArrays(1, &VertexArray);
    glBindVertexArray(VertexArray);
    glGenBuffers(1, &Buffer);
    glBindBuffer(GL_ARRAY_BUFFER, Buffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(float)), vertices.data(), GL_STATIC_DRAW);
    glGenBuffers(1, &Indices);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, Indices);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * 2), indices.data(), GL_STATIC_DRAW);
    const GLsizei stride = 8 * sizeof(float);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(12));
    glEnableVertexAttribArray(6);
    glVertexAttribPointer(6, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(24));
    glGenBuffers(1, &Block);
    glBindBuffer(GL_UNIFORM_BUFFER, Block);
    glBufferData(GL_UNIFORM_BUFFER, sizeof(TSkyBoxShaderData), nullptr, GL_DYNAMIC_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, Block);

    // Six solid 256 x 256 faces for the cube-map case.
    glGenTextures(1, &Cube);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_CUBE_MAP, Cube);
    std::vector<uint8_t> face(256 * 256 * 4, 200);
    for (int i = 0; i < 6; ++i)
      glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i, 0, GL_RGBA8, 256, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                   face.data());
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glActiveTexture(GL_TEXTURE0);
  }
  ~TScene() {
    glBindVertexArray(0);
    glDeleteBuffers(1, &Buffer);
    glDeleteBuffers(1, &Indices);
    glDeleteBuffers(1, &Block);
    glDeleteVertexArrays(1, &VertexArray);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &Framebuffer);
    glDeleteTextures(5, Targets.data());
    glDeleteTextures(1, &Cube);
  }
  TScene(const TScene&) = delete;
  TScene& operator=(const TScene&) = delete;
};

struct TPrepared {
  GLuint Program = 0;
  TSkyBoxShaderData Data;
};

std::vector<TPrepared>& Prepared() {
  static std::vector<TPrepared> prepared;
  return prepared;
}

const TScene* Scene = nullptr;

// The demo's sky: the defaults with StarProbe 0.9 and StarSize 3, stars and clouds on, linear fog
// from 0 to 100000 (as the material clamps the demo's far fog), the camera at (0, -10, -25).
TSkyBoxShaderData DemoData() {
  TSkyBoxShaderData data = TSkyBoxShaderData::Create(0);
  data.StarProbe = 0.9f;
  data.StarSize = 3;
  const TMatrix3D model = TMatrix3D::CreateScaling({1, -1, 1});
  const TMatrix3D view = TMatrix3D::CreateLookAtRH({0, -10, -25}, {0, 0, 0}, {0, -1, 0});
  const TMatrix3D projection = TMatrix3D::CreatePerspectiveFovRH(0.7854f, float(Width) / Height, 1, 1000);
  data.ModelMatrix = model;
  data.ViewMatrix = view;
  data.ProjMatrix = projection;
  data.ModelViewProjMatrix = model * view * projection;
  data.EyePos = {0, -10, -25, 1};
  data.Resolution = {float(Width), float(Height), 0, 0};
  data.TimeInfo = {2.5f, 0, 0, 0};
  data.FogMode = 3;
  data.FogStart = 0.01f;
  data.FogEnd = 100000;
  data.FogColor = {0.5f, 0.5f, 0.5f, 1};
  data.Settings = {1, 1, 0, 0};
  return data;
}

void DrawFrame(const TPrepared& APrepared) {
  glUseProgram(APrepared.Program);
  glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof(TSkyBoxShaderData), &APrepared.Data);
  glDrawElements(GL_TRIANGLES, Scene->IndexCount, GL_UNSIGNED_SHORT, nullptr);
  glFinish();
}

void BM_Frame(benchmark::State& AState) {
  const TPrepared& prepared = Prepared()[size_t(AState.range(0))];
  for (auto _ : AState)
    DrawFrame(prepared);
}

// The albedo at the centre, to check that the frame was drawn.
std::array<uint8_t, 4> CentrePixel() {
  std::array<uint8_t, 4> pixel{};
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glReadPixels(Width / 2, Height / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel.data());
  return pixel;
}

} // namespace

} // namespace skyboxbench

int main(int argc, char** argv) {
  using namespace skyboxbench;
  setenv("LP_NUM_THREADS", "8", 0);
  const std::string threads = std::getenv("LP_NUM_THREADS");
  if (!vbench::StartDefaultGLContext())
    return 1;
  bool failed = false;
  {
    const TScene scene;
    Scene = &scene;
    for (const TCase& c : Cases()) {
      TPrepared prepared;
      prepared.Program = Link(c.Mode);
      prepared.Data = DemoData();
      TSkyBoxShaderData unused;
      c.Adjust(prepared.Data, unused);
      if (!prepared.Program) {
        std::fprintf(stderr, "the %s program did not link\n", c.Name);
        return 1;
      }
      glUseProgram(prepared.Program);
      if (const GLint cube = glGetUniformLocation(prepared.Program, "_CubeMap"); cube >= 0)
        glUniform1i(cube, 1);
      // The first draw compiles the machine code; it must land on the target.
      glClearColor(0, 0, 0, 0);
      glClear(GL_COLOR_BUFFER_BIT);
      DrawFrame(prepared);
      if (glGetError() != GL_NO_ERROR || CentrePixel()[3] == 0) {
        std::fprintf(stderr, "the first frame of %s drew nothing\n", c.Name);
        failed = true;
      }
      Prepared().push_back(prepared);
      benchmark::RegisterBenchmark(("BM_" + std::string(c.Name)).c_str(), BM_Frame)
          ->Arg(int64_t(Prepared().size() - 1))
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
    vbench::Initialize(&argc, argv);
    vbench::TSampleReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nSky box, %d x %d, five G-buffer targets, LP_NUM_THREADS=%s, %u cores (medians, minimum in "
                "brackets):\n",
                Width, Height, threads.c_str(), std::thread::hardware_concurrency());
    const auto time = [&](size_t AIndex, bool AMin) {
      const std::string name = "BM_" + std::string(Cases()[AIndex].Name) + "/" + std::to_string(AIndex) + "/real_time";
      const auto value = AMin ? reporter.MinTime(name) : reporter.MedianTime(name);
      return value ? *value : 0.0;
    };
    const double blank = time(0, false);
    for (size_t i = 0; i < Cases().size(); ++i) {
      const double ms = time(i, false);
      std::printf("  %-16s %8.2f ms [%6.2f]  / Blank = %5.2f  budget share = %5.1f%%\n", Cases()[i].Name, ms,
                  time(i, true), blank > 0 ? ms / blank : 0, 100 * ms / BudgetMs);
      failed = failed || ms <= 0;
    }
    for (const TPrepared& prepared : Prepared())
      glDeleteProgram(prepared.Program);
    Prepared().clear();
  }
  ui::TContextManager::UnregisterContexts();
  if (failed)
    std::printf("sky box benchmark: a case did not run\n");
  return failed ? 1 : 0;
}
