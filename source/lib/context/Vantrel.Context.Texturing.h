#pragma once
// GPU textures described independently of the graphics API: the extended pixel formats with their
// table, the helpers that translate formats, wrap modes and data types into API values, the
// framework's texture and its texture bitmap, which carries the same settings so that a render
// target or a loaded image can be configured before its texture exists.
//
// Five class references (the three helpers, the texture and the texture bitmap) hold the classes
// an API back end installs; until then they hold the abstract bases, whose API answers raise
// EAbstractError. Framework code creates textures and bitmaps only through them.
//
// A texture bitmap keeps a CPU pixel block only when its own 32-bit storage cannot hold its pixels.
// The block is reference-counted and shared with the textures made from the bitmap, so a texture
// keeps reading valid pixels after the bitmap reallocates or goes.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/colors.h"
#include "rtl/object.h"
#include "rtl/set.h"
#include "rtl/streams.h"
#include "rtl/typeinfo.h"
#include "ui/texture.h"
#include "ui/texture_bitmap.h"
#include "ui/types3d.h"

namespace vantrel {

// ---- Enumerations (ordinals are persisted) ------------------------------------------------------

enum class TVantrelTextureKind : uint8_t { Texture2D, Texture3D, CubeMap, ImageTexture3D, Array2D };
RTL_ENUM_TYPEINFO(TVantrelTextureKind, "Texture2D", "Texture3D", "CubeMap", "ImageTexture3D", "Array2D")

enum class TVantrelCubeMapFace : uint8_t { PositiveX, NegativeX, PositiveY, NegativeY, PositiveZ, NegativeZ };
RTL_ENUM_TYPEINFO(TVantrelCubeMapFace, "PositiveX", "NegativeX", "PositiveY", "NegativeY", "PositiveZ",
                  "NegativeZ")

enum class TVantrelTextureWrap : uint8_t { Clamp, ClampToEdge, ClampToBorder, Repeated, MirroredRepeat };
RTL_ENUM_TYPEINFO(TVantrelTextureWrap, "Clamp", "ClampToEdge", "ClampToBorder", "Repeated", "MirroredRepeat")

enum class TVantrelTextureDataType : uint8_t {
  dtByte,
  dtUnsignedByte,
  dtShort,
  dtUnsignedShort,
  dtInt,
  dtUnsignedInt,
  dtFloat,
  dtHalfFloat,
  dt2Bytes,
  dt3Bytes,
  dt4Bytes,
  dtDouble
};
RTL_ENUM_TYPEINFO(TVantrelTextureDataType, "dtByte", "dtUnsignedByte", "dtShort", "dtUnsignedShort", "dtInt",
                  "dtUnsignedInt", "dtFloat", "dtHalfFloat", "dt2Bytes", "dt3Bytes", "dt4Bytes", "dtDouble")

enum class TVantrelTextureBitmapState : uint8_t { bsCreating, bsDestroying, bsUpdating };
RTL_ENUM_TYPEINFO(TVantrelTextureBitmapState, "bsCreating", "bsDestroying", "bsUpdating")
using TVantrelTextureBitmapStates = TSet<TVantrelTextureBitmapState>;

// The first 24 values are the UI framework's TPixelFormat (17 is its A). Used both as the stored
// components of a texture (sized formats) and as the layout of pixel data (base formats).
enum class TPixelFormatEx : uint8_t {
  None,
  RGB,
  RGBA,
  BGR,
  BGRA,
  RGBA16,
  BGR_565,
  BGRA4,
  BGR4,
  BGR5_A1,
  BGR5,
  BGR10_A2,
  RGB10_A2,
  L,
  LA,
  LA4,
  L16,
  Alpha,
  R16F,
  RG16F,
  RGBA16F,
  R32F,
  RG32F,
  RGBA32F,
  R,
  R8,
  R8_SNORM,
  RedInteger,
  R8UI,
  R8I,
  R16UI,
  R16I,
  R32UI,
  R32I,
  RG,
  RG8,
  RG8_SNORM,
  RGInteger,
  RG8UI,
  RG8I,
  RG16UI,
  RG16I,
  RG32UI,
  RG32I,
  RGB8,
  SRGB8,
  RGB565,
  RGB8_SNORM,
  R11F_G11F_B10F,
  RGB9_E5,
  RGB16F,
  RGB32F,
  RGBInteger,
  RGB8UI,
  RGB8I,
  RGB16UI,
  RGB16I,
  RGB32UI,
  RGB32I,
  RGBA8,
  SRGB8_ALPHA8,
  RGBA8_SNORM,
  RGB5_A1,
  RGBA4,
  RGBAInteger,
  RGBA8UI,
  RGBA8I,
  RGB10_A2UI,
  RGBA16UI,
  RGBA16I,
  RGBA32I,
  RGBA32UI,
  StencilIndex,
  Depth,
  Depth16,
  Depth24,
  Depth32,
  Depth24Stencil8,
  Depth32Stencil8,
  DepthStencil
};
inline constexpr int PixelFormatExCount = 80;
// Names from the format table.
const TTypeInfo& RtlTypeInfo(TPixelFormatEx*);

static_assert(static_cast<int>(TPixelFormatEx::RGBA32F) == static_cast<int>(TPixelFormat::RGBA32F));
static_assert(static_cast<int>(TPixelFormatEx::DepthStencil) == PixelFormatExCount - 1);

// One row of the format table.
struct TPixelFormatExInfo {
  TPixelFormatEx Value;
  const char* Text;
  // The base format the value belongs to.
  TPixelFormatEx Format;
  TVantrelTextureDataType DataType;
  // Bytes per pixel of a sized format, component count of a base format.
  uint8_t BytesPerPixel;
  bool Integer;
  // Accepted by a texture bitmap's Format.
  bool BitmapFormat;
};

// The row of AFormat; a value above 79 gets BGRA, dtUnsignedByte, "?", 0 bytes and no flags.
const TPixelFormatExInfo& PixelFormatExInfo(TPixelFormatEx AFormat);
inline int32_t PixelFormatExBytesPerPixel(TPixelFormatEx AFormat) {
  return PixelFormatExInfo(AFormat).BytesPerPixel;
}
// Bytes of one component; a value outside the enumeration raises "failed to retrieve datatype
// size - unknown datatype".
int32_t TextureDataTypeSize(TVantrelTextureDataType ADataType);

// ---- Helpers -------------------------------------------------------------------------------------

class TPixelFormatExHelperClass : public TClass {
public:
  using TClass::TClass;
  // The API value of a format. The base raises EAbstractError.
  virtual intptr_t PlatformToValue(TPixelFormatEx AFormat) const;
  // Whether an API format value is an integer format. The base raises EAbstractError.
  virtual bool PlatformIsIntegerTexture(intptr_t AValue) const;
};

// Class functions only; never instantiated.
class TPixelFormatExHelper : public TObject {
  RTL_CLASS_META(TPixelFormatExHelper, TObject, TPixelFormatExHelperClass)
public:
  static intptr_t ToValue(TPixelFormatEx AFormat);
  static intptr_t ToValue(TPixelFormat AFormat);
  // 0 to 23 pass through; any other value raises "failed to convert to TPixelFormat: %s is only
  // valid in TPixelFormatEx".
  static TPixelFormat ToPixelFormat(TPixelFormatEx AFormat);
  static TPixelFormatEx GetCorrespondingFormat(TPixelFormatEx AFormat);
  static TVantrelTextureDataType GetCorrespondingDataType(TPixelFormatEx AFormat);
  static std::string_view ToString(TPixelFormatEx AFormat);
  static bool IsIntegerTexture(TPixelFormatEx AFormat);
  static bool IsIntegerTexture(intptr_t AValue);
  // The data layout to hand over for stored components AComp: a BGR-ordered layout becomes the
  // components' own base format where the components are RGB-ordered; any other mismatch of base
  // formats is logged and AFormat kept.
  static TPixelFormatEx CompatibleFormat(TPixelFormatEx AComp, TPixelFormatEx AFormat);

protected:
  TPixelFormatExHelper() = default;
};

class TVantrelTextureWrapHelperClass : public TClass {
public:
  using TClass::TClass;
  // The base raises EAbstractError.
  virtual intptr_t PlatformToValue(TVantrelTextureWrap AType) const;
};

class TVantrelTextureWrapHelper : public TObject {
  RTL_CLASS_META(TVantrelTextureWrapHelper, TObject, TVantrelTextureWrapHelperClass)
public:
  static intptr_t ToValue(TVantrelTextureWrap AType);

protected:
  TVantrelTextureWrapHelper() = default;
};

class TVantrelTextureDataTypeHelperClass : public TClass {
public:
  using TClass::TClass;
  // The base raises EAbstractError.
  virtual intptr_t PlatformToValue(TVantrelTextureDataType AType) const;
};

class TVantrelTextureDataTypeHelper : public TObject {
  RTL_CLASS_META(TVantrelTextureDataTypeHelper, TObject, TVantrelTextureDataTypeHelperClass)
public:
  static intptr_t ToValue(TVantrelTextureDataType AType);
  // "Byte", "UnsignedByte", … "Double"; "?" for other values.
  static std::string_view ToString(TVantrelTextureDataType AType);

protected:
  TVantrelTextureDataTypeHelper() = default;
};

// Trimmed and lower-cased: "clamp", "clamp_to_edge", "clamp_to_border", "repeat",
// "mirrored_repeat"; any other text gives ClampToEdge.
TVantrelTextureWrap StringToTextureWrap(std::string_view AText);

// ---- Texture -------------------------------------------------------------------------------------

class TVantrelTextureBitmap;

// The shared CPU pixel block of a texture bitmap and the textures made from it.
using TPixelBlock = std::shared_ptr<uint8_t[]>;

class TVantrelTexture : public TTexture {
  RTL_CLASS(TVantrelTexture, TTexture)
public:
  // An instance of the installed texture class. The caller owns it.
  static TVantrelTexture* Create();

  TVantrelTextureKind GetKind() const { return FKind; }
  void SetKind(TVantrelTextureKind AValue) { FKind = AValue; }
  // Below 0 means unit 0.
  int32_t GetTextureUnit() const { return FTextureUnit; }
  void SetTextureUnit(int32_t AValue) { FTextureUnit = AValue; }
  TPixelFormatEx GetComponents() const { return FComponents; }
  void SetComponents(TPixelFormatEx AValue) { FComponents = AValue; }
  TPixelFormatEx GetFormat() const { return FFormat; }
  void SetFormat(TPixelFormatEx AValue) { FFormat = AValue; }
  TVantrelTextureDataType GetDataType() const { return FDataType; }
  void SetDataType(TVantrelTextureDataType AValue) { FDataType = AValue; }
  TVantrelTextureWrap GetWrapS() const { return FWrapS; }
  void SetWrapS(TVantrelTextureWrap AValue) { FWrapS = AValue; }
  TVantrelTextureWrap GetWrapT() const { return FWrapT; }
  void SetWrapT(TVantrelTextureWrap AValue) { FWrapT = AValue; }
  TVantrelTextureWrap GetWrapR() const { return FWrapR; }
  void SetWrapR(TVantrelTextureWrap AValue) { FWrapR = AValue; }
  const TAlphaColorF& GetBorderColor() const { return FBorderColor; }
  void SetBorderColor(const TAlphaColorF& AValue) { FBorderColor = AValue; }
  // Depth of 3D textures, layer count of 2D arrays.
  int32_t GetDepth() const { return FDepth; }
  void SetDepth(int32_t AValue) { FDepth = AValue; }
  // The framework's own styles, which the UI framework's assignment does not overwrite; uploads
  // use the union with Style.
  TTextureStyles GetStyleEx() const { return FStyleEx; }
  void SetStyleEx(TTextureStyles AValue) { FStyleEx = AValue; }
  bool GetImageAccessable() const { return FImageAccessable; }
  void SetImageAccessable(bool AValue) { FImageAccessable = AValue; }
  int32_t GetMipMapLevels() const { return FMipMapLevels; }
  void SetMipMapLevels(int32_t AValue) { FMipMapLevels = AValue; }
  int32_t GetCurrentMipMapLevel() const { return FCurrentMipMapLevel; }
  void SetCurrentMipMapLevel(int32_t AValue) { FCurrentMipMapLevel = AValue; }
  TVantrelCubeMapFace GetAttachedCubeMapFace() const { return FAttachedCubeMapFace; }
  void SetAttachedCubeMapFace(TVantrelCubeMapFace AValue) { FAttachedCubeMapFace = AValue; }

  // The pixel block taken from a texture bitmap; nullptr and 0 when there is none.
  uint8_t* GetBuffer() const { return FBuffer.get(); }
  int64_t GetBufferSize() const { return FBufferSize; }
  const TPixelBlock& GetSharedBuffer() const { return FBuffer; }
  void SetBuffer(TPixelBlock ABuffer, int64_t ASize);

  // The API values of Components, of CompatibleFormat(Components, Format) and of DataType.
  void GetFormatAndType(uint32_t& AComps, uint32_t& AFormat, uint32_t& ADataType) const;

  // From a texture or a texture bitmap of the framework: their settings and pixel block, then the
  // UI framework's assignment, which for a bitmap makes the GPU object and uploads the pixels.
  void Assign(const TPersistent* ASource) override;

  // The binding query and the target of Kind.
  virtual void GetBindingAndKind(uint32_t& ABinding, uint32_t& AKind) const = 0;
  // Fills the texture with zeros; nothing without a GPU object.
  virtual void Clear() = 0;
  virtual void GenerateMipMap() = 0;
  // Reads level ALevel into ABytes (ASize bytes). False, with ABytes empty and ASize 0, without a
  // GPU object.
  virtual bool RequestTextureData(std::vector<uint8_t>& ABytes, int64_t& ASize, int32_t ALevel) = 0;

protected:
  TVantrelTexture() = default;

private:
  void AssignTexture(const TVantrelTexture& ASource);
  void AssignBitmap(const TVantrelTextureBitmap& ASource);

  TVantrelTextureKind FKind = TVantrelTextureKind::Texture2D;
  int32_t FTextureUnit = -1;
  TPixelFormatEx FComponents = TPixelFormatEx::RGBA8;
  TPixelFormatEx FFormat = TPixelFormatEx::BGRA;
  TVantrelTextureDataType FDataType = TVantrelTextureDataType::dtUnsignedByte;
  TVantrelTextureWrap FWrapS = TVantrelTextureWrap::Repeated;
  TVantrelTextureWrap FWrapT = TVantrelTextureWrap::Repeated;
  TVantrelTextureWrap FWrapR = TVantrelTextureWrap::Repeated;
  TAlphaColorF FBorderColor{};
  int32_t FDepth = 0;
  TTextureStyles FStyleEx;
  bool FImageAccessable = false;
  int32_t FMipMapLevels = 0;
  int32_t FCurrentMipMapLevel = 0;
  TVantrelCubeMapFace FAttachedCubeMapFace = TVantrelCubeMapFace::PositiveX;
  TPixelBlock FBuffer;
  int64_t FBufferSize = 0;
};

// ---- Texture bitmap ------------------------------------------------------------------------------

class TVantrelTextureBitmap : public TTextureBitmap {
  RTL_CLASS(TVantrelTextureBitmap, TTextureBitmap)
public:
  // An instance of the installed texture-bitmap class, empty or of the given size. The caller
  // owns it.
  static TVantrelTextureBitmap* Create();
  static TVantrelTextureBitmap* Create(int32_t AWidth, int32_t AHeight);

  TVantrelTextureKind GetKind() const { return FKind; }
  void SetKind(TVantrelTextureKind AValue) { FKind = AValue; }
  TPixelFormatEx GetComponents() const { return FComponents; }
  void SetComponents(TPixelFormatEx AValue);
  TPixelFormatEx GetFormat() const { return FFormat; }
  // Only base formats (the table's bitmap column); any other value raises "invalid texture
  // format" and changes nothing. The bitmap's storage is made anew with the format as its tag.
  void SetFormat(TPixelFormatEx AValue);
  TTextureFilter GetMinFilter() const { return FMinFilter; }
  void SetMinFilter(TTextureFilter AValue) { FMinFilter = AValue; }
  TTextureFilter GetMagFilter() const { return FMagFilter; }
  void SetMagFilter(TTextureFilter AValue) { FMagFilter = AValue; }
  TVantrelTextureWrap GetWrapS() const { return FWrapS; }
  void SetWrapS(TVantrelTextureWrap AValue) { FWrapS = AValue; }
  TVantrelTextureWrap GetWrapT() const { return FWrapT; }
  void SetWrapT(TVantrelTextureWrap AValue) { FWrapT = AValue; }
  TVantrelTextureWrap GetWrapR() const { return FWrapR; }
  void SetWrapR(TVantrelTextureWrap AValue) { FWrapR = AValue; }
  TVantrelTextureDataType GetDataType() const { return FDataType; }
  void SetDataType(TVantrelTextureDataType AValue);
  TTextureStyles GetStyle() const { return FStyle; }
  void SetStyle(TTextureStyles AValue) { FStyle = AValue; }
  const TAlphaColorF& GetBorderColor() const { return FBorderColor; }
  void SetBorderColor(const TAlphaColorF& AValue) { FBorderColor = AValue; }
  int32_t GetDepth() const { return FDepth; }
  void SetDepth(int32_t AValue) { FDepth = AValue; }
  TVantrelCubeMapFace GetAttachedCubeMapFace() const { return FAttachedCubeMapFace; }
  // Also sets the face on the texture, when there is (or can be made) one.
  void SetAttachedCubeMapFace(TVantrelCubeMapFace AValue);
  // When set, Assign leaves Components, Format and DataType alone.
  bool GetProtectFormatSettings() const { return FProtectFormatSettings; }
  void SetProtectFormatSettings(bool AValue) { FProtectFormatSettings = AValue; }
  int32_t GetMipMapLevels() const { return FMipMapLevels; }
  void SetMipMapLevels(int32_t AValue) { FMipMapLevels = AValue; }

  // Nothing is ever compressed: the flag reads False, its setter ignores the value, there is no
  // compressed data, and Recompress and Decompress only pass through the bitmap's monitor.
  bool GetIsCompressed() const { return false; }
  void SetIsCompressed(bool) {}
  TMemoryStream* GetCompressedData() const { return nullptr; }
  void Recompress();
  void Decompress();
  void ClearAfterCompression() {}

  // The CPU pixel block, shared with the textures made from this bitmap.
  uint8_t* GetBuffer() const { return FBuffer.get(); }
  int64_t GetBufferSize() const { return FBufferSize; }
  const TPixelBlock& GetSharedBuffer() const { return FBuffer; }

  // The texture as the framework's texture; made through the context when there is none.
  TVantrelTexture* VantrelTexture();
  // The held texture when it has a GPU object, else nullptr.
  TTexture* GetTextureReference() const;
  // Lets go of the held texture (see DestroyResources) and holds ATexture instead, shared with
  // every bitmap that holds it.
  void SetTextureReference(TTexture* ATexture);
  void UnsetTextureReference() { SetTextureReference(nullptr); }

  // Setup batches nest; the CPU block is sized once, at the outermost EndSetup. An EndSetup
  // without BeginSetup does not allocate.
  void BeginSetup();
  void EndSetup();
  void ValidateBuffer() { AllocateBuffer(); }
  void Set3DSize(int32_t AWidth, int32_t AHeight, int32_t ADepth);
  // Makes the bitmap's storage anew, tagged AValue.
  void SetPixelFormat(TPixelFormatEx AValue);
  // ATexture's own settings when it is a framework texture, else those of RGBA8, BGRA and
  // dtUnsignedByte.
  void GetFormatAndType(const TTexture* ATexture, uint32_t& AComps, uint32_t& AFormat,
                        uint32_t& ADataType) const;

  // Uploads ABitmap as face ASide of this cube map: through its framework texture when it is a
  // framework bitmap with a pixel block, else from its mapped pixels. Nothing unless this bitmap
  // is a cube map and ABitmap a texture bitmap.
  void UpdateCubeMapFace(TVantrelCubeMapFace ASide, TBitmap* ABitmap);
  // Uploads ATexture's pixels (its pixel block, else ABits) as face ASide; cube maps only.
  virtual void UpdateCubeMapFace(TVantrelCubeMapFace ASide, TTexture* ATexture, const void* ABits,
                                 int32_t APitch) = 0;
  // Uploads a whole image of ASize bytes at ABuffer; nothing for cube maps.
  virtual void UpdateBuffer(const void* ABuffer, int64_t ASize) = 0;
  // Uploads layer ASlice of a 3D or array texture from ASize bytes at ABuffer.
  virtual void Update3DSlice(int32_t ASlice, const void* ABuffer, int64_t ASize) = 0;

  // From a framework bitmap: kind, formats (unless protected), filters, wraps, border, depth,
  // face, style and mipmap levels; from a framework texture the same from its settings; from
  // another UI texture its Style. The UI framework's bitmap assignment follows.
  void Assign(const TPersistent* ASource) override;
  // Frees the texture only while the bitmap is being destroyed or its canvas is not in a scene.
  void DestroyResources() override;
  // Marks the bitmap as destroying and releases its pixel block before the texture goes.
  void BeforeDestruction() override;

protected:
  TVantrelTextureBitmap() = default;

  virtual void AllocateBuffer();
  virtual void ReleaseBuffer();
  virtual void InitializeHandle(TPixelFormatEx APixelFormat);
  virtual void FinalizeHandle();

private:
  void AssignFormatSettings(TPixelFormatEx AComponents, TPixelFormatEx AFormat,
                            TVantrelTextureDataType AType);

  TVantrelTextureBitmapStates FBitmapStates;
  TVantrelTextureKind FKind = TVantrelTextureKind::Texture2D;
  TPixelFormatEx FComponents = TPixelFormatEx::RGBA8;
  TPixelFormatEx FFormat = TPixelFormatEx::BGRA;
  TTextureFilter FMinFilter = TTextureFilter::Linear;
  TTextureFilter FMagFilter = TTextureFilter::Linear;
  TVantrelTextureWrap FWrapS = TVantrelTextureWrap::ClampToEdge;
  TVantrelTextureWrap FWrapT = TVantrelTextureWrap::ClampToEdge;
  TVantrelTextureWrap FWrapR = TVantrelTextureWrap::ClampToEdge;
  TVantrelTextureDataType FDataType = TVantrelTextureDataType::dtUnsignedByte;
  TTextureStyles FStyle;
  TAlphaColorF FBorderColor{};
  int32_t FDepth = 0;
  TVantrelCubeMapFace FAttachedCubeMapFace = TVantrelCubeMapFace::PositiveX;
  bool FProtectFormatSettings = false;
  int32_t FSettingUp = 0;
  int32_t FMipMapLevels = 0;
  TPixelBlock FBuffer;
  int64_t FBufferSize = 0;
};

// ---- Class references ----------------------------------------------------------------------------

TPixelFormatExHelperClass& PixelFormatExHelperClass();
TVantrelTextureWrapHelperClass& TextureWrapHelperClass();
TVantrelTextureDataTypeHelperClass& TextureDataTypeHelperClass();
TClass& VantrelTextureClass();
TClass& VantrelTextureBitmapClass();

// Installs the five classes at once; nullptr for any of them restores its abstract base. A
// texture or bitmap class that does not descend from its base raises EInvalidCast.
struct TTexturingClasses {
  TPixelFormatExHelperClass* PixelFormatExHelper = nullptr;
  TVantrelTextureWrapHelperClass* TextureWrapHelper = nullptr;
  TVantrelTextureDataTypeHelperClass* TextureDataTypeHelper = nullptr;
  TClass* Texture = nullptr;
  TClass* TextureBitmap = nullptr;
};
void SetTexturingClasses(const TTexturingClasses& AClasses);

inline constexpr std::string_view SFailedToConvertToPixelFormat =
    "failed to convert to TPixelFormat: %s is only valid in TPixelFormatEx";
inline constexpr std::string_view SCompatibleFormatIgnored =
    "TPixelFormatExHelper.CompatibleFormat failed, but ignored:\r\n%s (given) <> %s (expected) "
    "(expected basis formats is different)";
inline constexpr std::string_view SUnknownDataType = "failed to retrieve datatype size - unknown datatype";
inline constexpr std::string_view SInvalidTextureFormat = "invalid texture format";

} // namespace vantrel
