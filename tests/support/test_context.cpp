#include "support/test_context.h"

#include <epoxy/gl.h>

#include <algorithm>

#include "context/Vantrel.Context.Texturing.OpenGL.h"
#include "context/Vantrel.Context.Texturing.h"
#include "context/Vantrel.Context.Types.h"
#include "gl/egl_context.h"
#include "rtl/sysutils.h"

namespace vtest {

using namespace vantrel;

RTL_DEFINE_CLASS_META(TTestContext, "Vantrel.Tests", TTestContextClass)

namespace {

[[noreturn]] void NotAvailable() {
  throw EContext3DException(SNotAvailableInTestContext);
}

// What a texture asks of GL: a plain UI texture is a 2D RGBA8 image of BGRA bytes.
struct TTextureDescription {
  int32_t Unit = 0;
  TVantrelTextureKind Kind = TVantrelTextureKind::Texture2D;
  TGLTextureKindTarget Target = TextureKindToGL(TVantrelTextureKind::Texture2D);
  int32_t Depth = 0;
  std::array<TVantrelTextureWrap, 3> Wraps{TVantrelTextureWrap::Repeated, TVantrelTextureWrap::Repeated,
                                           TVantrelTextureWrap::Repeated};
  TTextureStyles Styles;
  uint32_t Internal = 0, Format = 0, Type = 0;
  int32_t BytesPerPixel = 4;
  const TVantrelTexture* Framework = nullptr;
};

TTextureDescription Describe(const TTexture& ATexture) {
  TTextureDescription result;
  result.Styles = ATexture.Style();
  const auto* texture = dynamic_cast<const TVantrelTexture*>(&ATexture);
  if (!texture) {
    result.Internal = PixelFormatExToGL(TPixelFormatEx::RGBA8);
    result.Format = PixelFormatExToGL(TPixelFormatEx::BGRA);
    result.Type = TextureDataTypeToGL(TVantrelTextureDataType::dtUnsignedByte);
    return result;
  }
  result.Framework = texture;
  result.Unit = std::max(texture->GetTextureUnit(), 0);
  result.Kind = texture->GetKind();
  texture->GetBindingAndKind(result.Target.Binding, result.Target.Target);
  result.Depth = texture->GetDepth();
  result.Wraps = {texture->GetWrapS(), texture->GetWrapT(), texture->GetWrapR()};
  result.Styles += texture->GetStyleEx();
  texture->GetFormatAndType(result.Internal, result.Format, result.Type);
  result.BytesPerPixel = PixelFormatExBytesPerPixel(texture->GetComponents());
  return result;
}

bool IsLayered(TVantrelTextureKind AKind) {
  return AKind == TVantrelTextureKind::Texture3D || AKind == TVantrelTextureKind::ImageTexture3D ||
         AKind == TVantrelTextureKind::Array2D;
}

// Binds a texture on its unit for the scope; the unit and its previous texture come back.
class TBoundTexture {
public:
  TBoundTexture(const TTestContextClass& AClass, const TTextureDescription& ADescription, GLuint AHandle)
      : FTarget(ADescription.Target.Target) {
    glGetIntegerv(GL_ACTIVE_TEXTURE, &FActive);
    glActiveTexture(static_cast<GLenum>(AClass.GetTextureByTextureIndex(ADescription.Unit)));
    glGetIntegerv(ADescription.Target.Binding, &FPrevious);
    glBindTexture(FTarget, AHandle);
  }
  ~TBoundTexture() {
    glBindTexture(FTarget, static_cast<GLuint>(FPrevious));
    glActiveTexture(static_cast<GLenum>(FActive));
  }
  TBoundTexture(const TBoundTexture&) = delete;
  TBoundTexture& operator=(const TBoundTexture&) = delete;

private:
  GLenum FTarget;
  GLint FActive = 0;
  GLint FPrevious = 0;
};

class TPixelState {
public:
  TPixelState(const TTestContextClass& AClass, int32_t AWidth, int32_t AHeight, int32_t ADepth,
              int32_t ABytesPerPixel, int32_t APitch)
      : FClass(AClass) {
    FClass.PlatformSetPixelState(AWidth, AHeight, ADepth, ABytesPerPixel, APitch);
  }
  ~TPixelState() { FClass.PlatformUnsetPixelState(); }
  TPixelState(const TPixelState&) = delete;
  TPixelState& operator=(const TPixelState&) = delete;

private:
  const TTestContextClass& FClass;
};

void MakeStorage(const TTexture& ATexture, const TTextureDescription& ADescription) {
  const GLint internal = static_cast<GLint>(ADescription.Internal);
  const GLsizei width = ATexture.Width(), height = ATexture.Height();
  if (ADescription.Kind == TVantrelTextureKind::CubeMap) {
    for (GLenum face = GL_TEXTURE_CUBE_MAP_POSITIVE_X; face <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z; ++face)
      glTexImage2D(face, 0, internal, width, height, 0, ADescription.Format, ADescription.Type, nullptr);
  } else if (IsLayered(ADescription.Kind))
    glTexImage3D(ADescription.Target.Target, 0, internal, width, height, ADescription.Depth, 0,
                 ADescription.Format, ADescription.Type, nullptr);
  else
    glTexImage2D(ADescription.Target.Target, 0, internal, width, height, 0, ADescription.Format,
                 ADescription.Type, nullptr);
}

} // namespace

// ---- TTestContextClass ---------------------------------------------------------------------------

bool TTestContextClass::Valid() const {
  return gl::HasContext();
}

void TTestContextClass::InitializeTexture(TTexture* ATexture) const {
  if (!ATexture || ATexture->Width() == 0 || !gl::HasContext())
    return;
  TTextureDescription description = Describe(*ATexture);
  GLuint handle = static_cast<GLuint>(ATexture->Handle());
  const bool generated = handle == 0;
  if (generated)
    glGenTextures(1, &handle);
  {
    TBoundTexture bound(*this, description, handle);
    const GLenum target = description.Target.Target;
    glTexParameteri(target, GL_TEXTURE_WRAP_S, static_cast<GLint>(TextureWrapToGL(description.Wraps[0])));
    glTexParameteri(target, GL_TEXTURE_WRAP_T, static_cast<GLint>(TextureWrapToGL(description.Wraps[1])));
    if (IsLayered(description.Kind))
      glTexParameteri(target, GL_TEXTURE_WRAP_R, static_cast<GLint>(TextureWrapToGL(description.Wraps[2])));
    if (description.Kind != TVantrelTextureKind::CubeMap &&
        description.Styles.Contains(TTextureStyle::RenderTarget))
      description.Styles.Exclude(TTextureStyle::MipMaps);
    if (description.Framework)
      glTexParameterfv(target, GL_TEXTURE_BORDER_COLOR, &description.Framework->GetBorderColor().R);
    PlatformSetTextureFiltering(ATexture, description.Styles, target, description.Internal);
    {
      TPixelState pixelState(*this, ATexture->Width(), ATexture->Height(), description.Depth,
                             description.BytesPerPixel, 0);
      MakeStorage(*ATexture, description);
    }
    if (description.Styles.Contains(TTextureStyle::MipMaps))
      glGenerateMipmap(target);
  }
  if (const int32_t error = GetContextError()) {
    if (generated)
      glDeleteTextures(1, &handle);
    throw EContext3DException(
        Format("cannot create texture for %s (Error = %d)", {ATexture->ClassName(), error}));
  }
  static_cast<ITextureAccess&>(*ATexture).SetHandle(handle);
}

void TTestContextClass::DoFinalizeTexture(TTexture* ATexture) const {
  if (!ATexture || ATexture->Handle() == 0)
    return;
  if (gl::HasContext()) {
    const auto handle = static_cast<GLuint>(ATexture->Handle());
    glDeleteTextures(1, &handle);
  }
  static_cast<ITextureAccess&>(*ATexture).SetHandle(0);
}

void TTestContextClass::UpdateTexture(TTexture* ATexture, const void* ABits, int32_t APitch) const {
  if (!ATexture || ATexture->Handle() == 0 || !gl::HasContext())
    return;
  const TTextureDescription description = Describe(*ATexture);
  if (description.Kind != TVantrelTextureKind::Texture2D ||
      description.Styles.Contains(TTextureStyle::RenderTarget))
    return;
  const void* pixels = description.Framework && description.Framework->GetBuffer()
                           ? description.Framework->GetBuffer()
                           : ABits;
  {
    TBoundTexture bound(*this, description, static_cast<GLuint>(ATexture->Handle()));
    PlatformSetTextureFiltering(ATexture, description.Styles, description.Target.Target,
                                description.Internal);
    {
      TPixelState pixelState(*this, ATexture->Width(), ATexture->Height(), 0, description.BytesPerPixel,
                             APitch);
      glTexSubImage2D(description.Target.Target, 0, 0, 0, ATexture->Width(), ATexture->Height(),
                      description.Format, description.Type, pixels);
    }
    if (description.Styles.Contains(TTextureStyle::MipMaps))
      glGenerateMipmap(description.Target.Target);
  }
  if (const int32_t error = GetContextError())
    throw EContext3DException(
        Format("cannot upload texture for %s (Error = %d)", {ATexture->ClassName(), error}));
}

void TTestContextClass::InitializeShader(TContextShader*) const {
  NotAvailable();
}

void TTestContextClass::DoFinalizeShader(TContextShader*) const {
  NotAvailable();
}

int32_t TTestContextClass::GetTextureByTextureIndex(int32_t ATextureIndex) const {
  return ATextureIndex >= 1 && ATextureIndex <= 31 ? GL_TEXTURE0 + ATextureIndex : GL_TEXTURE0;
}

TBlendSetting TTestContextClass::GetDefaultBlending() const {
  NotAvailable();
}

int32_t TTestContextClass::PlatformDirectStateAccess() const {
  NotAvailable();
}

void TTestContextClass::PlatformSetTextureFiltering(TTexture* ATexture, TTextureStyles AStyles,
                                                    uint32_t ATextureKind, uint32_t AInternalFormat) const {
  const bool mipMaps = AStyles.Contains(TTextureStyle::MipMaps);
  GLint mag = GL_NEAREST, min = GL_NEAREST;
  if (!TPixelFormatExHelper::IsIntegerTexture(static_cast<intptr_t>(AInternalFormat))) {
    const bool linearMag = ATexture->MagFilter() == TTextureFilter::Linear;
    const bool linearMin = ATexture->MinFilter() == TTextureFilter::Linear;
    mag = linearMag ? GL_LINEAR : GL_NEAREST;
    if (mipMaps)
      min = linearMin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST;
    else
      min = linearMin ? GL_LINEAR : GL_NEAREST;
  }
  glTexParameteri(ATextureKind, GL_TEXTURE_MAG_FILTER, mag);
  glTexParameteri(ATextureKind, GL_TEXTURE_MIN_FILTER, min);
  if (mipMaps) {
    glTexParameteri(ATextureKind, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(ATextureKind, GL_TEXTURE_MAX_LEVEL, 16);
  }
}

void TTestContextClass::PlatformSetPixelState(int32_t AWidth, int32_t, int32_t ADepth, int32_t ABytesPerPixel,
                                              int32_t APitch) const {
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &FClientAttribDepth);
  const TUnpackLayout layout = UnpackLayoutFor(AWidth, ADepth, ABytesPerPixel, APitch);
  glPixelStorei(GL_UNPACK_ALIGNMENT, layout.Alignment);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, layout.RowLength);
}

void TTestContextClass::PlatformUnsetPixelState() const {
  if (FClientAttribDepth <= 0)
    return;
  glPopClientAttrib();
  glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &FClientAttribDepth);
}

bool TTestContextClass::PlatformIsContextAvailable() const {
  return gl::HasContext();
}

std::string TTestContextClass::PlatformGetVendorName() const {
  return gl::Identity().Vendor;
}

std::string TTestContextClass::PlatformGetRendererName() const {
  return gl::Identity().Renderer;
}

std::string TTestContextClass::PlatformGetVersion() const {
  return gl::Identity().Version;
}

std::string TTestContextClass::PlatformGetExtensionString() const {
  return gl::Extensions();
}

bool TTestContextClass::PlatformHasAnyErrors() const {
  return GetContextError() != 0;
}

bool TTestContextClass::PlatformHasAnyErrors(intptr_t& AError) const {
  AError = GetContextError();
  return AError != 0;
}

int32_t TTestContextClass::Limit(TTestLimit ALimit, uint32_t AQuery) const {
  if (const std::optional<int32_t>& value = FLimits[size_t(ALimit)])
    return *value;
  GLint result = 0;
  glGetIntegerv(AQuery, &result);
  return result;
}

int32_t TTestContextClass::PlatformMaxTextureSize() const {
  return Limit(TTestLimit::MaxTextureSize, GL_MAX_TEXTURE_SIZE);
}
int32_t TTestContextClass::PlatformMaxTexture3DSize() const {
  return Limit(TTestLimit::MaxTexture3DSize, GL_MAX_3D_TEXTURE_SIZE);
}
int32_t TTestContextClass::PlatformTextureUnitCount() const {
  return Limit(TTestLimit::TextureUnitCount, GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS);
}
int32_t TTestContextClass::PlatformMaxTextureImageUnits() const {
  return Limit(TTestLimit::MaxTextureImageUnits, GL_MAX_TEXTURE_IMAGE_UNITS);
}
int32_t TTestContextClass::PlatformMaxVertexShaderUniformBlocks() const {
  return Limit(TTestLimit::MaxVertexShaderUniformBlocks, GL_MAX_VERTEX_UNIFORM_BLOCKS);
}
int32_t TTestContextClass::PlatformMaxFragmentShaderUniformBlocks() const {
  return Limit(TTestLimit::MaxFragmentShaderUniformBlocks, GL_MAX_FRAGMENT_UNIFORM_BLOCKS);
}
int32_t TTestContextClass::PlatformMaxUniformBlockSize() const {
  return Limit(TTestLimit::MaxUniformBlockSize, GL_MAX_UNIFORM_BLOCK_SIZE);
}
int32_t TTestContextClass::PlatformMaxDrawBuffers() const {
  return Limit(TTestLimit::MaxDrawBuffers, GL_MAX_DRAW_BUFFERS);
}
int32_t TTestContextClass::PlatformMaxLightCount() const {
  NotAvailable();
}
TContextStyles TTestContextClass::PlatformStyle() const {
  NotAvailable();
}
bool TTestContextClass::PlatformTextureCompressionAllowed() const {
  NotAvailable();
}

// ---- TTestContext --------------------------------------------------------------------------------

void TTestContext::StorePreviousContextSize() {
  GetContextSize(FOldViewport);
}

void TTestContext::SetContextSize(int32_t AXOfs, int32_t AYOfs, int32_t AWidth, int32_t AHeight) {
  glViewport(AXOfs, AYOfs, AWidth, AHeight);
}

void TTestContext::SetContextSize(const TVantrelContextSize& ASize) {
  SetContextSize(ASize[0], ASize[1], ASize[2], ASize[3]);
}

void TTestContext::GetContextSize(TVantrelContextSize& ASize) {
  glGetIntegerv(GL_VIEWPORT, ASize.data());
}

void TTestContext::AcquireSharedGLContext() {
  NotAvailable();
}
void TTestContext::ReleaseSharedGLContext() {
  NotAvailable();
}
void TTestContext::ApplyContextStates(TFMXContextStates) {
  NotAvailable();
}
uint32_t TTestContext::MemoryBarrierFlagToBits(TMemoryBarrierFlag) {
  NotAvailable();
}
void TTestContext::SetMemoryBarrierBits(TMemoryBarrierFlags) {
  NotAvailable();
}
void TTestContext::SetMemoryBarrierBit(TMemoryBarrierFlag) {
  NotAvailable();
}
void TTestContext::FetchMemoryBarrierBit() {
  NotAvailable();
}
void TTestContext::SetFlatShading() {
  NotAvailable();
}
void TTestContext::SetSmoothShading() {
  NotAvailable();
}
void TTestContext::DrawScreenRectangle(const TAlphaColorF&) {
  NotAvailable();
}
void TTestContext::BeginOrtho(float, float, float, float, float, float) {
  NotAvailable();
}
void TTestContext::BeginOrtho(const TOrthographicData&) {
  NotAvailable();
}
void TTestContext::EndOrtho() {
  NotAvailable();
}
void TTestContext::SetGlobalBlending(const TBlendSetting&) {
  NotAvailable();
}
void TTestContext::SetBlendingByIndex(uint32_t, const TBlendSetting&) {
  NotAvailable();
}
void TTestContext::EnableBlendingBuffers() {
  NotAvailable();
}
void TTestContext::DisableBlendingBuffers() {
  NotAvailable();
}
void TTestContext::DoSetContextState(TContextState) {
  NotAvailable();
}
void TTestContext::DoClear(TClearTargets, TAlphaColor, float, uint32_t) {
  NotAvailable();
}
void TTestContext::DoSetStencilOp(TStencilOp, TStencilOp, TStencilOp) {
  NotAvailable();
}
void TTestContext::DoSetStencilFunc(TStencilFunc, uint32_t, uint32_t) {
  NotAvailable();
}
void TTestContext::DoSetScissorRect(const TRect&) {
  NotAvailable();
}
void TTestContext::DoDrawPrimitivesBatch(TPrimitivesKind, const void*, const void*, const TVertexDeclaration&,
                                         int32_t, int32_t, int32_t, int32_t) {
  NotAvailable();
}
void TTestContext::DoSetShaders(TContextShader*, TContextShader*) {
  NotAvailable();
}
void TTestContext::DoSetShaderVariable(const std::string&, std::span<const TVector3D>) {
  NotAvailable();
}
void TTestContext::DoSetShaderVariable(const std::string&, TTexture*) {
  NotAvailable();
}
void TTestContext::DoCopyToBits(void*, int32_t, const TRect&) {
  NotAvailable();
}
void TTestContext::DoClearEx(TRenderTargets, TAlphaColor, float, uint32_t) {
  NotAvailable();
}
void TTestContext::DoClearBufferFloat(int32_t, const float*) {
  NotAvailable();
}
void TTestContext::DoSetTwoSidedRendering(TStencilOpEx, TStencilOpEx, TStencilOpEx, TStencilOpEx,
                                          TStencilOpEx, TStencilOpEx, uint32_t, uint32_t) {
  NotAvailable();
}
void TTestContext::DoSetPolygonOffsetFill(TPolygonOffsetFill, float, float) {
  NotAvailable();
}
void TTestContext::DoSetSmoothMode(const TSmoothSetting&) {
  NotAvailable();
}
void TTestContext::DoSetPointSprites(bool) {
  NotAvailable();
}
void TTestContext::DoSetPointSpriteTextureMode() {
  NotAvailable();
}
void TTestContext::DoSetShaderVariableMat4(const std::string&, const TMatrix3D&) {
  NotAvailable();
}
void TTestContext::DoSetShaderVariableInt(const std::string&, int32_t) {
  NotAvailable();
}

} // namespace vtest
