#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <cstddef>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Shader.OpenGL.h"
#include "scene/Vantrel.SkyBox.Shaders.h"
#include "scene/Vantrel.SkyBox.h"
#include "support/gl_fixture.h"

namespace {

using namespace vantrel;
namespace sbs = vantrel::skybox_shaders;

TEST(SkyBoxShaderTexts, EveryTextStartsWithTheVersionLineAndEndsLinesInCRLF) {
  for (const std::string& text : {sbs::CubeMapVertexShader(), sbs::ProceduralVertexShader(),
                                  sbs::CubeMapFragmentShader(), sbs::ProceduralFragmentShader(),
                                  sbs::BlankFragmentShader()}) {
    SCOPED_TRACE(text.substr(0, 200));
    EXPECT_EQ(text.rfind("#version 430\r\n\r\n\r\n", 0), 0u);
    for (size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', i + 1))
      ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "LF without CR at " << i;
    EXPECT_NE(text.find("layout (binding=0, std140) uniform SkyBoxShaderData\r\n"), std::string::npos);
    for (char c : text)
      ASSERT_LT(static_cast<unsigned char>(c), 128u);
  }
  // The literals the sky depends on.
  const std::string procedural = sbs::ProceduralFragmentShader();
  for (const char* literal : {"3.141592653589793238462643383279502884197169", "10e-18", "93.885", "-1.253",
                              "19000.0", "450000.0", "float rand(vec2 st)", "vec2 rhash(vec2 uv)"})
    EXPECT_NE(procedural.find(literal), std::string::npos) << literal;
}

// One member of the block as the record lays it out.
struct TMemberRow {
  const char* Name;
  size_t Offset;
  GLenum Type;
};

#define ROW(field, type) {"_" #field, offsetof(TSkyBoxShaderData, field), type}
const std::vector<TMemberRow> BlockMembers = {
    ROW(ModelViewProjMatrix, GL_FLOAT_MAT4), ROW(ModelMatrix, GL_FLOAT_MAT4), ROW(ViewMatrix, GL_FLOAT_MAT4),
    ROW(ProjMatrix, GL_FLOAT_MAT4),          ROW(TimeInfo, GL_FLOAT_VEC4),    ROW(EyePos, GL_FLOAT_VEC4),
    ROW(Diffuse, GL_FLOAT_VEC4),             ROW(Emissive, GL_FLOAT_VEC4),    ROW(Resolution, GL_FLOAT_VEC4),
    ROW(CrescentOfs, GL_FLOAT_VEC2),         ROW(CrescentMoon, GL_FLOAT),     ROW(MoonSurface, GL_FLOAT),
    ROW(DepolarizationFactor, GL_FLOAT),     ROW(Luminance, GL_FLOAT),        ROW(MieCoefficient, GL_FLOAT),
    ROW(MieDirectionalG, GL_FLOAT),          ROW(MieV, GL_FLOAT),             ROW(MieZenithLength, GL_FLOAT),
    ROW(MieKCoefficient, GL_FLOAT_VEC4),     ROW(Primaries, GL_FLOAT_VEC3),   ROW(NumMolecules, GL_FLOAT),
    ROW(Rayleigh, GL_FLOAT),                 ROW(RayleighZenithLength, GL_FLOAT), ROW(RefractiveIndex, GL_FLOAT),
    ROW(SunAngularDiameterDegrees, GL_FLOAT), ROW(SunIntensityFactor, GL_FLOAT),
    ROW(SunIntensityFalloffSteepness, GL_FLOAT), ROW(TonemapWeighting, GL_FLOAT), ROW(Turbidity, GL_FLOAT),
    ROW(Inclination, GL_FLOAT),              ROW(Azimuth, GL_FLOAT),          ROW(StarDensity, GL_FLOAT),
    ROW(StarProbe, GL_FLOAT),                ROW(StarSize, GL_FLOAT),         ROW(StarSpark, GL_FLOAT),
    ROW(StarBrightness, GL_FLOAT),           ROW(StarColor, GL_FLOAT_VEC4),   ROW(CloudColor, GL_FLOAT_VEC4),
    ROW(CloudIterations, GL_INT),            ROW(CloudFrequency, GL_FLOAT),   ROW(CloudAmplitude, GL_FLOAT),
    ROW(FogMode, GL_INT),                    ROW(FogDensity, GL_FLOAT),       ROW(FogStart, GL_FLOAT),
    ROW(FogEnd, GL_FLOAT),                   ROW(FogColor, GL_FLOAT_VEC4),    ROW(Settings, GL_FLOAT_VEC4)};
#undef ROW

class SkyBoxShadersGL : public vtest::ContextGLTest {
protected:
  GLuint Compile(GLenum AType, const std::string& AText) {
    const GLuint shader = glCreateShader(AType);
    const char* text = AText.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint status = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (!status) {
      char log[4096] = {};
      glGetShaderInfoLog(shader, sizeof(log), nullptr, log);
      ADD_FAILURE() << log;
    }
    return shader;
  }
  // Links the pair with the context's fixed attribute locations.
  GLuint Link(const std::string& AVertex, const std::string& AFragment) {
    const GLuint vs = Compile(GL_VERTEX_SHADER, AVertex), fs = Compile(GL_FRAGMENT_SHADER, AFragment);
    const GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    for (GLuint location = 0; location < ShaderAttributeNames.size(); ++location)
      glBindAttribLocation(program, location, ShaderAttributeNames[location]);
    glLinkProgram(program);
    GLint status = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (!status) {
      char log[4096] = {};
      glGetProgramInfoLog(program, sizeof(log), nullptr, log);
      ADD_FAILURE() << log;
    }
    glDeleteShader(vs);
    glDeleteShader(fs);
    return program;
  }
};

TEST_F(SkyBoxShadersGL, TheThreeProgramsMatchTheRecordLayout) {
  struct TPair {
    const char* Name;
    std::string Vertex, Fragment;
    bool UsesTexCoord;
  };
  const TPair pairs[] = {
      {"cube map", sbs::CubeMapVertexShader(), sbs::CubeMapFragmentShader(), false},
      {"procedural", sbs::ProceduralVertexShader(), sbs::ProceduralFragmentShader(), true},
      {"blank", sbs::ProceduralVertexShader(), sbs::BlankFragmentShader(), true}};
  for (const TPair& pair : pairs) {
    SCOPED_TRACE(pair.Name);
    const GLuint program = Link(pair.Vertex, pair.Fragment);
    const GLuint block = glGetUniformBlockIndex(program, "SkyBoxShaderData");
    ASSERT_NE(block, GL_INVALID_INDEX);
    GLint size = 0, binding = -1;
    glGetActiveUniformBlockiv(program, block, GL_UNIFORM_BLOCK_DATA_SIZE, &size);
    glGetActiveUniformBlockiv(program, block, GL_UNIFORM_BLOCK_BINDING, &binding);
    EXPECT_EQ(size, 576);
    EXPECT_EQ(binding, 0);
    for (const TMemberRow& row : BlockMembers) {
      SCOPED_TRACE(row.Name);
      GLuint index = GL_INVALID_INDEX;
      glGetUniformIndices(program, 1, &row.Name, &index);
      ASSERT_NE(index, GL_INVALID_INDEX) << "not active";
      GLint offset = -1, type = 0;
      glGetActiveUniformsiv(program, 1, &index, GL_UNIFORM_OFFSET, &offset);
      glGetActiveUniformsiv(program, 1, &index, GL_UNIFORM_TYPE, &type);
      EXPECT_EQ(static_cast<size_t>(offset), row.Offset);
      EXPECT_EQ(static_cast<GLenum>(type), row.Type);
    }
    EXPECT_EQ(glGetAttribLocation(program, "a_Position"), 0);
    EXPECT_EQ(glGetAttribLocation(program, "a_Normal"), 1);
    // The procedural stage declares the texture coordinate, but nothing reads it: the linker may
    // drop it. Where it stays it is at 6.
    const GLint texCoord = glGetAttribLocation(program, "a_TexCoord0");
    EXPECT_TRUE(texCoord == -1 || (pair.UsesTexCoord && texCoord == 6)) << texCoord;
    const char* outputs[] = {"o_Albedo", "o_Alpha", "o_Position", "o_Normals", "o_Emissive"};
    for (int i = 0; i < 5; ++i)
      EXPECT_EQ(glGetFragDataLocation(program, outputs[i]), i) << outputs[i];
    glDeleteProgram(program);
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
