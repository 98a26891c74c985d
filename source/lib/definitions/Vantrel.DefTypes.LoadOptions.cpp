// The load options record and the bitmap cache.

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/ioutils.h"
#include "rtl/properties.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelBitmapCacheEntry, "Vantrel.DefTypes", &TVantrelBitmapCacheEntry::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelBitmapCache, "Vantrel.DefTypes")

// ---- TVantrelBitmapCacheEntry --------------------------------------------------------------------

TVantrelBitmapCacheEntry::TVantrelBitmapCacheEntry() : FOwned(MakeOwned<ui::TBitmap>()) {}

TVantrelBitmapCacheEntry::~TVantrelBitmapCacheEntry() = default;

void TVantrelBitmapCacheEntry::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelBitmapCacheEntry;
  AList.Add("Filename", &T::GetFilename, &T::SetFilename);
  AList.Add("Bitmap", &T::GetBitmap, &T::SetBitmap);
}

void TVantrelBitmapCacheEntry::SetBitmap(ui::TBitmap* AValue) {
  if (FIsOnlyRef)
    return;
  FOwned->Assign(AValue);
}

void TVantrelBitmapCacheEntry::SetBitmapReference(const std::string& AFilename, ui::TBitmap* AReference) {
  FOwned.reset();
  FReference = AReference;
  FIsOnlyRef = true;
  FFilename = AFilename;
}

TOwned<ui::TBitmap> TVantrelBitmapCacheEntry::TakeBitmap() {
  if (FIsOnlyRef)
    return nullptr;
  FReference = FOwned.get();
  FIsOnlyRef = true;
  return std::move(FOwned);
}

void TVantrelBitmapCacheEntry::AssignTo(TPersistent* ADest) const {
  auto* entry = dynamic_cast<TVantrelBitmapCacheEntry*>(ADest);
  if (!entry) {
    TCollectionItem::AssignTo(ADest);
    return;
  }
  if (ui::TBitmap* target = entry->GetBitmap())
    target->Assign(GetBitmap());
}

// ---- TVantrelBitmapCache -------------------------------------------------------------------------

TVantrelBitmapCache::TVantrelBitmapCache(TPersistent* AOwner)
    : TOwnedCollection(AOwner, TVantrelBitmapCacheEntry::StaticClass()) {}

TVantrelBitmapCacheEntry* TVantrelBitmapCache::FindBitmap(const std::string& AFilename) const {
  for (int i = 0; i < Count(); ++i)
    if (Entry(i)->GetFilename() == AFilename)
      return Entry(i);
  const std::string name = ForeignExtractFileName(AFilename);
  for (int i = 0; i < Count(); ++i)
    if (ForeignExtractFileName(Entry(i)->GetFilename()) == name)
      return Entry(i);
  return nullptr;
}

// ---- TVantrelLoadOptions -------------------------------------------------------------------------

TVantrelLoadOptions TVantrelLoadOptions::Create(const std::string& APathOrUID, TObject* APackage, TObject* AAsset) {
  TVantrelLoadOptions result{};
  result.FileInfo.PathOrUID = APathOrUID;
  result.Package = APackage;
  result.Asset = AAsset;
  result.ImportLights = true;
  result.ImportCameras = true;
  result.ImportAnimations = true;
  return result;
}

TVantrelLoadOptions TVantrelLoadOptions::Create(const std::string& APathOrUID, const std::string& AExt,
                                                TObject* APackage, TObject* AAsset) {
  TVantrelLoadOptions result = Create(APathOrUID, APackage, AAsset);
  result.FileInfo.Ext = AExt;
  return result;
}

TVantrelLoadOptions TVantrelLoadOptions::Create(const std::string& APathOrUID, TAnimationCachingFlags ACaching,
                                                TObject* APackage, TObject* AAsset) {
  TVantrelLoadOptions result = Create(APathOrUID, APackage, AAsset);
  result.Caching = ACaching;
  return result;
}

TVantrelLoadOptions TVantrelLoadOptions::Create(const std::string& APathOrUID, TAnimationCachingFlags ACaching,
                                                TVantrelLoadingStatus AOnStatus, TObject* APackage,
                                                TObject* AAsset) {
  TVantrelLoadOptions result = Create(APathOrUID, ACaching, APackage, AAsset);
  result.OnStatus = std::move(AOnStatus);
  return result;
}

std::string TVantrelLoadOptions::GetExtension() const {
  if (!FileInfo.Ext.empty())
    return FileInfo.Ext;
  const std::string name = ForeignExtractFileName(FileInfo.PathOrUID);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

int TVantrelLoadOptions::AddAnimation(const std::string& AFilename) {
  if (!TFile::Exists(AFilename))
    return -1;
  ImportAnimations = true;
  AdditionalAnimations.push_back(AFilename);
  return static_cast<int>(AdditionalAnimations.size()) - 1;
}

int TVantrelLoadOptions::AddStorage(const std::string& AName, TStream* AStream) {
  if (!AStream)
    return -1;
  Storage.push_back({AName, AStream});
  return static_cast<int>(Storage.size()) - 1;
}

TStream* TVantrelLoadOptions::GetStorage(const std::string& AName) const {
  for (const TVantrelLoadStorage& storage : Storage)
    if (storage.Name == AName)
      return storage.Stream;
  return nullptr;
}

} // namespace vantrel
