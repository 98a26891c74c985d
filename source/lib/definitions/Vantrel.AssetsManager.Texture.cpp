// The texture asset: recording a file name, holding a cached bitmap, and its descriptor.

#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.DefTypes.Utils.h"
#include "rtl/net_encoding.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelTextureAsset, "Vantrel.AssetsManager")

namespace {

constexpr const char* FilenameEmpty = "AssetsManager.TextureAsset - filename empty";

// The extension of a file name written on any OS, with its dot; empty without one.
std::string ForeignExtractFileExt(std::string_view AFileName) {
  const std::string name = ForeignExtractFileName(AFileName);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

} // namespace

TVantrelTextureAsset::~TVantrelTextureAsset() = default;

void TVantrelTextureAsset::ImportFromFile(const std::string& AFilename, TAssetImportFlags AFlags) {
  rtl::TFileStream stream(AFilename, rtl::fmOpenRead | rtl::fmShareDenyNone);
  ImportFromStream(AFilename, &stream, AFlags);
}

void TVantrelTextureAsset::ImportFromStream(const std::string& AFilename, rtl::TStream*, TAssetImportFlags) {
  if (AFilename.empty())
    throw EVantrelAssetsException(FilenameEmpty);
  FOriginalFilename = AFilename;
  SetFilename(ForeignExtractFileName(AFilename));
  // Decoding a cached payload and saving into a group's archive belong to the package side.
  if (!Group() && Extension().empty())
    SetExtension(ForeignExtractFileExt(AFilename));
}

void TVantrelTextureAsset::ImportFromCachedBitmap(const std::string& AFilename, rtl::TOwned<ui::TBitmap> ABitmap) {
  if (AFilename.empty())
    throw EVantrelAssetsException(FilenameEmpty);
  FOriginalFilename = AFilename;
  SetFilename(ForeignExtractFileName(AFilename));
  SetExtension(ForeignExtractFileExt(AFilename));
  SetCached(true);
  SetIsStandalone(true);
  FCachedBitmap = std::move(ABitmap);
  FAppliedFlips = {};
}

std::unique_ptr<rtl::TJSONObject> TVantrelTextureAsset::ToJSON() const {
  auto result = TVantrelAsset::ToJSON();
  result->AddPair("OriginalFilename", rtl::TNetEncoding::URL().Encode(Filename()));
  return result;
}

void TVantrelTextureAsset::FromJSON(const rtl::TJSONObject& AValue) {
  TVantrelAsset::FromJSON(AValue);
  if (TCustomDef::HasJSONValue(AValue, "OriginalFilename"))
    FOriginalFilename = rtl::TNetEncoding::URL().Decode(TCustomDef::GetJSONString(AValue, "OriginalFilename"));
}

} // namespace vantrel
