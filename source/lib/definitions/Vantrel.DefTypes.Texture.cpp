// Sampler and shader definitions and their JSON form.

#include <array>
#include <string_view>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/stringlist.h"
#include "rtl/sysutils.h"

namespace vantrel {

VANTREL_DEFINE_DEF_CLASS(TSamplerDef)
VANTREL_DEFINE_DEF_CLASS(TShaderDef)

// The stored format ordinals are the context's: the defaults must keep their numbers.
static_assert(int(TPixelFormatEx::RGBA8) == 59);
static_assert(int(TPixelFormatEx::BGRA) == 4);
static_assert(int(TVantrelTextureDataType::dtUnsignedByte) == 1);

namespace {

constexpr std::array<std::string_view, 5> TextureKindNames{"Texture2D", "Texture3D", "CubeMap", "ImageTexture3D",
                                                           "Array2D"};
constexpr std::array<std::string_view, 5> TextureWrapNames{"Clamp", "ClampToEdge", "ClampToBorder", "Repeated",
                                                           "MirroredRepeat"};
constexpr std::array<std::string_view, 3> ShaderKindNames{"VertexShader", "PixelShader", "GeometryShader"};
constexpr std::array<std::string_view, 3> ShaderLanguageNames{"GLSL", "HLSL", "MSL"};

// The index of the row equal to AText after ACase, or -1.
template <size_t N>
int IndexOfName(const std::array<std::string_view, N>& ANames, std::string_view AText,
                std::string (*ACase)(std::string_view)) {
  for (size_t i = 0; i < N; ++i)
    if (ACase(ANames[i]) == AText)
      return int(i);
  return -1;
}

std::string_view FilterName(ui::TTextureFilter AFilter) {
  return AFilter == ui::TTextureFilter::Nearest ? "Nearest" : "Linear";
}

// An empty or absent member keeps AValue; "nearest" selects Nearest, anything else Linear.
void ReadFilter(const TJSONObject& AJSON, std::string_view AName, ui::TTextureFilter& AValue) {
  const std::string text = LowerCase(TCustomDef::GetJSONString(AJSON, AName));
  if (!text.empty())
    AValue = text == "nearest" ? ui::TTextureFilter::Nearest : ui::TTextureFilter::Linear;
}

// An empty or absent member keeps AValue; only the stored names (any letter case) select a mode
// other than ClampToEdge.
void ReadWrap(const TJSONObject& AJSON, std::string_view AName, TVantrelTextureWrap& AValue) {
  const std::string text = LowerCase(TCustomDef::GetJSONString(AJSON, AName));
  if (text.empty())
    return;
  const int index = IndexOfName(TextureWrapNames, text, &LowerCase);
  AValue = index < 0 ? TVantrelTextureWrap::ClampToEdge : TVantrelTextureWrap(index);
}

// The format ordinals name enumerators of one byte; a stored number outside them is refused rather
// than cast into a value no enumerator has.
template <class E> E OrdinalMember(const TJSONObject& AJSON, std::string_view AName, int32_t ADefault, int32_t AMax) {
  const int32_t value = TCustomDef::GetJSONInteger(AJSON, AName, ADefault);
  if (value < 0 || value > AMax)
    throw ERangeError(Format("%s %d out of range in sampler definition", {AName, value}));
  return E(value);
}

} // namespace

// ---- TSamplerDef ---------------------------------------------------------------------------------

std::unique_ptr<TJSONObject> TSamplerDef::ToJSON() const {
  auto result = TCustomDef::ToJSON();
  result->AddPair("Kind", std::string(TextureKindNames[size_t(TextureKind)]));
  result->AddPair("InternalFormat", int32_t(InternalFormat));
  result->AddPair("Format", int32_t(Format));
  result->AddPair("DataType", int32_t(DataType));
  result->AddPair("BorderColor",
                  Vector3DToString({BorderColor.R, BorderColor.G, BorderColor.B, BorderColor.A}, true));
  result->AddPair("MinFilter", std::string(FilterName(MinFilter)));
  result->AddPair("MagFilter", std::string(FilterName(MagFilter)));
  result->AddPair("WrapS", std::string(TextureWrapNames[size_t(WrapS)]));
  result->AddPair("WrapT", std::string(TextureWrapNames[size_t(WrapT)]));
  result->AddPair("WrapR", std::string(TextureWrapNames[size_t(WrapR)]));
  return result;
}

void TSamplerDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  TCustomDef::FromJSON(AModel, AValue);
  const int kind = IndexOfName(TextureKindNames, LowerCase(GetJSONString(AValue, "Kind", "Texture2D")), &LowerCase);
  TextureKind = kind < 0 ? TVantrelTextureKind::Texture2D : TVantrelTextureKind(kind);
  InternalFormat = OrdinalMember<TPixelFormatEx>(AValue, "InternalFormat", 59, PixelFormatExCount - 1);
  Format = OrdinalMember<TPixelFormatEx>(AValue, "Format", 4, PixelFormatExCount - 1);
  DataType = OrdinalMember<TVantrelTextureDataType>(AValue, "DataType", 1, int32_t(TVantrelTextureDataType::dtDouble));
  const std::string color = GetJSONString(AValue, "BorderColor");
  if (!color.empty()) {
    const TVector3D value = StringToVector3D(color);
    BorderColor = TAlphaColorF::Create(value.X, value.Y, value.Z, value.W);
  }
  ReadFilter(AValue, "MinFilter", MinFilter);
  ReadFilter(AValue, "MagFilter", MagFilter);
  ReadWrap(AValue, "WrapS", WrapS);
  ReadWrap(AValue, "WrapT", WrapT);
  ReadWrap(AValue, "WrapR", WrapR);
}

// ---- TShaderDef ----------------------------------------------------------------------------------

std::unique_ptr<TJSONObject> TShaderDef::ToJSON() const {
  auto result = TCustomDef::ToJSON();
  // The tessellation stages have no stored name: their definitions write no "Kind".
  if (size_t(Kind) < ShaderKindNames.size())
    result->AddPair("Kind", std::string(ShaderKindNames[size_t(Kind)]));
  result->AddPair("Language", std::string(ShaderLanguageNames[size_t(Language)]));
  std::string source;
  for (const std::string& line : FSourceCode) {
    source += line;
    source += "\r\n";
  }
  result->AddPair("SourceCode", std::move(source));
  return result;
}

void TShaderDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  TCustomDef::FromJSON(AModel, AValue);
  const int kind = IndexOfName(ShaderKindNames, UpperCase(GetJSONString(AValue, "Kind")), &UpperCase);
  if (kind >= 0)
    Kind = TContextShaderKindEx(kind);
  const int language =
      IndexOfName(ShaderLanguageNames, UpperCase(GetJSONString(AValue, "Language", "GLSL")), &UpperCase);
  if (language >= 0)
    Language = TShaderLanguage(language);
  TStringList lines;
  lines.SetText(GetJSONString(AValue, "SourceCode"));
  FSourceCode.clear();
  for (int i = 0; i < lines.GetCount(); ++i)
    FSourceCode.push_back(lines.GetStrings(i));
}

namespace detail {

void RegisterTextureDefClasses(bool ARegister) {
  const std::array<TCustomDefClass*, 2> classes{&TSamplerDef::StaticClass(), &TShaderDef::StaticClass()};
  for (TCustomDefClass* defClass : classes)
    ARegister ? RegisterClass(*defClass) : UnRegisterClass(*defClass);
}

} // namespace detail

} // namespace vantrel
