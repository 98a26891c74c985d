#include "definitions/Vantrel.Loader.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

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
  // The loader is chosen first, so an unknown format fails without touching the file.
  const std::string ext = AOptions.GetExtension();
  TVantrelLoader* loader = GetLoaderByExtension(ext);
  if (!loader)
    throw EVantrelLoaderException(Format("model format not supported: %s", {AOptions.FileInfo.PathOrUID}));
  const TOwned<TStream> stream = OpenSource(AOptions, "TVantrelLoader.LoadUndefinedModelDefFromFile");
  return loader->LoadModelDefFromStream(stream.get(), WithExtension(AOptions, ext));
}

TModelDef* TVantrelLoader::LoadUndefinedModelDefFromStream(TStream* AStream, rtl::TObject* APackage,
                                                           const std::string& APath, const std::string& AExt) {
  return LoadUndefinedModelDefFromStream(AStream, TVantrelLoadOptions::Create(APath, AExt, APackage, nullptr));
}

TModelDef* TVantrelLoader::LoadUndefinedModelDefFromStream(TStream* AStream, const TVantrelLoadOptions& AOptions) {
  const std::string ext = AOptions.GetExtension();
  TVantrelLoader* loader = GetLoaderByExtension(ext);
  if (!loader)
    throw EVantrelLoaderException(Format("model format not supported: %s - check if unit is included \"Vantrel%s.Loader",
                                         {AOptions.FileInfo.PathOrUID, ext}));
  return loader->LoadModelDefFromStream(AStream, WithExtension(AOptions, ext));
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
