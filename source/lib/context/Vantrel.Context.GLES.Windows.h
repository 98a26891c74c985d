#pragma once
// The shared GL context and the context class the context manager makes. TCustomContextWindows
// owns the process's one GL context: a single bare instance of it, the shared instance, holds the
// window token and the context, which the platform layer creates through EGL on first use and
// keeps current on the UI thread. TContextOpenGLWindows is the registered default context class:
// every context it makes draws with that one GL context into frame buffers of its own.
//
// The window token is stored for the shared context but not needed: the context is surfaceless.

#include <cstdint>
#include <span>
#include <string>

#include "context/Vantrel.Context.GLES.h"

namespace vantrel {

// What the shared context is made as. Only the profile and version fields reach the driver; the
// pixel-format fields have no meaning for a context without a surface and are kept for
// applications that read them.
struct TContextConfiguration {
  bool ESProfile = false;
  int32_t MajorVersion = 4;
  int32_t MinorVersion = 3;
  bool ForwardCompatible = false;
  uint8_t ColorBits = 24;
  uint8_t DepthBits = 16;
  uint8_t StencilBits = 0;
  uint8_t AccumBits = 0;
  uint8_t AuxBuffers = 0;
  // 0 main plane, above 0 overlay, below 0 underlay.
  int8_t Layer = 0;
};

inline constexpr std::string_view SFailedToInitializeContext = "Failed to initialize context: %s";
inline constexpr std::string_view SCouldNotCreateRenderingContext =
    "Could not create the desired OpenGL rendering context!";
inline constexpr std::string_view SMissingValidMethod = "Missing method: TCustomContextWindows.Valid()";
inline constexpr std::string_view SCannotCreateRenderBuffers = "error: cannot create render buffers %s";

class TCustomContextWindowsClass : public TVantrelContextOpenGLESClass {
public:
  using TVantrelContextOpenGLESClass::TVantrelContextOpenGLESClass;

  // The class is never a context class itself: raises Exception "Missing method: ...".
  bool Valid() const override;
  // Starts the shared context if need be; True while it holds a GL context.
  bool PlatformIsContextAvailable() const override;
  TContextShaderArch PlatformGetShaderArch() const override { return TContextShaderArch::GLSL; }
  int32_t PlatformMaxLightCount() const override { return 32; }
  TContextStyles PlatformStyle() const override { return {TContextStyle::RenderTargetFlipped}; }
  // The driver lists GL_ARB_texture_compression.
  bool PlatformTextureCompressionAllowed() const override;
  // The shared context's table (see TCustomContextWindows::ShaderDefines); without a GL context,
  // one made from the empty identity strings.
  TContextShaderDefinesPtr PlatformShaderDefines() const override;
  // Saves the client pixel store (the direct-state-access variant only with EXT_direct_state_access)
  // and sets the unpack alignment and row length for rows of APitch bytes.
  void PlatformSetPixelState(int32_t AWidth, int32_t AHeight, int32_t ADepth, int32_t ABytesPerPixel,
                             int32_t APitch) const override;
};

class TCustomContextWindows : public TVantrelContextOpenGLES {
  RTL_CLASS_META(TCustomContextWindows, TVantrelContextOpenGLES, TCustomContextWindowsClass)
public:
  // A bare instance: no 3D-context set-up and no frame buffers. Made only as the shared instance.
  static TCustomContextWindows* Create();
  // Sets the closing flag, after which no shared context is made again; the shared instance also
  // destroys the GL context.
  void BeforeDestruction() override;

  // The window token for the shared context.
  static void SetWindowHandle(TWindowHandle AHandle);
  static TWindowHandle GetWindowHandle();
  // nullptr until the shared context is made, and again once it is released or failed.
  static TCustomContextWindows* SharedInstance();
  // What the shared context is made as; a change takes effect only before it is made.
  static TContextConfiguration& Configuration();
  // True once any instance was destroyed.
  static bool IsClosing();

  // Makes the shared context unless it exists or the process is closing. The identity strings are
  // logged and the draw-buffer count read. A failure frees the half-made instance and raises
  // through RaiseInitializationException "Failed to initialize context: %s"; there is no retry.
  static void AcquireShared();
  // Frees the shared instance, which destroys the GL context.
  static void ReleaseShared();
  void AcquireSharedGLContext() override { AcquireShared(); }
  void ReleaseSharedGLContext() override { ReleaseShared(); }

  // Compiles one stage of AType from ACode on the shared context, a fragment stage with a
  // high-precision default after its #version line. Returns the compiler's log (empty on
  // success); a failed compile logs it and raises the UI framework's cannot-create-shader text.
  // Nothing happens without a context.
  virtual std::string CompileShader(uint32_t AType, std::span<const uint8_t> ACode);

  // Made from this context's identity strings on the first call and kept until the context is
  // released, so the extension string is split once per GL context, not once per shader stage.
  TContextShaderDefinesPtr ShaderDefines();

  TWindowHandle GetHWND() const { return FHWND; }
  // Non-zero while this instance holds the GL context.
  uintptr_t GetContext() const { return FContext; }

protected:
  TCustomContextWindows() = default;
  // The shared instance makes no buffers.
  void DoCreateBuffer() override {}

  TWindowHandle FHWND = 0;
  uintptr_t FContext = 0;
  TContextShaderDefinesPtr FShaderDefines;
};

class TContextOpenGLWindowsClass : public TCustomContextWindowsClass {
public:
  using TCustomContextWindowsClass::TCustomContextWindowsClass;

  // Starts the shared context if need be; True while a shared instance exists.
  bool Valid() const override;
};

class TContextOpenGLWindows : public TCustomContextWindows {
  RTL_CLASS_META(TContextOpenGLWindows, TCustomContextWindows, TContextOpenGLWindowsClass)
public:
  // Public for the metaclass factory; contexts are made through the context manager.
  TContextOpenGLWindows() = default;

protected:
  // Never multisampled.
  void CreateFromTexture(TTexture* ATexture, TMultisample AMultisample, bool ADepthStencil) override;
  // Stores AParent as the window token and starts the shared context.
  void CreateFromWindow(TWindowHandle AParent, int32_t AWidth, int32_t AHeight, TMultisample AMultisample,
                        bool ADepthStencil) override;
  // With the shared context and a texture: a single-sampled default buffer of the installed
  // frame-buffer class with the texture at Color_0 (and a depth buffer when the context has a
  // depth-stencil buffer), and a translucent buffer without attachments. A GL error raises
  // "error: cannot create render buffers %s".
  void DoCreateBuffer() override;
};

// Registers TContextOpenGLWindows as the context manager's default class, logging before and after.
void RegisterContextClass();
// Releases the shared context, logging before and after. The class stays registered.
void UnregisterContextClass();

// Installs the OpenGL extension, memory and frame-buffer classes and registers the context class;
// the first call also arranges for FinalizeContextWindows to run at exit, before static destruction.
void InitializeContextWindows();
// The shutdown routine, once per process: frees the extension list and the read-back buffer,
// restores the base extension, memory and frame-buffer classes, unregisters the context class (which
// destroys the GL context) and frees the instances left in the shared-instance list.
void FinalizeContextWindows();

} // namespace vantrel
