#include "ui/filters.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

#include "rtl/colors.h"
#include "rtl/sysutils.h"
#include "ui/bitmap.h"
#include "ui/context3d.h"
#include "ui/mesh_buffers.h"
#include "ui/texture.h"

namespace ui {

RTL_DEFINE_CLASS_META(TFilter, "ui.Filters", TFilterClass)

namespace {

// Legacy dialect, as the filters' pixel shaders are, so both stages of a program share a version.
// Clip coordinate j is dot(_MVPMatrix[j], v): the matrix arrives as its four transposed rows.
constexpr std::string_view FilterVertexCode =
    "attribute vec3 a_Position;\n"
    "attribute vec2 a_TexCoord0;\n"
    "uniform vec4 _MVPMatrix[4];\n"
    "varying vec4 TEX0;\n"
    "void main() {\n"
    "  vec4 v = vec4(a_Position, 1.0);\n"
    "  gl_Position = vec4(dot(_MVPMatrix[0], v), dot(_MVPMatrix[1], v), dot(_MVPMatrix[2], v), "
    "dot(_MVPMatrix[3], v));\n"
    "  TEX0 = vec4(a_TexCoord0, 0.0, 1.0);\n"
    "}\n";

constexpr const char* FilterVertexShaderName = "filter.fvs";

struct TFilterRegistration {
  std::string Category;
  const TFilterClass* Class;
};

// The manager's state: the registry, the two pass contexts with their target textures, and one
// registration of every shared filter shader.
struct TManagerState {
  std::vector<TFilterRegistration> Filters;
  rtl::TOwned<TTexture> Targets[2];
  rtl::TOwned<TContext3D> Contexts[2];
  rtl::TPoint Size{0, 0};
  TContextShader* VertexShader = nullptr;
  std::map<std::string, TContextShader*> PixelShaders;
  TFilterTextureFactory Factory = nullptr;
};

// Never destroyed: contexts left at exit must not be freed after the GL context went. The filter
// unit's finalisation uninitialises the manager in time.
TManagerState& State() {
  static TManagerState& state = *new TManagerState;
  return state;
}

void FreeContext(int AIndex) {
  TManagerState& state = State();
  // The context goes before the texture it draws into.
  state.Contexts[AIndex].reset();
  state.Targets[AIndex].reset();
}

// One registration per name, taken on first use. A shader manager cleared meanwhile (at context
// shutdown) no longer holds the cached shader, which is then registered anew.
TContextShader* HoldShader(TContextShader*& ACached, const std::string& AName, TContextShaderKind AKind,
                           const std::vector<TContextShaderSource>& ASources) {
  if (ACached && TShaderManager::Holders(ACached) > 0 && ACached->Name() == AName)
    return ACached;
  ACached = TShaderManager::RegisterShaderFromData(AName, AKind, "", ASources);
  return ACached;
}

// Rows bottom row first, so that the top row lands at t = 1.
void UploadFlipped(TTexture& ATexture, TBitmap& ABitmap, std::vector<uint8_t>& AScratch) {
  TBitmapData data;
  if (!ABitmap.Map(TMapAccess::Read, data))
    return;
  const size_t rowBytes = size_t(data.Width) * TBitmap::BytesPerPixel;
  AScratch.resize(rowBytes * size_t(data.Height));
  for (int32_t row = 0; row < data.Height; ++row)
    std::memcpy(AScratch.data() + rowBytes * size_t(data.Height - 1 - row), data.GetScanline(row), rowBytes);
  ABitmap.Unmap(data);
  if (ATexture.Handle() == 0)
    ATexture.Initialize();
  TContextManager::UpdateTexture(&ATexture, AScratch.data(), int32_t(rowBytes));
}

std::vector<uint8_t>& UploadScratch() {
  static std::vector<uint8_t> scratch;
  return scratch;
}

} // namespace

// ---- Value records -----------------------------------------------------------------------------

TFilterValueRec TFilterValueRec::Float(std::string AName, std::string ADesc, float ADefault, float AMin, float AMax) {
  return {std::move(AName), std::move(ADesc), TFilterValueType::Float, rtl::TValue::From(ADefault),
          rtl::TValue::From(AMin), rtl::TValue::From(AMax)};
}

TFilterValueRec TFilterValueRec::Point(std::string AName, std::string ADesc, rtl::TPointF ADefault,
                                       rtl::TPointF AMin, rtl::TPointF AMax) {
  return {std::move(AName), std::move(ADesc), TFilterValueType::Point, rtl::TValue::From(ADefault),
          rtl::TValue::From(AMin), rtl::TValue::From(AMax)};
}

TFilterValueRec TFilterValueRec::Color(std::string AName, std::string ADesc, rtl::TAlphaColor ADefault,
                                       rtl::TAlphaColor AMin, rtl::TAlphaColor AMax) {
  const rtl::TTypeInfo& type = rtl::TypeInfoAlphaColor();
  return {std::move(AName),
          std::move(ADesc),
          TFilterValueType::Color,
          rtl::TValue::From(ADefault, type),
          rtl::TValue::From(AMin, type),
          rtl::TValue::From(AMax, type)};
}

TFilterValueRec TFilterValueRec::Bitmap(std::string AName, std::string ADesc) {
  const rtl::TValue none = rtl::TValue::From(static_cast<TBitmap*>(nullptr));
  return {std::move(AName), std::move(ADesc), TFilterValueType::Bitmap, none, none, none};
}

// ---- TFilter -----------------------------------------------------------------------------------

TFilter::~TFilter() = default;

void TFilter::AfterConstruction() {
  inherited::AfterConstruction();
  FValues = FilterClass().FilterAttr().Values;
}

TFilterValueRec& TFilter::FindValue(std::string_view AName) {
  return const_cast<TFilterValueRec&>(std::as_const(*this).FindValue(AName));
}

const TFilterValueRec& TFilter::FindValue(std::string_view AName) const {
  for (const TFilterValueRec& value : FValues)
    if (rtl::SameText(value.Name, AName))
      return value;
  throw EFilterException(rtl::Format(messages::FilterValueNotFound, std::string(AName)));
}

rtl::TValue TFilter::GetValue(std::string_view AName) const {
  return FindValue(AName).Value;
}

void TFilter::SetValue(std::string_view AName, const rtl::TValue& AValue) {
  TFilterValueRec& value = FindValue(AName);
  switch (value.ValueType) {
  case TFilterValueType::Float:
    value.Value = rtl::TValue::From(std::clamp(AValue.AsSingle(), value.Min.AsSingle(), value.Max.AsSingle()));
    break;
  case TFilterValueType::Point: {
    const rtl::TPointF point = AValue.AsType<rtl::TPointF>();
    const rtl::TPointF low = value.Min.AsType<rtl::TPointF>();
    const rtl::TPointF high = value.Max.AsType<rtl::TPointF>();
    value.Value = rtl::TValue::From(rtl::TPointF{std::clamp(point.X, low.X, high.X), std::clamp(point.Y, low.Y, high.Y)});
    break;
  }
  case TFilterValueType::Color:
    value.Value = rtl::TValue::From(static_cast<rtl::TAlphaColor>(AValue.AsInt64()), rtl::TypeInfoAlphaColor());
    break;
  case TFilterValueType::Bitmap:
    value.Value = rtl::TValue::From(AValue.AsType<TBitmap*>());
    break;
  }
  FStale = true;
}

float TFilter::FloatValue(std::string_view AName) const {
  return GetValue(AName).AsSingle();
}

rtl::TPointF TFilter::PointValue(std::string_view AName) const {
  return GetValue(AName).AsType<rtl::TPointF>();
}

void TFilter::SetInput(TBitmap* AInput) {
  FInputBitmap = AInput;
  FStale = true;
}

int32_t TFilter::InputWidth() const {
  return FInputBitmap ? FInputBitmap->Width() : 0;
}

int32_t TFilter::InputHeight() const {
  return FInputBitmap ? FInputBitmap->Height() : 0;
}

TContextShader* TFilter::PassShader(int32_t APass) const {
  return APass >= 0 && size_t(APass) < FShaders.size() ? FShaders[size_t(APass)] : nullptr;
}

void TFilter::RegisterPass(int32_t APass, const std::string& AName, std::vector<TContextShaderSource> ASources) {
  if (FShaders.size() <= size_t(APass)) {
    FShaders.resize(size_t(APass) + 1);
    FPassSources.resize(size_t(APass) + 1);
  }
  FShaders[size_t(APass)] = TFilterManager::FilterShader(AName, ASources);
  FPassSources[size_t(APass)] = {AName, std::move(ASources)};
}

// The manager drops its shaders when it is uninitialised, and the shader manager drops every
// shader at context shutdown: each run takes them from the manager again.
void TFilter::RefreshShaders() {
  for (size_t pass = 0; pass < FPassSources.size(); ++pass)
    FShaders[pass] = TFilterManager::FilterShader(FPassSources[pass].Name, FPassSources[pass].Sources);
}

TBitmap* TFilter::Output() {
  if (!FStale)
    return FOutput.get();
  FOutput.reset();
  int32_t width = InputWidth(), height = InputHeight();
  if (width <= 0 || height <= 0) {
    FStale = false;
    return nullptr;
  }
  CalcSize(width, height);
  if (width <= 0 || height <= 0) {
    FStale = false;
    return nullptr;
  }
  RefreshShaders();
  if (!FInputTexture || FInputTexture->Width() != InputWidth() || FInputTexture->Height() != InputHeight())
    FInputTexture = TFilterManager::NewTexture(InputWidth(), InputHeight(), false);
  UploadFlipped(*FInputTexture, *FInputBitmap, UploadScratch());
  FInput = FInputTexture.get();
  DrawPasses(width, height);
  auto output = rtl::MakeOwned<TBitmap>(width, height);
  TFilterManager::PassContext((FPassCount - 1) % 2, width, height)
      ->CopyToBitmap(output.get(), rtl::TRect(0, 0, width, height));
  FOutput = std::move(output);
  FStale = false;
  return FOutput.get();
}

void TFilter::DrawPasses(int32_t AWidth, int32_t AHeight) {
  for (int32_t pass = 0; pass < FPassCount; ++pass) {
    TContext3D* context = TFilterManager::PassContext(pass % 2, AWidth, AHeight);
    TTexture* input =
        pass == 0 ? FInput : TFilterManager::PassContext((pass - 1) % 2, AWidth, AHeight)->Texture();
    if (!context->BeginScene())
      continue;
    struct TEnd {
      TContext3D* Context;
      TContext3D*& Current;
      ~TEnd() {
        Current = nullptr;
        Context->EndScene();
      }
    } end{context, FPassContext};
    context->Clear({TClearTarget::Color}, 0, 1, 0);
    for (TContextState state : {TContextState::cs2DScene, TContextState::csZTestOff, TContextState::csZWriteOff,
                                TContextState::csAlphaBlendOff, TContextState::csAllFace})
      context->SetContextState(state);
    FPass = pass;
    FPassContext = context;
    LoadShaders();
    context->SetShaderVariable("Input", input);
    context->SetShaderVariable("MVPMatrix", context->CurrentModelViewProjectionMatrix());
    DrawRectangle(*context, AWidth, AHeight);
  }
}

// The rectangle (0, 0, W, H) in target pixels as two triangles, with the top edge at texture
// t = 1, drawn with the shaders set and no material.
void TFilter::DrawRectangle(TContext3D& AContext, int32_t AWidth, int32_t AHeight) {
  if (!FRectangle)
    FRectangle = rtl::MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Vertex, TVertexFormat::TexCoord0}, 6);
  const float right = float(AWidth), bottom = float(AHeight);
  const rtl::TPoint3D corners[6] = {{0, 0, 0},     {right, 0, 0},      {0, bottom, 0},
                                    {right, 0, 0}, {right, bottom, 0}, {0, bottom, 0}};
  const rtl::TPointF coords[6] = {{0, 1}, {1, 1}, {0, 0}, {1, 1}, {1, 0}, {0, 0}};
  for (int32_t index = 0; index < 6; ++index) {
    FRectangle->SetVertices(index, corners[index]);
    FRectangle->SetTexCoord(0, index, coords[index]);
  }
  AContext.DrawPrimitives(TPrimitivesKind::Triangles, FRectangle->Buffer(), nullptr,
                          FRectangle->GetVertexDeclarations(), FRectangle->VertexSize(), FRectangle->Length(),
                          sizeof(uint16_t), 0, nullptr, 1);
}

void TFilter::LoadShaders() {
  ActivateShaders();
  LoadValues();
}

void TFilter::ActivateShaders() {
  if (FPassContext)
    FPassContext->SetShaders(TFilterManager::FilterVertexShader(), PassShader(FPass));
}

void TFilter::SetVector(const std::string& AName, float AX, float AY, float AZ, float AW) {
  if (!FPassContext)
    return;
  const rtl::TVector3D value{AX, AY, AZ, AW};
  FPassContext->SetShaderVariable(AName, std::span<const rtl::TVector3D>(&value, 1));
}

void TFilter::LoadValues() {
  if (!FPassContext)
    return;
  const float width = float(std::max(InputWidth(), 1)), height = float(std::max(InputHeight(), 1));
  for (const TFilterValueRec& value : FValues)
    switch (value.ValueType) {
    case TFilterValueType::Float: {
      const float v = value.Value.AsSingle();
      SetVector(value.Name, v, v, v, v);
      break;
    }
    case TFilterValueType::Point: {
      const rtl::TPointF point = value.Value.AsType<rtl::TPointF>();
      SetVector(value.Name, point.X / width, point.Y / height);
      break;
    }
    case TFilterValueType::Color: {
      const rtl::TAlphaColorF color = rtl::TAlphaColorF::Create(static_cast<rtl::TAlphaColor>(value.Value.AsInt64()));
      SetVector(value.Name, color.R, color.G, color.B, color.A);
      break;
    }
    case TFilterValueType::Bitmap:
      if (TBitmap* bitmap = value.Value.AsType<TBitmap*>(); bitmap && !bitmap->IsEmpty())
        FPassContext->SetShaderVariable(value.Name, ValueTexture(value.Name, *bitmap));
      break;
    }
}

TTexture* TFilter::ValueTexture(const std::string& AName, TBitmap& ABitmap) {
  auto found = std::find_if(FValueTextures.begin(), FValueTextures.end(),
                            [&](const TValueTexture& AEntry) { return AEntry.Name == AName; });
  if (found == FValueTextures.end()) {
    FValueTextures.push_back({AName, nullptr});
    found = std::prev(FValueTextures.end());
  }
  if (!found->Texture || found->Texture->Width() != ABitmap.Width() || found->Texture->Height() != ABitmap.Height())
    found->Texture = TFilterManager::NewTexture(ABitmap.Width(), ABitmap.Height(), false);
  UploadFlipped(*found->Texture, ABitmap, UploadScratch());
  return found->Texture.get();
}

// ---- TFilterManager ----------------------------------------------------------------------------

void TFilterManager::RegisterFilter(const std::string& ACategory, const TFilterClass& AClass) {
  std::vector<TFilterRegistration>& filters = State().Filters;
  for (TFilterRegistration& entry : filters)
    if (entry.Class == &AClass) {
      entry.Category = ACategory;
      return;
    }
  filters.push_back({ACategory, &AClass});
}

void TFilterManager::UnInitialize() {
  TManagerState& state = State();
  state.Filters.clear();
  FreeContext(1);
  FreeContext(0);
  std::vector<uint8_t>().swap(UploadScratch());
  // Freeing the last registration of a shader finalises its stage and drops the programs made
  // from it.
  for (auto& [name, shader] : state.PixelShaders)
    if (TShaderManager::Holders(shader) > 0)
      TShaderManager::UnregisterShader(shader);
  state.PixelShaders.clear();
  if (TContextShader* vertex = std::exchange(state.VertexShader, nullptr); TShaderManager::Holders(vertex) > 0)
    TShaderManager::UnregisterShader(vertex);
}

std::vector<std::pair<std::string, const TFilterClass*>> TFilterManager::FilterClasses() {
  std::vector<std::pair<std::string, const TFilterClass*>> result;
  for (const TFilterRegistration& entry : State().Filters)
    result.emplace_back(entry.Category, entry.Class);
  return result;
}

std::vector<std::string> TFilterManager::FilterCategories() {
  std::vector<std::string> result;
  for (const TFilterRegistration& entry : State().Filters)
    if (std::find(result.begin(), result.end(), entry.Category) == result.end())
      result.push_back(entry.Category);
  return result;
}

const TFilterClass* TFilterManager::FilterClassByName(std::string_view AName) {
  for (const TFilterRegistration& entry : State().Filters)
    if (rtl::SameText(entry.Class->FilterAttr().Name, AName))
      return entry.Class;
  return nullptr;
}

rtl::TOwned<TFilter> TFilterManager::FilterByName(std::string_view AName) {
  const TFilterClass* filterClass = FilterClassByName(AName);
  return rtl::TOwned<TFilter>(filterClass ? filterClass->CreateAs<TFilter>() : nullptr);
}

TContext3D* TFilterManager::FilterContext() {
  TManagerState& state = State();
  if (!state.Contexts[0] && state.Size.X > 0 && state.Size.Y > 0)
    return PassContext(0, state.Size.X, state.Size.Y);
  return state.Contexts[0].get();
}

TContext3D* TFilterManager::PassContext(int32_t AIndex, int32_t AWidth, int32_t AHeight) {
  TManagerState& state = State();
  rtl::TOwned<TContext3D>& context = state.Contexts[AIndex];
  if (context && context->Width() == AWidth && context->Height() == AHeight)
    return context.get();
  FreeContext(AIndex);
  state.Targets[AIndex] = NewTexture(AWidth, AHeight, true);
  context.reset(TContextManager::CreateFromTexture(state.Targets[AIndex].get(), TMultisample::None, false));
  state.Size = {AWidth, AHeight};
  return context.get();
}

void TFilterManager::ResetContext() {
  FreeContext(1);
  FreeContext(0);
}

void TFilterManager::ResizeContext(int32_t AWidth, int32_t AHeight) {
  State().Size = {std::max(AWidth, 0), std::max(AHeight, 0)};
}

rtl::TPoint TFilterManager::ContextSize() {
  return State().Size;
}

TContextShader* TFilterManager::FilterVertexShader() {
  TContextShaderSource source;
  source.Arch = TContextShaderArch::GLSL;
  source.Code.assign(FilterVertexCode.begin(), FilterVertexCode.end());
  source.Variables = {{"MVPMatrix", TContextShaderVariableKind::Matrix, 0, 4, 0, TContextShaderKind::VertexShader}};
  return HoldShader(State().VertexShader, FilterVertexShaderName, TContextShaderKind::VertexShader, {source});
}

TContextShader* TFilterManager::FilterShader(const std::string& AName,
                                             const std::vector<TContextShaderSource>& ASources) {
  return HoldShader(State().PixelShaders[AName], AName, TContextShaderKind::PixelShader, ASources);
}

void TFilterManager::SetTextureFactory(TFilterTextureFactory AFactory) {
  State().Factory = AFactory;
}

rtl::TOwned<TTexture> TFilterManager::NewTexture(int32_t AWidth, int32_t AHeight, bool ARenderTarget) {
  TFilterTextureFactory factory = State().Factory;
  rtl::TOwned<TTexture> texture(factory ? factory() : rtl::New<TTexture>());
  texture->SetSize(AWidth, AHeight);
  texture->SetPixelFormat(TPixelFormat::BGRA);
  texture->SetMinFilter(TTextureFilter::Linear);
  texture->SetMagFilter(TTextureFilter::Linear);
  texture->SetStyle(ARenderTarget ? TTextureStyles{TTextureStyle::RenderTarget} : TTextureStyles{TTextureStyle::Dynamic});
  return texture;
}

} // namespace ui
