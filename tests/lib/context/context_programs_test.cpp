// The framework context's process-wide shader programs, its pass loop, pass materials around each
// draw and record-array uploads. Programs are linked by the real driver; the context itself is the
// recording double with its shader hooks passed through to the framework context.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Shader.OpenGL.h"
#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Controller.h"
#include "rtl/sysutils.h"
#include "support/gl_fixture.h"
#include "support/log_capture.h"
#include "support/recording_context.h"
#include "ui/material.h"
#include "ui/texture.h"

namespace {

using namespace vantrel;
using TStrings = std::vector<std::string>;

// ---- Records uploaded as struct arrays ---------------------------------------------------------

struct TTestLight {
  bool Enabled = false;
  float Power = 0;
  TAlphaColorF Color;
};
RTL_RECORD_TYPEINFO_FIELDS(TTestLight, RTL_RECORD_FIELD(TTestLight, Enabled),
                           RTL_RECORD_FIELD(TTestLight, Power), RTL_RECORD_FIELD(TTestLight, Color));

struct TTestItem {
  float X = 0;
};
RTL_RECORD_TYPEINFO_FIELDS(TTestItem, RTL_RECORD_FIELD(TTestItem, X));

struct TTestGroup {
  int32_t Count = 0;
  std::array<TTestItem, 2> Items;
};
RTL_RECORD_TYPEINFO_FIELDS(TTestGroup, RTL_RECORD_FIELD(TTestGroup, Count),
                           RTL_RECORD_FIELD(TTestGroup, Items));

struct TTestKinds {
  int16_t Small = 0;
  uint32_t Unsigned = 0;
  TStencilOpEx Op = TStencilOpEx::Keep;
  double Wide = 0;
  TPointF Point;
  TPoint3D Point3D;
  TVector3D Vector;
  TMatrix3D Matrix;
};
RTL_RECORD_TYPEINFO_FIELDS(TTestKinds, RTL_RECORD_FIELD(TTestKinds, Small),
                           RTL_RECORD_FIELD(TTestKinds, Unsigned), RTL_RECORD_FIELD(TTestKinds, Op),
                           RTL_RECORD_FIELD(TTestKinds, Wide), RTL_RECORD_FIELD(TTestKinds, Point),
                           RTL_RECORD_FIELD(TTestKinds, Point3D), RTL_RECORD_FIELD(TTestKinds, Vector),
                           RTL_RECORD_FIELD(TTestKinds, Matrix));

struct TTestNamedLight {
  float Power = 0;
  std::string Name;
};
RTL_RECORD_TYPEINFO_FIELDS(TTestNamedLight, RTL_RECORD_FIELD(TTestNamedLight, Power),
                           RTL_RECORD_FIELD(TTestNamedLight, Name));

struct TTestBare {
  int32_t Value = 0;
};
RTL_RECORD_TYPEINFO(TTestBare);

// ---- The context -------------------------------------------------------------------------------

uint32_t StageOf(const TContextShader& AShader) {
  switch (static_cast<TContextShaderKindEx>(AShader.Kind())) {
  case TContextShaderKindEx::VertexShader:
    return GL_VERTEX_SHADER;
  case TContextShaderKindEx::GeometryShader:
    return GL_GEOMETRY_SHADER;
  case TContextShaderKindEx::TessEvalShader:
    return GL_TESS_EVALUATION_SHADER;
  case TContextShaderKindEx::TessCtrlShader:
    return GL_TESS_CONTROL_SHADER;
  default:
    return GL_FRAGMENT_SHADER;
  }
}

// Compiles shaders with the driver and records which, in order.
class TProgramContextClass : public vtest::TRecordingContextClass {
public:
  using TRecordingContextClass::TRecordingContextClass;

  void InitializeShader(TContextShader* AShader) const override {
    Calls.push_back("InitializeShader " + AShader->Name());
    const std::vector<uint8_t>& code = AShader->Sources().front().Code;
    AShader->SetHandle(ShaderProgramClass().BuildShader(StageOf(*AShader), code, false));
  }
  void DoFinalizeShader(TContextShader* AShader) const override {
    glDeleteShader(static_cast<GLuint>(AShader->Handle()));
    AShader->SetHandle(0);
  }
};

class TProgramContext : public vtest::TRecordingContext {
  RTL_CLASS_META(TProgramContext, vtest::TRecordingContext, TProgramContextClass)
public:
  TProgramContext() = default;

  // Draws and material events, in order, when a test gives a log.
  TStrings* Events = nullptr;
  // Uniform uploads: "int name value", "vec name x y z w", "mat4 name".
  TStrings Uniforms;
  // The batch with this number (from 1) raises.
  int FailingBatch = 0;

protected:
  void DoSetShaders(TContextShader* AVertexShader, TContextShader* APixelShader) override {
    TVantrelContext::DoSetShaders(AVertexShader, APixelShader);
  }
  void DoDrawPrimitivesBatch(TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                             const TVertexDeclaration& ADeclaration, int32_t AVertexSize,
                             int32_t AVertexCount, int32_t AIndexSize, int32_t AIndexCount) override {
    TRecordingContext::DoDrawPrimitivesBatch(AKind, AVertices, AIndices, ADeclaration, AVertexSize,
                                             AVertexCount, AIndexSize, AIndexCount);
    if (Events)
      Events->push_back("draw");
    if (static_cast<int>(Batches.size()) == FailingBatch)
      throw EContext3DException("batch failed");
  }
  using TRecordingContext::DoSetShaderVariable;
  void DoSetShaderVariable(const std::string& AName, std::span<const TVector3D> AData) override {
    TRecordingContext::DoSetShaderVariable(AName, AData);
    for (const TVector3D& vector : AData)
      Uniforms.push_back("vec " + AName + " " + FloatToStr(vector.X) + " " + FloatToStr(vector.Y) + " " +
                         FloatToStr(vector.Z) + " " + FloatToStr(vector.W));
  }
  void DoSetShaderVariableInt(const std::string& AName, std::span<const int32_t> AValues) override {
    for (const int32_t value : AValues)
      Uniforms.push_back("int " + AName + " " + std::to_string(value));
  }
  void DoSetShaderVariableMat4(const std::string& AName, const TMatrix3D& AMatrix) override {
    Uniforms.push_back("mat4 " + AName + " " + FloatToStr(AMatrix.m11) + " " + FloatToStr(AMatrix.m44));
  }
};
RTL_DEFINE_CLASS_META(TProgramContext, "Tests.ContextPrograms", TProgramContextClass)

// ---- Materials ---------------------------------------------------------------------------------

class TTestMaterial : public TCustomMaterial {
public:
  TTestMaterial(std::string AName, TStrings* AEvents) : FName(std::move(AName)), FEvents(AEvents) {}

  void SetShaders(TContextShader* AVertex, TContextShader* APixel) {
    FVertexShader = AVertex;
    FPixelShader = APixel;
  }
  // Model-view-projection, model-view and inverse-transpose names; nullptr keeps the inherited.
  std::array<const char*, 3> Names{};
  bool RaiseForeign = false;

protected:
  void DoApply(TContext3D* AContext) override {
    if (FEvents)
      FEvents->push_back("apply " + FName);
    if (RaiseForeign)
      throw std::logic_error("not ours");
    TCustomMaterial::DoApply(AContext);
  }
  void DoReset(TContext3D*) override {
    if (FEvents)
      FEvents->push_back("reset " + FName);
  }
  std::string DoGetMaterialProperty(TMaterialProperty AProperty) const override {
    const char* name = Names[static_cast<size_t>(AProperty)];
    return name ? name : TCustomMaterial::DoGetMaterialProperty(AProperty);
  }

private:
  std::string FName;
  TStrings* FEvents;
};

class TTestMaterialSource : public TMaterialSource {
public:
  TTestMaterialSource(std::string AName, TStrings* AEvents)
      : TMaterialSource(nullptr), FName(std::move(AName)), FEvents(AEvents) {}

  TTestMaterial& Material() { return static_cast<TTestMaterial&>(*GetMaterial()); }

protected:
  TOwned<TMaterial> CreateMaterial() override { return MakeOwned<TTestMaterial>(FName, FEvents); }

private:
  std::string FName;
  TStrings* FEvents;
};

// ---- Controllers -------------------------------------------------------------------------------

// Answers a pass from its script; TBase decides whether the pass loop accepts it.
template <class TBase> class TScriptedController : public TBase {
public:
  TScriptedController() : TBase(nullptr) {}

  TContext3D* Context = nullptr;
  TObject* Shader = nullptr;
  int32_t Iterations = 1;
  bool TrianglesSupported = true;
  TStrings* Events = nullptr;

  bool GetEnabled() const override { return true; }
  void SetEnabled(bool) override {}
  int32_t GetIterations() const override { return Iterations; }
  void IncFrameCount() override {}
  bool RenderingSkipped() const override { return false; }
  void ResetSkippedRendering() override {}
  void BeginRenderPassRendering(TContext3D*, TAlphaColor, float, uint32_t) override { Event("scene begin"); }
  TPoint ComputeRenderingSize(TContext3D*, int32_t AWidth, int32_t AHeight) override {
    return {AWidth, AHeight};
  }
  void EndRenderPassRendering(TContext3D*) override { Event("scene end"); }
  bool IsPrimitivesKindSupported(TPrimitivesKind AKind) const override {
    return AKind != TPrimitivesKind::Triangles || TrianglesSupported;
  }
  TObject* GetShader() const override { return Shader; }
  TContext3D* GetRenderPassContext() const override { return Context; }

protected:
  void Event(std::string AText) {
    if (Events)
      Events->push_back(std::move(AText));
  }
};

class TPassController : public TScriptedController<TVantrelRenderPassController> {
public:
  TTexture* Output = nullptr;

  TTexture* GetOutputTexture() override { return Output; }
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override { return nullptr; }
  void RenderToContext(TContext3D*, TTexture* ATexture, const TRect& ARect, const TPoint& ADstPos) override {
    Event("rect " + std::to_string(ARect.Left) + " " + std::to_string(ARect.Top) + " " +
          std::to_string(ARect.Right) + " " + std::to_string(ARect.Bottom) + " at " +
          std::to_string(ADstPos.X) + " " + std::to_string(ADstPos.Y) +
          (ATexture == Output ? " output" : " other"));
  }
};

// A controller of another lineage: the pass loop knows controllers only by their interface.
class TForeignBase : public TObject, public IRenderPassController {
public:
  explicit TForeignBase(TComponent*) {}

  TRenderPassRenderingProc GetRenderProc() const override { return TRenderPassRenderingProc::ListRendering; }
  TRenderPassMethod GetMethod() const override { return TRenderPassMethod::RenderListToFBO; }
  TTexture* GetOutputTexture() override { return nullptr; }
  void RenderToContext(TContext3D*, TTexture*, const TRect&, const TPoint&) override {}
};
using TForeignController = TScriptedController<TForeignBase>;

// ---- Shaders -----------------------------------------------------------------------------------

constexpr const char* VertexCode = R"(#version 430
in vec3 a_Position;
uniform vec4 _MVPMatrix[4];
void main() {
  vec4 p = vec4(a_Position, 1.0);
  gl_Position = vec4(dot(_MVPMatrix[0], p), dot(_MVPMatrix[1], p), dot(_MVPMatrix[2], p), dot(_MVPMatrix[3], p));
}
)";
constexpr const char* PixelCode = R"(#version 430
uniform vec4 _Color;
out vec4 o_Color;
void main() { o_Color = _Color; }
)";
constexpr const char* GeometryCode = R"(#version 430
layout(triangles) in;
layout(triangle_strip, max_vertices = 3) out;
void main() {
  for (int i = 0; i < 3; ++i) {
    gl_Position = gl_in[i].gl_Position;
    EmitVertex();
  }
  EndPrimitive();
}
)";
constexpr const char* TessCtrlCode = R"(#version 430
layout(vertices = 3) out;
void main() {
  gl_out[gl_InvocationID].gl_Position = gl_in[gl_InvocationID].gl_Position;
  gl_TessLevelOuter[0] = 1.0; gl_TessLevelOuter[1] = 1.0; gl_TessLevelOuter[2] = 1.0;
  gl_TessLevelInner[0] = 1.0;
}
)";
constexpr const char* TessEvalCode = R"(#version 430
layout(triangles) in;
void main() {
  gl_Position = gl_TessCoord.x * gl_in[0].gl_Position + gl_TessCoord.y * gl_in[1].gl_Position +
                gl_TessCoord.z * gl_in[2].gl_Position;
}
)";
constexpr const char* BrokenCode = "#version 430\nvoid main() { undeclared = 1; }\n";

std::vector<uint8_t> Bytes(std::string_view AText) {
  return {AText.begin(), AText.end()};
}

TOwned<TContextShader> MakeShader(std::string AName, TContextShaderKindEx AKind, const char* ACode) {
  TContextShaderSource source{TContextShaderArch::GLSL, Bytes(ACode), {}};
  if (AKind == TContextShaderKindEx::VertexShader)
    source.Variables.push_back({.Name = "MVPMatrix", .Kind = TContextShaderVariableKind::Matrix, .Size = 4});
  return MakeOwned<TContextShader>(std::move(AName), static_cast<TContextShaderKind>(AKind),
                                   std::vector<TContextShaderSource>{std::move(source)});
}

GLint CurrentGLProgram() {
  GLint program = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  return program;
}

bool AnyLineStartsWith(const TStrings& ALines, std::string_view APrefix) {
  for (const std::string& line : ALines)
    if (line.starts_with(APrefix))
      return true;
  return false;
}

// ---- Fixture -----------------------------------------------------------------------------------

class ContextPrograms : public vtest::GLTest {
protected:
  void SetUp() override {
    GLTest::SetUp();
    InitializeShaderOpenGL();
    Class = &TProgramContext::StaticClass();
    Class->Reset();
    ContextShared().Reset();
    TContextManager::RegisterContext(*Class, true);
    Texture->SetSize(64, 64);
    Context.reset(CheckedCast<TProgramContext>(
        TContextManager::CreateFromTexture(Texture.get(), TMultisample::None, true)));
    VS = MakeShader("vs", TContextShaderKindEx::VertexShader, VertexCode);
    PS = MakeShader("ps", TContextShaderKindEx::PixelShader, PixelCode);
    Class->InitializeShader(VS.get());
    Class->InitializeShader(PS.get());
    Class->Calls.clear();
  }
  void TearDown() override {
    Context.reset();
    TVantrelContext::FreePrograms();
    glUseProgram(0);
    VS.reset();
    PS.reset();
    TContextManager::UnregisterContexts();
    ContextShared().Reset();
    FinalizeShaderOpenGL();
    GLTest::TearDown();
  }

  TStrings ClassCalls(std::string_view APrefix) const {
    TStrings result;
    for (const std::string& call : Class->Calls)
      if (call.starts_with(APrefix))
        result.push_back(call);
    return result;
  }

  void Draw() {
    static const float vertices[9] = {};
    static const uint32_t indices[3] = {0, 1, 2};
    Context->DrawPrimitives(TPrimitivesKind::Triangles, vertices, indices, Declaration, 12, 3, 4, 3, nullptr,
                            1);
  }

  // An intermediate pass of the context's table, which owns it.
  void AddIntermediatePass(const std::string& AId, TObject* AController) {
    TRenderPass* pass = TRenderPass::Create(Context.get(), AController).release();
    pass->SetId(AId);
    pass->Set_Type(TRenderPassType::Intermediate);
    Context->GetRenderPasses()->Add(AId, pass);
    Context->AddIntermediatePass(pass);
  }

  TProgramContextClass* Class = nullptr;
  TOwned<TTexture> Texture = MakeOwned<TTexture>();
  TOwned<TProgramContext> Context;
  TOwned<TContextShader> VS;
  TOwned<TContextShader> PS;
  TVertexDeclaration Declaration;
  vtest::TLogCapture Log;
};

// ---- Programs ----------------------------------------------------------------------------------

TEST_F(ContextPrograms, ProgramsAreKeyedByAllFiveStages) {
  EXPECT_EQ(TVantrelContext::GetProgram(VS.get(), PS.get()), nullptr);

  Context->SetShaders(VS.get(), PS.get());
  Context->SetShaders(VS.get(), PS.get());
  ASSERT_EQ(TVantrelContext::ProgramCount(), 1);
  TShaderProgram* pair = TVantrelContext::GetProgram(VS.get(), PS.get());
  ASSERT_NE(pair, nullptr);
  EXPECT_EQ(TVantrelContext::GetCurrentProgram(), pair);
  EXPECT_EQ(CurrentGLProgram(), GLint(pair->Prog()));

  const TOwned<TContextShader> gs = MakeShader("gs", TContextShaderKindEx::GeometryShader, GeometryCode);
  Context->SetShaders(VS.get(), gs.get(), nullptr, nullptr, PS.get());
  EXPECT_EQ(TVantrelContext::ProgramCount(), 2);
  TShaderProgram* withGeometry = TVantrelContext::GetCurrentProgram();
  ASSERT_NE(withGeometry, pair);
  EXPECT_EQ(withGeometry->GS(), gs->Handle());
  EXPECT_EQ(CurrentGLProgram(), GLint(withGeometry->Prog()));
  EXPECT_EQ(TVantrelContext::GetProgram(VS.get(), PS.get()), pair);

  Context->SetShaders(VS.get(), PS.get());
  EXPECT_EQ(TVantrelContext::GetCurrentProgram(), pair);
  EXPECT_EQ(TVantrelContext::ProgramCount(), 2);
}

TEST_F(ContextPrograms, StagesWithoutGPUObjectAreCompiledInStageOrder) {
  const TOwned<TContextShader> vs = MakeShader("vs2", TContextShaderKindEx::VertexShader, VertexCode);
  const TOwned<TContextShader> ps = MakeShader("ps2", TContextShaderKindEx::PixelShader, PixelCode);
  const TOwned<TContextShader> gs = MakeShader("gs", TContextShaderKindEx::GeometryShader, GeometryCode);
  const TOwned<TContextShader> tes = MakeShader("tes", TContextShaderKindEx::TessEvalShader, TessEvalCode);
  const TOwned<TContextShader> tcs = MakeShader("tcs", TContextShaderKindEx::TessCtrlShader, TessCtrlCode);

  Context->SetShaders(vs.get(), gs.get(), tes.get(), tcs.get(), ps.get());
  EXPECT_EQ(ClassCalls("InitializeShader"),
            (TStrings{"InitializeShader vs2", "InitializeShader ps2", "InitializeShader gs",
                      "InitializeShader tes", "InitializeShader tcs"}));
  const TShaderProgram* program = TVantrelContext::GetCurrentProgram();
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(program->TSE(), tes->Handle());
  EXPECT_EQ(program->TSC(), tcs->Handle());

  Class->Calls.clear();
  Context->SetShaders(vs.get(), gs.get(), tes.get(), tcs.get(), ps.get());
  EXPECT_TRUE(ClassCalls("InitializeShader").empty());
  EXPECT_EQ(TVantrelContext::ProgramCount(), 1);

  // Without both a vertex and a pixel shader nothing is compiled or linked.
  const TOwned<TContextShader> lone = MakeShader("lone", TContextShaderKindEx::VertexShader, VertexCode);
  Context->SetShaders(lone.get(), nullptr);
  EXPECT_EQ(lone->Handle(), 0u);
  EXPECT_EQ(TVantrelContext::ProgramCount(), 1);
}

TEST_F(ContextPrograms, RemovingTheCurrentProgramClearsIt) {
  Context->SetShaders(VS.get(), PS.get());
  TVantrelContext::RemoveProgram(TVantrelContext::GetCurrentProgram());
  EXPECT_EQ(TVantrelContext::GetCurrentProgram(), nullptr);
  EXPECT_EQ(TVantrelContext::ProgramCount(), 0);

  Context->SetShaders(VS.get(), PS.get());
  EXPECT_EQ(TVantrelContext::ProgramCount(), 1);
  ASSERT_NE(TVantrelContext::GetCurrentProgram(), nullptr);
  EXPECT_EQ(CurrentGLProgram(), GLint(TVantrelContext::GetCurrentProgram()->Prog()));
  TVantrelContext::RemoveProgram(VS.get(), PS.get());
  EXPECT_EQ(TVantrelContext::GetCurrentProgram(), nullptr);

  Context->SetShaders(VS.get(), PS.get());
  TVantrelContext::FreePrograms();
  EXPECT_EQ(TVantrelContext::GetCurrentProgram(), nullptr);
  EXPECT_EQ(TVantrelContext::ProgramCount(), 0);
  TVantrelContext::RemoveProgram(VS.get(), PS.get());
}

TEST_F(ContextPrograms, AProgramThatLeavesAGPUErrorIsNotKept) {
  Class->ErrorCodes = {GL_INVALID_OPERATION};
  try {
    Context->SetShaders(VS.get(), PS.get());
    FAIL() << "no exception";
  } catch (const EContext3DException& AError) {
    EXPECT_EQ(AError.Message(), "Schattiererprogramm für 'TProgramContext' kann nicht aktiviert werden.");
  }
  EXPECT_EQ(TVantrelContext::ProgramCount(), 0);
  EXPECT_EQ(TVantrelContext::GetCurrentProgram(), nullptr);

  Context->SetShaders(VS.get(), PS.get());
  EXPECT_EQ(TVantrelContext::ProgramCount(), 1);
}

TEST_F(ContextPrograms, CompileShaderStage) {
  struct TCase {
    const char* Name;
    const char* Code;
    bool DesignTime;
    bool PendingError;
    const char* Raised; // nullptr: returns a shader
    const char* Logged; // the start of a logged line; nullptr: nothing logged
  };
  const std::string afterError = "Schattierer für 'TProgramContext' kann nicht erstellt werden.";
  const TCase cases[] = {
      {"compiles", PixelCode, false, false, nullptr, nullptr},
      {"GPU error at run time", PixelCode, false, true, nullptr,
       "[Shader Compile Exception]: Schattierer für 'TProgramContext' kann nicht erstellt werden."},
      {"GPU error at design time", PixelCode, true, true, afterError.c_str(), "[Shader Compile Exception]: "},
      {"broken at run time", BrokenCode, false, false, nullptr, "[Shader Compile Exception]: "},
      {"broken at design time", BrokenCode, true, false, "", "[Shader Compile Exception]: "},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    Log.Clear();
    ContextShared().DesignTime = test.DesignTime;
    if (test.PendingError)
      Class->ErrorCodes = {GL_INVALID_VALUE};
    if (test.Raised) {
      try {
        Context->CompileShaderStage(GL_FRAGMENT_SHADER, Bytes(test.Code));
        ADD_FAILURE() << "no exception";
      } catch (const EContext3DException& AError) {
        EXPECT_TRUE(AError.Message().starts_with(test.Raised)) << AError.Message();
      }
    } else {
      const uint32_t shader = Context->CompileShaderStage(GL_FRAGMENT_SHADER, Bytes(test.Code));
      EXPECT_NE(shader, 0u);
      glDeleteShader(shader);
    }
    if (test.Logged)
      EXPECT_TRUE(AnyLineStartsWith(Log.Lines(), test.Logged));
    else
      EXPECT_TRUE(Log.Lines().empty());
    Class->ErrorCodes.clear();
  }

  Class->ValidAnswer = false;
  try {
    Context->CompileShaderStage(GL_FRAGMENT_SHADER, Bytes(PixelCode));
    FAIL() << "no exception";
  } catch (const Exception& AError) {
    EXPECT_EQ(AError.Message(), "TVantrelContext.CreateFromTexture failed - invalid context");
  }
}

// ---- Drawing and pass materials ----------------------------------------------------------------

TEST_F(ContextPrograms, ADrawEndsOnTheDefaultProgram) {
  TTestMaterial material("m", nullptr);
  material.SetShaders(VS.get(), PS.get());
  Context->DrawPrimitives(TPrimitivesKind::Triangles, nullptr, nullptr, Declaration, 12, 0, 4, 0, &material,
                          1);
  ASSERT_EQ(TVantrelContext::ProgramCount(), 1);
  EXPECT_EQ(TVantrelContext::GetCurrentProgram(), nullptr);
  EXPECT_EQ(CurrentGLProgram(), 0);
  EXPECT_EQ(Context->Batches.size(), 1u);
}

TEST_F(ContextPrograms, DrawErrorsAtRunAndDesignTime) {
  struct TCase {
    const char* Name;
    bool DesignTime;
    bool Raises;
  };
  const TCase cases[] = {{"run time", false, true}, {"design time", true, false}};
  TTestMaterial material("m", nullptr);
  material.SetShaders(VS.get(), PS.get());
  // Linked ahead, so the scripted error meets the draw's own check.
  Context->SetShaders(VS.get(), PS.get());
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    Log.Clear();
    ContextShared().DesignTime = test.DesignTime;
    Class->ErrorCodes = {GL_INVALID_OPERATION};
    auto draw = [&] {
      Context->DrawPrimitives(TPrimitivesKind::Triangles, nullptr, nullptr, Declaration, 12, 0, 4, 0,
                              &material, 1);
    };
    if (test.Raises) {
      try {
        draw();
        ADD_FAILURE() << "no exception";
      } catch (const EContext3DException& AError) {
        EXPECT_EQ(AError.Message(), "Fehler im Kontext: Methode='DoDrawPrimitives'.");
      }
    } else {
      EXPECT_NO_THROW(draw());
    }
    EXPECT_TRUE(AnyLineStartsWith(Log.Lines(), "[Context Exception]: Fehler im Kontext"));
    // The default program is activated only after a clean draw.
    const TShaderProgram* program = TVantrelContext::GetProgram(VS.get(), PS.get());
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(TVantrelContext::GetCurrentProgram(), program);
    EXPECT_EQ(CurrentGLProgram(), GLint(program->Prog()));
  }

  // Only the framework's exceptions are swallowed at design time.
  TStrings events;
  const auto sourceObject = MakeOwned<TTestMaterialSource>("pass", &events);
  TTestMaterialSource& source = *sourceObject;
  source.Material().RaiseForeign = true;
  TPassController controller;
  controller.Shader = &source;
  const TOwned<TRenderPass> pass = TRenderPass::Create(Context.get(), &controller);
  Context->BeginRenderPass(pass.get());
  EXPECT_THROW(Draw(), std::logic_error);
  Context->EndRenderPass();
}

TEST_F(ContextPrograms, PassMaterialsAroundEachDraw) {
  struct TCase {
    const char* Name;
    bool Pass;
    bool PassMaterial;
    bool TrianglesSupported;
    int Intermediates; // the first one has no material when NoMaterialIntermediate
    bool NoMaterialIntermediate;
    TStrings Events;
  };
  const TCase cases[] = {
      {"no pass", false, false, true, 0, false, {"draw"}},
      {"pass material", true, true, true, 0, false, {"on apply pass", "apply pass", "draw", "reset pass"}},
      {"two intermediate passes",
       true,
       true,
       true,
       2,
       false,
       {"on apply pass", "apply pass", "draw", "apply i0", "draw", "reset i0", "apply i1", "draw", "reset i1",
        "reset pass"}},
      {"intermediate pass without material",
       false,
       false,
       true,
       2,
       true,
       {"draw", "apply i1", "draw", "reset i1"}},
      {"pass without material", true, false, true, 1, false, {"draw", "apply i0", "draw", "reset i0"}},
      {"pass that rejects triangles", true, true, false, 2, false, {}},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    TStrings events;
    Context->Events = &events;
    const auto passSourceObject = MakeOwned<TTestMaterialSource>("pass", &events);
    TTestMaterialSource& passSource = *passSourceObject;
    TPassController passController;
    passController.Shader = test.PassMaterial ? &passSource : nullptr;
    passController.TrianglesSupported = test.TrianglesSupported;
    const TOwned<TRenderPass> pass = TRenderPass::Create(Context.get(), &passController);
    pass->SetOnApplyMaterial([&](TMaterial* AOriginal, TMaterial* ANew) {
      events.push_back(AOriginal == nullptr && ANew == passSource.GetMaterial() ? "on apply pass"
                                                                                : "on apply ?");
    });

    std::vector<TOwned<TTestMaterialSource>> sources;
    std::vector<TOwned<TPassController>> controllers;
    for (int index = 0; index < test.Intermediates; ++index) {
      sources.push_back(MakeOwned<TTestMaterialSource>("i" + std::to_string(index), &events));
      controllers.push_back(MakeOwned<TPassController>());
      if (!(index == 0 && test.NoMaterialIntermediate))
        controllers.back()->Shader = sources.back().get();
      AddIntermediatePass("i" + std::to_string(index), controllers.back().get());
    }
    if (test.Pass)
      Context->BeginRenderPass(pass.get());

    Draw();
    EXPECT_EQ(events, test.Events);
    EXPECT_EQ(TVantrelContext::GetCurrentProgram(), nullptr);

    if (test.Pass)
      Context->EndRenderPass();
    Context->GetRenderPasses()->Clear();
    EXPECT_TRUE(Context->GetIntermediatePasses().IsEmpty());
    Context->Events = nullptr;
  }
}

TEST_F(ContextPrograms, AFailingIntermediateDrawStillResetsItsMaterial) {
  TStrings events;
  Context->Events = &events;
  const auto sourceObject = MakeOwned<TTestMaterialSource>("i0", &events);
  TTestMaterialSource& source = *sourceObject;
  TPassController controller;
  controller.Shader = &source;
  AddIntermediatePass("i0", &controller);
  Context->FailingBatch = 2;

  EXPECT_THROW(Draw(), EContext3DException);
  EXPECT_EQ(events, (TStrings{"draw", "apply i0", "draw", "reset i0"}));
  Context->Events = nullptr;
  Context->GetRenderPasses()->Clear();
}

TEST_F(ContextPrograms, ApplyMaterialHandsOverTheMatricesItNames) {
  Context->SetMatrix(TMatrix3D::CreateScaling({2, 2, 2}) * TMatrix3D::CreateTranslation({1, 2, 3}));
  const TMatrix3D mvp = Context->CurrentModelViewProjectionMatrix().Transpose();
  auto rows = [](const std::string& AName, const TMatrix3D& AMatrix) {
    TStrings result;
    for (int row = 0; row < 4; ++row)
      result.push_back("vec " + AName + " " + FloatToStr(AMatrix(row, 0)) + " " +
                       FloatToStr(AMatrix(row, 1)) + " " + FloatToStr(AMatrix(row, 2)) + " " +
                       FloatToStr(AMatrix(row, 3)));
    return result;
  };
  auto join = [](TStrings A, const TStrings& B) {
    A.insert(A.end(), B.begin(), B.end());
    return A;
  };
  struct TCase {
    const char* Name;
    std::array<const char*, 3> Names;
    TStrings Uniforms;
  };
  const TCase cases[] = {
      {"the custom material's MVP", {nullptr, nullptr, nullptr}, rows("MVPMatrix", mvp)},
      {"none", {"", "", ""}, {}},
      // The model matrix goes over transposed; its inverse-transpose therefore as the inverse's rows.
      {"model and inverse transpose",
       {"", "MV", "MVIT"},
       join({"vec MV 2 0 0 1", "vec MV 0 2 0 2", "vec MV 0 0 2 3", "vec MV 0 0 0 1"},
            {"vec MVIT 0.5 0 0 0", "vec MVIT 0 0.5 0 0", "vec MVIT 0 0 0.5 0", "vec MVIT -0.5 -1 -1.5 1"})},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    TTestMaterial material("m", nullptr);
    material.Names = test.Names;
    Context->Uniforms.clear();
    Context->ApplyMaterial(&material);
    EXPECT_EQ(Context->Uniforms, test.Uniforms);
  }
  Context->ApplyMaterial(nullptr);
  Context->ResetMaterial(nullptr);
}

// ---- The pass loop -----------------------------------------------------------------------------

class ContextPassLoop : public ContextPrograms {
protected:
  void SetUp() override {
    ContextPrograms::SetUp();
    Controller->Context = Context.get();
    Controller->Events = &Events;
    Controller->Output = Texture.get();
    RenderContext = TRenderContext::Create(
        Context.get(), nullptr, [this](PRenderContext) { Events.push_back("default list"); },
        [this](PRenderContext) { Events.push_back("list"); });
  }
  void TearDown() override {
    Pass.reset();
    ContextPrograms::TearDown();
  }

  // A pass of the context's table, which owns it.
  TRenderPass* AddPass(const std::string& AId, TRenderPassType AType, TObject* AController) {
    TRenderPass* pass = TRenderPass::Create(nullptr, AController).release();
    pass->SetId(AId);
    pass->Set_Type(AType);
    pass->SetOnBeginRendering([this, AId](TContext3D*, int32_t ACount, TRenderPass*) {
      Events.push_back(AId + " " + std::to_string(ACount));
    });
    Context->GetRenderPasses()->Add(AId, pass);
    return pass;
  }

  void Handlers(TRenderPass& APass, int ARaiseAt = -1) {
    APass.SetOnBeginRendering([this, ARaiseAt](TContext3D* AContext, int32_t ACount, TRenderPass*) {
      Events.push_back("begin " + std::to_string(ACount) + (AContext == Context.get() ? "" : " elsewhere"));
      if (ACount == ARaiseAt)
        throw EContext3DException("iteration failed");
    });
    APass.SetOnEndRendering([this](TContext3D*, int32_t ACount, TRenderPass*) {
      Events.push_back("end " + std::to_string(ACount));
    });
  }

  TStrings Events;
  TOwned<TPassController> Controller = MakeOwned<TPassController>();
  TOwned<TRenderPass> Pass;
  TRenderContext RenderContext;
};

TEST_F(ContextPassLoop, ExecuteRenderPass) {
  struct TCase {
    const char* Name;
    int32_t Iterations;
    TRenderPassRenderingProc Proc;
    TRenderPassMethod Method;
    bool BeginHandler;
    int RaiseAt;
    TStrings Events;
  };
  using P = TRenderPassRenderingProc;
  using M = TRenderPassMethod;
  const TCase cases[] = {
      {"0 iterations run once",
       0,
       P::DefaultRendering,
       M::RenderListToFBO,
       true,
       -1,
       {"scene begin", "begin 0", "default list", "end 0", "scene end"}},
      {"list procedure, twice",
       2,
       P::ListRendering,
       M::RenderListToFBO,
       true,
       -1,
       {"scene begin", "begin 0", "list", "end 0", "begin 1", "list", "end 1", "scene end"}},
      {"rectangle",
       1,
       P::ListRendering,
       M::RectToFBO,
       true,
       -1,
       {"scene begin", "begin 0", "rect 0 0 64 64 at 0 0 output", "end 0", "scene end"}},
      {"no begin handler", 1, P::DefaultRendering, M::RenderListToFBO, false, -1, {}},
      {"a raising iteration",
       3,
       P::DefaultRendering,
       M::RenderListToFBO,
       true,
       1,
       {"scene begin", "begin 0", "default list", "end 0", "begin 1", "scene end"}},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    Events.clear();
    Controller->Iterations = test.Iterations;
    Controller->SetRenderProc(test.Proc);
    Controller->SetMethod(test.Method);
    Pass = TRenderPass::Create(nullptr, Controller.get());
    if (test.BeginHandler)
      Handlers(*Pass, test.RaiseAt);
    if (test.RaiseAt >= 0)
      EXPECT_THROW(Context->ExecuteRenderPass(Pass.get(), &RenderContext), EContext3DException);
    else
      Context->ExecuteRenderPass(Pass.get(), &RenderContext);
    EXPECT_EQ(Events, test.Events);
    EXPECT_EQ(Context->GetCurrentRenderPass(), nullptr);
  }

  Events.clear();
  Handlers(*Pass);
  Context->ExecuteRenderPass(Pass.get(), nullptr);
  Context->ExecuteRenderPass(nullptr, &RenderContext);
  const TOwned<TRenderPass> bare = TRenderPass::Create(Context.get(), nullptr);
  Handlers(*bare);
  Context->ExecuteRenderPass(bare.get(), &RenderContext);
  EXPECT_TRUE(Events.empty());
}

TEST_F(ContextPassLoop, AControllerOfAnotherLineageDrivesThePassThroughItsInterface) {
  TForeignController foreign;
  foreign.Context = Context.get();
  foreign.Events = &Events;
  Pass = TRenderPass::Create(nullptr, &foreign);
  Handlers(*Pass);
  Context->ExecuteRenderPass(Pass.get(), &RenderContext);
  EXPECT_EQ(Events, (TStrings{"scene begin", "begin 0", "list", "end 0", "scene end"}));
}

TEST_F(ContextPassLoop, PreAndPostProcessingRunTheirPassesInTableOrder) {
  EXPECT_FALSE(Context->PreProcessing(&RenderContext));

  AddPass("b", TRenderPassType::Pre, Controller.get());
  AddPass("post", TRenderPassType::Post, Controller.get());
  AddPass("a", TRenderPassType::Pre, Controller.get());
  AddPass("between", TRenderPassType::Intermediate, Controller.get());

  EXPECT_TRUE(Context->PreProcessing(&RenderContext));
  EXPECT_EQ(Events, (TStrings{"scene begin", "b 0", "default list", "scene end", "scene begin", "a 0",
                              "default list", "scene end"}));
  Events.clear();
  EXPECT_TRUE(Context->PostProcessing(&RenderContext));
  EXPECT_EQ(Events, (TStrings{"scene begin", "post 0", "default list", "scene end"}));
  Events.clear();
  EXPECT_TRUE(Context->RunRenderPasses(TRenderPassType::Intermediate, &RenderContext));
  EXPECT_FALSE(Context->PostProcessing(nullptr));
  EXPECT_TRUE(Events.empty());
}

// ---- Arrays of records -------------------------------------------------------------------------

class ContextStructArrays : public ContextPrograms {
protected:
  void SetUp() override {
    ContextPrograms::SetUp();
    Context->SetShaders(VS.get(), PS.get());
    Context->Uniforms.clear();
  }

  std::string RaisedBy(const std::function<void()>& AUpload) {
    try {
      AUpload();
    } catch (const Exception& AError) {
      return AError.Message();
    }
    return "no exception";
  }
};

TEST_F(ContextStructArrays, FieldsUploadByTypeUnderElementNames) {
  const TTestLight lights[] = {{true, 0.5f, {1, 0.5f, 0.25f, 1}}, {false, 2, {0, 0, 1, 0.5f}}};
  Context->SetShaderVariableArrayOfStruct("Lights", std::span<const TTestLight>(lights));
  EXPECT_EQ(Context->Uniforms, (TStrings{"int Lights[0].Enabled 1", "vec Lights[0].Power 0.5 0 0 0",
                                         "vec Lights[0].Color 1 0.5 0.25 1", "int Lights[1].Enabled 0",
                                         "vec Lights[1].Power 2 0 0 0", "vec Lights[1].Color 0 0 1 0.5"}));

  Context->Uniforms.clear();
  const TTestGroup groups[] = {{2, {{{1}, {2}}}}};
  Context->SetShaderVariableArrayOfStruct("Groups", std::span<const TTestGroup>(groups));
  EXPECT_EQ(Context->Uniforms, (TStrings{"int Groups[0].Count 2", "vec Groups[0].Items[0].X 1 0 0 0",
                                         "vec Groups[0].Items[1].X 2 0 0 0"}));

  Context->Uniforms.clear();
  TTestKinds kinds;
  kinds.Small = -3;
  kinds.Unsigned = 4000000000u;
  kinds.Op = TStencilOpEx::DecreaseWrap;
  kinds.Wide = 1.5;
  kinds.Point = {1, 2};
  kinds.Point3D = {3, 4, 5};
  kinds.Vector = {6, 7, 8, 9};
  kinds.Matrix = TMatrix3D::CreateScaling({3, 3, 3});
  Context->SetShaderVariableArrayOfStruct("K", std::span<const TTestKinds>(&kinds, 1));
  EXPECT_EQ(Context->Uniforms,
            (TStrings{"int K[0].Small -3", "int K[0].Unsigned " + std::to_string(int32_t(4000000000u)),
                      "int K[0].Op 7", "vec K[0].Wide 1.5 0 0 0", "vec K[0].Point 1 2 0 0",
                      "vec K[0].Point3D 3 4 5 0", "vec K[0].Vector 6 7 8 9", "mat4 K[0].Matrix 3 1"}));
}

TEST_F(ContextStructArrays, Failures) {
  const TTestNamedLight named[] = {{1, "sun"}};
  EXPECT_EQ(RaisedBy([&] {
              Context->SetShaderVariableArrayOfStruct("Lights", std::span<const TTestNamedLight>(named));
            }),
            "structure field \"Lights[0].Name\" - type not supported in shader language!");
  const TTestBare bare[] = {{1}};
  EXPECT_EQ(RaisedBy([&] { Context->SetShaderVariableArrayOfStruct("B", std::span<const TTestBare>(bare)); }),
            "TVantrelContext.DoSetShaderVariableArrayOfStruct - structure fields missing");
  const int32_t numbers[] = {1};
  EXPECT_EQ(RaisedBy([&] { Context->SetShaderVariableArrayOfStruct("N", &TypeInfoInteger(), 1, numbers); }),
            "TVantrelContext.DoSetShaderVariableArrayOfStruct - structure type not found by RTTI!");

  const TTestLight lights[] = {{true, 1, {}}};
  Class->ErrorCodes = {GL_INVALID_OPERATION};
  EXPECT_EQ(RaisedBy([&] {
              Context->SetShaderVariableArrayOfStruct("Lights", std::span<const TTestLight>(lights));
            }),
            "Schattierervariable \"Lights\" nicht gefunden.");

  // Nothing is uploaded without a current program or without records.
  Context->Uniforms.clear();
  Context->SetShaderVariableArrayOfStruct("Lights", std::span<const TTestLight>());
  TVantrelContext::RemoveProgram(TVantrelContext::GetCurrentProgram());
  Context->SetShaderVariableArrayOfStruct("Lights", std::span<const TTestLight>(lights));
  EXPECT_TRUE(Context->Uniforms.empty());
}

} // namespace
