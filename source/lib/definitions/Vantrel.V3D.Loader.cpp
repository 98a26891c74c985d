#include "definitions/Vantrel.V3D.Loader.h"

#include <algorithm>
#include <atomic>
#include <optional>

#include "definitions/Vantrel.AssetsManager.h"
#include "formats/v3d/Vantrel.JSON.BSON.h"
#include "rtl/json_stream.h"
#include "rtl/sysutils.h"
#include "rtl/zlib_streams.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelLoaderV3D, "Vantrel.V3D.Loader")

namespace {

constexpr int64_t FormatBodyLimit = int64_t{0x7FFFFFFF};
constexpr int64_t CopyChunkSize = 1048576;

std::atomic<int64_t> MaxBodySize{FormatBodyLimit};
// The models read since the unit started; they are named after it.
std::atomic<int32_t> ModelCounter{0};

int InitCount = 0;
TOwned<TVantrelLoaderV3D> Instance;

// The inflated body, at most the current limit.
TBytes InflateBody(TStream& AStream) {
  const int64_t limit = MaxBodySize.load();
  TZDecompressionStream inflater(&AStream, ZAutoDetect);
  TBytes body;
  for (;;) {
    const size_t start = body.size();
    const int64_t room = limit - static_cast<int64_t>(start);
    // One byte beyond the limit is asked for, so a body just over it is seen.
    const int64_t count = std::min(CopyChunkSize, room + 1);
    body.resize(start + static_cast<size_t>(count));
    const int64_t read = inflater.Read(body.data() + start, count);
    body.resize(start + static_cast<size_t>(read));
    if (static_cast<int64_t>(body.size()) > limit)
      throw EZDecompressionError(Format("V3D body exceeds %d bytes", {limit}));
    if (read == 0)
      return body;
  }
}

TBytes PlainBody(TStream& AStream) {
  const int64_t size = AStream.GetSize() - AStream.GetPosition();
  if (size > MaxBodySize.load())
    throw EZDecompressionError(Format("V3D body exceeds %d bytes", {MaxBodySize.load()}));
  TBytes body(static_cast<size_t>(std::max<int64_t>(size, 0)));
  if (!body.empty())
    AStream.ReadBuffer(body.data(), static_cast<int64_t>(body.size()));
  return body;
}

std::unique_ptr<TJSONObject> AsObject(std::unique_ptr<TJSONValue> AValue, const char* AFailure) {
  if (!AValue)
    throw Exception(AFailure);
  auto* object = dynamic_cast<TJSONObject*>(AValue.get());
  if (!object)
    throw EInvalidCast(rtl::messages::InvalidCast);
  (void)AValue.release();
  return std::unique_ptr<TJSONObject>(object);
}

std::unique_ptr<TJSONObject> DecodeBSON(TBytes& ABody) {
  if (ABody.empty())
    throw Exception("failed to read bson data");
  TBytesStream stream(std::move(ABody));
  TBsonReader reader(&stream);
  TJsonObjectWriter writer(false);
  while (reader.Read())
    writer.WriteToken(reader);
  std::unique_ptr<TJSONValue> tree = writer.ExtractJSON();
  // A truncated body never closes its root, so it gives no tree at all.
  if (!tree || !dynamic_cast<TJSONObject*>(tree.get()))
    throw Exception("failed to read bson data");
  return AsObject(std::move(tree), "failed to read bson data");
}

std::unique_ptr<TJSONObject> DecodeJSON(const TBytes& ABody) {
  std::unique_ptr<TJSONValue> tree =
      TJSONValue::ParseJSONValue(std::string_view(reinterpret_cast<const char*>(ABody.data()), ABody.size()), false);
  return AsObject(std::move(tree), "failed to read json data");
}

// The options' package as an assets package; another kind of object raises EInvalidCast.
TVantrelAssetsPackage* PackageOf(const TVantrelLoadOptions& AOptions) {
  if (!AOptions.Package)
    return nullptr;
  auto* package = dynamic_cast<TVantrelAssetsPackage*>(AOptions.Package);
  if (!package)
    throw EInvalidCast(rtl::messages::InvalidCast);
  return package;
}

// An asset of the package's model group taken as a model asset; another class raises EInvalidCast.
TVantrelModelAsset* AsModelAsset(TVantrelAsset* AAsset) {
  if (!AAsset)
    return nullptr;
  auto* asset = dynamic_cast<TVantrelModelAsset*>(AAsset);
  if (!asset)
    throw EInvalidCast(rtl::messages::InvalidCast);
  return asset;
}

// The model asset a load into APackage is for: the options' Asset when it is a model asset (one of
// another class is not used), else the model group's asset for the file.
TVantrelModelAsset* AssetFor(TVantrelAssetsPackage* APackage, const TVantrelLoadOptions& AOptions) {
  if (!APackage)
    return nullptr;
  if (auto* asset = dynamic_cast<TVantrelModelAsset*>(AOptions.Asset))
    return asset;
  TVantrelAssetsGroup* group = APackage->GetGroup(0);
  if (!group)
    return nullptr;
  return AsModelAsset(group->FindAssetByFilename(AOptions.FileInfo.PathOrUID, AOptions.FileInfo.StrictFilename));
}

// An empty model asset this load added for its file to the package's model group. Unless the load
// keeps it, it leaves the group again (its removal events fire), so a failed read leaves no empty
// asset behind to be saved with the package.
class TAddedAsset {
public:
  TAddedAsset(TVantrelAssetsPackage& APackage, const TVantrelFileInfo& AFile) {
    // A package that lost its model group gets it back, so the definition has an owner.
    FGroup = APackage.GetGroup(0);
    if (!FGroup)
      FGroup = APackage.AddGroup(TVantrelModelAsset::StaticClass());
    FAsset = AsModelAsset(FGroup->AddEmptyAsset(AFile.PathOrUID, AFile.StrictFilename));
    if (!FAsset)
      throw EInvalidCast(rtl::messages::InvalidCast);
  }
  ~TAddedAsset() {
    if (FAsset && !FKept)
      FGroup->Assets().Remove(FAsset->Id());
  }
  TAddedAsset(const TAddedAsset&) = delete;
  TAddedAsset& operator=(const TAddedAsset&) = delete;
  TVantrelModelAsset* Asset() const { return FAsset; }
  void Keep() { FKept = true; }

private:
  TVantrelAssetsGroup* FGroup = nullptr;
  TVantrelModelAsset* FAsset = nullptr;
  bool FKept = false;
};

} // namespace

int64_t GetV3DMaxBodySize() { return MaxBodySize.load(); }

void SetV3DMaxBodySize(int64_t AValue) { MaxBodySize.store(std::clamp<int64_t>(AValue, 0, FormatBodyLimit)); }

std::unique_ptr<TJSONObject> ReadV3DModelJSON(TStream& AStream, TVantrelV3DHeader* AHeader) {
  TVantrelV3DHeader header;
  header.ReadFrom(AStream);
  if (AHeader)
    *AHeader = header;
  if (header.Format != TVantrelV3DFormat::BSONFormat && header.Format != TVantrelV3DFormat::JSONFormat)
    throw Exception("invalid V3D format set");
  TBytes body = header.GetOptions().Contains(TVantrelV3DOption::Zipped) ? InflateBody(AStream) : PlainBody(AStream);
  if (header.Format == TVantrelV3DFormat::BSONFormat)
    return DecodeBSON(body);
  return DecodeJSON(body);
}

TModelDef* TVantrelLoaderV3D::LoadModelDefFromStream(TStream* AStream, const TVantrelLoadOptions& AOptions) {
  const TVantrelLoaderScope scope(this, AOptions);
  TVantrelAssetsPackage* package = PackageOf(AOptions);
  TVantrelModelAsset* asset = AssetFor(package, AOptions);
  // A file the package already read is not read again.
  if (asset && asset->Model())
    return asset->Model();
  if (!AStream)
    throw EReadError("V3D reader given no stream");
  const std::unique_ptr<TJSONObject> json = ReadV3DModelJSON(*AStream);
  // Declared before the definition, so that a failed read frees the definition (whose texture
  // registry may refer to assets in the added asset's sub-groups) before it removes the asset.
  std::optional<TAddedAsset> added;
  // Held here until an asset takes it, so that a failure in FromJSON frees it.
  TOwned<TModelDef> def = MakeOwned<TModelDef>();
  def->SetPackage(package);
  def->ApplyBitmapCache(AOptions.BitmapCache);
  if (package && !asset) {
    added.emplace(*package, AOptions.FileInfo);
    asset = added->Asset();
  }
  def->SetAsset(asset);
  def->SetFilename(AOptions.FileInfo.PathOrUID);
  def->SetId(Format("V3DModel%d", {++ModelCounter}));
  def->FromJSON(def.get(), *json);
  if (!package)
    return def.release();
  TModelDef* result = def.get();
  asset->SetModel(std::move(def));
  if (added)
    added->Keep();
  return result;
}

void InitializeV3DLoader() {
  if (InitCount++ > 0)
    return;
  ModelCounter = 0;
  Instance = MakeOwned<TVantrelLoaderV3D>();
  TVantrelLoader::GetLoaderRegistry().Add(".v3d", Instance.get());
}

void FinalizeV3DLoader() {
  if (InitCount == 0 || --InitCount > 0)
    return;
  TVantrelLoader::GetLoaderRegistry().Remove(".v3d");
  Instance.reset();
}

} // namespace vantrel
