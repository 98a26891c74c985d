#pragma once
// Material definitions: everything a material source needs to rebuild a material (kind, switches,
// colours, physically based values, textures, shader sources, behaviour references, extensions
// and layered sub-materials), the behaviour definitions a model keeps, and their JSON form.
//
// This is a part header of Vantrel.DefTypes.h, which includes it at its end; include that header.
//
// Ownership: a material registered in its model's table belongs to the table, unless it is a
// sub-material, which its parent's Materials list owns (its table entry does not). A material
// freed by anybody but the table removes the entry that maps to it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "context/Vantrel.Context.Types.h"
#include "rtl/colors.h"

namespace vantrel {

class TTextureDef;
class TShaderDef;
class TVantrelTextureAsset;

// The kind of material a definition describes; the material factory picks the source class by it.
enum class TMaterialDefKind : uint8_t {
  mkDefault,
  mkColor,
  mkLambert,
  mkPhong,
  mkBlinnPhong,
  mkNormalMap,
  mkBumpMap,
  mkLayered,
  mkVertexColor,
  mkCustom,
  mkPBR
};
RTL_ENUM_TYPEINFO(TMaterialDefKind, "mkDefault", "mkColor", "mkLambert", "mkPhong", "mkBlinnPhong", "mkNormalMap",
                  "mkBumpMap", "mkLayered", "mkVertexColor", "mkCustom", "mkPBR")

// The material channel a texture feeds.
enum class TColorChannelDef : uint8_t {
  Diffuse,
  Ambient,
  Emissive,
  Specular,
  Normal,
  Opacity,
  Reflection,
  Refraction,
  Environment,
  Lightmap,
  Displacement,
  Metalness,
  Roughness,
  AO,
  HeightMap,
  POM,
  Depth,
  UserSpecific
};
RTL_ENUM_TYPEINFO(TColorChannelDef, "Diffuse", "Ambient", "Emissive", "Specular", "Normal", "Opacity", "Reflection",
                  "Refraction", "Environment", "Lightmap", "Displacement", "Metalness", "Roughness", "AO", "HeightMap",
                  "POM", "Depth", "UserSpecific")

// The language a shader definition's source is written in.
enum class TShaderLanguage : uint8_t { GLSL, HLSL, MSL };
RTL_ENUM_TYPEINFO(TShaderLanguage, "GLSL", "HLSL", "MSL")

// Free named values that a material or texture carries for the sources that know them.
class TExtensionDef : public TCustomDef {
  VANTREL_DEF_CLASS(TExtensionDef, TCustomDef)
public:
  TExtensionDef();
  ~TExtensionDef() override;

  TProperties& GetProperties() { return *FProperties; }
  const TProperties& GetProperties() const { return *FProperties; }

  // The base size plus the properties' size.
  int64_t GetSize() const override;
  // The base members, then "Properties".
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

private:
  std::unique_ptr<TProperties> FProperties;
};

// An owning list of extensions.
class TExtensionDefList : public rtl::TObjectList<TExtensionDef> {
public:
  TExtensionDefList() : rtl::TObjectList<TExtensionDef>(true) {}
  // The first extension with that id (exact), or nullptr.
  TExtensionDef* FindExtensionById(std::string_view AId) const;
};

// A behaviour a model keeps for its materials: the class that builds it and its settings.
class TBehaviourDef : public TCustomDef {
  VANTREL_DEF_CLASS(TBehaviourDef, TCustomDef)
public:
  // Id becomes a new GUID in braces, upper-case.
  TBehaviourDef();
  ~TBehaviourDef() override;

  const std::string& GetPrefabClass() const { return FPrefabClass; }
  void SetPrefabClass(std::string AValue) { FPrefabClass = std::move(AValue); }
  TProperties& GetProperties() { return *FProperties; }
  const TProperties& GetProperties() const { return *FProperties; }

  int64_t GetSize() const override;
  // The base members, a second "Type" with the class name without unit, "PrefabClass", then
  // "Properties".
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

private:
  std::string FPrefabClass;
  std::unique_ptr<TProperties> FProperties;
};

// The one behaviour class a model file may hold.
class TMaterialBehaviourDef : public TBehaviourDef {
  VANTREL_DEF_CLASS(TMaterialBehaviourDef, TBehaviourDef)
public:
  TMaterialBehaviourDef() = default;
};

// A material's reference to one of its model's behaviours, with the name it is shown under.
class TBehaviourRefDef : public TRefDef<TBehaviourDef> {
  VANTREL_DEF_CLASS(TBehaviourRefDef, TRefDef<TBehaviourDef>)
public:
  TBehaviourRefDef() = default;

  const std::string& GetDisplayName() const { return FDisplayName; }
  void SetDisplayName(std::string AValue) { FDisplayName = std::move(AValue); }

  // The base members, "Name", then "Reference" with the behaviour's Id when resolved.
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // The base members and "Name"; the reference resolves at once through the model's behaviours
  // (none when the behaviour is not read yet). "Reference" is not read.
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;
  // Tries the model's behaviours again while unresolved; True.
  bool LateResolveFromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

private:
  std::string FDisplayName;
};

// Everything a material source needs to rebuild a material.
class TMaterialDef : public TCustomDef {
  VANTREL_DEF_CLASS(TMaterialDef, TCustomDef)
public:
  // Registers the material in AModel's table under AId when both are given (the table's
  // duplicate-key error for a taken id).
  explicit TMaterialDef(TModelDef* AModel = nullptr, std::string AId = {});
  // Frees the lists and the sub-materials, and removes the table entry that maps to this
  // material unless the table is the one freeing it.
  ~TMaterialDef() override;

  std::string TypeName;
  TMaterialDefKind Kind = TMaterialDefKind::mkDefault;
  TVantrelShadingModel ShadingModel = TVantrelShadingModel::smLambert;
  bool UseTexturing = true;
  bool UseTexture0 = true;
  bool UseLighting = true;
  bool UseVertexColor = false;
  bool UseSpecular = false;
  rtl::TAlphaColorF Diffuse = rtl::TAlphaColorF::Create(0.75f, 0.75f, 0.75f, 1);
  rtl::TAlphaColorF Ambient = rtl::TAlphaColorF::Create(0.35f, 0.35f, 0.35f, 1);
  rtl::TAlphaColorF Emissive = rtl::TAlphaColorF::Create(0, 0, 0, 1);
  rtl::TAlphaColorF Specular = rtl::TAlphaColorF::Create(0.15f, 0.15f, 0.15f, 1);
  float SpecPow = 0.5f;
  float Brightness = 1;
  rtl::TAlphaColorF ReflectionColor = rtl::TAlphaColorF::Create(1, 1, 1, 1);
  float ReflectionPower = 0;
  bool UseReflection = false;
  rtl::TAlphaColorF RefractionColor = rtl::TAlphaColorF::Create(1, 1, 1, 1);
  float RefractionPower = 0;
  bool UseRefraction = false;
  float Metallic = 1;
  float Roughness = 1;
  float AO = 1;
  bool UseClipping = false;
  // A plane as four numbers.
  rtl::TAlphaColorF Clipping;
  bool UseAlphaCutoff = false;
  float AlphaCutoff = 0;
  bool ParallaxOcclusionMapping = false;
  int32_t ParallaxLevels = 0;
  float NormalIntensity = 0;
  TVantrelTonemapping Tonemapping = TVantrelTonemapping::tmNone;
  float TonemappingExposure = 0;
  bool UseOpacity = false;
  float Opacity = 1;
  bool DoubleSided = false;

  TModelDef* GetModel() const { return FModel; }
  // The layered material whose Materials list owns this one, or nullptr.
  TMaterialDef* GetParentMaterial() const { return FParentMaterial; }

  // The lists, each nullptr until its first item.
  const rtl::TObjectList<TTextureDef>* GetTextures() const { return FTextures.get(); }
  const rtl::TObjectList<TShaderDef>* GetShaders() const { return FShaders.get(); }
  const rtl::TObjectList<TBehaviourRefDef>* GetBehaviourRefs() const { return FBehaviourRefs.get(); }
  const TExtensionDefList* GetExtensions() const { return FExtensions.get(); }
  const rtl::TObjectList<TMaterialDef>* GetMaterials() const { return FMaterials.get(); }

  // Textures: searched from the first item.
  TTextureDef* AddTexture(TTextureDef* ATexDef);
  // A new texture definition of this material for AChannel holding AAsset (owned when
  // AIsAssetOwner: see TTextureDef).
  TTextureDef* AddTexture(TColorChannelDef AChannel, TVantrelTextureAsset* AAsset, bool AIsAssetOwner);
  TTextureDef* GetTexture(TColorChannelDef AChannel) const;
  bool TextureChannelExists(TColorChannelDef AChannel) const;
  void ClearTextures();

  // Shaders: searched from the first item; the removals remove every match. The source text is
  // split into lines by the string list's text rules.
  TShaderDef* AddShader(std::string AId, TContextShaderKindEx AKind, std::string_view ASourceCode,
                        TShaderLanguage ALanguage = TShaderLanguage::GLSL);
  TShaderDef* GetShader(std::string_view AId) const;
  TShaderDef* GetShader(TContextShaderKindEx AKind) const;
  void RemoveShader(std::string_view AId);
  void RemoveShaders(TContextShaderKindEx AKind);
  void ClearShaders();

  // Behaviour references: searched from the last item; the removals remove every match. Nothing
  // is added (nullptr) for an empty name or no behaviour.
  TBehaviourRefDef* AddMaterialBehaviourRef(std::string ADisplayName, TBehaviourDef* ABehaviour);
  TBehaviourRefDef* GetMaterialBehaviourRef(std::string_view AUniqueID) const;
  TBehaviourRefDef* GetMaterialBehaviourRef(const TBehaviourDef* ABehaviour) const;
  TBehaviourRefDef* GetMaterialBehaviourRefByDisplayName(std::string_view ADisplayName) const;
  void RemoveMaterialBehaviourRef(std::string_view AId);
  void RemoveMaterialBehaviourRef(const TBehaviourDef* ABehaviour);
  void ClearMaterialBehaviourRefs();

  // Extensions: searched from the last item; RemoveExtension removes every match.
  TExtensionDef* AddExtension(std::string AId);
  TExtensionDef* GetExtension(std::string_view AId) const;
  void RemoveExtension(std::string_view AId);
  void ClearExtensions();

  // Sub-materials (only for mkLayered, else "cannot add/get submaterial of none layered
  // material..."). AddLayeredMaterial takes ownership only when it succeeds, and makes the
  // sub-material's table entry non-owning.
  virtual void AddLayeredMaterial(rtl::TOwned<TMaterialDef> AMaterial);
  virtual TMaterialDef* GetLayeredMaterial(std::string_view AId) const;
  virtual TMaterialDef* GetLayeredMaterialByIndex(int AIdx) const;
  // Frees the sub-materials and the list (no kind check).
  virtual void ClearLayeredMaterials();

  int64_t GetSize() const override;
  // "Type" and "Id", a second "Type" with TypeName, "Model", "Kind", the custom switches for
  // mkCustom, the values, then every list that exists (also when empty).
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // TypeName from the last "Type"; registers under the id read; "Materials" elements become
  // sub-materials of the same model. A list member that is no array, or an element that is no
  // object, raises EInvalidCast; an ordinal outside its enumeration ERangeError.
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

private:
  friend class TModelDef;
  TModelDef* FModel = nullptr;
  TMaterialDef* FParentMaterial = nullptr;
  std::unique_ptr<rtl::TObjectList<TTextureDef>> FTextures;
  std::unique_ptr<rtl::TObjectList<TShaderDef>> FShaders;
  std::unique_ptr<rtl::TObjectList<TBehaviourRefDef>> FBehaviourRefs;
  std::unique_ptr<TExtensionDefList> FExtensions;
  std::unique_ptr<rtl::TObjectList<TMaterialDef>> FMaterials;

  // Registers under the current Id in the model's table (see TModelDef::RegisterMaterial).
  void RegisterInModel();
  void CheckLayered(bool AAdding) const;
  void ReadLists(TModelDef* AModel, const rtl::TJSONObject& AValue);
};

namespace detail {
// The start-up rows of the material part, called by InitializeDefTypes / FinalizeDefTypes.
void RegisterMaterialDefClasses(bool ARegister);
} // namespace detail

} // namespace vantrel
