// The node tree of the definitions: TTransformDef, segments and groups, the child type table and
// the seams to the model definition.

#include <array>
#include <utility>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"

namespace vantrel {

VANTREL_DEFINE_DEF_CLASS(TTransformDef)
VANTREL_DEFINE_DEF_CLASS(TSegmentDef)
VANTREL_DEFINE_DEF_CLASS(TGroupDef)

namespace {

constexpr const char* TransformNotFound = "transform with id \"%s\" not found";
constexpr const char* ModelDefClassName = "Vantrel.DefTypes.TModelDef";
constexpr const char* TimestampFormat = "yyyy-mm-dd hh:nn:ss";
constexpr const char* NoTimestamp = "0000-00-00 00:00:00";

struct TChildDefTable {
  TDictionary<std::string, TCustomDefClass*> Rows;
  TCustomDefClass* Fallback = nullptr;
};

TChildDefTable& ChildDefTable() {
  static TChildDefTable table;
  return table;
}

TModelDefSeams& Seams() {
  static TModelDefSeams seams;
  return seams;
}

int DefTypesInitCount = 0;

// The classes of this part, for the class registry.
std::array<TCustomDefClass*, 9> UnitClasses() {
  return {&TCustomDef::StaticClass(),       &TTransformDef::StaticClass(),   &TSegmentDef::StaticClass(),
          &TGroupDef::StaticClass(),        &TMaterialRefDef::StaticClass(), &TMeshInstanceDef::StaticClass(),
          &TCustomMeshDef::StaticClass(),   &TMeshDef::StaticClass(),        &TVertexGroupDef::StaticClass()};
}

// This part's rows of the child type table.
struct TChildRow {
  const char* TypeName;
  TCustomDefClass* Class;
};
std::array<TChildRow, 4> ChildRows() {
  return {{{"Vantrel.DefTypes.TTransformDef", &TTransformDef::StaticClass()},
           {"Vantrel.DefTypes.TSegmentDef", &TSegmentDef::StaticClass()},
           {"Vantrel.DefTypes.TMeshDef", &TMeshDef::StaticClass()},
           {"Vantrel.DefTypes.TVertexGroupDef", &TVertexGroupDef::StaticClass()}}};
}

} // namespace

// ---- TTransformDef ----

TTransformDef::TTransformDef(TCustomDef* AOwner) : FProperties(std::make_unique<TProperties>()) {
  // A plain call: AssignOwner's overrides belong to classes whose constructors have not run yet.
  TTransformDef::AssignOwner(AOwner);
}

TTransformDef::~TTransformDef() = default;

void TTransformDef::AssignOwner(TCustomDef* AValue) {
  FOwner = AValue;
  FOwnerId = AValue ? AValue->GetId() : std::string();
}

TTransformDef* TTransformDef::GetOwner() const {
  return CheckedCast<TTransformDef>(FOwner);
}

std::string TTransformDef::GetQualifiedComponentName() const {
  std::string name = GetUniqueComponentName(nullptr, GetId());
  if (FCopyCount > 0)
    name += "_Copy" + IntToStr(FCopyCount);
  return name;
}

TTransformDef* TTransformDef::GetModel() const {
  if (!FOwner)
    return nullptr;
  const TClass* modelClass = GetClass(ModelDefClassName);
  if (modelClass && FOwner->InheritsFrom(*modelClass))
    return static_cast<TTransformDef*>(FOwner);
  const auto* owner = dynamic_cast<const TTransformDef*>(FOwner);
  return owner ? owner->GetModel() : nullptr;
}

int TTransformDef::AddChild(TTransformDef* ATransform) {
  if (!FChildren)
    FChildren = std::make_unique<TObjectList<TTransformDef>>();
  if (FChildren->Contains(ATransform))
    return -1;
  return FChildren->Add(ATransform);
}

void TTransformDef::RemoveChild(TTransformDef* ATransform) {
  if (FChildren)
    FChildren->Remove(ATransform);
}

TTransformDef* TTransformDef::ExtractChild(TTransformDef* ATransform) {
  if (!FChildren || !FChildren->Contains(ATransform))
    return nullptr;
  return FChildren->Extract(ATransform);
}

void TTransformDef::ClearChildren() {
  if (FChildren)
    FChildren->Clear();
}

void TTransformDef::Traverse(bool ADeepTraverse, const TTransformTraverseProc& AProc) {
  if (!FChildren || !AProc)
    return;
  const int count = FChildren->Count();
  for (int i = 0; i < count; ++i) {
    TTransformDef* child = FChildren->Items(i);
    if (!AProc(this, i, child))
      return;
    if (ADeepTraverse)
      child->Traverse(true, AProc);
  }
}

TTransformDef* TTransformDef::FindChildById(std::string_view AId, bool AThrowException) const {
  TTransformDef* found = nullptr;
  const_cast<TTransformDef*>(this)->Traverse(true, [&](TTransformDef*, int, TTransformDef* AChild) {
    const std::string& id = AChild->GetId();
    if (!SameText("#" + id, AId) && !SameText(id, AId))
      return true;
    found = AChild;
    return false;
  });
  if (!found && AThrowException)
    throw Exception(Format(TransformNotFound, {AId}));
  return found;
}

TMatrix3D TTransformDef::GetAbsoluteTransformation() const {
  const TTransformDef* owner = GetOwner();
  return owner ? owner->GetAbsoluteTransformation() * FTransform : FTransform;
}

std::unique_ptr<TJSONObject> TTransformDef::ToJSON() const {
  auto result = inherited::ToJSON();
  // An owner not resolved when the node was read keeps its id, so writing loses no link.
  if (FOwner)
    result->AddPair("Owner", FOwner->GetId());
  else if (!FOwnerId.empty())
    result->AddPair("Owner", FOwnerId);
  else
    result->AddPair("Owner", TJSONNull::Create());
  FProperties->ToJSON(*result);
  result->AddPair("Transform", Matrix3DToString(FTransform));
  if (FChildren) {
    auto children = TJSONArray::Create();
    for (const TTransformDef* child : *FChildren)
      children->Add(child->ToJSON());
    result->AddPair("Children", std::move(children));
  }
  return result;
}

void TTransformDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  inherited::FromJSON(AModel, AValue);
  ReadOwner(AModel, AValue);
  FProperties->FromJSON(AValue);
  FTransform = GetJSONMatrix3D(AValue, "Transform", FTransform);
  ReadChildren(AModel, AValue);
}

void TTransformDef::ReadOwner(TModelDef* AModel, const TJSONObject& AValue) {
  if (FOwner) {
    if (FOwnerId.empty())
      FOwnerId = FOwner->GetId();
    return;
  }
  FOwnerId = GetJSONString(AValue, "Owner");
  if (!FOwnerId.empty() && AModel && Seams().FindDefById)
    FOwner = Seams().FindDefById(AModel, FOwnerId);
}

void TTransformDef::ReadChildren(TModelDef* AModel, const TJSONObject& AValue) {
  const auto* children = dynamic_cast<const TJSONArray*>(AValue.GetValue("Children"));
  if (!children)
    return;
  // An empty list is kept too, so that the node writes "Children": [] again.
  if (!FChildren)
    FChildren = std::make_unique<TObjectList<TTransformDef>>();
  for (const TJSONValue* element : *children) {
    const auto* object = dynamic_cast<const TJSONObject*>(element);
    if (!object)
      throw EInvalidCast(rtl::messages::InvalidCast);
    const TCustomDefClass& childClass = FindChildDefClass(GetJSONString(*object, "Type"));
    TOwned<TTransformDef> child(CheckedCast<TTransformDef>(childClass.CreateDef(this)));
    child->FromJSON(AModel, *object);
    AddChild(child.release());
  }
}

// ---- TSegmentDef ----

std::unique_ptr<TJSONObject> TSegmentDef::ToJSON() const {
  auto result = inherited::ToJSON();
  result->AddPair("Reference", FReferenceId);
  return result;
}

void TSegmentDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  inherited::FromJSON(AModel, AValue);
  FReferenceId = GetJSONString(AValue, "Reference");
  FReference = nullptr;
  if (!FReferenceId.empty() && AModel && Seams().FindChildById)
    FReference = Seams().FindChildById(AModel, FReferenceId);
}

// ---- TGroupDef ----

std::unique_ptr<TJSONObject> TGroupDef::ToJSON() const {
  auto result = inherited::ToJSON();
  const auto addText = [&](std::string_view AName, const std::string& AText) {
    if (!AText.empty())
      result->AddPair(AName, AText);
  };
  addText("Author", FAuthor);
  if (FTimestamp.Value > 0)
    result->AddPair("Timestamp", FormatDateTime(TimestampFormat, FTimestamp));
  addText("Version", FVersion);
  addText("License", FLicense);
  addText("Link", FLink);
  addText("Descr", FDescr);
  return result;
}

void TGroupDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  inherited::FromJSON(AModel, AValue);
  FAuthor = GetJSONString(AValue, "Author");
  if (!TryStrToDateTimeStrict(GetJSONString(AValue, "Timestamp", NoTimestamp), FTimestamp))
    FTimestamp = TDateTime{0};
  FVersion = GetJSONString(AValue, "Version");
  FLicense = GetJSONString(AValue, "License");
  FLink = GetJSONString(AValue, "Link");
  FDescr = GetJSONString(AValue, "Descr");
}

// ---- the child type table and the seams ----

void RegisterChildDefClass(std::string_view ATypeName, TCustomDefClass& AClass) {
  if (!AClass.InheritsFrom(TTransformDef::StaticClass()))
    throw EInvalidCast(rtl::messages::InvalidCast);
  ChildDefTable().Rows.AddOrSetValue(std::string(ATypeName), &AClass);
}

void UnregisterChildDefClass(std::string_view ATypeName) {
  ChildDefTable().Rows.Remove(ATypeName);
}

TCustomDefClass* SetChildDefFallback(TCustomDefClass* AClass) {
  if (AClass && !AClass->InheritsFrom(TTransformDef::StaticClass()))
    throw EInvalidCast(rtl::messages::InvalidCast);
  return std::exchange(ChildDefTable().Fallback, AClass);
}

TCustomDefClass& FindChildDefClass(std::string_view ATypeName) {
  const TChildDefTable& table = ChildDefTable();
  if (TCustomDefClass* const* found = table.Rows.Find(ATypeName))
    return **found;
  return table.Fallback ? *table.Fallback : TTransformDef::StaticClass();
}

TModelDefSeams SetModelDefSeams(const TModelDefSeams& ASeams) {
  return std::exchange(Seams(), ASeams);
}

const TModelDefSeams& ModelDefSeams() {
  return Seams();
}

// ---- unit start-up ----

void InitializeDefTypes() {
  if (DefTypesInitCount++ > 0)
    return;
  for (TCustomDefClass* defClass : UnitClasses())
    RegisterClass(*defClass);
  for (const TChildRow& row : ChildRows())
    RegisterChildDefClass(row.TypeName, *row.Class);
  detail::RegisterSkinDefClasses(true);
  detail::RegisterAnimationDefClasses(true);
  detail::RegisterTextureDefClasses(true);
  detail::RegisterMaterialDefClasses(true);
  // Any other node type reads as a mesh definition.
  SetChildDefFallback(&TMeshDef::StaticClass());
}

void FinalizeDefTypes() {
  if (DefTypesInitCount == 0 || --DefTypesInitCount > 0)
    return;
  detail::RegisterMaterialDefClasses(false);
  detail::RegisterTextureDefClasses(false);
  detail::RegisterAnimationDefClasses(false);
  detail::RegisterSkinDefClasses(false);
  SetChildDefFallback(nullptr);
  for (const TChildRow& row : ChildRows())
    UnregisterChildDefClass(row.TypeName);
  for (TCustomDefClass* defClass : UnitClasses())
    UnRegisterClass(*defClass);
}

} // namespace vantrel
