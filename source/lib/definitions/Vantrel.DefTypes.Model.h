#pragma once
// Included at the end of Vantrel.DefTypes.h: the model definition, the root of a model's tree.
// This holds its light and camera lists and the id lookup over them; the model's other parts come
// with their own units.
//
// Ownership: a light or camera held by a node's "Children" list is owned there; the model's list
// holds every registered light and camera but owns only those no "Children" list holds. A light
// or camera being freed leaves the model's list.

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

class TMaterialDef;
class TBehaviourDef;
class TMaterialBehaviourDef;
class TBehaviourRefDef;
class TVantrelBitmapCache;

class TModelDef : public TMeshDef {
  VANTREL_DEF_CLASS(TModelDef, TMeshDef)
public:
  explicit TModelDef(TCustomDef* AOwner = nullptr);
  ~TModelDef() override;

  // The lists, or nullptr before the first light or camera.
  const std::vector<TLightDef*>* GetLights() const { return FLights.get(); }
  const std::vector<TCameraDef*>* GetCameras() const { return FCameras.get(); }
  // Appends the definition (once) and marks it listed here; returns its index.
  int AddLight(TLightDef* ALight);
  int AddCamera(TCameraDef* ACamera);
  // Takes the definition out of the list without freeing it.
  void RemoveLight(TLightDef* ALight);
  void RemoveCamera(TCameraDef* ACamera);
  // The definition at AIndex, or nullptr out of range.
  TLightDef* GetLight(int AIndex) const;
  TCameraDef* GetCamera(int AIndex) const;
  // The first definition whose Id equals AId exactly, or nullptr.
  TLightDef* FindLightById(std::string_view AId) const;
  TCameraDef* FindCameraById(std::string_view AId) const;
  // The model itself, a node of the tree, a light or a camera with that Id, in that order.
  virtual TCustomDef* FindDefById(std::string_view AId) const;

  // ---- Materials, behaviours and the texture-asset registry ----

  // The asset package the model belongs to and the model asset it came from (not owned; opaque
  // here, the assets manager's objects).
  rtl::TObject* GetPackage() const { return FPackage; }
  void SetPackage(rtl::TObject* AValue) { FPackage = AValue; }
  rtl::TObject* GetAsset() const { return FAsset; }
  void SetAsset(rtl::TObject* AValue) { FAsset = AValue; }
  bool GetIsStandalone() const { return FIsStandalone; }
  void SetIsStandalone(bool AValue) { FIsStandalone = AValue; }
  // The file the model came from; texture file names are resolved against its folder.
  const std::string& GetFilename() const { return FFilename; }
  void SetFilename(std::string AValue) { FFilename = std::move(AValue); }

  // The material table, by id (exact), in insertion order. An owning entry frees its material
  // when it leaves the table; a sub-material's entry does not own it.
  struct TMaterialEntry {
    TMaterialDef* Material = nullptr;
    bool Owns = true;
  };
  const rtl::TDictionary<std::string, TMaterialEntry>& GetMaterials() const { return FMaterials; }
  // Adds an owning entry (non-owning for a sub-material); a taken id raises the dictionary's
  // duplicate-key error and leaves the table unchanged.
  void AddMaterial(const std::string& AId, TMaterialDef* AMaterial);
  // The material of that id, or nullptr.
  TMaterialDef* GetMaterial(std::string_view AId) const;
  TMaterialDef* FindMaterialById(std::string_view AId) const { return GetMaterial(AId); }
  // Drops the entry, then frees the material when the entry owned it.
  void RemoveMaterial(std::string_view AId);

  // The behaviours, owned, in order.
  const rtl::TObjectList<TBehaviourDef>& GetBehaviours() const { return *FBehaviours; }
  void AddBehaviour(TBehaviourDef* ABehaviour);
  TMaterialBehaviourDef* AddNewMaterialBehaviour();
  // The first behaviour whose Id equals AUniqueId exactly, or nullptr / -1.
  TBehaviourDef* FindBehaviourById(std::string_view AUniqueId) const;
  int IndexOfBehaviourById(std::string_view AUniqueId) const;
  // nullptr for nullptr, else FindBehaviourById of the reference's Id.
  TBehaviourDef* GetBehaviour(const TBehaviourRefDef* ARef) const;
  // Frees the first behaviour of that id; nothing when absent.
  void RemoveBehaviour(const TBehaviourRefDef* ARef);
  void RemoveBehaviourById(std::string_view AUniqueId);
  void ClearBehaviours();

  // The texture-asset registry (not owning, except standalone assets, which ClearTextureAssets
  // frees). Objects that are no texture asset are refused (False, nullptr, EInvalidCast).
  const std::vector<TVantrelTextureAsset*>& GetTextureAssets() const { return FTextureAssets; }
  // The same object, or one with exactly the same OriginalFilename or Filename, is registered.
  bool TextureAssetExists(const rtl::TObject* AAsset) const;
  // Appends unless TextureAssetExists; nothing for nullptr.
  void RegisterTextureAsset(rtl::TObject* AAsset);
  // The asset itself when registered; else the first with the same normalised OriginalFilename;
  // else the first whose normalised Filename has the same file-name part; else nullptr. Names are
  // normalised with "/" as "\\" and each pair of backslashes as one.
  TVantrelTextureAsset* TryGetTextureAsset(const rtl::TObject* AAsset) const;
  // Frees the standalone assets and empties the registry.
  void ClearTextureAssets();
  // Nothing for nullptr; else clears ACache and adds, for each registered asset in order, an entry
  // referring to its bitmap under its OriginalFilename.
  void RequestBitmapCache(TVantrelBitmapCache* ACache);
  // Nothing for nullptr; else, for each entry in order, a new groupless asset takes the entry's
  // bitmap under the entry's name (ImportFromCachedBitmap), the entry keeps a reference, and the
  // asset joins the registry (without the existence test).
  void ApplyBitmapCache(TVantrelBitmapCache* ACache);
  // Whether the registry holds this very object.
  bool HoldsTextureAsset(const TVantrelTextureAsset* AAsset) const;

private:
  friend class TMaterialDef;
  std::unique_ptr<std::vector<TLightDef*>> FLights;
  std::unique_ptr<std::vector<TCameraDef*>> FCameras;
  rtl::TObject* FPackage = nullptr;
  rtl::TObject* FAsset = nullptr;
  bool FIsStandalone = false;
  std::string FFilename;
  rtl::TDictionary<std::string, TMaterialEntry> FMaterials;
  std::unique_ptr<rtl::TObjectList<TBehaviourDef>> FBehaviours;
  std::vector<TVantrelTextureAsset*> FTextureAssets;

  // The material part of the destructor: behaviours, the material table, standalone assets.
  void FreeMaterialParts();
  // A material registers itself under AId: nothing when AId already maps to it, a move when it
  // is held under another id (nothing freed), else AddMaterial.
  void RegisterMaterial(const std::string& AId, TMaterialDef* AMaterial);
  // Removes every entry that maps to AMaterial, freeing nothing.
  void UnregisterMaterial(TMaterialDef* AMaterial);
  // Makes AMaterial's entries non-owning (it became a sub-material).
  void DisownMaterial(TMaterialDef* AMaterial);

  void FreeUnheldListed();
};

// Registers the node and model classes, their child type rows and the model's seams. Counted.
void InitializeDefTypesNodes();
void FinalizeDefTypesNodes();

} // namespace vantrel
