// The demo's post-processing surface function, taken from Unit1.form and compiled into a minimal
// pixel stage of our own (the pass's locals, its tex2D helper, _TimeInfo and _RenderedTexture),
// drawn over a 160 x 120 target from a controlled input image. It holds for every value of the
// noise, which is almost never 0: green and blue are three quarters of red plus a quarter of their
// own input; the image shifts right, never left; and the pattern repeats every 360 s of time
// stamp, not every 180.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gl/names.h"
#include "support/gl_fixture.h"

namespace {

constexpr int Width = 160;
constexpr int Height = 120;

// The lines of the post pass's SurfaceShader.Strings in the demo's form text.
std::string SurfaceFunction() {
  std::ifstream in(std::filesystem::path(VANTREL_SOURCE_ROOT) / "demo" / "Unit1.form");
  std::string line, text;
  bool inPass = false, inStrings = false;
  while (std::getline(in, line)) {
    if (line.find("object VantrelRenderPassPostFX1:") != std::string::npos)
      inPass = true;
    if (inPass && !inStrings && line.find("SurfaceShader.Strings = (") != std::string::npos) {
      inStrings = true;
      continue;
    }
    if (!inStrings)
      continue;
    const size_t open = line.find('\'');
    const size_t close = line.rfind('\'');
    std::string body = line.substr(open + 1, close - open - 1);
    for (size_t at = body.find("''"); at != std::string::npos; at = body.find("''", at + 1))
      body.erase(at, 1);
    text += body + "\n";
    if (line.back() == ')')
      break;
  }
  return text;
}

const char* const VertexStage = R"(#version 430
out vec2 vTexCoord;
void main() {
  vec2 corner = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));
  vTexCoord = corner;
  gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}
)";

std::string PixelStage() {
  return std::string(R"(#version 430
struct TLocals { vec4 TexCoord0; };
uniform sampler2D _RenderedTexture;
uniform vec4 _TimeInfo;
vec4 tex2D(sampler2D ASampler, vec2 ATexCoord) { return texture(ASampler, ATexCoord); }
in vec2 vTexCoord;
out vec4 FragColor;
)") + SurfaceFunction() +
         R"(
void main() {
  TLocals DATA;
  DATA.TexCoord0 = vec4(vTexCoord, 0.0, 0.0);
  FragColor = vec4(SurfaceShader(DATA), 1.0);
}
)";
}

gl::TShaderName Compile(GLenum AStage, const std::string& ASource) {
  gl::TShaderName shader(gl::AdoptName, gl::CreateShaderName(AStage));
  const char* text = ASource.c_str();
  glShaderSource(shader.Get(), 1, &text, nullptr);
  glCompileShader(shader.Get());
  GLint ok = 0;
  glGetShaderiv(shader.Get(), GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetShaderInfoLog(shader.Get(), sizeof(log), nullptr, log);
    ADD_FAILURE() << log;
  }
  return shader;
}

struct TRGB {
  float R, G, B;
};

class SurfaceFunction : public vtest::GLTest {
protected:
  void SetUp() override {
    GLTest::SetUp();
    UseFrameBuffer(Width, Height);
    const gl::TShaderName vertex = Compile(GL_VERTEX_SHADER, VertexStage);
    const gl::TShaderName pixel = Compile(GL_FRAGMENT_SHADER, PixelStage());
    FProgram = gl::TProgramName(gl::AdoptName, gl::CreateProgramName());
    glAttachShader(FProgram.Get(), vertex.Get());
    glAttachShader(FProgram.Get(), pixel.Get());
    glLinkProgram(FProgram.Get());
    GLint linked = 0;
    glGetProgramiv(FProgram.Get(), GL_LINK_STATUS, &linked);
    ASSERT_TRUE(linked);
    FVertexArray = gl::TVertexArrayName::Generate();
    FTexture = gl::TTextureName::Generate();
  }
  void TearDown() override {
    FTexture.Reset();
    FVertexArray.Reset();
    FProgram.Reset();
    GLTest::TearDown();
  }

  // The input image, bottom row first as GL takes it.
  void SetInput(const std::vector<uint8_t>& ARgba) {
    glBindTexture(GL_TEXTURE_2D, FTexture.Get());
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, Width, Height, 0, GL_RGBA, GL_UNSIGNED_BYTE, ARgba.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  }

  // Draws the function at time stamp AStamp (_TimeInfo.y) and reads the target, bottom row first.
  std::vector<vtest::TRGBA8> Draw(float AStamp) {
    glUseProgram(FProgram.Get());
    glUniform4f(glGetUniformLocation(FProgram.Get(), "_TimeInfo"), 0, AStamp, 0, 0);
    glUniform1i(glGetUniformLocation(FProgram.Get(), "_RenderedTexture"), 0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, FTexture.Get());
    glBindVertexArray(FVertexArray.Get());
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(0);
    glUseProgram(0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    return FrameBuffer()->ReadPixels();
  }

  gl::TProgramName FProgram;
  gl::TVertexArrayName FVertexArray;
  gl::TTextureName FTexture;
};

std::vector<uint8_t> Flat(uint8_t AR, uint8_t AG, uint8_t AB) {
  std::vector<uint8_t> rgba;
  for (int i = 0; i < Width * Height; ++i)
    rgba.insert(rgba.end(), {AR, AG, AB, 255});
  return rgba;
}

TEST_F(SurfaceFunction, GreenAndBlueAreThreeQuartersRedPlusAQuarterOfTheirOwnForAnyNoise) {
  SetInput(Flat(153, 77, 26)); // 0.6, 0.3, 0.1 (to the byte)
  const float g0 = 77 / 255.0f, b0 = 26 / 255.0f;
  int touched = 0; // pixels whose red the grain or the bands changed
  for (int step = 0; step < 20; ++step) {
    const float stamp = 3.7f + 17.9f * step;
    SCOPED_TRACE(stamp);
    const std::vector<vtest::TRGBA8> pixels = Draw(stamp);
    int worst = 0;
    for (const vtest::TRGBA8& p : pixels) {
      const float r = p.R / 255.0f;
      touched += std::abs(p.R - 153) > 2;
      const int dg = static_cast<int>(std::lround(std::fabs(p.G - 255 * (0.75f * r + 0.25f * g0))));
      const int db = static_cast<int>(std::lround(std::fabs(p.B - 255 * (0.75f * r + 0.25f * b0))));
      worst = std::max({worst, dg, db});
    }
    EXPECT_LE(worst, 2);
  }
  EXPECT_GT(touched, 0) << "the noise acted on the image";
}

TEST_F(SurfaceFunction, AVerticalEdgeMovesRightInSomeRowsAndNeverLeft) {
  // Black left of column 80, white from it on.
  std::vector<uint8_t> rgba;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      const uint8_t v = x < 80 ? 0 : 255;
      rgba.insert(rgba.end(), {v, v, v, 255});
    }
  SetInput(rgba);
  int furthestRight = 0, furthestLeft = 0;
  for (int step = 0; step < 20; ++step) {
    const float stamp = 3.7f + 17.9f * step;
    const std::vector<vtest::TRGBA8> pixels = Draw(stamp);
    for (int y = 0; y < Height; ++y) {
      int edge = Width;
      for (int x = 0; x < Width; ++x)
        if (pixels[static_cast<size_t>(y * Width + x)].R > 128) {
          edge = x;
          break;
        }
      furthestRight = std::max(furthestRight, edge - 80);
      furthestLeft = std::max(furthestLeft, 80 - edge);
    }
  }
  // Red is never shifted by the fringes, and the grain and bands keep black below and white above
  // the threshold, so the red edge can only follow the displacement.
  EXPECT_LE(furthestLeft, 0);
  EXPECT_GT(furthestRight, 3);
}

TEST_F(SurfaceFunction, ThePatternRepeatsEvery360SecondsOfTimeStampNot180) {
  std::vector<uint8_t> rgba;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      rgba.insert(rgba.end(), {uint8_t(x * 255 / Width), uint8_t(y * 255 / Height), 128, 255});
  SetInput(rgba);
  for (float stamp : {40.0f, 97.0f, 211.0f}) {
    SCOPED_TRACE(stamp);
    const std::vector<vtest::TRGBA8> frame = Draw(stamp);
    EXPECT_TRUE(Draw(stamp + 360) == frame);
    EXPECT_FALSE(Draw(stamp + 180) == frame);
  }
}

} // namespace
