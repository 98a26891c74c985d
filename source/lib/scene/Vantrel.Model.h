#pragma once
// The model control: a mesh that loads a whole model definition, with its cameras, lights, child
// meshes, armatures and animations, and plays the animations through its animation manager.
// It is filled by code (the loading operations, which go through the loader registry), by Source
// (a file loaded once and kept in the form as compressed .v3d bytes, BinaryData, with the decoded
// textures in TextureCache), or from an asset package (AssetsManager, PackageName and Source).
//
// Ownership: the model owns its definition unless the definition belongs to a package or is
// standalone, and owns its animation manager, wireframe material, binary data and texture cache.
// The texture cache always owns its bitmaps: a load is handed a copy of it, never the cache
// itself, so that freeing the definition leaves no entry pointing at a freed bitmap.
// The interpolator dictionary refers to key animations owned elsewhere; a freed one leaves it.

#include <string>
#include <vector>

#include "Vantrel.Prelude.h"
#include "definitions/Vantrel.DefTypes.Cache.h"
#include "rtl/generics.h"
#include "rtl/streams.h"
#include "scene/Vantrel.Mesh.h"

namespace vantrel {

class TModelDef;
class TAnimationDef;
class TPropertyKeyAnimation;
class TVantrelAnimation;
class TVantrelAnimationManager;
class TVantrelArmature;
class TVantrelAssetsManager;
class TVantrelAssetsPackage;
class TVantrelBitmapCache;
class TModelMetaDef;
class TProperties;
struct TVantrelLoadOptions;

inline constexpr const char* SInterpolatorExists = "interpolator %s already exists in %s";
inline constexpr const char* SLoadingModel = "Loading model ...";
inline constexpr const char* SFailedToLoadModelData = "Failed to load model data: ";
inline constexpr const char* SFailedToStoreModelData = "Failed to store model data in binary storage: ";
// The colour of a new model's wireframe lines.
inline constexpr TAlphaColor DefaultWireframeColor = 0xFFFFFF00;

class TVantrelModel : public TVantrelMesh {
  RTL_CLASS(TVantrelModel, TVantrelMesh)
public:
  using TInterpolators = TDictionary<std::string, TPropertyKeyAnimation*>;

  explicit TVantrelModel(TComponent* AOwner);
  ~TVantrelModel() override;
  static void RegisterProperties(TPropertyList& AList);
  // "TextureCache" (a collection) and "BinaryData" (raw bytes), each written when it exists.
  // Reading BinaryData reloads the model from it at once.
  void DefineProperties(TFiler* AFiler) override;

  TVantrelAnimationManager* AnimationManager() const { return FAnimationManager; }
  const TInterpolators* Interpolators() const { return FInterpolators.get(); }
  void CreateOrClearInterpolators();
  void CreateOrClearAnimationManager();
  // A yellow colour material without owner, not stored, unless a wireframe material exists.
  void CreateWireframeMaterial();
  // The interpolators, the animation manager and the wireframe material, in that order.
  void InitModelObjects();
  void FreeAnimationManager();
  void FreeInterpolators();
  void FreeWireframeMaterial();

  bool Wireframe() const { return FWireframe; }
  void SetWireframe(bool AValue) { FWireframe = AValue; }
  // The material the meshes of this model draw their wireframe lines with.
  ui::TMaterialSource* WireframeMaterial() const { return FWireframeMat; }
  // The definition's metadata when Def is a model definition, else nullptr.
  TModelMetaDef* MetaData() const;

  // ---- sources ----

  TVantrelAssetsManager* AssetsManager() const { return FAssetsManager; }
  // Nil while one is set: forgets the manager and package and empties the model. Otherwise a
  // different manager forgets the package, and the model reloads from the package it now finds
  // (with a Source), or is emptied without a package.
  virtual void SetAssetsManager(TVantrelAssetsManager* AValue);
  // The package of a packaged definition, else the one already found, else the assets manager's
  // package named PackageName (nullptr when there is none).
  virtual TVantrelAssetsPackage* GetPackage();
  TVantrelAssetsPackage* Package() const { return FPackage; }
  const std::string& PackageName() const { return FPackageName; }
  // Emptying a set name forgets the package and empties the model; otherwise as SetAssetsManager.
  virtual void SetPackageName(const std::string& AValue);
  const std::string& Source() const { return FSource; }
  // Empties the model, then loads it: from the package (with PackageName), else from BinaryData
  // when it holds the same source, else from the file, which is then stored in BinaryData. Load
  // and store failures are shown as messages, never raised. While the model is being read from a
  // form the file is not loaded (BinaryData follows).
  virtual void SetSource(const std::string& AValue);
  // The embedded model, or nullptr.
  TBytesStream* BinaryData() const { return FBinaryData.get(); }
  // Replaces the embedded bytes with all of AStream's (its position is kept), then reloads from
  // them when Source is set.
  virtual void SetBinaryData(TStream* AStream);
  // Empties the model and loads it from the embedded bytes, when there are any.
  virtual void ReloadFromBinaryData();
  // Stores the definition, and its textures in TextureCache, as zipped BSON .v3d bytes in
  // BinaryData. Nothing without a model definition.
  void UpdateBinaryData();
  // Decoded textures of the embedded model, or nullptr; each entry owns its bitmap.
  TVantrelBitmapCache* TextureCache() const { return FTextureCache.get(); }

  // Frees or releases the definition (one of a package or a standalone one survives), empties the
  // animation manager, the interpolators and every child and owned component but the animation
  // manager and animations, then makes the model objects again.
  virtual void Clear();

  // ---- loading by code (through the loader registry, by the file's extension) ----

  void LoadFromFile(rtl::TObject* APackage, const std::string& AFilename, TAnimationCachingFlags ACaching);
  void LoadFromFile(const TVantrelLoadOptions& AOptions);
  void LoadFromStream(rtl::TObject* APackage, TStream* AStream, const std::string& APath,
                      TAnimationCachingFlags ACaching);
  void LoadFromStream(TStream* AStream, const TVantrelLoadOptions& AOptions);
  static TVantrelModel* LoadNewModelFromFile(TComponent* AOwner, rtl::TObject* APackage, const std::string& AFilename,
                                             TAnimationCachingFlags ACaching);
  static TVantrelModel* LoadNewModelFromFile(TComponent* AOwner, const TVantrelLoadOptions& AOptions);
  static TVantrelModel* LoadNewModelFromStream(TComponent* AOwner, rtl::TObject* APackage, TStream* AStream,
                                               const std::string& APath, TAnimationCachingFlags ACaching);
  static TVantrelModel* LoadNewModelFromStream(TComponent* AOwner, TStream* AStream,
                                               const TVantrelLoadOptions& AOptions);
  static TVantrelModel* LoadNewModelFromDef(TComponent* AOwner, TModelDef* ADef, TAnimationCachingFlags ACaching);
  static TVantrelModel* LoadNewModelFromDef(TComponent* AOwner, TModelDef* ADef, const TVantrelLoadOptions& AOptions);
  // An animation read into this model's definition and added to the manager; an animation not
  // cached yet is cached for this model with non-empty ACaching.
  TVantrelAnimation* AddAnimationFromFile(const std::string& AFilename, TAnimationCachingFlags ACaching);
  TVantrelAnimation* AddAnimationFromStream(TStream* AStream, const std::string& AFileName,
                                            TAnimationCachingFlags ACaching);

  // Raises when the name is taken.
  void AddInterpolator(const std::string& AName, TPropertyKeyAnimation* AInterpolator);
  TPropertyKeyAnimation* FindInterpolator(const std::string& AName) const;
  // The first interpolator, in dictionary order, whose Def is ADef.
  TPropertyKeyAnimation* FindInterpolatorByDef(const TCustomDef* ADef) const;
  // Interpolators first, then the control search.
  TComponent* FindControlByDeepSearch(const std::string& AName) const override;
  TComponent* FindControlByDefDeepSearch(const TCustomDef* ADef) override;
  void FindControlsByDeepSearch(const std::string& AName, TSearchResult* AResult) const override;

  // Moves the owned components of the segment control "<AId>_Seg" into AObj and frees the segment.
  void ResolvingSegment(const std::string& AId, TVantrelTransform* AObj);
  TVantrelArmature* GetFirstArmature() const;
  // The first armature's setting (False / 0 without one); writing sets every armature.
  bool ShowJoints() const;
  void SetShowJoints(bool AValue);
  TAlphaColor JointsColor() const;
  void SetJointsColor(TAlphaColor AValue);
  // The owned components (ACompHierarchy) or the children tree, one debug line per node.
  void DebugOut(bool ACompHierarchy);

  // An animation bound to the manager, parented here, added under the definition's Id and loaded;
  // nil without definition or manager.
  TVantrelAnimation* AddAnimationFromDef(TAnimationDef* ADef);

  // The whole model from ADef (see LoadFromModelDef); a definition that is no TModelDef raises.
  void LoadFromDefinition(TCustomDef* ADef) override;
  virtual void LoadFromModelDef(TModelDef* ADef);
  void ApplyDefinitionProperties(TTransformDef* ADef) override;
  void StoreToDefinition(TCustomDef* ADef) override;
  // A model definition of no package that is not standalone is the model's.
  bool OwnsDefinition() const override;
  // The mesh's, then the clone shares the source's assets manager and package.
  void DoDuplicate(TObject* ASource, TVantrelDuplicator* ADuplicator) override;
  static void RegisterFields();

protected:
  void Notification(TComponent* AComponent, TOperation AOperation) override;
  void BeforeDestruction() override;

private:
  bool FWireframe = false;
  ui::TMaterialSource* FWireframeMat = nullptr;
  std::unique_ptr<TInterpolators> FInterpolators;
  TVantrelAnimationManager* FAnimationManager = nullptr;
  TVantrelAssetsManager* FAssetsManager = nullptr;
  TVantrelAssetsPackage* FPackage = nullptr;
  // The package told to call back before it frees its contents: that of the definition, else
  // FPackage.
  TVantrelAssetsPackage* FWatchedPackage = nullptr;
  std::string FPackageName;
  std::string FSource;
  TOwned<TBytesStream> FBinaryData;
  TOwned<TVantrelBitmapCache> FTextureCache;

  // Watches AValue's destruction instead of the current manager's, without loading anything.
  void AssignAssetsManager(TVantrelAssetsManager* AValue);
  // Watches the package the model depends on now, and only that one.
  void UpdatePackageWatch();
  void StopWatchingPackage();
  // Before APackage frees its definitions (all of them, or ADefinition only): a model showing one
  // of them is emptied (only unlinked while it is being destroyed); a package that goes is
  // forgotten with its name.
  void PackageContentFreeing(TVantrelAssetsPackage* APackage, bool AWhole, const TModelDef* ADefinition);
  // With a manager, a package and a Source the model reloads from the package; without a package
  // it is emptied.
  void ReloadOrClear();
  bool HasBinaryData() const;
  bool IsBeingRead() const;
  bool IsDesigning() const;
  void LoadSourceFile();
  void LoadSourceFromPackage(TVantrelAssetsPackage* APackage);
  void ApplyWireframeKeys(const TProperties& AProperties);
  void ApplyAssetsManagerKey(const std::string& AName);
  void StoreWireframeKeys(TProperties& AProperties) const;
  void ReadTextureCache(TReader& AReader);
  void ReadBinaryData(TStream& AStream);
  // Moves cameras and lights whose definition hangs below a node to the global component of
  // that node's Id, when it is a 3D control.
  void MakeCamerasAndLights(TModelDef* ADef, std::vector<std::pair<TControl3D*, TTransformDef*>>& ANodes);
  void MoveToGlobalOwners(const std::vector<std::pair<TControl3D*, TTransformDef*>>& AObjects);
  // Frees every child, last first.
  void DeleteChildren();

  void DebugOutComponents(const TComponent* AComponent, const std::string& AIndent);
  void DebugOutChildren(TFmxObject* AObject, const std::string& AIndent);
  void ForgetDefinitions(TFmxObject* AObject);
};

void InitializeModel();
void FinalizeModel();

namespace detail {
// Installs (true) or removes (false) the model control as animation caching runs play it
// (Vantrel.Model.Caching.cpp); the unit's start-up calls it.
void RegisterCachingModel(bool ARegister);
} // namespace detail

} // namespace vantrel
