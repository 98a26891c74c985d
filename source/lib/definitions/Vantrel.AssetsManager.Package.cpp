// Packages, the package collection and the assets manager component; package file names with
// their folder placeholders.

#include <algorithm>
#include <array>
#include <functional>

#include "definitions/Vantrel.AssetsManager.Internal.h"
#include "rtl/log.h"
#include "utils/Vantrel.Utils.Dialogs.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelAssetsPackage, "Vantrel.AssetsManager", &TVantrelAssetsPackage::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelAssetsPackageCollection, "Vantrel.AssetsManager")
RTL_DEFINE_CLASS(TVantrelAssetsManager, "Vantrel.AssetsManager", &TVantrelAssetsManager::RegisterProperties)

namespace {

// The names older packages gave the standard groups; recognised, never written.
constexpr std::array<const char*, 10> LegacyGroupNames{"MODELS",    "TEXTURES",  "AUDIO",   "VIDEO",    "MISC",
                                                        "DIALOGUES", "INVENTORY", "SCRIPTS", "PREFABS", "SKILLS"};

std::string Upper(std::string AText) {
  for (char& c : AText)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  return AText;
}

std::string FolderOf(const std::string& APath) {
  return rtl::IncludeTrailingPathDelimiter(APath);
}

// The folder a placeholder stands for, with one trailing delimiter; an unknown placeholder
// stands for its upper-case text.
std::string PlaceholderValue(const std::string& AUpper) {
  if (AUpper == "{HOME}")
    return FolderOf(rtl::TPath::GetHomePath());
  if (AUpper == "{ASSETS}")
    return FolderOf(rtl::TPath::Combine(rtl::TPath::GetHomePath(), "assets"));
  if (AUpper == "{DOCS}")
    return FolderOf(rtl::TPath::GetDocumentsPath());
  if (AUpper == "{LIB}")
    return FolderOf(rtl::TPath::GetExecutablePath());
  if (AUpper == "{PUBLIC}")
    return FolderOf(rtl::TPath::GetPublicPath());
  if (AUpper == "{DOWNLOADS}")
    return FolderOf(rtl::TPath::GetDownloadsPath());
  if (AUpper == "{SHARED_DOCS}")
    return FolderOf(rtl::TPath::GetSharedDocumentsPath());
  if (AUpper == "{SHARED_DOWNLOADS}")
    return FolderOf(rtl::TPath::GetSharedDownloadsPath());
  return AUpper;
}

bool IsAbsolute(const std::string& APath) {
  return !APath.empty() && APath[0] == '/';
}

// A design-time load runs in the modal progress window ("Please wait, ..."), which reports a
// failure in its window rather than to the caller.
void RunInProgressWindow(const std::string& AText, const std::function<void()>& AProc) {
  TProgressForm::Open(AText, [&AProc](TProgressForm*) { AProc(); });
}

} // namespace

// ---- TVantrelAssetsPackage ----

TVantrelAssetsPackage::TVantrelAssetsPackage() = default;

void TVantrelAssetsPackage::AfterConstruction() {
  inherited::AfterConstruction();
  Initialize();
}

void TVantrelAssetsPackage::BeforeDestruction() {
  NotifyWatchers(true);
  FWatchers.clear();
  Close();
  FGroups.reset();
  inherited::BeforeDestruction();
}

TVantrelAssetsPackage::~TVantrelAssetsPackage() = default;

void TVantrelAssetsPackage::RegisterProperties(rtl::TPropertyList& AList) {
  using T = TVantrelAssetsPackage;
  AList.Add("DisplayName", &T::GetDisplayName, &T::SetDisplayName);
  AList.Add("Groups", &T::GetGroups, &T::SetGroups);
  AList.Add("Filename", &T::GetFilename, &T::SetFilename);
}

TVantrelAssetsManager* TVantrelAssetsPackage::Manager() const {
  auto* collection = dynamic_cast<TVantrelAssetsPackageCollection*>(Collection());
  return collection ? collection->Manager() : nullptr;
}

void TVantrelAssetsPackage::AddWatcher(const void* AKey, TOnContentFreeing AHandler) {
  for (auto& watcher : FWatchers)
    if (watcher.first == AKey) {
      watcher.second = std::move(AHandler);
      return;
    }
  FWatchers.emplace_back(AKey, std::move(AHandler));
}

void TVantrelAssetsPackage::RemoveWatcher(const void* AKey) {
  std::erase_if(FWatchers, [AKey](const auto& watcher) { return watcher.first == AKey; });
}

void TVantrelAssetsPackage::NotifyWatchers(bool AWhole, const TModelDef* ADefinition) {
  // A watcher usually removes itself when told; the keys are taken first and each handler is
  // looked up again, so a removed one is skipped and none runs twice.
  std::vector<const void*> keys;
  keys.reserve(FWatchers.size());
  for (const auto& watcher : FWatchers)
    keys.push_back(watcher.first);
  for (const void* key : keys) {
    auto found =
        std::find_if(FWatchers.begin(), FWatchers.end(), [key](const auto& w) { return w.first == key; });
    if (found == FWatchers.end())
      continue;
    TOnContentFreeing handler = found->second;
    handler(this, AWhole, ADefinition);
  }
}

void TVantrelAssetsPackage::Fire(TVantrelPackageEvent AEvent, bool ABefore, rtl::TObject* AItem) {
  const TOnPackageEvent& handler = ABefore ? FOnModifyBefore : FOnModifyAfter;
  if (handler)
    handler(this, AEvent, AItem);
}

void TVantrelAssetsPackage::SetDisplayName(const std::string& AValue) {
  Fire(TVantrelPackageEvent::PackageName, true, this);
  FDescr = AValue;
  inherited::SetDisplayName(AValue);
  Fire(TVantrelPackageEvent::PackageName, false, this);
}

void TVantrelAssetsPackage::SetGroups(const TVantrelAssetsGroupCollection* AValue) {
  Fire(TVantrelPackageEvent::GroupAssign, true, FGroups.get());
  if (!FGroups)
    Initialize();
  else
    NotifyWatchers(false);
  FGroups->Assign(AValue);
  Fire(TVantrelPackageEvent::GroupAssign, false, FGroups.get());
}

void TVantrelAssetsPackage::Initialize() {
  Fire(TVantrelPackageEvent::PackageInitialize, true, this);
  if (!FGroups) {
    FGUID = rtl::TGUID::NewGuid();
    FGroups.reset(rtl::New<TVantrelAssetsGroupCollection>(this));
  }
  for (const TVantrelAssetClass* assetClass : TVantrelAssetClass::StandardClasses())
    AddGroup(*assetClass);
  Fire(TVantrelPackageEvent::PackageInitialize, false, this);
}

void TVantrelAssetsPackage::Close() {
  TVantrelArchiveReference* archive = FArchive;
  FArchive = nullptr;
  // The last DecRef frees the reference; it is not touched afterwards.
  if (archive)
    archive->DecRef();
}

void TVantrelAssetsPackage::Clear(bool ADeleteInArchive) {
  Fire(TVantrelPackageEvent::PackageClear, true, this);
  NotifyWatchers(false);
  if (ADeleteInArchive && FArchive)
    for (const std::string& name : FArchive->GetFileNames())
      FArchive->DeleteFile(name);
  if (FGroups)
    FGroups->Clear();
  Fire(TVantrelPackageEvent::PackageClear, false, this);
}

TVantrelAssetsGroup* TVantrelAssetsPackage::AddGroup(const TVantrelAssetClass& AClass) {
  Fire(TVantrelPackageEvent::GroupAdd, true, nullptr);
  if (!FGroups)
    return nullptr;
  const std::string descr = AClass.GetGroupDescr();
  if (TVantrelAssetsGroup* found = FGroups->Find(descr))
    return found;
  auto* group = static_cast<TVantrelAssetsGroup*>(FGroups->Add());
  group->Initialize(&AClass);
  group->SetDisplayName(descr);
  Fire(TVantrelPackageEvent::GroupAdd, false, group);
  return group;
}

void TVantrelAssetsPackage::RemoveGroup(int AIdx) {
  Fire(TVantrelPackageEvent::GroupRemove, true, nullptr);
  if (FGroups && AIdx >= 0 && AIdx < FGroups->Count())
    FGroups->Items(AIdx)->Free();
  Fire(TVantrelPackageEvent::GroupRemove, false, nullptr);
}

void TVantrelAssetsPackage::RemoveGroup(const std::string& ADescr) {
  Fire(TVantrelPackageEvent::GroupRemove, true, nullptr);
  if (TVantrelAssetsGroup* group = GetGroup(ADescr))
    group->Free();
  Fire(TVantrelPackageEvent::GroupRemove, false, nullptr);
}

void TVantrelAssetsPackage::ClearGroup(int AIdx, bool ADeleteInArchive) {
  if (FGroups && AIdx >= 0 && AIdx < FGroups->Count())
    FGroups->Items(AIdx)->Clear(ADeleteInArchive);
}

TVantrelAssetsGroup* TVantrelAssetsPackage::GetGroup(int AIdx) const {
  if (!FGroups || AIdx < 0 || AIdx >= FGroups->Count())
    return nullptr;
  TVantrelAssetsGroup* group = FGroups->Items(AIdx);
  if (AIdx >= static_cast<int>(LegacyGroupNames.size()))
    return group;
  const std::string standard = TVantrelAssetClass::StandardClasses()[static_cast<size_t>(AIdx)]->GetGroupDescr();
  const std::string legacy = LegacyGroupNames[static_cast<size_t>(AIdx)];
  if (group->GetDisplayName() == standard || group->GetDisplayName() == legacy)
    return group;
  rtl::Log::d(rtl::Format("invalid group id <> name correlation found for \"%s\"", {standard}));
  if (TVantrelAssetsGroup* named = FGroups->Find(standard))
    return named;
  return FGroups->Find(legacy);
}

TVantrelAssetsGroup* TVantrelAssetsPackage::GetGroup(const std::string& ADescr) const {
  return FGroups ? FGroups->Find(ADescr) : nullptr;
}

int TVantrelAssetsPackage::GetGroupIndex(const std::string& ADescr) const {
  return FGroups ? FGroups->IndexOf(ADescr) : -1;
}

int TVantrelAssetsPackage::GetGroupIndex(const TVantrelAssetsGroup* AGroup) const {
  if (!FGroups)
    return -1;
  for (int i = 0; i < FGroups->Count(); ++i)
    if (FGroups->Items(i) == AGroup)
      return i;
  return -1;
}

TVantrelAssetsGroup* TVantrelAssetsPackage::GetGroupByExtension(const std::string& AExt) const {
  return FGroups ? detail::GroupByExtension(*FGroups, AExt) : nullptr;
}

TVantrelAsset* TVantrelAssetsPackage::FindAsset(const std::string& AFilename, bool AStrictFilename) const {
  TVantrelAssetsGroup* group = GetGroupByExtension(rtl::TPath::GetExtension(AFilename));
  return group ? group->FindAssetByFilename(AFilename, AStrictFilename) : nullptr;
}

TVantrelAsset* TVantrelAssetsPackage::FindAssetByArchivePath(const std::string& APath) const {
  std::vector<std::string> parts = detail::SplitPath(APath);
  const TVantrelAsset* owner = nullptr;
  for (;;) {
    if (parts.size() < 3)
      return nullptr;
    // The group the path names, at the package or among the owner's sub-groups: its position
    // says nothing once a scan or a delete-and-add changed the order.
    TVantrelAssetsGroup* group = owner ? owner->GetSubGroup(parts[0]) : GetGroup(parts[0]);
    if (!group)
      return nullptr;
    rtl::TGUID id;
    try {
      id = rtl::TGUID::Create(parts[1]);
    } catch (const rtl::Exception&) {
      return nullptr;
    }
    TVantrelAsset* asset = group->GetAssetFromId(id);
    if (!asset || parts.size() <= 3)
      return asset;
    parts.erase(parts.begin(), parts.begin() + 2);
    owner = asset;
  }
}

TVantrelAsset* TVantrelAssetsPackage::AddAssetFromFile(const std::string& AFilename) {
  const std::string ext = rtl::TPath::GetExtension(AFilename);
  TVantrelAssetsGroup* group = GetGroupByExtension(ext);
  if (!group) {
    const TVantrelAssetClass* assetClass = TVantrelAssetClass::GetSupportedAssetClass(detail::LowerExt(ext));
    if (!assetClass)
      throw EVantrelAssetsException(
          rtl::Format("no valid asset group for this media type found: %s [\"%s\"]", {AFilename, ext}));
    group = AddGroup(*assetClass);
    if (!group)
      throw EVantrelAssetsException(
          rtl::Format("no valid asset group for this media type added: %s [\"%s\"]", {AFilename, ext}));
  }
  return group->GetAssetFromFile(AFilename, false);
}

TVantrelAssetsGroup* TVantrelAssetsPackage::GroupOf(TVantrelAsset* AOwner, int AGroup, const std::string& AWhat) {
  TVantrelAssetsGroup* group = AOwner ? AOwner->GetSubGroup(AGroup) : GetGroup(AGroup);
  if (!group)
    throw EVantrelAssetsException(rtl::Format("invalid group name \"%d\" for asset \"%s\"", {AGroup, AWhat}));
  return group;
}

TVantrelAsset* TVantrelAssetsPackage::GetAssetFromId(int AGroup, const rtl::TGUID& AId) {
  return GroupOf(nullptr, AGroup, AId.ToString())->GetAssetFromId(AId);
}

TVantrelAsset* TVantrelAssetsPackage::GetAssetFromFile(int AGroup, const std::string& AFilename) {
  return GroupOf(nullptr, AGroup, AFilename)->GetAssetFromFile(AFilename, false);
}

TVantrelAsset* TVantrelAssetsPackage::GetAssetFromFile(const std::string& AGroupName, const std::string& AFilename) {
  TVantrelAssetsGroup* group = GetGroup(AGroupName);
  return group ? group->GetAssetFromFile(AFilename, false) : nullptr;
}

TVantrelAsset* TVantrelAssetsPackage::GetAssetFromStream(int AGroup, const std::string& AFilename,
                                                         rtl::TStream* AStream) {
  return GroupOf(nullptr, AGroup, AFilename)->GetAssetFromStream(AFilename, AStream, false);
}

TVantrelAsset* TVantrelAssetsPackage::GetOwnerAssetFromId(TVantrelAsset* AOwner, int AGroup, const rtl::TGUID& AId) {
  return GroupOf(AOwner, AGroup, AId.ToString())->GetAssetFromId(AId);
}

TVantrelAsset* TVantrelAssetsPackage::GetOwnerAssetFromFile(TVantrelAsset* AOwner, int AGroup,
                                                            const std::string& AFilename) {
  return GroupOf(AOwner, AGroup, AFilename)->GetAssetFromFile(AFilename, false);
}

TVantrelAsset* TVantrelAssetsPackage::GetOwnerAssetFromStream(TVantrelAsset* AOwner, int AGroup,
                                                              const std::string& AFilename, rtl::TStream* AStream) {
  return GroupOf(AOwner, AGroup, AFilename)->GetAssetFromStream(AFilename, AStream, false);
}

TVantrelArchiveReferences& TVantrelAssetsPackage::RequireReferences(const char* ANoManager,
                                                                     const char* ANoReferences) const {
  TVantrelAssetsManager* manager = Manager();
  if (!manager)
    throw rtl::Exception(ANoManager);
  if (!manager->ArchiveReferences())
    throw rtl::Exception(ANoReferences);
  return *manager->ArchiveReferences();
}

TVantrelArchiveReference* TVantrelAssetsPackage::GetArchive() {
  if (FArchive)
    return FArchive;
  TVantrelArchiveReferences& references =
      RequireReferences("missing assets manager reference in package", "missing archive references in assets manager");
  FArchive = FFilename.empty() ? references.CreateArchiveInMemory(FDescr) : references.CreateArchiveByFilename(FFilename);
  return FArchive;
}

void TVantrelAssetsPackage::LoadFromFile(const std::string& AFilename) {
  Fire(TVantrelPackageEvent::PackageLoad, true, this);
  Close();
  Clear(false);
  // Kept as the original platform does: a relative Filename becomes the absolute load name.
  if (ExpandPlaceholders(FFilename) != AFilename)
    FFilename = AFilename;
  TVantrelArchiveReferences& references =
      RequireReferences("missing assets manager reference in package on loading from file",
                        "missing archive references in assets manager on loading from file");
  FArchive = references.CreateArchiveByFilename(AFilename);
  ScanArchive();
  Initialize();
  Fire(TVantrelPackageEvent::PackageLoad, false, this);
}

void TVantrelAssetsPackage::LoadFromStream(rtl::TStream* AStream) {
  Fire(TVantrelPackageEvent::PackageLoad, true, this);
  Close();
  Clear(false);
  TVantrelArchiveReferences& references =
      RequireReferences("missing assets manager reference in package on loading from stream",
                        "missing archive references in assets manager on loading from stream");
  FArchive = references.CreateArchiveByStream(FDescr, AStream);
  ScanArchive();
  Initialize();
  Fire(TVantrelPackageEvent::PackageLoad, false, this);
}

void TVantrelAssetsPackage::ScanArchive() {
  if (!FGroups)
    Initialize();
  // One read scope: the zip is opened once for the whole scan, however many entries it reads.
  detail::TArchiveReadScope scope(*FArchive);
  detail::TEntryNames names(FArchive->GetFileNames());
  for (const std::string& name : names.InArchiveOrder()) {
    const std::vector<std::string> parts = detail::SplitPath(name);
    if (parts.empty())
      continue;
    TVantrelAssetsGroup* group = GetGroup(parts[0]);
    if (!group && FArchive->FileExists(TVantrelAssetsGroup::GetDescriptorPath(parts[0])))
      group = TVantrelAssetsGroup::LoadFromArchive(FGroups.get(), FArchive, parts[0]);
    if (!group)
      continue;
    if (parts.size() == 3 && name.find('.') != std::string::npos && parts[2] == "asset.json")
      TVantrelAsset::LoadFromArchive(FArchive, group, parts[0] + "/" + parts[1], &names);
  }
}

void TVantrelAssetsPackage::SaveToFile(const std::string& AFilename, bool /*AAutoReopen*/) {
  if (FArchive)
    FArchive->SaveToFile(this, AFilename);
}

void TVantrelAssetsPackage::SaveToStream(rtl::TStream* AStream) {
  if (FArchive)
    FArchive->SaveToStream(this, AStream);
}

void TVantrelAssetsPackage::SaveToArchive(TVantrelArchiveReference& AArchive) {
  if (!FGroups)
    return;
  for (int i = 0; i < FGroups->Count(); ++i)
    FGroups->Items(i)->SaveToArchive(&AArchive);
}

void TVantrelAssetsPackage::SetUserLoadOptions(const TVantrelLoadOptions& AOpts) {
  FUserOptions = AOpts;
  FUserOptionsSet = true;
}

void TVantrelAssetsPackage::UnsetUserLoadOptions() {
  FUserOptionsSet = false;
  FUserOptions = TVantrelLoadOptions{};
}

void TVantrelAssetsPackage::Refresh() {
  if (!FFilename.empty())
    SetFilename(FFilename);
}

void TVantrelAssetsPackage::Assign(const rtl::TPersistent* ASource) {
  auto* item = const_cast<rtl::TPersistent*>(ASource);
  Fire(TVantrelPackageEvent::PackageAssign, true, item);
  const auto* source = dynamic_cast<const TVantrelAssetsPackage*>(ASource);
  if (!source) {
    inherited::Assign(ASource);
    return;
  }
  FGUID = source->FGUID;
  SetDisplayName(source->FDescr);
  if (!FGroups)
    Initialize();
  else
    NotifyWatchers(false);
  FGroups->Assign(source->FGroups.get());
  Fire(TVantrelPackageEvent::PackageAssign, false, item);
}

int64_t TVantrelAssetsPackage::GetSize() const {
  int64_t result = sizeof(*this);
  if (FGroups) {
    result += sizeof(TVantrelAssetsGroupCollection);
    for (int i = 0; i < FGroups->Count(); ++i)
      result += FGroups->Items(i)->GetSize();
  }
  return result;
}

std::string TVantrelAssetsPackage::Log() const {
  std::string result = FDescr + " (" + FFilename + ")\r\n";
  if (FGroups)
    for (int i = 0; i < FGroups->Count(); ++i)
      result += FGroups->Items(i)->Log("    ");
  return result;
}

TVantrelAssetsGroup* TVantrelAssetsPackage::TextureGroupOf(rtl::TObject* AOwnerAsset) const {
  if (auto* owner = dynamic_cast<TVantrelAsset*>(AOwnerAsset))
    return owner->GetSubGroup(TVantrelTextureAsset::ClassGroupId);
  return GetGroup(TVantrelTextureAsset::ClassGroupId);
}

TVantrelTextureAsset* TVantrelAssetsPackage::GetOwnerTextureAssetFromId(rtl::TObject* AOwnerAsset,
                                                                        const rtl::TGUID& AId) {
  TVantrelAssetsGroup* group = TextureGroupOf(AOwnerAsset);
  return group ? dynamic_cast<TVantrelTextureAsset*>(group->GetAssetFromId(AId)) : nullptr;
}

TVantrelTextureAsset* TVantrelAssetsPackage::AddEmptyTextureAsset(rtl::TObject* AOwnerAsset, const rtl::TGUID& AId) {
  TVantrelAssetsGroup* group = TextureGroupOf(AOwnerAsset);
  return group ? dynamic_cast<TVantrelTextureAsset*>(group->AddEmptyAsset(AId)) : nullptr;
}

std::string TVantrelAssetsPackage::ExpandPlaceholders(const std::string& AText) {
  std::string result = AText;
  size_t at = 0;
  while ((at = result.find('{', at)) != std::string::npos) {
    const size_t close = result.find('}', at);
    const std::string placeholder = result.substr(at, close == std::string::npos ? std::string::npos : close - at + 1);
    const std::string value = PlaceholderValue(Upper(placeholder));
    // Every later occurrence of the same text (exact case) takes the value as well.
    for (size_t found = at; (found = result.find(placeholder, found)) != std::string::npos; found += value.size())
      result.replace(found, placeholder.size(), value);
    at += value.size();
  }
  // This platform's delimiter is "/": a "\" written for another platform becomes one.
  std::replace(result.begin(), result.end(), '\\', '/');
  return result;
}

void TVantrelAssetsPackage::SetFilename(const std::string& AValue) {
  FFilename = AValue;
  if (AValue.empty())
    return;
  std::string name = ExpandPlaceholders(AValue);
  std::string folder = rtl::TPath::GetDirectoryName(name);
  if (!IsAbsolute(folder)) {
    folder = rtl::TPath::Combine(rtl::TPath::GetExecutablePath(), folder);
    name = rtl::TPath::Combine(folder, rtl::TPath::GetFileName(name));
  }
  folder = rtl::ExcludeTrailingPathDelimiter(folder);
  // The probe creates the file only when it is new, so a leftover "chk.tmp" fails as well.
  bool writable = false;
  try {
    writable = rtl::TFile::CreateProbe(rtl::TPath::Combine(folder, "chk.tmp"));
  } catch (const std::exception&) {
    writable = false;
  }
  if (!writable) {
    FFilename.clear();
    throw rtl::Exception("Failed to read/write package - missing write-access in folder: " + folder);
  }
  TVantrelAssetsManager* manager = Manager();
  if (!manager)
    return;
  if (!rtl::TFile::Exists(name) && !rtl::TDirectory::Exists(folder))
    return;
  if (manager->ComponentState().Contains(rtl::TComponentStateItem::csDesigning))
    RunInProgressWindow("Please wait, loading package ...", [&] { LoadFromFile(name); });
  else
    LoadFromFile(name);
}

// ---- TVantrelAssetsPackageCollection ----

TVantrelAssetsPackageCollection::TVantrelAssetsPackageCollection(TVantrelAssetsManager* AOwner)
    : rtl::TOwnedCollection(AOwner, TVantrelAssetsPackage::StaticClass()) {}

TVantrelAssetsPackage* TVantrelAssetsPackageCollection::Items(int AIndex) const {
  return static_cast<TVantrelAssetsPackage*>(rtl::TOwnedCollection::Items(AIndex));
}

TVantrelAssetsManager* TVantrelAssetsPackageCollection::Manager() const {
  return dynamic_cast<TVantrelAssetsManager*>(GetOwner());
}

// ---- TVantrelAssetsManager ----

TVantrelAssetsManager::TVantrelAssetsManager(rtl::TComponent* AOwner)
    : rtl::TComponent(AOwner), FArchiveReferences(rtl::New<TVantrelArchiveReferences>(this)),
      FPackages(rtl::New<TVantrelAssetsPackageCollection>(this)) {}

TVantrelAssetsManager::~TVantrelAssetsManager() {
  // The packages release their references before the dictionary that holds them goes.
  FPackages.reset();
  FArchiveReferences.reset();
}

void TVantrelAssetsManager::RegisterProperties(rtl::TPropertyList& AList) {
  using T = TVantrelAssetsManager;
  AList.Add("LOD", &T::GetLOD, &T::SetLOD).WithDefault(TVantrelLevelOfDetail::LowQuality);
  AList.Add("Packages", &T::GetPackages, &T::SetPackages);
}

void TVantrelAssetsManager::SetPackages(const TVantrelAssetsPackageCollection* AValue) {
  FPackages->Assign(AValue);
}

void TVantrelAssetsManager::Refresh() {
  for (int i = 0; i < FPackages->Count(); ++i)
    FPackages->Items(i)->Refresh();
}

int64_t TVantrelAssetsManager::GetSize() const {
  if (!FPackages)
    return 0;
  int64_t result = sizeof(*this) + sizeof(TVantrelAssetsPackageCollection);
  for (int i = 0; i < FPackages->Count(); ++i)
    result += FPackages->Items(i)->GetSize();
  return result;
}

TVantrelAssetsPackage* TVantrelAssetsManager::AddEmptyPackage(const std::string& ADescr) {
  auto* package = static_cast<TVantrelAssetsPackage*>(FPackages->Add());
  package->SetDisplayName(ADescr);
  package->Initialize();
  return package;
}

int TVantrelAssetsManager::GetPackageIndex(const rtl::TGUID& AGUID) const {
  for (int i = 0; i < FPackages->Count(); ++i)
    if (FPackages->Items(i)->GUID() == AGUID)
      return i;
  return -1;
}

int TVantrelAssetsManager::GetPackageIndex(const std::string& ADescr) const {
  for (int i = 0; i < FPackages->Count(); ++i)
    if (FPackages->Items(i)->GetDisplayName() == ADescr)
      return i;
  return -1;
}

TVantrelAssetsPackage* TVantrelAssetsManager::GetPackage(const rtl::TGUID& AGUID) const {
  const int index = GetPackageIndex(AGUID);
  return index < 0 ? nullptr : FPackages->Items(index);
}

TVantrelAssetsPackage* TVantrelAssetsManager::GetPackage(const std::string& ADescr) const {
  const int index = GetPackageIndex(ADescr);
  return index < 0 ? nullptr : FPackages->Items(index);
}

void TVantrelAssetsManager::RemovePackage(const rtl::TGUID& AGUID) {
  if (TVantrelAssetsPackage* package = GetPackage(AGUID))
    package->Free();
}

void TVantrelAssetsManager::RemovePackage(const std::string& ADescr) {
  if (TVantrelAssetsPackage* package = GetPackage(ADescr))
    package->Free();
}

void TVantrelAssetsManager::ClearPackages() {
  FPackages->Clear();
}

TVantrelAssetsPackage* TVantrelAssetsManager::LoadPackageFromFile(const std::string& AFilename) {
  TVantrelAssetsPackage* package = AddEmptyPackage(detail::BareName(AFilename));
  package->LoadFromFile(AFilename);
  return package;
}

} // namespace vantrel
