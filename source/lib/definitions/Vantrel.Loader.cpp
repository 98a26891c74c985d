#include "definitions/Vantrel.Loader.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "definitions/Vantrel.AssetsManager.h"
#include "rtl/ioutils.h"
#include "rtl/random.h"
#include "rtl/sysutils.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelLoader, "Vantrel.Loader")

namespace {

int InitCount = 0;
std::unique_ptr<TVantrelLoaderRegistry> Registry;
// The load that runs on this thread; zero at thread start.
thread_local TVantrelLoaderThreadInfo ThreadInfo;

std::string AsciiLower(std::string_view AText) {
  std::string result(AText);
  for (char& c : result)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return result;
}

// Floor(ALimit x ARatio), the ratio computed in double and rounded to single precision first.
int32_t Scaled(int32_t ALimit, int32_t ANumerator, int32_t ADenominator) {
  const auto ratio = static_cast<float>(static_cast<double>(ANumerator) / static_cast<double>(ADenominator));
  return static_cast<int32_t>(std::floor(static_cast<double>(ALimit) * static_cast<double>(ratio)));
}

bool MatchesPictureMask(const std::string& AName) {
  static constexpr std::string_view Masks = "*.jpg;*.jpeg;*.png";
  for (size_t start = 0; start <= Masks.size();) {
    const size_t end = std::min(Masks.find(';', start), Masks.size());
    if (MatchesMask(AName, Masks.substr(start, end - start)))
      return true;
    start = end + 1;
  }
  return false;
}

// The source the options name: the file PathOrUID (read-only, others may read and write it
// meanwhile), or an empty memory stream for a download, whose data nobody fetches. Another open
// format raises "<AOperation> : open format not supported".
TOwned<TStream> OpenSource(const TVantrelLoadOptions& AOptions, const char* AOperation) {
  switch (AOptions.FileInfo.OpenFormat) {
  case TVantrelFileOpenFormat::fofLocal:
    return MakeOwned<TFileStream>(AOptions.FileInfo.PathOrUID, fmOpenRead | fmShareDenyNone);
  case TVantrelFileOpenFormat::fofDownload:
    return MakeOwned<TMemoryStream>();
  }
  throw Exception(std::string(AOperation) + " : open format not supported");
}

// The file the options name, opened read-only and exclusively, or the empty stream of a download.
TOwned<TStream> OpenExclusive(const TVantrelLoadOptions& AOptions) {
  switch (AOptions.FileInfo.OpenFormat) {
  case TVantrelFileOpenFormat::fofLocal:
    return MakeOwned<TFileStream>(AOptions.FileInfo.PathOrUID, fmOpenRead | fmShareExclusive);
  case TVantrelFileOpenFormat::fofDownload:
    return MakeOwned<TMemoryStream>();
  }
  throw Exception("TVantrelLoader.LoadExistingModelFromFile : open format not supported");
}

// The loader of the options' extension; none raises "model format not supported: <path>".
TVantrelLoader* RequireLoader(const std::string& AExt, const TVantrelLoadOptions& AOptions) {
  TVantrelLoader* loader = TVantrelLoader::GetLoaderByExtension(AExt);
  if (!loader)
    throw EVantrelLoaderException(Format("model format not supported: %s", {AOptions.FileInfo.PathOrUID}));
  return loader;
}

// Hands a definition that a reader made to the asset the load is for, unless an asset holds it
// already. The definition joins the asset's package first, so that the model control that shows
// it does not take it for its own.
void HandToAsset(TVantrelModelAsset* AAsset, TModelDef* ADef) {
  if (!AAsset || !ADef || AAsset->Model() == ADef)
    return;
  // One that another asset holds stays there: two owners would free it twice.
  if (ADef->GetAsset() && ADef->GetAsset() != AAsset)
    return;
  if (!ADef->GetPackage())
    ADef->SetPackage(AAsset->Package());
  AAsset->SetModel(TOwned<TModelDef>(ADef));
}

// A copy of the options whose FileInfo.Ext is the extension the loader was chosen by.
TVantrelLoadOptions WithExtension(const TVantrelLoadOptions& AOptions, const std::string& AExt) {
  TVantrelLoadOptions result = AOptions;
  result.FileInfo.Ext = AExt;
  return result;
}

template <class TIndex>
void FillDef(TMeshDef* ADef, TVertexCache* ACache, const std::vector<TVertexData>& AVertices,
             const std::vector<TIndex>& AIndices) {
  if (!ADef || !ACache || AVertices.empty())
    return;
  ADef->AddVertices(AVertices, 0, static_cast<int32_t>(AVertices.size()));
  ADef->AddIndices(AIndices, 0, static_cast<int32_t>(AIndices.size()), 0);
  TMaterialDef* material = ACache->DoOnCreateDefaultMaterial(ADef);
  ACache->DoOnCreateMaterialRef(ADef, material);
  TVantrelLoader::AutoCalculateVertexData(ADef, ACache);
}

} // namespace

TModelDef* TVantrelLoader::LoadModelDefFromStream(TStream*, const TVantrelLoadOptions&) {
  throw EAbstractError("Abstract Error");
}

TModelDef* TVantrelLoader::LoadModelDefFromFile(const TVantrelLoadOptions& AOptions) {
  const TOwned<TStream> stream = OpenSource(AOptions, "TVantrelLoader.LoadModelDefFromFile");
  return LoadModelDefFromStream(stream.get(), AOptions);
}

TModelDef* TVantrelLoader::LoadModelDefFromStream(TStream* AStream, rtl::TObject* APackage, const std::string& APath) {
  return LoadModelDefFromStream(AStream, TVantrelLoadOptions::Create(APath, APackage, nullptr));
}

TModelDef* TVantrelLoader::LoadModelDefFromFile(rtl::TObject* APackage, const std::string& AFilename) {
  return LoadModelDefFromFile(TVantrelLoadOptions::Create(AFilename, APackage, nullptr));
}

void TVantrelLoader::SetCurrentThreadLoader(TVantrelLoader* ALoader, const TVantrelLoadOptions& AOptions) {
  ThreadInfo.Loader = ALoader;
  ThreadInfo.Options = AOptions;
}

void TVantrelLoader::UnsetCurrentThreadLoader() { ThreadInfo.Loader = nullptr; }

TVantrelLoaderThreadInfo TVantrelLoader::GetCurrentLoaderThreadInfo() { return ThreadInfo; }

TModelDef* TVantrelLoader::LoadUndefinedModelDefFromFile(rtl::TObject* APackage, const std::string& AFilename) {
  return LoadUndefinedModelDefFromFile(TVantrelLoadOptions::Create(AFilename, APackage, nullptr));
}

TModelDef* TVantrelLoader::LoadUndefinedModelDefFromFile(const TVantrelLoadOptions& AOptions) {
  const std::string ext = AOptions.GetExtension();
  TVantrelLoader* loader = GetLoaderByExtension(ext);
  // Without a package or an asset nothing could stand in for a reader, so an unknown format fails
  // before the file is opened.
  if (!loader && !AOptions.Package && !AOptions.Asset)
    RequireLoader(ext, AOptions);
  const TOwned<TStream> stream = OpenSource(AOptions, "TVantrelLoader.LoadUndefinedModelDefFromFile");
  TVantrelModelAsset* asset = FindExistingAssetInPackage(AOptions);
  if (asset && asset->Model())
    return asset->Model();
  TModelDef* def = RequireLoader(ext, AOptions)->LoadModelDefFromStream(stream.get(), WithExtension(AOptions, ext));
  HandToAsset(asset, def);
  return def;
}

TModelDef* TVantrelLoader::LoadUndefinedModelDefFromStream(TStream* AStream, rtl::TObject* APackage,
                                                           const std::string& APath, const std::string& AExt) {
  return LoadUndefinedModelDefFromStream(AStream, TVantrelLoadOptions::Create(APath, AExt, APackage, nullptr));
}

TModelDef* TVantrelLoader::LoadUndefinedModelDefFromStream(TStream* AStream, const TVantrelLoadOptions& AOptions) {
  TVantrelModelAsset* asset = FindExistingAssetInPackage(AOptions);
  if (asset && asset->Model())
    return asset->Model();
  const std::string ext = AOptions.GetExtension();
  TVantrelLoader* loader = GetLoaderByExtension(ext);
  if (!loader)
    throw EVantrelLoaderException(Format("model format not supported: %s - check if unit is included \"Vantrel%s.Loader",
                                         {AOptions.FileInfo.PathOrUID, ext}));
  TModelDef* def = loader->LoadModelDefFromStream(AStream, WithExtension(AOptions, ext));
  HandToAsset(asset, def);
  return def;
}

TVantrelModelAsset* TVantrelLoader::FindExistingAssetInPackage(const TVantrelLoadOptions& AOptions) {
  if (auto* asset = dynamic_cast<TVantrelModelAsset*>(AOptions.Asset))
    return asset;
  auto* package = dynamic_cast<TVantrelAssetsPackage*>(AOptions.Package);
  if (!package)
    return nullptr;
  if (!package->HasArchive())
    package->Refresh();
  return dynamic_cast<TVantrelModelAsset*>(
      package->FindAsset(AOptions.FileInfo.PathOrUID, AOptions.FileInfo.StrictFilename));
}

// ---- model-control forms (making and filling the control: scene/Vantrel.Model.Loading.cpp) ----

TVantrelModel* TVantrelLoader::LoadModelFromFile(rtl::TComponent* AOwner, const TVantrelLoadOptions& AOptions) {
  if (AOptions.FileInfo.OpenFormat == TVantrelFileOpenFormat::fofLocal && !FLoadFromStreamAllowed)
    return LoadModelFromStream(AOwner, nullptr, AOptions);
  const TOwned<TStream> stream = OpenSource(AOptions, "TVantrelLoader.LoadModelFromFile");
  return LoadModelFromStream(AOwner, stream.get(), AOptions);
}

void TVantrelLoader::LoadExistingModelFromFile(TVantrelModel* AModel, const TVantrelLoadOptions& AOptions) {
  const TOwned<TStream> stream = OpenExclusive(AOptions);
  LoadExistingModelFromStream(AModel, stream.get(), AOptions);
}

void TVantrelLoader::LoadExistingModelFromFile(TVantrelModel* AModel, rtl::TObject* APackage,
                                               const std::string& AFilename, TAnimationCachingFlags ACaching) {
  LoadExistingModelFromFile(AModel, TVantrelLoadOptions::Create(AFilename, ACaching, APackage, nullptr));
}

TVantrelModel* TVantrelLoader::LoadModelFromFile(rtl::TComponent* AOwner, rtl::TObject* APackage,
                                                 const std::string& AFilename, TAnimationCachingFlags ACaching) {
  return LoadModelFromFile(AOwner, TVantrelLoadOptions::Create(AFilename, ACaching, APackage, nullptr));
}

TVantrelModel* TVantrelLoader::LoadModelFromStream(rtl::TComponent* AOwner, rtl::TObject* APackage, TStream* AStream,
                                                   const std::string& APath, TAnimationCachingFlags ACaching) {
  return LoadModelFromStream(AOwner, AStream, TVantrelLoadOptions::Create(APath, ACaching, APackage, nullptr));
}

void TVantrelLoader::LoadExistingModelFromStream(TVantrelModel* AModel, rtl::TObject* APackage, TStream* AStream,
                                                 const std::string& APath, TAnimationCachingFlags ACaching) {
  LoadExistingModelFromStream(AModel, AStream, TVantrelLoadOptions::Create(APath, ACaching, APackage, nullptr));
}

TVantrelModel* TVantrelLoader::LoadUndefinedModelFromFile(rtl::TComponent* AOwner, rtl::TObject* APackage,
                                                          const std::string& AFilename,
                                                          TAnimationCachingFlags ACaching) {
  return LoadUndefinedModelFromFile(AOwner, TVantrelLoadOptions::Create(AFilename, ACaching, APackage, nullptr));
}

TVantrelModel* TVantrelLoader::LoadUndefinedModelFromFile(rtl::TComponent* AOwner,
                                                          const TVantrelLoadOptions& AOptions) {
  TVantrelModelAsset* asset = FindExistingAssetInPackage(AOptions);
  if (asset && asset->Model())
    return LoadModelFromDef(AOwner, asset->Model(), AOptions);
  const std::string ext = AOptions.GetExtension();
  TVantrelModel* model = RequireLoader(ext, AOptions)->LoadModelFromFile(AOwner, WithExtension(AOptions, ext));
  HandToAsset(asset, ModelDefOf(model));
  return model;
}

void TVantrelLoader::LoadUndefinedExistingModelFromFile(TVantrelModel* AModel, rtl::TObject* APackage,
                                                        const std::string& AFilename,
                                                        TAnimationCachingFlags ACaching) {
  LoadUndefinedExistingModelFromFile(AModel, TVantrelLoadOptions::Create(AFilename, ACaching, APackage, nullptr));
}

void TVantrelLoader::LoadUndefinedExistingModelFromFile(TVantrelModel* AModel, const TVantrelLoadOptions& AOptions) {
  TVantrelModelAsset* asset = FindExistingAssetInPackage(AOptions);
  if (asset && asset->Model()) {
    LoadExistingModelFromDef(AModel, asset->Model(), AOptions);
    return;
  }
  // A package load names the stored format ".v3d"; the file's own extension decides here.
  TVantrelLoadOptions options = AOptions;
  if (options.FileInfo.Ext == ".v3d")
    options.FileInfo.Ext.clear();
  const std::string ext = options.GetExtension();
  RequireLoader(ext, options)->LoadExistingModelFromFile(AModel, WithExtension(options, ext));
  HandToAsset(asset, ModelDefOf(AModel));
}

TVantrelModel* TVantrelLoader::LoadUndefinedModelFromStream(rtl::TComponent* AOwner, rtl::TObject* APackage,
                                                            TStream* AStream, const std::string& APath,
                                                            TAnimationCachingFlags ACaching) {
  return LoadUndefinedModelFromStream(AOwner, AStream, TVantrelLoadOptions::Create(APath, ACaching, APackage, nullptr));
}

TVantrelModel* TVantrelLoader::LoadUndefinedModelFromStream(rtl::TComponent* AOwner, TStream* AStream,
                                                            const TVantrelLoadOptions& AOptions) {
  TVantrelModelAsset* asset = FindExistingAssetInPackage(AOptions);
  if (asset && asset->Model())
    return LoadModelFromDef(AOwner, asset->Model(), AOptions);
  const std::string ext = AOptions.GetExtension();
  TVantrelModel* model =
      RequireLoader(ext, AOptions)->LoadModelFromStream(AOwner, AStream, WithExtension(AOptions, ext));
  HandToAsset(asset, ModelDefOf(model));
  return model;
}

void TVantrelLoader::LoadUndefinedExistingModelFromStream(TVantrelModel* AModel, rtl::TObject* APackage,
                                                          TStream* AStream, const std::string& APath,
                                                          TAnimationCachingFlags ACaching) {
  LoadUndefinedExistingModelFromStream(AModel, AStream, TVantrelLoadOptions::Create(APath, ACaching, APackage, nullptr));
}

void TVantrelLoader::LoadUndefinedExistingModelFromStream(TVantrelModel* AModel, TStream* AStream,
                                                          const TVantrelLoadOptions& AOptions) {
  TVantrelModelAsset* asset = FindExistingAssetInPackage(AOptions);
  if (asset && asset->Model()) {
    LoadExistingModelFromDef(AModel, asset->Model(), AOptions);
    return;
  }
  const std::string ext = AOptions.GetExtension();
  RequireLoader(ext, AOptions)->LoadExistingModelFromStream(AModel, AStream, WithExtension(AOptions, ext));
  HandToAsset(asset, ModelDefOf(AModel));
}

TVantrelModel* TVantrelLoader::LoadModelFromDef(rtl::TComponent* AOwner, TModelDef* ADef,
                                                TAnimationCachingFlags ACaching) {
  return LoadModelFromDef(AOwner, ADef, TVantrelLoadOptions::Create("", ACaching, nullptr, nullptr, nullptr));
}

void TVantrelLoader::LoadExistingModelFromDef(TVantrelModel* AModel, TModelDef* ADef, TAnimationCachingFlags ACaching) {
  LoadExistingModelFromDef(AModel, ADef, TVantrelLoadOptions::Create("", ACaching, nullptr, nullptr, nullptr));
}

TAnimationDef* TVantrelLoader::LoadAnimationDefFromFile(TModelDef* AModel, const std::string& AFilename) {
  TFileStream stream(AFilename, fmOpenRead | fmShareDenyNone);
  return LoadAnimationDefFromStream(AModel, &stream, AFilename);
}

TAnimationDef* TVantrelLoader::LoadAnimationDefFromStream(TModelDef*, TStream*, const std::string&) { return nullptr; }

TVantrelLoaderRegistry& TVantrelLoader::GetLoaderRegistry() {
  if (!Registry)
    Registry = std::make_unique<TVantrelLoaderRegistry>();
  return *Registry;
}

TVantrelLoader* TVantrelLoader::GetLoaderByExtension(const std::string& AExt) {
  TVantrelLoader* result = nullptr;
  GetLoaderRegistry().TryGetValue(AsciiLower(AExt), result);
  return result;
}

TAnimationDef* TVantrelLoader::LoadUndefinedAnimationDefFromFile(TModelDef* AModel, const std::string& AFilename) {
  TVantrelLoader* loader = GetLoaderByExtension(TPath::GetExtension(AFilename));
  if (!loader)
    throw EVantrelLoaderException(Format("model format not supported: %s", {AFilename}));
  return loader->LoadAnimationDefFromFile(AModel, AFilename);
}

TAnimationDef* TVantrelLoader::LoadUndefinedAnimationDefFromStream(TModelDef* AModel, TStream* AStream,
                                                                  const std::string& AFileName) {
  TVantrelLoader* loader = AModel ? GetLoaderByExtension(TPath::GetExtension(AModel->GetFilename())) : nullptr;
  if (!loader)
    throw EVantrelLoaderException(Format("model format not supported: %s", {AFileName}));
  return loader->LoadAnimationDefFromStream(AModel, AStream, AFileName);
}

void TVantrelLoader::LoadDefFromData(TMeshDef* ADef, TVertexCache* ACache, const std::vector<TVertexData>& AVertices,
                                     const std::vector<TTriangleIndex>& AIndices) {
  FillDef(ADef, ACache, AVertices, AIndices);
}

void TVantrelLoader::LoadDefFromData(TMeshDef* ADef, TVertexCache* ACache, const std::vector<TVertexData>& AVertices,
                                     const std::vector<uint32_t>& AIndices) {
  FillDef(ADef, ACache, AVertices, AIndices);
}

void TVantrelLoader::LoadDefFromData(TMeshDef* ADef, TVertexCache* ACache) {
  if (!ADef || !ACache)
    return;
  if (ACache->IndexKind == TCacheIndexKind::ikPointIndex)
    LoadDefFromData(ADef, ACache, ACache->Vertices, ACache->PointIndices);
  else
    LoadDefFromData(ADef, ACache, ACache->Vertices, ACache->Indices);
}

void TVantrelLoader::AutoCalculateVertexData(TMeshDef* ADef, TVertexCache* ACache) {
  if (!ADef || !ACache || !ADef->GetVertexSource() || ADef->GetVertexSource()->Length() == 0)
    return;
  if (!ACache->NormalsAvailable)
    ADef->CalcSmoothNormals(TMeshDefCalculateNormalMethod::cnmFastest, 0.001f, true);
  if (!ACache->TangentsAvailable)
    ADef->CalcTangentBinormals(false);
  if (!ACache->TexCoordsAvailable)
    ADef->CalcTextureCoordinates();
}

bool TVantrelLoader::LimitTextureSize(TBitmap* ABitmap, TPoint ALimits) {
  if (!ABitmap)
    return false;
  const int32_t width = ABitmap->Width();
  const int32_t height = ABitmap->Height();
  if (ALimits.X > 0 && width > ALimits.X) {
    ABitmap->Resize(ALimits.X, Scaled(ALimits.X, height, width));
    return true;
  }
  if (ALimits.Y > 0 && height > ALimits.Y) {
    ABitmap->Resize(Scaled(ALimits.Y, width, height), ALimits.Y);
    return true;
  }
  return false;
}

bool TVantrelLoader::LimitTextureSize(const std::string& AFileName, TPoint ALimits) {
  TOwned<TBitmap> bitmap = MakeOwned<TBitmap>();
  bitmap->LoadFromFile(AFileName);
  if (!LimitTextureSize(bitmap.get(), ALimits))
    return false;
  // The bitmap picks its codec by extension, so the sibling temporary keeps it at the end.
  uint32_t bits = 0;
  SystemRandomBytes(&bits, sizeof(bits));
  char tag[16];
  std::snprintf(tag, sizeof(tag), ".%08x.tmp", bits);
  const std::string temp = AFileName + tag + TPath::GetExtension(AFileName);
  try {
    bitmap->SaveToFile(temp);
    TFile::Replace(temp, AFileName);
  } catch (...) {
    TFile::Delete(temp);
    throw;
  }
  return true;
}

void TVantrelLoader::LimitTextureSizes(const std::string& ADir, TPoint ALimits) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(ADir))
    if (entry.is_regular_file() && MatchesPictureMask(entry.path().filename().string()))
      files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  for (const std::string& file : files)
    LimitTextureSize(file, ALimits);
}

TVantrelLoaderScope::TVantrelLoaderScope(TVantrelLoader* ALoader, const TVantrelLoadOptions& AOptions) {
  // Only a record with a loader belongs to a running outer load and is put back; the options of
  // a finished load are not worth keeping over this one's.
  if (ThreadInfo.Loader)
    FPrevious = ThreadInfo;
  TVantrelLoader::SetCurrentThreadLoader(ALoader, AOptions);
}

TVantrelLoaderScope::~TVantrelLoaderScope() {
  if (FPrevious.Loader)
    ThreadInfo = std::move(FPrevious);
  else
    TVantrelLoader::UnsetCurrentThreadLoader();
}

void InitializeLoader() { ++InitCount; }

void FinalizeLoader() {
  if (InitCount == 0 || --InitCount > 0)
    return;
  Registry.reset();
}

} // namespace vantrel
