#include "context/Vantrel.Context.GLES.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "context/Vantrel.Context.Extension.h"
#include "context/Vantrel.Context.GLState.OpenGL.h"
#include "context/Vantrel.Context.Shader.h"
#include "context/Vantrel.Context.Texturing.OpenGL.h"
#include "context/Vantrel.Context.Texturing.h"
#include "context/Vantrel.Context.Types.OpenGL.h"
#include "gl/egl_context.h"
#include "gl/names.h"
#include "rtl/log.h"
#include "ui/bitmap.h"
#include "ui/material.h"
#include "ui/shaders.h"
#include "ui/texture.h"

namespace vantrel {

RTL_DEFINE_CLASS_META(TVantrelContextOpenGLES, "Vantrel.Context.GLES", TVantrelContextOpenGLESClass)

namespace {

constexpr int32_t TextureUnitLimit = 32;
constexpr GLint MaxMipmapLevel = 16;
constexpr int32_t ReadBackBytesPerPixel = 4;

TOpenGLESShared GOpenGLESShared;

// Indexed by TVertexFormat's ordinal. A byte colour is a TAlphaColor stored as it is: its
// little-endian bytes are B, G, R, A, so the size GL_BGRA hands the shader red as red.
constexpr std::array<TVertexAttributeLayout, 16> VertexAttributeLayouts = {{
    {0, 3, GL_FLOAT, false},              // Vertex
    {1, 3, GL_FLOAT, false},              // Normal
    {2, GL_BGRA, GL_UNSIGNED_BYTE, true}, // Color0
    {3, GL_BGRA, GL_UNSIGNED_BYTE, true}, // Color1
    {4, GL_BGRA, GL_UNSIGNED_BYTE, true}, // Color2
    {5, GL_BGRA, GL_UNSIGNED_BYTE, true}, // Color3
    {2, 4, GL_FLOAT, false},        // ColorF0
    {3, 4, GL_FLOAT, false},        // ColorF1
    {4, 4, GL_FLOAT, false},        // ColorF2
    {5, 4, GL_FLOAT, false},        // ColorF3
    {6, 2, GL_FLOAT, false},        // TexCoord0
    {7, 2, GL_FLOAT, false},        // TexCoord1
    {8, 2, GL_FLOAT, false},        // TexCoord2
    {9, 2, GL_FLOAT, false},        // TexCoord3
    {10, 3, GL_FLOAT, false},       // BiNormal
    {11, 3, GL_FLOAT, false},       // Tangent
}};

// Indexed by TVantrelPrimitivesKind's ordinal.
constexpr std::array<GLenum, 7> PrimitiveModes = {
    GL_POINTS, GL_LINES, GL_TRIANGLES, GL_LINE_LOOP, GL_LINE_STRIP, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN};

// Indexed by TMemoryBarrierFlag's ordinal.
constexpr std::array<GLbitfield, 13> BarrierBits = {
    GL_VERTEX_ATTRIB_ARRAY_BARRIER_BIT, GL_ELEMENT_ARRAY_BARRIER_BIT,       GL_UNIFORM_BARRIER_BIT,
    GL_TEXTURE_FETCH_BARRIER_BIT,       GL_SHADER_IMAGE_ACCESS_BARRIER_BIT, GL_COMMAND_BARRIER_BIT,
    GL_PIXEL_BUFFER_BARRIER_BIT,        GL_TEXTURE_UPDATE_BARRIER_BIT,      GL_BUFFER_UPDATE_BARRIER_BIT,
    GL_FRAMEBUFFER_BARRIER_BIT,         GL_TRANSFORM_FEEDBACK_BARRIER_BIT,  GL_ATOMIC_COUNTER_BARRIER_BIT,
    GL_SHADER_STORAGE_BARRIER_BIT,
};

// Indexed by TStencilOpEx's ordinal; TStencilOp shares the first six.
constexpr std::array<GLenum, 8> StencilOps = {GL_KEEP, GL_ZERO,   GL_REPLACE,   GL_INCR,
                                              GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};

// Indexed by TStencilFunc's ordinal.
constexpr std::array<GLenum, 8> StencilFuncs = {GL_NEVER,  GL_LESS,  GL_LEQUAL,   GL_GREATER,
                                                GL_GEQUAL, GL_EQUAL, GL_NOTEQUAL, GL_ALWAYS};

GLenum StencilOpToGL(TStencilOpEx AOp) {
  const auto index = static_cast<size_t>(AOp);
  return index < StencilOps.size() ? StencilOps[index] : GL_KEEP;
}

GLenum StencilOpToGL(TStencilOp AOp) {
  return StencilOpToGL(static_cast<TStencilOpEx>(AOp));
}

GLint MinFilter(const TTexture* ATexture, bool AMipMaps) {
  const bool linear = !ATexture || ATexture->MinFilter() == TTextureFilter::Linear;
  if (AMipMaps)
    return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST;
  return linear ? GL_LINEAR : GL_NEAREST;
}

GLint MagFilter(const TTexture* ATexture) {
  return !ATexture || ATexture->MagFilter() == TTextureFilter::Linear ? GL_LINEAR : GL_NEAREST;
}

void SetCapability(GLenum ACapability, bool AEnabled) {
  if (AEnabled)
    glEnable(ACapability);
  else
    glDisable(ACapability);
}

void SetColorMask(bool AEnabled) {
  const GLboolean value = AEnabled ? GL_TRUE : GL_FALSE;
  glColorMask(value, value, value, value);
}

void EnableDepthTest() {
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
}

void SetCulling(GLenum ACullFace) {
  glFrontFace(GL_CW);
  glCullFace(ACullFace);
  glEnable(GL_CULL_FACE);
}

GLenum ShaderStage(TContextShaderKindEx AKind) {
  switch (AKind) {
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

// Runs a uniform upload: failures raise at run time and are swallowed at design time.
template <class TUpload> void GuardUniform(TUpload AUpload) {
  try {
    AUpload();
  } catch (const Exception&) {
    if (!ContextShared().DesignTime)
      throw;
  }
}

} // namespace

TVertexAttributeLayout VertexAttributeLayout(TVertexFormat AFormat) {
  return VertexAttributeLayouts.at(static_cast<size_t>(AFormat));
}

uint32_t PrimitiveKindToGL(TVantrelPrimitivesKind AKind) {
  const auto index = static_cast<size_t>(AKind);
  return index < PrimitiveModes.size() ? PrimitiveModes[index] : GL_TRIANGLES;
}

TOpenGLESShared& OpenGLESShared() {
  return GOpenGLESShared;
}

// ---- TVantrelContextOpenGLESClass ---------------------------------------------------------------------

bool TVantrelContextOpenGLESClass::Valid() const {
  return PlatformIsContextAvailable();
}

int32_t TVantrelContextOpenGLESClass::GetTextureByTextureIndex(int32_t ATextureIndex) const {
  if (ATextureIndex >= 1 && ATextureIndex < TextureUnitLimit)
    return GL_TEXTURE0 + ATextureIndex;
  return GL_TEXTURE0;
}

TBlendSetting TVantrelContextOpenGLESClass::GetDefaultBlending() const {
  TVantrelContextShared& shared = ContextShared();
  if (!shared.DefaultBlendingMade) {
    shared.DefaultBlending = TBlendSetting::CreateForFMX();
    shared.DefaultBlendingMade = true;
  }
  return shared.DefaultBlending;
}

int32_t TVantrelContextOpenGLESClass::PlatformDirectStateAccess() const {
  TOpenGLESShared& shared = OpenGLESShared();
  if (shared.DirectStateAccess != 0)
    return shared.DirectStateAccess;
  const TExtensions* extensions = TVantrelContext::ExtensionList();
  if (!extensions)
    return 0;
  if (extensions->GetExtension("GL_EXT_direct_state_access"))
    shared.DirectStateAccess = 2000;
  else if (extensions->GetExtension("GL_ARB_direct_state_access"))
    shared.DirectStateAccess = 1000;
  else
    shared.DirectStateAccess = 1;
  return shared.DirectStateAccess;
}

void TVantrelContextOpenGLESClass::PlatformSetTextureFiltering(TTexture* ATexture, TTextureStyles AStyles,
                                                               uint32_t ATextureKind,
                                                               uint32_t AInternalFormat) const {
  if (!PlatformIsContextAvailable())
    return;
  if (IsIntegerGLFormat(AInternalFormat)) {
    glTexParameteri(ATextureKind, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(ATextureKind, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    return;
  }
  const bool mipMaps = AStyles.Contains(TTextureStyle::MipMaps);
  glTexParameteri(ATextureKind, GL_TEXTURE_MAG_FILTER, MagFilter(ATexture));
  glTexParameteri(ATextureKind, GL_TEXTURE_MIN_FILTER, MinFilter(ATexture, mipMaps));
  if (mipMaps) {
    glTexParameteri(ATextureKind, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(ATextureKind, GL_TEXTURE_MAX_LEVEL, MaxMipmapLevel);
  }
}

void TVantrelContextOpenGLESClass::PlatformSetPixelState(int32_t, int32_t, int32_t, int32_t, int32_t) const {}

void TVantrelContextOpenGLESClass::PlatformUnsetPixelState() const {
  TOpenGLESShared& shared = OpenGLESShared();
  if (shared.ClientAttribDepth <= 0 || !PlatformIsContextAvailable())
    return;
  glPopClientAttrib();
  glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &shared.ClientAttribDepth);
}

std::string TVantrelContextOpenGLESClass::GetString(uint32_t AName) const {
  if (!PlatformIsContextAvailable())
    return {};
  const auto* text = reinterpret_cast<const char*>(glGetString(AName));
  return text ? text : "";
}

std::string TVantrelContextOpenGLESClass::PlatformGetVendorName() const {
  return GetString(GL_VENDOR);
}

std::string TVantrelContextOpenGLESClass::PlatformGetRendererName() const {
  return GetString(GL_RENDERER);
}

std::string TVantrelContextOpenGLESClass::PlatformGetVersion() const {
  return GetString(GL_VERSION);
}

std::string TVantrelContextOpenGLESClass::PlatformGetExtensionString() const {
  return GetString(GL_EXTENSIONS);
}

bool TVantrelContextOpenGLESClass::PlatformHasAnyErrors() const {
  intptr_t error = 0;
  return PlatformHasAnyErrors(error);
}

bool TVantrelContextOpenGLESClass::PlatformHasAnyErrors(intptr_t& AError) const {
  AError = PlatformIsContextAvailable() ? GetContextError() : 0;
  return AError != 0;
}

int32_t TVantrelContextOpenGLESClass::GetLimit(uint32_t AName) const {
  if (!PlatformIsContextAvailable())
    return 0;
  GLint value = 0;
  glGetIntegerv(AName, &value);
  return value;
}

int32_t TVantrelContextOpenGLESClass::PlatformMaxTextureSize() const {
  return GetLimit(GL_MAX_TEXTURE_SIZE);
}

int32_t TVantrelContextOpenGLESClass::PlatformMaxTexture3DSize() const {
  return GetLimit(GL_MAX_3D_TEXTURE_SIZE);
}

int32_t TVantrelContextOpenGLESClass::PlatformTextureUnitCount() const {
  return GetLimit(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS);
}

int32_t TVantrelContextOpenGLESClass::PlatformMaxTextureImageUnits() const {
  return GetLimit(GL_MAX_TEXTURE_IMAGE_UNITS);
}

int32_t TVantrelContextOpenGLESClass::PlatformMaxVertexShaderUniformBlocks() const {
  return GetLimit(GL_MAX_VERTEX_UNIFORM_BLOCKS);
}

int32_t TVantrelContextOpenGLESClass::PlatformMaxFragmentShaderUniformBlocks() const {
  return GetLimit(GL_MAX_FRAGMENT_UNIFORM_BLOCKS);
}

int32_t TVantrelContextOpenGLESClass::PlatformMaxUniformBlockSize() const {
  return GetLimit(GL_MAX_UNIFORM_BLOCK_SIZE);
}

int32_t TVantrelContextOpenGLESClass::PlatformMaxDrawBuffers() const {
  return GetLimit(GL_MAX_DRAW_BUFFERS);
}

// ---- Shader objects ----------------------------------------------------------------------

void TVantrelContextOpenGLESClass::InitializeShader(TContextShader* AShader) const {
  if (!Valid())
    throw Exception(std::string(SInvalidTextureContext));
  if (!AShader)
    return;
  RequireContextThread("InitializeShader");
  if (!PlatformIsContextAvailable())
    return;
  const TContextShaderSource* source = AShader->GetSourceByArch(PlatformGetShaderArch());
  if (!source)
    source = AShader->GetSourceByArch(TContextShaderArch::GLSL);
  const std::span<const uint8_t> code =
      source ? std::span<const uint8_t>(source->Code) : std::span<const uint8_t>();
  const GLenum stage = ShaderStage(static_cast<TContextShaderKindEx>(AShader->Kind()));
  const bool designTime = ContextShared().DesignTime;
  AShader->SetHandle(ShaderProgramClass().BuildShader(stage, code, designTime));
  if (PlatformHasAnyErrors())
    RaiseShaderCompileException(nullptr, designTime, ui::messages::CannotCreateShader, Name(), "",
                                std::string(code.begin(), code.end()));
}

void TVantrelContextOpenGLESClass::DoFinalizeShader(TContextShader* AShader) const {
  if (!AShader)
    return;
  try {
    if (AShader->Handle() != 0) {
      TVantrelContext::RemoveProgramsUsing(AShader->Handle());
      gl::DeleteName(gl::TNameKind::Shader, static_cast<GLuint>(AShader->Handle()));
      if (gl::IsContextCurrent() && HasGLErrors())
        RaiseContextException(nullptr, ui::messages::ContextMethodError, "DoFinalizeShader");
    }
  } catch (...) {
    AShader->SetHandle(0);
    throw;
  }
  AShader->SetHandle(0);
}

bool TVantrelContextOpenGLES::DoBeginScene() {
  RequireContextThread("BeginScene");
  return inherited::DoBeginScene();
}

void TVantrelContextOpenGLES::DoDrawPrimitives(TPrimitivesKind AKind, const void* AVertices,
                                               const void* AIndices, const TVertexDeclaration& ADeclaration,
                                               int32_t AVertexSize, int32_t AVertexCount, int32_t AIndexSize,
                                               int32_t AIndexCount) {
  RequireContextThread("DrawPrimitives");
  inherited::DoDrawPrimitives(AKind, AVertices, AIndices, ADeclaration, AVertexSize, AVertexCount, AIndexSize,
                              AIndexCount);
}

// ---- Creation ----------------------------------------------------------------------------------------

// The two enables wait until the inherited creation has made sure the shared context exists.
void TVantrelContextOpenGLES::CreateFromTexture(TTexture* ATexture, TMultisample AMultisample,
                                                bool ADepthStencil) {
  FPointOrigin = GL_UPPER_LEFT;
  inherited::CreateFromTexture(ATexture, AMultisample, ADepthStencil);
  if (!ContextAvailable())
    return;
  glEnable(GL_TEXTURE_3D);
  glEnable(GL_TEXTURE_CUBE_MAP);
}

void TVantrelContextOpenGLES::CreateFromWindow(TWindowHandle AParent, int32_t AWidth, int32_t AHeight,
                                               TMultisample AMultisample, bool ADepthStencil) {
  FPointOrigin = GL_UPPER_LEFT;
  inherited::CreateFromWindow(AParent, AWidth, AHeight, AMultisample, ADepthStencil);
}

void TVantrelContextOpenGLES::BeforeDestruction() {
  std::vector<uint8_t>().swap(OpenGLESShared().ReadBackBuffer);
  inherited::BeforeDestruction();
}

bool TVantrelContextOpenGLES::ContextAvailable() const {
  return VantrelClass().PlatformIsContextAvailable();
}

void TVantrelContextOpenGLES::CheckMethodError(const char* AMethod) {
  if (HasGLErrors())
    RaiseContextException(this, ui::messages::ContextMethodError, AMethod);
}

// ---- Uniforms ------------------------------------------------------------------------------------------

const TContextShaderVariable* TVantrelContextOpenGLES::FindUniform(const std::string& AName) const {
  const TShaderProgram* program = GetCurrentProgram();
  return program ? program->Variables().Find(AName) : nullptr;
}

void TVantrelContextOpenGLES::DoSetShaderVariable(const std::string& AName,
                                                  std::span<const TVector3D> AData) {
  if (AData.empty())
    return;
  GuardUniform([&] {
    if (!ContextAvailable())
      return;
    if (const TContextShaderVariable* variable = FindUniform(AName)) {
      const TVector3D& first = AData.front();
      switch (variable->Kind) {
      case TContextShaderVariableKind::Float:
        glUniform1f(variable->Index, first.X);
        break;
      case TContextShaderVariableKind::Float2:
        glUniform2f(variable->Index, first.X, first.Y);
        break;
      case TContextShaderVariableKind::Float3:
        glUniform3f(variable->Index, first.X, first.Y, first.Z);
        break;
      default:
        glUniform4fv(variable->Index, std::min(static_cast<int32_t>(AData.size()), variable->Size), &first.X);
      }
    }
    if (HasGLErrors())
      RaiseContextException(this, ui::messages::ShaderVariableNotFound, AName);
  });
}

void TVantrelContextOpenGLES::DoSetShaderVariableMat4(const std::string& AName, const TMatrix3D& AMatrix) {
  GuardUniform([&] {
    if (!ContextAvailable())
      return;
    if (const TContextShaderVariable* variable = FindUniform(AName))
      glUniformMatrix4fv(variable->Index, 1, GL_FALSE, &AMatrix.m11);
    if (HasGLErrors())
      RaiseContextException(this, ui::messages::ShaderVariableNotFound, AName);
  });
}

void TVantrelContextOpenGLES::DoSetShaderVariableInt(const std::string& AName,
                                                     std::span<const int32_t> AValues) {
  GuardUniform([&] {
    if (AValues.empty() || !ContextAvailable())
      return;
    if (const TContextShaderVariable* variable = FindUniform(AName)) {
      if (variable->Kind == TContextShaderVariableKind::Int)
        glUniform1i(variable->Index, AValues[0]);
      else if (variable->Kind == TContextShaderVariableKind::IntArray)
        glUniform1iv(variable->Index, std::min(static_cast<int32_t>(AValues.size()), variable->Size),
                     AValues.data());
    }
    if (HasGLErrors())
      RaiseContextException(this, ui::messages::ShaderVariableNotFound, AName);
  });
}

void TVantrelContextOpenGLES::DoSetShaderVariable(const std::string& AName, TTexture* ATexture) {
  GuardUniform([&] {
    if (!ATexture || !ContextAvailable())
      return;
    const TContextShaderVariable* variable = FindUniform(AName);
    if (!variable)
      return;
    try {
      BindSamplerTexture(*variable, *ATexture);
    } catch (const Exception& E) {
      RaiseContextException(this, SFailedToInitializeTexture, E.Message());
    }
    if (HasGLErrors())
      RaiseContextException(this, ui::messages::ShaderVariableNotFound, AName);
  });
}

void TVantrelContextOpenGLES::BindSamplerTexture(const TContextShaderVariable& AVariable,
                                                 TTexture& ATexture) {
  const int32_t unit = AVariable.TextureUnit;
  auto* texture = dynamic_cast<TVantrelTexture*>(&ATexture);
  TVantrelTextureKind kind = TVantrelTextureKind::Texture2D;
  if (texture) {
    texture->SetTextureUnit(unit);
    kind = texture->GetKind();
  }
  const auto handle = static_cast<GLuint>(ATexture.Handle());
  glActiveTexture(static_cast<GLenum>(VantrelClass().GetTextureByTextureIndex(unit)));
  glBindTexture(TextureKindToGL(kind).Target, handle);
  glUniform1i(AVariable.Index, unit);
  if (texture && kind == TVantrelTextureKind::ImageTexture3D && !texture->GetImageAccessable())
    glBindImageTexture(0, handle, texture->GetCurrentMipMapLevel(), GL_TRUE, 0, GL_READ_WRITE, GL_RGBA8);
}

// ---- Read-back -----------------------------------------------------------------------------------------

void TVantrelContextOpenGLES::DoCopyToBitmap(TBitmap* ADest, const TRect& ARect) {
  if (!VantrelClass().Valid())
    return;
  inherited::DoCopyToBitmap(ADest, ARect);
}

void TVantrelContextOpenGLES::DoCopyToBits(void* ABits, int32_t APitch, const TRect& ARect) {
  if (!VantrelClass().Valid() || !FDefaultFrameBuf)
    return;
  RequireContextThread("CopyToBits");
  try {
    ReadDefaultBuffer(ABits, APitch, ARect);
  } catch (const Exception& E) {
    Log::d(SCopyToBitsFailed, E.Message());
  }
}

void TVantrelContextOpenGLES::ReadDefaultBuffer(void* ABits, int32_t APitch, const TRect& ARect) {
  TFrameBufferObject& buffer = *FDefaultFrameBuf;
  const TSize size = buffer.Size();
  if (size.Width != FWidth || size.Height != FHeight)
    throw Exception(Format(SFrameBufferNotContextSize, size.Width, FWidth, size.Height, FHeight));
  if (size.Width != ARect.Width() || size.Height != ARect.Height())
    throw Exception(
        Format(SFrameBufferNotDestinationSize, size.Width, ARect.Width(), size.Height, ARect.Height()));
  const int32_t rowBytes = size.Width * ReadBackBytesPerPixel;
  if (APitch < rowBytes)
    throw Exception(Format(SDestinationPitchTooSmall, APitch, rowBytes));
  if (gl::HasPackInvert() && APitch % ReadBackBytesPerPixel == 0)
    ReadInverted(ABits, APitch);
  else
    ReadThroughScratch(ABits, APitch);
  if (HasGLErrors())
    RaiseContextException(this, ui::messages::ContextMethodError, "DoCopyToBits");
}

// The driver writes the rows top row first straight into the caller's rows: no second pass.
void TVantrelContextOpenGLES::ReadInverted(void* ABits, int32_t APitch) {
  TFrameBufferObject& buffer = *FDefaultFrameBuf;
  const TSize size = buffer.Size();
  TFrameBufferBinding binding(buffer);
  TInvertedPackGuard pack(APitch / ReadBackBytesPerPixel);
  glReadPixels(0, 0, size.Width, size.Height, GLenum(TPixelFormatExHelper::ToValue(TPixelFormatEx::BGRA)),
               GL_UNSIGNED_BYTE, ABits);
}

// Reads bottom row first into the kept scratch buffer, then copies the rows, top row first.
void TVantrelContextOpenGLES::ReadThroughScratch(void* ABits, int32_t APitch) {
  TFrameBufferObject& buffer = *FDefaultFrameBuf;
  const TSize size = buffer.Size();
  const int32_t rowBytes = size.Width * ReadBackBytesPerPixel;
  std::vector<uint8_t>& scratch = OpenGLESShared().ReadBackBuffer;
  const size_t bytes = size_t(rowBytes) * size_t(size.Height);
  if (scratch.size() != bytes)
    std::vector<uint8_t>(bytes).swap(scratch);
  {
    TFrameBufferBinding binding(buffer);
    TPixelStoreGuard pack(true);
    glReadPixels(0, 0, size.Width, size.Height, GLenum(TPixelFormatExHelper::ToValue(TPixelFormatEx::BGRA)),
                 GL_UNSIGNED_BYTE, scratch.data());
  }
  auto* destination = static_cast<uint8_t*>(ABits);
  for (int32_t row = 0; row < size.Height; ++row)
    std::memcpy(destination + ptrdiff_t(size.Height - 1 - row) * APitch,
                scratch.data() + size_t(row) * rowBytes, size_t(rowBytes));
}

// ---- Context states ----------------------------------------------------------------------------------

void TVantrelContextOpenGLES::DoSetContextState(TContextState AState) {
  if (MultipleSetContextState() > 0 || !ContextAvailable())
    return;
  switch (AState) {
  case TContextState::csZTestOn:
    EnableDepthTest();
    break;
  case TContextState::csZTestOff:
    glDisable(GL_DEPTH_TEST);
    break;
  case TContextState::csZWriteOn:
  case TContextState::csZWriteOff:
    glDepthMask(AState == TContextState::csZWriteOn ? GL_TRUE : GL_FALSE);
    break;
  case TContextState::csAlphaBlendOn:
  case TContextState::csAlphaBlendOff:
    SetCapability(GL_BLEND, AState == TContextState::csAlphaBlendOn);
    break;
  case TContextState::csStencilOn:
  case TContextState::csStencilOff:
    SetCapability(GL_STENCIL_TEST, AState == TContextState::csStencilOn);
    break;
  case TContextState::csColorWriteOn:
  case TContextState::csColorWriteOff:
    SetColorMask(AState == TContextState::csColorWriteOn);
    break;
  case TContextState::csScissorOn:
  case TContextState::csScissorOff:
    SetCapability(GL_SCISSOR_TEST, AState == TContextState::csScissorOn);
    break;
  case TContextState::csFrontFace:
    SetCulling(GL_BACK);
    break;
  case TContextState::csBackFace:
    SetCulling(GL_FRONT);
    break;
  case TContextState::csAllFace:
    glDisable(GL_CULL_FACE);
    break;
  case TContextState::cs2DScene:
  case TContextState::cs3DScene:
    break;
  }
}

// Of an on/off pair in the same set, off wins; of the two faces, the front face.
void TVantrelContextOpenGLES::ApplyContextStates(TFMXContextStates AStates) {
  if (!ContextAvailable())
    return;
  using enum TContextState;
  auto apply = [&](TContextState AOn, TContextState AOff, auto ASet) {
    if (AStates.Contains(AOff))
      ASet(false);
    else if (AStates.Contains(AOn))
      ASet(true);
  };
  apply(csZWriteOn, csZWriteOff, [](bool AOn) { glDepthMask(AOn ? GL_TRUE : GL_FALSE); });
  apply(csZTestOn, csZTestOff, [](bool AOn) { AOn ? EnableDepthTest() : glDisable(GL_DEPTH_TEST); });
  apply(csAlphaBlendOn, csAlphaBlendOff, [](bool AOn) { SetCapability(GL_BLEND, AOn); });
  apply(csStencilOn, csStencilOff, [](bool AOn) { SetCapability(GL_STENCIL_TEST, AOn); });
  apply(csColorWriteOn, csColorWriteOff, SetColorMask);
  apply(csScissorOn, csScissorOff, [](bool AOn) { SetCapability(GL_SCISSOR_TEST, AOn); });
  if (AStates.Contains(csFrontFace) || AStates.Contains(csBackFace))
    SetCulling(AStates.Contains(csFrontFace) ? GL_BACK : GL_FRONT);
  else if (AStates.Contains(csAllFace))
    glDisable(GL_CULL_FACE);
}

// ---- Clearing ------------------------------------------------------------------------------------------

void TVantrelContextOpenGLES::ClearBuffers(uint32_t AMask, TAlphaColor AColor, float ADepth,
                                           uint32_t AStencil) {
  GLboolean depthMask = GL_TRUE;
  if (AMask & GL_DEPTH_BUFFER_BIT) {
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
    glDepthMask(GL_TRUE);
    glClearDepth(ADepth);
  }
  if (AMask & GL_STENCIL_BUFFER_BIT)
    glClearStencil(static_cast<GLint>(AStencil));
  if (AMask & GL_COLOR_BUFFER_BIT) {
    const TAlphaColorRec color = TAlphaColorRec::Create(AColor);
    glClearColor(color.R / 255.0f, color.G / 255.0f, color.B / 255.0f, color.A / 255.0f);
  }
  glClear(AMask);
  if (AMask & GL_DEPTH_BUFFER_BIT)
    glDepthMask(depthMask);
}

void TVantrelContextOpenGLES::DoClear(TClearTargets ATarget, TAlphaColor AColor, float ADepth,
                                      uint32_t AStencil) {
  if (!VantrelClass().Valid())
    return;
  RequireContextThread("Clear");
  GLbitfield mask = 0;
  if (FDepthStencil && ATarget.Contains(TClearTarget::Depth))
    mask |= GL_DEPTH_BUFFER_BIT;
  if (FDepthStencil && ATarget.Contains(TClearTarget::Stencil))
    mask |= GL_STENCIL_BUFFER_BIT;
  if (ATarget.Contains(TClearTarget::Color))
    mask |= GL_COLOR_BUFFER_BIT;
  ClearBuffers(mask, AColor, ADepth, AStencil);
  if (const uint32_t error = DrainGLErrors(); error != GL_NO_ERROR)
    RaiseContextException(this, ui::messages::ContextMethodError, Format("DoClear (Error = %d)", error));
}

void TVantrelContextOpenGLES::DoClearEx(TRenderTargets ATarget, TAlphaColor AColor, float ADepth,
                                        uint32_t AStencil) {
  if (!VantrelClass().Valid())
    return;
  GLbitfield mask = 0;
  if (FDepthStencil && ATarget.Contains(TRenderTarget::Depth))
    mask |= GL_DEPTH_BUFFER_BIT;
  if (FDepthStencil && ATarget.Contains(TRenderTarget::Stencil))
    mask |= GL_STENCIL_BUFFER_BIT;
  if (ATarget.Contains(TRenderTarget::Color_0))
    mask |= GL_COLOR_BUFFER_BIT;
  ClearBuffers(mask, AColor, ADepth, AStencil);
  if (const uint32_t error = DrainGLErrors(); error != GL_NO_ERROR)
    RaiseContextException(this, SErrorInContextMethod, "DoClearEx", error);
}

void TVantrelContextOpenGLES::DoClearBufferFloat(int32_t ABuf, const float* APtr) {
  if (ContextAvailable())
    glClearBufferfv(GL_COLOR, ABuf, APtr);
}

// ---- Stencil -------------------------------------------------------------------------------------------

void TVantrelContextOpenGLES::DoSetStencilOp(TStencilOp AFail, TStencilOp AZFail, TStencilOp AZPass) {
  if (!VantrelClass().Valid())
    return;
  glStencilOp(StencilOpToGL(AFail), StencilOpToGL(AZFail), StencilOpToGL(AZPass));
  CheckMethodError("DoSetStencilOp");
}

void TVantrelContextOpenGLES::DoSetStencilFunc(TStencilFunc AFunc, uint32_t ARef, uint32_t AMask) {
  if (!VantrelClass().Valid())
    return;
  glStencilFunc(StencilFuncs.at(static_cast<size_t>(AFunc)), static_cast<GLint>(ARef), AMask);
  CheckMethodError("DoSetStencilFunc");
}

void TVantrelContextOpenGLES::DoSetTwoSidedRendering(TStencilOpEx AFrontFaceFail,
                                                     TStencilOpEx AFrontFaceZFail,
                                                     TStencilOpEx AFrontFaceZPass, TStencilOpEx ABackFaceFail,
                                                     TStencilOpEx ABackFaceZFail, TStencilOpEx ABackFaceZPass,
                                                     uint32_t AFrontStencilMask, uint32_t ABackStencilMask) {
  if (!ContextAvailable())
    return;
  const TExtensions* extensions = ExtensionList();
  if (extensions && extensions->GetExtension("GL_EXT_stencil_two_side")) {
    glEnable(GL_STENCIL_TEST_TWO_SIDE_EXT);
    glActiveStencilFaceEXT(GL_BACK);
    glStencilOp(StencilOpToGL(ABackFaceFail), StencilOpToGL(ABackFaceZFail), StencilOpToGL(ABackFaceZPass));
    glStencilMask(ABackStencilMask);
    glActiveStencilFaceEXT(GL_FRONT);
    glStencilOp(StencilOpToGL(AFrontFaceFail), StencilOpToGL(AFrontFaceZFail),
                StencilOpToGL(AFrontFaceZPass));
    glStencilMask(AFrontStencilMask);
    return;
  }
  glStencilOpSeparate(GL_BACK, StencilOpToGL(ABackFaceFail), StencilOpToGL(ABackFaceZFail),
                      StencilOpToGL(ABackFaceZPass));
  glStencilMaskSeparate(GL_BACK, ABackStencilMask);
  glStencilOpSeparate(GL_FRONT, StencilOpToGL(AFrontFaceFail), StencilOpToGL(AFrontFaceZFail),
                      StencilOpToGL(AFrontFaceZPass));
  glStencilMaskSeparate(GL_FRONT, AFrontStencilMask);
}

// ---- Other GPU state -----------------------------------------------------------------------------------

uint32_t TVantrelContextOpenGLES::MemoryBarrierFlagToBits(TMemoryBarrierFlag AFlag) {
  const auto index = static_cast<size_t>(AFlag);
  return index < BarrierBits.size() ? BarrierBits[index] : 0;
}

void TVantrelContextOpenGLES::SetMemoryBarrierBits(TMemoryBarrierFlags ABits) {
  if (ContextAvailable())
    glMemoryBarrier(MemoryBarrierFlagsToBits(ABits));
}

void TVantrelContextOpenGLES::SetMemoryBarrierBit(TMemoryBarrierFlag ABit) {
  if (ContextAvailable())
    glMemoryBarrier(MemoryBarrierFlagToBits(ABit));
}

void TVantrelContextOpenGLES::FetchMemoryBarrierBit() {
  if (ContextAvailable())
    glMemoryBarrier(GL_TEXTURE_FETCH_BARRIER_BIT);
}

void TVantrelContextOpenGLES::SetFlatShading() {
  if (ContextAvailable())
    glShadeModel(GL_FLAT);
}

void TVantrelContextOpenGLES::SetSmoothShading() {
  if (ContextAvailable())
    glShadeModel(GL_SMOOTH);
}

void TVantrelContextOpenGLES::DoSetPolygonOffsetFill(TPolygonOffsetFill AMode, float AFactor, float AUnits) {
  if (!ContextAvailable())
    return;
  if (AMode == TPolygonOffsetFill::pofOffsetFillOn) {
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(AFactor, AUnits);
  } else
    glDisable(GL_POLYGON_OFFSET_FILL);
}

void TVantrelContextOpenGLES::DoSetSmoothMode(const TSmoothSetting& ASetting) {
  FSmoothTargets = ASetting.Targets;
  if (!ContextAvailable())
    return;
  SetCapability(GL_POINT_SMOOTH, ASetting.Targets.Contains(TSmoothTarget::stPoints));
  SetCapability(GL_LINE_SMOOTH, ASetting.Targets.Contains(TSmoothTarget::stLines));
  SetCapability(GL_POLYGON_SMOOTH, ASetting.Targets.Contains(TSmoothTarget::stPolygons));
}

void TVantrelContextOpenGLES::DoSetPointSprites(bool AEnabled) {
  if (!ContextAvailable())
    return;
  if (!AEnabled) {
    glDisable(GL_POINT_SPRITE);
    return;
  }
  glEnable(GL_PROGRAM_POINT_SIZE);
  glTexEnvi(GL_POINT_SPRITE, GL_COORD_REPLACE, GL_TRUE);
  glPointParameterf(GL_POINT_SIZE_MIN, FPointSizeMin);
  glPointParameterf(GL_POINT_SIZE_MAX, FPointSizeMax);
  glPointParameterf(GL_POINT_FADE_THRESHOLD_SIZE, FPointThreshold);
  glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, FPointOrigin);
  glEnable(GL_POINT_SPRITE);
}

void TVantrelContextOpenGLES::DoSetPointSpriteTextureMode() {
  if (!ContextAvailable())
    return;
  glTexEnvi(GL_POINT_SPRITE, GL_COORD_REPLACE, GL_TRUE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}

// ---- Viewport and screen rectangle ---------------------------------------------------------------------

void TVantrelContextOpenGLES::StorePreviousContextSize() {
  GetContextSize(FOldViewport);
}

void TVantrelContextOpenGLES::SetContextSize(int32_t AXOfs, int32_t AYOfs, int32_t AWidth, int32_t AHeight) {
  if (ContextAvailable())
    glViewport(AXOfs, AYOfs, AWidth, AHeight);
}

void TVantrelContextOpenGLES::SetContextSize(const TVantrelContextSize& ASize) {
  SetContextSize(ASize[0], ASize[1], ASize[2], ASize[3]);
}

void TVantrelContextOpenGLES::GetContextSize(TVantrelContextSize& ASize) {
  if (ContextAvailable())
    glGetIntegerv(GL_VIEWPORT, ASize.data());
}

void TVantrelContextOpenGLES::BeginOrtho(float ALeft, float ATop, float ARight, float ABottom, float ANear,
                                         float AFar) {
  if (ContextAvailable())
    glOrtho(ALeft, ARight, ABottom, ATop, ANear, AFar);
}

void TVantrelContextOpenGLES::BeginOrtho(const TOrthographicData& AData) {
  BeginOrtho(AData.Left, AData.Top, AData.Right, AData.Bottom, AData.Near, AData.Far);
}

void TVantrelContextOpenGLES::DrawScreenRectangle(const TAlphaColorF& AColor) {
  if (!ContextAvailable())
    return;
  GLint mode = GL_MODELVIEW;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, 1, 1, 0, 0, 1);
  glColor4f(AColor.R, AColor.G, AColor.B, AColor.A);
  glBegin(GL_QUADS);
  glVertex2f(0, 0);
  glVertex2f(0, 1);
  glVertex2f(1, 1);
  glVertex2f(1, 0);
  glEnd();
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glMatrixMode(static_cast<GLenum>(mode));
}

// ---- Blending ------------------------------------------------------------------------------------------

void TVantrelContextOpenGLES::SetBlendFunctions(const TBlendSetting& AValue) {
  glBlendEquationSeparate(BlendEquationToGL(AValue.Func), BlendEquationToGL(AValue.AlphaFunc));
  glBlendFuncSeparate(BlendFactorToGL(AValue.ColorSource), BlendFactorToGL(AValue.ColorDest),
                      BlendFactorToGL(AValue.AlphaSource), BlendFactorToGL(AValue.AlphaDest));
}

void TVantrelContextOpenGLES::SetGlobalBlending(const TBlendSetting& AValue) {
  DisableBlendingBuffers();
  FBlendingBuffers[0] = AValue;
  if (!ContextAvailable())
    return;
  SetCapability(GL_BLEND, AValue.Enabled);
  SetBlendFunctions(AValue);
  if (const uint32_t error = DrainGLErrors(); error != GL_NO_ERROR)
    Log::d("(TVantrelContextOpenGLES.SetGlobalBlending failed: %d, %d: %d > %d, %d > %d (Error = %d)",
           BlendEquationToGL(AValue.Func), BlendEquationToGL(AValue.AlphaFunc),
           BlendFactorToGL(AValue.ColorSource), BlendFactorToGL(AValue.ColorDest),
           BlendFactorToGL(AValue.AlphaSource), BlendFactorToGL(AValue.AlphaDest), error);
}

void TVantrelContextOpenGLES::SetBlendingByIndex(uint32_t AIndex, const TBlendSetting& AValue) {
  if (AIndex >= FBlendingBuffers.size())
    return;
  const int32_t drawBuffers = ContextShared().DrawBufferCount;
  if (drawBuffers <= 0 || AIndex >= uint32_t(drawBuffers)) {
    FBlendingBuffers[AIndex] = TBlendSetting::Create(false);
    return;
  }
  FBlendingBuffers[AIndex] = AValue;
  if (!ContextAvailable())
    return;
  if (!AValue.Enabled) {
    glDisablei(GL_BLEND, AIndex);
    return;
  }
  glEnablei(GL_BLEND, AIndex);
  glBlendEquationSeparatei(AIndex, BlendEquationToGL(AValue.Func), BlendEquationToGL(AValue.AlphaFunc));
  glBlendFuncSeparatei(AIndex, BlendFactorToGL(AValue.ColorSource), BlendFactorToGL(AValue.ColorDest),
                       BlendFactorToGL(AValue.AlphaSource), BlendFactorToGL(AValue.AlphaDest));
}

void TVantrelContextOpenGLES::EnableBlendingBuffers() {
  FBlendingBuffers = {};
  const int32_t drawBuffers =
      std::min<int32_t>(ContextShared().DrawBufferCount, int32_t(FBlendingBuffers.size()));
  for (int32_t index = 0; index < drawBuffers; ++index)
    FBlendingBuffers[size_t(index)] = TBlendSetting::Create(true);
  if (!ContextAvailable())
    return;
  glEnable(GL_BLEND);
  glBlendEquationSeparate(GL_FUNC_ADD, GL_FUNC_ADD);
  glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_COLOR, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
}

void TVantrelContextOpenGLES::DisableBlendingBuffers() {
  FBlendingBuffers = {};
  const int32_t drawBuffers = ContextShared().DrawBufferCount;
  for (int32_t index = 0; index < drawBuffers; ++index)
    SetBlendingByIndex(uint32_t(index), TBlendSetting::Create(false));
  if (ContextAvailable())
    glDisable(GL_BLEND);
}

} // namespace vantrel
