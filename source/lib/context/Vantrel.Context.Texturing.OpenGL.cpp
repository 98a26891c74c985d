#include "context/Vantrel.Context.Texturing.OpenGL.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <iterator>

#include "context/Vantrel.Context.Buffers.OpenGL.h"
#include "context/Vantrel.Context.GLState.OpenGL.h"
#include "context/Vantrel.Context.Types.h"
#include "context/Vantrel.Context.h"
#include "gl/egl_context.h"
#include "rtl/log.h"
#include "rtl/sysutils.h"

namespace vantrel {

RTL_DEFINE_CLASS_META(TOpenGLPixelFormatExHelper, "Vantrel.Context.Texturing.OpenGL",
                      TOpenGLPixelFormatExHelperClass)
RTL_DEFINE_CLASS_META(TOpenGLVantrelTextureWrapHelper, "Vantrel.Context.Texturing.OpenGL",
                      TOpenGLVantrelTextureWrapHelperClass)
RTL_DEFINE_CLASS_META(TOpenGLVantrelTextureDataTypeHelper, "Vantrel.Context.Texturing.OpenGL",
                      TOpenGLVantrelTextureDataTypeHelperClass)
RTL_DEFINE_CLASS(TOpenGLVantrelTexture, "Vantrel.Context.Texturing.OpenGL")
RTL_DEFINE_CLASS(TOpenGLVantrelTextureBitmap, "Vantrel.Context.Texturing.OpenGL")

namespace {

constexpr GLenum PixelFormatValues[] = {
    0,                    // None
    GL_RGB,               // RGB
    GL_RGBA,              // RGBA
    GL_BGR,               // BGR
    GL_BGRA,              // BGRA
    GL_RGBA16F,           // RGBA16
    GL_BGR,               // BGR_565
    GL_BGRA,              // BGRA4
    GL_BGR,               // BGR4
    GL_BGRA,              // BGR5_A1
    GL_BGR,               // BGR5
    GL_BGRA,              // BGR10_A2
    GL_RGBA,              // RGB10_A2
    GL_LUMINANCE,         // L
    GL_LUMINANCE_ALPHA,   // LA
    GL_LUMINANCE_ALPHA,   // LA4
    GL_LUMINANCE,         // L16
    GL_ALPHA,             // Alpha
    GL_R16F,              // R16F
    GL_RG16F,             // RG16F
    GL_RGBA16F,           // RGBA16F
    GL_R32F,              // R32F
    GL_RG32F,             // RG32F
    GL_RGBA32F,           // RGBA32F
    GL_RED,               // R
    GL_R8,                // R8
    GL_R8_SNORM,          // R8_SNORM
    GL_RED_INTEGER,       // RedInteger
    GL_R8UI,              // R8UI
    GL_R8I,               // R8I
    GL_R16UI,             // R16UI
    GL_R16I,              // R16I
    GL_R32UI,             // R32UI
    GL_R32I,              // R32I
    GL_RG,                // RG
    GL_RG8,               // RG8
    GL_RG8_SNORM,         // RG8_SNORM
    GL_RG_INTEGER,        // RGInteger
    GL_RG8UI,             // RG8UI
    GL_RG8I,              // RG8I
    GL_RG16UI,            // RG16UI
    GL_RG16I,             // RG16I
    GL_RG32UI,            // RG32UI
    GL_RG32I,             // RG32I
    GL_RGB8,              // RGB8
    GL_SRGB8,             // SRGB8
    GL_RGB565,            // RGB565
    GL_RGB8_SNORM,        // RGB8_SNORM
    GL_R11F_G11F_B10F,    // R11F_G11F_B10F
    GL_RGB9_E5,           // RGB9_E5
    GL_RGB16F,            // RGB16F
    GL_RGB32F,            // RGB32F
    GL_RGB_INTEGER,       // RGBInteger
    GL_RGB8UI,            // RGB8UI
    GL_RGB8I,             // RGB8I
    GL_RGB16UI,           // RGB16UI
    GL_RGB16I,            // RGB16I
    GL_RGB32UI,           // RGB32UI
    GL_RGB32I,            // RGB32I
    GL_RGBA8,             // RGBA8
    GL_SRGB8_ALPHA8,      // SRGB8_ALPHA8
    GL_RGBA8_SNORM,       // RGBA8_SNORM
    GL_RGB5_A1,           // RGB5_A1
    GL_RGBA4,             // RGBA4
    GL_RGBA_INTEGER,      // RGBAInteger
    GL_RGBA8UI,           // RGBA8UI
    GL_RGBA8I,            // RGBA8I
    GL_RGB10_A2UI,        // RGB10_A2UI
    GL_RGBA16UI,          // RGBA16UI
    GL_RGBA16I,           // RGBA16I
    GL_RGBA32I,           // RGBA32I
    GL_RGBA32UI,          // RGBA32UI
    GL_STENCIL_INDEX,     // StencilIndex
    GL_DEPTH_COMPONENT,   // Depth
    GL_DEPTH_COMPONENT16, // Depth16
    GL_DEPTH_COMPONENT24, // Depth24
    GL_DEPTH_COMPONENT32, // Depth32
    GL_DEPTH24_STENCIL8,  // Depth24Stencil8
    GL_DEPTH32F_STENCIL8, // Depth32Stencil8
    GL_DEPTH_STENCIL,     // DepthStencil
};
static_assert(std::size(PixelFormatValues) == PixelFormatExCount);

constexpr GLenum IntegerFormats[] = {
    GL_RED_INTEGER, GL_RG_INTEGER, GL_RGB_INTEGER, GL_RGBA_INTEGER, GL_RGBA32UI,  GL_RGB32UI,
    GL_RGBA16UI,    GL_RGB16UI,    GL_RGBA8UI,     GL_RGB8UI,       GL_RGBA32I,   GL_RGB32I,
    GL_RGBA16I,     GL_RGB16I,     GL_RGBA8I,      GL_RGB8I,        GL_RGB10_A2UI};

constexpr GLenum WrapValues[] = {GL_CLAMP, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_BORDER, GL_REPEAT,
                                 GL_MIRRORED_REPEAT};

constexpr GLenum DataTypeValues[] = {GL_BYTE,    GL_UNSIGNED_BYTE, GL_SHORT,   GL_UNSIGNED_SHORT,
                                     GL_INT,     GL_UNSIGNED_INT,  GL_FLOAT,   GL_HALF_FLOAT,
                                     GL_2_BYTES, GL_3_BYTES,       GL_4_BYTES, GL_DOUBLE};

constexpr TGLTextureKindTarget KindTargets[] = {
    {GL_TEXTURE_BINDING_2D, GL_TEXTURE_2D},
    {GL_TEXTURE_BINDING_3D, GL_TEXTURE_3D},
    {GL_TEXTURE_BINDING_CUBE_MAP, GL_TEXTURE_CUBE_MAP},
    {GL_TEXTURE_BINDING_3D, GL_TEXTURE_3D},
    {GL_TEXTURE_BINDING_2D_ARRAY, GL_TEXTURE_2D_ARRAY},
};

int InstallCounter = 0;

bool IsLayered(TVantrelTextureKind AKind) {
  return AKind == TVantrelTextureKind::Texture3D || AKind == TVantrelTextureKind::ImageTexture3D ||
         AKind == TVantrelTextureKind::Array2D;
}

// The context's pixel state for an upload, undone when the scope ends.
class TContextPixelState {
public:
  TContextPixelState(int32_t AWidth, int32_t AHeight, int32_t ADepth, int32_t ABytesPerPixel) {
    TVantrelContext::SetPixelState(AWidth, AHeight, ADepth, ABytesPerPixel, 0);
  }
  ~TContextPixelState() {
    try {
      TVantrelContext::UnsetPixelState();
    } catch (const Exception& E) {
      Log::d(E.Message());
    }
  }
  TContextPixelState(const TContextPixelState&) = delete;
  TContextPixelState& operator=(const TContextPixelState&) = delete;
};

GLenum TextureUnit(int32_t ATextureUnit) {
  const TVantrelContextClass* platform = TVantrelContext::PlatformClass();
  return platform ? static_cast<GLenum>(platform->GetTextureByTextureIndex(std::max(ATextureUnit, 0)))
                  : GL_TEXTURE0;
}

struct TLevelSize {
  GLint Width = 0;
  GLint Height = 0;
  GLint Depth = 0;
  int64_t Pixels() const { return int64_t(Width) * Height * Depth; }
};

// The size GL holds for a level of the texture bound to ATarget.
TLevelSize LevelSize(GLenum ATarget, GLint ALevel) {
  TLevelSize size;
  glGetTexLevelParameteriv(ATarget, ALevel, GL_TEXTURE_WIDTH, &size.Width);
  glGetTexLevelParameteriv(ATarget, ALevel, GL_TEXTURE_HEIGHT, &size.Height);
  glGetTexLevelParameteriv(ATarget, ALevel, GL_TEXTURE_DEPTH, &size.Depth);
  return size;
}

void GenerateMipMapsOf(GLenum ATarget, std::string_view AMessage) {
  glGenerateMipmap(ATarget);
  if (const int32_t error = GetContextError())
    throw EContext3DException(Format(AMessage, error));
}

bool IsPowerOfTwoSquare(const TTexture& ATexture) {
  const int32_t side = ATexture.Width();
  return side > 0 && side == ATexture.Height() && (side & (side - 1)) == 0;
}

} // namespace

// ---- Tables --------------------------------------------------------------------------------------

uint32_t PixelFormatExToGL(TPixelFormatEx AFormat) {
  const auto ordinal = static_cast<size_t>(AFormat);
  return ordinal < std::size(PixelFormatValues) ? PixelFormatValues[ordinal] : GL_BGRA;
}

bool IsIntegerGLFormat(uint32_t AValue) {
  if (AValue >= GL_R8I && AValue <= GL_RG32UI)
    return true;
  return std::find(std::begin(IntegerFormats), std::end(IntegerFormats), AValue) != std::end(IntegerFormats);
}

uint32_t TextureWrapToGL(TVantrelTextureWrap AWrap) {
  const auto ordinal = static_cast<size_t>(AWrap);
  return ordinal < std::size(WrapValues) ? WrapValues[ordinal] : GL_REPEAT;
}

uint32_t TextureDataTypeToGL(TVantrelTextureDataType AType) {
  const auto ordinal = static_cast<size_t>(AType);
  return ordinal < std::size(DataTypeValues) ? DataTypeValues[ordinal] : GL_UNSIGNED_BYTE;
}

TGLTextureKindTarget TextureKindToGL(TVantrelTextureKind AKind) {
  const auto ordinal = static_cast<size_t>(AKind);
  return ordinal < std::size(KindTargets) ? KindTargets[ordinal] : KindTargets[0];
}

uint32_t CubeMapFaceToGL(TVantrelCubeMapFace AFace) {
  const auto ordinal = static_cast<uint32_t>(AFace);
  return ordinal <= static_cast<uint32_t>(TVantrelCubeMapFace::NegativeZ)
             ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + ordinal
             : GL_TEXTURE_CUBE_MAP_POSITIVE_X;
}

TUnpackLayout UnpackLayoutFor(int32_t AWidth, int32_t ADepth, int32_t ABytesPerPixel, int32_t APitch) {
  if (ADepth > 0 || APitch == AWidth * ABytesPerPixel || ABytesPerPixel != 4)
    return {1, 0};
  return {4, APitch / 4};
}

int64_t UnpackedSize(int32_t AWidth, int32_t AHeight, int32_t ADepth, int64_t APixelBytes,
                     const TUnpackLayout& ALayout) {
  if (AWidth <= 0 || AHeight <= 0)
    return 0;
  const int64_t rowPixels = ALayout.RowLength > 0 ? ALayout.RowLength : AWidth;
  const int64_t alignment = std::max(ALayout.Alignment, 1);
  const int64_t stride = (rowPixels * APixelBytes + alignment - 1) / alignment * alignment;
  const int64_t lastRow = int64_t(AWidth) * APixelBytes;
  const int64_t layers = std::max(ADepth, 1);
  return stride * AHeight * (layers - 1) + stride * (AHeight - 1) + lastRow;
}

int64_t PixelDataBytes(TPixelFormatEx AFormat, TVantrelTextureDataType AType) {
  return int64_t(PixelFormatExBytesPerPixel(AFormat)) * TextureDataTypeSize(AType);
}

// ---- Helpers -------------------------------------------------------------------------------------

intptr_t TOpenGLPixelFormatExHelperClass::PlatformToValue(TPixelFormatEx AFormat) const {
  return PixelFormatExToGL(AFormat);
}

bool TOpenGLPixelFormatExHelperClass::PlatformIsIntegerTexture(intptr_t AValue) const {
  return AValue >= 0 && AValue <= intptr_t(UINT32_MAX) && IsIntegerGLFormat(static_cast<uint32_t>(AValue));
}

intptr_t TOpenGLVantrelTextureWrapHelperClass::PlatformToValue(TVantrelTextureWrap AType) const {
  return TextureWrapToGL(AType);
}

intptr_t TOpenGLVantrelTextureDataTypeHelperClass::PlatformToValue(TVantrelTextureDataType AType) const {
  return TextureDataTypeToGL(AType);
}

// ---- TOpenGLVantrelTexture -----------------------------------------------------------------------

void TOpenGLVantrelTexture::GetBindingAndKind(uint32_t& ABinding, uint32_t& AKind) const {
  const TGLTextureKindTarget target = TextureKindToGL(GetKind());
  ABinding = target.Binding;
  AKind = target.Target;
}

void TOpenGLVantrelTexture::Clear() {
  if (Handle() == 0)
    return;
  uint32_t comps = 0, format = 0, type = 0;
  GetFormatAndType(comps, format, type);
  if (gl::HasClearTexture()) {
    const GLint levels = std::max(GetMipMapLevels(), 1);
    for (GLint level = 0; level < levels; ++level)
      glClearTexImage(static_cast<GLuint>(Handle()), level, format, type, nullptr);
  } else
    ClearByUpload(format, type);
  if (const int32_t error = GetContextError())
    throw EContext3DException(Format(SFailedToClearTexture, error));
}

void TOpenGLVantrelTexture::ClearByUpload(uint32_t AFormat, uint32_t AType) {
  uint32_t binding = 0, target = 0;
  GetBindingAndKind(binding, target);
  TTextureBindingGuard bindingGuard(target, binding);
  glBindTexture(target, static_cast<GLuint>(Handle()));
  TPixelStoreGuard unpack(false);
  const int64_t pixelBytes =
      PixelDataBytes(TPixelFormatExHelper::CompatibleFormat(GetComponents(), GetFormat()), GetDataType());
  const bool cube = GetKind() == TVantrelTextureKind::CubeMap;
  const GLint level = cube ? 0 : GetCurrentMipMapLevel();
  const TLevelSize size = LevelSize(cube ? GL_TEXTURE_CUBE_MAP_POSITIVE_X : target, level);
  const std::vector<uint8_t> zeros(static_cast<size_t>(size.Pixels() * pixelBytes), 0);
  if (cube) {
    for (GLenum face = GL_TEXTURE_CUBE_MAP_POSITIVE_X; face <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z; ++face)
      glTexSubImage2D(face, 0, 0, 0, size.Width, size.Height, AFormat, AType, zeros.data());
  } else if (IsLayered(GetKind()))
    glTexSubImage3D(target, level, 0, 0, 0, size.Width, size.Height, size.Depth, AFormat, AType,
                    zeros.data());
  else
    glTexSubImage2D(target, level, 0, 0, size.Width, size.Height, AFormat, AType, zeros.data());
}

void TOpenGLVantrelTexture::GenerateMipMap() {
  if (Handle() == 0)
    return;
  uint32_t binding = 0, target = 0;
  GetBindingAndKind(binding, target);
  {
    TTextureBindingGuard bindingGuard(target, binding);
    glBindTexture(target, static_cast<GLuint>(Handle()));
    glGenerateMipmap(target);
  }
  if (const int32_t error = GetContextError())
    throw EContext3DException(Format(SFailedToGenerateMipMaps, error));
}

bool TOpenGLVantrelTexture::RequestTextureData(std::vector<uint8_t>& ABytes, int64_t& ASize, int32_t ALevel) {
  ABytes.clear();
  ASize = 0;
  if (Handle() == 0)
    return false;
  const TVantrelTextureKind kind = GetKind();
  if (kind == TVantrelTextureKind::CubeMap || kind > TVantrelTextureKind::Array2D)
    throw EContext3DException(std::string(SUnsupportedTextureKind));
  uint32_t binding = 0, target = 0, comps = 0, format = 0, type = 0;
  GetBindingAndKind(binding, target);
  GetFormatAndType(comps, format, type);
  const int64_t pixelBytes =
      PixelDataBytes(TPixelFormatExHelper::CompatibleFormat(GetComponents(), GetFormat()), GetDataType());
  {
    TTextureBindingGuard bindingGuard(target, binding);
    glBindTexture(target, static_cast<GLuint>(Handle()));
    TPixelStoreGuard pack(true);
    // GL's own size of the level, read tightly packed into no pixel buffer, is exactly what it
    // writes. (Mesa's glGetnTexImage returns without writing, so the bounded call is not used.)
    const int64_t size = LevelSize(target, ALevel).Pixels() * pixelBytes;
    ABytes.resize(static_cast<size_t>(size));
    if (size > 0)
      glGetTexImage(target, ALevel, format, type, ABytes.data());
    ASize = size;
  }
  if (const int32_t error = GetContextError()) {
    ABytes.clear();
    ASize = 0;
    throw EContext3DException(Format(SFailedToRequestTextureData, error));
  }
  return true;
}

// ---- TOpenGLVantrelTextureBitmap -----------------------------------------------------------------

TVantrelTexture& TOpenGLVantrelTextureBitmap::RequireTextureObject() {
  TVantrelTexture* texture = VantrelTexture();
  if (texture && texture->Handle() == 0)
    texture->Initialize();
  if (!texture || texture->Handle() == 0)
    RaiseContextException(this, SCannotUploadTexture, ClassName());
  return *texture;
}

void TOpenGLVantrelTextureBitmap::UpdateCubeMapFace(TVantrelCubeMapFace ASide, TTexture* ATexture,
                                                    const void* ABits, int32_t) {
  if (GetKind() != TVantrelTextureKind::CubeMap || !ATexture)
    return;
  if (!IsPowerOfTwoSquare(*ATexture))
    throw EContext3DException(std::string(SInvalidCubeMapFaceSize));
  const int32_t side = ATexture->Width();
  if (Width() != side || Height() != side)
    SetSize(side, side);
  TTexture* own = Texture();
  if (own && (own->Width() != side || own->Height() != side))
    own->SetSize(side, side);
  if (own && own->Handle() == 0) {
    own->SetTextureScale(ATexture->TextureScale());
    own->Initialize();
  }
  if (!own || own->Handle() == 0)
    RaiseContextException(this, SCannotUploadTexture, ClassName());
  uint32_t comps = 0, format = 0, type = 0;
  GetFormatAndType(ATexture, comps, format, type);
  const auto* framework = dynamic_cast<const TVantrelTexture*>(ATexture);
  const void* pixels = framework && framework->GetBuffer() ? framework->GetBuffer() : ABits;
  {
    TTextureBindingGuard bindingGuard(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_BINDING_CUBE_MAP);
    glBindTexture(GL_TEXTURE_CUBE_MAP, static_cast<GLuint>(own->Handle()));
    TBufferBindingGuard unpackBuffer(GL_PIXEL_UNPACK_BUFFER, GL_PIXEL_UNPACK_BUFFER_BINDING, 0);
    glTexSubImage2D(CubeMapFaceToGL(ASide), 0, 0, 0, side, side, format, type, pixels);
  }
  if (HasContextError())
    RaiseContextException(this, SCannotUploadTexture, ClassName());
}

void TOpenGLVantrelTextureBitmap::UpdateBuffer(const void* ABuffer, int64_t ASize) {
  const TVantrelTextureKind kind = GetKind();
  if (kind == TVantrelTextureKind::CubeMap || (!ABuffer && !IsLayered(kind)))
    return;
  TVantrelTexture& texture = RequireTextureObject();
  const int32_t width = texture.Width();
  const int32_t height = texture.Height();
  const int32_t depth = IsLayered(kind) ? texture.GetDepth() : 0;
  const int32_t bytesPerPixel = PixelFormatExBytesPerPixel(texture.GetComponents());
  if (ABuffer) {
    const int64_t needed = UnpackedSize(
        width, height, depth,
        PixelDataBytes(TPixelFormatExHelper::CompatibleFormat(texture.GetComponents(), texture.GetFormat()),
                       texture.GetDataType()),
        UnpackLayoutFor(width, depth, bytesPerPixel, 0));
    if (ASize < needed)
      throw EContext3DException(Format(SBufferTooSmall, ASize, needed));
  }
  uint32_t binding = 0, target = 0, internal = 0, format = 0, type = 0;
  texture.GetBindingAndKind(binding, target);
  texture.GetFormatAndType(internal, format, type);
  const TTextureStyles styles = texture.Style() + texture.GetStyleEx();
  TActiveTextureGuard unitGuard;
  glActiveTexture(TextureUnit(texture.GetTextureUnit()));
  TTextureBindingGuard bindingGuard(target, binding);
  glBindTexture(target, static_cast<GLuint>(texture.Handle()));
  TBufferBindingGuard unpackBuffer(GL_PIXEL_UNPACK_BUFFER, GL_PIXEL_UNPACK_BUFFER_BINDING, 0);
  TContextPixelState pixelState(width, height, depth, bytesPerPixel);
  if (IsLayered(kind))
    glTexImage3D(target, 0, static_cast<GLint>(internal), width, height, depth, 0, format, type, ABuffer);
  else
    glTexSubImage2D(target, 0, 0, 0, width, height, format, type, ABuffer);
  if (HasContextError())
    RaiseContextException(this, SCannotUploadTexture, ClassName());
  TVantrelContext::DoSetTextureFiltering(&texture, styles, target, internal);
  if (styles.Contains(TTextureStyle::MipMaps))
    GenerateMipMapsOf(target, SMipMapsByUpdateBuffer);
}

void TOpenGLVantrelTextureBitmap::Update3DSlice(int32_t ASlice, const void* ABuffer, int64_t ASize) {
  if (!IsLayered(GetKind()))
    return;
  TVantrelTexture& texture = RequireTextureObject();
  const int32_t width = texture.Width();
  const int32_t height = texture.Height();
  if (ASlice < 0 || ASlice >= texture.GetDepth())
    throw EContext3DException(Format(SSliceOutOfRange, ASlice, texture.GetDepth() - 1));
  if (!ABuffer)
    return;
  const int32_t bytesPerPixel = PixelFormatExBytesPerPixel(texture.GetComponents());
  const int64_t needed = UnpackedSize(
      width, height, 0,
      PixelDataBytes(TPixelFormatExHelper::CompatibleFormat(texture.GetComponents(), texture.GetFormat()),
                     texture.GetDataType()),
      UnpackLayoutFor(width, 1, bytesPerPixel, 0));
  if (ASize < needed)
    throw EContext3DException(Format(SBufferTooSmall, ASize, needed));
  uint32_t binding = 0, target = 0, internal = 0, format = 0, type = 0;
  texture.GetBindingAndKind(binding, target);
  texture.GetFormatAndType(internal, format, type);
  const TTextureStyles styles = texture.Style() + texture.GetStyleEx();
  TTextureBindingGuard bindingGuard(target, binding);
  glBindTexture(target, static_cast<GLuint>(texture.Handle()));
  {
    TBufferBindingGuard unpackBuffer(GL_PIXEL_UNPACK_BUFFER, GL_PIXEL_UNPACK_BUFFER_BINDING, 0);
    TContextPixelState pixelState(width, height, 1, bytesPerPixel);
    glTexSubImage3D(target, 0, 0, 0, ASlice, width, height, 1, format, type, ABuffer);
  }
  if (HasContextError())
    RaiseContextException(this, SCannotUploadTexture, ClassName());
  if (styles.Contains(TTextureStyle::MipMaps))
    GenerateMipMapsOf(target, SMipMapsByUpdate3DSlice);
}

// ---- Installation --------------------------------------------------------------------------------

namespace {

// How frame buffers bind and attach a texture: cube maps attach their chosen face, 3D textures
// and arrays attach all layers at once, other kinds use their own target.
TGLTextureTarget FrameBufferTargetOf(const ui::TTexture* ATexture) {
  const auto* texture = dynamic_cast<const TVantrelTexture*>(ATexture);
  if (!texture)
    return {GL_TEXTURE_2D, GL_TEXTURE_BINDING_2D, GL_TEXTURE_2D, false};
  TGLTextureTarget result;
  texture->GetBindingAndKind(result.BindingQuery, result.Target);
  result.AttachTarget = result.Target;
  switch (texture->GetKind()) {
  case TVantrelTextureKind::CubeMap:
    result.AttachTarget = CubeMapFaceToGL(texture->GetAttachedCubeMapFace());
    break;
  case TVantrelTextureKind::Texture3D:
  case TVantrelTextureKind::ImageTexture3D:
  case TVantrelTextureKind::Array2D:
    result.Layered = true;
    break;
  default:
    break;
  }
  return result;
}

} // namespace

void InitializeTexturingOpenGL() {
  if (InstallCounter-- != 0)
    return;
  SetTextureTargetResolver(&FrameBufferTargetOf);
  SetTexturingClasses({
      .PixelFormatExHelper = &TOpenGLPixelFormatExHelper::StaticClass(),
      .TextureWrapHelper = &TOpenGLVantrelTextureWrapHelper::StaticClass(),
      .TextureDataTypeHelper = &TOpenGLVantrelTextureDataTypeHelper::StaticClass(),
      .Texture = &TOpenGLVantrelTexture::StaticClass(),
      .TextureBitmap = &TOpenGLVantrelTextureBitmap::StaticClass(),
  });
}

void FinalizeTexturingOpenGL() {
  if (InstallCounter == 0)
    return;
  if (++InstallCounter == 0) {
    SetTexturingClasses({});
    SetTextureTargetResolver(nullptr);
  }
}

} // namespace vantrel
