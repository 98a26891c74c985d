// Sampler and shader definitions and their JSON form.

#include <array>
#include <string_view>

#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/ioutils.h"
#include "rtl/stringlist.h"
#include "rtl/sysutils.h"

namespace vantrel {

VANTREL_DEFINE_DEF_CLASS(TSamplerDef)
VANTREL_DEFINE_DEF_CLASS(TShaderDef)
VANTREL_DEFINE_DEF_CLASS(TTextureDef)

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

// ---- TTextureDef ---------------------------------------------------------------------------------

namespace {

constexpr const char* TextureAssetType = "Vantrel.AssetsManager.TVantrelTextureAsset";
constexpr const char* TextureAssetShortType = "TVantrelTextureAsset";

// Brings ABitmap from the flips it carries to the ones wanted, flipping each axis that differs.
TTextureFlippings BringFlipsInLine(ui::TBitmap& ABitmap, TTextureFlippings ACarried, TTextureFlippings AWanted) {
  if (AWanted.Contains(TTextureFlipping::Vertical) != ACarried.Contains(TTextureFlipping::Vertical))
    ABitmap.FlipVertical();
  if (AWanted.Contains(TTextureFlipping::Horizontal) != ACarried.Contains(TTextureFlipping::Horizontal))
    ABitmap.FlipHorizontal();
  return AWanted;
}

} // namespace

TTextureDef::TTextureDef(TMaterialDef* AMaterial, TColorChannelDef AChannel, TVantrelTextureAsset* AAsset,
                         bool AIsAssetOwner)
    : Channel(AChannel), IsAssetOwner(AIsAssetOwner), FMaterial(AMaterial),
      FSampler(std::make_unique<TSamplerDef>()) {
  SetAssetRef(AAsset);
}

TTextureDef::~TTextureDef() {
  ReleaseAsset();
}

TModelDef* TTextureDef::Model() const {
  return FMaterial ? FMaterial->GetModel() : nullptr;
}

void TTextureDef::ReleaseAsset() {
  TVantrelTextureAsset* asset = FAssetRef;
  FAssetRef = nullptr;
  if (!asset || !IsAssetOwner)
    return;
  const TModelDef* model = Model();
  if (!model || !model->HoldsTextureAsset(asset))
    asset->Free();
}

void TTextureDef::SetAssetRef(TVantrelTextureAsset* AValue) {
  if (AValue == FAssetRef)
    return;
  ReleaseAsset();
  FAssetRef = AValue;
  TModelDef* model = Model();
  if (!AValue || !model)
    return;
  if (IsAssetOwner)
    AValue->SetIsStandalone(true);
  model->RegisterTextureAsset(AValue);
}

TTextureFlippings TTextureDef::GetFlipState() const {
  return FAssetRef ? FAssetRef->AppliedFlips() : TTextureFlippings{};
}

TExtensionDef* TTextureDef::AddExtension(std::string AId) {
  if (!FExtensions)
    FExtensions = std::make_unique<TExtensionDefList>();
  auto extension = MakeOwned<TExtensionDef>();
  extension->SetId(std::move(AId));
  FExtensions->Add(extension.get());
  return extension.release();
}

TExtensionDef* TTextureDef::GetExtension(std::string_view AId) const {
  return FExtensions ? FExtensions->FindExtensionById(AId) : nullptr;
}

void TTextureDef::RemoveExtension(std::string_view AId) {
  if (TExtensionDef* extension = GetExtension(AId))
    FExtensions->Remove(extension);
}

void TTextureDef::ClearExtensions() {
  if (FExtensions)
    FExtensions->Clear();
}

TBitmapInstance TTextureDef::GetAssetBitmapInstance(bool ADoClone) {
  TBitmapInstance result;
  if (!FAssetRef)
    return result;
  ui::TBitmap* bitmap = FAssetRef->Bitmap();
  if (!bitmap || bitmap->IsEmpty())
    throw Exception("failed to request bitmap instance of texture asset - texture was not loaded physically yet");
  if (ADoClone || (FAssetRef->Cached() && FAssetRef->IsStandalone())) {
    rtl::TOwned<ui::TBitmap> clone(TVantrelTextureBitmap::Create());
    clone->Assign(bitmap);
    result.Bitmap = clone.get();
    result.Owned = std::move(clone);
    return result;
  }
  if (auto* textureBitmap = dynamic_cast<TVantrelTextureBitmap*>(bitmap)) {
    textureBitmap->SetWrapS(FSampler->WrapS);
    textureBitmap->SetWrapT(FSampler->WrapT);
    textureBitmap->SetWrapR(FSampler->WrapR);
  }
  // The asset records the flips its shared bitmap carries, so definitions sharing it agree.
  FAssetRef->SetAppliedFlips(BringFlipsInLine(*bitmap, FAssetRef->AppliedFlips(), Flipping));
  result.Bitmap = bitmap;
  return result;
}

rtl::TObject* TTextureDef::GetAssetsPackage() const {
  if (!FMaterial)
    throw Exception("failed to get package - material of TTextureDef not assigned");
  const TModelDef* model = FMaterial->GetModel();
  return model ? model->GetPackage() : nullptr;
}

int64_t TTextureDef::GetSize() const {
  int64_t size = TCustomDef::GetSize();
  if (FExtensions) {
    size += int64_t(sizeof(*FExtensions));
    for (const TExtensionDef* extension : *FExtensions)
      size += extension->GetSize();
  }
  return size;
}

std::unique_ptr<TJSONObject> TTextureDef::ToJSON() const {
  auto result = TCustomDef::ToJSON();
  result->AddPair("Channel", int32_t(Channel));
  result->AddPair("Flipping", TextureFlippingsToString(Flipping));
  result->AddPair("Tiling", PointFToString(Tiling));
  result->AddPair("IsDynamic", IsDynamic);
  result->AddPair("IgnoreInArray", IgnoreInArray);
  result->AddPair("Destination", Destination == ui::TContextShaderKind::VertexShader ? "VertexShader" : "PixelShader");
  result->AddPair("Sampler", FSampler->ToJSON());
  if (FAssetRef)
    result->AddPair("Asset", FAssetRef->ToJSON());
  else
    result->AddPair("Asset", TJSONNull::Create());
  if (FExtensions) {
    auto array = TJSONArray::Create();
    for (const TExtensionDef* extension : *FExtensions)
      array->Add(extension->ToJSON());
    result->AddPair("Extensions", std::move(array));
  }
  return result;
}

void TTextureDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  TCustomDef::FromJSON(AModel, AValue);
  const int32_t channel = GetJSONInteger(AValue, "Channel", 0);
  if (channel < 0 || channel > int32_t(TColorChannelDef::UserSpecific))
    throw ERangeError(Format("Channel %d out of range in texture definition", {channel}));
  Channel = TColorChannelDef(channel);
  Flipping = StringToTextureFlippings(GetJSONString(AValue, "Flipping"));
  // The texture-level wrap names use the context's reading; the sampler's own members follow.
  const std::string wrapS = GetJSONString(AValue, "WrapS");
  if (!wrapS.empty())
    FSampler->WrapS = StringToTextureWrap(wrapS);
  const std::string wrapT = GetJSONString(AValue, "WrapT");
  if (!wrapT.empty())
    FSampler->WrapT = StringToTextureWrap(wrapT);
  const std::string tiling = GetJSONString(AValue, "Tiling");
  if (!tiling.empty())
    Tiling = StringToPointF(tiling);
  IsDynamic = GetJSONBoolean(AValue, "IsDynamic", false);
  IgnoreInArray = GetJSONBoolean(AValue, "IgnoreInArray", false);
  Destination = LowerCase(GetJSONString(AValue, "Destination", "PixelShader")) == "vertexshader"
                    ? ui::TContextShaderKind::VertexShader
                    : ui::TContextShaderKind::PixelShader;
  if (const auto* sampler = dynamic_cast<const TJSONObject*>(AValue.GetValue("Sampler")))
    FSampler->FromJSON(AModel, *sampler);
  if (const auto* asset = dynamic_cast<const TJSONObject*>(AValue.GetValue("Asset")))
    ResolveAsset(*asset);
  if (const auto* extensions = dynamic_cast<const TJSONArray*>(AValue.GetValue("Extensions"))) {
    if (!FExtensions)
      FExtensions = std::make_unique<TExtensionDefList>();
    for (const TJSONValue* element : *extensions) {
      const auto* object = dynamic_cast<const TJSONObject*>(element);
      if (!object)
        throw EInvalidCast(rtl::messages::InvalidCast);
      auto extension = MakeOwned<TExtensionDef>();
      extension->FromJSON(AModel, *object);
      FExtensions->Add(extension.release());
    }
  }
}

void TTextureDef::ResolveAsset(const TJSONObject& AAsset) {
  if (!AAsset.GetValue("Type"))
    throw Exception("failed to load asset - type not set");
  const std::string type = GetJSONValueText(AAsset, "Type");
  if (type != TextureAssetType && type != TextureAssetShortType)
    throw Exception(Format("TextureDef contains a not compatible asset: %s", {type}));
  const TGUID id = GetJSONGUID(AAsset, "Id", TGUID::Empty());
  TModelDef* model = Model();
  // Only a material with a model reaches a package.
  rtl::TObject* packageObject = model ? GetAssetsPackage() : nullptr;
  const std::string modelFolder = model ? ForeignExtractFilePath(model->GetFilename()) : std::string();

  if (packageObject) {
    auto* package = dynamic_cast<IVantrelAssetsPackage*>(packageObject);
    if (!package)
      throw EInvalidCast(rtl::messages::InvalidCast);
    rtl::TObject* owner = model->GetAsset();
    if (TVantrelTextureAsset* found = package->GetOwnerTextureAssetFromId(owner, id)) {
      SetAssetRef(found);
      return;
    }
    TVantrelTextureAsset* asset = package->AddEmptyTextureAsset(owner, id);
    SetAssetRef(asset);
    if (!asset)
      return;
    asset->FromJSON(AAsset);
    std::string name = asset->Filename();
    if (!TFile::Exists(name))
      name = ForeignCombinePath(modelFolder, ForeignExtractFileName(asset->Filename()));
    if (TFile::Exists(name))
      asset->ImportFromFile(name, {});
    else
      asset->ImportFromStream(name, nullptr, {});
    return;
  }

  // No package: a groupless asset, unless the model holds an equal one already.
  rtl::TOwned<TVantrelTextureAsset> asset(TVantrelTextureAsset::Create(nullptr));
  asset->FromJSON(AAsset);
  if (model) {
    if (TVantrelTextureAsset* found = model->TryGetTextureAsset(asset.get())) {
      asset.reset();
      ReleaseAsset();
      IsAssetOwner = false;
      FAssetRef = found;
      return;
    }
  }
  std::string name = asset->Filename();
  if (!IsForeignAbsolutePath(name))
    name = ForeignCombinePath(modelFolder, name);
  ReleaseAsset();
  IsAssetOwner = true;
  SetAssetRef(asset.release());
  FAssetRef->ImportFromStream(name, nullptr, {});
}

namespace detail {

void RegisterTextureDefClasses(bool ARegister) {
  const std::array<TCustomDefClass*, 3> classes{&TSamplerDef::StaticClass(), &TShaderDef::StaticClass(),
                                                &TTextureDef::StaticClass()};
  for (TCustomDefClass* defClass : classes)
    ARegister ? RegisterClass(*defClass) : UnRegisterClass(*defClass);
}

} // namespace detail

} // namespace vantrel
