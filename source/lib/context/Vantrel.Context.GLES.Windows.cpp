#include "context/Vantrel.Context.GLES.Windows.h"

#include <epoxy/gl.h>

#include <cstdlib>
#include <memory>

#include "context/Vantrel.Context.Buffers.OpenGL.h"
#include "context/Vantrel.Context.Extension.OpenGL.h"
#include "context/Vantrel.Context.GLState.OpenGL.h"
#include "context/Vantrel.Context.Memory.OpenGL.h"
#include "context/Vantrel.Context.Shader.OpenGL.h"
#include "context/Vantrel.Context.Texturing.OpenGL.h"
#include "context/Vantrel.Context.Types.OpenGL.h"
#include "gl/egl_context.h"
#include "gl/names.h"
#include "rtl/generics.h"
#include "rtl/log.h"
#include "ui/shaders.h"

namespace vantrel {

RTL_DEFINE_CLASS_META(TCustomContextWindows, "Vantrel.Context.GLES.Windows", TCustomContextWindowsClass)
RTL_DEFINE_CLASS_META(TContextOpenGLWindows, "Vantrel.Context.GLES.Windows", TContextOpenGLWindowsClass)

namespace {

constexpr std::string_view PrecisionLine = "precision highp   float;\r\n";
constexpr std::string_view SLeakedNamesAtShutdown = "leaked GL names at shutdown: ";

struct TWindowsState {
  TWindowHandle WindowHandle = 0;
  TCustomContextWindows* SharedInstance = nullptr;
  // Owns its entries: every shared instance ever made until it is freed.
  std::unique_ptr<TThreadList<TCustomContextWindows*>> Instances;
  bool Closing = false;
  TContextConfiguration Configuration;
  bool Initialized = false;
  bool ShutdownRegistered = false;
  bool Finalized = false;
};

// Initialised before main, so it outlives the shutdown routine registered while the program runs.
TWindowsState GState;

// The shared instance owns the GL context and never draws.
class TSharedContextWindows final : public TCustomContextWindows {};

gl::TContextRequest RequestOf(const TContextConfiguration& AConfiguration) {
  gl::TContextRequest request;
  request.MajorVersion = AConfiguration.MajorVersion;
  request.MinorVersion = AConfiguration.MinorVersion;
  if (AConfiguration.ESProfile)
    request.Profile = gl::TContextProfile::ES;
  else if (AConfiguration.ForwardCompatible) {
    request.Profile = gl::TContextProfile::Core;
    request.ForwardCompatible = true;
  }
  return request;
}

void ShutdownAtExit() {
  FinalizeContextWindows();
}

// The platform layer's state and the context's program list are made before the routine is
// registered, so they are destroyed after the routine has run.
void EnsureShutdownRegistered() {
  if (GState.ShutdownRegistered)
    return;
  GState.ShutdownRegistered = true;
  gl::CreationCount();
  ContextShared();
  TVantrelContext::ProgramCount();
  // The shader registry too: the shutdown clears it, so it must be made before the handler is
  // registered and thus be destroyed after it runs.
  TShaderManager::Count();
  std::atexit(ShutdownAtExit);
}

// Freeing the shared instance clears it and destroys the GL context.
void FreeInstance(TCustomContextWindows* AInstance) {
  if (GState.Instances)
    GState.Instances->Remove(AInstance);
  AInstance->Free();
}

// Reports a failed start-up with the half-made instance as sender, then frees it.
[[noreturn]] void FailStartUp(TCustomContextWindows* AInstance, const std::string& AReason) {
  try {
    RaiseInitializationException(AInstance, SFailedToInitializeContext, AReason);
  } catch (...) {
    FreeInstance(AInstance);
    throw;
  }
}

// One line naming every kind of GL name still alive, after the names other threads handed over
// are gone; nothing when all are deleted.
void ReportLeakedNames() {
  gl::DrainDeferredNames();
  const std::string leaked = gl::DescribeNameSurplus(gl::TNameCounts{}, gl::LiveNameCounts());
  if (!leaked.empty())
    Log::d(std::string_view(std::string(SLeakedNamesAtShutdown) + leaked));
}

void StartSharedContext(TCustomContextWindows& AInstance) {
  const TVantrelContextClass& platform = AInstance.VantrelClass();
  Log::d(platform.PlatformGetVendorName());
  Log::d(platform.PlatformGetRendererName());
  Log::d(platform.PlatformGetVersion());
  Log::d(platform.PlatformGetExtensionString());
  GLint drawBuffers = 0;
  glGetIntegerv(GL_MAX_DRAW_BUFFERS, &drawBuffers);
  ContextShared().DrawBufferCount = drawBuffers;
}

// A fragment stage gets the precision line after a leading #version line, which must stay first.
std::string FragmentSource(std::string ASource) {
  size_t position = 0;
  if (ASource.starts_with("#version")) {
    const size_t lineEnd = ASource.find('\n');
    if (lineEnd == std::string::npos)
      ASource += '\n';
    position = lineEnd == std::string::npos ? ASource.size() : lineEnd + 1;
  }
  ASource.insert(position, PrecisionLine);
  return ASource;
}

} // namespace

// ---- TCustomContextWindowsClass ---------------------------------------------------------------------

bool TCustomContextWindowsClass::Valid() const {
  throw Exception(std::string(SMissingValidMethod));
}

bool TCustomContextWindowsClass::PlatformIsContextAvailable() const {
  const TCustomContextWindows* shared = TCustomContextWindows::SharedInstance();
  if (shared)
    return shared->GetContext() != 0;
  TCustomContextWindows::AcquireShared();
  shared = TCustomContextWindows::SharedInstance();
  return shared && shared->GetContext() != 0;
}

bool TCustomContextWindowsClass::PlatformTextureCompressionAllowed() const {
  const TExtensions* extensions = TVantrelContext::ExtensionList();
  return extensions && extensions->GetExtension("GL_ARB_texture_compression");
}

void TCustomContextWindowsClass::PlatformSetPixelState(int32_t AWidth, int32_t, int32_t ADepth,
                                                       int32_t ABytesPerPixel, int32_t APitch) const {
  if (!PlatformIsContextAvailable())
    return;
  if (PlatformDirectStateAccess() == 2000)
    glPushClientAttribDefaultEXT(GL_CLIENT_PIXEL_STORE_BIT);
  else
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &OpenGLESShared().ClientAttribDepth);
  GLint alignment = 1;
  GLint rowLength = 0;
  if (ADepth <= 0 && APitch != AWidth * ABytesPerPixel && ABytesPerPixel == 4) {
    alignment = 4;
    rowLength = APitch / 4;
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
}

TContextShaderDefinesPtr TCustomContextWindowsClass::PlatformShaderDefines() const {
  if (!PlatformIsContextAvailable())
    return TVantrelContextOpenGLESClass::PlatformShaderDefines();
  return TCustomContextWindows::SharedInstance()->ShaderDefines();
}

bool TContextOpenGLWindowsClass::Valid() const {
  TCustomContextWindows::AcquireShared();
  return TCustomContextWindows::SharedInstance() != nullptr;
}

// ---- TCustomContextWindows --------------------------------------------------------------------------

TCustomContextWindows* TCustomContextWindows::Create() {
  return New<TSharedContextWindows>();
}

void TCustomContextWindows::BeforeDestruction() {
  inherited::BeforeDestruction();
  GState.Closing = true;
  if (GState.SharedInstance != this)
    return;
  GState.SharedInstance = nullptr;
  FShaderDefines.reset();
  if (FContext != 0)
    gl::ReleaseContext();
  FContext = 0;
}

TContextShaderDefinesPtr TCustomContextWindows::ShaderDefines() {
  if (!FShaderDefines) {
    const TVantrelContextClass& platform = VantrelClass();
    FShaderDefines = std::make_shared<const TContextShaderDefines>(
        platform.PlatformGetVendorName(), platform.PlatformGetRendererName(), platform.PlatformGetVersion(),
        platform.PlatformGetExtensionString());
  }
  return FShaderDefines;
}

void TCustomContextWindows::SetWindowHandle(TWindowHandle AHandle) {
  GState.WindowHandle = AHandle;
}

TWindowHandle TCustomContextWindows::GetWindowHandle() {
  return GState.WindowHandle;
}

TCustomContextWindows* TCustomContextWindows::SharedInstance() {
  return GState.SharedInstance;
}

TContextConfiguration& TCustomContextWindows::Configuration() {
  return GState.Configuration;
}

bool TCustomContextWindows::IsClosing() {
  return GState.Closing;
}

void TCustomContextWindows::AcquireShared() {
  if (GState.Closing || GState.SharedInstance)
    return;
  EnsureShutdownRegistered();
  if (!GState.Instances)
    GState.Instances = std::make_unique<TThreadList<TCustomContextWindows*>>();
  TCustomContextWindows* instance = Create();
  GState.Instances->Add(instance);
  GState.SharedInstance = instance;
  try {
    instance->FHWND = GState.WindowHandle;
    instance->FContext = reinterpret_cast<uintptr_t>(gl::AcquireContext(RequestOf(GState.Configuration)));
    StartSharedContext(*instance);
  } catch (const gl::EGLContextRefused& AError) {
    Log::d(AError.what());
    FailStartUp(instance, std::string(SCouldNotCreateRenderingContext));
  } catch (const gl::EGLError& AError) {
    FailStartUp(instance, AError.what());
  } catch (const Exception& AError) {
    FailStartUp(instance, AError.Message());
  }
}

void TCustomContextWindows::ReleaseShared() {
  if (TCustomContextWindows* shared = GState.SharedInstance)
    FreeInstance(shared);
}

std::string TCustomContextWindows::CompileShader(uint32_t AType, std::span<const uint8_t> ACode) {
  AcquireShared();
  if (!VantrelClass().PlatformIsContextAvailable())
    return {};
  std::string source(ACode.begin(), ACode.end());
  if (AType == GL_FRAGMENT_SHADER)
    source = FragmentSource(std::move(source));
  std::string log;
  GLint status = 0;
  {
    const gl::TShaderName shader(gl::AdoptName, gl::CreateShaderName(AType));
    const GLchar* text = source.c_str();
    const auto length = static_cast<GLint>(source.size());
    glShaderSource(shader.Get(), 1, &text, &length);
    glCompileShader(shader.Get());
    glGetShaderiv(shader.Get(), GL_COMPILE_STATUS, &status);
    log = ShaderInfoLog(shader.Get());
  }
  if (status == 0) {
    Log::d(log);
    RaiseContextException(SharedInstance(),
                          AType == GL_VERTEX_SHADER ? ui::messages::CannotCreateVertexShader
                                                    : ui::messages::CannotCreatePixelShader,
                          ClassName());
  }
  return log;
}

// ---- TContextOpenGLWindows --------------------------------------------------------------------------

void TContextOpenGLWindows::CreateFromTexture(TTexture* ATexture, TMultisample AMultisample,
                                              bool ADepthStencil) {
  FSupportMS = false;
  inherited::CreateFromTexture(ATexture, AMultisample, ADepthStencil);
}

void TContextOpenGLWindows::CreateFromWindow(TWindowHandle AParent, int32_t AWidth, int32_t AHeight,
                                             TMultisample AMultisample, bool ADepthStencil) {
  FSupportMS = false;
  SetWindowHandle(AParent);
  inherited::CreateFromWindow(AParent, AWidth, AHeight, AMultisample, ADepthStencil);
  AcquireShared();
}

void TContextOpenGLWindows::DoCreateBuffer() {
  const TCustomContextWindows* shared = SharedInstance();
  if (!shared || shared->GetContext() == 0 || !FTexture)
    return;
  const TFrameBufferObjectClass& frameBufferClass = TFrameBufferObject::FrameBufferClass();
  FDefaultFrameBuf.reset(frameBufferClass.Create(this, false, TMultisample::None, this));
  FDefaultFrameBuf->AttachTexture(this, FTexture, TRenderTarget::Color_0);
  if (FDepthStencil)
    FDefaultFrameBuf->CreateDepthBuffer(FWidth, FHeight);
  FTranslucentBuf.reset(frameBufferClass.Create(this, false, TMultisample::None, this));
  if (HasGLErrors())
    RaiseContextException(this, SCannotCreateRenderBuffers, ClassName());
}

// ---- Registration and shutdown ----------------------------------------------------------------------

void RegisterContextClass() {
  Log::d("Registering Vantrel3D TContextOpenGLWindows context ...");
  TContextManager::RegisterContext(TContextOpenGLWindows::StaticClass(), true);
  Log::d("Vantrel3D TContextOpenGLWindows context registered");
}

void UnregisterContextClass() {
  Log::d("Unregistering Vantrel3D TContextOpenGLWindows context...");
  TCustomContextWindows::ReleaseShared();
  Log::d("Vantrel3D TContextOpenGLWindows context unregistered");
}

void InitializeContextWindows() {
  if (GState.Initialized)
    return;
  GState.Initialized = true;
  InitializeExtensionOpenGL();
  InitializeMemoryOpenGL();
  InitializeBuffersOpenGL();
  InitializeTexturingOpenGL();
  InitializeShaderOpenGL();
  RegisterContextClass();
  EnsureShutdownRegistered();
}

void FinalizeContextWindows() {
  if (GState.Finalized)
    return;
  GState.Finalized = true;
  // Programs skip their GL deletes when the context is already gone.
  TVantrelContext::FreePrograms();
  // Shaders finalise their GPU stages through the context class, which is still registered here.
  TShaderManager::Clear();
  TVantrelContext::FreeExtensionList();
  std::vector<uint8_t>().swap(OpenGLESShared().ReadBackBuffer);
  if (GState.Initialized) {
    FinalizeExtensionOpenGL();
    FinalizeMemoryOpenGL();
    FinalizeShaderOpenGL();
    FinalizeTexturingOpenGL();
    FinalizeBuffersOpenGL();
  }
  ReportLeakedNames();
  UnregisterContextClass();
  if (!GState.Instances)
    return;
  {
    auto list = GState.Instances->Locked();
    while (!list->IsEmpty())
      list->ExtractAt(list->Count() - 1)->Free();
  }
  GState.Instances.reset();
}

} // namespace vantrel
