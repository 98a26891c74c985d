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

} // namespace

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

void InitializeLoader() { ++InitCount; }

void FinalizeLoader() {
  if (InitCount == 0 || --InitCount > 0)
    return;
  Registry.reset();
}

} // namespace vantrel
