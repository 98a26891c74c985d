#pragma once
// The two lists of named textures a default material samples: the bitmap pool, which the material
// source owns and streams (named bitmaps with the settings they are uploaded under), and the
// texture pool, which the material owns: a flat copy of the bitmap pool that borrows the GPU
// textures of the bitmaps, from which the stage texts declare their samplers.

#include <cstdint>
#include <string>
#include <string_view>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Texturing.h"
#include "rtl/classes.h"
#include "rtl/colors.h"
#include "rtl/method.h"
#include "rtl/properties.h"
#include "rtl/types2d.h"
#include "ui/shaders.h"
#include "ui/texture.h"
#include "ui/types3d.h"

namespace vantrel {

inline constexpr int MaxPoolTextures = 16;
inline constexpr std::string_view SPoolIsFull =
    "failed to add bitmap to pool - maximum number of textures in pool reached = %d";
inline constexpr std::string_view SPoolEntryNameMissing =
    "failed to add bitmap to pool - no entry name supplied!";

class TVantrelBitmapPool;
class TCustomDef;

enum class TVantrelShadowMethod : uint8_t { ShadowMapping, VarianceShadowMapping };
RTL_ENUM_TYPEINFO(TVantrelShadowMethod, "ShadowMapping", "VarianceShadowMapping")

// The settings both entry kinds share, with their defaults.
struct TVantrelPoolEntrySettings {
  std::string Name;
  TPointF Tiling{1, 1};
  bool IsDynamic = false;
  bool IgnoreInArray = false;
  TContextShaderKind ShaderKind = TContextShaderKind::PixelShader;
  TVantrelTextureKind TextureKind = TVantrelTextureKind::Texture2D;
  TPixelFormatEx InternalFormat = TPixelFormatEx::None;
  TPixelFormatEx Format = TPixelFormatEx::None;
  TVantrelTextureDataType DataType = TVantrelTextureDataType::dtByte;
  TVantrelTextureWrap WrapS = TVantrelTextureWrap::Clamp;
  TVantrelTextureWrap WrapT = TVantrelTextureWrap::Clamp;
  TVantrelTextureWrap WrapR = TVantrelTextureWrap::Clamp;
  TTextureFilter MinFilter = TTextureFilter::Linear;
  TTextureFilter MagFilter = TTextureFilter::Linear;
  TAlphaColorF BorderColor;
};

// One texture of the material's pool; the texture belongs to the bitmap entry it was copied from
// and is valid until the pool is next rebuilt.
class TVantrelTexturePoolEntry : public TCollectionItem {
  RTL_CLASS(TVantrelTexturePoolEntry, TCollectionItem)
public:
  TVantrelTexturePoolEntry() = default;
  // Publishes Tiling, Texture, IsDynamic, IgnoreInArray and ShaderKind.
  static void RegisterProperties(TPropertyList& AList);

  std::string GetDisplayName() const override { return FSettings.Name; }
  void SetDisplayName(const std::string& AValue) override;
  const TVantrelPoolEntrySettings& GetSettings() const { return FSettings; }
  // The settings a bitmap entry copies in; nothing else reaches the texture entry.
  TVantrelPoolEntrySettings& GetSettingsForCopy() { return FSettings; }

  TPointF GetTiling() const { return FSettings.Tiling; }
  void SetTiling(TPointF AValue) { FSettings.Tiling = AValue; }
  TTexture* GetTexture() const { return FTexture; }
  void SetTexture(TTexture* AValue) { FTexture = AValue; }
  bool GetIsDynamic() const { return FSettings.IsDynamic; }
  void SetIsDynamic(bool AValue) { FSettings.IsDynamic = AValue; }
  bool GetIgnoreInArray() const { return FSettings.IgnoreInArray; }
  void SetIgnoreInArray(bool AValue) { FSettings.IgnoreInArray = AValue; }
  TContextShaderKind GetShaderKind() const { return FSettings.ShaderKind; }
  void SetShaderKind(TContextShaderKind AValue) { FSettings.ShaderKind = AValue; }
  TVantrelTextureKind GetTextureKind() const { return FSettings.TextureKind; }
  virtual TAlphaColor GetBorderColor() const;
  virtual void SetBorderColor(TAlphaColor AValue);
  virtual void SetPixelFormat(TVantrelTextureKind ATextureKind, TPixelFormatEx AComps, TPixelFormatEx AFormat,
                              TVantrelTextureDataType ADataType);

protected:
  void AssignTo(TPersistent* ADest) const override;

private:
  TVantrelPoolEntrySettings FSettings;
  TTexture* FTexture = nullptr;
};

// The material's texture pool, one entry per bitmap entry in the same order after every rebuild.
class TVantrelTexturePool : public TOwnedCollection {
  RTL_CLASS(TVantrelTexturePool, TOwnedCollection)
public:
  explicit TVantrelTexturePool(TPersistent* AOwner);

  TVantrelTexturePoolEntry* GetItem(int AIndex) const;
  // Nothing in the framework sets it; an application may, to declare one sampler array.
  bool GetDeclareAsArray() const { return FDeclareAsArray; }
  void SetDeclareAsArray(bool AValue) { FDeclareAsArray = AValue; }
  // The index of the first entry whose texture is ATexture, else -1.
  int IndexOfTexture(const TTexture* ATexture) const;
  // The first entry of that name (case-sensitive), else nullptr.
  TVantrelTexturePoolEntry* FindEntryByName(std::string_view AName) const;
  // Clears the pool, then adds one entry per bitmap entry in order, each bitmap first letting go of
  // its texture so that the copy takes one made anew from the bitmap.
  void RebuildFrom(const TVantrelBitmapPool& ABitmapPool);

private:
  bool FDeclareAsArray = false;
};

// One named bitmap of the source's pool. It owns its texture bitmap and hands every setting to it;
// a notifying change calls the pool's OnUpdate with the entry, which rebuilds the material.
class TVantrelBitmapPoolEntry : public TCollectionItem {
  RTL_CLASS(TVantrelBitmapPoolEntry, TCollectionItem)
public:
  TVantrelBitmapPoolEntry();
  ~TVantrelBitmapPoolEntry() override;
  // Tells the pool of the new entry, which is already in it.
  void AfterConstruction() override;
  // Publishes Name, TilingX, TilingY, IsDynamic, IgnoreInArray, ShaderKind, TextureKind, Format,
  // InternalFormat, DataType, WrapS, WrapT, WrapR, MinFilter, MagFilter, BorderColor,
  // ProtectFormatSettings and Bitmap.
  static void RegisterProperties(TPropertyList& AList);

  TVantrelBitmapPoolEntry(const TVantrelBitmapPoolEntry&) = delete;
  TVantrelBitmapPoolEntry& operator=(const TVantrelBitmapPoolEntry&) = delete;

  std::string GetDisplayName() const override { return FSettings.Name; }
  void SetDisplayName(const std::string& AValue) override;
  const std::string& GetName() const { return FSettings.Name; }
  void SetName(const std::string& AValue) { SetDisplayName(AValue); }
  const TVantrelPoolEntrySettings& GetSettings() const { return FSettings; }

  TPointF GetTiling() const { return FSettings.Tiling; }
  virtual void SetTiling(TPointF AValue);
  TVantrelTextureBitmap* GetBitmap() const { return FBitmap.get(); }
  // Copies ABitmap (image and settings) into the entry's own bitmap.
  virtual void SetBitmap(TVantrelTextureBitmap* AValue);
  virtual float GetTilingComponent(int AIndex) const;
  virtual void SetTilingComponent(int AIndex, float AValue);
  float GetTilingX() const { return GetTilingComponent(0); }
  void SetTilingX(float AValue) { SetTilingComponent(0, AValue); }
  float GetTilingY() const { return GetTilingComponent(1); }
  void SetTilingY(float AValue) { SetTilingComponent(1, AValue); }
  // Stored without notification; AddBitmap writes them directly.
  bool GetIsDynamic() const { return FSettings.IsDynamic; }
  void SetIsDynamic(bool AValue) { FSettings.IsDynamic = AValue; }
  bool GetIgnoreInArray() const { return FSettings.IgnoreInArray; }
  void SetIgnoreInArray(bool AValue) { FSettings.IgnoreInArray = AValue; }
  TContextShaderKind GetShaderKind() const { return FSettings.ShaderKind; }
  void SetShaderKind(TContextShaderKind AValue) { FSettings.ShaderKind = AValue; }

  virtual TVantrelTextureKind GetTextureKind() const { return FSettings.TextureKind; }
  virtual void SetTextureKind(TVantrelTextureKind AValue);
  virtual TPixelFormatEx GetFormat() const { return FSettings.Format; }
  virtual void SetFormat(TPixelFormatEx AValue);
  virtual TPixelFormatEx GetInternalFormat() const { return FSettings.InternalFormat; }
  // Also replaces the format by the one compatible with the new internal format.
  virtual void SetInternalFormat(TPixelFormatEx AValue);
  virtual TVantrelTextureDataType GetDataType() const { return FSettings.DataType; }
  virtual void SetDataType(TVantrelTextureDataType AValue);
  virtual TVantrelTextureWrap GetWrapS() const { return FSettings.WrapS; }
  virtual void SetWrapS(TVantrelTextureWrap AValue);
  virtual TVantrelTextureWrap GetWrapT() const { return FSettings.WrapT; }
  virtual void SetWrapT(TVantrelTextureWrap AValue);
  virtual TVantrelTextureWrap GetWrapR() const { return FSettings.WrapR; }
  virtual void SetWrapR(TVantrelTextureWrap AValue);
  virtual TTextureFilter GetMinFilter() const { return FSettings.MinFilter; }
  virtual void SetMinFilter(TTextureFilter AValue);
  virtual TTextureFilter GetMagFilter() const { return FSettings.MagFilter; }
  virtual void SetMagFilter(TTextureFilter AValue);
  virtual TAlphaColor GetBorderColor() const;
  virtual void SetBorderColor(TAlphaColor AValue);
  bool GetProtectFormatSettings() const { return FProtectFormatSettings; }
  void SetProtectFormatSettings(bool AValue);

  // The pool's OnUpdate with this entry, when the entry is in a bitmap pool.
  virtual void DoOnChange();

  // Writes tiling, flags, stage and the sampler's fields into a texture definition (anything
  // else raises EInvalidCast); name and image are the source's to store.
  virtual void StoreToDefinition(TCustomDef* ADef) const;
  // Does nothing: tiling, wrap modes and filters are stored, not restored.
  virtual void LoadFromDefinition(const TCustomDef* ADef);

  virtual void GetPixelFormat(TPixelFormatEx& AComps, TPixelFormatEx& AFormat,
                              TVantrelTextureDataType& ADataType) const;
  // Nothing when the bitmap holds an image and the three formats are the current ones (the kind
  // and the protect flag are not compared); otherwise stores all five, gives them to the bitmap in
  // one setup batch and notifies.
  virtual void SetPixelFormat(TVantrelTextureKind ATextureKind, TPixelFormatEx AComps, TPixelFormatEx AFormat,
                              TVantrelTextureDataType ADataType, bool AProtectFormatSettings);
  // The same test and stores, leaving the bitmap alone and without notification.
  virtual void SetPixelFormatNoUpdate(TVantrelTextureKind ATextureKind, TPixelFormatEx AComps,
                                      TPixelFormatEx AFormat, TVantrelTextureDataType ADataType,
                                      bool AProtectFormatSettings);

  // The bulk setters below never notify; their effect reaches the texture pool at its next rebuild.
  // One value for all three axes; the bitmap takes R for 3D, image-3D and array kinds.
  void SetTextureWrapping(TVantrelTextureWrap AWrap);
  // The bitmap takes R for 3D and image-3D kinds only.
  void SetTextureWrapping(TVantrelTextureWrap AWrapS, TVantrelTextureWrap AWrapT, TVantrelTextureWrap AWrapR);
  void SetTextureMinMagFilter(TTextureFilter AMin, TTextureFilter AMag);
  void SetExtendedProperties(TVantrelTextureWrap AWrapS, TVantrelTextureWrap AWrapT,
                             TVantrelTextureWrap AWrapR, TTextureFilter AMin, TTextureFilter AMag,
                             TAlphaColor ABorder, TTextureStyles AStyles);

protected:
  void AssignTo(TPersistent* ADest) const override;

private:
  // Stores one setting, hands it to the bitmap with the bitmap's own change events held back,
  // then notifies once.
  template <class T, class TSetter>
  void ApplySetting(T TVantrelPoolEntrySettings::*AField, T AValue, TSetter ASetter);

  TVantrelPoolEntrySettings FSettings;
  bool FProtectFormatSettings = false;
  TOwned<TVantrelTextureBitmap> FBitmap;
  // Open setup batches of the entry's own; the bitmap's change events are not relayed meanwhile.
  int FSilence = 0;

  void BitmapChanged(TObject* ASender);
  // Gives the bitmap the kind and the three formats in one setup batch, then notifies.
  void ApplyFormatsAndNotify();
  void AssignToTextureEntry(TVantrelTexturePoolEntry& ADest) const;
  void AssignToBitmapEntry(TVantrelBitmapPoolEntry& ADest) const;
};

// The source's streamed pool of named bitmaps; OnUpdate runs for every creation, rename or
// notifying change of an entry.
class TVantrelBitmapPool : public TOwnedCollection {
  RTL_CLASS(TVantrelBitmapPool, TOwnedCollection)
public:
  explicit TVantrelBitmapPool(TPersistent* AOwner);
  // Publishes DeclareAsArray and OnUpdate.
  static void RegisterProperties(TPropertyList& AList);

  TVantrelBitmapPoolEntry* GetItem(int AIndex) const;
  // The first entry of that name (case-sensitive), else nullptr.
  TVantrelBitmapPoolEntry* FindEntryByName(std::string_view AName) const;
  // Sets up the entry named AName, making it when missing, or anew when it exists with another
  // kind. The limit of 16 entries holds only when an entry must be made, so a full pool can still
  // refresh the entries it has. An empty name raises. ATexturePool (may be nullptr) is the
  // material's pool, from which a replaced entry's texture entry is removed.
  TVantrelBitmapPoolEntry* AddBitmap(std::string_view AName, TPixelFormatEx AComps, TPixelFormatEx AFormat,
                                     TVantrelTextureDataType ADataType, bool AIsDynamic, bool AIgnoreInArray,
                                     bool AProtectFormatSettings, TContextShaderKind AShaderKind,
                                     TVantrelTextureKind ATextureKind, TVantrelTexturePool* ATexturePool);
  // Frees the entry named AName and, from ATexturePool (may be nullptr), the texture entry that
  // borrows its texture. Nothing when there is no such entry.
  void RemoveBitmap(std::string_view AName, TVantrelTexturePool* ATexturePool);
  // Streamed with the pool; not passed on to the texture pool.
  bool GetDeclareAsArray() const { return FDeclareAsArray; }
  void SetDeclareAsArray(bool AValue) { FDeclareAsArray = AValue; }
  const TNotifyEvent& GetOnUpdate() const { return FOnUpdate; }
  void SetOnUpdate(const TNotifyEvent& AValue) { FOnUpdate = AValue; }

private:
  bool FDeclareAsArray = false;
  TNotifyEvent FOnUpdate;
};

} // namespace vantrel
