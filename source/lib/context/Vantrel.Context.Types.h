#pragma once
// The API-neutral value types that the framework's 3D context, its OpenGL back end and the
// rendering code exchange; the message texts of the context layer; the three raisers through
// which every context failure is logged, reported to the hook and raised; and the GPU error state.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "Vantrel.Prelude.h"
#include "rtl/colors.h"
#include "rtl/math3d.h"
#include "rtl/object.h"
#include "rtl/set.h"
#include "rtl/sysutils.h"
#include "rtl/typeinfo.h"
#include "rtl/types2d.h"
#include "ui/types3d.h"

namespace vantrel {

// ---- Enumerations -------------------------------------------------------------------------------

enum class TContextShaderKindEx : uint8_t {
  VertexShader,
  PixelShader,
  GeometryShader,
  TessEvalShader,
  TessCtrlShader
};
RTL_ENUM_TYPEINFO(TContextShaderKindEx, "VertexShader", "PixelShader", "GeometryShader", "TessEvalShader",
                  "TessCtrlShader")

// Extends the UI framework's TPrimitivesKind: the first three ordinals are the same.
enum class TVantrelPrimitivesKind : uint8_t {
  Points,
  Lines,
  Triangles,
  LineLoop,
  LineStrip,
  TriangleStrip,
  TriangleFan
};
RTL_ENUM_TYPEINFO(TVantrelPrimitivesKind, "Points", "Lines", "Triangles", "LineLoop", "LineStrip",
                  "TriangleStrip", "TriangleFan")

enum class TBlendFactor : uint8_t {
  bfZero,
  bfOne,
  bfSrcColor,
  bfOneMinusSrcColor,
  bfSrcAlpha,
  bfOneMinusSrcAlpha,
  bfDstAlpha,
  bfOneMinusDstAlpha,
  bfDstColor,
  bfOneMinusDstColor,
  bfSrcAlphaSaturate,
};
RTL_ENUM_TYPEINFO(TBlendFactor, "bfZero", "bfOne", "bfSrcColor", "bfOneMinusSrcColor", "bfSrcAlpha",
                  "bfOneMinusSrcAlpha", "bfDstAlpha", "bfOneMinusDstAlpha", "bfDstColor",
                  "bfOneMinusDstColor", "bfSrcAlphaSaturate")

enum class TBlendEquationFunc : uint8_t { befAdd, befSubtract, befReverseSubtract, befMin, befMax };
RTL_ENUM_TYPEINFO(TBlendEquationFunc, "befAdd", "befSubtract", "befReverseSubtract", "befMin", "befMax")

enum class TSmoothTarget : uint8_t { stPoints, stLines, stPolygons };
RTL_ENUM_TYPEINFO(TSmoothTarget, "stPoints", "stLines", "stPolygons")
using TSmoothTargets = TSet<TSmoothTarget>;

// Extends the UI framework's TStencilOp: the first six ordinals are the same.
enum class TStencilOpEx : uint8_t {
  Keep,
  Zero,
  Replace,
  Increase,
  Decrease,
  Invert,
  IncreaseWrap,
  DecreaseWrap
};
RTL_ENUM_TYPEINFO(TStencilOpEx, "Keep", "Zero", "Replace", "Increase", "Decrease", "Invert", "IncreaseWrap",
                  "DecreaseWrap")

enum class TPolygonOffsetFill : uint8_t { pofOffsetFillOn, pofOffsetFillOff };
RTL_ENUM_TYPEINFO(TPolygonOffsetFill, "pofOffsetFillOn", "pofOffsetFillOff")

enum class TMemoryBarrierFlag : uint8_t {
  VertexAttribArrayBarrierBit,
  ElementArrayBarrierBit,
  UniformBarrierBit,
  TextureFetchBarrierBit,
  ShaderImageAccessBarrierBit,
  CommandBarrierBit,
  PixelBufferBarrierBit,
  TextureUpdateBarrierBit,
  BufferUpdateBarrierBit,
  FrameBufferBarrierBit,
  TransformFeedbackBarrierBit,
  AtomicCounterBarrierBit,
  ShaderStorageBarrierBit,
};
RTL_ENUM_TYPEINFO(TMemoryBarrierFlag, "VertexAttribArrayBarrierBit", "ElementArrayBarrierBit",
                  "UniformBarrierBit", "TextureFetchBarrierBit", "ShaderImageAccessBarrierBit",
                  "CommandBarrierBit", "PixelBufferBarrierBit", "TextureUpdateBarrierBit",
                  "BufferUpdateBarrierBit", "FrameBufferBarrierBit", "TransformFeedbackBarrierBit",
                  "AtomicCounterBarrierBit", "ShaderStorageBarrierBit")
using TMemoryBarrierFlags = TSet<TMemoryBarrierFlag>;

// Sanity of the shared ordinals: a byte of one kind is read as the other.
static_assert(static_cast<int>(TVantrelPrimitivesKind::Triangles) ==
              static_cast<int>(TPrimitivesKind::Triangles));
static_assert(static_cast<int>(TStencilOpEx::Invert) == static_cast<int>(TStencilOp::Invert));

// ---- GPU records ---------------------------------------------------------------------------------

// X offset, Y offset, width, height: the stored form of a GPU viewport rectangle.
using TVantrelContextSize = std::array<int32_t, 4>;

// One light exactly as the shaders read it: the std140 image of the GLSL struct Light.
struct TVantrelShaderLight {
  int32_t LightType = 0; // the ordinal of TLightType
  std::array<uint8_t, 12> Reserved1{};
  TVector3D Position;
  TVector3D Direction;
  TAlphaColorF Ambient;
  TAlphaColorF Diffuse;
  TAlphaColorF Specular;
  TVector3D Scattering;
  float SpotCutoff = 0; // degrees
  float SpotCosCutoff = 0;
  float SpotExponent = 0;
  float ConstantAttenuation = 0;
  float LinearAttenuation = 0;
  float QuadraticAttenuation = 0;
  float Intensity = 0;
  int32_t Enabled = 0; // 1 on, 0 off

  static TVantrelShaderLight Create(const TLightDescription& ALight);
  bool IsEnabled() const { return Enabled > 0; }
  // Positions and directions go back through the w rule of TVector3D::ToPoint3D.
  TLightDescription ToLightDescription() const;
};
static_assert(sizeof(TVantrelShaderLight) == 144);
static_assert(offsetof(TVantrelShaderLight, LightType) == 0);
static_assert(offsetof(TVantrelShaderLight, Reserved1) == 4);
static_assert(offsetof(TVantrelShaderLight, Position) == 16);
static_assert(offsetof(TVantrelShaderLight, Direction) == 32);
static_assert(offsetof(TVantrelShaderLight, Ambient) == 48);
static_assert(offsetof(TVantrelShaderLight, Diffuse) == 64);
static_assert(offsetof(TVantrelShaderLight, Specular) == 80);
static_assert(offsetof(TVantrelShaderLight, Scattering) == 96);
static_assert(offsetof(TVantrelShaderLight, SpotCutoff) == 112);
static_assert(offsetof(TVantrelShaderLight, SpotCosCutoff) == 116);
static_assert(offsetof(TVantrelShaderLight, SpotExponent) == 120);
static_assert(offsetof(TVantrelShaderLight, ConstantAttenuation) == 124);
static_assert(offsetof(TVantrelShaderLight, LinearAttenuation) == 128);
static_assert(offsetof(TVantrelShaderLight, QuadraticAttenuation) == 132);
static_assert(offsetof(TVantrelShaderLight, Intensity) == 136);
static_assert(offsetof(TVantrelShaderLight, Enabled) == 140);

// One entry of the material's texture table (GLSL struct Texture).
struct TVantrelShaderTexture {
  TVector3D Feature;
  TPointF Tiling;
  std::array<uint8_t, 8> Reserved1{};
};
static_assert(sizeof(TVantrelShaderTexture) == 32);
static_assert(offsetof(TVantrelShaderTexture, Feature) == 0);
static_assert(offsetof(TVantrelShaderTexture, Tiling) == 16);
static_assert(offsetof(TVantrelShaderTexture, Reserved1) == 24);

// The material block of the default material's uniform buffer: the std140 image of the GLSL
// struct Material. Member names drop the GLSL leading underscore.
struct TVantrelShaderMaterial {
  TAlphaColorF Emissive;
  TAlphaColorF Ambient;
  TAlphaColorF Diffuse;
  TAlphaColorF Specular;
  TAlphaColorF Clipping; // colour key r, g, b and tolerance a
  TPointF AlphaCutoff;   // x > 0.01 switches the test on, y is the threshold
  float ToneMapExp = 0;
  std::array<uint8_t, 4> Reserved1{};
  TVector3D Displacement;
  TVector3D Features; // x multiplies the output alpha
  float Shininess = 0;
  int32_t Textures = 0;
  int32_t PoolTexturesOffset = 0;
  int32_t PoolTextures = 0;
  std::array<TVantrelShaderTexture, 16> Texture{};

  // Every byte zero, then the defaults the default material starts from.
  static TVantrelShaderMaterial Create();
};
static_assert(sizeof(TVantrelShaderMaterial) == 656);
static_assert(offsetof(TVantrelShaderMaterial, Emissive) == 0);
static_assert(offsetof(TVantrelShaderMaterial, Ambient) == 16);
static_assert(offsetof(TVantrelShaderMaterial, Diffuse) == 32);
static_assert(offsetof(TVantrelShaderMaterial, Specular) == 48);
static_assert(offsetof(TVantrelShaderMaterial, Clipping) == 64);
static_assert(offsetof(TVantrelShaderMaterial, AlphaCutoff) == 80);
static_assert(offsetof(TVantrelShaderMaterial, ToneMapExp) == 88);
static_assert(offsetof(TVantrelShaderMaterial, Reserved1) == 92);
static_assert(offsetof(TVantrelShaderMaterial, Displacement) == 96);
static_assert(offsetof(TVantrelShaderMaterial, Features) == 112);
static_assert(offsetof(TVantrelShaderMaterial, Shininess) == 128);
static_assert(offsetof(TVantrelShaderMaterial, Textures) == 132);
static_assert(offsetof(TVantrelShaderMaterial, PoolTexturesOffset) == 136);
static_assert(offsetof(TVantrelShaderMaterial, PoolTextures) == 140);
static_assert(offsetof(TVantrelShaderMaterial, Texture) == 144);

// The blend state of one draw buffer, seven bytes with no gaps.
struct TBlendSetting {
  bool Enabled = false;
  TBlendEquationFunc Func = TBlendEquationFunc::befAdd;      // colour equation
  TBlendEquationFunc AlphaFunc = TBlendEquationFunc::befAdd; // alpha equation
  TBlendFactor ColorSource = TBlendFactor::bfZero;
  TBlendFactor ColorDest = TBlendFactor::bfZero;
  TBlendFactor AlphaSource = TBlendFactor::bfZero;
  TBlendFactor AlphaDest = TBlendFactor::bfZero;

  // Enabled, add, colour One / OneMinusSrcColor, alpha One / OneMinusSrcAlpha.
  static TBlendSetting Create();
  // As Create(), but colour One / OneMinusSrcAlpha: the UI framework's premultiplied blending.
  static TBlendSetting CreateForFMX();
  static TBlendSetting Create(bool AEnabled);
  static TBlendSetting Create(bool AEnabled, TBlendEquationFunc AFunc, TBlendFactor AColorSource,
                              TBlendFactor AColorDest, TBlendFactor AAlphaSource, TBlendFactor AAlphaDest);
  // Alpha uses the colour factors.
  static TBlendSetting Create(bool AEnabled, TBlendEquationFunc AFunc, TBlendFactor AColorSource,
                              TBlendFactor AColorDest);
  bool operator==(const TBlendSetting&) const = default;
};
static_assert(sizeof(TBlendSetting) == 7);
static_assert(offsetof(TBlendSetting, Enabled) == 0);
static_assert(offsetof(TBlendSetting, Func) == 1);
static_assert(offsetof(TBlendSetting, AlphaFunc) == 2);
static_assert(offsetof(TBlendSetting, ColorSource) == 3);
static_assert(offsetof(TBlendSetting, ColorDest) == 4);
static_assert(offsetof(TBlendSetting, AlphaSource) == 5);
static_assert(offsetof(TBlendSetting, AlphaDest) == 6);

// Index = draw-buffer number.
using TBlendSettings = std::array<TBlendSetting, 32>;
static_assert(sizeof(TBlendSettings) == 224);

// ---- Other records -------------------------------------------------------------------------------

struct TSmoothSetting {
  TSmoothTargets Targets;

  // Points, lines and polygons.
  static TSmoothSetting Create();
};

struct TOrthographicData {
  float Left = 0;
  float Top = 0;
  float Right = 0;
  float Bottom = 0;
  float Near = 0;
  float Far = 0;

  static TOrthographicData Create(float ALeft, float ATop, float ARight, float ABottom, float ANear,
                                  float AFar);
};
static_assert(sizeof(TOrthographicData) == 24);

// A plane as normal (NX, NY, NZ) and distance D, also read as a normal plus distance, as four
// values or as a vector whose w is the distance.
struct TPlaneF {
  float NX = 0;
  float NY = 0;
  float NZ = 0;
  float D = 0;

  static TPlaneF Create(const TPoint3D& ANormal, float ADistance);
  static TPlaneF Create(double ANX, double ANY, double ANZ, double ADistance);

  TPoint3D Normal() const { return {NX, NY, NZ}; }
  float Distance() const { return D; }
  std::array<float, 4> Values() const { return {NX, NY, NZ, D}; }
  TVector3D AsVector3D() const { return {NX, NY, NZ, D}; }
  // The four floats in order, for uploads that take a float array.
  const float* GetPointer() const { return &NX; }
  bool operator==(const TPlaneF&) const = default;
};
static_assert(sizeof(TPlaneF) == 16);
static_assert(offsetof(TPlaneF, NX) == 0);
static_assert(offsetof(TPlaneF, NY) == 4);
static_assert(offsetof(TPlaneF, NZ) == 8);
static_assert(offsetof(TPlaneF, D) == 12);

struct TClipPlaneF {
  bool Enabled = false;
  TPlaneF Plane;
};
using PClipPlaneF = TClipPlaneF*;

// ---- Error reporting -----------------------------------------------------------------------------

enum class TContextErrorKind : uint8_t { Context = 0, ShaderCompile = 1, Initialization = 2 };
RTL_ENUM_TYPEINFO(TContextErrorKind, "Context", "ShaderCompile", "Initialization")

// Called by every raiser before it raises (or returns), with the sender (may be null), the kind
// and the logged text, prefix included. Set once at start-up; empty unless an application sets it.
using TContextErrorHook =
    std::function<void(TObject* ASender, TContextErrorKind AKind, const std::string& AText)>;
extern TContextErrorHook ContextErrorHook;
// When false, shader compile errors are only logged and reported to the hook.
extern bool RaiseShaderCompileErrors;

inline constexpr std::string_view SCannotCreateShaderProgram = "cannot create shader program: %s - %s";
inline constexpr std::string_view SCannotActivateCreatedShaderProgram =
    "cannot activated created shader program";
inline constexpr std::string_view SCannotUseShaderProgram = "cannot use shader program";
inline constexpr std::string_view SCannotBeginRenderingScene = "cannot begin rendering scene for %s: %d";
inline constexpr std::string_view SCannotEndRenderingScene = "cannot end rendering scene for %s: %d";
inline constexpr std::string_view SCannotCreateVertexShader = "Cannot create Vertex-Shader for '%s':\r\n%s";
inline constexpr std::string_view SCannotCreateGeometryShader =
    "Cannot create Geometry-Shader for '%s':\r\n%s";
inline constexpr std::string_view SCannotCreateTessEvalShader =
    "Cannot create Tessellation-Evaluation-Shader for '%s':\r\n%s";
inline constexpr std::string_view SCannotCreateTessCtrlShader =
    "Cannot create Tessellation-Control-Shader for '%s':\r\n%s";
inline constexpr std::string_view SCannotCreateFragmentShader =
    "Cannot create Fragment-Shader for '%s':\r\n%s";
inline constexpr std::string_view SErrorInContextMethod = "error in context method \"%s\" (error = %d)";
// Raised by both the buffer objects and the shader programs when a block name is not in the program.
inline constexpr std::string_view SInvalidUniformBlockIndex =
    "TBufferObject.LinkWithShaderProgram failed: invalid uniform block index (program=%d, index=%d, name=%s)";

inline constexpr std::string_view SContextExceptionPrefix = "[Context Exception]: ";
inline constexpr std::string_view SInitializationExceptionPrefix = "[Initialization Exception]: ";
inline constexpr std::string_view SShaderCompileExceptionPrefix = "[Shader Compile Exception]: ";

// Formats AMessage, logs it with the context prefix, reports it to the hook (kind Context) and
// raises EContext3DException with the unprefixed text.
[[noreturn]] void RaiseContextException(TObject* ASender, std::string_view AMessage,
                                        std::span<const TFormatArg> AArgs);
// The same with the initialization prefix and kind; raises a plain Exception.
[[noreturn]] void RaiseInitializationException(TObject* ASender, std::string_view AMessage,
                                               std::span<const TFormatArg> AArgs);

template <class... TArgs>
requires(std::is_constructible_v<TFormatArg, const TArgs&>&&...)
    [[noreturn]] void RaiseContextException(TObject* ASender, std::string_view AMessage,
                                            const TArgs&... AArgs) {
  const TFormatArg args[] = {TFormatArg(AArgs)..., TFormatArg(nullptr)};
  RaiseContextException(ASender, AMessage, std::span<const TFormatArg>(args, sizeof...(TArgs)));
}

template <class... TArgs>
requires(std::is_constructible_v<TFormatArg, const TArgs&>&&...)
    [[noreturn]] void RaiseInitializationException(TObject* ASender, std::string_view AMessage,
                                                   const TArgs&... AArgs) {
  const TFormatArg args[] = {TFormatArg(AArgs)..., TFormatArg(nullptr)};
  RaiseInitializationException(ASender, AMessage, std::span<const TFormatArg>(args, sizeof...(TArgs)));
}

// Formats AMessage (one of the "Cannot create …-Shader" texts) with the shader's name and the
// annotated compiler log, logs it with the shader-compile prefix and reports it to the hook. Raises
// EContext3DException with the unprefixed text only when ARaise and RaiseShaderCompileErrors are
// both set; otherwise returns.
void RaiseShaderCompileException(TObject* ASender, bool ARaise, std::string_view AMessage,
                                 std::string_view AName, std::string_view AInfoLog, std::string_view ASource);

// The compiler's info log with the offending source lines quoted. Every non-empty log line (the
// log split at line feeds only) becomes "\r\n" + line + "\r\n"; when its third colon-separated
// field is an integer N (leading blanks allowed) below the number of source lines (the source
// split at CR, LF or CRLF), "\t" + source line max(N - 1, 0) + "\r\n" follows.
std::string AnnotateShaderLog(std::string_view AInfoLog, std::string_view ASource);

// ---- GPU error state -----------------------------------------------------------------------------

// The bitwise OR of the error codes read from the GPU error queue (at most 16 reads), 0 when
// there was none. Both clear the queue.
int32_t GetContextError();
bool HasContextError();

} // namespace vantrel
