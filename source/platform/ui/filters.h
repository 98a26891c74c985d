#pragma once
// Image filters: a filter turns an input bitmap into an output bitmap through one or more pixel
// shader passes on the filter manager's two contexts. A filter class describes itself (name,
// description, typed values with defaults and limits) through its metaclass; the manager keeps
// the registry the effects look filters up in, the contexts the passes draw into and the filter
// vertex shader.
//
// Orientation: Point values are input pixels, y down from the top-left corner. TEX0 at the centre
// of output pixel (x, y) (y down) is ((x + 0.5) / w, 1 - (y + 0.5) / h), so TEX0.y = 1 is the top
// row. Inputs and Bitmap values are uploaded top row at t = 1: texture coordinate (s, t) addresses
// input pixel (s * W, (1 - t) * H).
//
// Pass sequencing: pass p draws into context p mod 2 with the previous pass's target (or the
// input texture for pass 0) as "Input". Targets are RGBA8, so a value above 1 written by one pass
// is read back as 1 by the next.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/exceptions.h"
#include "rtl/object.h"
#include "rtl/typeinfo.h"
#include "rtl/types2d.h"
#include "rtl/value.h"
#include "ui/shaders.h"

namespace ui {

class TBitmap;
class TContext3D;
class TFilter;
class TTexture;
class TVertexBuffer;

namespace messages {
inline constexpr const char* FilterValueNotFound = "filter value not found: %s";
} // namespace messages

class EFilterException : public rtl::Exception {
public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EFilterException"; }
};

enum class TFilterValueType : uint8_t { Float, Point, Color, Bitmap };
RTL_ENUM_TYPEINFO(TFilterValueType, "Float", "Point", "Color", "Bitmap")

// One value of a filter. Value is the default; Min and Max limit Float and Point values (Points
// per component). Floats are held as float, Points as TPointF, Colors as TAlphaColor and Bitmaps
// as a TBitmap* the filter does not own.
struct TFilterValueRec {
  std::string Name;
  std::string Desc;
  TFilterValueType ValueType = TFilterValueType::Float;
  rtl::TValue Value;
  rtl::TValue Min;
  rtl::TValue Max;

  static TFilterValueRec Float(std::string AName, std::string ADesc, float ADefault, float AMin, float AMax);
  static TFilterValueRec Point(std::string AName, std::string ADesc, rtl::TPointF ADefault, rtl::TPointF AMin,
                               rtl::TPointF AMax);
  static TFilterValueRec Color(std::string AName, std::string ADesc, rtl::TAlphaColor ADefault,
                               rtl::TAlphaColor AMin, rtl::TAlphaColor AMax);
  static TFilterValueRec Bitmap(std::string AName, std::string ADesc);
};

struct TFilterRec {
  std::string Name;
  std::string Desc;
  std::vector<TFilterValueRec> Values;
};

// The filter metaclass: its class-level FilterAttr describes the filters of the class.
class TFilterClass : public rtl::TClass {
public:
  using TClass::TClass;
  // The base filter describes nothing.
  virtual TFilterRec FilterAttr() const { return {}; }
};

// The metaclass of a filter class T that answers FilterAttr with its static ClassFilterAttr().
template <class T> class TFilterClassOf : public TFilterClass {
public:
  using TFilterClass::TFilterClass;
  TFilterRec FilterAttr() const override { return T::ClassFilterAttr(); }
};

class TFilter : public rtl::TObject {
  RTL_CLASS_META(TFilter, rtl::TObject, TFilterClass)
public:
  ~TFilter() override;
  // Fills the values from the class's FilterAttr.
  void AfterConstruction() override;

  const TFilterClass& FilterClass() const { return static_cast<const TFilterClass&>(ClassType()); }
  const std::vector<TFilterValueRec>& Values() const { return FValues; }
  // By name, ignoring case; an unknown name raises EFilterException "filter value not found: %s".
  rtl::TValue GetValue(std::string_view AName) const;
  // Float and Point values are clamped to their limits. Marks the output stale.
  void SetValue(std::string_view AName, const rtl::TValue& AValue);

  TBitmap* Input() const { return FInputBitmap; }
  // Not owned. Marks the output stale.
  void SetInput(TBitmap* AInput);
  // Applies the filter when stale and returns the result, which the filter owns: nullptr without
  // an input, for an empty input or for an empty output size.
  TBitmap* Output();

  int32_t PassCount() const { return FPassCount; }
  // The shader of pass APass (owned by the shader manager), nullptr outside the passes.
  TContextShader* PassShader(int32_t APass) const;
  bool AntiAlise() const { return FAntiAlise; }
  const std::string& NeedInternalSecondTex() const { return FNeedInternalSecondTex; }

  // Public for the metaclass factories.
  TFilter() = default;

protected:

  // Registers APass's pixel shader (once per process under its name) and stores it in FShaders.
  void RegisterPass(int32_t APass, const std::string& AName, std::vector<TContextShaderSource> ASources);

  // The output size from the input size; the base keeps it.
  virtual void CalcSize(int32_t& /*AWidth*/, int32_t& /*AHeight*/) {}
  // Per pass: ActivateShaders, then LoadValues.
  virtual void LoadShaders();
  // The filter vertex shader with this pass's pixel shader, on the current filter context.
  virtual void ActivateShaders();
  // Every value under its own name: a Float v as (v, v, v, v), a Point (x, y) as (x / W, y / H, 0,
  // 0) with W x H the input size, a Color as (r, g, b, a) / 255, a Bitmap bound as a texture.
  // Names the program lacks are no-ops.
  virtual void LoadValues();

  // The context of the pass being drawn.
  TContext3D* PassContext() const { return FPassContext; }
  int32_t InputWidth() const;
  int32_t InputHeight() const;
  // A vec4 (or shorter) uniform on the pass context.
  void SetVector(const std::string& AName, float AX, float AY = 0, float AZ = 0, float AW = 0);
  float FloatValue(std::string_view AName) const;
  rtl::TPointF PointValue(std::string_view AName) const;

  std::vector<TContextShader*> FShaders;
  int32_t FPassCount = 1;
  int32_t FPass = 0;
  // The input's texture.
  TTexture* FInput = nullptr;
  bool FAntiAlise = false;
  std::string FNeedInternalSecondTex;
  std::vector<TFilterValueRec> FValues;

private:
  struct TPassSource {
    std::string Name;
    std::vector<TContextShaderSource> Sources;
  };
  struct TValueTexture {
    std::string Name;
    rtl::TOwned<TTexture> Texture;
  };

  TFilterValueRec& FindValue(std::string_view AName);
  const TFilterValueRec& FindValue(std::string_view AName) const;
  void RefreshShaders();
  void DrawPasses(int32_t AWidth, int32_t AHeight);
  void DrawRectangle(TContext3D& AContext, int32_t AWidth, int32_t AHeight);
  TTexture* ValueTexture(const std::string& AName, TBitmap& ABitmap);

  std::vector<TPassSource> FPassSources;
  TBitmap* FInputBitmap = nullptr;
  rtl::TOwned<TBitmap> FOutput;
  bool FStale = true;
  rtl::TOwned<TTexture> FInputTexture;
  std::vector<TValueTexture> FValueTextures;
  rtl::TOwned<TVertexBuffer> FRectangle;
  TContext3D* FPassContext = nullptr;
};

// Makes the textures the manager and its filters draw into and sample, all of them RGBA8 with
// Linear filtering. A framework installs one whose textures also clamp to their edges.
using TFilterTextureFactory = TTexture* (*)();

class TFilterManager {
public:
  TFilterManager() = delete;

  // Appends (ACategory, AClass); a class already registered keeps its place and takes ACategory.
  static void RegisterFilter(const std::string& ACategory, const TFilterClass& AClass);
  // Drops every registration, both contexts, and the shared filter shaders with their programs.
  static void UnInitialize();
  static std::vector<std::pair<std::string, const TFilterClass*>> FilterClasses();
  // In order of first registration.
  static std::vector<std::string> FilterCategories();
  // By FilterAttr().Name ignoring case, first registered first; nullptr when unknown.
  static const TFilterClass* FilterClassByName(std::string_view AName);
  static rtl::TOwned<TFilter> FilterByName(std::string_view AName);

  // The first context: made at the size ResizeContext set when there is none; nullptr while that
  // size is 0 x 0.
  static TContext3D* FilterContext();
  // Context AIndex (0 or 1) at AWidth x AHeight, re-made when its size differs.
  static TContext3D* PassContext(int32_t AIndex, int32_t AWidth, int32_t AHeight);
  // Frees both contexts.
  static void ResetContext();
  // The size of the next creation; 0 x 0 means none.
  static void ResizeContext(int32_t AWidth, int32_t AHeight);
  static rtl::TPoint ContextSize();

  // "filter.fvs", registered once.
  static TContextShader* FilterVertexShader();
  // The shared pixel shader registered under AName, registered from ASources the first time.
  static TContextShader* FilterShader(const std::string& AName, const std::vector<TContextShaderSource>& ASources);

  static void SetTextureFactory(TFilterTextureFactory AFactory);
  // A new texture (the caller owns it) of AWidth x AHeight from the installed factory.
  static rtl::TOwned<TTexture> NewTexture(int32_t AWidth, int32_t AHeight, bool ARenderTarget);
};

} // namespace ui
