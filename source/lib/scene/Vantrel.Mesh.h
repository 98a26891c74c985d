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

// The matrices a mesh draws with: entry 0 is the mesh's own slot, entries 1..n its instances.
// Bare matrices are added here directly; a cache filled from a parent mesh is marked inherited.
class TVantrelMeshInstances : public TObject {
  RTL_CLASS(TVantrelMeshInstances, TObject)
public:
  explicit TVantrelMeshInstances(TVantrelMesh* AMesh) : FMesh(AMesh) {}

  // A bare matrix; an empty cache first gets the identity entry. The matrix's cache index.
  int32_t AddInstance(const TMatrix3D& ATransform);
  // False outside the cache. Entry 0 is reset to the identity, the last is dropped, others move
  // the following ones down; a cache of one entry stays.
  bool DeleteInstance(int32_t AIndex);
  // The cache becomes the single identity entry.
  void ClearInstances();
  TMatrix3D GetInstance(int32_t AIndex) const;
  // An empty cache first gets one zero entry.
  void SetInstance(int32_t AIndex, const TMatrix3D& AValue);
  // The cache becomes AInstances[i] x ABaseTransform, marked as inherited from a parent.
  void UpdateInstanceCache(const TMatrix3D& ABaseTransform, const std::vector<TMatrix3D>& AInstances);
  // The cache, the single identity entry when it was empty.
  const std::vector<TMatrix3D>& ToArray();
  const TMatrix3D* CachedInstancesPtr() { return ToArray().data(); }
  int32_t CachedInstancesCount() { return int32_t(ToArray().size()); }
  bool CacheUpdated() const { return FCacheUpdated; }
  // Whether the cache holds this mesh's own instances (not a parent's).
  bool HoldsOwnInstances() const { return !FInherited && FCache.size() > 1; }
  bool IsInherited() const { return FInherited; }

private:
  TVantrelMesh* FMesh;
  std::vector<TMatrix3D> FCache;
  bool FCacheUpdated = false;
  bool FInherited = false;

  // Hands the cache down to the sub-meshes.
  void Propagate();
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
  // The model control the mesh belongs to, which picking at design time selects instead; nil
  // until models exist.
  virtual TControl3D* GetModel() const { return nullptr; }
  TVantrelMeshInstances& Instances() { return *FInstances; }
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

  // Instances, delegating to Instances().
  int32_t AddInstance(const TMatrix3D& ATransform) { return FInstances->AddInstance(ATransform); }
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
  void Notification(TComponent* AComponent, TOperation AOperation) override;
  // Streams "Instances" as a collection: always empty, since the instances are bare matrices.
  void DefineProperties(TFiler* AFiler) override;
  // A definition's GPU bytes need the definition's layout and index width in the (empty) data.
  void GiveDataTheFormatsOf(const TCustomMeshDef& ADef);

private:
  TOwned<TMeshData> FData;
  TOwned<TVantrelMeshInstances> FInstances;
  TMeshWrapMode FWrapMode = TMeshWrapMode::Original;
  bool FShowNormals = false;
  TAlphaColor FNormalsColor = 0xFFFF0000;
  ui::TMaterialSource* FMaterialSource = nullptr;
  std::string FReferencedName;
  std::vector<TVantrelMesh*> FMeshes;
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
