// The model asset: one owned model definition, read through the loaders and stored in the package
// as compact .v3d JSON, with the ten standard sub-groups for the media the model uses.

#include "definitions/Vantrel.AssetsManager.Internal.h"
#include "definitions/Vantrel.Loader.h"
#include "definitions/Vantrel.V3D.Exporter.h"

namespace vantrel {

RTL_DEFINE_CLASS_META(TVantrelModelAsset, "Vantrel.AssetsManager", TVantrelModelAssetMeta)

namespace {

constexpr const char* ModelFilenameEmpty = "AssetsManager.ModelAsset - filename empty";
constexpr const char* ModelInvalidExtension = "AssetsManager.ModelAsset exception - invalid file extension `%s`";

// The options of a payload load: this asset's name and stored extension in its package, or the
// package's user options with the file name and extension filled in where they are empty. The
// package and the asset are filled in likewise, so that the reader hands the definition to this
// asset instead of adding another one for the file.
TVantrelLoadOptions PayloadOptions(TVantrelModelAsset& AAsset) {
  TVantrelAssetsPackage* package = AAsset.Package();
  if (!package || !package->UserLoadOptionsActive())
    return TVantrelLoadOptions::Create(AAsset.Filename(), AAsset.Extension(), package, &AAsset);
  TVantrelLoadOptions options = package->UserLoadOptions();
  if (options.FileInfo.PathOrUID.empty())
    options.FileInfo.PathOrUID = AAsset.Filename();
  if (options.FileInfo.Ext.empty())
    options.FileInfo.Ext = AAsset.Extension();
  if (!options.Package)
    options.Package = package;
  if (!options.Asset)
    options.Asset = &AAsset;
  return options;
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
  auto* collection = static_cast<TVantrelAssetsGroupCollection*>(AGroup->Collection());
  TVantrelAssetsPackage* package = collection ? collection->TryPackage() : nullptr;
  // The reader adds an asset for the file to the package's model group and hands it the
  // definition; one that no asset took is this import's to free.
  TModelDef* def = TVantrelLoader::LoadUndefinedModelDefFromStream(AStream, package, AFilename, "");
  const rtl::TOwned<TModelDef> orphan(def && !def->GetAsset() ? def : nullptr);
  const bool strict = AFlags.Contains(TAssetImportFlag::StrictFileName);
  TVantrelAsset* asset = AGroup->FindAssetByFilename(detail::BareName(AFilename), strict);
  if (!asset)
    throw rtl::Exception(rtl::Format("autocreated asset not found for %s", {AFilename}));
  if (package && package->Manager())
    asset->SaveToArchive(package->GetArchive(), AGroup->GetGroupPath());
  return asset;
}

// ---- TVantrelModelAsset ----

TVantrelModelAsset::TVantrelModelAsset(TVantrelAssetsGroup* AGroup) : TVantrelAsset(AGroup) {
  for (const TVantrelAssetClass* assetClass : TVantrelAssetClass::StandardClasses())
    AddSubGroup(*assetClass);
}

void TVantrelModelAsset::FreeModel() {
  if (!FModel)
    return;
  // Whatever shows the definition lets go of it first.
  if (auto* package = dynamic_cast<TVantrelAssetsPackage*>(FModel->GetPackage()))
    package->DefinitionFreeing(FModel.get());
  FModel.reset();
}

void TVantrelModelAsset::BeforeDestruction() {
  FreeModel();
  inherited::BeforeDestruction();
}

TVantrelModelAsset::~TVantrelModelAsset() = default;

void TVantrelModelAsset::SetModel(rtl::TOwned<TModelDef> AValue) {
  // A reader that handed this asset its definition already gives the same object again.
  if (AValue && AValue.get() == FModel.get())
    (void)AValue.release();
  else {
    if (FModel && AValue.get() != FModel.get())
      FreeModel();
    FModel = std::move(AValue);
  }
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
  // The loader answers an asset that holds a definition with that one, so a re-import would keep
  // the old model under the new name: the old definition goes first, as in LoadPayload.
  FreeModel();
  TakeRead(TVantrelLoader::LoadUndefinedModelDefFromStream(AStream, PayloadOptions(*this)));
  TVantrelAssetsPackage* package = Package();
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
  FreeModel();
  TakeRead(TVantrelLoader::LoadUndefinedModelDefFromStream(&payload, PayloadOptions(*this)));
  if (FModel)
    FModel->SetPackage(Package());
}

void TVantrelModelAsset::TakeRead(TModelDef* ADef) {
  // With a package the reader has handed the definition over already.
  if (!ADef || ADef == FModel.get() || (ADef->GetAsset() && ADef->GetAsset() != this))
    return;
  SetModel(rtl::TOwned<TModelDef>(ADef));
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
