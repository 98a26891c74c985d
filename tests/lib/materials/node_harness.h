#pragma once
// GL support for the effect nodes' tests: the render fixture's quad, a float target N x 1, the
// function harness and small textures made from raw GL objects.
//
// The harness evaluates generated functions directly: it takes a row's stage builders, clears the
// fragment stage's main and puts a harness main in its place, which picks its case from
// int(gl_FragCoord.x), reads inputs from `uniform vec4 _In[32];` and writes the result into
// o_Albedo. Everything else the stage declares (types, block, varyings, samplers, every function)
// stays as generated, so the harness calls the real function text.

#include <epoxy/gl.h>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "materials/Vantrel.Material.Default.h"
#include "support/gl_fixture.h"
#include "support/shader_variants.h"

namespace vtest {

using TFloat4 = std::array<float, 4>;

// A linked program of a row (or of a harness) with the block it reads, registered as "ShaderData"
// with identity matrices, no fog and no options.
struct TEffectProgram {
  TShaderVariantBuilders Builders;
  TLinkedVariant Linked;
  std::unique_ptr<vantrel::TVantrelShaderData> Data;

  GLuint Prog() const { return Linked.Program->Prog(); }
  // Uses the program, pushes its block and binds ATexture of kind ATarget to the sampler.
  void Use() const;
  void BindTexture(const char* ASampler, GLenum ATarget, GLuint ATexture, GLint AUnit) const;
  // Sets the harness inputs `_In[0..]`.
  void SetInputs(const std::vector<TFloat4>& AInputs) const;
};

// Builds the row's program once; AHarnessMain, when not empty, replaces the fragment main's body.
std::unique_ptr<TEffectProgram> MakeEffectProgram(const TShaderVariantRow& ARow,
                                                  std::string_view AHarnessMain = {});

// A texture of kind GL_TEXTURE_2D (or a cube map with one colour per face) with nearest filtering.
class TRawTexture {
public:
  // AWidth x AHeight texels, bottom row first, in the internal format given (RGBA32F, R32F, RG32F
  // or RGBA8 from floats).
  TRawTexture(int AWidth, int AHeight, GLenum AInternalFormat, const std::vector<float>& ATexels);
  // A cube map 1 x 1 per face, faces in the order +X, -X, +Y, -Y, +Z, -Z.
  explicit TRawTexture(const std::array<TFloat4, 6>& AFaces);
  ~TRawTexture();
  TRawTexture(const TRawTexture&) = delete;
  TRawTexture& operator=(const TRawTexture&) = delete;
  GLuint Handle() const { return FTexture; }

private:
  GLuint FTexture = 0;
};

// Colour targets of float formats for one draw; binds itself and sets the viewport.
class TFloatTargets {
public:
  // One attachment per format, at locations 0, 1, ...
  TFloatTargets(int AWidth, int AHeight, const std::vector<GLenum>& AFormats);
  ~TFloatTargets();
  TFloatTargets(const TFloatTargets&) = delete;
  TFloatTargets& operator=(const TFloatTargets&) = delete;
  // Clears every attachment to AClear.
  void Clear(const TFloat4& AClear) const;
  // The attachment's pixels as RGBA floats, bottom row first.
  std::vector<TFloat4> Read(int AAttachment) const;

private:
  int FWidth, FHeight;
  GLuint FFramebuffer = 0;
  std::vector<GLuint> FTextures;
};

// The effect tests' fixture: the quad of the render fixture (positions +-1 at z = 0, normal +z,
// UV 0..1, tangent +x, identity model matrix, white vertex colour) and one program per name.
class EffectGLTest : public ContextGLTest {
protected:
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // The program made once per test program under AName.
  static TEffectProgram& Program(const std::string& AName, const TShaderVariantRow& ARow,
                                 std::string_view AHarnessMain = {});
  // Runs a harness over ACases fragments of a float target and returns their o_Albedo.
  std::vector<TFloat4> RunHarness(TEffectProgram& AProgram, const std::vector<TFloat4>& AInputs, int ACases);
  // Draws the quad with the program into the current frame buffer.
  void DrawQuad(const TEffectProgram& AProgram) const;

private:
  GLuint FVertexArray = 0;
  GLuint FBuffer = 0;
};

} // namespace vtest
