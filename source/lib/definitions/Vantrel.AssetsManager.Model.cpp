// The model asset: one owned model definition, stored in the package as compact .v3d JSON, with
// the ten standard sub-groups for the media the model uses.

#include "definitions/Vantrel.AssetsManager.Internal.h"
#include "definitions/Vantrel.V3D.Exporter.h"
#include "definitions/Vantrel.V3D.Loader.h"

namespace vantrel {

RTL_DEFINE_CLASS_META(TVantrelModelAsset, "Vantrel.AssetsManager", TVantrelModelAssetMeta)

namespace {

constexpr const char* ModelFilenameEmpty = "AssetsManager.ModelAsset - filename empty";
constexpr const char* ModelInvalidExtension = "AssetsManager.ModelAsset exception - invalid file extension `%s`";

// Reads a .v3d from AStream into a new definition that belongs to APackage and AAsset before its
// members are read, so the textures it names resolve into the asset's sub-groups.
rtl::TOwned<TModelDef> ReadModelDef(rtl::TStream& AStream, const std::string& AFilename, rtl::TObject* APackage,
                                    rtl::TObject* AAsset) {
  std::unique_ptr<rtl::TJSONObject> json = ReadV3DModelJSON(AStream);
  rtl::TOwned<TModelDef> model(rtl::New<TModelDef>());
  model->SetFilename(AFilename);
  model->SetPackage(APackage);
  model->SetAsset(AAsset);
  model->FromJSON(model.get(), *json);
  return model;
}

} // namespace

const std::vector<std::string>& TVantrelModelAsset::ClassExtensions() {
  static const std::vector<std::string> extensions{".obj", ".v3d",  ".dae", ".stl", ".x3d",     ".x3dvz", ".x3dz",
                                                   ".fbx", ".gltf", ".glb", ".babylon", ".ply", ".skp"};
  return extensions;
}

// ---- class-level import ----

TVantrelAsset* TVantrelModelAssetClass::ImportFromStream(TVantrelAssetsGroup* AGroup, const std::string& AFilename,
                                                         rtl::TStream* AStream, TAssetImportFlags AFlags) const {
  if (!AGroup || !AStream)
    return nullptr;
  rtl::TOwned<TVantrelAsset> asset(CreateAsset(AGroup));
  asset->ImportFromStream(AFilename, AStream, AFlags);
  TVantrelAsset* result = asset.get();
  AGroup->Assets().Add(result->Id(), asset.release());
  return result;
}

// ---- TVantrelModelAsset ----

TVantrelModelAsset::TVantrelModelAsset(TVantrelAssetsGroup* AGroup) : TVantrelAsset(AGroup) {
  for (const TVantrelAssetClass* assetClass : TVantrelAssetClass::StandardClasses())
    AddSubGroup(*assetClass);
}

TVantrelModelAsset::~TVantrelModelAsset() = default;

void TVantrelModelAsset::SetModel(rtl::TOwned<TModelDef> AValue) {
  FModel = std::move(AValue);
  if (!FModel)
    return;
  FModel->SetAsset(this);
  if (!ReadingFromArchive())
    UpdateInArchive();
}

void TVantrelModelAsset::ImportFromStream(const std::string& AFilename, rtl::TStream* AStream, TAssetImportFlags) {
  if (AFilename.empty())
    throw EVantrelAssetsException(ModelFilenameEmpty);
  const std::string name = detail::BareName(AFilename);
  const size_t dot = name.rfind('.');
  const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  if (ext.size() < 2 || ext[0] != '.')
    throw EVantrelAssetsException(rtl::Format(ModelInvalidExtension, {ext}));
  SetFilename(name);
  SetExtension(detail::LowerExt(ext));
  if (!AStream)
    return;
  TVantrelAssetsPackage* package = Package();
  FModel = ReadModelDef(*AStream, AFilename, package, this);
  if (package && package->Manager())
    SaveToArchive(package->GetArchive(), Group()->GetGroupPath());
}

void TVantrelModelAsset::LoadPayload(TVantrelArchiveReference* AArchive, const std::string& APath) {
  const std::string path = PayloadPath(APath);
  if (!AArchive || !AArchive->FileExists(path))
    return;
  rtl::TMemoryStream payload;
  rtl::TZipHeader header;
  AArchive->ReadToStream(path, &payload, header);
  FModel.reset();
  SetModel(ReadModelDef(payload, Filename(), Package(), this));
}

void TVantrelModelAsset::SaveToArchive(TVantrelArchiveReference* AArchive, const std::string& AGroupPath) {
  TStoreGuard guard(*this);
  if (!guard.Active() || !AArchive)
    return;
  SetExtension(".v3d");
  TVantrelAsset::SaveToArchive(AArchive, AGroupPath);
  if (FModel) {
    rtl::TMemoryStream body;
    TOwned<TVantrelV3DExporter> exporter = rtl::MakeOwned<TVantrelV3DExporter>();
    exporter->SetFormat(TVantrelV3DFormat::JSONFormat);
    exporter->SetOptions({});
    exporter->SaveToStream(FModel.get(), &body);
    WritePayload(*AArchive, AGroupPath, body);
  }
  guard.Stored();
}

int64_t TVantrelModelAsset::GetSize() const {
  return TVantrelAsset::GetSize() + (FModel ? FModel->GetSize() : 0);
}

} // namespace vantrel
