// The asset base: its metaclass, identity, sub-groups, descriptor and the generic archive read and
// write; and the unit's start-up.

#include <algorithm>

#include "definitions/Vantrel.AssetsManager.Internal.h"
#include "rtl/net_encoding.h"

namespace vantrel {

RTL_DEFINE_CLASS_META(TVantrelAsset, "Vantrel.AssetsManager", TVantrelAssetClass, &TVantrelAsset::RegisterProperties)

namespace {

int AssetsManagerInitCount = 0;

[[noreturn]] void RaiseAbstract() {
  throw rtl::EAbstractError("Abstract Error");
}

} // namespace

// ---- the metaclass ----

int TVantrelAssetClass::GetGroupId() const {
  RaiseAbstract();
}

std::string TVantrelAssetClass::GetGroupDescr() const {
  RaiseAbstract();
}

const std::vector<std::string>& TVantrelAssetClass::GetSupportedExtensions() const {
  RaiseAbstract();
}

bool TVantrelAssetClass::IsExtensionSupported(const std::string& AExt) const {
  const std::vector<std::string>& list = GetSupportedExtensions();
  return std::find(list.begin(), list.end(), AExt) != list.end();
}

std::string TVantrelAssetClass::GetDescriptorPath(const std::string& APath) const {
  return APath + "/asset.json";
}

TVantrelAsset* TVantrelAssetClass::ImportFromFile(TVantrelAssetsGroup* AGroup, const std::string& AFilename,
                                                  TAssetImportFlags AFlags) const {
  // Reading needs no write access: a read-only media file imports too.
  rtl::TFileStream stream(AFilename, rtl::fmOpenRead | rtl::fmShareDenyNone);
  return ImportFromStream(AGroup, AFilename, &stream, AFlags);
}

TVantrelAsset* TVantrelAssetClass::ImportFromStream(TVantrelAssetsGroup*, const std::string&, rtl::TStream*,
                                                    TAssetImportFlags) const {
  RaiseAbstract();
}

TVantrelAsset* TVantrelAssetClass::LoadFromArchive(TVantrelArchiveReference* AArchive, TVantrelAssetsGroup* AGroup,
                                                   const std::string& APath) const {
  return TVantrelAsset::LoadFromArchive(AArchive, AGroup, APath);
}

TVantrelAsset* TVantrelAssetClass::CreateAsset(TVantrelAssetsGroup* AGroup) const {
  auto* asset = rtl::CheckedCast<TVantrelAsset>(NewInstance());
  asset->FGroup = AGroup;
  return rtl::Construct(asset);
}

const std::vector<const TVantrelAssetClass*>& TVantrelAssetClass::StandardClasses() {
  static const std::vector<const TVantrelAssetClass*> classes{
      &TVantrelModelAsset::StaticClass(),     &TVantrelTextureAsset::StaticClass(),
      &TVantrelAudioAsset::StaticClass(),     &TVantrelVideoAsset::StaticClass(),
      &TVantrelMiscAsset::StaticClass(),      &TVantrelDialogueAsset::StaticClass(),
      &TVantrelInventoryAsset::StaticClass(), &TVantrelScriptAsset::StaticClass(),
      &TVantrelPrefabAsset::StaticClass(),    &TVantrelSkillsAsset::StaticClass()};
  return classes;
}

const TVantrelAssetClass* TVantrelAssetClass::GetSupportedAssetClass(const std::string& AExt) {
  for (const TVantrelAssetClass* assetClass : StandardClasses())
    if (assetClass->IsExtensionSupported(AExt))
      return assetClass;
  return nullptr;
}

// ---- TVantrelAsset ----

TVantrelAsset::TVantrelAsset(TVantrelAssetsGroup* AGroup)
    : FGroup(AGroup), FSubGroups(rtl::New<TVantrelAssetsGroupCollection>(this)), FId(rtl::TGUID::NewGuid()) {}

void TVantrelAsset::BeforeDestruction() {
  FSubGroups.reset();
  inherited::BeforeDestruction();
}

TVantrelAsset::~TVantrelAsset() = default;

void TVantrelAsset::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("SubGroups", &TVantrelAsset::SubGroups, &TVantrelAsset::SetSubGroups);
}

void TVantrelAsset::SetSubGroups(const TVantrelAssetsGroupCollection* AValue) {
  FSubGroups->Assign(AValue);
}

TVantrelAssetsPackage* TVantrelAsset::Package() const {
  if (!FGroup || !FGroup->Collection())
    return nullptr;
  return static_cast<TVantrelAssetsGroupCollection*>(FGroup->Collection())->TryPackage();
}

TVantrelAssetsGroup* TVantrelAsset::AddSubGroup(const TVantrelAssetClass& AClass) {
  if (!FSubGroups)
    return nullptr;
  const std::string descr = AClass.GetGroupDescr();
  if (TVantrelAssetsGroup* found = FSubGroups->Find(descr))
    return found;
  auto* group = static_cast<TVantrelAssetsGroup*>(FSubGroups->Add());
  group->SetOwnerAsset(this);
  group->Initialize(&AClass);
  group->SetDisplayName(descr);
  return group;
}

void TVantrelAsset::RemoveSubGroup(int AIdx) {
  if (TVantrelAssetsGroup* group = GetSubGroup(AIdx))
    group->Free();
}

void TVantrelAsset::RemoveSubGroup(const std::string& ADescr) {
  if (TVantrelAssetsGroup* group = GetSubGroup(ADescr))
    group->Free();
}

void TVantrelAsset::ClearSubGroup(int AIdx) {
  if (TVantrelAssetsGroup* group = GetSubGroup(AIdx))
    group->Clear(false);
}

TVantrelAssetsGroup* TVantrelAsset::GetSubGroup(int AIdx) const {
  if (!FSubGroups || AIdx < 0 || AIdx >= FSubGroups->Count())
    return nullptr;
  return FSubGroups->Items(AIdx);
}

TVantrelAssetsGroup* TVantrelAsset::GetSubGroup(const std::string& ADescr) const {
  return FSubGroups ? FSubGroups->Find(ADescr) : nullptr;
}

int TVantrelAsset::GetSubGroupIndex(const std::string& ADescr) const {
  return FSubGroups ? FSubGroups->IndexOf(ADescr) : -1;
}

int TVantrelAsset::GetSubGroupIndex(const TVantrelAssetsGroup* ASubGroup) const {
  if (!FSubGroups)
    return -1;
  for (int i = 0; i < FSubGroups->Count(); ++i)
    if (FSubGroups->Items(i) == ASubGroup)
      return i;
  return -1;
}

TVantrelAssetsGroup* TVantrelAsset::GetSubGroupByExtension(const std::string& AExt) const {
  return FSubGroups ? detail::GroupByExtension(*FSubGroups, AExt) : nullptr;
}

TVantrelAsset* TVantrelAsset::FindSubAsset(const std::string& AFilename, bool AStrictFilename) const {
  TVantrelAssetsGroup* group = GetSubGroupByExtension(rtl::TPath::GetExtension(AFilename));
  return group ? group->FindAssetByFilename(AFilename, AStrictFilename) : nullptr;
}

TVantrelAsset* TVantrelAsset::AddSubAssetFromFile(const std::string& AFilename) {
  if (!FSubGroups)
    return nullptr;
  const std::string ext = rtl::TPath::GetExtension(AFilename);
  TVantrelAssetsGroup* group = GetSubGroupByExtension(ext);
  if (!group) {
    const TVantrelAssetClass* assetClass = TVantrelAssetClass::GetSupportedAssetClass(detail::LowerExt(ext));
    if (!assetClass)
      throw EVantrelAssetsException(
          rtl::Format("no valid asset subgroup for this media type found: %s [\"%s\"]", {AFilename, ext}));
    group = AddSubGroup(*assetClass);
    if (!group)
      throw EVantrelAssetsException(
          rtl::Format("no valid asset subgroup for this media type added: %s [\"%s\"]", {AFilename, ext}));
  }
  return group->GetAssetFromFile(AFilename, false);
}

TVantrelAssetsGroup* TVantrelAsset::RequireSubGroup(int AIdx, const std::string& AWhat) const {
  TVantrelAssetsGroup* group = GetSubGroup(AIdx);
  if (!group)
    throw EVantrelAssetsException(rtl::Format("invalid group name \"%d\" for asset \"%s\"", {AIdx, AWhat}));
  return group;
}

TVantrelAsset* TVantrelAsset::GetSubAssetFromId(int ASubGroup, const rtl::TGUID& AId) {
  return RequireSubGroup(ASubGroup, AId.ToString())->GetAssetFromId(AId);
}

TVantrelAsset* TVantrelAsset::GetSubAssetFromFile(int ASubGroup, const std::string& AFilename) {
  return RequireSubGroup(ASubGroup, AFilename)->GetAssetFromFile(AFilename, false);
}

TVantrelAsset* TVantrelAsset::GetSubAssetFromStream(int ASubGroup, const std::string& AFilename,
                                                    rtl::TStream* AStream) {
  return RequireSubGroup(ASubGroup, AFilename)->GetAssetFromStream(AFilename, AStream, false);
}

// ---- archive ----

std::string TVantrelAsset::GetArchivePath() const {
  return (FGroup ? FGroup->GetGroupPath() : std::string()) + "/" + FId.ToString();
}

std::string TVantrelAsset::PayloadPath(const std::string& APath) const {
  return APath + "/" + detail::BareName(FFilename);
}

void TVantrelAsset::WriteDescriptor(TVantrelArchiveReference& AArchive) {
  const std::string path = AssetClass().GetDescriptorPath(GetArchivePath());
  std::unique_ptr<rtl::TJSONObject> json = ToJSON();
  json->AddPair("path", path);
  detail::ReplaceEntryText(AArchive, path, json->ToJSON());
}

void TVantrelAsset::WritePayload(TVantrelArchiveReference& AArchive, const std::string& AGroupPath,
                                 rtl::TStream& AData) {
  const std::string path = PayloadPath(AGroupPath + "/" + FId.ToString());
  AArchive.DeleteFile(path);
  AData.SetPosition(0);
  AArchive.AddFromStream(&AData, path);
}

void TVantrelAsset::SaveToArchive(TVantrelArchiveReference* AArchive, const std::string& AGroupPath) {
  if (!AArchive)
    return;
  if (FGroup && !AArchive->FileExists(TVantrelAssetsGroup::GetDescriptorPath(AGroupPath)))
    FGroup->SaveToArchive(AArchive);
  WriteDescriptor(*AArchive);
  for (int i = 0; i < FSubGroups->Count(); ++i)
    FSubGroups->Items(i)->SaveToArchive(AArchive);
}

void TVantrelAsset::LoadPayload(TVantrelArchiveReference*, const std::string&) {}

void TVantrelAsset::UpdateInArchive() {
  TVantrelAssetsPackage* package = Package();
  if (!package || !package->Manager() || !package->Manager()->ArchiveReferences())
    return;
  TVantrelArchiveReference* archive = package->GetArchive();
  detail::TArchiveOpen open(*archive);
  SaveToArchive(archive, FGroup->GetGroupPath());
}

TVantrelAsset* TVantrelAsset::LoadFromArchive(TVantrelArchiveReference* AArchive, TVantrelAssetsGroup* AGroup,
                                              const std::string& APath, const detail::TEntryNames* ANames) {
  if (!AArchive || !AGroup)
    return nullptr;
  const std::string descriptorPath = APath + "/asset.json";
  if (!AArchive->FileExists(descriptorPath))
    return nullptr;
  std::unique_ptr<rtl::TJSONObject> json = detail::ReadEntryObject(*AArchive, descriptorPath);
  // A descriptor that is no JSON object, or names no asset class, describes no asset.
  if (!json || !json->GetValue("Type"))
    return nullptr;
  const TVantrelAssetClass* assetClass = detail::AssetClassByName(TCustomDef::GetJSONString(*json, "Type"));
  if (!assetClass)
    return nullptr;

  rtl::TOwned<TVantrelAsset> created(assetClass->CreateAsset(AGroup));
  created->FState = TAssetState::asLoading;
  created->FromJSON(*json);
  TVantrelAsset* asset = nullptr;
  // A refused class raises here; the new asset is freed by its owner on the way out.
  if (AGroup->AddAsset(created.get())) {
    asset = created.release();
    ++asset->FReadingFromArchive;
    struct TLoadEnd {
      TVantrelAsset* Asset;
      ~TLoadEnd() {
        --Asset->FReadingFromArchive;
        Asset->FState = TAssetState::asLoaded;
      }
    } loadEnd{asset};
    asset->LoadPayload(AArchive, APath);
  } else {
    asset = AGroup->GetAssetFromId(created->Id());
    created.reset();
    if (!asset)
      return nullptr;
    asset->FState = TAssetState::asLoaded;
  }
  if (ANames) {
    asset->LoadSubAssets(*AArchive, APath, *ANames);
  } else {
    const detail::TEntryNames names(AArchive->GetFileNames());
    asset->LoadSubAssets(*AArchive, APath, names);
  }
  return asset;
}

void TVantrelAsset::LoadSubAssets(TVantrelArchiveReference& AArchive, const std::string& APath,
                                  const detail::TEntryNames& ANames) {
  const size_t depth = detail::SplitPath(APath).size();
  for (const std::string* name : ANames.WithPrefix(APath)) {
    const std::vector<std::string> parts = detail::SplitPath(*name);
    if (parts.size() != depth + 3 || parts.back() != "asset.json")
      continue;
    const std::string& subName = parts[depth];
    const std::string subPath = APath + "/" + subName;
    TVantrelAssetsGroup* group = GetSubGroup(subName);
    if (!group && AArchive.FileExists(TVantrelAssetsGroup::GetDescriptorPath(subPath))) {
      group = TVantrelAssetsGroup::LoadFromArchive(FSubGroups.get(), &AArchive, subPath);
      if (group)
        group->SetOwnerAsset(this);
    }
    if (group)
      LoadFromArchive(&AArchive, group, detail::JoinPath(parts, parts.size() - 1), &ANames);
  }
}

// ---- import ----

void TVantrelAsset::ImportFromFile(const std::string& AFilename, TAssetImportFlags AFlags) {
  rtl::TFileStream stream(AFilename, rtl::fmOpenRead | rtl::fmShareDenyNone);
  ImportFromStream(AFilename, &stream, AFlags);
}

void TVantrelAsset::ImportFromStream(const std::string&, rtl::TStream*, TAssetImportFlags) {
  RaiseAbstract();
}

int64_t TVantrelAsset::GetSize() const {
  return InstanceSize() + 2 * static_cast<int64_t>(FFilename.size());
}

std::string TVantrelAsset::Log(const std::string& AIndent) const {
  std::string result = AIndent + FFilename + " (" + FExtension + ")\r\n";
  for (int i = 0; i < FSubGroups->Count(); ++i)
    result += FSubGroups->Items(i)->Log(AIndent + AIndent);
  return result;
}

std::unique_ptr<rtl::TJSONObject> TVantrelAsset::ToJSON() const {
  auto result = rtl::TJSONObject::Create();
  result->AddPair("Type", ClassType().QualifiedName());
  result->AddPair("Id", FId.ToString());
  result->AddPair("Version", "1.3");
  result->AddPair("Filename", rtl::TNetEncoding::URL().Encode(FFilename));
  result->AddPair("Extension", FExtension);
  return result;
}

void TVantrelAsset::FromJSON(const rtl::TJSONObject& AValue) {
  if (!AValue.GetValue("Id"))
    throw EVantrelAssetsException("failed to load asset - id not set");
  FId = TCustomDef::GetJSONGUID(AValue, "Id", rtl::TGUID::Empty());
  if (TCustomDef::HasJSONValue(AValue, "Filename"))
    FFilename = rtl::TNetEncoding::URL().Decode(TCustomDef::GetJSONString(AValue, "Filename"));
  if (TCustomDef::HasJSONValue(AValue, "Extension"))
    FExtension = TCustomDef::GetJSONString(AValue, "Extension");
}

// ---- the save bracket ----

TVantrelAsset::TStoreGuard::TStoreGuard(TVantrelAsset& AAsset)
    : FAsset(AAsset), FPrevious(AAsset.FState), FActive(AAsset.FState != TAssetState::asStoring) {
  if (FActive)
    FAsset.FState = TAssetState::asStoring;
}

TVantrelAsset::TStoreGuard::~TStoreGuard() {
  if (FActive)
    FAsset.FState = FStored ? TAssetState::asStored : FPrevious;
}

// ---- unit start-up ----

namespace {

std::vector<rtl::TClass*> UnitClasses() {
  return {&TVantrelAsset::StaticClass(),         &TVantrelTextureAsset::StaticClass(),
          &TVantrelModelAsset::StaticClass(),    &TVantrelStreamAsset::StaticClass(),
          &TVantrelAudioAsset::StaticClass(),    &TVantrelVideoAsset::StaticClass(),
          &TVantrelMiscAsset::StaticClass(),     &TVantrelDialogueAsset::StaticClass(),
          &TVantrelInventoryAsset::StaticClass(), &TVantrelScriptAsset::StaticClass(),
          &TVantrelPrefabAsset::StaticClass(),   &TVantrelSkillsAsset::StaticClass(),
          &TVantrelAssetsManager::StaticClass()};
}

} // namespace

void InitializeAssetsManager() {
  if (AssetsManagerInitCount++ > 0)
    return;
  for (rtl::TClass* assetClass : UnitClasses())
    rtl::RegisterClass(*assetClass);
}

void FinalizeAssetsManager() {
  if (AssetsManagerInitCount == 0 || --AssetsManagerInitCount > 0)
    return;
  for (rtl::TClass* assetClass : UnitClasses())
    rtl::UnRegisterClass(*assetClass);
}

} // namespace vantrel
