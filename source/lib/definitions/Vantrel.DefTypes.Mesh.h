#pragma once
// Mesh definitions and the records that importers exchange with them: one vertex (TVertexData),
// its identity key by source indices (TVertexID), the vertex cache that welds such corners, mesh
// definitions with their JSON, geometry and GPU buffer link, vertex groups, mesh instances and
// references to other definitions.
//
// This is a part header of Vantrel.DefTypes.h, which includes it at its end; include that header.
// The bodies live in Vantrel.DefTypes.Records.cpp, .Mesh.cpp (TCustomMeshDef, JSON, buffer link),
// .Geometry.cpp (TMeshDef, TVertexGroupDef) and .VertexCache.cpp.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/colors.h"
#include "rtl/generics.h"
#include "rtl/math3d.h"
#include "rtl/set.h"
#include "rtl/types2d.h"
#include "ui/mesh_buffers.h"

namespace vantrel {

class TMeshBufferObject;
enum class TVantrelPrimitivesKind : uint8_t;
class TBVHGeometry;
// Declared by the skinning and material definitions.
class TJointDef;
class TMaterialDef;
class TCustomMeshDef;
class TMeshDef;

// ---- Vertex identity ---------------------------------------------------------------------------------

struct TVertexIDTextures {
  // Used entries; read clamped to 0..32.
  int8_t Count = 0;
  std::array<int32_t, 32> Indices{};
};

struct TVertexIDColors {
  // Used entries; read clamped to 0..4.
  int8_t Count = 0;
  std::array<int32_t, 4> Indices{};
};

// The source indices one corner of a face takes: position, normal, texture sets, binormal,
// tangent, colour sets and smoothing group. A negative index means the corner lacks it.
struct TVertexID {
  int32_t Position = 0;
  int32_t Normal = 0;
  TVertexIDTextures Textures;
  int32_t Binormal = 0;
  int32_t Tangent = 0;
  TVertexIDColors Colors;
  int32_t SmoothGroup = 0;

  // VertexKeyTextHash of "P;N;B;T;S;" followed by "i;" per used texture and colour entry.
  uint64_t GetHash() const;
};
using TTriangleID = std::array<TVertexID, 3>;
using TPolygonID = std::vector<TVertexID>;

// A 64-bit accumulator: per byte c (ASCII capitals folded), h := h xor c, then
// h := (h >> 27) | (h << 5) on 64 bits (a shift, not a rotation).
uint64_t VertexKeyTextHash(std::string_view AText);

// ---- Vertex records ----------------------------------------------------------------------------------

using TTriangleIndex = std::array<uint32_t, 3>;

enum class TVertexDataFlag : uint8_t { CalcNormals, CalcTangents, CalcTexCoords };
RTL_ENUM_TYPEINFO(TVertexDataFlag, "CalcNormals", "CalcTangents", "CalcTexCoords")
using TVertexDataFlags = rtl::TSet<TVertexDataFlag>;

// One full vertex as importers build it.
struct TVertexData {
  rtl::TPoint3D Position;
  rtl::TPoint3D Normal;
  rtl::TPoint3D Binormal;
  rtl::TPoint3D Tangent;
  std::vector<rtl::TPointF> TexCoords;
  std::vector<rtl::TAlphaColorF> Colors;
  int32_t SmoothGroup = 0;
  TVertexDataFlags Flags;

  static TVertexData Create() { return {}; }

  std::unique_ptr<rtl::TJSONObject> ToJSON() const;
  // Raises "failed to load vertexdata from json - ..." for a missing required member; members read
  // before a failure stay. Flags are left alone.
  void FromJSON(const rtl::TJSONObject& AValue);
  // CRC-32 (initial 0) over a 104-byte key: the four points, up to two texture coordinates and
  // two colours moved up without gaps, SmoothGroup, the flags byte; zeros after.
  uint64_t GetHash() const;
  // Points within 0.0001, equal smooth group and flags, texture coordinates within a relative
  // 1.25e-6, colour channels within 1.5259e-05, equal counts.
  bool Equals(const TVertexData& AOther) const;
};

// Source vertex index -> the mesh vertices it was split into, in insertion order (the JSON order).
class TVertexIndexMap : public rtl::TDictionary<uint32_t, std::vector<uint32_t>> {
public:
  // Adds ACurrent to AOriginal's list unless it is there.
  void AddIndex(uint32_t AOriginal, uint32_t ACurrent);
  // Clears, then copies every pair of AMap (nothing more for null).
  void Assign(const TVertexIndexMap* AMap);
};

// The joints that weigh on one vertex: at most 16.
struct TVertexJoints {
  rtl::TPoint3D Position;
  uint8_t JointsCount = 0;
  std::array<TJointDef*, 16> JointsArray{};
  std::array<float, 16> WeightsArray{};

  // Both fill the record with zeros; AIndex is not kept.
  static TVertexJoints Create(int32_t AIndex);
  void Free();
  // Searches all 16 slots.
  bool JointExists(const TJointDef* AJoint) const;
  // Nothing when the joint is there; a 17th joint raises
  // "TVertexJoints.Add(): failed to add joint for vertex - range exceeded - too many joints on a single vertex".
  void Add(TJointDef* AJoint, float AWeight);
};

// ---- References to definitions ----------------------------------------------------------------------

// A definition that names another one by Id and, once resolved, points at it (not owned).
template <class T> class TRefDef : public TCustomDef {
public:
  T* GetReference() const { return FReference; }
  void SetReference(T* AValue) { FReference = AValue; }

private:
  T* FReference = nullptr;
};

// The reference of a mesh to its material definition. A class of its own, so that the material
// definitions can extend it and files can name it.
class TMaterialRefDef : public TRefDef<TMaterialDef> {
  VANTREL_DEF_CLASS(TMaterialRefDef, TRefDef<TMaterialDef>)
public:
  TMaterialRefDef() = default;

  // The base members, then "Reference" with the material's Id when resolved.
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // While unresolved, looks the Id up in the model's materials; True.
  bool LateResolveFromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;
};

// ---- Mesh instances ---------------------------------------------------------------------------------

// One placed copy of a mesh as files store it.
class TMeshInstanceDef : public TCustomDef {
  VANTREL_DEF_CLASS(TMeshInstanceDef, TCustomDef)
public:
  // The mesh reading it becomes MeshRef (an owner of another kind gives none).
  explicit TMeshInstanceDef(TCustomDef* AOwner = nullptr);

  TCustomMeshDef* GetMeshRef() const { return FMeshRef; }
  void SetMeshRef(TCustomMeshDef* AValue) { FMeshRef = AValue; }
  rtl::TPoint3D Position, Scale, RotationAngle, RotationCenter;

  int64_t GetSize() const override;
  // Base members, "MeshRef" (only when set), then the four points.
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // Base members and the four points, each (0,0,0) when absent (Scale too); "MeshRef" is not read.
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

private:
  TCustomMeshDef* FMeshRef = nullptr;
};

// ---- Mesh definitions -------------------------------------------------------------------------------

enum class TFaceOrientation : uint8_t { FrontFace, BackFace, TwoFace };

// A vertex or index source: owned by the definition, or borrowed from another one while linked.
template <class T> class TSourceSlot {
public:
  T* Get() const { return FOwned ? FOwned.get() : FBorrowed; }
  bool IsBorrowed() const { return FBorrowed != nullptr; }
  // Frees an owned source, forgets a borrowed one, keeps AValue.
  void Own(rtl::TOwned<T> AValue) {
    FBorrowed = nullptr;
    FOwned = std::move(AValue);
  }
  void Borrow(T* AValue) {
    FOwned.reset();
    FBorrowed = AValue;
  }
  // Forgets a borrowed source without freeing it; an owned one stays.
  void DropBorrowed() { FBorrowed = nullptr; }
  void Clear() { Own(nullptr); }

private:
  rtl::TOwned<T> FOwned;
  T* FBorrowed = nullptr;
};

// A transform node that carries vertex and index data in the UI layer's buffer layout, with a
// material reference, instances and the link to the context's GPU buffers.
class TCustomMeshDef : public TTransformDef {
  VANTREL_DEF_CLASS(TCustomMeshDef, TTransformDef)
public:
  // {Vertex, Normal, ColorF0, TexCoord0, BiNormal, Tangent}.
  static ui::TVertexFormats DefaultVertexFormat();

  explicit TCustomMeshDef(TCustomDef* AOwner = nullptr);
  ~TCustomMeshDef() override;

  ui::TVertexFormats GetVertexFormat() const { return FVertexFormat; }
  void SetVertexFormat(ui::TVertexFormats AValue) { FVertexFormat = AValue; }
  ui::TIndexFormat GetIndexFormat() const { return FIndexFormat; }
  TFaceOrientation GetFaceOrientation() const { return FFaceOrientation; }
  void SetFaceOrientation(TFaceOrientation AValue) { FFaceOrientation = AValue; }
  bool GetIsStatic() const { return FIsStatic; }
  bool GetBuffersLinked() const { return FBuffersLinked; }
  TMeshBufferObject* GetBufferObject() const { return FBufferObject.get(); }
  bool GetBoundingBoxUpdateNeeded() const { return FBoundingBoxUpdateNeeded; }
  void SetBoundingBoxUpdateNeeded(bool AValue) { FBoundingBoxUpdateNeeded = AValue; }
  const std::vector<rtl::TPoint3D>& GetFaceNormals() const { return FFaceNormals; }
  TVertexIndexMap* GetVertexIndexMap() const { return FVertexIndexMap.get(); }
  const rtl::TObjectList<TMeshInstanceDef>& GetInstances() const { return *FInstances; }
  rtl::TObjectList<TMeshInstanceDef>& GetInstances() { return *FInstances; }
  TMaterialRefDef* GetMaterial() const { return FMaterial.get(); }
  // Frees the previous reference and keeps AValue.
  virtual void SetMaterial(TMaterialRefDef* AValue);

  virtual ui::TVertexBuffer* GetVertexSource() const { return FVertexSource.Get(); }
  virtual ui::TIndexBuffer* GetIndexSource() const { return FIndexSource.Get(); }
  void CreateVertexSource(ui::TVertexFormats AFormat);
  void CreateIndexSource(ui::TIndexFormat AFormat);
  // A full copy of AVertices (format, count, data; VertexFormat stays), or an empty buffer of
  // VertexFormat for null.
  virtual void SetVertices(const ui::TVertexBuffer* AVertices);
  virtual void SetIndices(const ui::TIndexBuffer* AIndices);
  void SetVertexFormatByVertexData(const TVertexData* AVertex);
  virtual void AddVertices(const std::vector<TVertexData>& AVertices, int32_t AIndex, int32_t ACount);
  virtual void AppendVertices(const std::vector<TVertexData>& AVertices, int32_t AIndex, int32_t ACount);
  virtual void AddIndices(const std::vector<uint32_t>& AIndices, int32_t AIndex, int32_t ACount, uint32_t AOffset);
  virtual void AddIndices(const std::vector<TTriangleIndex>& ATriangles, int32_t AIndex, int32_t ACount,
                          uint32_t AOffset);
  virtual void AppendIndices(const std::vector<uint32_t>& AIndices, int32_t AIndex, int32_t ACount,
                             uint32_t AOffset);
  virtual void AppendIndices(const std::vector<TTriangleIndex>& ATriangles, int32_t AIndex, int32_t ACount,
                             uint32_t AOffset);
  virtual std::vector<rtl::TPoint3D> GetVertexPositions() const;
  virtual void AddVertexIndexMap(const TVertexIndexMap& AMap, uint32_t AOffset);
  virtual void AppendVertexIndexMap(const TVertexIndexMap& AMap, uint32_t AOffset);

  // Transform := Transform x AMatrix.
  virtual void ApplyTransformation(const rtl::TMatrix3D& AMatrix);
  virtual void BoundingBoxChanged();
  // The box of the positions transformed by Transform, recomputed when flagged; zeros without
  // vertex bytes.
  virtual rtl::TBoundingBox GetBoundingBox();
  // The box of the positions as stored, without Transform (ray casts and the scene's local box
  // work in that space); zeros without vertex bytes.
  rtl::TBoundingBox GetRawBoundingBox() const;

  // Id and resolved reference of the material reference, made when missing; nothing for null.
  // A template so that callers instantiate it where the material definition is complete.
  template <class M = TMaterialDef> void SetMaterialReference(M* AMaterial) {
    if (!AMaterial)
      return;
    if (!FMaterial)
      FMaterial = rtl::MakeOwned<TMaterialRefDef>();
    FMaterial->SetId(AMaterial->GetId());
    FMaterial->SetReference(AMaterial);
  }

  int64_t GetSize() const override;
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

  // ---- The GPU buffer link ----
  // Both sources exist and hold at least one element each.
  bool HasData() const;
  virtual void SetIsStatic(bool AValue);
  void UpdateMeshBuffer();
  void RefreshMeshBuffer(bool ASync);
  void LinkMeshBuffer(TMeshBufferObject* ABufferObject, ui::TVertexBuffer* AVertices, ui::TIndexBuffer* AIndices);
  void UnlinkMeshBuffer();
  // A build or refresh waits for the UI thread with a current context.
  bool IsBuildPending() const { return FPendingBuild.has_value() || FRefreshPending; }
  // Runs a pending build or refresh now; on the UI thread with a current context only. Meshes
  // call it before they draw.
  void CompletePendingBuild();

protected:
  // Whether FromJSON reads "VertexCount" and "Vertices" into the own source (vertex groups do not).
  virtual bool ReadsOwnVertices() const { return true; }
  // The own vertex source field, whatever the getter returns.
  ui::TVertexBuffer* OwnVertexSource() const { return FVertexSource.Get(); }
  void SetIndexFormatField(ui::TIndexFormat AValue) { FIndexFormat = AValue; }
  void ReplaceIndexSource(rtl::TOwned<ui::TIndexBuffer> AValue) { FIndexSource.Own(std::move(AValue)); }
  // Reads an index array or byte text of ACount indices in AFormat into a new index source.
  void ReadIndices(const rtl::TJSONObject& AValue, int32_t ACount, ui::TIndexFormat AFormat);
  rtl::TBoundingBox FBoundingBox;
  std::vector<rtl::TPoint3D> FFaceNormals;

private:
  ui::TVertexFormats FVertexFormat;
  ui::TIndexFormat FIndexFormat = ui::TIndexFormat::UInt32;
  TFaceOrientation FFaceOrientation = TFaceOrientation::FrontFace;
  bool FIsStatic = false;
  bool FBuffersLinked = false;
  rtl::TOwned<TMeshBufferObject> FBufferObject;
  bool FBoundingBoxUpdateNeeded = false;
  TSourceSlot<ui::TVertexBuffer> FVertexSource;
  TSourceSlot<ui::TIndexBuffer> FIndexSource;
  std::unique_ptr<TVertexIndexMap> FVertexIndexMap;
  rtl::TOwned<TMaterialRefDef> FMaterial;
  std::unique_ptr<rtl::TObjectList<TMeshInstanceDef>> FInstances;
  std::optional<TVantrelPrimitivesKind> FPendingBuild;
  bool FRefreshPending = false;
  // The largest index of the index source, kept until the indices change.
  struct TMaxIndexCache {
    const ui::TIndexBuffer* Buffer = nullptr;
    uint64_t Version = 0;
    uint32_t Value = 0;
  } FMaxIndex;

  void WriteVertices(rtl::TJSONObject& AResult) const;
  void ReadVertices(const rtl::TJSONObject& AValue, int32_t ACount);
  void ReadVertexIndexMap(const rtl::TJSONObject& AValue);
  void ReadInstances(TModelDef* AModel, const rtl::TJSONObject& AValue);
  void WriteVertexData(ui::TVertexBuffer& ABuffer, int32_t ATarget, const TVertexData& AVertex) const;
  void FreeBufferObject();
  void QueueBuild(TVantrelPrimitivesKind AKind);
  void RunBuild(TVantrelPrimitivesKind AKind);
  void RunRefresh();
  // Raises the invalid-index error when the largest index is not below the vertex count.
  void CheckIndices(const ui::TVertexBuffer& AVertices, const ui::TIndexBuffer& AIndices);
};

enum class TMeshDefCalculateNormalMethod : uint8_t { cnmDefault, cnmFastest, cnmSlowest };

enum class TCopyVertexOption : uint8_t { ExchangeYZ, ExchangeYX, ExchangeXZ };
RTL_ENUM_TYPEINFO(TCopyVertexOption, "ExchangeYZ", "ExchangeYX", "ExchangeXZ")
using TCopyVertexOptions = rtl::TSet<TCopyVertexOption>;

// The key of the slowest smoothing's table.
struct TMeshDefVertexSmoothNormalInfo {
  int32_t VertexId = 0;
  int32_t ScaledRoundedX = 0, ScaledRoundedY = 0, ScaledRoundedZ = 0;
  bool operator==(const TMeshDefVertexSmoothNormalInfo&) const = default;
};

using TPolygon = std::vector<rtl::TPointF>;
using T3DPolygon = std::vector<rtl::TPoint3D>;

// The mesh definition loaders make and scene meshes load: mesh data plus sub-meshes (its
// children), a bounding-volume hierarchy for ray casts and the geometry operations.
class TMeshDef : public TCustomMeshDef {
  VANTREL_DEF_CLASS(TMeshDef, TCustomMeshDef)
public:
  // Below this many vertices the smooth-normal default runs its plain loop over all triangles.
  static constexpr int32_t SmoothNormalGridThreshold = 2048;

  explicit TMeshDef(TCustomDef* AOwner = nullptr);
  ~TMeshDef() override;

  TBVHGeometry* GetBVH() const { return FBVH.get(); }
  bool GetRenderByVertexGroups() const { return FRenderByVertexGroups; }
  void SetRenderByVertexGroups(bool AValue) { FRenderByVertexGroups = AValue; }
  const rtl::TObjectList<TTransformDef>* GetMeshes() const { return GetChildren(); }

  void SetIsStatic(bool AValue) override;
  virtual void AddMesh(TTransformDef* AMesh);
  virtual void RemoveMesh(TTransformDef* AMesh);
  // Raises "transform with id "%s" found, but not a mesh node" for a node of another kind when
  // AThrowException is set.
  virtual TMeshDef* FindMeshById(std::string_view AName, bool AThrowException) const;
  virtual void ApplyToMeshData(ui::TMeshData* AData);
  virtual void ApplyFromMeshData(const ui::TMeshData* AData);
  virtual void ApplyToMeshDef(TMeshDef* ADef, TCopyVertexOptions AOptions);

  virtual void CalcTextureCoordinates();
  virtual void CalcTextureCoordinates(int32_t AStartIdx, int32_t AStopIdx);
  virtual void CalcTextureCoordinates(ui::TVertexBuffer* AVertexBuffer, const rtl::TBoundingBox& ABoundingBox,
                                      int32_t AStartIdx, int32_t AStopIdx);
  virtual void CalcFaceNormals(bool APropagateFaceNormalsToVertices, bool ASubMeshes);
  virtual void CalcSmoothNormals(TMeshDefCalculateNormalMethod AMethod, float AWeldEpsilon, bool ASubMeshes);
  virtual void CalcTangentBinormals(ui::TVertexBuffer* AVertexBuffer, const ui::TIndexBuffer* AIndexBuffer);
  virtual void CalcTangentBinormals(bool ASubMeshes);
  virtual void CalcTangentBinormals(ui::TMeshData* AData);

  virtual rtl::TBoundingBox GetCombinedBoundingBox();
  virtual void AcquireBVH();
  virtual void UpdateBVH();
  virtual void ReleaseBVH();
  // Never raises; missing data gives False with zero outputs.
  virtual bool RayCastIntersect(const rtl::TPoint3D& ARayPos, const rtl::TPoint3D& ARayDir,
                                const rtl::TMatrix3D& AMeshMatrix, const rtl::TMatrix3D& AAbsoluteMatrix,
                                rtl::TPoint3D& AIntersection, rtl::TPoint3D& ANormal);

  virtual void AddPolygon(const TPolygon& APoly);
  virtual void AddPolygon(const T3DPolygon& APoly);
  virtual void AddPolygon(const TPolygon& APoly, const TPolygon& ATexCoords, const T3DPolygon& ANormals);
  virtual void AddPolygon(const T3DPolygon& APoly, const TPolygon& ATexCoords, const T3DPolygon& ANormals);
  // Bakes Transform x ATransform into the vertices (and sub-meshes), or only into Transform.
  virtual void ApplyTransformationMatrixToVertices(const rtl::TMatrix3D& ATransform, bool AModfiyVertices);
  virtual void MoveVerticesToPivot();

  // The normalised (B - A) x (C - A).
  static rtl::TPoint3D GetNormalVectorFromPoints(const rtl::TPoint3D& A, const rtl::TPoint3D& B,
                                                 const rtl::TPoint3D& C);

  // The normal routines over plain buffers, shared by definitions and the scene's mesh data.
  // Triangles with an index at or beyond the vertex count are skipped.
  // AFaceNormals gets one entry per triangle: normalise((P1 - P0) x (P1 - P2)); with APropagate
  // the three corners' normals take it.
  static void ComputeFaceNormals(ui::TVertexBuffer& AVertices, const ui::TIndexBuffer& AIndices,
                                 std::vector<rtl::TPoint3D>& AFaceNormals, bool APropagate);
  // Smooth normals from face normals computed first. The default method uses a uniform grid
  // above SmoothNormalGridThreshold vertices, with results equal to ComputeSmoothNormalsReference.
  static void ComputeSmoothNormals(ui::TVertexBuffer& AVertices, const ui::TIndexBuffer& AIndices,
                                   TMeshDefCalculateNormalMethod AMethod, float AWeldEpsilon,
                                   std::vector<rtl::TPoint3D>& AFaceNormals);
  // The default method's plain loop: every vertex against every triangle corner.
  static void ComputeSmoothNormalsReference(ui::TVertexBuffer& AVertices, const ui::TIndexBuffer& AIndices,
                                            float AWeldEpsilon, std::vector<rtl::TPoint3D>& AFaceNormals);
  // The default method through the grid at any size (the reference loop still serves when the
  // epsilon or the coordinates make a grid impossible).
  static void ComputeSmoothNormalsGrid(ui::TVertexBuffer& AVertices, const ui::TIndexBuffer& AIndices,
                                       float AWeldEpsilon, std::vector<rtl::TPoint3D>& AFaceNormals);
  // Per triangle, unnormalised, from TexCoord0; nothing without Normal, Tangent and BiNormal slots.
  static void ComputeTangentBinormals(ui::TVertexBuffer* AVertexBuffer, const ui::TIndexBuffer* AIndexBuffer);

  int64_t GetSize() const override;
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

protected:
  void RecalcRenderByVertexGroups();

private:
  std::unique_ptr<TBVHGeometry> FBVH;
  bool FRenderByVertexGroups = false;

  void FreeOwnBVH();
  void AddPolygonPoints(const T3DPolygon& APoly, const TPolygon& ATexCoords, const T3DPolygon& ANormals);
};

// A part of its owner mesh's vertices: its own index source over the owner's vertex source.
class TVertexGroupDef : public TMeshDef {
  VANTREL_DEF_CLASS(TVertexGroupDef, TMeshDef)
public:
  // An empty index source in the owner mesh's index format, else UInt32.
  explicit TVertexGroupDef(TCustomDef* AOwner = nullptr);

  // The owner mesh's vertex source (none without owner).
  ui::TVertexBuffer* GetVertexSource() const override;
  // Copies the group's indices into AData; the vertices are left alone.
  void ApplyToMeshData(ui::TMeshData* AData) override;
  // The mesh members, then the group's own "IndexFormat", "IndexCount" and "Indices".
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

protected:
  bool ReadsOwnVertices() const override { return false; }
};

// The largest index of ABuffer; 0 when empty.
uint32_t MaxIndexOf(const ui::TIndexBuffer& ABuffer);

// ---- The vertex cache --------------------------------------------------------------------------------

enum class TVertexOrder : uint8_t { CW, CCW };
enum class TCacheIndexKind : uint8_t { ikTriangleIndex, ikPointIndex };

// Welds the per-attribute corners of imported faces into single-index vertices.
class TVertexCache : public rtl::TObject {
  RTL_CLASS(TVertexCache, rtl::TObject)
public:
  static constexpr int TextureSetCount = 32;
  static constexpr int ColorSetCount = 4;

  explicit TVertexCache(uint32_t ADefaultCapacity = 0);
  ~TVertexCache() override;

  bool Destroyed = false;
  std::vector<rtl::TPoint3D> PositionSource, NormalSource, BinormalSource, TangentSource;
  std::array<std::vector<rtl::TPointF>, TextureSetCount> TextureSources;
  std::array<std::vector<rtl::TAlphaColorF>, ColorSetCount> ColorSources;
  TVertexIndexMap IndexMap;
  std::vector<TVertexData> Vertices;
  std::vector<TTriangleIndex> Indices;
  std::vector<uint32_t> PointIndices;
  TCacheIndexKind IndexKind = TCacheIndexKind::ikTriangleIndex;
  bool UseBuffersAsArray = false;
  bool NormalsAvailable = false, TangentsAvailable = false, BinormalsAvailable = false;
  bool TexCoordsAvailable = false, TexCoordsST = false;

  virtual void ClearBuffers();
  virtual void ClearAll();
  virtual void ClearMaps();
  virtual void ClearVirtualData();
  virtual void DoOnCreateSubMesh(TMeshDef* AMesh, TMeshDef* ASubMesh);
  virtual TMaterialDef* DoOnCreateDefaultMaterial(TMeshDef* AMesh);
  virtual TMaterialRefDef* DoOnCreateMaterialRef(TMeshDef* AMesh, TMaterialDef* AMaterial);

  int32_t AddPositionSource(float X, float Y, float Z);
  int32_t AddPositionSource(const rtl::TPoint3D& AValue);
  int32_t AddNormalSource(float X, float Y, float Z);
  int32_t AddNormalSource(const rtl::TPoint3D& AValue);
  int32_t AddBinormalSource(float X, float Y, float Z);
  int32_t AddBinormalSource(const rtl::TPoint3D& AValue);
  int32_t AddTangentSource(float X, float Y, float Z);
  int32_t AddTangentSource(const rtl::TPoint3D& AValue);
  // Each vector's X, Y, Z; the last index, -1 for none.
  int32_t AddTangentSource(const std::vector<rtl::TVector3D>& AValues);
  // Set indices outside 0..31 (textures) or 0..3 (colours) raise ERangeError.
  int32_t AddTextureSource(int32_t AIndex, float S, float T, bool AConvertToUV);
  int32_t AddTextureSource(int32_t AIndex, const rtl::TPointF& AValue, bool AConvertToUV);
  int32_t AddColorSource(int32_t AIndex, float R, float G, float B, float A);
  int32_t AddColorSource(int32_t AIndex, const rtl::TAlphaColorF& AValue);

  void SetPositionSource(const std::vector<float>& AValues);
  void SetNormalSource(const std::vector<float>& AValues);
  // Normals are directions: they go through the inverse transpose of ATransform's upper 3x3
  // (translation ignored) and are normalised; a zero result is kept.
  void SetNormalSource(const std::vector<float>& AValues, const rtl::TMatrix3D& ATransform);
  void SetBiNormalSource(const std::vector<float>& AValues);
  void SetTangentSource(const std::vector<float>& AValues);
  // One pair per AStride values; a stride below 2 raises EArgumentException.
  void SetTextureSource(int32_t AIndex, const std::vector<float>& AValues, bool AConvertToUV, int32_t AStride);
  void SetColorSource(int32_t AIndex, const std::vector<float>& AValues);
  // Null outside 0..31 and 0..3.
  std::vector<rtl::TPointF>* GetTextureSourceArray(int32_t AIndex);
  std::vector<rtl::TAlphaColorF>* GetColorSourceArray(int32_t AIndex);

  // Raises "invalid index for vertex position coordinate: %d < %d" for a bad position index.
  TVertexData GetVertex(const TVertexID& AVertex) const;
  int32_t AddTriangle(int32_t AIndexOffset, const TTriangleID& ATriangle, std::vector<TVertexData>& AVertices,
                      std::vector<TTriangleIndex>& AIndices, TVertexOrder AVertexOrder);
  int32_t AddPolygon(int32_t AIndexOffset, const TPolygonID& APolygon, std::vector<TVertexData>& AVertices,
                     std::vector<TTriangleIndex>& AIndices, TVertexOrder AVertexOrder);
  int32_t AddPoints(int32_t AIndexOffset, std::vector<TVertexData>& AVertices, std::vector<uint32_t>& AIndices);

private:
  rtl::TDictionary<uint64_t, std::vector<uint32_t>> FWeldTable;

  // The welded vertex index of the corner; its position index goes to the index map.
  uint32_t AddCorner(const TVertexID& ACorner, std::vector<TVertexData>& AVertices);
};

} // namespace vantrel
