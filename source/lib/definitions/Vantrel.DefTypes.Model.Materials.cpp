// The model definition's material table, behaviour list and texture-asset registry.

#include <algorithm>

#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"

namespace vantrel {

namespace {

// "/" becomes "\\", then one left-to-right pass turns each pair of backslashes into one (so four
// become two): names written on different systems compare alike.
std::string NormalizeTextureName(std::string_view AName) {
  std::string slashes(AName);
  std::replace(slashes.begin(), slashes.end(), '/', '\\');
  std::string result;
  result.reserve(slashes.size());
  for (size_t i = 0; i < slashes.size(); ++i) {
    result += slashes[i];
    if (slashes[i] == '\\' && i + 1 < slashes.size() && slashes[i + 1] == '\\')
      ++i;
  }
  return result;
}

// The texture asset an object is, nullptr for nullptr and for other objects.
const TVantrelTextureAsset* AsTextureAsset(const rtl::TObject* AObject) {
  return dynamic_cast<const TVantrelTextureAsset*>(AObject);
}

} // namespace

void TModelDef::FreeMaterialParts() {
  ClearBehaviours();
  // Entry by entry, each dropped before its material is freed: a layered material frees its
  // sub-materials, whose non-owning entries then leave the table themselves.
  while (FMaterials.Count() > 0) {
    const std::string id = FMaterials.begin()->Key;
    std::optional<rtl::TPair<std::string, TMaterialEntry>> entry = FMaterials.ExtractPair(id);
    if (entry && entry->Value.Owns)
      entry->Value.Material->Free();
  }
  ClearTextureAssets();
}

// ---- materials ----

void TModelDef::AddMaterial(const std::string& AId, TMaterialDef* AMaterial) {
  FMaterials.Add(AId, TMaterialEntry{AMaterial, !AMaterial || !AMaterial->GetParentMaterial()});
}

TMaterialDef* TModelDef::GetMaterial(std::string_view AId) const {
  const TMaterialEntry* entry = FMaterials.Find(std::string(AId));
  return entry ? entry->Material : nullptr;
}

void TModelDef::RemoveMaterial(std::string_view AId) {
  std::optional<rtl::TPair<std::string, TMaterialEntry>> entry = FMaterials.ExtractPair(std::string(AId));
  if (entry && entry->Value.Owns && entry->Value.Material)
    entry->Value.Material->Free();
}

void TModelDef::RegisterMaterial(const std::string& AId, TMaterialDef* AMaterial) {
  if (const TMaterialEntry* entry = FMaterials.Find(AId); entry && entry->Material == AMaterial)
    return;
  // A material read under a new id moves its entry, keeping its ownership.
  bool owns = !AMaterial->GetParentMaterial();
  for (const auto& pair : FMaterials)
    if (pair.Value.Material == AMaterial) {
      if (FMaterials.ContainsKey(AId))
        break; // the new id is taken: Add below raises and the old entry stays
      owns = pair.Value.Owns;
      const std::string oldId = pair.Key;
      FMaterials.ExtractPair(oldId);
      break;
    }
  FMaterials.Add(AId, TMaterialEntry{AMaterial, owns});
}

void TModelDef::UnregisterMaterial(TMaterialDef* AMaterial) {
  std::vector<std::string> ids;
  for (const auto& pair : FMaterials)
    if (pair.Value.Material == AMaterial)
      ids.push_back(pair.Key);
  for (const std::string& id : ids)
    FMaterials.ExtractPair(id);
}

void TModelDef::DisownMaterial(TMaterialDef* AMaterial) {
  std::vector<std::string> ids;
  for (const auto& pair : FMaterials)
    if (pair.Value.Material == AMaterial)
      ids.push_back(pair.Key);
  for (const std::string& id : ids)
    FMaterials.AddOrSetValue(id, TMaterialEntry{AMaterial, false});
}

// ---- behaviours ----

void TModelDef::AddBehaviour(TBehaviourDef* ABehaviour) {
  FBehaviours->Add(ABehaviour);
}

TMaterialBehaviourDef* TModelDef::AddNewMaterialBehaviour() {
  auto behaviour = MakeOwned<TMaterialBehaviourDef>();
  FBehaviours->Add(behaviour.get());
  return behaviour.release();
}

int TModelDef::IndexOfBehaviourById(std::string_view AUniqueId) const {
  for (int i = 0; i < FBehaviours->Count(); ++i)
    if ((*FBehaviours)[i]->GetId() == AUniqueId)
      return i;
  return -1;
}

TBehaviourDef* TModelDef::FindBehaviourById(std::string_view AUniqueId) const {
  const int index = IndexOfBehaviourById(AUniqueId);
  return index < 0 ? nullptr : (*FBehaviours)[index];
}

TBehaviourDef* TModelDef::GetBehaviour(const TBehaviourRefDef* ARef) const {
  return ARef ? FindBehaviourById(ARef->GetId()) : nullptr;
}

void TModelDef::RemoveBehaviour(const TBehaviourRefDef* ARef) {
  if (ARef)
    RemoveBehaviourById(ARef->GetId());
}

void TModelDef::RemoveBehaviourById(std::string_view AUniqueId) {
  const int index = IndexOfBehaviourById(AUniqueId);
  if (index >= 0)
    FBehaviours->Delete(index);
}

void TModelDef::ClearBehaviours() {
  FBehaviours->Clear();
}

// ---- texture-asset registry ----

bool TModelDef::HoldsTextureAsset(const TVantrelTextureAsset* AAsset) const {
  return AAsset && std::find(FTextureAssets.begin(), FTextureAssets.end(), AAsset) != FTextureAssets.end();
}

bool TModelDef::TextureAssetExists(const rtl::TObject* AAsset) const {
  const TVantrelTextureAsset* asset = AsTextureAsset(AAsset);
  if (!asset)
    return false;
  return std::any_of(FTextureAssets.begin(), FTextureAssets.end(), [&](const TVantrelTextureAsset* AItem) {
    return AItem == asset || AItem->OriginalFilename() == asset->OriginalFilename() ||
           AItem->Filename() == asset->Filename();
  });
}

void TModelDef::RegisterTextureAsset(rtl::TObject* AAsset) {
  if (!AAsset)
    return;
  auto* asset = dynamic_cast<TVantrelTextureAsset*>(AAsset);
  if (!asset)
    throw EInvalidCast(rtl::messages::InvalidCast);
  if (!TextureAssetExists(asset))
    FTextureAssets.push_back(asset);
}

TVantrelTextureAsset* TModelDef::TryGetTextureAsset(const rtl::TObject* AAsset) const {
  const TVantrelTextureAsset* asset = AsTextureAsset(AAsset);
  if (!asset)
    return nullptr;
  if (HoldsTextureAsset(asset))
    return const_cast<TVantrelTextureAsset*>(asset);
  const std::string original = NormalizeTextureName(asset->OriginalFilename());
  for (TVantrelTextureAsset* item : FTextureAssets)
    if (NormalizeTextureName(item->OriginalFilename()) == original)
      return item;
  // The file-name part after the last "\\" or ":" of the normalised names.
  const std::string name = ForeignExtractFileName(NormalizeTextureName(asset->Filename()));
  for (TVantrelTextureAsset* item : FTextureAssets)
    if (ForeignExtractFileName(NormalizeTextureName(item->Filename())) == name)
      return item;
  return nullptr;
}

void TModelDef::RequestBitmapCache(TVantrelBitmapCache* ACache) {
  if (!ACache)
    return;
  ACache->Clear();
  for (TVantrelTextureAsset* asset : FTextureAssets)
    ACache->Add()->SetBitmapReference(asset->OriginalFilename(), asset->Bitmap());
}

void TModelDef::ApplyBitmapCache(TVantrelBitmapCache* ACache) {
  if (!ACache)
    return;
  for (int i = 0; i < ACache->Count(); ++i) {
    TVantrelBitmapCacheEntry* entry = ACache->Entry(i);
    rtl::TOwned<TVantrelTextureAsset> asset(TVantrelTextureAsset::Create(nullptr));
    // The asset takes the entry's bitmap and the entry keeps referring to it. A bitmap the entry
    // only refers to belongs to somebody else: the asset gets a copy of it to own.
    rtl::TOwned<ui::TBitmap> handed = entry->TakeBitmap();
    if (!handed) {
      handed = MakeOwned<ui::TBitmap>();
      handed->Assign(entry->GetBitmap());
    }
    ui::TBitmap* kept = handed.get();
    asset->ImportFromCachedBitmap(entry->GetFilename(), std::move(handed));
    entry->SetBitmapReference(entry->GetFilename(), kept);
    FTextureAssets.push_back(asset.release());
  }
}

void TModelDef::ClearTextureAssets() {
  std::vector<TVantrelTextureAsset*> assets;
  assets.swap(FTextureAssets);
  for (TVantrelTextureAsset* asset : assets)
    if (asset->IsStandalone())
      asset->Free();
}

} // namespace vantrel
