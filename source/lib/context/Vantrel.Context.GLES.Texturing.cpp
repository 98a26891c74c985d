// Texture objects of the OpenGL context: how a texture's GL object is described, created,
// uploaded, updated and freed, and the report written when creation fails.
#include "context/Vantrel.Context.GLES.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "context/Vantrel.Context.Extension.h"
#include "context/Vantrel.Context.GLState.OpenGL.h"
#include "context/Vantrel.Context.Texturing.OpenGL.h"
#include "context/Vantrel.Context.Texturing.h"
#include "context/Vantrel.Context.Types.OpenGL.h"
#include "gl/egl_context.h"
#include "gl/names.h"
#include "rtl/ioutils.h"
#include "rtl/log.h"
#include "ui/texture.h"

namespace vantrel {

namespace {

// The highest mipmap level a cube map is given.
constexpr GLint CubeMapMaxLevel = 9;

// What the GL object of a texture is made of. A plain UI texture is a 2D RGBA8 image of BGRA bytes.
struct TTextureDescription {
  TVantrelTexture* Framework = nullptr;
  int32_t Unit = 0;
  TVantrelTextureKind Kind = TVantrelTextureKind::Texture2D;
  GLenum Binding = GL_TEXTURE_BINDING_2D;
  GLenum Target = GL_TEXTURE_2D;
  int32_t Depth = 0;
  std::array<TVantrelTextureWrap, 3> Wraps{TVantrelTextureWrap::Repeated, TVantrelTextureWrap::Repeated,
                                           TVantrelTextureWrap::Repeated};
  TTextureStyles Styles;
  uint32_t Internal = 0;
  uint32_t Format = 0;
  uint32_t Type = 0;
  int32_t BytesPerPixel = 0;
};

TTextureDescription DescribeTexture(TTexture& ATexture) {
  TTextureDescription result;
  result.Styles = ATexture.Style();
  auto* texture = dynamic_cast<TVantrelTexture*>(&ATexture);
  if (!texture) {
    result.Internal = uint32_t(TPixelFormatExHelper::ToValue(TPixelFormatEx::RGBA8));
    result.Format = uint32_t(TPixelFormatExHelper::ToValue(TPixelFormatEx::BGRA));
    result.Type = uint32_t(TVantrelTextureDataTypeHelper::ToValue(TVantrelTextureDataType::dtUnsignedByte));
    result.BytesPerPixel = PixelFormatExBytesPerPixel(TPixelFormatEx::RGBA8);
    return result;
  }
  result.Framework = texture;
  result.Unit = std::max(texture->GetTextureUnit(), 0);
  result.Kind = texture->GetKind();
  texture->GetBindingAndKind(result.Binding, result.Target);
  result.Depth = texture->GetDepth();
  result.Wraps = {texture->GetWrapS(), texture->GetWrapT(), texture->GetWrapR()};
  result.Styles += texture->GetStyleEx();
  texture->GetFormatAndType(result.Internal, result.Format, result.Type);
  result.BytesPerPixel = PixelFormatExBytesPerPixel(texture->GetComponents());
  return result;
}

bool IsVolumeKind(TVantrelTextureKind AKind) {
  return AKind == TVantrelTextureKind::Texture3D || AKind == TVantrelTextureKind::ImageTexture3D ||
         AKind == TVantrelTextureKind::Array2D;
}

// The detail of a creation or upload failure.
std::string TextureDetail(const std::string& AClassName, const TTextureDescription& ADescription,
                          uint32_t AError) {
  if (const TVantrelTexture* texture = ADescription.Framework)
    return Format(STextureDetail, AClassName, AError,
                  TPixelFormatExHelper::ToString(texture->GetComponents()),
                  TPixelFormatExHelper::ToString(texture->GetFormat()),
                  TVantrelTextureDataTypeHelper::ToString(texture->GetDataType()));
  return Format(SPlainTextureDetail, AClassName, AError, ADescription.Internal, ADescription.Format);
}

// A texture's existing name, or one generated here that is deleted again unless it is released.
class TTextureName {
public:
  explicit TTextureName(THandle AHandle) : FExisting(static_cast<GLuint>(AHandle)) {
    if (FExisting == 0)
      FGenerated = gl::TTextureName::Generate();
  }

  GLuint Get() const { return FExisting != 0 ? FExisting : FGenerated.Get(); }
  // The texture object owns the name from here on and deletes it when it is finalised.
  GLuint Release() { return FExisting != 0 ? FExisting : FGenerated.Release(); }

private:
  GLuint FExisting = 0;
  gl::TTextureName FGenerated;
};

// Sets the unpack state for an upload and restores it when the upload ends, also by an exception.
class TPixelStateScope {
public:
  TPixelStateScope(const TVantrelContextOpenGLESClass& AClass, int32_t AWidth, int32_t AHeight,
                   int32_t ADepth, int32_t ABytesPerPixel, int32_t APitch)
      : FClass(AClass) {
    FClass.PlatformSetPixelState(AWidth, AHeight, ADepth, ABytesPerPixel, APitch);
  }
  ~TPixelStateScope() { FClass.PlatformUnsetPixelState(); }
  TPixelStateScope(const TPixelStateScope&) = delete;
  TPixelStateScope& operator=(const TPixelStateScope&) = delete;

private:
  const TVantrelContextOpenGLESClass& FClass;
};

// Wraps, mipmap style, border colour, filtering and the cube-map level range of the texture bound
// to the description's target. Render targets other than cube maps lose MipMaps in ADescription.
void SetTextureParameters(const TVantrelContextOpenGLESClass& AClass, TTexture& ATexture,
                          TTextureDescription& ADescription, GLuint AHandle, bool ABorder) {
  const GLenum target = ADescription.Target;
  glTexParameteri(target, GL_TEXTURE_WRAP_S,
                  GLint(TVantrelTextureWrapHelper::ToValue(ADescription.Wraps[0])));
  glTexParameteri(target, GL_TEXTURE_WRAP_T,
                  GLint(TVantrelTextureWrapHelper::ToValue(ADescription.Wraps[1])));
  if (IsVolumeKind(ADescription.Kind))
    glTexParameteri(target, GL_TEXTURE_WRAP_R,
                    GLint(TVantrelTextureWrapHelper::ToValue(ADescription.Wraps[2])));
  if (ADescription.Kind != TVantrelTextureKind::CubeMap &&
      ADescription.Styles.Contains(TTextureStyle::RenderTarget))
    ADescription.Styles.Exclude(TTextureStyle::MipMaps);
  if (ABorder && ADescription.Framework)
    glTexParameterfv(target, GL_TEXTURE_BORDER_COLOR, &ADescription.Framework->GetBorderColor().R);
  AClass.PlatformSetTextureFiltering(&ATexture, ADescription.Styles, target, ADescription.Internal);
  if (ADescription.Kind != TVantrelTextureKind::CubeMap)
    return;
  glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_LEVEL, CubeMapMaxLevel);
  if (const uint32_t error = DrainGLErrors(); error != GL_NO_ERROR)
    throw Exception(Format(SCubeMapStorageFailed, AHandle, error));
}

// Storage without pixels. Every mip level of an image texture has its own size.
void AllocateTextureStorage(const TTexture& ATexture, const TTextureDescription& ADescription) {
  const GLint internal = static_cast<GLint>(ADescription.Internal);
  const GLsizei width = ATexture.Width();
  const GLsizei height = ATexture.Height();
  const GLsizei depth = ADescription.Depth;
  if (ADescription.Kind == TVantrelTextureKind::CubeMap) {
    for (GLenum face = 0; face < 6; ++face)
      glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, internal, width, height, 0, ADescription.Format,
                   ADescription.Type, nullptr);
    return;
  }
  if (!IsVolumeKind(ADescription.Kind)) {
    glTexImage2D(ADescription.Target, 0, internal, width, height, 0, ADescription.Format, ADescription.Type,
                 nullptr);
    return;
  }
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  const int32_t levels = ADescription.Framework ? ADescription.Framework->GetMipMapLevels() : 0;
  if (ADescription.Kind != TVantrelTextureKind::ImageTexture3D || levels <= 1) {
    glTexImage3D(ADescription.Target, 0, internal, width, height, depth, 0, ADescription.Format,
                 ADescription.Type, nullptr);
    return;
  }
  glTexParameteri(ADescription.Target, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(ADescription.Target, GL_TEXTURE_MAX_LEVEL, levels - 1);
  for (int32_t level = 0; level < levels; ++level)
    glTexImage3D(ADescription.Target, level, internal, std::max(1, width >> level),
                 std::max(1, height >> level), std::max(1, depth >> level), 0, ADescription.Format,
                 ADescription.Type, nullptr);
}

// The whole image from one source: all six faces of a cube map, the whole volume of a 3D or array
// texture. Image textures are written by shaders, not uploaded.
void UploadTexturePixels(const TTexture& ATexture, const TTextureDescription& ADescription,
                         const void* APixels) {
  const GLsizei width = ATexture.Width();
  const GLsizei height = ATexture.Height();
  switch (ADescription.Kind) {
  case TVantrelTextureKind::ImageTexture3D:
    return;
  case TVantrelTextureKind::Texture3D:
  case TVantrelTextureKind::Array2D:
    glTexSubImage3D(ADescription.Target, 0, 0, 0, 0, width, height, ADescription.Depth, ADescription.Format,
                    ADescription.Type, APixels);
    return;
  case TVantrelTextureKind::CubeMap:
    for (GLenum face = 0; face < 6; ++face)
      glTexSubImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, 0, 0, width, height, ADescription.Format,
                      ADescription.Type, APixels);
    return;
  default:
    glTexSubImage2D(ADescription.Target, 0, 0, 0, width, height, ADescription.Format, ADescription.Type,
                    APixels);
  }
}

// The pixels an update reads: a framework texture's CPU block when it has one, else ABits. The
// UI framework hands over one image (Height rows), so a 3D or array texture is filled only from a
// block that holds its whole volume; without one the volume keeps its texels.
const void* UpdateSource(const TTexture& ATexture, const TTextureDescription& ADescription,
                         const void* ABits) {
  const TVantrelTexture* texture = ADescription.Framework;
  const bool volume = ADescription.Kind == TVantrelTextureKind::Texture3D ||
                      ADescription.Kind == TVantrelTextureKind::Array2D;
  if (!volume)
    return texture && texture->GetBuffer() ? texture->GetBuffer() : ABits;
  const int64_t needed = int64_t(ATexture.Width()) * ATexture.Height() * std::max(ADescription.Depth, 0) *
                         PixelDataBytes(texture->GetFormat(), texture->GetDataType());
  return texture->GetBuffer() && texture->GetBufferSize() >= needed ? texture->GetBuffer() : nullptr;
}

} // namespace

void TVantrelContextOpenGLESClass::InitializeTexture(TTexture* ATexture) const {
  RequireContextThread("InitializeTexture");
  try {
    CreateTextureObject(ATexture);
  } catch (const Exception& E) {
    WriteFailureReport(E.Message());
    throw;
  }
}

void TVantrelContextOpenGLESClass::CreateTextureObject(TTexture* ATexture) const {
  if (!Valid())
    throw Exception(std::string(SInvalidTextureContext));
  if (!PlatformIsContextAvailable() || !ATexture || ATexture->Width() == 0)
    return;
  // One stale error would otherwise read as this texture's failure.
  if (const uint32_t stale = DrainGLErrors(); stale != GL_NO_ERROR)
    Log::d(SStaleErrorBeforeTexture, stale);
  TTextureDescription description = DescribeTexture(*ATexture);
  // The unit first, so that the texture bound before is the one on this unit.
  glActiveTexture(static_cast<GLenum>(GetTextureByTextureIndex(description.Unit)));
  TTextureName name(ATexture->Handle());
  {
    TTextureBindingGuard binding(description.Target, description.Binding, name.Get());
    SetTextureParameters(*this, *ATexture, description, name.Get(), true);
    {
      TPixelStateScope pixelState(*this, ATexture->Width(), ATexture->Height(), description.Depth,
                                  description.BytesPerPixel, 0);
      AllocateTextureStorage(*ATexture, description);
      if (const uint32_t error = DrainGLErrors(); error != GL_NO_ERROR)
        RaiseContextException(nullptr, ui::messages::CannotCreateTexture,
                              TextureDetail(Name(), description, error));
    }
    if (description.Styles.Contains(TTextureStyle::MipMaps))
      glGenerateMipmap(description.Target);
  }
  if (const uint32_t error = DrainGLErrors(); error != GL_NO_ERROR)
    RaiseContextException(nullptr, ui::messages::CannotCreateTexture, Format(SErrorDetail, Name(), error));
  static_cast<ITextureAccess&>(*ATexture).SetHandle(name.Release());
}

std::string TVantrelContextOpenGLESClass::FailureReport(const std::string& AMessage) const {
  return Format(SFailureReport, AMessage, PlatformGetVendorName(), PlatformGetRendererName(),
                PlatformGetVersion(), PlatformGetExtensionString(), PlatformMaxTextureSize(),
                PlatformMaxTexture3DSize(), PlatformTextureUnitCount(), PlatformMaxTextureImageUnits(),
                PlatformMaxVertexShaderUniformBlocks(), PlatformMaxFragmentShaderUniformBlocks(),
                PlatformMaxUniformBlockSize(), PlatformMaxDrawBuffers());
}

// Never raises: the texture's own failure is what the caller must see.
void TVantrelContextOpenGLESClass::WriteFailureReport(const std::string& AMessage) const {
  const std::string path =
      IncludeTrailingPathDelimiter(TPath::GetPublicPath()) + std::string(SContextLogFileName);
  try {
    TFile::WriteAllText(path, FailureReport(AMessage));
  } catch (const std::exception& E) {
    Log::d(SFailureReportNotWritten, path, E.what());
  }
}

void TVantrelContextOpenGLESClass::DoFinalizeTexture(TTexture* ATexture) const {
  if (!ATexture)
    return;
  auto& access = static_cast<ITextureAccess&>(*ATexture);
  try {
    // Off the context's thread the name is queued for it; teardown never makes a context.
    if (ATexture->Handle() != 0) {
      gl::DeleteName(gl::TNameKind::Texture, static_cast<GLuint>(ATexture->Handle()));
      if (gl::IsContextCurrent() && HasGLErrors())
        RaiseContextException(nullptr, ui::messages::ContextMethodError, "DoFinalizeTexture");
    }
  } catch (...) {
    access.SetHandle(0);
    throw;
  }
  access.SetHandle(0);
}

void TVantrelContextOpenGLESClass::UpdateTexture(TTexture* ATexture, const void* ABits,
                                                 int32_t APitch) const {
  if (!ATexture || ATexture->Handle() == 0)
    return;
  RequireContextThread("UpdateTexture");
  if (!PlatformIsContextAvailable())
    return;
  TTextureDescription description = DescribeTexture(*ATexture);
  const void* pixels = UpdateSource(*ATexture, description, ABits);
  const auto handle = static_cast<GLuint>(ATexture->Handle());
  glActiveTexture(static_cast<GLenum>(GetTextureByTextureIndex(description.Unit)));
  {
    TTextureBindingGuard binding(description.Target, description.Binding, handle);
    SetTextureParameters(*this, *ATexture, description, handle, false);
    if (!description.Styles.Contains(TTextureStyle::RenderTarget) && pixels) {
      {
        TPixelStateScope pixelState(*this, ATexture->Width(), ATexture->Height(), description.Depth,
                                    description.BytesPerPixel, APitch);
        UploadTexturePixels(*ATexture, description, pixels);
      }
      if (const uint32_t error = DrainGLErrors(); error != GL_NO_ERROR)
        RaiseContextException(nullptr, ui::messages::CannotUploadTexture,
                              TextureDetail(Name(), description, error));
    }
    if (description.Styles.Contains(TTextureStyle::MipMaps))
      glGenerateMipmap(description.Target);
  }
  if (HasGLErrors())
    RaiseContextException(nullptr, ui::messages::CannotUploadTexture, Name());
}

} // namespace vantrel
