#include "context/Vantrel.Context.Texturing.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <iterator>

#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "rtl/sync.h"
#include "rtl/sysutils.h"
#include "ui/context3d.h"

namespace vantrel {

RTL_DEFINE_CLASS_META(TPixelFormatExHelper, "Vantrel.Context.Texturing", TPixelFormatExHelperClass)
RTL_DEFINE_CLASS_META(TVantrelTextureWrapHelper, "Vantrel.Context.Texturing", TVantrelTextureWrapHelperClass)
RTL_DEFINE_CLASS_META(TVantrelTextureDataTypeHelper, "Vantrel.Context.Texturing",
                      TVantrelTextureDataTypeHelperClass)
RTL_DEFINE_CLASS(TVantrelTexture, "Vantrel.Context.Texturing")
RTL_DEFINE_CLASS(TVantrelTextureBitmap, "Vantrel.Context.Texturing")

namespace {

using enum TPixelFormatEx;

// clang-format off
constexpr TPixelFormatExInfo PixelFormatExTable[] = {
    {TPixelFormatEx::None, "None", TPixelFormatEx::None, TVantrelTextureDataType::dtUnsignedByte, 0, false, false},
    {TPixelFormatEx::RGB, "RGB", TPixelFormatEx::RGB, TVantrelTextureDataType::dtUnsignedByte, 3, false, true},
    {TPixelFormatEx::RGBA, "RGBA", TPixelFormatEx::RGBA, TVantrelTextureDataType::dtUnsignedByte, 4, false, true},
    {TPixelFormatEx::BGR, "BGR", TPixelFormatEx::BGR, TVantrelTextureDataType::dtUnsignedByte, 3, false, true},
    {TPixelFormatEx::BGRA, "BGRA", TPixelFormatEx::BGRA, TVantrelTextureDataType::dtUnsignedByte, 4, false, true},
    {TPixelFormatEx::RGBA16, "RGBA16", TPixelFormatEx::RGBA, TVantrelTextureDataType::dtUnsignedShort, 8, false, false},
    {TPixelFormatEx::BGR_565, "BGR_565", TPixelFormatEx::BGR, TVantrelTextureDataType::dtUnsignedByte, 2, false, false},
    {TPixelFormatEx::BGRA4, "BGRA4", TPixelFormatEx::BGRA, TVantrelTextureDataType::dtUnsignedByte, 2, false, false},
    {TPixelFormatEx::BGR4, "BGR4", TPixelFormatEx::BGR, TVantrelTextureDataType::dtUnsignedByte, 2, false, false},
    {TPixelFormatEx::BGR5_A1, "BGR5_A1", TPixelFormatEx::BGRA, TVantrelTextureDataType::dtUnsignedByte, 2, false, false},
    {TPixelFormatEx::BGR5, "BGR5", TPixelFormatEx::BGR, TVantrelTextureDataType::dtUnsignedByte, 2, false, false},
    {TPixelFormatEx::BGR10_A2, "BGR10_A2", TPixelFormatEx::BGRA, TVantrelTextureDataType::dtUnsignedInt, 4, false, false},
    {TPixelFormatEx::RGB10_A2, "RGB10_A2", TPixelFormatEx::RGBA, TVantrelTextureDataType::dtUnsignedInt, 4, false, false},
    {TPixelFormatEx::L, "L", TPixelFormatEx::L, TVantrelTextureDataType::dtUnsignedByte, 1, false, true},
    {TPixelFormatEx::LA, "LA", TPixelFormatEx::LA, TVantrelTextureDataType::dtUnsignedByte, 2, false, true},
    {TPixelFormatEx::LA4, "LA4", TPixelFormatEx::LA4, TVantrelTextureDataType::dtUnsignedByte, 1, false, false},
    {TPixelFormatEx::L16, "L16", TPixelFormatEx::L16, TVantrelTextureDataType::dtUnsignedShort, 2, false, false},
    {TPixelFormatEx::Alpha, "Alpha", TPixelFormatEx::Alpha, TVantrelTextureDataType::dtUnsignedByte, 1, false, true},
    {TPixelFormatEx::R16F, "R16F", TPixelFormatEx::R, TVantrelTextureDataType::dtHalfFloat, 2, false, false},
    {TPixelFormatEx::RG16F, "RG16F", TPixelFormatEx::RG, TVantrelTextureDataType::dtHalfFloat, 4, false, false},
    {TPixelFormatEx::RGBA16F, "RGBA16F", TPixelFormatEx::RGBA, TVantrelTextureDataType::dtHalfFloat, 8, false, false},
    {TPixelFormatEx::R32F, "R32F", TPixelFormatEx::R, TVantrelTextureDataType::dtFloat, 4, false, false},
    {TPixelFormatEx::RG32F, "RG32F", TPixelFormatEx::RG, TVantrelTextureDataType::dtFloat, 8, false, false},
    {TPixelFormatEx::RGBA32F, "RGBA32F", TPixelFormatEx::RGBA, TVantrelTextureDataType::dtFloat, 16, false, false},
    {TPixelFormatEx::R, "R", TPixelFormatEx::R, TVantrelTextureDataType::dtUnsignedByte, 1, false, true},
    {TPixelFormatEx::R8, "R8", TPixelFormatEx::R, TVantrelTextureDataType::dtUnsignedByte, 1, false, false},
    {TPixelFormatEx::R8_SNORM, "R8_SNORM", TPixelFormatEx::R, TVantrelTextureDataType::dtByte, 1, false, false},
    {TPixelFormatEx::RedInteger, "RedInteger", TPixelFormatEx::RedInteger, TVantrelTextureDataType::dtInt, 1, true, true},
    {TPixelFormatEx::R8UI, "R8UI", TPixelFormatEx::RedInteger, TVantrelTextureDataType::dtUnsignedByte, 1, true, false},
    {TPixelFormatEx::R8I, "R8I", TPixelFormatEx::RedInteger, TVantrelTextureDataType::dtByte, 1, true, false},
    {TPixelFormatEx::R16UI, "R16UI", TPixelFormatEx::RedInteger, TVantrelTextureDataType::dtUnsignedShort, 2, true, false},
    {TPixelFormatEx::R16I, "R16I", TPixelFormatEx::RedInteger, TVantrelTextureDataType::dtShort, 2, true, false},
    {TPixelFormatEx::R32UI, "R32UI", TPixelFormatEx::RedInteger, TVantrelTextureDataType::dtUnsignedInt, 4, true, false},
    {TPixelFormatEx::R32I, "R32I", TPixelFormatEx::RedInteger, TVantrelTextureDataType::dtInt, 4, true, false},
    {TPixelFormatEx::RG, "RG", TPixelFormatEx::RG, TVantrelTextureDataType::dtUnsignedByte, 2, false, true},
    {TPixelFormatEx::RG8, "RG8", TPixelFormatEx::RG, TVantrelTextureDataType::dtUnsignedByte, 2, false, false},
    {TPixelFormatEx::RG8_SNORM, "RG8_SNORM", TPixelFormatEx::RG, TVantrelTextureDataType::dtByte, 2, false, false},
    {TPixelFormatEx::RGInteger, "RGInteger", TPixelFormatEx::RGInteger, TVantrelTextureDataType::dtInt, 2, true, true},
    {TPixelFormatEx::RG8UI, "RG8UI", TPixelFormatEx::RGInteger, TVantrelTextureDataType::dtUnsignedByte, 2, true, false},
    {TPixelFormatEx::RG8I, "RG8I", TPixelFormatEx::RGInteger, TVantrelTextureDataType::dtByte, 2, true, false},
    {TPixelFormatEx::RG16UI, "RG16UI", TPixelFormatEx::RGInteger, TVantrelTextureDataType::dtUnsignedShort, 4, true, false},
    {TPixelFormatEx::RG16I, "RG16I", TPixelFormatEx::RGInteger, TVantrelTextureDataType::dtShort, 4, true, false},
    {TPixelFormatEx::RG32UI, "RG32UI", TPixelFormatEx::RGInteger, TVantrelTextureDataType::dtUnsignedInt, 8, true, false},
    {TPixelFormatEx::RG32I, "RG32I", TPixelFormatEx::RGInteger, TVantrelTextureDataType::dtInt, 8, true, false},
    {TPixelFormatEx::RGB8, "RGB8", TPixelFormatEx::BGR, TVantrelTextureDataType::dtUnsignedByte, 3, false, false},
    {TPixelFormatEx::SRGB8, "SRGB8", TPixelFormatEx::RGB, TVantrelTextureDataType::dtUnsignedByte, 3, false, false},
    {TPixelFormatEx::RGB565, "RGB565", TPixelFormatEx::RGB, TVantrelTextureDataType::dtUnsignedByte, 2, false, false},
    {TPixelFormatEx::RGB8_SNORM, "RGB8_SNORM", TPixelFormatEx::RGB, TVantrelTextureDataType::dtByte, 3, false, false},
    {TPixelFormatEx::R11F_G11F_B10F, "R11F_G11F_B10F", TPixelFormatEx::RGB, TVantrelTextureDataType::dtHalfFloat, 4, false, false},
    {TPixelFormatEx::RGB9_E5, "RGB9_E5", TPixelFormatEx::RGB, TVantrelTextureDataType::dtFloat, 4, false, false},
    {TPixelFormatEx::RGB16F, "RGB16F", TPixelFormatEx::RGB, TVantrelTextureDataType::dtHalfFloat, 6, false, false},
    {TPixelFormatEx::RGB32F, "RGB32F", TPixelFormatEx::RGB, TVantrelTextureDataType::dtFloat, 12, false, false},
    {TPixelFormatEx::RGBInteger, "RGBInteger", TPixelFormatEx::RGBInteger, TVantrelTextureDataType::dtInt, 3, true, true},
    {TPixelFormatEx::RGB8UI, "RGB8UI", TPixelFormatEx::RGBInteger, TVantrelTextureDataType::dtUnsignedByte, 3, true, false},
    {TPixelFormatEx::RGB8I, "RGB8I", TPixelFormatEx::RGBInteger, TVantrelTextureDataType::dtByte, 3, true, false},
    {TPixelFormatEx::RGB16UI, "RGB16UI", TPixelFormatEx::RGBInteger, TVantrelTextureDataType::dtUnsignedShort, 6, true, false},
    {TPixelFormatEx::RGB16I, "RGB16I", TPixelFormatEx::RGBInteger, TVantrelTextureDataType::dtShort, 6, true, false},
    {TPixelFormatEx::RGB32UI, "RGB32UI", TPixelFormatEx::RGBInteger, TVantrelTextureDataType::dtUnsignedInt, 12, true, false},
    {TPixelFormatEx::RGB32I, "RGB32I", TPixelFormatEx::RGBInteger, TVantrelTextureDataType::dtInt, 12, true, false},
    {TPixelFormatEx::RGBA8, "RGBA8", TPixelFormatEx::BGRA, TVantrelTextureDataType::dtUnsignedByte, 4, false, false},
    {TPixelFormatEx::SRGB8_ALPHA8, "SRGB8_ALPHA8", TPixelFormatEx::RGBA, TVantrelTextureDataType::dtUnsignedByte, 4, false, false},
    {TPixelFormatEx::RGBA8_SNORM, "RGBA8_SNORM", TPixelFormatEx::RGBA, TVantrelTextureDataType::dtByte, 4, false, false},
    {TPixelFormatEx::RGB5_A1, "RGB5_A1", TPixelFormatEx::RGBA, TVantrelTextureDataType::dtUnsignedByte, 2, false, false},
    {TPixelFormatEx::RGBA4, "RGBA4", TPixelFormatEx::RGBA, TVantrelTextureDataType::dtUnsignedByte, 2, false, false},
    {TPixelFormatEx::RGBAInteger, "RGBAInteger", TPixelFormatEx::RGBAInteger, TVantrelTextureDataType::dtInt, 4, true, true},
    {TPixelFormatEx::RGBA8UI, "RGBA8UI", TPixelFormatEx::RGBAInteger, TVantrelTextureDataType::dtUnsignedByte, 4, true, false},
    {TPixelFormatEx::RGBA8I, "RGBA8I", TPixelFormatEx::RGBAInteger, TVantrelTextureDataType::dtByte, 4, true, false},
    {TPixelFormatEx::RGB10_A2UI, "RGB10_A2UI", TPixelFormatEx::RGBAInteger, TVantrelTextureDataType::dtUnsignedInt, 4, true, false},
    {TPixelFormatEx::RGBA16UI, "RGBA16UI", TPixelFormatEx::RGBAInteger, TVantrelTextureDataType::dtUnsignedShort, 8, true, false},
    {TPixelFormatEx::RGBA16I, "RGBA16I", TPixelFormatEx::RGBAInteger, TVantrelTextureDataType::dtShort, 8, true, false},
    {TPixelFormatEx::RGBA32I, "RGBA32I", TPixelFormatEx::RGBAInteger, TVantrelTextureDataType::dtUnsignedInt, 16, true, false},
    {TPixelFormatEx::RGBA32UI, "RGBA32UI", TPixelFormatEx::RGBAInteger, TVantrelTextureDataType::dtInt, 16, true, false},
    {TPixelFormatEx::StencilIndex, "StencilIndex", TPixelFormatEx::StencilIndex, TVantrelTextureDataType::dtUnsignedByte, 4, false, true},
    {TPixelFormatEx::Depth, "Depth", TPixelFormatEx::Depth, TVantrelTextureDataType::dtUnsignedByte, 1, false, true},
    {TPixelFormatEx::Depth16, "Depth16", TPixelFormatEx::Depth, TVantrelTextureDataType::dtUnsignedShort, 2, false, false},
    {TPixelFormatEx::Depth24, "Depth24", TPixelFormatEx::Depth, TVantrelTextureDataType::dtUnsignedInt, 3, false, false},
    {TPixelFormatEx::Depth32, "Depth32", TPixelFormatEx::Depth, TVantrelTextureDataType::dtFloat, 4, false, false},
    {TPixelFormatEx::Depth24Stencil8, "Depth24Stencil8", TPixelFormatEx::DepthStencil, TVantrelTextureDataType::dtUnsignedInt, 4, false, false},
    {TPixelFormatEx::Depth32Stencil8, "Depth32Stencil8", TPixelFormatEx::DepthStencil, TVantrelTextureDataType::dtFloat, 5, false, false},
    {TPixelFormatEx::DepthStencil, "DepthStencil", TPixelFormatEx::DepthStencil, TVantrelTextureDataType::dtUnsignedInt, 1, false, true},
};
// clang-format on
static_assert(std::size(PixelFormatExTable) == PixelFormatExCount);

constexpr bool TableIsInOrdinalOrder() {
  for (int i = 0; i < PixelFormatExCount; ++i)
    if (static_cast<int>(PixelFormatExTable[i].Value) != i)
      return false;
  return true;
}
static_assert(TableIsInOrdinalOrder());

constexpr TPixelFormatExInfo UnknownPixelFormat{
    TPixelFormatEx(PixelFormatExCount), "?", BGRA, TVantrelTextureDataType::dtUnsignedByte, 0, false, false};

constexpr int32_t DataTypeSizes[] = {1, 1, 2, 2, 4, 4, 4, 2, 2, 3, 4, 8};
constexpr std::string_view DataTypeNames[] = {"Byte",   "UnsignedByte", "Short",  "UnsignedShort",
                                              "Int",    "UnsignedInt",  "Float",  "HalfFloat",
                                              "2Bytes", "3Bytes",       "4Bytes", "Double"};
static_assert(std::size(DataTypeSizes) == size_t(TVantrelTextureDataType::dtDouble) + 1);
static_assert(std::size(DataTypeNames) == std::size(DataTypeSizes));

// Stored formats whose components are in RGB order, so BGR-ordered data must be handed over in
// their own base format.
bool IsRGBOrderedComponents(TPixelFormatEx AComp) {
  switch (AComp) {
  case RGB:
  case RGBA:
  case RGBA16:
  case RGB10_A2:
  case RGBA16F:
  case RGBA32F:
    return true;
  default:
    return (AComp >= RGB8 && AComp <= RGB32I) || (AComp >= RGBA8 && AComp <= RGBA32UI);
  }
}

struct TInstalledClasses {
  TPixelFormatExHelperClass* PixelFormatExHelper = nullptr;
  TVantrelTextureWrapHelperClass* TextureWrapHelper = nullptr;
  TVantrelTextureDataTypeHelperClass* TextureDataTypeHelper = nullptr;
  TClass* Texture = nullptr;
  TClass* TextureBitmap = nullptr;
};
TInstalledClasses Installed;

[[noreturn]] void RaiseAbstract() {
  throw EAbstractError(rtl::messages::AbstractError);
}

TClass* CheckedDescendant(TClass* AClass, TClass& ABase) {
  if (AClass && !AClass->InheritsFrom(ABase))
    throw EInvalidCast(rtl::messages::InvalidCast);
  return AClass;
}

// Removes bsUpdating when the scope ends, also on an exception.
class TUpdatingScope {
public:
  explicit TUpdatingScope(TVantrelTextureBitmapStates& AStates) : FStates(AStates) {
    FStates.Include(TVantrelTextureBitmapState::bsUpdating);
  }
  ~TUpdatingScope() { FStates.Exclude(TVantrelTextureBitmapState::bsUpdating); }
  TUpdatingScope(const TUpdatingScope&) = delete;
  TUpdatingScope& operator=(const TUpdatingScope&) = delete;

private:
  TVantrelTextureBitmapStates& FStates;
};

} // namespace

// ---- Format table --------------------------------------------------------------------------------

const TPixelFormatExInfo& PixelFormatExInfo(TPixelFormatEx AFormat) {
  const auto ordinal = static_cast<size_t>(AFormat);
  return ordinal < std::size(PixelFormatExTable) ? PixelFormatExTable[ordinal] : UnknownPixelFormat;
}

const TTypeInfo& RtlTypeInfo(TPixelFormatEx*) {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> result;
    for (const TPixelFormatExInfo& row : PixelFormatExTable)
      result.emplace_back(row.Text);
    return result;
  }();
  static const TTypeInfo info{"TPixelFormatEx", TTypeKind::tkEnumeration, sizeof(TPixelFormatEx), false,
                              &names};
  return info;
}

int32_t TextureDataTypeSize(TVantrelTextureDataType ADataType) {
  const auto ordinal = static_cast<size_t>(ADataType);
  if (ordinal >= std::size(DataTypeSizes))
    throw Exception(std::string(SUnknownDataType));
  return DataTypeSizes[ordinal];
}

// ---- Helpers -------------------------------------------------------------------------------------

intptr_t TPixelFormatExHelperClass::PlatformToValue(TPixelFormatEx) const {
  RaiseAbstract();
}
bool TPixelFormatExHelperClass::PlatformIsIntegerTexture(intptr_t) const {
  RaiseAbstract();
}
intptr_t TVantrelTextureWrapHelperClass::PlatformToValue(TVantrelTextureWrap) const {
  RaiseAbstract();
}
intptr_t TVantrelTextureDataTypeHelperClass::PlatformToValue(TVantrelTextureDataType) const {
  RaiseAbstract();
}

intptr_t TPixelFormatExHelper::ToValue(TPixelFormatEx AFormat) {
  return PixelFormatExHelperClass().PlatformToValue(AFormat);
}

intptr_t TPixelFormatExHelper::ToValue(TPixelFormat AFormat) {
  return ToValue(static_cast<TPixelFormatEx>(AFormat));
}

TPixelFormat TPixelFormatExHelper::ToPixelFormat(TPixelFormatEx AFormat) {
  if (static_cast<int>(AFormat) > static_cast<int>(TPixelFormat::RGBA32F))
    throw Exception(Format(SFailedToConvertToPixelFormat, ToString(AFormat)));
  return static_cast<TPixelFormat>(AFormat);
}

TPixelFormatEx TPixelFormatExHelper::GetCorrespondingFormat(TPixelFormatEx AFormat) {
  return PixelFormatExInfo(AFormat).Format;
}

TVantrelTextureDataType TPixelFormatExHelper::GetCorrespondingDataType(TPixelFormatEx AFormat) {
  return PixelFormatExInfo(AFormat).DataType;
}

std::string_view TPixelFormatExHelper::ToString(TPixelFormatEx AFormat) {
  return PixelFormatExInfo(AFormat).Text;
}

bool TPixelFormatExHelper::IsIntegerTexture(TPixelFormatEx AFormat) {
  return PixelFormatExInfo(AFormat).Integer;
}

bool TPixelFormatExHelper::IsIntegerTexture(intptr_t AValue) {
  return PixelFormatExHelperClass().PlatformIsIntegerTexture(AValue);
}

TPixelFormatEx TPixelFormatExHelper::CompatibleFormat(TPixelFormatEx AComp, TPixelFormatEx AFormat) {
  if (AFormat != BGR && AFormat != BGRA)
    return AFormat;
  const TPixelFormatEx expected = GetCorrespondingFormat(AComp);
  if (IsRGBOrderedComponents(AComp))
    return expected;
  if (expected != AFormat)
    Log::d(Format(SCompatibleFormatIgnored, ToString(AFormat), ToString(expected)));
  return AFormat;
}

intptr_t TVantrelTextureWrapHelper::ToValue(TVantrelTextureWrap AType) {
  return TextureWrapHelperClass().PlatformToValue(AType);
}

intptr_t TVantrelTextureDataTypeHelper::ToValue(TVantrelTextureDataType AType) {
  return TextureDataTypeHelperClass().PlatformToValue(AType);
}

std::string_view TVantrelTextureDataTypeHelper::ToString(TVantrelTextureDataType AType) {
  const auto ordinal = static_cast<size_t>(AType);
  return ordinal < std::size(DataTypeNames) ? DataTypeNames[ordinal] : "?";
}

TVantrelTextureWrap StringToTextureWrap(std::string_view AText) {
  const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!AText.empty() && isBlank(AText.front()))
    AText.remove_prefix(1);
  while (!AText.empty() && isBlank(AText.back()))
    AText.remove_suffix(1);
  std::string text(AText);
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (text == "clamp")
    return TVantrelTextureWrap::Clamp;
  if (text == "clamp_to_border")
    return TVantrelTextureWrap::ClampToBorder;
  if (text == "repeat")
    return TVantrelTextureWrap::Repeated;
  if (text == "mirrored_repeat")
    return TVantrelTextureWrap::MirroredRepeat;
  return TVantrelTextureWrap::ClampToEdge;
}

// ---- Class references ----------------------------------------------------------------------------

TPixelFormatExHelperClass& PixelFormatExHelperClass() {
  return Installed.PixelFormatExHelper ? *Installed.PixelFormatExHelper : TPixelFormatExHelper::StaticClass();
}

TVantrelTextureWrapHelperClass& TextureWrapHelperClass() {
  return Installed.TextureWrapHelper ? *Installed.TextureWrapHelper
                                     : TVantrelTextureWrapHelper::StaticClass();
}

TVantrelTextureDataTypeHelperClass& TextureDataTypeHelperClass() {
  return Installed.TextureDataTypeHelper ? *Installed.TextureDataTypeHelper
                                         : TVantrelTextureDataTypeHelper::StaticClass();
}

TClass& VantrelTextureClass() {
  return Installed.Texture ? *Installed.Texture : TVantrelTexture::StaticClass();
}

TClass& VantrelTextureBitmapClass() {
  return Installed.TextureBitmap ? *Installed.TextureBitmap : TVantrelTextureBitmap::StaticClass();
}

void SetTexturingClasses(const TTexturingClasses& AClasses) {
  TInstalledClasses next;
  next.Texture = CheckedDescendant(AClasses.Texture, TVantrelTexture::StaticClass());
  next.TextureBitmap = CheckedDescendant(AClasses.TextureBitmap, TVantrelTextureBitmap::StaticClass());
  next.PixelFormatExHelper = AClasses.PixelFormatExHelper;
  next.TextureWrapHelper = AClasses.TextureWrapHelper;
  next.TextureDataTypeHelper = AClasses.TextureDataTypeHelper;
  Installed = next;
}

// ---- TVantrelTexture -----------------------------------------------------------------------------

TVantrelTexture* TVantrelTexture::Create() {
  return VantrelTextureClass().CreateAs<TVantrelTexture>();
}

void TVantrelTexture::SetBuffer(TPixelBlock ABuffer, int64_t ASize) {
  FBuffer = std::move(ABuffer);
  FBufferSize = FBuffer ? ASize : 0;
}

void TVantrelTexture::GetFormatAndType(uint32_t& AComps, uint32_t& AFormat, uint32_t& ADataType) const {
  AComps = static_cast<uint32_t>(TPixelFormatExHelper::ToValue(FComponents));
  AFormat = static_cast<uint32_t>(
      TPixelFormatExHelper::ToValue(TPixelFormatExHelper::CompatibleFormat(FComponents, FFormat)));
  ADataType = static_cast<uint32_t>(TVantrelTextureDataTypeHelper::ToValue(FDataType));
}

void TVantrelTexture::Assign(const TPersistent* ASource) {
  if (ASource == this)
    return;
  if (const auto* texture = dynamic_cast<const TVantrelTexture*>(ASource))
    AssignTexture(*texture);
  else if (const auto* bitmap = dynamic_cast<const TVantrelTextureBitmap*>(ASource))
    AssignBitmap(*bitmap);
  inherited::Assign(ASource);
}

void TVantrelTexture::AssignTexture(const TVantrelTexture& ASource) {
  FKind = ASource.FKind;
  FTextureUnit = ASource.FTextureUnit;
  FComponents = ASource.FComponents;
  FFormat = ASource.FFormat;
  FWrapS = ASource.FWrapS;
  FWrapT = ASource.FWrapT;
  FWrapR = ASource.FWrapR;
  FDataType = ASource.FDataType;
  FBorderColor = ASource.FBorderColor;
  FDepth = ASource.FDepth;
  FAttachedCubeMapFace = ASource.FAttachedCubeMapFace;
  FMipMapLevels = ASource.FMipMapLevels;
  FStyleEx = ASource.Style();
  SetStyle(ASource.Style());
  SetMinFilter(ASource.MinFilter());
  SetMagFilter(ASource.MagFilter());
  SetBuffer(ASource.FBuffer, ASource.FBufferSize);
}

void TVantrelTexture::AssignBitmap(const TVantrelTextureBitmap& ASource) {
  FKind = ASource.GetKind();
  FComponents = ASource.GetComponents();
  FFormat = ASource.GetFormat();
  FWrapS = ASource.GetWrapS();
  FWrapT = ASource.GetWrapT();
  FWrapR = ASource.GetWrapR();
  FDataType = ASource.GetDataType();
  FBorderColor = ASource.GetBorderColor();
  FDepth = ASource.GetDepth();
  FAttachedCubeMapFace = ASource.GetAttachedCubeMapFace();
  FMipMapLevels = ASource.GetMipMapLevels();
  FStyleEx = ASource.GetStyle();
  SetStyle(ASource.GetStyle());
  SetMinFilter(ASource.GetMinFilter());
  SetMagFilter(ASource.GetMagFilter());
  SetBuffer(ASource.GetSharedBuffer(), ASource.GetBufferSize());
}

// ---- TVantrelTextureBitmap -----------------------------------------------------------------------

TVantrelTextureBitmap* TVantrelTextureBitmap::Create() {
  return VantrelTextureBitmapClass().CreateAs<TVantrelTextureBitmap>();
}

TVantrelTextureBitmap* TVantrelTextureBitmap::Create(int32_t AWidth, int32_t AHeight) {
  TOwned<TVantrelTextureBitmap> bitmap(Create());
  bitmap->SetSize(AWidth, AHeight);
  return bitmap.release();
}

void TVantrelTextureBitmap::SetComponents(TPixelFormatEx AValue) {
  TMonitorLock lock(this);
  FComponents = AValue;
}

void TVantrelTextureBitmap::SetDataType(TVantrelTextureDataType AValue) {
  TMonitorLock lock(this);
  FDataType = AValue;
}

void TVantrelTextureBitmap::SetFormat(TPixelFormatEx AValue) {
  if (!PixelFormatExInfo(AValue).BitmapFormat)
    throw Exception(std::string(SInvalidTextureFormat));
  FFormat = AValue;
  SetPixelFormat(AValue);
}

void TVantrelTextureBitmap::SetAttachedCubeMapFace(TVantrelCubeMapFace AValue) {
  TMonitorLock lock(this);
  FAttachedCubeMapFace = AValue;
  if (TVantrelTexture* texture = VantrelTexture())
    texture->SetAttachedCubeMapFace(AValue);
}

void TVantrelTextureBitmap::Recompress() {
  TMonitorLock lock(this);
}

void TVantrelTextureBitmap::Decompress() {
  TMonitorLock lock(this);
}

TVantrelTexture* TVantrelTextureBitmap::VantrelTexture() {
  return dynamic_cast<TVantrelTexture*>(Texture());
}

TTexture* TVantrelTextureBitmap::GetTextureReference() const {
  TTexture* texture = HeldTexture();
  return texture && texture->Handle() != 0 ? texture : nullptr;
}

void TVantrelTextureBitmap::SetTextureReference(TTexture* ATexture) {
  TMonitorLock lock(this);
  DestroyResources();
  SetTexture(ATexture);
}

void TVantrelTextureBitmap::BeginSetup() {
  ++FSettingUp;
  FBitmapStates.Include(TVantrelTextureBitmapState::bsUpdating);
}

void TVantrelTextureBitmap::EndSetup() {
  const bool outermost = FSettingUp == 1;
  if (FSettingUp > 0)
    --FSettingUp;
  FBitmapStates.Exclude(TVantrelTextureBitmapState::bsUpdating);
  if (outermost)
    AllocateBuffer();
}

void TVantrelTextureBitmap::Set3DSize(int32_t AWidth, int32_t AHeight, int32_t ADepth) {
  {
    TMonitorLock lock(this);
    FDepth = ADepth;
  }
  SetSize(AWidth, AHeight);
}

void TVantrelTextureBitmap::SetPixelFormat(TPixelFormatEx AValue) {
  FinalizeHandle();
  InitializeHandle(AValue);
}

void TVantrelTextureBitmap::InitializeHandle(TPixelFormatEx APixelFormat) {
  InitializeBitmapHandle(Width(), Height(), BitmapScale(), static_cast<TPixelFormatTag>(APixelFormat));
}

void TVantrelTextureBitmap::FinalizeHandle() {
  FinalizeBitmapHandle();
}

void TVantrelTextureBitmap::GetFormatAndType(const TTexture* ATexture, uint32_t& AComps, uint32_t& AFormat,
                                             uint32_t& ADataType) const {
  if (const auto* texture = dynamic_cast<const TVantrelTexture*>(ATexture)) {
    texture->GetFormatAndType(AComps, AFormat, ADataType);
    return;
  }
  AComps = static_cast<uint32_t>(TPixelFormatExHelper::ToValue(RGBA8));
  AFormat = static_cast<uint32_t>(TPixelFormatExHelper::ToValue(BGRA));
  ADataType =
      static_cast<uint32_t>(TVantrelTextureDataTypeHelper::ToValue(TVantrelTextureDataType::dtUnsignedByte));
}

void TVantrelTextureBitmap::UpdateCubeMapFace(TVantrelCubeMapFace ASide, TBitmap* ABitmap) {
  if (FKind != TVantrelTextureKind::CubeMap || !dynamic_cast<TTextureBitmap*>(ABitmap))
    return;
  auto* framework = dynamic_cast<TVantrelTextureBitmap*>(ABitmap);
  if (framework && framework->GetBuffer()) {
    UpdateCubeMapFace(ASide, framework->VantrelTexture(), nullptr, 0);
    return;
  }
  auto* source = static_cast<TTextureBitmap*>(ABitmap);
  TBitmapData data;
  source->Map(TMapAccess::Read, data);
  try {
    UpdateCubeMapFace(ASide, source->Texture(), data.Data, data.Pitch);
  } catch (...) {
    source->Unmap(data);
    throw;
  }
  source->Unmap(data);
}

void TVantrelTextureBitmap::AllocateBuffer() {
  const int64_t componentSize = TextureDataTypeSize(FDataType);
  if (FKind == TVantrelTextureKind::Texture3D || FKind == TVantrelTextureKind::Array2D) {
    ReleaseBuffer();
    return;
  }
  const int64_t pixels = int64_t(Width()) * Height();
  const int64_t needed = componentSize * PixelFormatExBytesPerPixel(FFormat) * pixels;
  // The bitmap's own 32-bit storage holds pixels of that size; a block from an earlier format
  // would be uploaded in their place.
  if (needed == pixels * BytesPerPixel) {
    ReleaseBuffer();
    return;
  }
  if (needed == FBufferSize)
    return;
  ReleaseBuffer();
  // Zeroed: the block is uploaded as it is before any pixels are written into it.
  FBuffer = std::make_shared<uint8_t[]>(static_cast<size_t>(needed));
  FBufferSize = needed;
}

void TVantrelTextureBitmap::ReleaseBuffer() {
  FBuffer.reset();
  FBufferSize = 0;
}

void TVantrelTextureBitmap::Assign(const TPersistent* ASource) {
  if (ASource == this)
    return;
  TUpdatingScope updating(FBitmapStates);
  if (const auto* bitmap = dynamic_cast<const TVantrelTextureBitmap*>(ASource)) {
    FKind = bitmap->FKind;
    AssignFormatSettings(bitmap->FComponents, bitmap->FFormat, bitmap->FDataType);
    FMinFilter = bitmap->FMinFilter;
    FMagFilter = bitmap->FMagFilter;
    FWrapS = bitmap->FWrapS;
    FWrapT = bitmap->FWrapT;
    FWrapR = bitmap->FWrapR;
    FBorderColor = bitmap->FBorderColor;
    FDepth = bitmap->FDepth;
    FAttachedCubeMapFace = bitmap->FAttachedCubeMapFace;
    FStyle = bitmap->FStyle;
    FMipMapLevels = bitmap->FMipMapLevels;
  } else if (dynamic_cast<const TTextureBitmap*>(ASource)) {
    // A plain texture bitmap carries no settings beyond its pixels.
  } else if (const auto* texture = dynamic_cast<const TVantrelTexture*>(ASource)) {
    FKind = texture->GetKind();
    AssignFormatSettings(texture->GetComponents(), texture->GetFormat(), texture->GetDataType());
    FMinFilter = texture->MinFilter();
    FMagFilter = texture->MagFilter();
    FWrapS = texture->GetWrapS();
    FWrapT = texture->GetWrapT();
    FWrapR = texture->GetWrapR();
    FBorderColor = texture->GetBorderColor();
    FDepth = texture->GetDepth();
    FAttachedCubeMapFace = texture->GetAttachedCubeMapFace();
    FStyle = texture->Style();
    FMipMapLevels = texture->GetMipMapLevels();
  } else if (const auto* uiTexture = dynamic_cast<const TTexture*>(ASource)) {
    FStyle = uiTexture->Style();
  }
  inherited::Assign(ASource);
}

void TVantrelTextureBitmap::AssignFormatSettings(TPixelFormatEx AComponents, TPixelFormatEx AFormat,
                                                 TVantrelTextureDataType AType) {
  if (FProtectFormatSettings)
    return;
  FComponents = AComponents;
  FFormat = AFormat;
  FDataType = AType;
}

void TVantrelTextureBitmap::DestroyResources() {
  if (FBitmapStates.Contains(TVantrelTextureBitmapState::bsDestroying) || !IsCanvasInScene())
    inherited::DestroyResources();
}

void TVantrelTextureBitmap::BeforeDestruction() {
  FBitmapStates.Include(TVantrelTextureBitmapState::bsDestroying);
  ReleaseBuffer();
  inherited::BeforeDestruction();
}

} // namespace vantrel
