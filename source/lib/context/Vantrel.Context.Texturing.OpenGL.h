#pragma once
// The OpenGL back end of the texture description: translation tables from pixel formats, wrap
// modes, data types, texture kinds and cube faces to GL values, and the GL bodies of clearing,
// mipmap generation, read-back and upload. Creating a texture's GL object belongs to the context
// class, which reads the same tables.
//
// Every operation restores what it changes (texture bindings, the active texture unit, pack and
// unpack state, pixel-buffer bindings), also when it raises. Pixel state, filtering and texture
// units are reached through the default context class. GL headers stay in the source, so GL
// enumerations appear here as their underlying 32-bit unsigned type.

#include <cstdint>
#include <string_view>
#include <vector>

#include "context/Vantrel.Context.Texturing.h"

namespace vantrel {

// ---- Tables --------------------------------------------------------------------------------------

// Internal format of a sized format, pixel-data format of a base format; above 79 GL_BGRA.
uint32_t PixelFormatExToGL(TPixelFormatEx AFormat);
// Whether a GL format value is one of the integer formats.
bool IsIntegerGLFormat(uint32_t AValue);
// Any other value gives GL_REPEAT.
uint32_t TextureWrapToGL(TVantrelTextureWrap AWrap);
// Any other value gives GL_UNSIGNED_BYTE.
uint32_t TextureDataTypeToGL(TVantrelTextureDataType AType);

struct TGLTextureKindTarget {
  uint32_t Binding; // the binding query
  uint32_t Target;
};
// A kind outside the enumeration gives the 2D pair.
TGLTextureKindTarget TextureKindToGL(TVantrelTextureKind AKind);
// Any other value gives GL_TEXTURE_CUBE_MAP_POSITIVE_X.
uint32_t CubeMapFaceToGL(TVantrelCubeMapFace AFace);

// The unpack layout of the pixel-state rule: rows without padding and all 3D data use alignment 1
// and no row length; 4-byte pixels with another pitch use alignment 4 and the pitch in pixels.
struct TUnpackLayout {
  int32_t Alignment;
  int32_t RowLength;
};
TUnpackLayout UnpackLayoutFor(int32_t AWidth, int32_t ADepth, int32_t ABytesPerPixel, int32_t APitch);
// The bytes GL reads for AWidth x AHeight x ADepth (0 for a 2D image) pixels of APixelBytes under
// ALayout.
int64_t UnpackedSize(int32_t AWidth, int32_t AHeight, int32_t ADepth, int64_t APixelBytes,
                     const TUnpackLayout& ALayout);
// Bytes of one pixel of AFormat's data: the format's component count times the type's size.
int64_t PixelDataBytes(TPixelFormatEx AFormat, TVantrelTextureDataType AType);

// ---- Classes -------------------------------------------------------------------------------------

class TOpenGLPixelFormatExHelperClass : public TPixelFormatExHelperClass {
public:
  using TPixelFormatExHelperClass::TPixelFormatExHelperClass;
  intptr_t PlatformToValue(TPixelFormatEx AFormat) const override;
  bool PlatformIsIntegerTexture(intptr_t AValue) const override;
};

class TOpenGLPixelFormatExHelper : public TPixelFormatExHelper {
  RTL_CLASS_META(TOpenGLPixelFormatExHelper, TPixelFormatExHelper, TOpenGLPixelFormatExHelperClass)
protected:
  TOpenGLPixelFormatExHelper() = default;
};

class TOpenGLVantrelTextureWrapHelperClass : public TVantrelTextureWrapHelperClass {
public:
  using TVantrelTextureWrapHelperClass::TVantrelTextureWrapHelperClass;
  intptr_t PlatformToValue(TVantrelTextureWrap AType) const override;
};

class TOpenGLVantrelTextureWrapHelper : public TVantrelTextureWrapHelper {
  RTL_CLASS_META(TOpenGLVantrelTextureWrapHelper, TVantrelTextureWrapHelper,
                 TOpenGLVantrelTextureWrapHelperClass)
protected:
  TOpenGLVantrelTextureWrapHelper() = default;
};

class TOpenGLVantrelTextureDataTypeHelperClass : public TVantrelTextureDataTypeHelperClass {
public:
  using TVantrelTextureDataTypeHelperClass::TVantrelTextureDataTypeHelperClass;
  intptr_t PlatformToValue(TVantrelTextureDataType AType) const override;
};

class TOpenGLVantrelTextureDataTypeHelper : public TVantrelTextureDataTypeHelper {
  RTL_CLASS_META(TOpenGLVantrelTextureDataTypeHelper, TVantrelTextureDataTypeHelper,
                 TOpenGLVantrelTextureDataTypeHelperClass)
protected:
  TOpenGLVantrelTextureDataTypeHelper() = default;
};

class TOpenGLVantrelTexture : public TVantrelTexture {
  RTL_CLASS(TOpenGLVantrelTexture, TVantrelTexture)
public:
  TOpenGLVantrelTexture() = default;

  void GetBindingAndKind(uint32_t& ABinding, uint32_t& AKind) const override;
  // glClearTexImage on levels 0 .. MipMapLevels - 1 where the driver has it; otherwise a zero
  // block of the level's size uploaded by kind. A GL error afterwards raises with its code.
  void Clear() override;
  void GenerateMipMap() override;
  // The level's own size in GL, tightly packed; cube maps raise before any GL call.
  bool RequestTextureData(std::vector<uint8_t>& ABytes, int64_t& ASize, int32_t ALevel) override;

private:
  void ClearByUpload(uint32_t AFormat, uint32_t AType);
};

class TOpenGLVantrelTextureBitmap : public TVantrelTextureBitmap {
  RTL_CLASS(TOpenGLVantrelTextureBitmap, TVantrelTextureBitmap)
public:
  TOpenGLVantrelTextureBitmap() = default;

  using TVantrelTextureBitmap::UpdateCubeMapFace;
  // ATexture must be square with a power-of-two side. APitch is not used: rows are tightly
  // packed.
  void UpdateCubeMapFace(TVantrelCubeMapFace ASide, TTexture* ATexture, const void* ABits,
                         int32_t APitch) override;
  // A buffer smaller than what GL reads raises before the upload. A nil buffer makes storage for
  // 3D kinds and does nothing for 2D.
  void UpdateBuffer(const void* ABuffer, int64_t ASize) override;
  // Uploads one tightly packed layer at z = ASlice; a slice outside 0 .. Depth - 1 or a buffer
  // smaller than a layer raises.
  void Update3DSlice(int32_t ASlice, const void* ABuffer, int64_t ASize) override;

private:
  // The bitmap's framework texture with a GL object; raises when none can be had.
  TVantrelTexture& RequireTextureObject();
};

// Installation counter: the first Initialize installs the five OpenGL classes, the matching last
// Finalize restores the abstract bases. Called on the UI thread.
void InitializeTexturingOpenGL();
void FinalizeTexturingOpenGL();

inline constexpr std::string_view SCannotUploadTexture = "Cannot upload texture for %s";
inline constexpr std::string_view SBufferTooSmall = "failed to upload texture - buffer too small (%d < %d)";
inline constexpr std::string_view SSliceOutOfRange =
    "failed to upload texture slice - slice %d outside 0..%d";
inline constexpr std::string_view SInvalidCubeMapFaceSize =
    "Invalid cube map face texture size! Cubemap texture needs to be even and dimension must be a power of 2 "
    "(2^x).";
inline constexpr std::string_view SMipMapsByUpdateBuffer =
    "failed to generate mipmaps by UpdateBuffer (Error = %d)";
inline constexpr std::string_view SMipMapsByUpdate3DSlice =
    "failed to generate mipmaps by Update3DSlice (Error = %d)";
inline constexpr std::string_view SFailedToGenerateMipMaps = "failed to generate mipmaps (Error = %d)";
inline constexpr std::string_view SFailedToClearTexture = "failed to clear texture (Error = %d)";
inline constexpr std::string_view SUnsupportedTextureKind =
    "failed to request texture data - unsupported texture kind";
inline constexpr std::string_view SFailedToRequestTextureData = "failed to request texture data [error = %d]";

} // namespace vantrel
