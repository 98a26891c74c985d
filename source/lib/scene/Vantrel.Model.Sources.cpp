// TVantrelModel: where a model comes from. Source with the embedded copy (BinaryData, TextureCache)
// and its form streaming, the assets manager and package, and the loading operations by code.

#include <algorithm>

#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.DefTypes.h"
#include "definitions/Vantrel.Loader.OptionsForm.h"
#include "definitions/Vantrel.Loader.h"
#include "definitions/Vantrel.V3D.Exporter.h"
#include "scene/Vantrel.Model.h"
#include "rtl/exceptions.h"
#include "rtl/filer.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Animation.h"
#include "ui/dialogs.h"
#include "utils/Vantrel.Utils.Dialogs.h"

namespace vantrel {

namespace {

// Embedded bytes move in blocks of this size, so a large model never needs a second whole copy.
constexpr int64_t BinaryChunkSize = 1048576;

// Replaces ADest's content with all of ASource's bytes, read from its start; ASource's position is
// kept.
void CopyWholeStream(TStream& ASource, TStream& ADest) {
  const int64_t kept = ASource.GetPosition();
  ADest.SetSize(0);
  ADest.SetPosition(0);
  ASource.SetPosition(0);
  std::vector<uint8_t> chunk;
  for (;;) {
    chunk.resize(size_t(BinaryChunkSize));
    const int64_t read = ASource.Read(chunk.data(), BinaryChunkSize);
    if (read <= 0)
      break;
    ADest.WriteBuffer(chunk.data(), read);
  }
  ASource.SetPosition(kept);
}

// A cache whose entries own copies of ASource's bitmaps (nothing for no source).
void CopyBitmapsInto(const TVantrelBitmapCache* ASource, TVantrelBitmapCache& ADest) {
  ADest.Clear();
  if (!ASource)
    return;
  for (int i = 0; i < ASource->Count(); ++i) {
    const TVantrelBitmapCacheEntry* entry = ASource->Entry(i);
    TVantrelBitmapCacheEntry* copy = ADest.Add();
    copy->SetFilename(entry->GetFilename());
    if (entry->GetBitmap())
      copy->SetBitmap(entry->GetBitmap());
  }
}

std::string MessageOf(const std::exception& AError) {
  if (const auto* known = dynamic_cast<const Exception*>(&AError))
    return known->Message();
  return AError.what();
}

} // namespace

// ---- form streaming ----

void TVantrelModel::DefineProperties(TFiler* AFiler) {
  TVantrelMesh::DefineProperties(AFiler);
  // The cache comes first, so that the reload that reading BinaryData starts finds the textures.
  AFiler->DefineProperty(
      "TextureCache", [this](TReader& AReader) { ReadTextureCache(AReader); },
      [this](TWriter& AWriter) { AWriter.WriteCollection(FTextureCache.get()); }, FTextureCache != nullptr);
  AFiler->DefineBinaryProperty(
      "BinaryData", [this](TStream& AStream) { ReadBinaryData(AStream); },
      [this](TStream& AStream) { CopyWholeStream(*FBinaryData, AStream); }, FBinaryData != nullptr);
}

void TVantrelModel::ReadTextureCache(TReader& AReader) {
  if (!FTextureCache)
    FTextureCache = MakeOwned<TVantrelBitmapCache>(nullptr);
  AReader.ReadCollection(FTextureCache.get());
}

void TVantrelModel::ReadBinaryData(TStream& AStream) {
  if (!FBinaryData)
    FBinaryData = MakeOwned<TBytesStream>();
  CopyWholeStream(AStream, *FBinaryData);
  FBinaryData->SetPosition(0);
  ReloadFromBinaryData();
}

// ---- embedded model ----

bool TVantrelModel::HasBinaryData() const { return FBinaryData && FBinaryData->GetSize() > 0; }

bool TVantrelModel::IsBeingRead() const {
  return ComponentState().Contains(TComponentStateItem::csReading) ||
         ComponentState().Contains(TComponentStateItem::csLoading);
}

bool TVantrelModel::IsDesigning() const { return ComponentState().Contains(TComponentStateItem::csDesigning); }

void TVantrelModel::SetBinaryData(TStream* AStream) {
  if (!FBinaryData)
    FBinaryData = MakeOwned<TBytesStream>();
  else
    FBinaryData->SetSize(0);
  if (AStream && AStream->GetSize() > 0)
    CopyWholeStream(*AStream, *FBinaryData);
  FBinaryData->SetPosition(0);
  if (!FSource.empty())
    ReloadFromBinaryData();
}

void TVantrelModel::ReloadFromBinaryData() {
  Clear();
  if (!HasBinaryData())
    return;
  FBinaryData->SetPosition(0);
  TVantrelLoadOptions options = TVantrelLoadOptions::Create(FSource, std::string(".v3d"));
  // The load takes the bitmaps of the cache it is given into the definition's texture assets,
  // which the definition frees with itself; the model's own cache must outlive that.
  TVantrelBitmapCache copies(nullptr);
  CopyBitmapsInto(FTextureCache.get(), copies);
  options.BitmapCache = &copies;
  LoadFromStream(FBinaryData.get(), options);
}

void TVantrelModel::UpdateBinaryData() {
  auto* def = dynamic_cast<TModelDef*>(Def());
  if (!def)
    return;
  if (!FTextureCache)
    FTextureCache = MakeOwned<TVantrelBitmapCache>(nullptr);
  // The definition hands out references to its assets' bitmaps; the cache keeps copies of them.
  TVantrelBitmapCache references(nullptr);
  def->RequestBitmapCache(&references);
  CopyBitmapsInto(&references, *FTextureCache);
  if (!FBinaryData)
    FBinaryData = MakeOwned<TBytesStream>();
  FBinaryData->SetSize(0);
  FBinaryData->SetPosition(0);
  TVantrelV3DExporter exporter;
  exporter.SetFormat(TVantrelV3DFormat::BSONFormat);
  exporter.SetBeautified(false);
  exporter.SetZipped(true);
  exporter.SaveToStream(def, FBinaryData.get());
  FBinaryData->SetPosition(0);
}

// ---- Source ----

void TVantrelModel::SetSource(const std::string& AValue) {
  Clear();
  if (AValue != FSource) {
    FBinaryData.reset();
    FTextureCache.reset();
  }
  FSource = AValue;
  if (FPackageName.empty()) {
    if (HasBinaryData())
      ReloadFromBinaryData();
    else if (!IsBeingRead() && !FSource.empty())
      LoadSourceFile();
    return;
  }
  if (!FAssetsManager || FSource.empty())
    return;
  if (TVantrelAssetsPackage* package = GetPackage())
    LoadSourceFromPackage(package);
}

void TVantrelModel::LoadSourceFile() {
  TVantrelLoadOptions options = TVantrelLoadOptions::Create(FSource, TAnimationCachingFlags{}, TVantrelLoadingStatus{});
  if (IsDesigning())
    options = TLoadOptionsForm::Execute(options);
  TProgressForm::Open(SLoadingModel, [this, &options](TProgressForm*) {
    try {
      LoadFromFile(options);
    } catch (const std::exception& error) {
      ui::ShowMessage(SFailedToLoadModelData + MessageOf(error));
    }
  });
  try {
    UpdateBinaryData();
  } catch (const std::exception& error) {
    ui::ShowMessage(SFailedToStoreModelData + MessageOf(error));
  }
}

void TVantrelModel::LoadSourceFromPackage(TVantrelAssetsPackage* APackage) {
  TVantrelLoadOptions options = TVantrelLoadOptions::Create(FSource, TAnimationCachingFlags{}, APackage);
  options.FileInfo.Ext = ".v3d";
  options.Asset = TVantrelLoader::FindExistingAssetInPackage(options);
  if (!options.Asset && IsDesigning())
    options = TLoadOptionsForm::Execute(options);
  // Loading through Source never raises: a failure is shown as for a file.
  try {
    LoadFromFile(options);
  } catch (const std::exception& error) {
    ui::ShowMessage(SFailedToLoadModelData + MessageOf(error));
  }
}

// ---- assets manager and package ----

void TVantrelModel::AssignAssetsManager(TVantrelAssetsManager* AValue) {
  if (AValue == FAssetsManager)
    return;
  if (FAssetsManager)
    RemoveFreeNotification(FAssetsManager);
  FAssetsManager = AValue;
  if (FAssetsManager)
    FreeNotification(FAssetsManager);
}

void TVantrelModel::UpdatePackageWatch() {
  TVantrelAssetsPackage* package = nullptr;
  if (const auto* def = dynamic_cast<const TModelDef*>(Def()); def && def->GetPackage())
    package = dynamic_cast<TVantrelAssetsPackage*>(def->GetPackage());
  if (!package)
    package = FPackage;
  if (package == FWatchedPackage)
    return;
  StopWatchingPackage();
  FWatchedPackage = package;
  if (package)
    package->AddWatcher(this,
                        [this](TVantrelAssetsPackage* APackage, bool AWhole, const TModelDef* ADefinition) {
                          PackageContentFreeing(APackage, AWhole, ADefinition);
                        });
}

void TVantrelModel::StopWatchingPackage() {
  if (FWatchedPackage)
    FWatchedPackage->RemoveWatcher(this);
  FWatchedPackage = nullptr;
}

void TVantrelModel::PackageContentFreeing(TVantrelAssetsPackage* APackage, bool AWhole,
                                          const TModelDef* ADefinition) {
  if (ADefinition && ADefinition != Def())
    return;
  if (AWhole && APackage == FPackage) {
    FPackage = nullptr;
    FPackageName.clear();
  }
  const auto* def = dynamic_cast<const TModelDef*>(Def());
  if (def && def->GetPackage() == APackage) {
    // The definition, its textures and everything built from them go with the package's assets.
    if (ComponentState().Contains(TComponentStateItem::csDestroying))
      ForgetDefinitions(this);
    else
      Clear();
  }
  if (AWhole && APackage == FWatchedPackage)
    StopWatchingPackage();
  UpdatePackageWatch();
}

void TVantrelModel::SetAssetsManager(TVantrelAssetsManager* AValue) {
  if (FAssetsManager && !AValue) {
    AssignAssetsManager(nullptr);
    FPackageName.clear();
    FPackage = nullptr;
    Clear();
    return;
  }
  if (AValue != FAssetsManager)
    FPackage = nullptr;
  AssignAssetsManager(AValue);
  GetPackage();
  ReloadOrClear();
}

void TVantrelModel::SetPackageName(const std::string& AValue) {
  if (!FPackageName.empty() && AValue.empty()) {
    FPackage = nullptr;
    FPackageName.clear();
    Clear();
    return;
  }
  FPackage = nullptr;
  FPackageName = AValue;
  GetPackage();
  ReloadOrClear();
}

void TVantrelModel::ReloadOrClear() {
  if (!FPackage) {
    Clear();
    return;
  }
  if (FAssetsManager && !FSource.empty())
    SetSource(FSource);
}

TVantrelAssetsPackage* TVantrelModel::GetPackage() {
  if (auto* def = dynamic_cast<TModelDef*>(Def()); def && def->GetPackage())
    FPackage = dynamic_cast<TVantrelAssetsPackage*>(def->GetPackage());
  if (FPackage || !FAssetsManager || FPackageName.empty()) {
    UpdatePackageWatch();
    return FPackage;
  }
  FPackage = FAssetsManager->GetPackage(FPackageName);
  UpdatePackageWatch();
  return FPackage;
}

// ---- loading by code ----

void TVantrelModel::LoadFromFile(rtl::TObject* APackage, const std::string& AFilename,
                                 TAnimationCachingFlags ACaching) {
  TVantrelLoader::LoadUndefinedExistingModelFromFile(this, APackage, AFilename, ACaching);
  UpdatePackageWatch();
}

void TVantrelModel::LoadFromFile(const TVantrelLoadOptions& AOptions) {
  TVantrelLoader::LoadUndefinedExistingModelFromFile(this, AOptions);
  UpdatePackageWatch();
}

void TVantrelModel::LoadFromStream(rtl::TObject* APackage, TStream* AStream, const std::string& APath,
                                   TAnimationCachingFlags ACaching) {
  TVantrelLoader::LoadUndefinedExistingModelFromStream(this, APackage, AStream, APath, ACaching);
  UpdatePackageWatch();
}

void TVantrelModel::LoadFromStream(TStream* AStream, const TVantrelLoadOptions& AOptions) {
  TVantrelLoader::LoadUndefinedExistingModelFromStream(this, AStream, AOptions);
  UpdatePackageWatch();
}

TVantrelModel* TVantrelModel::LoadNewModelFromFile(TComponent* AOwner, rtl::TObject* APackage,
                                                   const std::string& AFilename, TAnimationCachingFlags ACaching) {
  TVantrelModel* model = TVantrelLoader::LoadUndefinedModelFromFile(AOwner, APackage, AFilename, ACaching);
  if (model)
    model->UpdatePackageWatch();
  return model;
}

TVantrelModel* TVantrelModel::LoadNewModelFromFile(TComponent* AOwner, const TVantrelLoadOptions& AOptions) {
  TVantrelModel* model = TVantrelLoader::LoadUndefinedModelFromFile(AOwner, AOptions);
  if (model)
    model->UpdatePackageWatch();
  return model;
}

TVantrelModel* TVantrelModel::LoadNewModelFromStream(TComponent* AOwner, rtl::TObject* APackage, TStream* AStream,
                                                     const std::string& APath, TAnimationCachingFlags ACaching) {
  TVantrelModel* model =
      TVantrelLoader::LoadUndefinedModelFromStream(AOwner, APackage, AStream, APath, ACaching);
  if (model)
    model->UpdatePackageWatch();
  return model;
}

TVantrelModel* TVantrelModel::LoadNewModelFromStream(TComponent* AOwner, TStream* AStream,
                                                     const TVantrelLoadOptions& AOptions) {
  TVantrelModel* model = TVantrelLoader::LoadUndefinedModelFromStream(AOwner, AStream, AOptions);
  if (model)
    model->UpdatePackageWatch();
  return model;
}

TVantrelModel* TVantrelModel::LoadNewModelFromDef(TComponent* AOwner, TModelDef* ADef,
                                                  TAnimationCachingFlags ACaching) {
  TVantrelModel* model = TVantrelLoader::LoadModelFromDef(AOwner, ADef, ACaching);
  if (model)
    model->UpdatePackageWatch();
  return model;
}

TVantrelModel* TVantrelModel::LoadNewModelFromDef(TComponent* AOwner, TModelDef* ADef,
                                                  const TVantrelLoadOptions& AOptions) {
  TVantrelModel* model = TVantrelLoader::LoadModelFromDef(AOwner, ADef, AOptions);
  if (model)
    model->UpdatePackageWatch();
  return model;
}

namespace {

// Caches the one new animation for AModel unless it is cached already or no caching is asked for.
void CacheAddedAnimation(TModelDef* AModelDef, TAnimationDef* AAnimation, TAnimationCachingFlags ACaching,
                         TVantrelModel* AModel) {
  if (!AModelDef || !AAnimation || AAnimation->IsCached() || ACaching.IsEmpty())
    return;
  const TValue selected[] = {TValue::From<std::string>(AAnimation->GetId())};
  AModelDef->CacheAnimations(selected, ACaching, AModel);
}

} // namespace

TVantrelAnimation* TVantrelModel::AddAnimationFromFile(const std::string& AFilename,
                                                       TAnimationCachingFlags ACaching) {
  auto* def = dynamic_cast<TModelDef*>(Def());
  TAnimationDef* animation = TVantrelLoader::LoadUndefinedAnimationDefFromFile(def, AFilename);
  TVantrelAnimation* result = AddAnimationFromDef(animation);
  CacheAddedAnimation(def, animation, ACaching, this);
  return result;
}

TVantrelAnimation* TVantrelModel::AddAnimationFromStream(TStream* AStream, const std::string& AFileName,
                                                         TAnimationCachingFlags ACaching) {
  auto* def = dynamic_cast<TModelDef*>(Def());
  TAnimationDef* animation = TVantrelLoader::LoadUndefinedAnimationDefFromStream(def, AStream, AFileName);
  TVantrelAnimation* result = AddAnimationFromDef(animation);
  CacheAddedAnimation(def, animation, ACaching, this);
  return result;
}

} // namespace vantrel
