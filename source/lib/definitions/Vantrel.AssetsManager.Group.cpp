// Asset groups and group collections, and the helpers the unit's sources share.

#include "definitions/Vantrel.AssetsManager.Internal.h"
#include <algorithm>
#include <memory>

#include "rtl/log.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelAssetDictionary, "Vantrel.AssetsManager")
RTL_DEFINE_CLASS(TVantrelAssetsGroup, "Vantrel.AssetsManager", &TVantrelAssetsGroup::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelAssetsGroupCollection, "Vantrel.AssetsManager")

// ---- shared helpers ----

namespace detail {

std::vector<std::string> SplitPath(const std::string& APath) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : APath) {
    if (c == '/' || c == '\\') {
      if (!part.empty())
        parts.push_back(std::move(part));
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty())
    parts.push_back(std::move(part));
  return parts;
}

std::string JoinPath(const std::vector<std::string>& AParts, size_t ACount) {
  std::string result;
  for (size_t i = 0; i < ACount && i < AParts.size(); ++i) {
    if (i > 0)
      result += '/';
    result += AParts[i];
  }
  return result;
}

std::string BareName(const std::string& AFilename) {
  const size_t slash = AFilename.find_last_of("/\\");
  return slash == std::string::npos ? AFilename : AFilename.substr(slash + 1);
}

std::string LowerExt(const std::string& AExt) {
  std::string result = AExt;
  for (char& c : result)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return result;
}

TVantrelAssetsGroup* GroupByExtension(const TVantrelAssetsGroupCollection& ACollection, const std::string& AExt) {
  const std::string ext = LowerExt(AExt);
  for (int i = 0; i < ACollection.Count(); ++i) {
    TVantrelAssetsGroup* group = ACollection.Items(i);
    if (group->AssetClass() && group->AssetClass()->IsExtensionSupported(ext))
      return group;
  }
  return nullptr;
}

const TVantrelAssetClass* AssetClassByName(const std::string& AName) {
  rtl::TClass* found = rtl::GetClass(AName);
  if (!found || !found->InheritsFrom(TVantrelAsset::StaticClass()))
    return nullptr;
  return dynamic_cast<const TVantrelAssetClass*>(found);
}

std::string ReadEntryText(TVantrelArchiveReference& AArchive, const std::string& APath) {
  rtl::TBytesStream stream;
  rtl::TZipHeader header;
  AArchive.ReadToStream(APath, &stream, header);
  return std::string(stream.Bytes().begin(), stream.Bytes().begin() + stream.GetSize());
}

std::unique_ptr<rtl::TJSONObject> ReadEntryObject(TVantrelArchiveReference& AArchive, const std::string& APath) {
  std::unique_ptr<rtl::TJSONValue> value = rtl::TJSONValue::ParseJSONValue(ReadEntryText(AArchive, APath));
  if (!value || !dynamic_cast<rtl::TJSONObject*>(value.get()))
    return nullptr;
  return std::unique_ptr<rtl::TJSONObject>(static_cast<rtl::TJSONObject*>(value.release()));
}

void ReplaceEntryText(TVantrelArchiveReference& AArchive, const std::string& APath, const std::string& AText) {
  rtl::TBytesStream stream(rtl::TBytes(AText.begin(), AText.end()));
  AArchive.DeleteFile(APath);
  AArchive.AddFromStream(&stream, APath);
}

void ReplaceStreamContent(rtl::TStream& ASource, rtl::TStream& ADest) {
  constexpr int64_t Chunk = 1'048'576;
  ADest.SetSize(0);
  // The buffer is not cleared first, and from a memory stream (the archive's payloads, mostly
  // small) it is no larger than what is left: zeroing a whole chunk per asset cost more than
  // reading the package. Other streams may not know their size.
  int64_t size = Chunk;
  if (auto* memory = dynamic_cast<rtl::TCustomMemoryStream*>(&ASource))
    size = std::clamp<int64_t>(memory->GetSize() - memory->GetPosition(), 1, Chunk);
  const std::unique_ptr<uint8_t[]> buffer(new uint8_t[static_cast<size_t>(size)]);
  for (int64_t count; (count = ASource.Read(buffer.get(), size)) > 0;)
    ADest.WriteBuffer(buffer.get(), count);
  ADest.SetPosition(0);
}

TEntryNames::TEntryNames(std::vector<std::string> ANames) : FNames(std::move(ANames)) {
  FSorted.resize(FNames.size());
  for (uint32_t i = 0; i < FSorted.size(); ++i)
    FSorted[i] = i;
  std::sort(FSorted.begin(), FSorted.end(), [this](uint32_t A, uint32_t B) { return FNames[A] < FNames[B]; });
}

std::vector<const std::string*> TEntryNames::WithPrefix(const std::string& APrefix) const {
  auto first = std::lower_bound(FSorted.begin(), FSorted.end(), APrefix,
                                [this](uint32_t AIndex, const std::string& AKey) { return FNames[AIndex] < AKey; });
  std::vector<uint32_t> found;
  for (auto it = first; it != FSorted.end() && FNames[*it].compare(0, APrefix.size(), APrefix) == 0; ++it)
    found.push_back(*it);
  std::sort(found.begin(), found.end());
  std::vector<const std::string*> result;
  result.reserve(found.size());
  for (uint32_t index : found)
    result.push_back(&FNames[index]);
  return result;
}

} // namespace detail

// ---- TVantrelAssetsGroup ----

TVantrelAssetsGroup::TVantrelAssetsGroup() {
  CreateDictionary();
}

void TVantrelAssetsGroup::BeforeDestruction() {
  Clear(false);
  inherited::BeforeDestruction();
}

TVantrelAssetsGroup::~TVantrelAssetsGroup() = default;

void TVantrelAssetsGroup::RegisterProperties(rtl::TPropertyList& AList) {
  using T = TVantrelAssetsGroup;
  AList.Add("DisplayName", &T::GetDisplayName, &T::SetDisplayName);
  AList.Add("AssetClassName", &T::GetAssetClassName, &T::SetAssetClassName);
}

void TVantrelAssetsGroup::CreateDictionary() {
  FAssets.reset(rtl::New<TVantrelAssetDictionary>());
  FAssets->SetOnValueNotify([this](TVantrelAsset* const& AAsset, rtl::TCollectionNotification AAction) {
    AssetNotify(AAsset, AAction);
  });
}

void TVantrelAssetsGroup::Initialize(const TVantrelAssetClass* AAssetClass) {
  FAssetClass = AAssetClass;
  if (!FAssets)
    CreateDictionary();
}

void TVantrelAssetsGroup::SetDisplayName(const std::string& AValue) {
  FDescr = AValue;
  inherited::SetDisplayName(AValue);
}

void TVantrelAssetsGroup::AssetNotify(TVantrelAsset* AAsset, rtl::TCollectionNotification AAction) {
  if (AAction != rtl::TCollectionNotification::cnRemoved)
    return;
  Fire(TVantrelPackageEvent::AssetRemove, true, AAsset);
  AAsset->Free();
  Fire(TVantrelPackageEvent::AssetRemove, false, nullptr);
}

TVantrelAssetsPackage* TVantrelAssetsGroup::Package() const {
  auto* collection = static_cast<TVantrelAssetsGroupCollection*>(Collection());
  if (!collection)
    throw rtl::Exception("Unexpected group collection owner. Only package or asset allowed, but not assigned");
  return collection->Package();
}

TVantrelAssetsPackage* TVantrelAssetsGroup::TryPackage() const {
  auto* collection = static_cast<TVantrelAssetsGroupCollection*>(Collection());
  return collection ? collection->TryPackage() : nullptr;
}

int TVantrelAssetsGroup::GroupIndex() const {
  TVantrelAssetsPackage* package = TryPackage();
  return package ? package->GetGroupIndex(FDescr) : -1;
}

void TVantrelAssetsGroup::Fire(TVantrelPackageEvent AEvent, bool ABefore, rtl::TObject* AItem) const {
  if (TVantrelAssetsPackage* package = TryPackage())
    package->Fire(AEvent, ABefore, AItem);
}

std::string TVantrelAssetsGroup::GetAssetClassName() const {
  if (FAssetClass)
    return FAssetClass->Name();
  const int index = GroupIndex();
  const auto& standard = TVantrelAssetClass::StandardClasses();
  if (index >= 0 && index < static_cast<int>(standard.size())) {
    FAssetClass = standard[static_cast<size_t>(index)];
    return FAssetClass->Name();
  }
  return TVantrelAsset::StaticClass().Name();
}

void TVantrelAssetsGroup::SetAssetClassName(const std::string& AValue) {
  rtl::TClass* found = rtl::GetClass(AValue);
  if (!found) {
    FAssetClass = &TVantrelAsset::StaticClass();
    return;
  }
  if (const TVantrelAssetClass* assetClass = detail::AssetClassByName(AValue))
    FAssetClass = assetClass;
}

TVantrelAsset* TVantrelAssetsGroup::GetAssetFromId(const rtl::TGUID& AId) const {
  if (!FAssets)
    return nullptr;
  TVantrelAsset* const* found = FAssets->Find(AId);
  return found ? *found : nullptr;
}

TVantrelAsset* TVantrelAssetsGroup::FindAssetByFilename(const std::string& AFilename, bool AStrictFilename) const {
  if (!FAssets)
    return nullptr;
  const std::string key = AStrictFilename ? AFilename : detail::BareName(AFilename);
  for (TVantrelAsset* asset : FAssets->Values()) {
    if (asset->Filename() == key)
      return asset;
    if (!AStrictFilename && detail::BareName(asset->Filename()) == key)
      return asset;
  }
  return nullptr;
}

TVantrelAsset* TVantrelAssetsGroup::GetAssetFromFile(const std::string& AFilename, bool AStrictFilename) {
  if (TVantrelAsset* found = FindAssetByFilename(AFilename, AStrictFilename))
    return found;
  if (!FAssetClass)
    return nullptr;
  Fire(TVantrelPackageEvent::AssetAdd, true, nullptr);
  TAssetImportFlags flags;
  if (AStrictFilename)
    flags.Include(TAssetImportFlag::StrictFileName);
  TVantrelAsset* result = FAssetClass->ImportFromFile(this, AFilename, flags);
  Fire(TVantrelPackageEvent::AssetAdd, false, result);
  return result;
}

TVantrelAsset* TVantrelAssetsGroup::GetAssetFromStream(const std::string& AFilename, rtl::TStream* AStream,
                                                       bool AStrictFilename) {
  if (TVantrelAsset* found = FindAssetByFilename(AFilename, AStrictFilename))
    return found;
  if (!FAssetClass)
    return nullptr;
  Fire(TVantrelPackageEvent::AssetAdd, true, nullptr);
  rtl::TOwned<TVantrelAsset> asset(FAssetClass->CreateAsset(this));
  TAssetImportFlags flags;
  if (FAssetClass->InheritsFrom(TVantrelTextureAsset::StaticClass()))
    flags.Include(TAssetImportFlag::Cached);
  if (AStrictFilename)
    flags.Include(TAssetImportFlag::StrictFileName);
  asset->ImportFromStream(AFilename, AStream, flags);
  TVantrelAsset* result = asset.get();
  FAssets->Add(result->Id(), asset.release());
  Fire(TVantrelPackageEvent::AssetAdd, false, result);
  return result;
}

bool TVantrelAssetsGroup::AddAsset(TVantrelAsset* AAsset) {
  if (!AAsset)
    return false;
  GetAssetClassName(); // a standard group takes its class from its index
  if (&AAsset->ClassType() != FAssetClass)
    throw EVantrelAssetsException(
        rtl::Format("failed to add existing asset - invalid group class %s <> %s",
                    {FAssetClass ? FAssetClass->QualifiedName() : std::string(), AAsset->ClassType().QualifiedName()}));
  if (FAssets->ContainsKey(AAsset->Id())) {
    rtl::Log::d(rtl::Format("asset \"%s\" already exists in group \"%s\" - could be an asset loaded implicitly by "
                            "another asset (maybe a texture autoloaded by a model)",
                            {AAsset->Filename(), FDescr}));
    return false;
  }
  Fire(TVantrelPackageEvent::AssetAdd, true, AAsset);
  FAssets->Add(AAsset->Id(), AAsset);
  Fire(TVantrelPackageEvent::AssetAdd, false, AAsset);
  return true;
}

TVantrelAsset* TVantrelAssetsGroup::AddEmptyAsset(const std::string& AFileName, bool AStrictFileName) {
  if (!FAssetClass)
    return nullptr;
  Fire(TVantrelPackageEvent::AssetAdd, true, nullptr);
  rtl::TOwned<TVantrelAsset> asset(FAssetClass->CreateAsset(this));
  asset->SetFilename(AStrictFileName ? AFileName : detail::BareName(AFileName));
  TVantrelAsset* result = asset.get();
  FAssets->Add(result->Id(), asset.release());
  Fire(TVantrelPackageEvent::AssetAdd, false, result);
  return result;
}

TVantrelAsset* TVantrelAssetsGroup::AddEmptyAsset(const rtl::TGUID& AId) {
  if (!FAssetClass)
    return nullptr;
  Fire(TVantrelPackageEvent::AssetAdd, true, nullptr);
  rtl::TOwned<TVantrelAsset> asset(FAssetClass->CreateAsset(this));
  asset->SetId(AId);
  TVantrelAsset* result = asset.get();
  FAssets->AddOrSetValue(AId, asset.release());
  Fire(TVantrelPackageEvent::AssetAdd, false, result);
  return result;
}

void TVantrelAssetsGroup::DeleteInArchive(TVantrelArchiveReference& AArchive) {
  for (TVantrelAsset* asset : FAssets->Values()) {
    TVantrelAssetsGroupCollection* subGroups = asset->SubGroups();
    for (int i = 0; i < subGroups->Count(); ++i)
      subGroups->Items(i)->Clear(true);
    subGroups->Clear();
    const std::string folder = asset->GetArchivePath();
    AArchive.DeleteFile(asset->AssetClass().GetDescriptorPath(folder));
    AArchive.DeleteFile(folder + "/" + detail::BareName(asset->Filename()));
  }
  AArchive.DeleteFile(GetDescriptorPath(GetGroupPath()));
}

void TVantrelAssetsGroup::Clear(bool ADeleteInArchive) {
  Fire(TVantrelPackageEvent::GroupClear, true, this);
  TVantrelAssetsPackage* package = TryPackage();
  if (ADeleteInArchive && FAssets && package && package->HasArchive())
    DeleteInArchive(*package->GetArchive());
  if (FAssets) {
    Fire(TVantrelPackageEvent::AssetClear, true, FAssets.get());
    FAssets->Clear();
    Fire(TVantrelPackageEvent::AssetClear, false, FAssets.get());
  }
  Fire(TVantrelPackageEvent::GroupClear, false, this);
}

void TVantrelAssetsGroup::Assign(const rtl::TPersistent* ASource) {
  const auto* source = dynamic_cast<const TVantrelAssetsGroup*>(ASource);
  if (!source) {
    inherited::Assign(ASource);
    return;
  }
  Fire(TVantrelPackageEvent::GroupAssign, true, this);
  FDescr = source->FDescr;
  FOwnerAsset = source->FOwnerAsset;
  FAssetClass = source->FAssetClass;
  Fire(TVantrelPackageEvent::AssetClear, true, FAssets.get());
  FAssets->Clear();
  Fire(TVantrelPackageEvent::AssetClear, false, FAssets.get());
  Fire(TVantrelPackageEvent::GroupAssign, false, this);
}

std::string TVantrelAssetsGroup::GetGroupPath() const {
  return FOwnerAsset ? FOwnerAsset->GetArchivePath() + "/" + FDescr : FDescr;
}

std::unique_ptr<rtl::TJSONObject> TVantrelAssetsGroup::ToJSON() const {
  auto result = rtl::TJSONObject::Create();
  result->AddPair("Id", static_cast<int32_t>(ID()));
  result->AddPair("Descr", FDescr);
  result->AddPair("Version", "1.3");
  if (FAssetClass)
    result->AddPair("AssetClass", FAssetClass->QualifiedName());
  return result;
}

void TVantrelAssetsGroup::FromJSON(const rtl::TJSONObject& AValue) {
  if (!AValue.GetValue("Id"))
    throw EVantrelAssetsException("failed to read group from json - missing \"Id\" field");
  if (AValue.GetValue("Descr"))
    SetDisplayName(TCustomDef::GetJSONValueText(AValue, "Descr"));
}

void TVantrelAssetsGroup::SaveToArchive(TVantrelArchiveReference* AArchive) {
  if (!AArchive)
    return;
  const std::string groupPath = GetGroupPath();
  const std::string path = GetDescriptorPath(groupPath);
  std::unique_ptr<rtl::TJSONObject> json = ToJSON();
  json->AddPair("path", path);
  detail::ReplaceEntryText(*AArchive, path, json->ToJSON());
  for (TVantrelAsset* asset : FAssets->Values())
    asset->SaveToArchive(AArchive, groupPath);
}

TVantrelAssetsGroup* TVantrelAssetsGroup::LoadFromArchive(rtl::TCollection* ACollection,
                                                          TVantrelArchiveReference* AArchive, const std::string& APath) {
  if (!AArchive || !ACollection)
    return nullptr;
  const std::string path = GetDescriptorPath(APath);
  if (!AArchive->FileExists(path))
    return nullptr;
  std::unique_ptr<rtl::TJSONObject> json = detail::ReadEntryObject(*AArchive, path);
  if (!json || !json->GetValue("AssetClass"))
    return nullptr;
  const TVantrelAssetClass* assetClass = detail::AssetClassByName(TCustomDef::GetJSONValueText(*json, "AssetClass"));
  if (!assetClass)
    return nullptr;
  auto* group = static_cast<TVantrelAssetsGroup*>(ACollection->Add());
  try {
    group->Initialize(assetClass);
    group->FromJSON(*json);
  } catch (...) {
    group->Free();
    throw;
  }
  return group;
}

int64_t TVantrelAssetsGroup::GetSize() const {
  int64_t result = sizeof(*this);
  if (FAssets) {
    result += sizeof(TVantrelAssetDictionary);
    for (const TVantrelAsset* asset : FAssets->Values())
      result += 16 + asset->GetSize();
  }
  return result;
}

std::string TVantrelAssetsGroup::Log(const std::string& AIndent) const {
  std::string result = AIndent + FDescr + " (" + GetAssetClassName() + ")\r\n";
  if (FAssets)
    for (const TVantrelAsset* asset : FAssets->Values())
      result += asset->Log(AIndent + AIndent);
  return result;
}

// ---- TVantrelAssetsGroupCollection ----

TVantrelAssetsGroupCollection::TVantrelAssetsGroupCollection(rtl::TPersistent* AOwner)
    : rtl::TOwnedCollection(AOwner, TVantrelAssetsGroup::StaticClass()) {}

TVantrelAssetsGroup* TVantrelAssetsGroupCollection::Items(int AIndex) const {
  return static_cast<TVantrelAssetsGroup*>(rtl::TOwnedCollection::Items(AIndex));
}

TVantrelAssetsPackage* TVantrelAssetsGroupCollection::Package() const {
  rtl::TPersistent* owner = GetOwner();
  if (!owner)
    throw rtl::Exception("Unexpected group collection owner. Only package or asset allowed, but not assigned");
  if (auto* package = dynamic_cast<TVantrelAssetsPackage*>(owner))
    return package;
  if (auto* asset = dynamic_cast<TVantrelAsset*>(owner)) {
    if (!asset->Group())
      throw rtl::Exception("Unexpected group collection owner. Asset owner set, but group not assigned");
    return asset->Group()->Package();
  }
  throw rtl::Exception(
      rtl::Format("Unexpected group collection owner. Only package or asset allowed, but %s found", {owner->ClassName()}));
}

TVantrelAssetsPackage* TVantrelAssetsGroupCollection::TryPackage() const {
  rtl::TPersistent* owner = GetOwner();
  if (auto* package = dynamic_cast<TVantrelAssetsPackage*>(owner))
    return package;
  if (auto* asset = dynamic_cast<TVantrelAsset*>(owner))
    return asset->Package();
  return nullptr;
}

int TVantrelAssetsGroupCollection::IndexOf(const std::string& ADescr) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->GetDisplayName() == ADescr)
      return i;
  return -1;
}

TVantrelAssetsGroup* TVantrelAssetsGroupCollection::Find(const std::string& ADescr) const {
  const int index = IndexOf(ADescr);
  return index < 0 ? nullptr : Items(index);
}

} // namespace vantrel
