#pragma once
// The 3D context protocol's value types: enumerations, the light description and the context
// exception that the framework's context and everything drawing through it exchange.

#include <cstdint>

#include "rtl/colors.h"
#include "rtl/exceptions.h"
#include "rtl/math3d.h"
#include "rtl/set.h"
#include "rtl/typeinfo.h"

namespace ui {

class EContext3DException : public rtl::Exception {
public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EContext3DException"; }
};

enum class TMultisample : uint8_t { None, TwoSamples, FourSamples };
RTL_ENUM_TYPEINFO(TMultisample, "None", "TwoSamples", "FourSamples")

enum class TPrimitivesKind : uint8_t { Points, Lines, Triangles };
RTL_ENUM_TYPEINFO(TPrimitivesKind, "Points", "Lines", "Triangles")

enum class TContextState : uint8_t {
  cs2DScene,
  cs3DScene,
  csZTestOn,
  csZTestOff,
  csZWriteOn,
  csZWriteOff,
  csAlphaBlendOn,
  csAlphaBlendOff,
  csStencilOn,
  csStencilOff,
  csColorWriteOn,
  csColorWriteOff,
  csScissorOn,
  csScissorOff,
  csFrontFace,
  csBackFace,
  csAllFace,
};
RTL_ENUM_TYPEINFO(TContextState, "cs2DScene", "cs3DScene", "csZTestOn", "csZTestOff", "csZWriteOn", "csZWriteOff",
                  "csAlphaBlendOn", "csAlphaBlendOff", "csStencilOn", "csStencilOff", "csColorWriteOn",
                  "csColorWriteOff", "csScissorOn", "csScissorOff", "csFrontFace", "csBackFace", "csAllFace")

enum class TClearTarget : uint8_t { Color, Depth, Stencil };
RTL_ENUM_TYPEINFO(TClearTarget, "Color", "Depth", "Stencil")
using TClearTargets = rtl::TSet<TClearTarget>;

enum class TStencilOp : uint8_t { Keep, Zero, Replace, Increase, Decrease, Invert };
RTL_ENUM_TYPEINFO(TStencilOp, "Keep", "Zero", "Replace", "Increase", "Decrease", "Invert")

enum class TStencilFunc : uint8_t { Never, Less, Lequal, Greater, Gequal, Equal, NotEqual, Always };
RTL_ENUM_TYPEINFO(TStencilFunc, "Never", "Less", "Lequal", "Greater", "Gequal", "Equal", "NotEqual", "Always")

enum class TProjection : uint8_t { Camera, Screen };
RTL_ENUM_TYPEINFO(TProjection, "Camera", "Screen")

enum class TContextStyle : uint8_t { RenderTargetFlipped, Fragile };
RTL_ENUM_TYPEINFO(TContextStyle, "RenderTargetFlipped", "Fragile")
using TContextStyles = rtl::TSet<TContextStyle>;

enum class TIndexBufferSupport : uint8_t { Unknown, Int16, Int32 };
RTL_ENUM_TYPEINFO(TIndexBufferSupport, "Unknown", "Int16", "Int32")

// The 24 pixel formats of bitmaps and textures; the framework's extended formats continue this
// list with the same first ordinals.
enum class TPixelFormat : uint8_t {
  None,
  RGB,
  RGBA,
  BGR,
  BGRA,
  RGBA16,
  BGR_565,
  BGRA4,
  BGR4,
  BGR5_A1,
  BGR5,
  BGR10_A2,
  RGB10_A2,
  L,
  LA,
  LA4,
  L16,
  A,
  R16F,
  RG16F,
  RGBA16F,
  R32F,
  RG32F,
  RGBA32F,
};
RTL_ENUM_TYPEINFO(TPixelFormat, "None", "RGB", "RGBA", "BGR", "BGRA", "RGBA16", "BGR_565", "BGRA4", "BGR4", "BGR5_A1",
                  "BGR5", "BGR10_A2", "RGB10_A2", "L", "LA", "LA4", "L16", "A", "R16F", "RG16F", "RGBA16F", "R32F",
                  "RG32F", "RGBA32F")

enum class TTextureStyle : uint8_t { MipMaps, Dynamic, RenderTarget };
RTL_ENUM_TYPEINFO(TTextureStyle, "MipMaps", "Dynamic", "RenderTarget")
using TTextureStyles = rtl::TSet<TTextureStyle>;

enum class TTextureFilter : uint8_t { Nearest, Linear };
RTL_ENUM_TYPEINFO(TTextureFilter, "Nearest", "Linear")

enum class TMapAccess : uint8_t { Read, Write, ReadWrite };
RTL_ENUM_TYPEINFO(TMapAccess, "Read", "Write", "ReadWrite")

// An opaque token for a native window; the surfaceless context never dereferences it.
using TWindowHandle = uintptr_t;

// The name of a GPU object (texture, shader stage) as its context made it; 0 means none.
using THandle = uintptr_t;

using TContextStates = rtl::TSet<TContextState>;

enum class TLightType : uint8_t { Directional, Point, Spot };
RTL_ENUM_TYPEINFO(TLightType, "Directional", "Point", "Spot")

struct TLightDescription {
  bool Enabled = true;
  TLightType LightType = TLightType::Directional;
  rtl::TAlphaColor Color = 0xFFFFFFFF;
  float SpotCutOff = 180.0f;
  float SpotExponent = 0.0f;
  rtl::TPoint3D Position{};
  rtl::TPoint3D Direction{};
};

} // namespace ui
