#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Buffers.OpenGL.h"
#include "context/Vantrel.Context.Shader.OpenGL.h"
#include "context/Vantrel.Context.Shader.h"
#include "context/Vantrel.Context.Types.h"
#include "gl/names.h"
#include "support/gl_fixture.h"
#include "support/log_capture.h"

namespace {

using namespace vantrel;
using VarKind = TContextShaderVariableKind;

// A context class that only answers what programs ask of the platform; it releases stage shaders
// when they are freed.
class TShaderTestContextClass : public TContext3DClass, public IShaderPlatformQueries {
public:
  using TContext3DClass::TContext3DClass;

  TContextShaderArch PlatformGetShaderArch() const override { return Arch; }
  int32_t PlatformMaxVertexShaderUniformBlocks() const override { return MaxVertexBlocks; }
  int32_t PlatformMaxFragmentShaderUniformBlocks() const override { return MaxFragmentBlocks; }
  int32_t PlatformMaxUniformBlockSize() const override { return MaxBlockSize; }
  void DoFinalizeShader(TContextShader* AShader) const override {
    gl::DeleteName(gl::TNameKind::Shader, static_cast<GLuint>(AShader->Handle()));
    AShader->SetHandle(0);
  }

  TContextShaderArch Arch = TContextShaderArch::GLSL;
  int32_t MaxVertexBlocks = 14;
  int32_t MaxFragmentBlocks = 14;
  int32_t MaxBlockSize = 65536;
};

class TShaderTestContext : public TContext3D {
  RTL_CLASS_META(TShaderTestContext, TContext3D, TShaderTestContextClass)
};
RTL_DEFINE_CLASS_META(TShaderTestContext, "ShaderProgramTest", TShaderTestContextClass)

TShaderTestContextClass& TestContextClass() {
  return TShaderTestContext::StaticClass();
}

std::vector<uint8_t> Bytes(std::string_view AText) {
  return {AText.begin(), AText.end()};
}

TContextShaderVariable Var(std::string AName, VarKind AKind, int32_t ASize = 1) {
  return {.Name = std::move(AName), .Kind = AKind, .Size = ASize};
}

class ShaderProgramGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    InitializeBuffersOpenGL();
    InitializeShaderOpenGL();
    FPreviousDefault = TContextManager::DefaultContextClass();
    TestContextClass().Arch = TContextShaderArch::GLSL;
    TContextManager::RegisterContext(TestContextClass(), true);
    glGetIntegerv(GL_MAX_VERTEX_UNIFORM_BLOCKS, &TestContextClass().MaxVertexBlocks);
    glGetIntegerv(GL_MAX_FRAGMENT_UNIFORM_BLOCKS, &TestContextClass().MaxFragmentBlocks);
    glGetIntegerv(GL_MAX_UNIFORM_BLOCK_SIZE, &TestContextClass().MaxBlockSize);
  }
  void TearDown() override {
    glUseProgram(0);
    TContextManager::UnregisterContexts();
    if (FPreviousDefault)
      TContextManager::RegisterContext(*FPreviousDefault, true);
    FinalizeShaderOpenGL();
    FinalizeBuffersOpenGL();
    ContextGLTest::TearDown();
  }

  // A compiled stage with one GLSL source.
  static TOwned<TContextShader> Stage(GLenum AType, std::string_view ACode,
                                      std::vector<TContextShaderVariable> AVariables = {}) {
    TContextShaderSource source{TContextShaderArch::GLSL, Bytes(ACode), std::move(AVariables)};
    TOwned<TContextShader> shader(
        New<TContextShader>("stage", TContextShaderKind::VertexShader, std::vector{std::move(source)}));
    shader->SetHandle(ShaderProgramClass().BuildShader(AType, shader->Sources()[0].Code, true));
    return shader;
  }

  static TOwned<TShaderProgram> Program(TContextShader* AVS, TContextShader* APS) {
    return TOwned<TShaderProgram>(ShaderProgramClass().Create(&TestContextClass(), AVS, APS));
  }

private:
  TContext3DClass* FPreviousDefault = nullptr;
};

constexpr std::string_view PlainVertex = R"(#version 430
in vec4 a_Position;
void main() { gl_Position = a_Position; }
)";

constexpr std::string_view PlainFragment = R"(#version 430
out vec4 o_Color;
void main() { o_Color = vec4(1.0); }
)";

// A triangle that covers the whole target, made from the vertex index alone.
constexpr std::string_view CoverVertex = R"(#version 430
void main() {
  vec2 p = vec2((gl_VertexID & 1) * 4.0 - 1.0, (gl_VertexID >> 1) * 4.0 - 1.0);
  gl_Position = vec4(p, 0.0, 1.0);
}
)";

// ---- Installation and CPU helpers ---------------------------------------------------------------

TEST(ShaderProgramInstall, CounterInstallsOnceAndRestoresOnLastFinalize) {
  EXPECT_EQ(ShaderProgramClass().Name(), "TShaderProgram");
  EXPECT_THROW(ShaderProgramClass().Create(nullptr, nullptr, nullptr), EAbstractError);
  InitializeShaderOpenGL();
  InitializeShaderOpenGL();
  FinalizeShaderOpenGL();
  EXPECT_EQ(ShaderProgramClass().Name(), "TOpenGLShaderProgram");
  FinalizeShaderOpenGL();
  EXPECT_EQ(ShaderProgramClass().Name(), "TShaderProgram");
}

TEST(ShaderProgramHelpers, UniformNamesAndAddVariables) {
  EXPECT_EQ(ShaderUniformName("Light.Color"), "_Light._Color");
  EXPECT_EQ(ShaderUniformName("A.B.C"), "_A._B._C");
  EXPECT_EQ(ShaderUniformName("MVP"), "_MVP");

  TContextShaderSource source;
  source.Variables = {Var("First", VarKind::Float)};
  const std::array added = {Var("Second", VarKind::Matrix, 4), Var("Third", VarKind::Texture)};
  AddVariables(source, added);
  ASSERT_EQ(source.Variables.size(), 3u);
  EXPECT_EQ(source.Variables[0].Name, "First");
  EXPECT_EQ(source.Variables[1], added[0]);
  EXPECT_EQ(source.Variables[2], added[1]);
}

// A failed compile is reported even when the driver gives no info log.
TEST(ShaderProgramHelpers, ZeroStatusWithEmptyLogIsReported) {
  vtest::TLogCapture log;
  EXPECT_NO_THROW(CheckShaderCompileStatus(1, GL_FRAGMENT_SHADER, "TOpenGLShaderProgram", "", "x", true));
  EXPECT_TRUE(log.Lines().empty());
  try {
    CheckShaderCompileStatus(0, GL_FRAGMENT_SHADER, "TOpenGLShaderProgram", "", "x", true);
    FAIL() << "no exception";
  } catch (const EContext3DException& E) {
    EXPECT_EQ(E.Message(), "Cannot create Fragment-Shader for 'TOpenGLShaderProgram':\r\n");
  }
  EXPECT_NO_THROW(CheckShaderCompileStatus(0, GL_VERTEX_SHADER, "TOpenGLShaderProgram", "", "x", false));
  EXPECT_EQ(log.Lines().size(), 2u);
}

// ---- Linking ------------------------------------------------------------------------------------

TEST_F(ShaderProgramGL, TwoStageProgramLinksWithFixedAttributeLocations) {
  auto vs = Stage(GL_VERTEX_SHADER, R"(#version 430
in vec4 a_Position;
in vec3 a_Tangent;
in mat4 a_ModelMatrix;
out vec3 v_Tangent;
void main() { v_Tangent = a_Tangent; gl_Position = a_ModelMatrix * a_Position; }
)");
  auto ps = Stage(GL_FRAGMENT_SHADER, R"(#version 430
in vec3 v_Tangent;
out vec4 o_Color;
void main() { o_Color = vec4(v_Tangent, 1.0); }
)");
  auto program = Program(vs.get(), ps.get());
  EXPECT_EQ(program->ClassName(), "TOpenGLShaderProgram");
  EXPECT_EQ(program->ContextClass(), &TestContextClass());
  EXPECT_EQ(program->VS(), vs->Handle());
  EXPECT_EQ(program->PS(), ps->Handle());
  EXPECT_EQ(program->GS(), 0u);
  EXPECT_EQ(program->TSE(), 0u);
  EXPECT_EQ(program->TSC(), 0u);
  EXPECT_TRUE(program->Available());
  EXPECT_EQ(glGetAttribLocation(program->Prog(), "a_Position"), 0);
  EXPECT_EQ(glGetAttribLocation(program->Prog(), "a_Tangent"), 11);
  EXPECT_EQ(glGetAttribLocation(program->Prog(), "a_ModelMatrix"), 12);

  program->Use();
  GLint current = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &current);
  EXPECT_EQ(static_cast<GLuint>(current), program->Prog());
  ShaderProgramClass().ActivateDefault();
  glGetIntegerv(GL_CURRENT_PROGRAM, &current);
  EXPECT_EQ(current, 0);

  const GLuint name = program->Prog();
  program.reset();
  EXPECT_EQ(glIsProgram(name), GL_FALSE);
  EXPECT_EQ(glIsShader(static_cast<GLuint>(vs->Handle())), GL_TRUE) << "stages stay with their owners";
}

TEST_F(ShaderProgramGL, LinkFailureRaisesAndDeletesTheProgram) {
  auto vs = Stage(GL_VERTEX_SHADER, R"(#version 430
out vec3 v_Value;
void main() { v_Value = vec3(1.0); gl_Position = vec4(0.0); }
)");
  auto ps = Stage(GL_FRAGMENT_SHADER, R"(#version 430
in vec4 v_Value;
out vec4 o_Color;
void main() { o_Color = v_Value; }
)");
  vtest::TLogCapture log;
  uint32_t progAtReport = 1;
  ContextErrorHook = [&](TObject* ASender, TContextErrorKind, const std::string&) {
    progAtReport = CheckedCast<TShaderProgram>(ASender)->Prog();
  };
  try {
    Program(vs.get(), ps.get());
    ADD_FAILURE() << "no exception";
  } catch (const EContext3DException& E) {
    EXPECT_EQ(E.Message().rfind("cannot create shader program: TOpenGLShaderProgram - ", 0), 0u)
        << E.Message();
    EXPECT_GT(E.Message().size(),
              std::string_view("cannot create shader program: TOpenGLShaderProgram - ").size());
  }
  ContextErrorHook = nullptr;
  EXPECT_EQ(progAtReport, 0u);
  ASSERT_EQ(log.Lines().size(), 2u) << "the link log, then the report";
  EXPECT_EQ(log.Lines()[1].rfind("[Context Exception]: cannot create shader program", 0), 0u);
}

// ---- Compilation --------------------------------------------------------------------------------

TEST_F(ShaderProgramGL, CompileFailureReportsTheStageAndReturnsTheName) {
  struct TCase {
    GLenum Type;
    const char* Message;
  };
  const TCase cases[] = {
      {GL_VERTEX_SHADER, "Cannot create Vertex-Shader for 'TOpenGLShaderProgram':\r\n"},
      {GL_FRAGMENT_SHADER, "Cannot create Fragment-Shader for 'TOpenGLShaderProgram':\r\n"},
      {GL_GEOMETRY_SHADER, "Cannot create Geometry-Shader for 'TOpenGLShaderProgram':\r\n"},
      {GL_TESS_EVALUATION_SHADER,
       "Cannot create Tessellation-Evaluation-Shader for 'TOpenGLShaderProgram':\r\n"},
      {GL_TESS_CONTROL_SHADER, "Cannot create Tessellation-Control-Shader for 'TOpenGLShaderProgram':\r\n"},
  };
  const std::vector<uint8_t> broken = Bytes("#version 430\r\nvoid main() { undeclared = 1; }\r\n");
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Message);
    vtest::TLogCapture log;
    const uint32_t shader = ShaderProgramClass().BuildShader(c.Type, broken, false);
    EXPECT_NE(shader, 0u);
    ASSERT_EQ(log.Lines().size(), 2u) << "the info log, then the report";
    EXPECT_NE(log.Lines()[0].find("undeclared"), std::string::npos) << log.Lines()[0];
    const std::string reported = log.Lines()[1];
    EXPECT_EQ(reported.rfind(std::string("[Shader Compile Exception]: ") + c.Message, 0), 0u) << reported;
    gl::DeleteName(gl::TNameKind::Shader, shader);

    // Names are handed out from the lowest free one or counting up; either way a leaked shader
    // would sit at one of the next few names.
    const GLuint probe = glCreateShader(c.Type);
    glDeleteShader(probe);
    try {
      ShaderProgramClass().BuildShader(c.Type, broken, true);
      ADD_FAILURE() << "no exception at design time";
    } catch (const EContext3DException& E) {
      EXPECT_EQ(E.Message().rfind(c.Message, 0), 0u);
    }
    for (GLuint name = probe; name < probe + 4; ++name)
      EXPECT_EQ(glIsShader(name), GL_FALSE) << "the raising build deletes its shader " << name;
  }
}

// ---- Variables ----------------------------------------------------------------------------------

constexpr std::string_view SamplingVertex = R"(#version 430
in vec4 a_Position;
uniform sampler2D _TexA;
uniform sampler2D _TexB;
struct TLight { vec4 _Color; float _Range; };
uniform TLight _Light;
uniform mat4 _Bones[4];
uniform mat4 _MVP;
out vec4 v_Color;
void main() {
  v_Color = textureLod(_TexA, vec2(0.5), 0.0) + textureLod(_TexB, vec2(0.5), 0.0) + _Light._Color;
  gl_Position = _MVP * _Bones[3] * a_Position * _Light._Range;
}
)";

constexpr std::string_view SamplingFragment = R"(#version 430
in vec4 v_Color;
uniform sampler2D _Diffuse;
out vec4 o_Color;
void main() { o_Color = v_Color * texture(_Diffuse, vec2(0.5)); }
)";

TEST_F(ShaderProgramGL, VariablesGetLocationsUnitsAndMatrixSizes) {
  auto vs = Stage(GL_VERTEX_SHADER, SamplingVertex,
                  {Var("TexA", VarKind::Texture), Var("Absent", VarKind::Texture),
                   Var("TexB", VarKind::Texture), Var("Light.Color", VarKind::Vector),
                   Var("Bones", VarKind::Matrix, 1), Var("MVP", VarKind::Matrix, 1)});
  auto ps = Stage(GL_FRAGMENT_SHADER, SamplingFragment, {Var("Diffuse", VarKind::Texture)});
  auto program = Program(vs.get(), ps.get());
  const TShaderProgram::TVariables& variables = program->Variables();
  const GLuint prog = program->Prog();

  std::vector<std::string> order;
  for (const auto& pair : variables)
    order.push_back(pair.Key);
  EXPECT_EQ(order,
            (std::vector<std::string>{"TexA", "Absent", "TexB", "Light.Color", "Bones", "MVP", "Diffuse"}));

  EXPECT_EQ(variables.Items("TexA").TextureUnit, 1);
  EXPECT_EQ(variables.Items("Absent").Index, -1);
  EXPECT_EQ(variables.Items("Absent").TextureUnit, 0) << "units go to found samplers only";
  EXPECT_EQ(variables.Items("TexB").TextureUnit, 2);
  EXPECT_EQ(variables.Items("Diffuse").TextureUnit, 3);
  EXPECT_EQ(variables.Items("Light.Color").Index, glGetUniformLocation(prog, "_Light._Color"));
  EXPECT_GE(variables.Items("Light.Color").Index, 0);
  EXPECT_EQ(variables.Items("Bones").Size, 4);
  EXPECT_EQ(variables.Items("MVP").Size, 1);
  EXPECT_EQ(variables.Items("TexA").ShaderKind, TContextShaderKind::VertexShader);
  EXPECT_EQ(variables.Items("Diffuse").ShaderKind, TContextShaderKind::PixelShader);
  EXPECT_EQ(variables.Items("Diffuse").Index, glGetUniformLocation(prog, "_Diffuse"));

  auto* openGL = CheckedCast<TOpenGLShaderProgram>(program.get());
  EXPECT_EQ(openGL->FindActiveUniformSize("_BONES[0]"), 4) << "case-insensitive";
  EXPECT_EQ(openGL->FindActiveUniformSize("_Bones"), 0);
}

// Units continue across every stage, so a geometry sampler never shares a unit with a vertex one.
TEST_F(ShaderProgramGL, TextureUnitsRunOnAcrossAllStagesAndKindsFollowTheStage) {
  auto vs = Stage(GL_VERTEX_SHADER, R"(#version 430
uniform sampler2D _VertexTex;
out vec4 v_Color;
void main() { v_Color = textureLod(_VertexTex, vec2(0.5), 0.0); gl_Position = vec4(0.0); }
)",
                  {Var("VertexTex", VarKind::Texture)});
  auto gs = Stage(GL_GEOMETRY_SHADER, R"(#version 430
layout(points) in;
layout(points, max_vertices = 1) out;
in vec4 v_Color[];
uniform sampler2D _GeometryTex;
out vec4 g_Color;
void main() {
  g_Color = v_Color[0] + textureLod(_GeometryTex, vec2(0.5), 0.0);
  gl_Position = gl_in[0].gl_Position;
  EmitVertex();
}
)",
                  {Var("GeometryTex", VarKind::Texture)});
  auto ps = Stage(GL_FRAGMENT_SHADER, R"(#version 430
in vec4 g_Color;
uniform sampler2D _PixelTex;
out vec4 o_Color;
void main() { o_Color = g_Color * texture(_PixelTex, vec2(0.5)); }
)",
                  {Var("PixelTex", VarKind::Texture)});
  TOwned<TShaderProgram> program(
      ShaderProgramClass().Create(&TestContextClass(), vs.get(), gs.get(), nullptr, nullptr, ps.get()));
  EXPECT_EQ(program->GS(), gs->Handle());
  EXPECT_TRUE(program->Available());
  const auto& variables = program->Variables();
  EXPECT_EQ(variables.Items("VertexTex").TextureUnit, 1);
  EXPECT_EQ(variables.Items("GeometryTex").TextureUnit, 2);
  EXPECT_EQ(variables.Items("PixelTex").TextureUnit, 3);
  EXPECT_EQ(static_cast<int>(variables.Items("GeometryTex").ShaderKind),
            static_cast<int>(TContextShaderKindEx::GeometryShader));
}

TEST_F(ShaderProgramGL, SourceFollowsThePlatformArchitectureWithGLSLFallback) {
  TContextShaderSource glsl{
      TContextShaderArch::GLSL, Bytes(SamplingFragment), {Var("Diffuse", VarKind::Texture)}};
  TContextShaderSource mac{
      TContextShaderArch::Mac, Bytes(SamplingFragment), {Var("FromMac", VarKind::Float)}};
  TOwned<TContextShader> both(
      New<TContextShader>("both", TContextShaderKind::PixelShader, std::vector{glsl, mac}));
  both->SetHandle(ShaderProgramClass().BuildShader(GL_FRAGMENT_SHADER, glsl.Code, true));
  auto vs = Stage(GL_VERTEX_SHADER, R"(#version 430
out vec4 v_Color;
void main() { v_Color = vec4(1.0); gl_Position = vec4(0.0); }
)");

  TestContextClass().Arch = TContextShaderArch::Mac;
  EXPECT_TRUE(Program(vs.get(), both.get())->Variables().ContainsKey("FromMac"));
  auto glslOnly = Stage(GL_FRAGMENT_SHADER, SamplingFragment, {Var("Diffuse", VarKind::Texture)});
  EXPECT_TRUE(Program(vs.get(), glslOnly.get())->Variables().ContainsKey("Diffuse"));
}

TEST_F(ShaderProgramGL, NameInTwoStagesRaisesAndFreesTheProgram) {
  auto vs = Stage(GL_VERTEX_SHADER, SamplingVertex, {Var("Light.Color", VarKind::Vector)});
  auto ps = Stage(GL_FRAGMENT_SHADER, SamplingFragment, {Var("Light.Color", VarKind::Vector)});
  EXPECT_THROW(Program(vs.get(), ps.get()), EListError);
}

// ---- Errors after GL calls ----------------------------------------------------------------------

TEST_F(ShaderProgramGL, PendingGLErrorsRaiseWithTheirTexts) {
  auto vs = Stage(GL_VERTEX_SHADER, PlainVertex);
  auto ps = Stage(GL_FRAGMENT_SHADER, PlainFragment);
  auto program = Program(vs.get(), ps.get());
  const auto raiseInvalidEnum = [] { glEnable(0xFFFF); };

  raiseInvalidEnum();
  try {
    program->Use();
    ADD_FAILURE() << "Use";
  } catch (const EContext3DException& E) {
    EXPECT_EQ(E.Message(), "cannot use shader program");
  }
  raiseInvalidEnum();
  try {
    ShaderProgramClass().ActivateDefault();
    ADD_FAILURE() << "ActivateDefault";
  } catch (const Exception& E) {
    EXPECT_EQ(
        E.Message(),
        "failed to switch to default shader program (TOpenGLShaderProgram) - not activated (error #1280)");
  }
  raiseInvalidEnum();
  try {
    Program(vs.get(), ps.get());
    ADD_FAILURE() << "Create";
  } catch (const EContext3DException& E) {
    EXPECT_EQ(E.Message(), "cannot activated created shader program");
  }
}

// ---- Uniform blocks -----------------------------------------------------------------------------

struct TBlockColor {
  std::array<float, 4> Color;
};

TEST_F(ShaderProgramGL, BlocksBindToTheirListPositionWhateverTheLayoutSays) {
  auto& target = UseFrameBuffer(8, 8);
  auto vs = Stage(GL_VERTEX_SHADER, CoverVertex);
  auto ps = Stage(GL_FRAGMENT_SHADER, R"(#version 430
layout(std140, binding = 5) uniform BlockA { vec4 _A; };
layout(std140, binding = 5) uniform BlockB { vec4 _B; };
out vec4 o_Color;
void main() { o_Color = _A + _B; }
)");
  auto program = Program(vs.get(), ps.get());
  const TBlockColor a{{0.25f, 0.0f, 0.0f, 0.5f}};
  const TBlockColor b{{0.0f, 0.5f, 0.0f, 0.5f}};
  ASSERT_NE(program->RegisterUniformBuffer("BlockA", &a, sizeof a), nullptr);
  ASSERT_NE(program->RegisterUniformBuffer("BlockB", &b, sizeof b), nullptr);
  EXPECT_TRUE(program->UniformBuffersModified());
  program->Use();
  program->PushUniformBuffers();
  EXPECT_FALSE(program->UniformBuffersModified());
  glDrawArrays(GL_TRIANGLES, 0, 3);
  EXPECT_TRUE(vtest::ColorNear(target.Pixel(4, 4), {64, 128, 0, 255}));
}

TEST_F(ShaderProgramGL, UnregisteringMovesLaterBlocksDownAtTheNextPush) {
  auto vs = Stage(GL_VERTEX_SHADER, CoverVertex);
  auto ps = Stage(GL_FRAGMENT_SHADER, R"(#version 430
layout(std140) uniform First { vec4 _F; };
layout(std140) uniform Second { vec4 _S; };
layout(std140) uniform Third { vec4 _T; };
out vec4 o_Color;
void main() { o_Color = _F + _S + _T; }
)");
  auto program = Program(vs.get(), ps.get());
  const TBlockColor data{{0.1f, 0.2f, 0.3f, 0.4f}};
  GLuint sentinel = 0;
  glGenBuffers(1, &sentinel);
  glBindBuffer(GL_UNIFORM_BUFFER, sentinel);

  program->RegisterUniformBuffer("First", &data, sizeof data);
  const PUniformBufferStruct second = program->RegisterUniformBuffer("Second", &data, sizeof data);
  const PUniformBufferStruct third = program->RegisterUniformBuffer("Third", &data, sizeof data);
  GLint buffer = 0;
  glGetIntegerv(GL_UNIFORM_BUFFER_BINDING, &buffer);
  EXPECT_EQ(static_cast<GLuint>(buffer), sentinel) << "registering restores the generic binding";
  program->PushUniformBuffers();
  program->UnregisterUniformBufferByIdx(0);
  program->PushUniformBuffers();

  EXPECT_EQ(second->Name, "Second") << "entries stay where they are";
  const GLuint prog = program->Prog();
  GLint binding = -1;
  glGetActiveUniformBlockiv(prog, glGetUniformBlockIndex(prog, "Second"), GL_UNIFORM_BLOCK_BINDING, &binding);
  EXPECT_EQ(binding, 0);
  glGetActiveUniformBlockiv(prog, glGetUniformBlockIndex(prog, "Third"), GL_UNIFORM_BLOCK_BINDING, &binding);
  EXPECT_EQ(binding, 1);
  glGetIntegeri_v(GL_UNIFORM_BUFFER_BINDING, 0, &buffer);
  EXPECT_EQ(static_cast<GLuint>(buffer), second->Buffer->Handle());
  glGetIntegeri_v(GL_UNIFORM_BUFFER_BINDING, 1, &buffer);
  EXPECT_EQ(static_cast<GLuint>(buffer), third->Buffer->Handle());
  glGetIntegerv(GL_UNIFORM_BUFFER_BINDING, &buffer);
  EXPECT_EQ(static_cast<GLuint>(buffer), sentinel) << "the generic binding is restored";

  program->UnregisterUniformBufferByIdx(0);
  glGetIntegerv(GL_UNIFORM_BUFFER_BINDING, &buffer);
  EXPECT_EQ(static_cast<GLuint>(buffer), sentinel) << "releasing a pushed block restores it too";
  program.reset();
  glGetIntegerv(GL_UNIFORM_BUFFER_BINDING, &buffer);
  EXPECT_EQ(static_cast<GLuint>(buffer), sentinel);
  glBindBuffer(GL_UNIFORM_BUFFER, 0);
  glDeleteBuffers(1, &sentinel);
}

TEST_F(ShaderProgramGL, PushOfABlockTheProgramLacksRaises) {
  auto program =
      Program(Stage(GL_VERTEX_SHADER, PlainVertex).get(), Stage(GL_FRAGMENT_SHADER, PlainFragment).get());
  const TBlockColor data{};
  GLuint sentinel = 0;
  glGenBuffers(1, &sentinel);
  glBindBuffer(GL_UNIFORM_BUFFER, sentinel);
  program->RegisterUniformBuffer("Missing", &data, sizeof data);
  try {
    program->PushUniformBuffers();
    ADD_FAILURE() << "no exception";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), Format("TBufferObject.LinkWithShaderProgram failed: invalid uniform block index "
                                  "(program=%d, index=4294967295, name=Missing)",
                                  {program->Prog()}));
  }
  GLint bound = 0;
  glGetIntegerv(GL_UNIFORM_BUFFER_BINDING, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), sentinel);
  glBindBuffer(GL_UNIFORM_BUFFER, 0);
  glDeleteBuffers(1, &sentinel);
}

TEST_F(ShaderProgramGL, RegistryKeepsFirstRegistrationsAndStableEntries) {
  auto vs = Stage(GL_VERTEX_SHADER, PlainVertex);
  auto ps = Stage(GL_FRAGMENT_SHADER, PlainFragment);
  auto program = Program(vs.get(), ps.get());
  const std::array<uint8_t, 64> first{};
  const std::array<uint8_t, 128> other{};

  const PUniformBufferStruct shaderData = program->RegisterUniformBuffer("ShaderData", first.data(), 64);
  ASSERT_NE(shaderData, nullptr);
  EXPECT_EQ(program->RegisterUniformBuffer("ShaderData", other.data(), 128), shaderData);
  EXPECT_EQ(program->UniformBufferCount(), 1);
  EXPECT_EQ(shaderData->Data, first.data());
  EXPECT_EQ(shaderData->Size, 64);
  EXPECT_EQ(shaderData->Binding, 0);
  ASSERT_NE(shaderData->Buffer, nullptr);
  EXPECT_EQ(shaderData->Buffer->ClassName(), "TOpenGLBufferObject");
  EXPECT_EQ(shaderData->Buffer->Target(), TBufferBindingTarget::Uniform);
  EXPECT_EQ(shaderData->Buffer->Usage(), TBufferUsage::DynamicDraw);
  EXPECT_EQ(shaderData->Buffer->Size(), 64) << "filled at registration";
  EXPECT_FALSE(shaderData->Buffer->IsBound());

  const PUniformBufferStruct behaviour = program->RegisterUniformBuffer("Behaviour", other.data(), 128);
  EXPECT_EQ(behaviour->Binding, 1);
  EXPECT_EQ(program->IndexOfUniformBuffer("Behaviour"), 1);
  EXPECT_EQ(program->IndexOfUniformBuffer("behaviour"), -1) << "case-sensitive";
  EXPECT_EQ(program->GetUniformBufferByName("Nothing"), nullptr);

  program->UnregisterUniformBufferByName("ShaderData");
  program->RegisterUniformBuffer("Later", first.data(), 64);
  EXPECT_EQ(program->GetUniformBufferByName("Behaviour"), behaviour) << "the entry did not move";
  EXPECT_EQ(behaviour->Name, "Behaviour");
  EXPECT_EQ(program->IndexOfUniformBuffer("Behaviour"), 0);
}

TEST_F(ShaderProgramGL, RemovalOutsideTheListChangesNothing) {
  auto vs = Stage(GL_VERTEX_SHADER, PlainVertex);
  auto ps = Stage(GL_FRAGMENT_SHADER, R"(#version 430
layout(std140) uniform Only { vec4 _O; };
out vec4 o_Color;
void main() { o_Color = _O; }
)");
  auto program = Program(vs.get(), ps.get());
  const TBlockColor data{};
  program->RegisterUniformBuffer("Only", &data, sizeof data);
  program->PushUniformBuffers();

  program->UnregisterUniformBufferByIdx(-1);
  program->UnregisterUniformBufferByIdx(1);
  program->UnregisterUniformBufferByName("only");
  EXPECT_EQ(program->UniformBufferCount(), 1);
  EXPECT_FALSE(program->UniformBuffersModified());

  program->ClearUniformBuffers();
  EXPECT_EQ(program->UniformBufferCount(), 0);
  EXPECT_TRUE(program->UniformBuffersModified());
  EXPECT_EQ(program->IndexOfUniformBuffer("Only"), -1);
}

TEST_F(ShaderProgramGL, PlatformLimitsBoundTheRegistry) {
  struct TCase {
    const char* Name;
    int32_t MaxVertex, MaxFragment, MaxSize;
    int Before;        // blocks registered first
    int64_t Size;      // of the next one
    const char* Error; // nullptr: registered, "" : nil
  };
  const TCase cases[] = {
      {"vertex limit", 15, 20, 1024, 15, 16,
       "failed to register uniform buffer - maximum number of vertex uniform blocks exceeded"},
      {"fragment limit", 20, 2, 1024, 2, 16,
       "failed to register uniform buffer - maximum number of fragment uniform blocks exceeded"},
      {"size limit", 14, 14, 1024, 1, 1025,
       "failed to register uniform buffer - maximum uniform block size exceeded"},
      {"size at limit", 14, 14, 1024, 1, 1024, nullptr},
      {"one vertex block", 1, 14, 1024, 0, 16, ""},
      {"one fragment block", 14, 1, 1024, 0, 16, ""},
  };
  auto vs = Stage(GL_VERTEX_SHADER, PlainVertex);
  auto ps = Stage(GL_FRAGMENT_SHADER, PlainFragment);
  const std::vector<uint8_t> data(2048);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto program = Program(vs.get(), ps.get());
    TestContextClass().MaxVertexBlocks = 20;
    TestContextClass().MaxFragmentBlocks = 20;
    TestContextClass().MaxBlockSize = c.MaxSize;
    for (int i = 0; i < c.Before; ++i)
      ASSERT_NE(program->RegisterUniformBuffer("Block" + std::to_string(i), data.data(), 16), nullptr);
    TestContextClass().MaxVertexBlocks = c.MaxVertex;
    TestContextClass().MaxFragmentBlocks = c.MaxFragment;
    if (!c.Error) {
      EXPECT_NE(program->RegisterUniformBuffer("Next", data.data(), c.Size), nullptr);
      continue;
    }
    if (!*c.Error) {
      EXPECT_EQ(program->RegisterUniformBuffer("Next", data.data(), c.Size), nullptr);
    } else {
      try {
        program->RegisterUniformBuffer("Next", data.data(), c.Size);
        ADD_FAILURE() << "no exception";
      } catch (const Exception& E) {
        EXPECT_EQ(E.Message(), c.Error);
      }
    }
    EXPECT_EQ(program->UniformBufferCount(), c.Before);
    EXPECT_EQ(program->IndexOfUniformBuffer("Next"), -1);
  }
}

} // namespace
