#include "context/Vantrel.Context.Shader.OpenGL.h"

#include <epoxy/gl.h>

#include <string>
#include <string_view>

#include "context/Vantrel.Context.GLState.OpenGL.h"
#include "context/Vantrel.Context.Types.OpenGL.h"
#include "context/Vantrel.Context.Types.h"
#include "gl/egl_context.h"
#include "rtl/log.h"
#include "rtl/sysutils.h"

namespace vantrel {

RTL_DEFINE_CLASS_META(TOpenGLShaderProgram, "Vantrel.Context.Shader.OpenGL", TOpenGLShaderProgramClass)

namespace {

int InstallCounter = 0;

// Restores the generic uniform-buffer binding, which binding a block's buffer, unbinding it and
// linking it to a binding point all move, and so may deleting a buffer.
class TUniformBufferGuard : public TBufferBindingGuard {
public:
  TUniformBufferGuard() : TBufferBindingGuard(GL_UNIFORM_BUFFER, GL_UNIFORM_BUFFER_BINDING) {
    RestoreOnlyIfAlive();
  }
};

std::string_view CompileMessageFor(uint32_t AType) {
  switch (AType) {
  case GL_VERTEX_SHADER:
    return SCannotCreateVertexShader;
  case GL_GEOMETRY_SHADER:
    return SCannotCreateGeometryShader;
  case GL_TESS_EVALUATION_SHADER:
    return SCannotCreateTessEvalShader;
  case GL_TESS_CONTROL_SHADER:
    return SCannotCreateTessCtrlShader;
  default:
    return SCannotCreateFragmentShader;
  }
}

bool SameTextIgnoringCase(std::string_view ALeft, std::string_view ARight) {
  return TCaseInsensitiveStringEqual{}(ALeft, ARight);
}

struct TStage {
  TContextShader* Shader;
  TContextShaderKindEx Kind;
};

// The stage's source for the platform's architecture, else its GLSL source; nullptr when neither.
const TContextShaderSource* SourceFor(const TContextShader& AShader, TContextShaderArch AArch) {
  if (const TContextShaderSource* source = AShader.GetSourceByArch(AArch))
    return source;
  return AShader.GetSourceByArch(TContextShaderArch::GLSL);
}

uint32_t HandleOf(const TContextShader* AShader) {
  return AShader ? static_cast<uint32_t>(AShader->Handle()) : 0;
}

} // namespace

// ---- Free functions -----------------------------------------------------------------------------

void CheckShaderCompileStatus(int32_t AStatus, uint32_t AType, std::string_view AClassName,
                              std::string_view AInfoLog, std::string_view ASource, bool AIsInDesignTime) {
  if (AStatus != 0)
    return;
  RaiseShaderCompileException(nullptr, AIsInDesignTime, CompileMessageFor(AType), AClassName, AInfoLog,
                              ASource);
}

std::string ShaderUniformName(std::string_view AVariableName) {
  std::string name = "_";
  name.reserve(AVariableName.size() + 4);
  for (const char c : AVariableName) {
    name += c;
    if (c == '.')
      name += '_';
  }
  return name;
}

void InitializeShaderOpenGL() {
  if (InstallCounter-- == 0)
    SetShaderProgramClass(&TOpenGLShaderProgram::StaticClass());
}

void FinalizeShaderOpenGL() {
  if (++InstallCounter == 0)
    SetShaderProgramClass(nullptr);
}

// ---- TOpenGLShaderProgramClass ------------------------------------------------------------------

uint32_t TOpenGLShaderProgramClass::BuildShader(uint32_t AType, std::span<const uint8_t> ACode,
                                                bool AIsInDesignTime) const {
  // A raise leaves the caller without the name, so the shader goes with the handle.
  gl::TShaderName shader(gl::AdoptName, gl::CreateShaderName(AType));
  // The driver copies the text, so it is read in place.
  const auto* text = reinterpret_cast<const GLchar*>(ACode.data());
  const auto length = static_cast<GLint>(ACode.size());
  glShaderSource(shader.Get(), 1, &text, &length);
  glCompileShader(shader.Get());
  GLint status = 0;
  glGetShaderiv(shader.Get(), GL_COMPILE_STATUS, &status);
  if (status == 0) {
    const std::string log = ShaderInfoLog(shader.Get());
    if (!log.empty())
      Log::d(std::string_view(log));
    CheckShaderCompileStatus(status, AType, Name(), log, std::string_view(text, ACode.size()), AIsInDesignTime);
  }
  return shader.Release();
}

void TOpenGLShaderProgramClass::ActivateDefault() const {
  glUseProgram(0);
  if (const uint32_t error = DrainGLErrors(); error != 0)
    throw Exception(Format(SFailedToActivateDefaultProgram, {Name(), error}));
}

// ---- TOpenGLShaderProgram -----------------------------------------------------------------------

TOpenGLShaderProgram::~TOpenGLShaderProgram() {
  ClearUniformBuffers();
  DestroyVariables();
  // A program deleted while it is in use lives on in the driver until another program is used,
  // and its release then lands inside that use; unbound first, it goes with this object.
  if (FProg && gl::IsContextCurrent()) {
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    if (static_cast<GLuint>(current) == FProg.Get())
      glUseProgram(0);
  }
}

void TOpenGLShaderProgram::CreateProgram(TContextShader* AVS, TContextShader* AGS, TContextShader* ATSE,
                                         TContextShader* ATSC, TContextShader* APS) {
  FProg = gl::TProgramName(gl::AdoptName, gl::CreateProgramName());
  for (const TContextShader* stage : {AVS, APS, AGS, ATSE, ATSC})
    if (stage)
      glAttachShader(FProg.Get(), HandleOf(stage));
  for (GLuint location = 0; location < ShaderAttributeNames.size(); ++location)
    glBindAttribLocation(FProg.Get(), location, ShaderAttributeNames[location]);
  LinkProgram();

  TContextShader* const stages[] = {AVS, AGS, ATSE, ATSC, APS};
  CollectVariables(stages);
  FVS = gl::TShaderNameView(HandleOf(AVS));
  FGS = gl::TShaderNameView(HandleOf(AGS));
  FTSE = gl::TShaderNameView(HandleOf(ATSE));
  FTSC = gl::TShaderNameView(HandleOf(ATSC));
  FPS = gl::TShaderNameView(HandleOf(APS));
  if (HasGLErrors())
    RaiseContextException(this, SCannotActivateCreatedShaderProgram);
}

void TOpenGLShaderProgram::LinkProgram() {
  glLinkProgram(FProg.Get());
  GLint status = 0;
  glGetProgramiv(FProg.Get(), GL_LINK_STATUS, &status);
  if (status != 0)
    return;
  const std::string log = ProgramInfoLog(FProg.Get());
  if (!log.empty())
    Log::d(std::string_view(log));
  FProg.Reset();
  RaiseContextException(this, SCannotCreateShaderProgram, ClassName(), log);
}

// AStages in the order vertex, geometry, tessellation-evaluation, tessellation-control, pixel.
// Texture units are numbered from 1 across all stages, so no two samplers share a unit.
void TOpenGLShaderProgram::CollectVariables(std::span<TContextShader* const> AStages) {
  static constexpr TContextShaderKindEx Kinds[] = {
      TContextShaderKindEx::VertexShader, TContextShaderKindEx::GeometryShader,
      TContextShaderKindEx::TessEvalShader, TContextShaderKindEx::TessCtrlShader,
      TContextShaderKindEx::PixelShader};
  const TContextShaderArch arch = ShaderPlatformQueries().PlatformGetShaderArch();
  int32_t textureUnit = 1;
  for (size_t i = 0; i < AStages.size(); ++i) {
    const TContextShader* stage = AStages[i];
    const TContextShaderSource* source = stage ? SourceFor(*stage, arch) : nullptr;
    if (!source)
      continue;
    for (const TContextShaderVariable& declared : source->Variables) {
      TContextShaderVariable variable = declared;
      const std::string uniformName = ShaderUniformName(declared.Name);
      variable.ShaderKind = static_cast<TContextShaderKind>(Kinds[i]);
      variable.Index = glGetUniformLocation(FProg.Get(), uniformName.c_str());
      if (variable.Index >= 0 && variable.Kind == TContextShaderVariableKind::Texture)
        variable.TextureUnit = textureUnit++;
      if (variable.Kind == TContextShaderVariableKind::Matrix) {
        int32_t size = FindActiveUniformSize(uniformName);
        if (size == 0)
          size = FindActiveUniformSize(uniformName + "[0]");
        if (size > 0)
          variable.Size = size;
      }
      MutableVariables().Add(declared.Name, std::move(variable));
    }
  }
}

int32_t TOpenGLShaderProgram::FindActiveUniformSize(std::string_view AName) const {
  GLint count = 0;
  glGetProgramiv(FProg.Get(), GL_ACTIVE_UNIFORMS, &count);
  char name[100];
  for (GLint i = 0; i < count; ++i) {
    GLsizei length = 0;
    GLint size = 0;
    GLenum type = 0;
    glGetActiveUniform(FProg.Get(), static_cast<GLuint>(i), sizeof(name), &length, &size, &type, name);
    if (SameTextIgnoringCase(std::string_view(name, static_cast<size_t>(length)), AName))
      return size;
  }
  return 0;
}

bool TOpenGLShaderProgram::Available() {
  return FProg && FVS && FPS && glIsProgram(FProg.Get()) == GL_TRUE;
}

void TOpenGLShaderProgram::Use() {
  if (!Available())
    return;
  glUseProgram(FProg.Get());
  if (HasGLErrors())
    RaiseContextException(this, SCannotUseShaderProgram);
}

// ---- Uniform blocks -----------------------------------------------------------------------------

// A buffer object's Unbind leaves its target empty, so whatever the caller had bound to the
// generic uniform-buffer binding is put back here.
PUniformBufferStruct TOpenGLShaderProgram::RegisterUniformBuffer(std::string_view AName, const void* AData,
                                                                 int64_t ASize) {
  TUniformBufferGuard guard;
  return TShaderProgram::RegisterUniformBuffer(AName, AData, ASize);
}

void TOpenGLShaderProgram::PushUniformBuffers() {
  TUniformBufferGuard guard;
  TShaderProgram::PushUniformBuffers();
}

void TOpenGLShaderProgram::ReleaseUniformBuffer(TUniformBufferStruct& AEntry) {
  {
    TUniformBufferGuard guard;
    if (AEntry.Binding >= 0)
      glBindBufferBase(GL_UNIFORM_BUFFER, static_cast<GLuint>(AEntry.Binding), 0);
    AEntry.Buffer.reset();
  }
  AEntry = TUniformBufferStruct{};
  AEntry.Binding = 0;
}

} // namespace vantrel
