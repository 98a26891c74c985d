#pragma once
// The framework's drawable geometry node: a transform that owns one mesh data object, is usually
// built from a mesh definition, nests sub-meshes, and draws instanced through the context (every
// mesh draw is instanced: entry 0 of its instance cache is the mesh itself). A static definition
// keeps the geometry in the context's GPU buffers; the mesh data then stays empty and the draw
// reads the definition's buffer object through the context's CurrentCache.

#include <map>
#include <string>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/colors.h"
#include "rtl/math3d.h"
#include "scene/Vantrel.Transform.h"
#include "ui/mesh_buffers.h"

namespace ui {
class TMaterialSource;
}

namespace vantrel {

class TMeshDef;
class TVantrelMaterialBehaviour;
class TCustomMeshDef;
class TControllerDef;
class TVertexJointsList;
struct TVertexData;
class TVantrelMesh;

inline constexpr const char* SMeshCreate = "TVantrelMesh.Create(): ";
inline constexpr const char* SMeshDataNotSet = "internal TMeshData not set";
inline constexpr const char* SMeshLoadFromDefinition = "TVantrelMesh.LoadFromDefinition(): %s";
inline constexpr const char* SMeshHierarchyTodo = "todo: %s type not supported yet in hierarchy";
inline constexpr const char* SMeshRenderObject = "failed to render object \"%s\" : %s";
inline constexpr const char* SMeshRender = "TVantrelMesh.Render(): %s";
inline constexpr const char* SMeshInvalidVertexIndex = "failed to set vertices in mesh - invalid index";
inline constexpr const char* SGetInstanceInvalid = "failed to get instance transformation - invalid instance index";
inline constexpr const char* SSetInstanceInvalid = "failed to set instance transformation - invalid instance index";

// How a mesh maps its stored geometry into its control size.
enum class TMeshWrapMode : uint8_t { Original, Fit, Stretch, Resize };
RTL_ENUM_TYPEINFO(TMeshWrapMode, "Original", "Fit", "Stretch", "Resize")

// The 72-byte vertex format of every mesh's data: position 0, normal 12, texture coordinate 24,
// binormal 32, tangent 44, float colour 56.
inline const TVertexFormats MeshVertexFormat{TVertexFormat::Vertex,    TVertexFormat::Normal,
                                             TVertexFormat::ColorF0,   TVertexFormat::TexCoord0,
                                             TVertexFormat::BiNormal,  TVertexFormat::Tangent};

// One instance of a mesh: a position, rotation (Euler angles turned incrementally into a
// quaternion, as a 3D control does), scale and rotation centre, and the matrix they make.
class TVantrelMeshInstance : public TCollectionItem {
  RTL_CLASS(TVantrelMeshInstance, TCollectionItem)
public:
  TVantrelMeshInstance();
  ~TVantrelMeshInstance() override;
  // The collection rebuilds its cache once the item is in it.
  void AfterConstruction() override;
  // Leaves the collection, which then rebuilds its cache without this item.
  void BeforeDestruction() override;
  // Publishes DisplayName, Position, RotationAngle, Scale, RotationCenter.
  static void RegisterProperties(TPropertyList& AList);

  std::string GetDisplayName() const override { return FName; }
  void SetDisplayName(const std::string& AValue) override { FName = AValue; }
  const TMatrix3D& Transform() const { return FTransform; }
  // Position, scale, rotation (and its Euler angles) from ATransform without notification, the
  // centre (0, 0, 0); then the collection rebuilds its cache.
  void SetTransform(const TMatrix3D& ATransform);
  TPosition3D* Position() const { return FPosition.get(); }
  void SetPosition(const TPosition3D* AValue) { FPosition->Assign(AValue); }
  TPosition3D* RotationAngle() const { return FRotationAngle.get(); }
  void SetRotationAngle(const TPosition3D* AValue) { FRotationAngle->Assign(AValue); }
  TPosition3D* Scale() const { return FScale.get(); }
  void SetScale(const TPosition3D* AValue) { FScale->Assign(AValue); }
  TPosition3D* RotationCenter() const { return FRotationCenter.get(); }
  void SetRotationCenter(const TPosition3D* AValue) { FRotationCenter->Assign(AValue); }
  const TQuaternion3D& Quaternion() const { return FQuaternion; }
  const TPoint3D& SavedRotationAngle() const { return FSavedRotationAngle; }

  // Copies this item's state into another instance item (without notification), then runs this
  // item's MatrixChanged.
  void AssignTo(TPersistent* ADest) const override;

  virtual void RotationChanged(TObject* ASender);
  virtual void RotationXChanged(TObject* ASender);
  virtual void RotationYChanged(TObject* ASender);
  virtual void RotationZChanged(TObject* ASender);
  // The identity rotation and angles (0, 0, 0); nothing while updating.
  virtual void ResetRotationAngle();
  // Transform := scaling x rotation (about the centre) x translation, each left out when it does
  // nothing; then the collection rebuilds its cache. Nothing while updating.
  virtual void MatrixChanged(TObject* ASender);

private:
  std::string FName;
  TMatrix3D FTransform = TMatrix3D::Identity();
  TOwned<TPosition3D> FPosition;
  TQuaternion3D FQuaternion = TQuaternion3D::Identity();
  TOwned<TPosition3D> FRotationAngle;
  TPoint3D FSavedRotationAngle;
  TOwned<TPosition3D> FScale;
  TOwned<TPosition3D> FRotationCenter;
  int32_t FUpdating = 0;

  // The quaternion turns by the change of that angle since it was last applied; false when the
  // angle did not change.
  bool TurnAxis(float TPoint3D::*AAxis, const TPoint3D& AUnitAxis);
  void NotifyCollection() const;
};

// The matrices a mesh draws with: entry 0 is the mesh's own slot, entries 1..n its instances,
// either the items' matrices in collection order or bare matrices added without an item. A cache
// filled from a parent mesh is marked inherited.
class TVantrelMeshInstances : public TOwnedCollection {
  RTL_CLASS(TVantrelMeshInstances, TOwnedCollection)
public:
  explicit TVantrelMeshInstances(TVantrelMesh* AMesh);

  TVantrelMeshInstance* Item(int AIndex) const { return static_cast<TVantrelMeshInstance*>(Items(AIndex)); }
  // A bare matrix; an empty cache first gets the identity entry. The matrix's cache index.
  int32_t AddInstance(const TMatrix3D& ATransform);
  // An item with that transform and name; its collection index.
  int32_t AddInstance(const TMatrix3D& ATransform, const std::string& AName);
  // With items: false outside them, else the item goes. Without: false outside the cache; entry 0
  // is reset to the identity, the last is dropped, others move the following ones down; a cache
  // of one entry stays.
  bool DeleteInstance(int32_t AIndex);
  // No items, and the cache becomes the single identity entry.
  void ClearInstances();
  TMatrix3D GetInstance(int32_t AIndex) const;
  // An empty cache first gets one zero entry.
  void SetInstance(int32_t AIndex, const TMatrix3D& AValue);
  // Marks the cache stale and rebuilds it from the items (held back while updating).
  void Changed() { TCollection::Changed(); }
  // Rebuilds a stale cache from the items: entry 0 the identity, entry i item i - 1's Transform;
  // the sub-meshes of the owner mesh then inherit it.
  void UpdateInstanceCache();
  // The cache becomes AInstances[i] x ABaseTransform, marked as inherited from a parent.
  void UpdateInstanceCache(const TMatrix3D& ABaseTransform, const std::vector<TMatrix3D>& AInstances);
  // The cache, refreshed when stale; the single identity entry when it was empty.
  const std::vector<TMatrix3D>& ToArray();
  const TMatrix3D* CachedInstancesPtr() { return ToArray().data(); }
  int32_t CachedInstancesCount() { return int32_t(ToArray().size()); }
  bool CacheUpdated() const { return FCacheUpdated; }
  void SetCacheUpdated(bool AValue) { FCacheUpdated = AValue; }
  // Whether the cache holds this mesh's own instances (not a parent's).
  bool HoldsOwnInstances() const { return !FInherited && FCache.size() > 1; }
  bool IsInherited() const { return FInherited; }

protected:
  // Every change of the items (added, removed, changed, end of an update) rebuilds the cache.
  void Update(TCollectionItem* AItem) override;

private:
  TVantrelMesh* FMesh;
  std::vector<TMatrix3D> FCache;
  bool FCacheUpdated = false;
  bool FInherited = false;

  // Hands the cache down to the sub-meshes.
  void Propagate();
};

// ---- read-only collections: what a mesh uses, listed for the form designer ----

// A collection a mesh owns and rebuilds itself; items only refer to components.
class TVantrelReadOnlyCollection : public TOwnedCollection {
  RTL_CLASS(TVantrelReadOnlyCollection, TOwnedCollection)
public:
  TVantrelReadOnlyCollection(TVantrelMesh* AMesh, const TClass& AItemClass);
  TVantrelMesh* Mesh() const { return FMesh; }
  // Every item that refers to AComponent lets it go when AComponent is being removed.
  void Notification(TComponent* AComponent, TOperation AOperation);
  // The platform's begin-update; then false when a rebuild of this collection is already under
  // way, else the guard is raised and true. EndUpdateGuard always follows.
  bool TryBeginUpdate();
  void EndUpdateGuard();
  bool IsUpdating() const { return FUpdating > 0; }

protected:
  // The component item AItem refers to; ClearReference lets it go.
  virtual TComponent* Reference(const TCollectionItem* AItem) const = 0;
  virtual void ClearReference(TCollectionItem* AItem) = 0;
  bool Refers(const TComponent* AComponent) const;

private:
  TVantrelMesh* FMesh;
  int32_t FUpdating = 0;
};

class TVantrelMeshMaterialCollectionItem : public TCollectionItem {
  RTL_CLASS(TVantrelMeshMaterialCollectionItem, TCollectionItem)
public:
  static void RegisterProperties(TPropertyList& AList);
  ui::TMaterialSource* Material() const { return FMaterial; }
  void SetMaterialReference(ui::TMaterialSource* AValue) { FMaterial = AValue; }
  // The source's name; empty without one. Writing it is ignored.
  std::string GetDisplayName() const override;
  void SetDisplayName(const std::string&) override {}
  // From an item of this class: the reference; anything else raises the platform's error.
  void Assign(const TPersistent* ASource) override;

private:
  ui::TMaterialSource* FMaterial = nullptr;
};

class TVantrelMeshMaterialCollection : public TVantrelReadOnlyCollection {
  RTL_CLASS(TVantrelMeshMaterialCollection, TVantrelReadOnlyCollection)
public:
  explicit TVantrelMeshMaterialCollection(TVantrelMesh* AMesh);
  TVantrelMeshMaterialCollectionItem* Item(int AIndex) const {
    return static_cast<TVantrelMeshMaterialCollectionItem*>(Items(AIndex));
  }
  bool MaterialExists(const ui::TMaterialSource* AMaterial) const;
  // AMesh's material source when not yet listed, then each sub-mesh's, recursively.
  using TVantrelReadOnlyCollection::Update;
  static void Update(TVantrelMeshMaterialCollection* ACollection, TVantrelMesh* AMesh);

protected:
  TComponent* Reference(const TCollectionItem* AItem) const override;
  void ClearReference(TCollectionItem* AItem) override;
};

class TVantrelMeshBehaviourCollectionItem : public TCollectionItem {
  RTL_CLASS(TVantrelMeshBehaviourCollectionItem, TCollectionItem)
public:
  static void RegisterProperties(TPropertyList& AList);
  TVantrelMaterialBehaviour* Behaviour() const { return FBehaviour; }
  // The old behaviour, when set, is detached from the owning mesh; the new one is stored and,
  // when set, attached to it.
  void SetBehaviour(TVantrelMaterialBehaviour* AValue);
  // Stores without attaching or detaching (the rebuild lists what is attached already).
  void SetBehaviourReference(TVantrelMaterialBehaviour* AValue) { FBehaviour = AValue; }
  // The behaviour's name, or its unique id when the name is empty; empty without one. Writing
  // it is ignored.
  std::string GetDisplayName() const override;
  void SetDisplayName(const std::string&) override {}
  void Assign(const TPersistent* ASource) override;

private:
  TVantrelMaterialBehaviour* FBehaviour = nullptr;
};

class TVantrelMeshBehaviourCollection : public TVantrelReadOnlyCollection {
  RTL_CLASS(TVantrelMeshBehaviourCollection, TVantrelReadOnlyCollection)
public:
  explicit TVantrelMeshBehaviourCollection(TVantrelMesh* AMesh);
  TVantrelMeshBehaviourCollectionItem* Item(int AIndex) const {
    return static_cast<TVantrelMeshBehaviourCollectionItem*>(Items(AIndex));
  }
  bool BehaviourExists(const TVantrelMaterialBehaviour* ABehaviour) const;
  // The set behaviours of AMesh's default material source not yet listed, then each sub-mesh's,
  // recursively.
  using TVantrelReadOnlyCollection::Update;
  static void Update(TVantrelMeshBehaviourCollection* ACollection, TVantrelMesh* AMesh);

protected:
  TComponent* Reference(const TCollectionItem* AItem) const override;
  void ClearReference(TCollectionItem* AItem) override;
};

class TVantrelMeshCollectionItem : public TCollectionItem {
  RTL_CLASS(TVantrelMeshCollectionItem, TCollectionItem)
public:
  static void RegisterProperties(TPropertyList& AList);
  TVantrelMesh* Mesh() const { return FMesh; }
  void SetMeshReference(TVantrelMesh* AValue) { FMesh = AValue; }
  // The mesh's name, or its qualified name when the name is empty; empty without one. Writing it
  // is ignored.
  std::string GetDisplayName() const override;
  void SetDisplayName(const std::string&) override {}
  void Assign(const TPersistent* ASource) override;

private:
  TVantrelMesh* FMesh = nullptr;
};

class TVantrelMeshCollection : public TVantrelReadOnlyCollection {
  RTL_CLASS(TVantrelMeshCollection, TVantrelReadOnlyCollection)
public:
  explicit TVantrelMeshCollection(TVantrelMesh* AMesh);
  TVantrelMeshCollectionItem* Item(int AIndex) const { return static_cast<TVantrelMeshCollectionItem*>(Items(AIndex)); }
  bool MeshExists(const TVantrelMesh* AMesh) const;
  // AMesh's direct sub-meshes not yet listed.
  using TVantrelReadOnlyCollection::Update;
  static void Update(TVantrelMeshCollection* ACollection, TVantrelMesh* AMesh);

protected:
  TComponent* Reference(const TCollectionItem* AItem) const override;
  void ClearReference(TCollectionItem* AItem) override;
};

class TVantrelMesh : public TVantrelTransform {
  RTL_CLASS(TVantrelMesh, TVantrelTransform)
public:
  explicit TVantrelMesh(TComponent* AOwner);
  ~TVantrelMesh() override;
  // The buffer setup calls the virtual CreateVertexBuffer, so it runs here, where a subclass's
  // override is in place.
  void AfterConstruction() override;
  void BeforeDestruction() override;

  static void RegisterProperties(TPropertyList& AList);

  virtual TMeshData* GetMeshData() { return FData.get(); }
  // The model control the mesh belongs to, which picking at design time selects instead: the
  // parent when it is a model, else the parent mesh's model; nil outside a model. The material
  // factory, a floor below, repeats this walk by class name (materials/Vantrel.Material.cpp).
  virtual TControl3D* GetModel() const;
  TVantrelMeshInstances& Instances() { return *FInstances; }
  TVantrelMeshInstances* GetInstances() const { return FInstances.get(); }
  // Assigns the items.
  void SetInstances(const TVantrelMeshInstances* AValue) { FInstances->Assign(AValue); }
  // The read-only collections, rebuilt first when a notification made them stale.
  TVantrelMeshMaterialCollection* Materials() const;
  TVantrelMeshBehaviourCollection* Behaviours() const;
  TVantrelMeshCollection* MeshCollection() const;
  // Empties and refills the three read-only collections.
  void RebuildCollections();
  const std::vector<TVantrelMesh*>& Meshes() const { return FMeshes; }
  TMeshWrapMode WrapMode() const { return FWrapMode; }
  virtual void SetWrapMode(TMeshWrapMode AValue);
  bool ShowNormals() const { return FShowNormals; }
  void SetShowNormals(bool AValue) { FShowNormals = AValue; }
  TAlphaColor NormalsColor() const { return FNormalsColor; }
  void SetNormalsColor(TAlphaColor AValue) { FNormalsColor = AValue; }
  virtual ui::TMaterialSource* GetMaterialSource() const { return FMaterialSource; }
  virtual void SetMaterialSource(ui::TMaterialSource* AValue);
  const std::string& ReferencedName() const { return FReferencedName; }
  void SetReferencedName(const std::string& AValue) { FReferencedName = AValue; }
  bool FlatShading() const { return FFlatShading; }
  virtual void SetFlatShading(bool AValue);

  virtual bool GetIsStatic() const;
  virtual void SetIsStatic(bool AValue);
  void SetFrustumCullingCheck(bool AValue) override;
  virtual void SetTwoSideValue(bool AValue);
  // Above 1: opaque with opacity 1; else translucent with that opacity. Sub-meshes get AValue.
  virtual void SetOpacityValue(float AValue);
  // The loading step of the material reference (see LoadFromDefinition).
  void LoadMaterialFromDefinition(TMeshDef* ADef);
  virtual void SetVisibility(bool AValue);
  virtual void SetHitTestValue(bool AValue);
  void ApplyMaterialSource(ui::TMaterialSource* ASource);
  // The mesh's OnRender handler: with ShowNormals, two lines from every vertex, a quarter of its
  // normal long in NormalsColor and a quarter of its tangent long in NormalsColor with red and
  // blue exchanged; the vertices are a static definition's own, else the mesh data's.
  virtual void RenderWireframeAndNormals(TObject* ASender, TContext3D* AContext);

  // Forwarded to a default material source (other sources ignore them), then to every sub-mesh.
  // The environment operations ignore a pass that is no render-pass controller.
  void SetEnvironmentMapping(TComponent* ARenderPass, float AReflections, float ARefractions);
  void UnsetEnvironmentMapping(TComponent* ARenderPass);
  void UnsetAllEnvironmentMappings();
  void SetPBRProperties(float AReflections, float ARefractions, float AAOBias, float ARoughness, float AMetalness);
  void AttachMaterialBehaviour(TVantrelMaterialBehaviour* ABehaviour);
  void DetachMaterialBehaviour(TVantrelMaterialBehaviour* ABehaviour);
  // This mesh's default material source or any sub-mesh, depth first, has it attached.
  bool MaterialBehaviourAttached(TVantrelMaterialBehaviour* ABehaviour);

  // The positions of the mesh data's vertices.
  virtual std::vector<TPoint3D> GetCoordinates();
  // Through the definition's vertex index map where it lists an index; entries at or beyond the
  // vertex count are skipped.
  virtual void SetCoordinates(const std::vector<TPoint3D>& AValue);
  // Each pair's position into that vertex; an index outside the vertices raises.
  virtual void SetVertices(const std::map<uint32_t, TVertexData>& AValue);
  // The published form of GetCoordinates.
  std::vector<TPoint3D> CoordinatesValue() const { return const_cast<TVantrelMesh*>(this)->GetCoordinates(); }

  // Per-vertex joint weights for CPU skinning (owned), nil until generated.
  TVertexJointsList* VertexJoints() const { return FVertexJoints; }
  // Nothing when the list exists; else the controller's skin makes it for this mesh's definition.
  virtual void GenerateVertexJoints(TControllerDef* AController, const TMatrix3D& ABindShapeMatrix);
  virtual bool VertexJointsExist() const { return FVertexJoints != nullptr; }
  virtual void ClearVertexJoints();

  // Instances, delegating to Instances().
  int32_t AddInstance(const TMatrix3D& ATransform) { return FInstances->AddInstance(ATransform); }
  // An item with that name and transform; its collection index.
  int32_t AddInstanceItem(const std::string& AName, const TMatrix3D& ATransform) {
    return FInstances->AddInstance(ATransform, AName);
  }
  // A new item with that display name.
  TVantrelMeshInstance* AddInstanceItem(const std::string& AName);
  bool DeleteInstance(int32_t AIndex) { return FInstances->DeleteInstance(AIndex); }
  void ClearInstances() { FInstances->ClearInstances(); }
  TMatrix3D GetInstance(int32_t AIndex) const { return FInstances->GetInstance(AIndex); }
  void SetInstance(int32_t AIndex, const TMatrix3D& AValue) { FInstances->SetInstance(AIndex, AValue); }
  virtual void UpdateSubMeshInstances(const TMatrix3D& ABaseTransform, const std::vector<TMatrix3D>& AInstances);

  void ComputeTangentsAndBinormals();
  static void SolveTangents(TMeshData* AData);

  // The matrix from the stored geometry into the control's local space for WrapMode; the
  // identity for an invalid box or on any error.
  virtual TMatrix3D GetMeshMatrix();
  TBoundingBox GetBoundingBox() override;
  virtual TBoundingBox GetUnwrappedBoundingBox();
  // In local coordinates; the nearest of the sub-meshes' and the own hit. A miss leaves
  // (0, 0, 0) and the normal (0, -1, 0).
  virtual bool RayCastIntersect(const TPoint3D& ARayPos, const TPoint3D& ARayDir, TPoint3D& AIntersection,
                                TPoint3D& ANormal);
  bool RayCastIntersect(const TVector3D& ARayPos, const TVector3D& ARayDir, TVector3D& AIntersection) override;

  // True exactly when destruction frees the definition: a mesh definition of no model and no
  // owner.
  bool OwnsDefinition() const override;

  // The control's copy, then the clone joins its parent mesh's Meshes and its mesh data takes a
  // copy of the source's.
  void DoDuplicate(TObject* ASource, TVantrelDuplicator* ADuplicator) override;

  void LoadFromDefinition(TCustomDef* ADef) override;
  void StoreToDefinition(TCustomDef* ADef) override;
  void BuildHierarchy(TTransformDef* ADef) override;
  void ApplyDefinitionProperties(TTransformDef* ADef) override;

  // The context's upload of the instance cache: entry 0 the draw matrix D, entry i >= 1
  // D x A^-1 x cache[i] x A with A the absolute matrix of the instance source.
  std::vector<TMatrix3D> InstanceMatrices(const TMatrix3D& ADrawMatrix);

protected:
  // A new empty buffer of the mesh vertex format; the mesh data takes its layout.
  virtual TOwned<TVertexBuffer> CreateVertexBuffer();
  virtual void CopyDefinitionToMeshData(TMeshDef* ADef, TMeshData* AData);
  virtual void RegisterInParentMesh();
  virtual void UnregisterFromParentMesh();
  void Render() override;
  void DoAddObject(TFmxObject* AObject) override;
  void DoRemoveObject(TFmxObject* AObject) override;
  // Removals clear the references (material source, collection items); the collections are
  // rebuilt when next read.
  void Notification(TComponent* AComponent, TOperation AOperation) override;
  // Registers with the parent mesh, rebuilds the instance cache and the read-only collections.
  void Loaded() override;
  // A definition's GPU bytes need the definition's layout and index width in the (empty) data.
  void GiveDataTheFormatsOf(const TCustomMeshDef& ADef);

private:
  TOwned<TMeshData> FData;
  TOwned<TVantrelMeshInstances> FInstances;
  TOwned<TVantrelMeshMaterialCollection> FMaterials;
  TOwned<TVantrelMeshBehaviourCollection> FBehaviours;
  TOwned<TVantrelMeshCollection> FMeshCollection;
  // A notification made the read-only collections stale: they are rebuilt when next read, since
  // every component inserted anywhere in the owner tree notifies every mesh.
  bool FCollectionsStale = true;
  TMeshWrapMode FWrapMode = TMeshWrapMode::Original;
  bool FShowNormals = false;
  TAlphaColor FNormalsColor = 0xFFFF0000;
  ui::TMaterialSource* FMaterialSource = nullptr;
  std::string FReferencedName;
  std::vector<TVantrelMesh*> FMeshes;
  TVertexJointsList* FVertexJoints = nullptr;
  bool FFlatShading = false;
  // The upload array, reused between draws.
  std::vector<TMatrix3D> FUpload;

  TMeshDef* MeshDef() const;
  // The box of the stored geometry: a static definition's raw box, else the mesh data's.
  TBoundingBox LocalBox();
  void CheckDrawIndices();
  TVantrelMesh* InstanceSource();
  void ForgetDefinitionInSubtree(TFmxObject* AObject, const TCustomDef* ADef);
};

// An index-only mesh: it draws its parent mesh's vertex buffer (shared through the mesh data's
// handle) with its own indices. The parent's buffer lives as long as a group uses it, in either
// destruction order; the group gives its own buffer back to its data before it goes.
class TVantrelVertexGroup : public TVantrelMesh {
  RTL_CLASS(TVantrelVertexGroup, TVantrelMesh)
public:
  using TVantrelMesh::TVantrelMesh;
  ~TVantrelVertexGroup() override;

protected:
  // The mesh's (the definition copies its indices), then the parent mesh's vertex buffer.
  void CopyDefinitionToMeshData(TMeshDef* ADef, TMeshData* AData) override;
};

void InitializeMesh();
void FinalizeMesh();

} // namespace vantrel
