#pragma once
// Included at the end of Vantrel.DefTypes.h: the model definition, the root of a model's tree.
// Besides its own mesh data and node tree it holds the model-wide lists (materials, behaviours,
// lights, cameras, armatures, controllers, animations), its metadata and the texture-asset
// registry, and reads and writes them as one JSON object.
//
// Ownership: the model owns its armatures, controllers, animations, behaviours, metadata and the
// materials of its table. a light or camera held by a node's "Children" list is owned there; the model's list
// holds every registered light and camera but owns only those no "Children" list holds. A light
// or camera being freed leaves the model's list.

#include <span>
#include <unordered_set>
#include <string>
#include <string_view>
#include <vector>

#include "definitions/Vantrel.DefTypes.Cache.h"

namespace vantrel {

class TMaterialDef;
class TBehaviourDef;
class TMaterialBehaviourDef;
class TBehaviourRefDef;
class TVantrelBitmapCache;

class TModelDef : public TMeshDef {
  VANTREL_DEF_CLASS(TModelDef, TMeshDef)
public:
  // The mesh part with AOwner; Id "Model_<n>" where n is the object's address in decimal (two
  // live models never share it); APackage as Package; empty metadata.
  explicit TModelDef(TCustomDef* AOwner = nullptr, rtl::TObject* APackage = nullptr);
  // Frees the metadata, the behaviours, the material table, the standalone texture assets, the
  // controllers, the armatures, the animations, the lights, the cameras, then the mesh part.
  ~TModelDef() override;

  // ---- Armatures, controllers, animations, metadata ----

  // The lists, or nullptr before the first add. Humanoids are the armatures.
  const rtl::TObjectList<TArmatureDef>* GetArmatures() const { return FArmatures.get(); }
  const rtl::TObjectList<TArmatureDef>* GetHumanoids() const { return GetArmatures(); }
  const rtl::TObjectList<TControllerDef>* GetControllers() const { return FControllers.get(); }
  const rtl::TObjectList<TAnimationDef>* GetAnimations() const { return FAnimations.get(); }
  // Not owned; none by default.
  TAnimationDef* GetCurrentAnimation() const { return FCurrentAnimation; }
  void SetCurrentAnimation(TAnimationDef* AValue) { FCurrentAnimation = AValue; }
  // Owned; never nullptr.
  TModelMetaDef* GetMetaData() const { return FMetaData.get(); }

  // Appends (the model then owns it) unless that object is already listed.
  void AddArmature(TArmatureDef* AArmature);
  void AddHumanoid(TArmatureDef* AArmature) { AddArmature(AArmature); }
  // None for none; the joint's own armature when it has one; else the first armature whose root is
  // ASkeletonJoint; else none.
  TArmatureDef* GetArmatureBySkeleton(const TJointDef* ASkeletonJoint) const;
  TArmatureDef* GetHumanoidBySkeleton(const TJointDef* ASkeletonJoint) const {
    return GetArmatureBySkeleton(ASkeletonJoint);
  }
  // None for an empty AId; else the first armature whose Id equals AId exactly.
  TArmatureDef* FindArmatureById(std::string_view AId) const;
  TArmatureDef* FindHumanoidById(std::string_view AId) const { return FindArmatureById(AId); }

  // Appends (owned) and sets the controller's Index to its position.
  void AddController(TControllerDef* AController);
  // The first controller whose Id, or "#" and Id, equals AName ignoring ASCII case. Not found:
  // raises "controller with id "<name>" not found" with AThrowException, else nullptr.
  virtual TControllerDef* FindControllerById(std::string_view AName, bool AThrowException) const;
  // The first controller whose target is ATransform. Not found with AThrowException: raises
  // "controller for mesh "<id>" not found" when the model has a controller list, else
  // "controller for transform "<id>" not found"; nullptr otherwise.
  virtual TControllerDef* FindControllerByTransform(const TTransformDef* ATransform, bool AThrowException) const;

  // Appends (owned).
  void AddAnimation(TAnimationDef* AAnimation);
  // A new animation of this model with Id AId, appended and returned.
  TAnimationDef* AddEmptyAnimation(const std::string& AId);
  // The first animation whose Id equals AName exactly, or nullptr.
  virtual TAnimationDef* FindAnimationById(std::string_view AName) const;
  // The first joint any armature finds, asked in list order, or nullptr.
  virtual TJointDef* FindJointById(std::string_view AName) const;

  // ---- Model-wide geometry: each direct child mesh with its sub-meshes, not the model's own data ----

  using TMeshDef::CalcFaceNormals;
  using TMeshDef::CalcSmoothNormals;
  using TMeshDef::CalcTangentBinormals;
  virtual void CalcFaceNormals(bool APropagateFaceNormalsToVertices);
  virtual void CalcSmoothNormals(TMeshDefCalculateNormalMethod AMethod, float AWeldEpsilon);
  virtual void CalcTangentBinormals();

  // Caches the selected animations (an empty ASelected selects all; otherwise string entries equal
  // to an animation's Id) and logs how long it took. Without animations it does nothing and logs
  // nothing.
  void CacheAnimations(std::span<const rtl::TValue> ASelected, TAnimationCachingFlags AFlags,
                       rtl::TObject* AModel);

  // ---- Size and JSON ----

  // The mesh part, Filename, the material table and the armature, controller and animation lists,
  // summed in 64 bits.
  int64_t GetSize() const override;
  // The mesh members, "Filename" (URL-encoded), then each existing list in the order Behaviours,
  // Materials, Lights, Cameras, Armatures, Controllers, Animations, then "MetaData".
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // Reads the whole model, then resolves the cross references of everything read through the
  // late-resolve list. After an error what was read stays owned and nothing is resolved.
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;
  // Reads the model into itself (FromJSON with this model).
  void FromJSON(const rtl::TJSONObject& AValue) { FromJSON(this, AValue); }

  // For readers: registers ADef with its JSON object for resolution once the whole model has been
  // read. False (nothing registered) when the model is not reading itself. A definition already
  // registered keeps its first object.
  bool RegisterLateResolve(TCustomDef* ADef, const rtl::TJSONObject& AValue);

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
  using TLateResolveList = rtl::TDictionary<TCustomDef*, const rtl::TJSONObject*>;
  std::unique_ptr<TLateResolveList> FLateResolveList;
  std::unique_ptr<TModelMetaDef> FMetaData;
  std::unique_ptr<rtl::TObjectList<TArmatureDef>> FArmatures;
  std::unique_ptr<rtl::TObjectList<TControllerDef>> FControllers;
  std::unique_ptr<rtl::TObjectList<TAnimationDef>> FAnimations;
  TAnimationDef* FCurrentAnimation = nullptr;
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

  // The sections of FromJSON, in reading order.
  void ReadBehaviours(const rtl::TJSONObject& AValue);
  void ReadMaterials(const rtl::TJSONObject& AValue);
  void ReadLightsAndCameras(const rtl::TJSONObject& AValue);
  void ReadArmatures(const rtl::TJSONObject& AValue);
  void ReadControllers(const rtl::TJSONObject& AValue);
  void ReadAnimations(const rtl::TJSONObject& AValue);
  void ReadMetaData(const rtl::TJSONObject& AValue);
  // The controller's target for a "Target"/"Mesh" id: the model itself for its own Id, else the
  // node FindChildById finds (raising when none).
  TTransformDef* ControllerTarget(const std::string& AId) const;
  // Calls LateResolveFromJSON once for each registered definition still alive, in registration
  // order, and drops those that answer True.
  void LateResolve();
  // Every definition the model holds that the late-resolve list may name.
  void CollectLiveDefs(std::unordered_set<const TCustomDef*>& ALive) const;
};

// Registers the node and model classes, their child type rows and the model's seams. Counted.
void InitializeDefTypesNodes();
void FinalizeDefTypesNodes();

} // namespace vantrel
