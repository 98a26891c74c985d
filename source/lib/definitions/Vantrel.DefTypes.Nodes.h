#pragma once
// Included at the end of Vantrel.DefTypes.h: the light, camera and meta definitions. The scene's
// light and camera load from the first two; meta definitions hold free typed tags.

#include <cstdint>
#include <memory>
#include <string>

#include "rtl/colors.h"
#include "ui/types3d.h"

namespace vantrel {

// A light of the definition tree. A new light under a model is listed in the model's lights.
class TLightDef : public TTransformDef {
  VANTREL_DEF_CLASS(TLightDef, TTransformDef)
public:
  explicit TLightDef(TCustomDef* AOwner = nullptr) : TTransformDef(AOwner) {}
  ~TLightDef() override;
  // Registers the light in its model's list (when it has a model).
  void AfterConstruction() override;

  ui::TLightType LightType = ui::TLightType::Point;
  rtl::TPoint3D Direction{0, 1, 0};
  rtl::TAlphaColorF Diffuse{1, 1, 1, 1};
  rtl::TAlphaColorF Ambient{0, 0, 0, 1};
  rtl::TAlphaColorF Specular{1, 1, 1, 1};
  float Intensity = 100;
  float ConstantAttenuation = 1;
  float LinearAttenuation = 0;
  float QuadraticAttenuation = 0;
  float ScatteringIntensity = 0.1f;
  float ScatteringExposure = 0.0034f;
  float ScatteringDecay = 1;
  float ScatteringDensity = 0.84f;
  float SpotCutOff = 180;
  float SpotExponent = 0;

  // The Id made a valid component name, or "Light_<address>" when that is empty.
  std::string GetQualifiedComponentName() const override;
  // The base definition size only.
  int64_t GetSize() const override;
  // The node members, a second "Owner", "LightType", "Direction", the three colours, then the
  // ten numbers.
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // The node members; an "Owner" text other than the current owner's Id drops the owner until
  // LateResolveFromJSON; absent members keep their values; an unknown "LightType" is Point.
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;
  // Without an owner, a non-empty OwnerId becomes the model's definition of that Id.
  bool LateResolveFromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

  // The model whose list holds this light, or nullptr. Set and cleared by the model.
  TModelDef* GetListedIn() const { return FListedIn; }
  void SetListedIn(TModelDef* AModel) { FListedIn = AModel; }

private:
  TModelDef* FListedIn = nullptr;
};

enum class TCameraType : uint8_t { PerspectiveCamera, OrthographicCamera };
RTL_ENUM_TYPEINFO(TCameraType, "PerspectiveCamera", "OrthographicCamera")

// A camera of the definition tree. A new camera under a model is listed in the model's cameras.
class TCameraDef : public TTransformDef {
  VANTREL_DEF_CLASS(TCameraDef, TTransformDef)
public:
  explicit TCameraDef(TCustomDef* AOwner = nullptr) : TTransformDef(AOwner) {}
  ~TCameraDef() override;
  void AfterConstruction() override;

  TCameraType Type = TCameraType::PerspectiveCamera;
  std::string Target;
  float FOV = 45;
  float AspectRatio = 1.777778f;
  float NearPlane = 1;
  float FarPlane = 1000;

  // The Id made a valid component name, or "Camera_<address>" when that is empty.
  std::string GetQualifiedComponentName() const override;
  int64_t GetSize() const override;
  // The node members, a second "Owner", a second "Type" ("Orthographic" or "Perspective"),
  // "Target", then the four numbers.
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // The node members; the projection from the last "Type"; the owner as for lights, and an absent
  // "Owner" drops it; absent members keep their values.
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;
  bool LateResolveFromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

  TModelDef* GetListedIn() const { return FListedIn; }
  void SetListedIn(TModelDef* AModel) { FListedIn = AModel; }

private:
  TModelDef* FListedIn = nullptr;
};

// Free typed tags, kept in insertion order.
class TMetaDef : public TCustomDef {
  VANTREL_DEF_CLASS(TMetaDef, TCustomDef)
public:
  using TTags = rtl::TDictionary<std::string, rtl::TValue>;

  TMetaDef() = default;

  const TTags& GetTags() const { return FTags; }
  void Clear() { FTags.Clear(); }

  // The tag's value, or the empty value.
  rtl::TValue GetTag(const std::string& AIndex) const;
  // Adds or replaces the tag. Only strings, characters, integers, floats and Booleans are allowed;
  // another kind raises and leaves the tags unchanged.
  void SetTag(const std::string& AIndex, const rtl::TValue& AValue);

  // The tag through the value conversions (an absent tag gives the empty value's result).
  std::string GetTagAsString(const std::string& AIndex) const;
  int32_t GetTagAsInt(const std::string& AIndex) const;
  double GetTagAsFloat(const std::string& AIndex) const;
  bool GetTagAsBool(const std::string& AIndex) const;
  void SetTagAsString(const std::string& AIndex, const std::string& AValue);
  // Stored as a 64-bit integer.
  void SetTagAsInt(const std::string& AIndex, int64_t AValue);
  void SetTagAsFloat(const std::string& AIndex, double AValue);
  void SetTagAsBool(const std::string& AIndex, bool AValue);

  // The base members, then one member per tag: integers as 64-bit numbers, strings, Booleans and
  // floats; other kinds are skipped.
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // Clears the tags, reads the base members, then makes a tag of every member ("Type" and "Id"
  // included): a number with "." or "," (en-US) or an exponent is a float, else a 64-bit integer
  // (0 when out of range), Booleans and strings as themselves; other values are skipped.
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

private:
  TTags FTags;
};

// The meta data of a model, with named tags for its common entries.
class TModelMetaDef : public TMetaDef {
  VANTREL_DEF_CLASS(TModelMetaDef, TMetaDef)
public:
  TModelMetaDef() = default;

  std::string GetTitle() const { return GetTagAsString("Title"); }
  void SetTitle(const std::string& AValue) { SetTagAsString("Title", AValue); }
  std::string GetDescr() const { return GetTagAsString("Descr"); }
  void SetDescr(const std::string& AValue) { SetTagAsString("Descr", AValue); }
  std::string GetAuthor() const { return GetTagAsString("Author"); }
  void SetAuthor(const std::string& AValue) { SetTagAsString("Author", AValue); }
  std::string GetLicense() const { return GetTagAsString("License"); }
  void SetLicense(const std::string& AValue) { SetTagAsString("License", AValue); }
  int64_t GetPolygons() const { return GetTag("Polygons").IsEmpty() ? 0 : GetTag("Polygons").AsInt64(); }
  void SetPolygons(int64_t AValue) { SetTagAsInt("Polygons", AValue); }
  int64_t GetVertices() const { return GetTag("Vertices").IsEmpty() ? 0 : GetTag("Vertices").AsInt64(); }
  void SetVertices(int64_t AValue) { SetTagAsInt("Vertices", AValue); }
  bool GetMobileSuitable() const { return GetTagAsBool("MobileSuitable"); }
  void SetMobileSuitable(bool AValue) { SetTagAsBool("MobileSuitable", AValue); }
};

} // namespace vantrel
