#include <epoxy/gl.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "context/Vantrel.Context.Types.OpenGL.h"
#include "context/Vantrel.Context.Types.h"
#include "support/gl_fixture.h"

namespace {

using namespace vantrel;

class ContextTypesGL : public vtest::ContextGLTest {};

// The GLSL structs the shaders declare; our records must be their exact std140 images.
const char* const LayoutVertexShader = R"(#version 430
struct Light {
  int _LightType;
  vec4 _Position;
  vec4 _Direction;
  vec4 _Ambient;
  vec4 _Diffuse;
  vec4 _Specular;
  vec4 _Scattering;
  float _SpotCutOff;
  float _SpotCosCutoff;
  float _SpotExponent;
  float _ConstantAttenuation;
  float _LinearAttenuation;
  float _QuadraticAttenuation;
  float _Intensity;
  int _Enabled;
};
struct Texture {
  vec4 _Feature;
  vec2 _Tiling;
};
struct Material {
  vec4 _Emissive;
  vec4 _Ambient;
  vec4 _Diffuse;
  vec4 _Specular;
  vec4 _Clipping;
  vec2 _AlphaCutoff;
  float _ToneMapExp;
  vec4 _Displacement;
  vec4 _Features;
  float _Shininess;
  int _Textures;
  int _PoolTexturesOffset;
  int _PoolTextures;
  Texture _Texture[16];
};
layout(std140) uniform LightBlock { Light uLight; };
layout(std140) uniform MaterialBlock { Material uMaterial; };
void main() {
  gl_Position = vec4(uLight._Position.x + uMaterial._Shininess + uMaterial._Texture[15]._Tiling.y);
}
)";

const char* const LayoutFragmentShader = R"(#version 430
out vec4 o_Color;
void main() { o_Color = vec4(1.0); }
)";

using TMemberOffsets = std::vector<std::pair<std::string, size_t>>;

TMemberOffsets LightMembers() {
  return {
      {"uLight._LightType", offsetof(TVantrelShaderLight, LightType)},
      {"uLight._Position", offsetof(TVantrelShaderLight, Position)},
      {"uLight._Direction", offsetof(TVantrelShaderLight, Direction)},
      {"uLight._Ambient", offsetof(TVantrelShaderLight, Ambient)},
      {"uLight._Diffuse", offsetof(TVantrelShaderLight, Diffuse)},
      {"uLight._Specular", offsetof(TVantrelShaderLight, Specular)},
      {"uLight._Scattering", offsetof(TVantrelShaderLight, Scattering)},
      {"uLight._SpotCutOff", offsetof(TVantrelShaderLight, SpotCutoff)},
      {"uLight._SpotCosCutoff", offsetof(TVantrelShaderLight, SpotCosCutoff)},
      {"uLight._SpotExponent", offsetof(TVantrelShaderLight, SpotExponent)},
      {"uLight._ConstantAttenuation", offsetof(TVantrelShaderLight, ConstantAttenuation)},
      {"uLight._LinearAttenuation", offsetof(TVantrelShaderLight, LinearAttenuation)},
      {"uLight._QuadraticAttenuation", offsetof(TVantrelShaderLight, QuadraticAttenuation)},
      {"uLight._Intensity", offsetof(TVantrelShaderLight, Intensity)},
      {"uLight._Enabled", offsetof(TVantrelShaderLight, Enabled)},
  };
}

TMemberOffsets MaterialMembers() {
  TMemberOffsets members = {
      {"uMaterial._Emissive", offsetof(TVantrelShaderMaterial, Emissive)},
      {"uMaterial._Ambient", offsetof(TVantrelShaderMaterial, Ambient)},
      {"uMaterial._Diffuse", offsetof(TVantrelShaderMaterial, Diffuse)},
      {"uMaterial._Specular", offsetof(TVantrelShaderMaterial, Specular)},
      {"uMaterial._Clipping", offsetof(TVantrelShaderMaterial, Clipping)},
      {"uMaterial._AlphaCutoff", offsetof(TVantrelShaderMaterial, AlphaCutoff)},
      {"uMaterial._ToneMapExp", offsetof(TVantrelShaderMaterial, ToneMapExp)},
      {"uMaterial._Displacement", offsetof(TVantrelShaderMaterial, Displacement)},
      {"uMaterial._Features", offsetof(TVantrelShaderMaterial, Features)},
      {"uMaterial._Shininess", offsetof(TVantrelShaderMaterial, Shininess)},
      {"uMaterial._Textures", offsetof(TVantrelShaderMaterial, Textures)},
      {"uMaterial._PoolTexturesOffset", offsetof(TVantrelShaderMaterial, PoolTexturesOffset)},
      {"uMaterial._PoolTextures", offsetof(TVantrelShaderMaterial, PoolTextures)},
  };
  for (size_t k = 0; k < 16; ++k) {
    const std::string entry = "uMaterial._Texture[" + std::to_string(k) + "].";
    const size_t base = offsetof(TVantrelShaderMaterial, Texture) + k * sizeof(TVantrelShaderTexture);
    members.emplace_back(entry + "_Feature", base + offsetof(TVantrelShaderTexture, Feature));
    members.emplace_back(entry + "_Tiling", base + offsetof(TVantrelShaderTexture, Tiling));
  }
  return members;
}

void ExpectBlockLayout(GLuint AProgram, const char* ABlock, GLint ASize, const TMemberOffsets& AMembers) {
  const GLuint block = glGetUniformBlockIndex(AProgram, ABlock);
  ASSERT_NE(block, GL_INVALID_INDEX) << ABlock;
  GLint size = 0;
  glGetActiveUniformBlockiv(AProgram, block, GL_UNIFORM_BLOCK_DATA_SIZE, &size);
  EXPECT_EQ(size, ASize) << ABlock;
  for (const auto& [name, offset] : AMembers) {
    const char* names[] = {name.c_str()};
    GLuint index = GL_INVALID_INDEX;
    glGetUniformIndices(AProgram, 1, names, &index);
    ASSERT_NE(index, GL_INVALID_INDEX) << name;
    GLint glOffset = -1;
    glGetActiveUniformsiv(AProgram, 1, &index, GL_UNIFORM_OFFSET, &glOffset);
    EXPECT_EQ(glOffset, static_cast<GLint>(offset)) << name;
  }
}

TEST_F(ContextTypesGL, RecordsAreTheStd140ImagesOfTheShaderStructs) {
  const GLuint program = vtest::BuildProgram(LayoutVertexShader, LayoutFragmentShader);
  ExpectBlockLayout(program, "LightBlock", sizeof(TVantrelShaderLight), LightMembers());
  ExpectBlockLayout(program, "MaterialBlock", sizeof(TVantrelShaderMaterial), MaterialMembers());
  glDeleteProgram(program);
}

TEST_F(ContextTypesGL, BlendTranslationsAreAcceptedByGL) {
  for (uint8_t factor = 0; factor <= static_cast<uint8_t>(TBlendFactor::bfSrcAlphaSaturate); ++factor) {
    const GLenum value = BlendFactorToGL(factor);
    glBlendFuncSeparate(value, value, value, value);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << int(factor);
    GLint stored = 0;
    glGetIntegerv(GL_BLEND_DST_ALPHA, &stored);
    EXPECT_EQ(static_cast<GLenum>(stored), value) << int(factor);
  }
  for (uint8_t equation = 0; equation <= static_cast<uint8_t>(TBlendEquationFunc::befMax); ++equation) {
    const GLenum value = BlendEquationToGL(equation);
    glBlendEquationSeparate(value, value);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << int(equation);
    GLint stored = 0;
    glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &stored);
    EXPECT_EQ(static_cast<GLenum>(stored), value) << int(equation);
  }
  EXPECT_EQ(BlendFactorToGL(TBlendFactor::bfOneMinusDstColor), static_cast<GLenum>(GL_ONE_MINUS_DST_COLOR));
  EXPECT_EQ(BlendFactorToGL(uint8_t{11}), static_cast<GLenum>(GL_ONE));
  EXPECT_EQ(BlendFactorToGL(uint8_t{255}), static_cast<GLenum>(GL_ONE));
  EXPECT_EQ(BlendEquationToGL(TBlendEquationFunc::befMin), static_cast<GLenum>(GL_MIN));
  EXPECT_EQ(BlendEquationToGL(uint8_t{5}), static_cast<GLenum>(GL_FUNC_ADD));
  glBlendFuncSeparate(GL_ONE, GL_ZERO, GL_ONE, GL_ZERO);
  glBlendEquationSeparate(GL_FUNC_ADD, GL_FUNC_ADD);
}

TEST_F(ContextTypesGL, DrainReadsTheRealErrorQueue) {
  glEnable(0xFFFF);
  EXPECT_EQ(DrainGLErrors(), static_cast<uint32_t>(GL_INVALID_ENUM));
  EXPECT_EQ(DrainGLErrors(), 0u);
  glEnable(0xFFFF);
  EXPECT_EQ(GetContextError(), GL_INVALID_ENUM);
  EXPECT_FALSE(HasContextError());
}

} // namespace
