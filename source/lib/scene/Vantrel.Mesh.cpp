#include "scene/Vantrel.Mesh.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "context/Vantrel.Context.Buffers.h"
#include "context/Vantrel.Context.h"
#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "materials/Vantrel.Material.Default.h"
#include "materials/Vantrel.Material.PassLink.h"
#include "materials/Vantrel.Material.h"
#include "rtl/exceptions.h"
#include "rtl/filer.h"
#include "rtl/properties.h"
#include "rtl/sysutils.h"
#include "rtl/threads.h"
#include "rtl/value.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Group.h"
#include "scene/Vantrel.Model.h"
#include "scene/Vantrel.Segment.h"
#include "ui/material.h"
#include "utils/Vantrel.Utils.Geometry.h"
#include "utils/Vantrel.Utils.Math.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelMeshInstance, "Vantrel.Mesh", &TVantrelMeshInstance::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelMeshInstances, "Vantrel.Mesh")
RTL_DEFINE_CLASS(TVantrelMesh, "Vantrel.Mesh", &TVantrelMesh::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelVertexGroup, "Vantrel.Mesh")
RTL_DEFINE_CLASS(TVantrelReadOnlyCollection, "Vantrel.Mesh")
RTL_DEFINE_CLASS(TVantrelMeshMaterialCollectionItem, "Vantrel.Mesh",
                 &TVantrelMeshMaterialCollectionItem::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelMeshMaterialCollection, "Vantrel.Mesh")
RTL_DEFINE_CLASS(TVantrelMeshBehaviourCollectionItem, "Vantrel.Mesh",
                 &TVantrelMeshBehaviourCollectionItem::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelMeshBehaviourCollection, "Vantrel.Mesh")
RTL_DEFINE_CLASS(TVantrelMeshCollectionItem, "Vantrel.Mesh", &TVantrelMeshCollectionItem::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelMeshCollection, "Vantrel.Mesh")

namespace {

[[noreturn]] void Rewrap(const char* AFormat, const std::exception& AError) {
  const auto* error = dynamic_cast<const Exception*>(&AError);
  throw Exception(Format(AFormat, {error ? error->Message() : std::string(AError.what())}));
}

template <class TApply> void ApplyKey(const TProperties& AProperties, const char* AKey, TApply AApply) {
  if (const TValue* value = AProperties.Find(std::string_view(AKey)))
    AApply(*value);
}

bool InvalidBox(const TBoundingBox& ABox) {
  return ABox.Left > ABox.Right || ABox.Top > ABox.Bottom || ABox.Near > ABox.Far;
}

bool EmptyBox(const TBoundingBox& ABox) {
  const auto empty = [](float AMin, float AMax) { return AMax - AMin < 0 || std::abs(AMax - AMin) <= 0.0001f; };
  return empty(ABox.Left, ABox.Right) || empty(ABox.Top, ABox.Bottom) || empty(ABox.Near, ABox.Far);
}

TVantrelContext* VantrelContext(TContext3D* AContext) {
  return dynamic_cast<TVantrelContext*>(AContext);
}

} // namespace

// ---- TVantrelMeshInstance ----

namespace {

constexpr double DegToRad = std::numbers::pi / 180.0;

// An angle in degrees brought into [0, 360).
float Wrap360(double AAngle) {
  double result = std::fmod(AAngle, 360.0);
  if (result < 0)
    result += 360.0;
  return result >= 360.0 ? 0.0f : f32(result);
}

bool Near(const TPoint3D& AValue, const TPoint3D& ATarget, float ATolerance) {
  return std::abs(AValue.X - ATarget.X) <= ATolerance && std::abs(AValue.Y - ATarget.Y) <= ATolerance &&
         std::abs(AValue.Z - ATarget.Z) <= ATolerance;
}

} // namespace

TVantrelMeshInstance::TVantrelMeshInstance()
    : FPosition(MakeOwned<TPosition3D>()), FRotationAngle(MakeOwned<TPosition3D>()),
      FScale(MakeOwned<TPosition3D>(TPoint3D{1, 1, 1})), FRotationCenter(MakeOwned<TPosition3D>()) {
  FPosition->OnChange = TNotifyEvent(this, &TVantrelMeshInstance::MatrixChanged);
  FScale->OnChange = TNotifyEvent(this, &TVantrelMeshInstance::MatrixChanged);
  FRotationCenter->OnChange = TNotifyEvent(this, &TVantrelMeshInstance::MatrixChanged);
  FRotationAngle->OnChange = TNotifyEvent(this, &TVantrelMeshInstance::RotationChanged);
  FRotationAngle->OnChangeX = TNotifyEvent(this, &TVantrelMeshInstance::RotationXChanged);
  FRotationAngle->OnChangeY = TNotifyEvent(this, &TVantrelMeshInstance::RotationYChanged);
  FRotationAngle->OnChangeZ = TNotifyEvent(this, &TVantrelMeshInstance::RotationZChanged);
}

TVantrelMeshInstance::~TVantrelMeshInstance() = default;

void TVantrelMeshInstance::AfterConstruction() {
  TCollectionItem::AfterConstruction();
  NotifyCollection();
}

void TVantrelMeshInstance::BeforeDestruction() {
  // Leaving the collection rebuilds its cache (the collection's Update), so no stale matrix of
  // this item stays behind.
  TCollectionItem::BeforeDestruction();
}

void TVantrelMeshInstance::RegisterProperties(TPropertyList& AList) {
  AList.Add("DisplayName", &TVantrelMeshInstance::GetDisplayName, &TVantrelMeshInstance::SetDisplayName);
  AList.Add("Position", &TVantrelMeshInstance::Position, &TVantrelMeshInstance::SetPosition);
  AList.Add("RotationAngle", &TVantrelMeshInstance::RotationAngle, &TVantrelMeshInstance::SetRotationAngle);
  AList.Add("Scale", &TVantrelMeshInstance::Scale, &TVantrelMeshInstance::SetScale);
  AList.Add("RotationCenter", &TVantrelMeshInstance::RotationCenter, &TVantrelMeshInstance::SetRotationCenter);
}

void TVantrelMeshInstance::NotifyCollection() const {
  if (auto* instances = dynamic_cast<TVantrelMeshInstances*>(Collection()))
    instances->Changed();
}

void TVantrelMeshInstance::SetTransform(const TMatrix3D& ATransform) {
  FTransform = ATransform;
  FPosition->SetPointNoChange(MatrixGetTranslation(ATransform));
  FScale->SetPointNoChange(MatrixGetScale(ATransform));
  FRotationCenter->SetPointNoChange({0, 0, 0});
  FQuaternion = MatrixGetRotation(ATransform);
  FRotationAngle->SetPointNoChange(QuaternionToEuler(FQuaternion, 0));
  FSavedRotationAngle = {0, 0, 0};
  NotifyCollection();
}

void TVantrelMeshInstance::AssignTo(TPersistent* ADest) const {
  auto* dest = dynamic_cast<TVantrelMeshInstance*>(ADest);
  if (!dest) {
    TCollectionItem::AssignTo(ADest);
    return;
  }
  // Assigning is a state change of this item as the platform sees it (its updating counter
  // guards the copy and its matrix is rebuilt afterwards), so the const is cast away here.
  auto* self = const_cast<TVantrelMeshInstance*>(this);
  ++self->FUpdating;
  try {
    dest->FTransform = FTransform;
    dest->FPosition->SetPointNoChange(FPosition->Point());
    dest->FQuaternion = FQuaternion;
    dest->FRotationAngle->SetPointNoChange(FRotationAngle->Point());
    dest->FSavedRotationAngle = FSavedRotationAngle;
    dest->FScale->SetPointNoChange(FScale->Point());
    dest->FRotationCenter->SetPointNoChange(FRotationCenter->Point());
  } catch (...) {
    --self->FUpdating;
    throw;
  }
  --self->FUpdating;
  self->MatrixChanged(self);
}

bool TVantrelMeshInstance::TurnAxis(float TPoint3D::*AAxis, const TPoint3D& AUnitAxis) {
  const float angle = FRotationAngle->Point().*AAxis;
  const float delta = Wrap360(double(angle) - FSavedRotationAngle.*AAxis);
  if (delta == 0)
    return false;
  FQuaternion = FQuaternion * TQuaternion3D::Create(AUnitAxis, f32(delta * DegToRad));
  return true;
}

namespace {

// The handler of one axis: turn, rebuild the matrix, remember the angle as set and rewrite it in
// [0, 360) without notification.
template <class TTurn, class TRebuild>
void ChangeAxis(float TPoint3D::*AAxis, TPosition3D& AAngles, TPoint3D& ASaved, TTurn ATurn, TRebuild ARebuild) {
  if (!ATurn())
    return;
  ARebuild();
  TPoint3D angles = AAngles.Point();
  ASaved.*AAxis = angles.*AAxis;
  angles.*AAxis = Wrap360(angles.*AAxis);
  AAngles.SetPointNoChange(angles);
}

} // namespace

void TVantrelMeshInstance::RotationXChanged(TObject*) {
  if (FUpdating > 0)
    return;
  ChangeAxis(
      &TPoint3D::X, *FRotationAngle, FSavedRotationAngle, [this] { return TurnAxis(&TPoint3D::X, {1, 0, 0}); },
      [this] { MatrixChanged(this); });
}

void TVantrelMeshInstance::RotationYChanged(TObject*) {
  if (FUpdating > 0)
    return;
  ChangeAxis(
      &TPoint3D::Y, *FRotationAngle, FSavedRotationAngle, [this] { return TurnAxis(&TPoint3D::Y, {0, 1, 0}); },
      [this] { MatrixChanged(this); });
}

void TVantrelMeshInstance::RotationZChanged(TObject*) {
  if (FUpdating > 0)
    return;
  ChangeAxis(
      &TPoint3D::Z, *FRotationAngle, FSavedRotationAngle, [this] { return TurnAxis(&TPoint3D::Z, {0, 0, 1}); },
      [this] { MatrixChanged(this); });
}

void TVantrelMeshInstance::RotationChanged(TObject*) {
  if (FUpdating > 0)
    return;
  const bool x = TurnAxis(&TPoint3D::X, {1, 0, 0});
  const bool y = TurnAxis(&TPoint3D::Y, {0, 1, 0});
  const bool z = TurnAxis(&TPoint3D::Z, {0, 0, 1});
  if (!x && !y && !z)
    return;
  TPoint3D angles = FRotationAngle->Point();
  FSavedRotationAngle = angles;
  if (x)
    angles.X = Wrap360(angles.X);
  if (y)
    angles.Y = Wrap360(angles.Y);
  if (z)
    angles.Z = Wrap360(angles.Z);
  FRotationAngle->SetPointNoChange(angles);
  MatrixChanged(this);
}

void TVantrelMeshInstance::ResetRotationAngle() {
  if (FUpdating > 0)
    return;
  FQuaternion = TQuaternion3D::Identity();
  MatrixChanged(this);
  FRotationAngle->SetPointNoChange({0, 0, 0});
  FSavedRotationAngle = {0, 0, 0};
}

void TVantrelMeshInstance::MatrixChanged(TObject*) {
  if (FUpdating > 0)
    return;
  TMatrix3D matrix = TMatrix3D::Identity();
  const TPoint3D scale = FScale->Point();
  if (!Near(scale, {1, 1, 1}, 0.0001f))
    matrix = matrix * TMatrix3D::CreateScaling(scale);
  if (Near(FRotationAngle->Point(), {0, 0, 0}, 0.0001f)) {
    FSavedRotationAngle = {0, 0, 0};
    FQuaternion = TQuaternion3D::Identity();
  } else {
    TMatrix3D rotation = FQuaternion.ToMatrix();
    const TPoint3D center = FRotationCenter->Point();
    if (!Near(center, {0, 0, 0}, 0.001f))
      rotation = TMatrix3D::CreateTranslation(-center) * rotation * TMatrix3D::CreateTranslation(center);
    matrix = matrix * rotation;
  }
  const TPoint3D position = FPosition->Point();
  if (!Near(position, {0, 0, 0}, 0.001f))
    matrix = matrix * TMatrix3D::CreateTranslation(position);
  FTransform = matrix;
  NotifyCollection();
}

// ---- TVantrelMeshInstances ----

TVantrelMeshInstances::TVantrelMeshInstances(TVantrelMesh* AMesh)
    : TOwnedCollection(AMesh, TVantrelMeshInstance::StaticClass()), FMesh(AMesh) {}

int32_t TVantrelMeshInstances::AddInstance(const TMatrix3D& ATransform) {
  if (FCache.empty())
    FCache.push_back(TMatrix3D::Identity());
  FInherited = false;
  FCache.push_back(ATransform);
  FCacheUpdated = true;
  Propagate();
  return int32_t(FCache.size()) - 1;
}

int32_t TVantrelMeshInstances::AddInstance(const TMatrix3D& ATransform, const std::string& AName) {
  auto* item = static_cast<TVantrelMeshInstance*>(Add());
  item->SetTransform(ATransform);
  item->SetDisplayName(AName);
  return item->Index();
}

bool TVantrelMeshInstances::DeleteInstance(int32_t AIndex) {
  if (Count() > 0) {
    if (AIndex < 0 || AIndex >= Count())
      return false;
    Delete(AIndex);
    Changed();
    return true;
  }
  if (AIndex < 0 || size_t(AIndex) >= FCache.size())
    return false;
  if (FCache.size() > 1) {
    if (AIndex == 0)
      FCache[0] = TMatrix3D::Identity();
    else
      FCache.erase(FCache.begin() + AIndex);
  }
  Propagate();
  return true;
}

void TVantrelMeshInstances::ClearInstances() {
  Clear();
  FCache.assign(1, TMatrix3D::Identity());
  FCacheUpdated = true;
  FInherited = false;
  Propagate();
}

TMatrix3D TVantrelMeshInstances::GetInstance(int32_t AIndex) const {
  if (AIndex < 0 || size_t(AIndex) >= FCache.size())
    throw Exception(SGetInstanceInvalid);
  return FCache[size_t(AIndex)];
}

void TVantrelMeshInstances::SetInstance(int32_t AIndex, const TMatrix3D& AValue) {
  if (FCache.empty())
    FCache.push_back(TMatrix3D{});
  if (AIndex < 0 || size_t(AIndex) >= FCache.size())
    throw Exception(SSetInstanceInvalid);
  FCache[size_t(AIndex)] = AValue;
}

void TVantrelMeshInstances::Update(TCollectionItem*) {
  FCacheUpdated = false;
  UpdateInstanceCache();
}

void TVantrelMeshInstances::UpdateInstanceCache() {
  if (FCacheUpdated)
    return;
  FCache.resize(size_t(Count()) + 1);
  FCache[0] = TMatrix3D::Identity();
  for (int i = 0; i < Count(); ++i)
    FCache[size_t(i) + 1] = Item(i)->Transform();
  FCacheUpdated = true;
  FInherited = false;
  Propagate();
}

void TVantrelMeshInstances::UpdateInstanceCache(const TMatrix3D& ABaseTransform,
                                                const std::vector<TMatrix3D>& AInstances) {
  FCache.resize(AInstances.size());
  for (size_t i = 0; i < AInstances.size(); ++i)
    FCache[i] = AInstances[i] * ABaseTransform;
  FCacheUpdated = true;
  FInherited = true;
}

const std::vector<TMatrix3D>& TVantrelMeshInstances::ToArray() {
  if (!FCacheUpdated && Count() > 0)
    UpdateInstanceCache();
  if (FCache.empty())
    FCache.push_back(TMatrix3D::Identity());
  return FCache;
}

void TVantrelMeshInstances::Propagate() {
  if (FMesh && !FMesh->ComponentState().Contains(TComponentStateItem::csDestroying))
    FMesh->UpdateSubMeshInstances(TMatrix3D::Identity(), FCache);
}

// ---- TVantrelMesh: life ----

TVantrelMesh::TVantrelMesh(TComponent* AOwner)
    : TVantrelTransform(AOwner), FData(MakeOwned<TMeshData>(MeshVertexFormat, 0, 0)),
      FInstances(MakeOwned<TVantrelMeshInstances>(this)),
      FMaterials(MakeOwned<TVantrelMeshMaterialCollection>(this)),
      FBehaviours(MakeOwned<TVantrelMeshBehaviourCollection>(this)),
      FMeshCollection(MakeOwned<TVantrelMeshCollection>(this)) {
  OnRender = ui::TRenderEvent(this, &TVantrelMesh::RenderWireframeAndNormals);
}

void TVantrelMesh::AfterConstruction() {
  try {
    if (!FData)
      throw Exception(SMeshDataNotSet);
    TOwned<TVertexBuffer> buffer = CreateVertexBuffer();
    DirtyHackApplyMeshDataBuffers(FData.get(), buffer.get(), nullptr);
  } catch (const std::exception& error) {
    const auto* known = dynamic_cast<const Exception*>(&error);
    throw Exception(SMeshCreate + (known ? known->Message() : std::string(error.what())));
  }
  TVantrelTransform::AfterConstruction();
}

TOwned<TVertexBuffer> TVantrelMesh::CreateVertexBuffer() {
  return MakeOwned<TVertexBuffer>(MeshVertexFormat, 0);
}

void TVantrelMesh::BeforeDestruction() {
  // The owned sub-meshes go here, while this mesh is whole (and marked destroying, so they leave
  // the Meshes list alone); the list is then cleared before anything else of this mesh goes.
  TVantrelTransform::BeforeDestruction();
  FMeshes.clear();
}

TVantrelMesh::~TVantrelMesh() {
  FInstances.reset();
  FBehaviours.reset();
  FMeshCollection.reset();
  FMaterials.reset();
  FMeshes.clear();
  ClearVertexJoints();
  // A definition that belongs to no model and to no owner node is this mesh's to free; a child
  // definition is freed with its owner's children.
  if (OwnsDefinition()) {
    TCustomDef* def = Def();
    ForgetDefinitionInSubtree(this, def);
    def->Free();
  }
  FData.reset();
}

bool TVantrelMesh::OwnsDefinition() const {
  const auto* def = dynamic_cast<const TMeshDef*>(Def());
  if (!def)
    return false;
  const TClass* modelClass = GetClass("Vantrel.DefTypes.TModelDef");
  if (modelClass && def->InheritsFrom(*modelClass))
    return false;
  return def->GetModel() == nullptr && def->GetOwnerRef() == nullptr;
}

void TVantrelMesh::ForgetDefinitionInSubtree(TFmxObject* AObject, const TCustomDef* ADef) {
  if (auto* control = dynamic_cast<TVantrelControl*>(AObject); control && control->Def() == ADef)
    control->SetDef(nullptr);
  for (TFmxObject* child : AObject->Children())
    ForgetDefinitionInSubtree(child, ADef);
}

void TVantrelMesh::RegisterProperties(TPropertyList& AList) {
  // The getter is the control's; the mesh's setter also reaches its sub-meshes.
  AList.Add("FrustumCullingCheck", static_cast<bool (TVantrelMesh::*)() const>(&TVantrelMesh::FrustumCullingCheck),
            &TVantrelMesh::SetFrustumCullingCheck)
      .WithDefault(true);
  AList.Add("Instances", &TVantrelMesh::GetInstances, &TVantrelMesh::SetInstances);
  AList.Add("WrapMode", &TVantrelMesh::WrapMode, &TVantrelMesh::SetWrapMode).WithDefault(TMeshWrapMode::Original);
  AList.Add("MaterialSource", &TVantrelMesh::GetMaterialSource, &TVantrelMesh::SetMaterialSource).AsReference();
  // Read-only lists for display: a form does not store them (the mesh rebuilds them).
  AList.Add("Materials", &TVantrelMesh::Materials).Stored(false);
  AList.Add("Behaviours", &TVantrelMesh::Behaviours).Stored(false);
  AList.Add("MeshCollection", &TVantrelMesh::MeshCollection).Stored(false);
  // The geometry comes from the definition: key animations write these, forms do not store them.
  AList.Add("Coordinates", &TVantrelMesh::CoordinatesValue, &TVantrelMesh::SetCoordinates).Stored(false);
}

void TVantrelMesh::Notification(TComponent* AComponent, TOperation AOperation) {
  TVantrelTransform::Notification(AComponent, AOperation);
  if (AOperation == TOperation::opRemove && AComponent == FMaterialSource)
    FMaterialSource = nullptr;
  for (TVantrelReadOnlyCollection* collection :
       {static_cast<TVantrelReadOnlyCollection*>(FMaterials.get()),
        static_cast<TVantrelReadOnlyCollection*>(FBehaviours.get()),
        static_cast<TVantrelReadOnlyCollection*>(FMeshCollection.get())})
    if (collection)
      collection->Notification(AComponent, AOperation);
  FCollectionsStale = true;
}

void TVantrelMesh::Loaded() {
  TVantrelTransform::Loaded();
  RegisterInParentMesh();
  FInstances->Changed();
  RebuildCollections();
}

TVantrelMeshInstance* TVantrelMesh::AddInstanceItem(const std::string& AName) {
  auto* item = static_cast<TVantrelMeshInstance*>(FInstances->Add());
  item->SetDisplayName(AName);
  return item;
}

// ---- read-only collections ----

void TVantrelMesh::RebuildCollections() {
  FCollectionsStale = false;
  if (ComponentState().Contains(TComponentStateItem::csDestroying))
    return;
  FMaterials->Clear();
  if (FMaterials->TryBeginUpdate())
    TVantrelMeshMaterialCollection::Update(FMaterials.get(), this);
  FMaterials->EndUpdateGuard();
  FBehaviours->Clear();
  if (FBehaviours->TryBeginUpdate())
    TVantrelMeshBehaviourCollection::Update(FBehaviours.get(), this);
  FBehaviours->EndUpdateGuard();
  FMeshCollection->Clear();
  TVantrelMeshCollection::Update(FMeshCollection.get(), this);
}

// A stale list is a cache of what the mesh uses, so reading it refreshes it.
TVantrelMeshMaterialCollection* TVantrelMesh::Materials() const {
  if (FCollectionsStale)
    const_cast<TVantrelMesh*>(this)->RebuildCollections();
  return FMaterials.get();
}

TVantrelMeshBehaviourCollection* TVantrelMesh::Behaviours() const {
  if (FCollectionsStale)
    const_cast<TVantrelMesh*>(this)->RebuildCollections();
  return FBehaviours.get();
}

TVantrelMeshCollection* TVantrelMesh::MeshCollection() const {
  if (FCollectionsStale)
    const_cast<TVantrelMesh*>(this)->RebuildCollections();
  return FMeshCollection.get();
}

TVantrelReadOnlyCollection::TVantrelReadOnlyCollection(TVantrelMesh* AMesh, const TClass& AItemClass)
    : TOwnedCollection(AMesh, AItemClass), FMesh(AMesh) {}

void TVantrelReadOnlyCollection::Notification(TComponent* AComponent, TOperation AOperation) {
  if (AOperation != TOperation::opRemove || !AComponent)
    return;
  for (int i = 0; i < Count(); ++i)
    if (Reference(Items(i)) == AComponent)
      ClearReference(Items(i));
}

bool TVantrelReadOnlyCollection::TryBeginUpdate() {
  BeginUpdate();
  if (FUpdating > 0)
    return false;
  ++FUpdating;
  return true;
}

void TVantrelReadOnlyCollection::EndUpdateGuard() {
  if (FUpdating > 0)
    --FUpdating;
  EndUpdate();
}

bool TVantrelReadOnlyCollection::Refers(const TComponent* AComponent) const {
  for (int i = 0; i < Count(); ++i)
    if (Reference(Items(i)) == AComponent)
      return true;
  return false;
}

namespace {

// The platform's assign error unless ASource is an item of AItem's own class.
template <class TItem> const TItem* SameItemClass(TItem* AItem, const TPersistent* ASource) {
  const auto* source = dynamic_cast<const TItem*>(ASource);
  return source && &source->ClassType() == &AItem->ClassType() ? source : nullptr;
}

} // namespace

void TVantrelMeshMaterialCollectionItem::RegisterProperties(TPropertyList& AList) {
  AList.Add("Material", &TVantrelMeshMaterialCollectionItem::Material).AsReference();
}

std::string TVantrelMeshMaterialCollectionItem::GetDisplayName() const {
  return FMaterial ? FMaterial->Name() : std::string();
}

void TVantrelMeshMaterialCollectionItem::Assign(const TPersistent* ASource) {
  if (const auto* source = SameItemClass(this, ASource))
    FMaterial = source->FMaterial;
  else
    TCollectionItem::Assign(ASource);
}

TVantrelMeshMaterialCollection::TVantrelMeshMaterialCollection(TVantrelMesh* AMesh)
    : TVantrelReadOnlyCollection(AMesh, TVantrelMeshMaterialCollectionItem::StaticClass()) {}

bool TVantrelMeshMaterialCollection::MaterialExists(const ui::TMaterialSource* AMaterial) const {
  return Refers(AMaterial);
}

void TVantrelMeshMaterialCollection::Update(TVantrelMeshMaterialCollection* ACollection, TVantrelMesh* AMesh) {
  ui::TMaterialSource* source = AMesh->GetMaterialSource();
  if (source && !ACollection->MaterialExists(source))
    static_cast<TVantrelMeshMaterialCollectionItem*>(ACollection->Add())->SetMaterialReference(source);
  for (TVantrelMesh* mesh : AMesh->Meshes())
    Update(ACollection, mesh);
}

TComponent* TVantrelMeshMaterialCollection::Reference(const TCollectionItem* AItem) const {
  return static_cast<const TVantrelMeshMaterialCollectionItem*>(AItem)->Material();
}

void TVantrelMeshMaterialCollection::ClearReference(TCollectionItem* AItem) {
  static_cast<TVantrelMeshMaterialCollectionItem*>(AItem)->SetMaterialReference(nullptr);
}

void TVantrelMeshBehaviourCollectionItem::RegisterProperties(TPropertyList& AList) {
  AList.Add("Behaviour", &TVantrelMeshBehaviourCollectionItem::Behaviour,
            &TVantrelMeshBehaviourCollectionItem::SetBehaviour)
      .AsReference();
}

void TVantrelMeshBehaviourCollectionItem::SetBehaviour(TVantrelMaterialBehaviour* AValue) {
  auto* collection = dynamic_cast<TVantrelReadOnlyCollection*>(Collection());
  TVantrelMesh* mesh = collection ? collection->Mesh() : nullptr;
  if (FBehaviour && mesh)
    mesh->DetachMaterialBehaviour(FBehaviour);
  FBehaviour = AValue;
  if (FBehaviour && mesh)
    mesh->AttachMaterialBehaviour(FBehaviour);
}

std::string TVantrelMeshBehaviourCollectionItem::GetDisplayName() const {
  if (!FBehaviour)
    return {};
  return FBehaviour->Name().empty() ? FBehaviour->GetUniqueID() : FBehaviour->Name();
}

void TVantrelMeshBehaviourCollectionItem::Assign(const TPersistent* ASource) {
  if (const auto* source = SameItemClass(this, ASource))
    FBehaviour = source->FBehaviour;
  else
    TCollectionItem::Assign(ASource);
}

TVantrelMeshBehaviourCollection::TVantrelMeshBehaviourCollection(TVantrelMesh* AMesh)
    : TVantrelReadOnlyCollection(AMesh, TVantrelMeshBehaviourCollectionItem::StaticClass()) {}

bool TVantrelMeshBehaviourCollection::BehaviourExists(const TVantrelMaterialBehaviour* ABehaviour) const {
  return Refers(ABehaviour);
}

void TVantrelMeshBehaviourCollection::Update(TVantrelMeshBehaviourCollection* ACollection, TVantrelMesh* AMesh) {
  if (auto* source = dynamic_cast<TVantrelDefaultMaterialSource*>(AMesh->GetMaterialSource()))
    if (TVantrelMaterialBehaviourCollection* list = source->GetBehaviours())
      for (int i = 0; i < list->Count(); ++i) {
        TVantrelMaterialBehaviour* behaviour = list->GetItem(i)->GetBehaviour();
        if (behaviour && !ACollection->BehaviourExists(behaviour))
          static_cast<TVantrelMeshBehaviourCollectionItem*>(ACollection->Add())->SetBehaviourReference(behaviour);
      }
  for (TVantrelMesh* mesh : AMesh->Meshes())
    Update(ACollection, mesh);
}

TComponent* TVantrelMeshBehaviourCollection::Reference(const TCollectionItem* AItem) const {
  return static_cast<const TVantrelMeshBehaviourCollectionItem*>(AItem)->Behaviour();
}

void TVantrelMeshBehaviourCollection::ClearReference(TCollectionItem* AItem) {
  static_cast<TVantrelMeshBehaviourCollectionItem*>(AItem)->SetBehaviourReference(nullptr);
}

void TVantrelMeshCollectionItem::RegisterProperties(TPropertyList& AList) {
  AList.Add("Mesh", &TVantrelMeshCollectionItem::Mesh).AsReference();
}

std::string TVantrelMeshCollectionItem::GetDisplayName() const {
  if (!FMesh)
    return {};
  return FMesh->Name().empty() ? FMesh->QualifiedName() : FMesh->Name();
}

void TVantrelMeshCollectionItem::Assign(const TPersistent* ASource) {
  if (const auto* source = SameItemClass(this, ASource))
    FMesh = source->FMesh;
  else
    TCollectionItem::Assign(ASource);
}

TVantrelMeshCollection::TVantrelMeshCollection(TVantrelMesh* AMesh)
    : TVantrelReadOnlyCollection(AMesh, TVantrelMeshCollectionItem::StaticClass()) {}

bool TVantrelMeshCollection::MeshExists(const TVantrelMesh* AMesh) const {
  return Refers(AMesh);
}

void TVantrelMeshCollection::Update(TVantrelMeshCollection* ACollection, TVantrelMesh* AMesh) {
  if (ACollection->IsUpdating())
    return;
  ACollection->TryBeginUpdate();
  try {
    for (TVantrelMesh* mesh : AMesh->Meshes())
      if (!ACollection->MeshExists(mesh))
        static_cast<TVantrelMeshCollectionItem*>(ACollection->Add())->SetMeshReference(mesh);
  } catch (...) {
    ACollection->EndUpdateGuard();
    throw;
  }
  ACollection->EndUpdateGuard();
}

TComponent* TVantrelMeshCollection::Reference(const TCollectionItem* AItem) const {
  return static_cast<const TVantrelMeshCollectionItem*>(AItem)->Mesh();
}

void TVantrelMeshCollection::ClearReference(TCollectionItem* AItem) {
  static_cast<TVantrelMeshCollectionItem*>(AItem)->SetMeshReference(nullptr);
}

// ---- parent registration ----

void TVantrelMesh::RegisterInParentMesh() {
  auto* parent = dynamic_cast<TVantrelMesh*>(Parent());
  if (parent && std::find(parent->FMeshes.begin(), parent->FMeshes.end(), this) == parent->FMeshes.end())
    parent->FMeshes.push_back(this);
}

void TVantrelMesh::UnregisterFromParentMesh() {
  auto* parent = dynamic_cast<TVantrelMesh*>(Parent());
  if (!parent || parent->ComponentState().Contains(TComponentStateItem::csDestroying))
    return;
  std::erase(parent->FMeshes, this);
}

void TVantrelMesh::DoAddObject(TFmxObject* AObject) {
  TVantrelTransform::DoAddObject(AObject);
  if (auto* mesh = dynamic_cast<TVantrelMesh*>(AObject))
    mesh->RegisterInParentMesh();
}

void TVantrelMesh::DoRemoveObject(TFmxObject* AObject) {
  // The child may already have left its parent link: the list is this mesh's own.
  if (auto* mesh = dynamic_cast<TVantrelMesh*>(AObject); mesh && !ComponentState().Contains(TComponentStateItem::csDestroying))
    std::erase(FMeshes, mesh);
  TVantrelTransform::DoRemoveObject(AObject);
}

// ---- settings that propagate ----

void TVantrelMesh::SetWrapMode(TMeshWrapMode AValue) {
  FWrapMode = AValue;
  Repaint();
  for (TVantrelMesh* mesh : FMeshes)
    mesh->SetWrapMode(AValue);
}

void TVantrelMesh::SetFrustumCullingCheck(bool AValue) {
  TVantrelTransform::SetFrustumCullingCheck(AValue);
  for (TVantrelMesh* mesh : FMeshes)
    mesh->SetFrustumCullingCheck(AValue);
}

void TVantrelMesh::SetTwoSideValue(bool AValue) {
  SetTwoSide(AValue);
  for (TVantrelMesh* mesh : FMeshes)
    mesh->SetTwoSideValue(AValue);
}

void TVantrelMesh::SetOpacityValue(float AValue) {
  if (AValue > 1) {
    SetOpaque(true);
    SetOpacity(1);
  } else {
    SetOpaque(false);
    SetOpacity(AValue);
  }
  for (TVantrelMesh* mesh : FMeshes)
    mesh->SetOpacityValue(AValue);
}

void TVantrelMesh::SetVisibility(bool AValue) {
  SetVisible(AValue);
  for (TVantrelMesh* mesh : FMeshes)
    mesh->SetVisibility(AValue);
}

void TVantrelMesh::SetHitTestValue(bool AValue) {
  SetHitTest(AValue);
  for (TVantrelMesh* mesh : FMeshes)
    mesh->SetHitTestValue(AValue);
}

void TVantrelMesh::SetMaterialSource(ui::TMaterialSource* AValue) {
  if (AValue == FMaterialSource)
    return;
  // The source is referenced, not owned: its destruction clears the reference.
  if (FMaterialSource)
    RemoveFreeNotification(FMaterialSource);
  FMaterialSource = AValue;
  if (FMaterialSource)
    FreeNotification(FMaterialSource);
}

void TVantrelMesh::ApplyMaterialSource(ui::TMaterialSource* ASource) {
  SetMaterialSource(ASource);
  for (TVantrelMesh* mesh : FMeshes)
    mesh->ApplyMaterialSource(ASource);
}

// ---- default material forwarding ----

namespace {

TVantrelDefaultMaterialSource* DefaultSource(ui::TMaterialSource* ASource) {
  return dynamic_cast<TVantrelDefaultMaterialSource*>(ASource);
}

void ResetEnvironment(TVantrelDefaultMaterialSource& ASource) {
  ASource.SetEnvironmentPass(nullptr);
  ASource.SetEnvironment(false);
  ASource.SetReflectionPower(0);
  ASource.SetRefractionPower(0);
  ASource.SetReflections(false);
  ASource.SetRefractions(false);
}

} // namespace

void TVantrelMesh::SetEnvironmentMapping(TComponent* ARenderPass, float AReflections, float ARefractions) {
  auto* pass = dynamic_cast<TVantrelPassLink*>(ARenderPass);
  if (!pass)
    return;
  if (auto* source = DefaultSource(GetMaterialSource())) {
    source->SetEnvironmentPass(pass);
    source->SetEnvironment(true);
    source->SetReflectionPower(AReflections);
    source->SetReflections(false);
    source->SetRefractionPower(ARefractions);
    source->SetRefractions(false);
  }
  for (TVantrelMesh* mesh : FMeshes)
    mesh->SetEnvironmentMapping(ARenderPass, AReflections, ARefractions);
}

void TVantrelMesh::UnsetEnvironmentMapping(TComponent* ARenderPass) {
  auto* pass = dynamic_cast<TVantrelPassLink*>(ARenderPass);
  if (!pass)
    return;
  auto* source = DefaultSource(GetMaterialSource());
  if (source && source->GetEnvironmentPass() == pass)
    ResetEnvironment(*source);
  for (TVantrelMesh* mesh : FMeshes)
    mesh->UnsetEnvironmentMapping(ARenderPass);
}

void TVantrelMesh::UnsetAllEnvironmentMappings() {
  if (auto* source = DefaultSource(GetMaterialSource()))
    ResetEnvironment(*source);
  for (TVantrelMesh* mesh : FMeshes)
    mesh->UnsetAllEnvironmentMappings();
}

void TVantrelMesh::SetPBRProperties(float AReflections, float ARefractions, float AAOBias, float ARoughness,
                                    float AMetalness) {
  if (auto* source = DefaultSource(GetMaterialSource())) {
    source->SetReflectionPower(AReflections);
    source->SetReflections(false);
    source->SetRefractionPower(ARefractions);
    source->SetRefractions(false);
    source->SetAOBias(AAOBias);
    source->SetRoughnessBias(ARoughness);
    source->SetMetallicBias(AMetalness);
  }
  for (TVantrelMesh* mesh : FMeshes)
    mesh->SetPBRProperties(AReflections, ARefractions, AAOBias, ARoughness, AMetalness);
}

void TVantrelMesh::AttachMaterialBehaviour(TVantrelMaterialBehaviour* ABehaviour) {
  if (auto* source = DefaultSource(GetMaterialSource()))
    source->AttachMaterialBehaviour(ABehaviour);
  for (TVantrelMesh* mesh : FMeshes)
    mesh->AttachMaterialBehaviour(ABehaviour);
}

void TVantrelMesh::DetachMaterialBehaviour(TVantrelMaterialBehaviour* ABehaviour) {
  if (auto* source = DefaultSource(GetMaterialSource()))
    source->DetachMaterialBehaviour(ABehaviour);
  for (TVantrelMesh* mesh : FMeshes)
    mesh->DetachMaterialBehaviour(ABehaviour);
}

bool TVantrelMesh::MaterialBehaviourAttached(TVantrelMaterialBehaviour* ABehaviour) {
  if (auto* source = DefaultSource(GetMaterialSource()); source && source->MaterialBehaviourAttached(ABehaviour))
    return true;
  return std::any_of(FMeshes.begin(), FMeshes.end(),
                     [ABehaviour](TVantrelMesh* AMesh) { return AMesh->MaterialBehaviourAttached(ABehaviour); });
}

TMeshDef* TVantrelMesh::MeshDef() const {
  return dynamic_cast<TMeshDef*>(Def());
}

bool TVantrelMesh::GetIsStatic() const {
  const TMeshDef* def = MeshDef();
  return def && def->GetIsStatic();
}

void TVantrelMesh::GiveDataTheFormatsOf(const TCustomMeshDef& ADef) {
  const TVertexBuffer* vertices = ADef.GetVertexSource();
  const TIndexBuffer* indices = ADef.GetIndexSource();
  FData->VertexBuffer().AdoptLayoutAndCopy(TVertexBuffer(vertices ? vertices->Format() : ADef.GetVertexFormat(), 0));
  FData->IndexBuffer().Assign(TIndexBuffer(0, indices ? indices->Format() : ADef.GetIndexFormat()));
  FData->BoundingBoxChanged();
}

void TVantrelMesh::SetIsStatic(bool AValue) {
  TMeshDef* def = MeshDef();
  if (!def)
    return;
  const bool wasStatic = def->GetIsStatic();
  def->SetIsStatic(AValue);
  if (AValue) {
    FData->BoundingBoxChanged();
    FData->GetBoundingBox();
    DoBoundsChanged(Parent());
    // Only a definition that did become static holds the geometry now; otherwise the mesh data
    // keeps it (a definition without indices stays non-static).
    if (def->GetIsStatic())
      GiveDataTheFormatsOf(*def);
  } else if (wasStatic) {
    CopyDefinitionToMeshData(def, FData.get());
  }
}

void TVantrelMesh::SetFlatShading(bool AValue) {
  FFlatShading = AValue;
  if (TMeshDef* def = MeshDef()) {
    if (AValue)
      def->CalcFaceNormals(true, true);
    else
      def->CalcSmoothNormals(TMeshDefCalculateNormalMethod::cnmSlowest, 0.001f, true);
  }
  std::vector<TPoint3D> faceNormals;
  if (AValue)
    TMeshDef::ComputeFaceNormals(FData->VertexBuffer(), FData->IndexBuffer(), faceNormals, true);
  else
    TMeshDef::ComputeSmoothNormals(FData->VertexBuffer(), FData->IndexBuffer(),
                                   TMeshDefCalculateNormalMethod::cnmSlowest, 0.001f, faceNormals);
  ComputeTangentsAndBinormals();
  for (TVantrelMesh* mesh : FMeshes)
    mesh->SetFlatShading(AValue);
}

void TVantrelMesh::ComputeTangentsAndBinormals() {
  if (TMeshDef* def = MeshDef()) {
    def->CalcTangentBinormals(false);
    // A static definition's GPU copy must follow its new normals and tangents.
    if (def->GetIsStatic() && IsMainThread())
      def->RefreshMeshBuffer(false);
  }
  SolveTangents(FData.get());
  for (TVantrelMesh* mesh : FMeshes)
    mesh->ComputeTangentsAndBinormals();
}

void TVantrelMesh::SolveTangents(TMeshData* AData) {
  if (AData)
    TMeshDef::ComputeTangentBinormals(&AData->VertexBuffer(), &AData->IndexBuffer());
}

void TVantrelMesh::UpdateSubMeshInstances(const TMatrix3D& ABaseTransform, const std::vector<TMatrix3D>& AInstances) {
  for (TVantrelMesh* mesh : FMeshes) {
    mesh->FInstances->UpdateInstanceCache(ABaseTransform, AInstances);
    mesh->UpdateSubMeshInstances(ABaseTransform, AInstances);
  }
}

// ---- skinning and the model ----

TControl3D* TVantrelMesh::GetModel() const {
  TFmxObject* parent = Parent();
  if (auto* model = dynamic_cast<TVantrelModel*>(parent))
    return model;
  if (auto* mesh = dynamic_cast<TVantrelMesh*>(parent))
    return mesh->GetModel();
  return nullptr;
}

void TVantrelMesh::GenerateVertexJoints(TControllerDef* AController, const TMatrix3D& ABindShapeMatrix) {
  if (FVertexJoints || !AController || !AController->GetSkin())
    return;
  FVertexJoints = AController->GetSkin()->GenerateVertexJoints(ABindShapeMatrix, MeshDef());
}

void TVantrelMesh::ClearVertexJoints() {
  if (!FVertexJoints)
    return;
  FVertexJoints->Clear();
  delete FVertexJoints;
  FVertexJoints = nullptr;
}

// ---- geometry edits ----

std::vector<TPoint3D> TVantrelMesh::GetCoordinates() {
  std::vector<TPoint3D> result;
  const TVertexBuffer& vertices = FData->VertexBuffer();
  result.reserve(size_t(vertices.Length()));
  for (int32_t v = 0; v < vertices.Length(); ++v)
    result.push_back(vertices.GetVertices(v));
  return result;
}

void TVantrelMesh::SetCoordinates(const std::vector<TPoint3D>& AValue) {
  if (AValue.empty())
    return;
  if (const TMeshDef* def = MeshDef()) {
    TVertexBuffer& vertices = FData->VertexBuffer();
    const TVertexIndexMap* map = def->GetVertexIndexMap();
    for (size_t i = 0; i < AValue.size(); ++i) {
      const std::vector<uint32_t>* listed = map ? const_cast<TVertexIndexMap*>(map)->Find(uint32_t(i)) : nullptr;
      if (listed && !listed->empty()) {
        for (const uint32_t index : *listed)
          if (index < uint32_t(vertices.Length()))
            vertices.SetVertices(int32_t(index), AValue[i]);
      } else if (i < size_t(vertices.Length())) {
        vertices.SetVertices(int32_t(i), AValue[i]);
      }
    }
    FData->BoundingBoxChanged();
  }
  Repaint();
}

void TVantrelMesh::SetVertices(const std::map<uint32_t, TVertexData>& AValue) {
  if (AValue.empty())
    return;
  TVertexBuffer& vertices = FData->VertexBuffer();
  for (const auto& [index, vertex] : AValue) {
    if (index >= uint32_t(vertices.Length()))
      throw Exception(SMeshInvalidVertexIndex);
    vertices.SetVertices(int32_t(index), vertex.Position);
  }
  FData->BoundingBoxChanged();
  Repaint();
}

// ---- matrices, boxes, ray casts ----

TBoundingBox TVantrelMesh::LocalBox() {
  if (const TMeshDef* def = MeshDef(); def && def->GetIsStatic())
    return def->GetRawBoundingBox();
  return FData->GetBoundingBox();
}

TMatrix3D TVantrelMesh::GetMeshMatrix() {
  try {
    if (FWrapMode != TMeshWrapMode::Original && FWrapMode != TMeshWrapMode::Fit &&
        FWrapMode != TMeshWrapMode::Stretch)
      return TMatrix3D::Identity();
    TBoundingBox box = LocalBox();
    // The static box is the definition's raw box moved up by half its height.
    if (const TMeshDef* def = MeshDef(); def && def->GetIsStatic())
      box = box.Offset({0, box.Height() / 2, 0});
    if (InvalidBox(box))
      return TMatrix3D::Identity();
    TPoint3D scale{1, 1, 1}, first{}, second{};
    switch (FWrapMode) {
    case TMeshWrapMode::Original:
      scale = {Width(), Height(), Depth()};
      break;
    case TMeshWrapMode::Fit: {
      if (auto* parent = dynamic_cast<TVantrelMesh*>(Parent()))
        box = parent->GetUnwrappedBoundingBox();
      const TBoundingBox target{-Width() / 2, -Height() / 2, -Depth() / 2, Width() / 2, Height() / 2, Depth() / 2};
      float ratio = 1;
      const TBoundingBox fitted = box.FitInto(target, ratio);
      scale = {1 / ratio, 1 / ratio, 1 / ratio};
      first = -box.MinPoint();
      second = fitted.MinPoint();
      break;
    }
    case TMeshWrapMode::Stretch: {
      const float extents[3] = {box.Width(), box.Height(), box.Depth()};
      const float sizes[3] = {Width(), Height(), Depth()};
      float* axes[3] = {&scale.X, &scale.Y, &scale.Z};
      for (int a = 0; a < 3; ++a)
        if (extents[a] > 0.0001f)
          *axes[a] = sizes[a] / extents[a];
      first = -box.MinPoint();
      second = {-Width() / 2, -Height() / 2, -Depth() / 2};
      break;
    }
    default:
      break;
    }
    return TMatrix3D::CreateTranslation(first) * TMatrix3D::CreateScaling(scale) *
           TMatrix3D::CreateTranslation(second);
  } catch (const std::exception&) {
    return TMatrix3D::Identity();
  }
}

TBoundingBox TVantrelMesh::GetBoundingBox() {
  TBoundingBox box = TransformBoundingBox(LocalBox(), GetMeshMatrix());
  for (TVantrelMesh* mesh : FMeshes) {
    const TBoundingBox sub = mesh->GetBoundingBox();
    if (EmptyBox(box))
      box = sub;
    else if (!EmptyBox(sub))
      box = box.Union(sub);
  }
  return box;
}

TBoundingBox TVantrelMesh::GetUnwrappedBoundingBox() {
  TBoundingBox box = LocalBox();
  for (TVantrelMesh* mesh : FMeshes)
    box = box.Union(mesh->GetUnwrappedBoundingBox());
  return box;
}

bool TVantrelMesh::RayCastIntersect(const TPoint3D& ARayPos, const TPoint3D& ARayDir, TPoint3D& AIntersection,
                                    TPoint3D& ANormal) {
  AIntersection = {};
  ANormal = {0, -1, 0};
  bool result = false;
  double nearest = 1000000;
  const auto distanceTo = [&](const TPoint3D& APoint) { return double((APoint - ARayPos).Length()); };
  for (TVantrelMesh* mesh : FMeshes) {
    if (!mesh->HitTest())
      continue;
    TPoint3D point, normal;
    if (mesh->RayCastIntersect(ARayPos, ARayDir, point, normal) && distanceTo(point) < nearest) {
      AIntersection = point;
      ANormal = normal;
      nearest = distanceTo(point);
      result = true;
    }
  }
  if (TMeshDef* def = MeshDef()) {
    TPoint3D point, normal;
    if (def->RayCastIntersect(ARayPos, ARayDir, GetMeshMatrix(), AbsoluteMatrix(), point, normal) &&
        distanceTo(point) < nearest) {
      AIntersection = point;
      ANormal = normal;
      result = true;
    }
    return result;
  }
  TPoint3D point;
  // A nearer sub-mesh hit stays: the mesh data's hit competes by distance like every other.
  if (FData->RayCastIntersect(ARayPos, ARayDir, point) && distanceTo(point) < nearest) {
    AIntersection = point;
    ANormal = (ARayPos - point).Normalize();
    result = true;
  }
  return result;
}

bool TVantrelMesh::RayCastIntersect(const TVector3D& ARayPos, const TVector3D& ARayDir, TVector3D& AIntersection) {
  TPoint3D point, normal;
  if (!RayCastIntersect(TPoint3D{ARayPos.X, ARayPos.Y, ARayPos.Z}, TPoint3D{ARayDir.X, ARayDir.Y, ARayDir.Z}, point,
                        normal))
    return false;
  AIntersection = {point.X, point.Y, point.Z, 1};
  return true;
}

// ---- duplication ----

void TVantrelMesh::DoDuplicate(TObject* ASource, TVantrelDuplicator* ADuplicator) {
  TVantrelTransform::DoDuplicate(ASource, ADuplicator);
  // Only a parent mesh: its DoRemoveObject takes the clone out of the list again (an owner mesh
  // that is no parent would keep a pointer past the clone's life).
  auto* registration = dynamic_cast<TVantrelMesh*>(Parent());
  if (registration && std::find(registration->FMeshes.begin(), registration->FMeshes.end(), this) ==
                          registration->FMeshes.end())
    registration->FMeshes.push_back(this);
  if (auto* source = dynamic_cast<TVantrelMesh*>(ASource); source && source->GetMeshData())
    FData->Assign(*source->GetMeshData());
}

// ---- loading and storing ----

void TVantrelMesh::CopyDefinitionToMeshData(TMeshDef* ADef, TMeshData* AData) {
  if (ADef)
    ADef->ApplyToMeshData(AData);
}

void TVantrelMesh::LoadFromDefinition(TCustomDef* ADef) {
  if (!ADef)
    return;
  try {
    TVantrelTransform::LoadFromDefinition(ADef);
    auto* def = dynamic_cast<TMeshDef*>(ADef);
    if (!def)
      throw EInvalidCast(rtl::messages::InvalidCast);
    SetDef(def);
    if (QualifiedName().empty())
      SetQualifiedName(def->GetId());
    SetName(def->GetQualifiedComponentName());
    def->IncCopyCount();
    if (!def->GetIsStatic())
      CopyDefinitionToMeshData(def, FData.get());
    else
      GiveDataTheFormatsOf(*def);
    SetLocalMatrix(this, def->GetTransform(), true, true, true, false);
    BuildHierarchy(def);
    LoadMaterialFromDefinition(def);
    RebuildCollections();
  } catch (const std::exception& error) {
    Rewrap(SMeshLoadFromDefinition, error);
  }
}

// The material reference becomes a source made (or reused) by the material factory, on the UI
// thread; the material's opacity and double-sidedness then apply to the mesh.
void TVantrelMesh::LoadMaterialFromDefinition(TMeshDef* ADef) {
  TMaterialRefDef* reference = ADef->GetMaterial();
  if (!reference)
    return;
  auto* model = dynamic_cast<TModelDef*>(ADef->GetModel());
  TThread::Synchronize(nullptr, [&] {
    if (TMaterialSource* source = TVantrelMaterial::CreateMaterial(this, model, reference))
      SetMaterialSource(source);
  });
  const TMaterialDef* material = reference->GetReference();
  if (!material && model)
    material = model->GetMaterial(reference->GetId());
  if (!material)
    return;
  if (material->UseOpacity) {
    SetOpaque(false);
    SetOpacity(material->Opacity);
  } else if (!Opaque()) {
    SetOpaque(true);
  }
  if (material->DoubleSided) {
    ADef->SetFaceOrientation(TFaceOrientation::TwoFace);
    SetTwoSide(true);
  }
}

void TVantrelMesh::ApplyDefinitionProperties(TTransformDef* ADef) {
  TVantrelTransform::ApplyDefinitionProperties(ADef);
  if (!dynamic_cast<TMeshDef*>(ADef))
    throw EInvalidCast(rtl::messages::InvalidCast);
  const TProperties& props = ADef->GetProperties();
  ApplyKey(props, "WrapMode", [&](const TValue& V) {
    const int32_t ordinal = V.AsInteger();
    if (ordinal < 0 || ordinal > 3)
      throw EInvalidCast(rtl::messages::InvalidCast);
    SetWrapMode(TMeshWrapMode(ordinal));
  });
  ApplyKey(props, "FlatShading", [&](const TValue& V) { SetFlatShading(V.AsBoolean()); });
  ApplyKey(props, "ShowNormals", [&](const TValue& V) { FShowNormals = V.AsBoolean(); });
  ApplyKey(props, "NormalsColor", [&](const TValue& V) { FNormalsColor = V.AsType<TAlphaColorF>().ToAlphaColor(); });
  const auto& instances = static_cast<TMeshDef*>(ADef)->GetInstances();
  if (instances.Count() == 0)
    return;
  ClearInstances();
  for (int i = 0; i < instances.Count(); ++i) {
    const TMeshInstanceDef* instance = instances[i];
    TVantrelMeshInstance* item = AddInstanceItem(instance->GetId());
    item->Position()->SetPoint(instance->Position);
    item->Scale()->SetPoint(instance->Scale);
    item->RotationCenter()->SetPoint(instance->RotationCenter);
    item->RotationAngle()->SetPoint(instance->RotationAngle);
  }
}

void TVantrelMesh::StoreToDefinition(TCustomDef* ADef) {
  auto* def = dynamic_cast<TMeshDef*>(ADef);
  if (!def)
    throw EInvalidCast(rtl::messages::InvalidCast);
  TVantrelTransform::StoreToDefinition(ADef);
  auto& instances = def->GetInstances();
  instances.Clear();
  for (int i = 0; i < FInstances->Count(); ++i) {
    const TVantrelMeshInstance* item = FInstances->Item(i);
    auto* instance = New<TMeshInstanceDef>(def);
    instance->SetMeshRef(def);
    instance->SetId(item->GetDisplayName());
    instance->Position = item->Position()->Point();
    instance->Scale = item->Scale()->Point();
    instance->RotationAngle = item->RotationAngle()->Point();
    instance->RotationCenter = item->RotationCenter()->Point();
    instances.Add(instance);
  }
  TProperties& props = def->GetProperties();
  props.AddOrSetValue("WrapMode", TValue::From<int32_t>(int32_t(FWrapMode)));
  props.AddOrSetValue("FlatShading", TValue::From<bool>(FFlatShading));
  props.AddOrSetValue("ShowNormals", TValue::From<bool>(FShowNormals));
  props.AddOrSetValue("NormalsColor", TValue::From<TAlphaColorF>(TAlphaColorF::Create(FNormalsColor)));
}

void TVantrelMesh::BuildHierarchy(TTransformDef* ADef) {
  const auto* children = ADef ? ADef->GetChildren() : nullptr;
  if (!children)
    return;
  for (TTransformDef* child : *children) {
    TVantrelTransform* control = nullptr;
    if (dynamic_cast<TVertexGroupDef*>(child))
      control = New<TVantrelVertexGroup>(this);
    else if (dynamic_cast<TMeshDef*>(child))
      control = New<TVantrelMesh>(this);
    else if (dynamic_cast<TSegmentDef*>(child))
      control = New<TVantrelSegment>(this);
    else if (dynamic_cast<TGroupDef*>(child))
      control = New<TVantrelGroup>(this);
    else
      throw Exception(Format(SMeshHierarchyTodo, {child->ClassName()}));
    control->SetStored(false);
    control->SetParent(this);
    if (auto* mesh = dynamic_cast<TVantrelMesh*>(control))
      mesh->RegisterInParentMesh();
    control->LoadFromDefinition(child);
  }
}

// ---- drawing ----

TVantrelMesh* TVantrelMesh::InstanceSource() {
  for (TFmxObject* object = this; object; object = object->Parent()) {
    auto* mesh = dynamic_cast<TVantrelMesh*>(object);
    if (mesh && !mesh->FInstances->IsInherited())
      return mesh;
    if (!mesh)
      break;
  }
  return this;
}

std::vector<TMatrix3D> TVantrelMesh::InstanceMatrices(const TMatrix3D& ADrawMatrix) {
  const std::vector<TMatrix3D>& cache = FInstances->ToArray();
  FUpload.resize(cache.size());
  FUpload[0] = ADrawMatrix;
  if (cache.size() > 1) {
    // Items act in their source's frame: a mesh with sub-meshes is copied whole.
    const TMatrix3D source = InstanceSource()->AbsoluteMatrix();
    const TMatrix3D toSource = ADrawMatrix * source.Inverse();
    for (size_t i = 1; i < cache.size(); ++i)
      FUpload[i] = toSource * cache[i] * source;
  }
  return FUpload;
}

void TVantrelMesh::CheckDrawIndices() {
  const uint32_t vertexCount = uint32_t(FData->VertexBuffer().Length());
  const TIndexBuffer& indices = FData->IndexBuffer();
  if (indices.Length() == 0)
    return;
  const uint32_t maxIndex = MaxIndexOf(indices);
  if (maxIndex >= vertexCount)
    throw Exception(Format("invalid index %u in mesh definition \"%s\" - vertex count %d",
                           {maxIndex, Def() ? Def()->GetId() : Name(), int32_t(vertexCount)}));
}

void TVantrelMesh::RenderWireframeAndNormals(TObject*, TContext3D* AContext) {
  if (!AContext)
    return;
  auto* model = dynamic_cast<TVantrelModel*>(GetModel());
  const bool wireframe = model && model->Wireframe();
  // Inside a model the model's switch decides and its colour draws the normals.
  const bool showNormals = model ? model->ShowNormals() : FShowNormals;
  if (!wireframe && !showNormals)
    return;
  TMeshDef* def = MeshDef();
  const TVertexBuffer* vertices = &FData->VertexBuffer();
  const TIndexBuffer* indices = &FData->IndexBuffer();
  if (def && def->GetIsStatic()) {
    vertices = def->GetVertexSource();
    indices = def->GetIndexSource();
  }
  if (!vertices || !indices)
    return;
  if (wireframe)
    if (TMaterial* material = ui::TMaterialSource::ValidMaterial(model->WireframeMaterial()))
      AContext->DrawPrimitives(TPrimitivesKind::Lines, vertices->Buffer(), indices->Buffer(),
                               vertices->GetVertexDeclarations(), vertices->VertexSize(), vertices->Length(),
                               indices->IndexSize(), indices->Length(), material, 1);
  if (!showNormals)
    return;
  const TAlphaColor normalColor = model ? model->NormalsColor() : FNormalsColor;
  const bool normals = vertices->Format().Contains(TVertexFormat::Normal);
  const bool tangents = vertices->Format().Contains(TVertexFormat::Tangent);
  // The tangent colour: NormalsColor with its red and blue bytes exchanged.
  const TAlphaColor tangentColor = (FNormalsColor & 0xFF00FF00) | ((FNormalsColor >> 16) & 0xFF) |
                                   ((FNormalsColor & 0xFF) << 16);
  for (int32_t i = 0; i < vertices->Length(); ++i) {
    const TPoint3D vertex = vertices->GetVertices(i);
    if (normals)
      AContext->DrawLine(vertex, vertex + vertices->GetNormals(i) * 0.25f, 1, normalColor);
    if (tangents)
      AContext->DrawLine(vertex, vertex + vertices->GetTangents(i) * 0.25f, 1, tangentColor);
  }
}

void TVantrelMesh::Render() {
  TContext3D* context = Context();
  if (!context)
    return;
  const bool isModel = dynamic_cast<TVantrelModel*>(this) != nullptr;
  // A mesh inside a model leaves the outline to the model.
  if (ComponentState().Contains(TComponentStateItem::csDesigning) && (isModel || !GetModel())) {
    // The design-time outline of the mesh's box, in the colour that shows focus.
    const TBoundingBox box = GetBoundingBox();
    context->DrawCube(box.CenterPoint(), {box.Width(), box.Height(), box.Depth()}, 1,
                      IsFocused() ? TAlphaColor(0xFFFFFF00) : TAlphaColor(0xFF6495ED));
  }
  TVantrelContext* vantrel = VantrelContext(context);
  TMeshDef* def = MeshDef();
  if (!vantrel || !def || def->GetRenderByVertexGroups())
    return;
  bool setCache = false;
  try {
    // A build asked for before the context existed runs now, on the drawing thread.
    def->CompletePendingBuild();
    if (def->GetIsStatic() && def->GetBufferObject()) {
      vantrel->SetCurrentCache(def->GetBufferObject());
      setCache = true;
    }
    // A mesh of a model whose current animation is cached draws that animation's frame.
    if (auto* model = dynamic_cast<TVantrelModel*>(GetModel()); model && def->GetModel()) {
      TVantrelAnimationManager* manager = model->AnimationManager();
      if (TVantrelAnimation* current = manager ? manager->CurrentValue() : nullptr) {
        vantrel->SetCurrentCache(current->GetCurrentCachedFrame(def));
        setCache = true;
      }
    }
    TVantrelTransform::Render();
    // A model has no geometry of its own: its meshes are its children.
    if (isModel) {
      if (setCache)
        vantrel->SetCurrentCache(nullptr);
      return;
    }
    switch (def->GetFaceOrientation()) {
    case TFaceOrientation::FrontFace:
      context->SetContextState(TContextState::csFrontFace);
      break;
    case TFaceOrientation::BackFace:
      context->SetContextState(TContextState::csBackFace);
      break;
    default:
      context->SetContextState(TContextState::csAllFace);
      break;
    }
    if (FFlatShading)
      vantrel->SetFlatShading();
    try {
      const TMatrix3D drawMatrix = GetMeshMatrix() * AbsoluteMatrix();
      context->SetMatrix(drawMatrix);
      TMaterial* material = ui::TMaterialSource::ValidMaterial(FMaterialSource);
      const std::vector<TMatrix3D>& upload = InstanceMatrices(drawMatrix);
      FInstances->SetInstance(0, drawMatrix);
      vantrel->SetInstances(int32_t(upload.size()), upload.data());
      try {
        if (!setCache)
          CheckDrawIndices();
        FData->Render(context, material, AbsoluteOpacity());
      } catch (const std::exception& error) {
        const auto* known = dynamic_cast<const Exception*>(&error);
        throw Exception(Format(SMeshRenderObject, {Name(), known ? known->Message() : std::string(error.what())}));
      }
    } catch (...) {
      if (FFlatShading)
        vantrel->SetSmoothShading();
      throw;
    }
    if (FFlatShading)
      vantrel->SetSmoothShading();
  } catch (const std::exception& error) {
    // A cache this draw set must not reach the next draw, whatever happened.
    if (setCache)
      vantrel->SetCurrentCache(nullptr);
    Rewrap(SMeshRender, error);
  }
  if (setCache)
    vantrel->SetCurrentCache(nullptr);
}

// ---- TVantrelVertexGroup ----

TVantrelVertexGroup::~TVantrelVertexGroup() {
  // Back to the own buffer, so the parent's is only released by its other holders.
  if (TMeshData* data = GetMeshData())
    data->ShareVertexBuffer(nullptr);
}

void TVantrelVertexGroup::CopyDefinitionToMeshData(TMeshDef* ADef, TMeshData* AData) {
  TVantrelMesh::CopyDefinitionToMeshData(ADef, AData);
  auto* parent = dynamic_cast<TVantrelMesh*>(Parent());
  if (AData && parent && parent->GetMeshData())
    AData->ShareVertexBuffer(parent->GetMeshData()->SharedVertexBuffer());
}

// ---- unit start-up ----

namespace {
int MeshInitCount = 0;
} // namespace

void InitializeMesh() {
  if (MeshInitCount++ > 0)
    return;
  RegisterClass(TVantrelMesh::StaticClass());
  RegisterClass(TVantrelVertexGroup::StaticClass());
}

void FinalizeMesh() {
  if (MeshInitCount == 0 || --MeshInitCount > 0)
    return;
  UnRegisterClass(TVantrelVertexGroup::StaticClass());
  UnRegisterClass(TVantrelMesh::StaticClass());
}

} // namespace vantrel
