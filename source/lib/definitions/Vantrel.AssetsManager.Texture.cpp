// The texture asset: importing a picture, loading its bitmap on first use from the cache, the
// package archive or its file (DDS and TGA through the image codecs), and storing it as PNG.

#include "context/Vantrel.Context.Texturing.h"
#include "definitions/Vantrel.AssetsManager.Internal.h"
#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.Loader.h"
#include "formats/Vantrel.Imaging.DDS.h"
#include "formats/Vantrel.Imaging.Import.h"
#include "formats/Vantrel.Imaging.TGA.h"
#include "rtl/log.h"
#include "rtl/net_encoding.h"

namespace vantrel {

RTL_DEFINE_CLASS_META(TVantrelTextureAsset, "Vantrel.AssetsManager", TVantrelTextureAssetMeta)

namespace {

constexpr const char* FilenameEmpty = "AssetsManager.TextureAsset - filename empty";

// The extension of a file name written on any OS, with its dot; empty without one.
std::string ForeignExtractFileExt(std::string_view AFileName) {
  const std::string name = ForeignExtractFileName(AFileName);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

// The texture size limit of the model load running on this thread, when it sets one.
void ApplyRunningLoadLimit(ui::TBitmap& ABitmap) {
  const TVantrelLoaderThreadInfo info = TVantrelLoader::GetCurrentLoaderThreadInfo();
  const rtl::TPoint limits = info.Options.TextureLimits;
  if (info.Loader && (limits.X != 0 || limits.Y != 0))
    TVantrelLoader::LimitTextureSize(&ABitmap, limits);
}

// Decodes a DDS or TGA picture from AStream; image 0 goes into ABitmap.
void DecodeImageFile(TImageFileFormat& AFormat, rtl::TStream& AStream, ui::TBitmap& ABitmap,
                     const std::string& AFileName) {
  TDynImageDataArray images;
  if (!AFormat.LoadFromStream(AStream, images, true) || images.empty())
    throw rtl::EReadError(rtl::Format("Cannot load bitmap from '%s': not a readable picture", {AFileName}));
  CopyImageDataToBitmap(images[0], ABitmap);
}

} // namespace

const std::vector<std::string>& TVantrelTextureAsset::ClassExtensions() {
  static const std::vector<std::string> extensions{".bmp", ".jpg", ".jpeg", ".dds", ".gif",
                                                   ".png", ".tif", ".tiff", ".tga"};
  return extensions;
}

// ---- class-level import ----

TVantrelAsset* TVantrelTextureAssetClass::ImportFromFile(TVantrelAssetsGroup* AGroup, const std::string& AFilename,
                                                         TAssetImportFlags AFlags) const {
  return ImportFromStream(AGroup, AFilename, nullptr, AFlags);
}

TVantrelAsset* TVantrelTextureAssetClass::ImportFromStream(TVantrelAssetsGroup* AGroup, const std::string& AFilename,
                                                           rtl::TStream* AStream, TAssetImportFlags AFlags) const {
  if (!AGroup)
    return nullptr;
  rtl::TOwned<TVantrelAsset> asset(CreateAsset(AGroup));
  asset->ImportFromStream(AFilename, AStream, AFlags);
  TVantrelAsset* result = asset.get();
  AGroup->Assets().Add(result->Id(), asset.release());
  return result;
}

// ---- TVantrelTextureAsset ----

TVantrelTextureAsset::~TVantrelTextureAsset() = default;

void TVantrelTextureAsset::ImportFromFile(const std::string& AFilename, TAssetImportFlags AFlags) {
  rtl::TFileStream stream(AFilename, rtl::fmOpenRead | rtl::fmShareDenyNone);
  ImportFromStream(AFilename, &stream, AFlags);
}

void TVantrelTextureAsset::ImportFromStream(const std::string& AFilename, rtl::TStream* AStream,
                                            TAssetImportFlags AFlags) {
  if (AFilename.empty())
    throw EVantrelAssetsException(FilenameEmpty);
  FOriginalFilename = AFilename;
  SetFilename(ForeignExtractFileName(AFilename));
  // A cached import decodes the stream now; given no stream it loads no bitmap.
  if (AFlags.Contains(TAssetImportFlag::Cached)) {
    FCachedBitmap.reset();
    if (AStream) {
      rtl::TOwned<ui::TBitmap> bitmap(TVantrelTextureBitmap::Create());
      bitmap->LoadFromStream(*AStream);
      ApplyRunningLoadLimit(*bitmap);
      FCachedBitmap = std::move(bitmap);
      SetCached(true);
    }
  }
  if (!Group()) {
    if (Extension().empty())
      SetExtension(ForeignExtractFileExt(AFilename));
    return;
  }
  TVantrelAssetsPackage* package = Package();
  if (!package || !package->Manager())
    return;
  TVantrelArchiveReference* archive = package->GetArchive();
  if (!archive->FileExists(AssetClass().GetDescriptorPath(GetArchivePath())))
    SaveToArchive(archive, Group()->GetGroupPath());
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

void TVantrelTextureAsset::CheckExtension() {
  if (Extension().empty())
    SetExtension(ForeignExtractFileExt(Filename()));
  if (Extension().empty())
    throw EVantrelAssetsException(
        rtl::Format("AssetsManager.TextureAsset exception - missing file extension `%s`", {Extension()}));
  if (Extension()[0] != '.' || Extension().size() < 2)
    throw EVantrelAssetsException(
        rtl::Format("AssetsManager.TextureAsset exception - invalid file extension `%s`", {Extension()}));
}

ui::TBitmap* TVantrelTextureAsset::Bitmap() {
  // An asset that was never named has no source to load from.
  if (Filename().empty() && FOriginalFilename.empty() && !FCachedBitmap)
    return nullptr;
  // A held picture needs no decoding, whatever its name says.
  if (FCachedBitmap && !FCachedBitmap->IsEmpty())
    return FCachedBitmap.get();
  CheckExtension();
  TVantrelAssetsPackage* package = Package();
  if (package && package->Manager()) {
    if (ui::TBitmap* read = ReadBitmapFromArchive(package->GetArchive())) {
      FCachedBitmap.reset(read);
      SetCached(true);
      return read;
    }
  }
  std::string source = FOriginalFilename.empty() ? Filename() : FOriginalFilename;
  if (!rtl::TFile::Exists(source)) {
    const std::string line = rtl::Format("failed to load texture %s (\"%s\") [%s]", {source, Filename(), Id().ToString()});
    rtl::Log::d(line);
    source = ForeignExtractFileName(source);
    if (!rtl::TFile::Exists(source)) {
      rtl::Log::d(line);
      return nullptr;
    }
  }
  rtl::TOwned<ui::TBitmap> bitmap = DecodeFile(source);
  ApplyRunningLoadLimit(*bitmap);
  FCachedBitmap = std::move(bitmap);
  SetCached(true);
  return FCachedBitmap.get();
}

rtl::TOwned<ui::TBitmap> TVantrelTextureAsset::DecodeFile(const std::string& AFileName) {
  rtl::TOwned<ui::TBitmap> bitmap(TVantrelTextureBitmap::Create());
  rtl::TFileStream stream(AFileName, rtl::fmOpenRead | rtl::fmShareDenyNone);
  SetExtension(detail::LowerExt(Extension()));
  const std::string& ext = Extension();
  if (ext == ".bmp" || ext == ".gif" || ext == ".jpg" || ext == ".jpeg" || ext == ".png" || ext == ".tif" ||
      ext == ".tiff") {
    bitmap->LoadFromStream(stream);
  } else if (ext == ".dds") {
    TDDSFileFormat format;
    DecodeImageFile(format, stream, *bitmap, AFileName);
  } else if (ext == ".tga") {
    TTargaFileFormat format;
    DecodeImageFile(format, stream, *bitmap, AFileName);
  } else {
    throw EVantrelAssetsException(rtl::Format("AssetsManager.TextureAsset - unsupported file format \"%s\"", {ext}));
  }
  return bitmap;
}

ui::TBitmap* TVantrelTextureAsset::ReadBitmapFromArchive(TVantrelArchiveReference* AArchive) {
  if (!AArchive)
    return nullptr;
  const std::string path = PayloadPath(GetArchivePath());
  // The lookup and the read share one open of the zip.
  detail::TArchiveReadScope scope(*AArchive);
  if (!AArchive->FileExists(path))
    return nullptr;
  rtl::TMemoryStream payload;
  rtl::TZipHeader header;
  AArchive->ReadToStream(path, &payload, header);
  rtl::TOwned<ui::TBitmap> bitmap(TVantrelTextureBitmap::Create());
  bitmap->LoadFromStream(payload);
  return bitmap.release();
}

void TVantrelTextureAsset::SaveToArchive(TVantrelArchiveReference* AArchive, const std::string& AGroupPath) {
  TStoreGuard guard(*this);
  if (!guard.Active() || !AArchive)
    return;
  // Kept as the original platform does: a stored texture is not encoded again.
  if (AArchive->FileExists(PayloadPath(AGroupPath + "/" + Id().ToString())))
    return;
  TVantrelAsset::SaveToArchive(AArchive, AGroupPath);
  ui::TBitmap* bitmap = Bitmap();
  if (!bitmap)
    return;
  rtl::TMemoryStream png;
  bitmap->SaveToStream(png);
  WritePayload(*AArchive, AGroupPath, png);
  guard.Stored();
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
