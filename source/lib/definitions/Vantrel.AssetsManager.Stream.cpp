// Stream assets: raw bytes kept in memory and stored unchanged; the eight kinds, three of which
// build a game-data component from their bytes on first use.

#include "definitions/Vantrel.AssetsManager.Internal.h"
#include "utils/Vantrel.Utils.Dialogue.System.h"
#include "utils/Vantrel.Utils.Inventory.h"
#include "utils/Vantrel.Utils.SkillSystem.h"

namespace vantrel {

RTL_DEFINE_CLASS_META(TVantrelStreamAsset, "Vantrel.AssetsManager", TVantrelStreamAssetClass)

#define VANTREL_DEFINE_STREAM_KIND(TName, ...)                                                                \
  RTL_DEFINE_CLASS_META(TName, "Vantrel.AssetsManager", TName::TMetaClass)                                   \
  const std::vector<std::string>& TName::ClassExtensions() {                                                 \
    static const std::vector<std::string> extensions{__VA_ARGS__};                                           \
    return extensions;                                                                                       \
  }

VANTREL_DEFINE_STREAM_KIND(TVantrelAudioAsset, ".aiff", ".asf", ".asx", ".dls", ".flac", ".fsb", ".it", ".m3u",
                           ".midi", ".mod", ".mp2", ".mp3", ".ogg", ".pls", ".s3m", ".vag", ".wav", ".wax", ".wma",
                           ".xm", ".xma")
VANTREL_DEFINE_STREAM_KIND(TVantrelVideoAsset, ".mp4", ".mpg", ".mpeg")
VANTREL_DEFINE_STREAM_KIND(TVantrelMiscAsset, ".txt", ".json", ".xml", ".pdf")
VANTREL_DEFINE_STREAM_KIND(TVantrelDialogueAsset, ".dlg", ".dia")
VANTREL_DEFINE_STREAM_KIND(TVantrelInventoryAsset, ".iff")
VANTREL_DEFINE_STREAM_KIND(TVantrelScriptAsset, ".pas")
VANTREL_DEFINE_STREAM_KIND(TVantrelPrefabAsset, ".prefab", ".prefabz")
VANTREL_DEFINE_STREAM_KIND(TVantrelSkillsAsset, ".ssf")

#undef VANTREL_DEFINE_STREAM_KIND

// ---- the kinds' class-level import ----

TVantrelAsset* TVantrelStreamAssetClass::ImportFromStream(TVantrelAssetsGroup* AGroup, const std::string& AFilename,
                                                          rtl::TStream* AStream, TAssetImportFlags AFlags) const {
  if (!AGroup || !AStream)
    return nullptr;
  rtl::TOwned<TVantrelAsset> asset(CreateAsset(AGroup));
  asset->ImportFromStream(AFilename, AStream, AFlags);
  TVantrelAsset* result = asset.get();
  AGroup->Assets().Add(result->Id(), asset.release());
  return result;
}

// ---- TVantrelStreamAsset ----

TVantrelStreamAsset::TVantrelStreamAsset(TVantrelAssetsGroup* AGroup)
    : TVantrelAsset(AGroup), FStream(rtl::New<rtl::TMemoryStream>()) {}

TVantrelStreamAsset::~TVantrelStreamAsset() = default;

void TVantrelStreamAsset::ImportFromStream(const std::string& AFilename, rtl::TStream* AStream, TAssetImportFlags) {
  if (AFilename.empty())
    throw EVantrelAssetsException("AssetsManager.AudioAsset - filename empty");
  const std::string name = detail::BareName(AFilename);
  const size_t dot = name.rfind('.');
  const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  if (ext.size() < 2 || ext[0] != '.')
    throw EVantrelAssetsException("AssetsManager.AudioAsset exception - invalid file extension");
  const std::string lower = detail::LowerExt(ext);
  if (!AssetClass().IsExtensionSupported(lower))
    throw EVantrelAssetsException(rtl::Format("AssetsManager.AudioAsset - unsupported file format \"%s\"", {lower}));
  SetFilename(name);
  SetExtension(lower);
  // The new bytes replace the old ones entirely: from the source's position to its end.
  if (AStream)
    detail::ReplaceStreamContent(*AStream, *FStream);
  SetCached(true);
  TVantrelAssetsPackage* package = Package();
  if (package && package->Manager())
    SaveToArchive(package->GetArchive(), Group()->GetGroupPath());
}

void TVantrelStreamAsset::SaveToArchive(TVantrelArchiveReference* AArchive, const std::string& AGroupPath) {
  TStoreGuard guard(*this);
  if (!guard.Active() || !AArchive)
    return;
  TVantrelAsset::SaveToArchive(AArchive, AGroupPath);
  WritePayload(*AArchive, AGroupPath, *FStream);
  guard.Stored();
}

void TVantrelStreamAsset::LoadPayload(TVantrelArchiveReference* AArchive, const std::string& APath) {
  const std::string path = PayloadPath(APath);
  if (!AArchive || !AArchive->FileExists(path))
    return;
  rtl::TMemoryStream payload;
  rtl::TZipHeader header;
  AArchive->ReadToStream(path, &payload, header);
  detail::ReplaceStreamContent(payload, *FStream);
}

int64_t TVantrelStreamAsset::GetSize() const {
  return TVantrelAsset::GetSize() + FStream->GetSize();
}

rtl::TMemoryStream* TVantrelStreamAsset::RewoundBytes() const {
  if (FStream->GetSize() == 0)
    return nullptr;
  FStream->SetPosition(0);
  return FStream.get();
}

// ---- game data ----

namespace {

// Makes the component once, keeping it also when reading the bytes fails.
template <class T> T* BuildOnce(T*& AField, rtl::TMemoryStream* ABytes) {
  if (!AField && ABytes) {
    AField = rtl::New<T>(nullptr);
    AField->LoadFromStream(ABytes);
  }
  return AField;
}

} // namespace

TVantrelDialogueAsset::~TVantrelDialogueAsset() {
  rtl::FreeAndNil(FDialogueSystem);
}

TVantrelDialogueSystem* TVantrelDialogueAsset::DialogueSystem() {
  return BuildOnce(FDialogueSystem, RewoundBytes());
}

TVantrelInventoryAsset::~TVantrelInventoryAsset() {
  rtl::FreeAndNil(FInventory);
}

TVantrelInventory* TVantrelInventoryAsset::Inventory() {
  return BuildOnce(FInventory, RewoundBytes());
}

TVantrelSkillsAsset::~TVantrelSkillsAsset() {
  rtl::FreeAndNil(FSkillSystem);
}

TVantrelSkillSystem* TVantrelSkillsAsset::SkillSystem() {
  return BuildOnce(FSkillSystem, RewoundBytes());
}

} // namespace vantrel
