#pragma once
// How a material definition samples its textures and which extra shader sources it carries:
// sampler and shader definitions with their JSON form.
//
// This is a part header of Vantrel.DefTypes.h, which includes it at its end; include that header.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Texturing.h"
#include "context/Vantrel.Context.Types.h"
#include "rtl/types2d.h"
#include "ui/bitmap.h"
#include "ui/shaders.h"
#include "rtl/colors.h"
#include "ui/types3d.h"

namespace vantrel {

class TMaterialDef;
class TExtensionDefList;
class TExtensionDef;
class TVantrelTextureAsset;

// How a texture is stored and sampled: kind, pixel formats, border colour, filters and wrap modes.
class TSamplerDef : public TCustomDef {
  VANTREL_DEF_CLASS(TSamplerDef, TCustomDef)
public:
  TSamplerDef() = default;

  TVantrelTextureKind TextureKind = TVantrelTextureKind::Texture2D;
  TPixelFormatEx InternalFormat = TPixelFormatEx::RGBA8;
  TPixelFormatEx Format = TPixelFormatEx::BGRA;
  TVantrelTextureDataType DataType = TVantrelTextureDataType::dtUnsignedByte;
  rtl::TAlphaColorF BorderColor;
  ui::TTextureFilter MinFilter = ui::TTextureFilter::Linear;
  ui::TTextureFilter MagFilter = ui::TTextureFilter::Linear;
  TVantrelTextureWrap WrapS = TVantrelTextureWrap::ClampToEdge;
  TVantrelTextureWrap WrapT = TVantrelTextureWrap::ClampToEdge;
  TVantrelTextureWrap WrapR = TVantrelTextureWrap::ClampToEdge;

  // The base members, then "Kind", "InternalFormat", "Format", "DataType" (ordinals),
  // "BorderColor" (four F4 numbers), "MinFilter", "MagFilter", "WrapS", "WrapT", "WrapR" by name.
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // Texts are compared lower-cased. An unknown kind reads Texture2D; the formats default to 59, 4
  // and 1 when absent; an absent or empty colour, filter or wrap keeps the current value; an
  // unknown filter text reads Linear and an unknown wrap text ClampToEdge (only the stored names
  // select the others, so "repeat" is ClampToEdge here).
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;
};

// A bitmap handed out by a texture definition: Bitmap is what to read; Owned holds it when it is
// a clone made for the caller (freed with the instance), and is empty when Bitmap is the asset's
// shared bitmap.
struct TBitmapInstance {
  ui::TBitmap* Bitmap = nullptr;
  rtl::TOwned<ui::TBitmap> Owned;
  explicit operator bool() const { return Bitmap != nullptr; }
};

// A texture of a material: the channel it feeds, its sampler, flips, tiling and the texture asset
// that holds its image.
//
// Ownership: the asset is not owned unless IsAssetOwner is set; an owned asset that the model's
// registry holds is freed by the registry, any other owned asset by this definition.
class TTextureDef : public TCustomDef {
  VANTREL_DEF_CLASS(TTextureDef, TCustomDef)
public:
  // Sets the owner flag before the asset, so that an owned asset is flagged standalone when it is
  // registered in the material's model.
  explicit TTextureDef(TMaterialDef* AMaterial = nullptr, TColorChannelDef AChannel = TColorChannelDef::Diffuse,
                       TVantrelTextureAsset* AAsset = nullptr, bool AIsAssetOwner = false);
  ~TTextureDef() override;

  TMaterialDef* GetMaterial() const { return FMaterial; }
  TColorChannelDef Channel;
  TSamplerDef& GetSampler() { return *FSampler; }
  const TSamplerDef& GetSampler() const { return *FSampler; }
  bool IsAssetOwner = false;
  TTextureFlippings Flipping{TTextureFlipping::Vertical};
  rtl::TPointF Tiling{1, 1};
  bool IsDynamic = false;
  bool IgnoreInArray = false;
  ui::TContextShaderKind Destination = ui::TContextShaderKind::PixelShader;

  // The flips the asset's shared bitmap carries (the asset's AppliedFlips; empty without asset).
  TTextureFlippings GetFlipState() const;
  TVantrelTextureAsset* GetAssetRef() const { return FAssetRef; }
  // Stores the reference; with a model, flags an owned asset standalone and registers the asset
  // in the model's texture registry. An owned asset it replaces is released as the destructor
  // would.
  void SetAssetRef(TVantrelTextureAsset* AValue);

  TVantrelTextureWrap GetWrapS() const { return FSampler->WrapS; }
  void SetWrapS(TVantrelTextureWrap AValue) { FSampler->WrapS = AValue; }
  TVantrelTextureWrap GetWrapT() const { return FSampler->WrapT; }
  void SetWrapT(TVantrelTextureWrap AValue) { FSampler->WrapT = AValue; }
  TVantrelTextureWrap GetWrapR() const { return FSampler->WrapR; }
  void SetWrapR(TVantrelTextureWrap AValue) { FSampler->WrapR = AValue; }

  // Extensions, searched from the first item; the list is made on first use.
  const TExtensionDefList* GetExtensions() const { return FExtensions.get(); }
  TExtensionDef* AddExtension(std::string AId);
  TExtensionDef* GetExtension(std::string_view AId) const;
  void RemoveExtension(std::string_view AId);
  void ClearExtensions();

  // The bitmap of the asset: empty without asset; raises "failed to request bitmap instance of
  // texture asset - texture was not loaded physically yet" when the asset has no image. A cached
  // standalone asset, or ADoClone, gives a clone the instance owns (no flips, no wrap modes);
  // otherwise the asset's shared bitmap, which takes the wrap modes and is flipped to this
  // definition's Flipping (the asset records what it carries).
  TBitmapInstance GetAssetBitmapInstance(bool ADoClone);

  // The package of the material's model (nullptr without model); raises "failed to get package -
  // material of TTextureDef not assigned" without material.
  rtl::TObject* GetAssetsPackage() const override;
  int64_t GetSize() const override;
  // The base members, "Channel", "Flipping", "Tiling", "IsDynamic", "IgnoreInArray",
  // "Destination", "Sampler", "Asset" (null without asset), then "Extensions" when the list exists.
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // Reads the members in that order and resolves the asset (through the package, else a new
  // groupless asset; see the unit's notes). A channel outside the enumeration raises ERangeError;
  // an "Extensions" element that is no object EInvalidCast.
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

private:
  TMaterialDef* FMaterial;
  std::unique_ptr<TSamplerDef> FSampler;
  TVantrelTextureAsset* FAssetRef = nullptr;
  std::unique_ptr<TExtensionDefList> FExtensions;

  // Frees an owned asset that no registry holds.
  void ReleaseAsset();
  TModelDef* Model() const;
  void ResolveAsset(const rtl::TJSONObject& AAsset);
};

// An extra shader source of a material: its stage, language and lines.
class TShaderDef : public TCustomDef {
  VANTREL_DEF_CLASS(TShaderDef, TCustomDef)
public:
  TShaderDef() = default;

  TContextShaderKindEx Kind = TContextShaderKindEx::VertexShader;
  TShaderLanguage Language = TShaderLanguage::GLSL;

  const std::vector<std::string>& GetSourceCode() const { return FSourceCode; }
  // Copies the lines.
  void SetSourceCode(const std::vector<std::string>& ALines) { FSourceCode = ALines; }

  // The base members, then "Kind" (only for the vertex, pixel and geometry stages), "Language"
  // and "SourceCode": each line followed by CR LF.
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // "Kind" and "Language" are compared upper-cased; an unknown or absent text keeps the current
  // value. "SourceCode" replaces the lines: CR, LF or CR LF end a line, and a break at the end
  // adds no empty line.
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

private:
  std::vector<std::string> FSourceCode;
};

namespace detail {
// The start-up rows of the texture part, called by InitializeDefTypes / FinalizeDefTypes.
void RegisterTextureDefClasses(bool ARegister);
} // namespace detail

} // namespace vantrel
