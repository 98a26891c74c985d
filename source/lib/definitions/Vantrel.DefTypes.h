#pragma once
// The definition data model: plain objects that describe a whole model (node tree, meshes,
// materials, lights, cameras, skeletons, animations) independently of the scene components, with
// their JSON form. This is the one public header of the unit; its classes live in part files
// named after it (Vantrel.DefTypes.Base.cpp for the base and typed values, .Transform.cpp for the
// node tree, segments and groups).
//
// Definition JSON objects keep their members in order and may hold one name twice: every
// definition writes "Type" (the unit-qualified class name) and "Id" first. Readers never raise for
// a missing member or one of another JSON type; they fall back to the caller's default.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/date_time.h"
#include "rtl/generics.h"
#include "rtl/guid.h"
#include "rtl/json.h"
#include "rtl/math3d.h"
#include "rtl/object.h"
#include "rtl/set.h"
#include "rtl/typeinfo.h"
#include "rtl/value.h"
#include "ui/animations.h"

#include "definitions/Vantrel.DefTypes.Cache.h"

namespace vantrel {

class TCustomDef;
class TTransformDef;
// The root of a model's definition tree; declared by the model definition. Until then reading
// takes the branches without model (see TModelDefSeams).
class TModelDef;
// A texture asset of the assets manager (Vantrel.AssetsManager.h); definitions hold it by pointer.
class TVantrelTextureAsset;

// How a texture's image is mirrored when it is loaded.
enum class TTextureFlipping : uint8_t { Vertical, Horizontal };
RTL_ENUM_TYPEINFO(TTextureFlipping, "Vertical", "Horizontal")
using TTextureFlippings = rtl::TSet<TTextureFlipping>;

// The shading model a material computes with (the ordinal is what its uniform block stores).
enum class TVantrelShadingModel : uint8_t { smLambert, smPhong, smBlinnPhong, smPBR };
RTL_ENUM_TYPEINFO(TVantrelShadingModel, "smLambert", "smPhong", "smBlinnPhong", "smPBR")

// The tone mapping a material's fragment stage applies.
enum class TVantrelTonemapping : uint8_t {
  tmNone,
  tmExposure,
  tmNarkowicz,
  tmHill,
  tmHillBoost,
  tmReinhard,
  tmLumaBasedReinhard,
  tmWhitePreservingLumaBasedReinhard,
  tmRomBinDaHouse,
  tmFilmic,
  tmUncharted2
};
RTL_ENUM_TYPEINFO(TVantrelTonemapping, "tmNone", "tmExposure", "tmNarkowicz", "tmHill", "tmHillBoost", "tmReinhard",
                  "tmLumaBasedReinhard", "tmWhitePreservingLumaBasedReinhard", "tmRomBinDaHouse", "tmFilmic",
                  "tmUncharted2")

// One uniform of a shader uniform buffer as definition properties store it; the integer codes are
// kept as they are.
struct TUBOUniformDef {
  std::string Name;
  int32_t DataType = 0;
  int32_t Layout = 0;
  int32_t ArrayLength = 0;
  std::string ValueAsString;
  bool operator==(const TUBOUniformDef&) const = default;
};
RTL_RECORD_TYPEINFO(TUBOUniformDef);

namespace detail {
template <class T> TCustomDef* DefFactoryOf(TCustomDef* AOwner);
} // namespace detail

// The metaclass of definitions. Besides the plain factory of every class it makes a definition
// with an owner definition: the virtual constructor that node readers call for the class a JSON
// element names.
class TCustomDefClass : public rtl::TClass {
public:
  using TDefFactory = TCustomDef* (*)(TCustomDef* AOwner);

  TCustomDefClass(std::string AName, std::string AUnitName, rtl::TClass* AParent,
                  rtl::TObjectFactory AFactory, TRegisterProperties ARegisterProperties,
                  TDefFactory ADefFactory, size_t AInstanceSize);

  // A new definition of this class; classes without an owner ignore AOwner. AfterConstruction has
  // run. Raises EAbstractError for an abstract class.
  TCustomDef* CreateDef(TCustomDef* AOwner = nullptr) const;
  // The bytes an instance takes, as size estimates count them.
  size_t InstanceSize() const { return FInstanceSize; }

private:
  TDefFactory FDefFactory;
  size_t FInstanceSize;
};

} // namespace vantrel

// In the body of a definition class: the metaclass accessors, with TCustomDefClass as metaclass.
#define VANTREL_DEF_CLASS(TName, TParent)                                                                    \
  RTL_CLASS_META(TName, TParent, ::vantrel::TCustomDefClass)                                                 \
  template <class> friend ::vantrel::TCustomDef* ::vantrel::detail::DefFactoryOf(::vantrel::TCustomDef*);    \
                                                                                                             \
private:

// In one source file: the metaclass object of a definition class of the unit Vantrel.DefTypes.
#define VANTREL_DEFINE_DEF_CLASS(TName)                                                                      \
  ::vantrel::TCustomDefClass& TName::StaticClass() {                                                         \
    static ::vantrel::TCustomDefClass metaclass(#TName, "Vantrel.DefTypes", &inherited::StaticClass(),       \
                                                ::rtl::detail::FactoryFor<TName>(), nullptr,                 \
                                                &::vantrel::detail::DefFactoryOf<TName>, sizeof(TName));     \
    return metaclass;                                                                                        \
  }

namespace vantrel {

// Named typed values of a definition: the settings of the scene object built from it, under the
// names of its published properties. Keys are compared exactly and keep their insertion order.
class TProperties : public rtl::TDictionary<std::string, rtl::TValue> {
public:
  // The dictionary's own size plus 44 bytes per entry.
  int64_t GetSize() const;
  // Appends "Properties": [{"Name": key, "Value": value}, ...] to AJSON, also when empty.
  void ToJSON(rtl::TJSONObject& AJSON) const;
  // Clears the dictionary, then reads the "Properties" array of AValue. Elements that are no
  // object, lack a string "Name" or lack "Value" are skipped; names are trimmed. A repeated name
  // raises the dictionary's duplicate error, and a value that does not convert raises its error;
  // entries read before stay.
  void FromJSON(const rtl::TJSONObject& AValue);
};

// The base of every definition.
class TCustomDef : public rtl::TObject {
  VANTREL_DEF_CLASS(TCustomDef, rtl::TObject)
public:
  TCustomDef() = default;

  const std::string& GetId() const { return FId; }
  void SetId(std::string AValue) { FId = std::move(AValue); }

  // An estimate of the memory the definition takes: its instance size plus its Id.
  virtual int64_t GetSize() const;
  // The asset package the definition came from (kept opaque here). Only texture definitions know
  // it; the base raises "TODO: override TCustomDef.GetAssetsPackage() in <class>".
  virtual rtl::TObject* GetAssetsPackage() const;
  // A new object whose first members are "Type" (the unit-qualified class name) and "Id";
  // descendants append theirs.
  virtual std::unique_ptr<rtl::TJSONObject> ToJSON() const;
  // Reads "Id" (keeping the current one when absent); descendants read theirs after it.
  virtual void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue);
  // Resolves references that need the whole model read; True when resolved. The base has none.
  virtual bool LateResolveFromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue);

  // 2 bytes per UTF-16 code unit of the text.
  static int64_t StringByteSize(std::string_view AText);

  // Typed member readers: the member's value, or ADefault when the member is missing or of
  // another JSON type. Numbers are read from their kept text.
  static std::string GetJSONString(const rtl::TJSONObject& AValue, std::string_view AName,
                                   std::string_view ADefault = {});
  // A string's value, a number's text, "true", "false", "null"; empty for objects and arrays.
  static std::string GetJSONValueText(const rtl::TJSONObject& AValue, std::string_view AName,
                                      std::string_view ADefault = {});
  static double GetJSONFloat(const rtl::TJSONObject& AValue, std::string_view AName, double ADefault);
  // JSONNumberToInteger of a number member, which may raise.
  static int32_t GetJSONInteger(const rtl::TJSONObject& AValue, std::string_view AName, int32_t ADefault);
  static bool GetJSONBoolean(const rtl::TJSONObject& AValue, std::string_view AName, bool ADefault);
  // The member's text through the point, vector or matrix codec; an empty text gives ADefault.
  static rtl::TPoint3D GetJSONPoint3D(const rtl::TJSONObject& AValue, std::string_view AName,
                                      const rtl::TPoint3D& ADefault);
  static rtl::TVector3D GetJSONVector3D(const rtl::TJSONObject& AValue, std::string_view AName,
                                        const rtl::TVector3D& ADefault);
  static rtl::TMatrix3D GetJSONMatrix3D(const rtl::TJSONObject& AValue, std::string_view AName,
                                        const rtl::TMatrix3D& ADefault);
  // The member's text as a braced GUID; ADefault for an empty or malformed text.
  static rtl::TGUID GetJSONGUID(const rtl::TJSONObject& AValue, std::string_view AName,
                                const rtl::TGUID& ADefault);
  static bool HasJSONValue(const rtl::TJSONObject& AValue, std::string_view AName);
  // The member exists and its value is of AJSONClass (TJSONString, TJSONNumber, TJSONBool...).
  static bool HasJSONValueOfClass(const rtl::TJSONObject& AValue, std::string_view AName,
                                  const rtl::TClass& AJSONClass);

  // A number text with "." or "," is rounded to the nearest integer, halves to even; any other text
  // must be a decimal 32-bit integer. Anything else, and a rounded value outside the 32-bit range,
  // raises EConvertError "'<text>' is not a valid integer value".
  static int32_t JSONNumberToInteger(const rtl::TJSONNumber& ANumber);

  // The JSON form of a typed value: integers (colours as signed 32-bit values), floats, Booleans,
  // enumeration names and strings as themselves; the known records as {"RecordType": name,
  // "Value": [...]} (TUBOUniformDef with named members); anything else as its text.
  static std::unique_ptr<rtl::TJSONValue> RttiValueToJSON(const rtl::TValue& AValue);
  // The typed value of a JSON value. AContextClass ends the error messages.
  static rtl::TValue JSONToRttiValue(std::string_view AContextClass, const rtl::TJSONValue& AValue);

private:
  std::string FId;
};

// Calls back for each child of a node: AParent's child AChild at AIndex. False ends the walk of the
// current level.
using TTransformTraverseProc = std::function<bool(TTransformDef* AParent, int AIndex, TTransformDef* AChild)>;

// A node of a model's definition tree: an owner, a local transform, a property bag and an owned
// list of child nodes.
class TTransformDef : public TCustomDef {
  VANTREL_DEF_CLASS(TTransformDef, TCustomDef)
public:
  // The node constructor every node class overrides.
  explicit TTransformDef(TCustomDef* AOwner = nullptr);
  ~TTransformDef() override;

  const std::string& GetOwnerId() const { return FOwnerId; }
  void SetOwnerId(std::string AValue) { FOwnerId = std::move(AValue); }
  // The owner and its Id (empty without owner).
  virtual void AssignOwner(TCustomDef* AValue);
  // The owner as a node: nullptr without owner; raises EInvalidCast for an owner of another kind.
  virtual TTransformDef* GetOwner() const;
  virtual void SetOwner(TTransformDef* AValue) { AssignOwner(AValue); }
  virtual TCustomDef* GetOwnerRef() const { return FOwner; }
  virtual void SetOwnerRef(TCustomDef* AValue) { AssignOwner(AValue); }

  const rtl::TMatrix3D& GetTransform() const { return FTransform; }
  void SetTransform(const rtl::TMatrix3D& AValue) { FTransform = AValue; }
  TProperties& GetProperties() { return *FProperties; }
  const TProperties& GetProperties() const { return *FProperties; }
  // The children, or nullptr before the first AddChild.
  const rtl::TObjectList<TTransformDef>* GetChildren() const { return FChildren.get(); }
  int32_t GetCopyCount() const { return FCopyCount; }
  void IncCopyCount() { ++FCopyCount; }

  // A valid component name unique among the existing components, made from Id, with "_Copy<n>"
  // appended once copies were made of the node's scene object.
  virtual std::string GetQualifiedComponentName() const;
  // The model node this node belongs to, found up the owner chain (a TModelDef, looked up in the
  // class registry so that the test works once that class registers); nullptr without one.
  virtual TTransformDef* GetModel() const;

  // Appends ATransform (creating the owning list on first use) and returns its index, or -1 when
  // it is already a child. The child's owner is left alone.
  virtual int AddChild(TTransformDef* ATransform);
  // Removes and frees ATransform when it is a child.
  virtual void RemoveChild(TTransformDef* ATransform);
  // Removes ATransform without freeing it and returns it; nullptr when it is no child.
  virtual TTransformDef* ExtractChild(TTransformDef* ATransform);
  // Frees every child; the emptied list stays.
  virtual void ClearChildren();
  // The node among all descendants whose Id, or "#" and Id, equals AId ignoring ASCII case. A
  // match ends only the walk of its own level, so of several matches the last one visited wins.
  // Not found: raises "transform with id "<id>" not found" with AThrowException, else nullptr.
  virtual TTransformDef* FindChildById(std::string_view AId, bool AThrowException) const;
  // The owner's absolute transformation times Transform: for row vectors the owner's matrix
  // applies first. This is the owner chain's product as files define it, not a world matrix of the
  // scene.
  virtual rtl::TMatrix3D GetAbsoluteTransformation() const;
  // Transform; joints compute theirs.
  virtual rtl::TMatrix3D EvaluateGlobalTransformation() const { return FTransform; }

  // Calls AProc for each child in order (the count taken once); with ADeepTraverse each child's
  // own children follow it before the next child.
  void Traverse(bool ADeepTraverse, const TTransformTraverseProc& AProc);

  // The base members, "Owner" (the owner's Id; without an owner object the unresolved OwnerId, or
  // null), "Properties", "Transform" (16 F7 numbers row by row), then "Children" when the list
  // exists, also when it is empty.
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // Reads Id, the owner (resolved through TModelDefSeams when a model is given), Properties,
  // Transform and the children, each made by the class the child type table gives for its first
  // "Type". A child that is no object raises EInvalidCast and the children read before it stay. A
  // "Children" array creates the list, also when it is empty.
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

private:
  std::string FOwnerId;
  TCustomDef* FOwner = nullptr;
  rtl::TMatrix3D FTransform = rtl::TMatrix3D::Identity();
  std::unique_ptr<TProperties> FProperties;
  std::unique_ptr<rtl::TObjectList<TTransformDef>> FChildren;
  int32_t FCopyCount = 0;

  void ReadOwner(TModelDef* AModel, const rtl::TJSONObject& AValue);
  void ReadChildren(TModelDef* AModel, const rtl::TJSONObject& AValue);
};

// A node that refers to another node of the model by id.
class TSegmentDef : public TTransformDef {
  VANTREL_DEF_CLASS(TSegmentDef, TTransformDef)
public:
  explicit TSegmentDef(TCustomDef* AOwner = nullptr) : TTransformDef(AOwner) {}

  const std::string& GetReferenceId() const { return FReferenceId; }
  void SetReferenceId(std::string AValue) { FReferenceId = std::move(AValue); }
  // The node named by ReferenceId in the model (not owned), or nullptr.
  TTransformDef* GetReference() const { return FReference; }
  void SetReference(TTransformDef* AValue) { FReference = AValue; }

  // The node members, then "Reference" with ReferenceId.
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

private:
  std::string FReferenceId;
  TTransformDef* FReference = nullptr;
};

// A node that groups others, with authoring information. It is not in the child type table, so a
// group read as a child becomes the table's fallback class.
class TGroupDef : public TTransformDef {
  VANTREL_DEF_CLASS(TGroupDef, TTransformDef)
public:
  explicit TGroupDef(TCustomDef* AOwner = nullptr) : TTransformDef(AOwner) {}

  const std::string& GetAuthor() const { return FAuthor; }
  void SetAuthor(std::string AValue) { FAuthor = std::move(AValue); }
  // 0 means none.
  rtl::TDateTime GetTimestamp() const { return FTimestamp; }
  void SetTimestamp(rtl::TDateTime AValue) { FTimestamp = AValue; }
  const std::string& GetVersion() const { return FVersion; }
  void SetVersion(std::string AValue) { FVersion = std::move(AValue); }
  const std::string& GetLicense() const { return FLicense; }
  void SetLicense(std::string AValue) { FLicense = std::move(AValue); }
  const std::string& GetLink() const { return FLink; }
  void SetLink(std::string AValue) { FLink = std::move(AValue); }
  const std::string& GetDescr() const { return FDescr; }
  void SetDescr(std::string AValue) { FDescr = std::move(AValue); }

  // The node members, then each text member that is not empty and "Timestamp" (as
  // "yyyy-mm-dd hh:nn:ss") when above 0.
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // Absent texts read empty; a "Timestamp" that is not exactly a date-time of that form reads 0.
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

private:
  std::string FAuthor;
  rtl::TDateTime FTimestamp;
  std::string FVersion, FLicense, FLink, FDescr;
};

#include "definitions/Vantrel.DefTypes.Animation.inc"
#include "definitions/Vantrel.DefTypes.Skin.inc"

// The child type table: the classes a "Children" element can name by its exact "Type", and the
// class made for any other name (TTransformDef until the mesh definition installs its own). Each
// definition unit adds its rows at start-up. Registering a class that is no TTransformDef raises
// EInvalidCast.
void RegisterChildDefClass(std::string_view ATypeName, TCustomDefClass& AClass);
void UnregisterChildDefClass(std::string_view ATypeName);
// Installs AClass as the fallback (nullptr: TTransformDef) and returns the one it replaces.
TCustomDefClass* SetChildDefFallback(TCustomDefClass* AClass);
// The class registered for ATypeName, else the fallback.
TCustomDefClass& FindChildDefClass(std::string_view ATypeName);

// What the model definition provides to nodes read from JSON. Until it installs them (each may
// stay nullptr), an "Owner" id and a segment's "Reference" are kept as ids and resolve to nothing.
struct TModelDefSeams {
  // The model's definition with that id (any kind), or nullptr.
  TCustomDef* (*FindDefById)(TModelDef* AModel, const std::string& AId) = nullptr;
  // The model's node with that id (FindChildById without raising), or nullptr.
  TTransformDef* (*FindChildById)(TModelDef* AModel, const std::string& AId) = nullptr;
  // The joint with that id in the model's armatures, or nullptr.
  TJointDef* (*FindJointById)(TModelDef* AModel, const std::string& AId) = nullptr;
  // The model's controller whose Id, or "#" and Id, equals AId ignoring ASCII case, or nullptr.
  TControllerDef* (*FindControllerById)(TModelDef* AModel, const std::string& AId) = nullptr;
};
// Installs ASeams and returns the ones they replace.
TModelDefSeams SetModelDefSeams(const TModelDefSeams& ASeams);
const TModelDefSeams& ModelDefSeams();

// Registers the unit's classes with the class registry and its rows in the child type table.
// Counted: only the first Initialize and the last Finalize do the work.
void InitializeDefTypes();
void FinalizeDefTypes();

namespace detail {
// The start-up rows of the unit's part files, called by InitializeDefTypes / FinalizeDefTypes.
void RegisterSkinDefClasses(bool ARegister);
void RegisterAnimationDefClasses(bool ARegister);
void RegisterTextureDefClasses(bool ARegister);
void RegisterMaterialDefClasses(bool ARegister);
} // namespace detail

namespace detail {
template <class T> TCustomDef* DefFactoryOf(TCustomDef* AOwner) {
  if constexpr (std::is_constructible_v<T, TCustomDef*>)
    return new T(AOwner);
  else
    return new T();
}
} // namespace detail

} // namespace vantrel

// The mesh part of the unit: vertex records, mesh definitions, vertex groups, the vertex cache.
#include "definitions/Vantrel.DefTypes.Mesh.h"
// The light, camera and meta definitions, and the model definition.
#include "definitions/Vantrel.DefTypes.Nodes.h"
#include "definitions/Vantrel.DefTypes.Model.h"
// The load options and the bitmap cache.
#include "definitions/Vantrel.DefTypes.LoadOptions.h"
// The material part of the unit: material, behaviour and extension definitions.
#include "definitions/Vantrel.DefTypes.Material.h"
// The texture part of the unit: textures, samplers and shader sources of material definitions.
#include "definitions/Vantrel.DefTypes.Texture.h"
