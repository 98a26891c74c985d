#pragma once
// GPU buffers of the shared GL context, API-neutral: frame buffers with the textures attached to
// them, buffer objects (vertex, index, uniform and other buffers) and the per-mesh cache of
// component buffers. The OpenGL bodies live in Vantrel.Context.Buffers.OpenGL, which installs its
// classes into the three class references declared here; framework code creates frame buffers,
// texture maps and buffer objects only through those references.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Types.h"
#include "gl/names.h"
#include "rtl/colors.h"
#include "rtl/object.h"
#include "rtl/set.h"
#include "rtl/streams.h"
#include "rtl/types2d.h"
#include "ui/context3d.h"
#include "ui/mesh_buffers.h"
#include "ui/texture.h"

namespace vantrel {

// ---- Vertex attributes ------------------------------------------------------------------------------

// The bytes one vertex's attribute takes when written on its own: 12 for positions, normals,
// binormals and tangents, 4 for every colour (float colours are written as 32-bit colours), 8 for
// texture coordinates; 0 for ordinals 16 and above, which write nothing.
int32_t VertexAttributeSize(ui::TVertexFormat AFormat);

// Writes the attribute AFormat of every vertex of ABuffer, tightly packed, at AStream's position,
// then rewinds AStream. An attribute the buffer lacks is written as zeros; a nil stream does
// nothing.
void WriteVertexAttribute(ui::TVertexFormat AFormat, const ui::TVertexBuffer* ABuffer,
                          rtl::TMemoryStream* AStream);

// ---- Render targets -------------------------------------------------------------------------------

// Depth and Stencil sit between the first two colours: the order is persisted as it is.
enum class TRenderTarget : uint8_t {
  Color_0,
  Depth,
  Stencil,
  Color_1,
  Color_2,
  Color_3,
  Color_4,
  Color_5,
  Color_6,
  Color_7,
  Color_8,
  Color_9,
  Color_10,
  Color_11,
  Color_12,
  Color_13,
  Color_14,
  Color_15,
};
RTL_ENUM_TYPEINFO(TRenderTarget, "Color_0", "Depth", "Stencil", "Color_1", "Color_2", "Color_3", "Color_4",
                  "Color_5", "Color_6", "Color_7", "Color_8", "Color_9", "Color_10", "Color_11", "Color_12",
                  "Color_13", "Color_14", "Color_15")
using TRenderTargets = rtl::TSet<TRenderTarget>;
inline constexpr int RenderTargetCount = 18;

// The colour number of a colour target (0 for Color_0, n for Color_n); -1 for Depth and Stencil.
constexpr int ColorIndexOf(TRenderTarget ATarget) {
  const int ordinal = static_cast<int>(ATarget);
  if (ordinal == 0)
    return 0;
  return ordinal >= 3 && ordinal < RenderTargetCount ? ordinal - 2 : -1;
}

// The text of the exception CheckStatus raises for a frame-buffer status, given whether any
// texture is attached; nullopt when the status raises nothing (complete, or an incomplete frame
// buffer without textures). The text takes the status and the frame buffer's name as %d.
std::optional<std::string_view> FrameBufferStatusText(uint32_t AStatus, bool AAnyTexture);

inline constexpr std::string_view SErrorInContextMethodResource = "Error in context method \"%s\".";
inline constexpr std::string_view SNotEnoughAttachments =
    "failed to attach texture to FBO - not enough attachments available";

// ---- Buffer enumerations ------------------------------------------------------------------------

enum class TBufferUsage : uint8_t {
  StreamDraw,
  StreamRead,
  StreamCopy,
  StaticDraw,
  StaticRead,
  StaticCopy,
  DynamicDraw,
  DynamicRead,
  DynamicCopy
};
RTL_ENUM_TYPEINFO(TBufferUsage, "StreamDraw", "StreamRead", "StreamCopy", "StaticDraw", "StaticRead",
                  "StaticCopy", "DynamicDraw", "DynamicRead", "DynamicCopy")

enum class TBufferBindingTarget : uint8_t {
  _Array,
  CopyRead,
  CopyWrite,
  DrawIndirect,
  ElementArray,
  PixelPack,
  PixelUnpack,
  Texture,
  TransformFeedback,
  Uniform
};
RTL_ENUM_TYPEINFO(TBufferBindingTarget, "_Array", "CopyRead", "CopyWrite", "DrawIndirect", "ElementArray",
                  "PixelPack", "PixelUnpack", "Texture", "TransformFeedback", "Uniform")

enum class TBufferAccessMode : uint8_t { ReadOnly, WriteOnly, ReadWrite };
RTL_ENUM_TYPEINFO(TBufferAccessMode, "ReadOnly", "WriteOnly", "ReadWrite")

// Ordinals 0 to 15 equal those of the UI framework's TVertexFormat.
enum class TMeshBufferComponent : uint8_t {
  Vertex,
  Normal,
  Color0,
  Color1,
  Color2,
  Color3,
  ColorF0,
  ColorF1,
  ColorF2,
  ColorF3,
  TexCoord0,
  TexCoord1,
  TexCoord2,
  TexCoord3,
  BiNormal,
  Tangent,
  All,
  Indices
};
RTL_ENUM_TYPEINFO(TMeshBufferComponent, "Vertex", "Normal", "Color0", "Color1", "Color2", "Color3", "ColorF0",
                  "ColorF1", "ColorF2", "ColorF3", "TexCoord0", "TexCoord1", "TexCoord2", "TexCoord3",
                  "BiNormal", "Tangent", "All", "Indices")
inline constexpr int MeshBufferComponentCount = 18;

class TFrameBufferObject;
class TFBOTextureMap;
class TBufferObject;

// ---- Class references -----------------------------------------------------------------------------

class TFrameBufferObjectClass : public rtl::TClass {
public:
  using TClass::TClass;
  // Makes a frame buffer of this class; a creation that raises frees the partly built object.
  // The base class is abstract and raises EAbstractError.
  TFrameBufferObject* Create(ui::TContext3D* AContext, bool AIsMultisampleBuffer,
                             ui::TMultisample AMultisample, void* AOwnerContext) const;
};

class TFBOTextureMapClass : public rtl::TClass {
public:
  using TClass::TClass;
  TFBOTextureMap* Create(TFrameBufferObject* AFBO) const;
};

class TBufferObjectClass : public rtl::TClass {
public:
  using TClass::TClass;
  TBufferObject* Create(TBufferUsage AUsage, TBufferBindingTarget ATarget, ui::TContext3D* AContext) const;
};

// ---- Frame buffers --------------------------------------------------------------------------------

// The textures attached to one frame buffer, one per render target. The map never frees a texture.
class TFBOTextureMap : public rtl::TObject {
  RTL_CLASS_META(TFBOTextureMap, rtl::TObject, TFBOTextureMapClass)
  friend class TFBOTextureMapClass;

public:
  // The installed texture-map class; the abstract base until an implementation is installed.
  static TFBOTextureMapClass& TextureMapClass();
  // nullptr restores the abstract base.
  static void SetTextureMapClass(TFBOTextureMapClass* AClass);

  TFrameBufferObject* FBO() const { return FFBO; }
  // Stores ATexture at ATarget, replacing what was there.
  virtual void AddTexture(ui::TTexture* ATexture, TRenderTarget ATarget);
  // Detaches whatever ATarget holds from the bound frame buffer and empties the entry.
  virtual void RemoveTexture(TRenderTarget ATarget) = 0;
  // Removes the first target, in target order, that holds ATexture.
  virtual void RemoveTexture(ui::TTexture* ATexture);
  virtual bool TextureExists(TRenderTarget ATarget, const ui::TTexture* ATexture) const;
  virtual ui::TTexture* GetTextureByTarget(TRenderTarget ATarget) const;
  virtual void Clear();
  virtual int32_t Count() const;
  virtual void RemoveAll();

protected:
  TFBOTextureMap() = default;
  virtual void Create(TFrameBufferObject* AFBO);

  TFrameBufferObject* FFBO = nullptr;
  std::array<ui::TTexture*, RenderTargetCount> FTargets{};
};

// A frame buffer with its GL name, size, colour render buffer, depth-stencil buffer, sample count
// and the textures attached to it. Bind, Unbind, Resize, AttachTexture and AttachDepthBuffer are
// what the context calls; the other GPU members raise EAbstractError until a frame-buffer class
// overrides them, so a double that implements only the context's calls stays concrete.
class TFrameBufferObject : public rtl::TObject {
  RTL_CLASS_META(TFrameBufferObject, rtl::TObject, TFrameBufferObjectClass)
  friend class TFrameBufferObjectClass;

public:
  // The installed frame-buffer class; the abstract base until an implementation is installed.
  static TFrameBufferObjectClass& FrameBufferClass();
  // nullptr restores the abstract base.
  static void SetFrameBufferClass(TFrameBufferObjectClass* AClass);

  // The GL attachment point of a target; values outside the enumeration give the first colour.
  static uint32_t RenderTargetToValue(TRenderTarget ATarget);

  uint32_t Handle() const { return FHandle.Get(); }
  void* OwnerContext() const { return FOwnerContext; }
  ui::TContext3D* Context() const { return FContext; }
  void SetContext(ui::TContext3D* AValue) { FContext = AValue; }
  const rtl::TSize& Size() const { return FSize; }
  virtual uint32_t DepthBuf() const { return FDepthBuf ? FDepthBuf->Get() : 0; }
  // The depth-stencil render buffer, shared with every frame buffer that attached it.
  const gl::TSharedRenderBufferName& SharedDepthBuf() const { return FDepthBuf; }
  uint32_t RenderBuf() const { return FRenderBuf.Get(); }
  bool IsMultisampleBuffer() const { return FIsMultisampleBuffer; }
  // 0 for no multisampling, else 2 or 4.
  int32_t SampleCount() const { return FMSValue; }
  TFBOTextureMap& Textures() const { return *FTextures; }

  virtual bool HasHandle() const { return bool(FHandle); }
  // Checks the bound frame buffer: True when complete; otherwise raises the status text, or
  // answers False for an incomplete frame buffer that holds no texture.
  virtual bool CheckStatus();
  virtual void CreateHandle();
  virtual void DestroyHandle();
  // Detaches every texture (and whatever sits at depth and stencil), keeping DepthBuf attached.
  virtual void Reset();
  // Raises when the driver has fewer colour attachments than ATarget needs.
  virtual void CheckMaxAttachments(TRenderTarget ATarget);
  virtual void AttachTexture(ui::TContext3D* AContext, ui::TTexture* ATexture, TRenderTarget ATarget) = 0;
  virtual void DetachTexture(ui::TTexture* ATexture);
  virtual ui::TTexture* GetTextureByRenderTarget(TRenderTarget ATarget);
  virtual void CreateRenderBuffer(int32_t AWidth, int32_t AHeight);
  virtual void DestroyRenderBuffer();
  virtual void CreateDepthBuffer(int32_t AWidth, int32_t AHeight);
  virtual void DestroyDepthBuffer();
  // Attaches the depth-stencil render buffer ABufId of another frame buffer, re-specified at the
  // given size. The buffer is shared: it lives until the last frame buffer using it goes.
  virtual void AttachDepthBuffer(uint32_t ABufId, const rtl::TPoint& ASize) = 0;
  virtual void DetachDepthBuffer() {}
  // Binds the frame buffer; through the framework's context it is pushed on the context's stack.
  virtual void Bind(ui::TContext3D* AContext) = 0;
  // Pops the context's stack and binds the frame buffer that was popped (0 when none).
  virtual void Unbind(ui::TContext3D* AContext) = 0;
  virtual void Resize(int AWidth, int AHeight) = 0;
  // Sets the draw buffers to the colour targets of ATargets, in target order.
  virtual void Prepare(TRenderTargets ATargets);
  virtual void Clear(TRenderTarget ATarget, const rtl::TAlphaColorF& AColor, float ADepth, uint32_t AStencil,
                     bool AForceDraw);
  virtual void Clear(TRenderTargets ATargets, const rtl::TAlphaColorF& AColor, float ADepth,
                     uint32_t AStencil, bool AForceDraw);

protected:
  TFrameBufferObject() = default;
  // The creation body: stores the arguments, makes the texture map through its class reference
  // and the GL name through CreateHandle.
  virtual void Create(ui::TContext3D* AContext, bool AIsMultisampleBuffer, ui::TMultisample AMultisample,
                      void* AOwnerContext);

  void* FOwnerContext = nullptr;
  gl::TFrameBufferName FHandle;
  ui::TContext3D* FContext = nullptr;
  rtl::TSize FSize;
  gl::TSharedRenderBufferName FDepthBuf;
  gl::TRenderBufferName FRenderBuf;
  bool FIsMultisampleBuffer = false;
  int32_t FMSValue = 0;
  rtl::TOwned<TFBOTextureMap> FTextures;
};

// Binds a frame buffer with its own context for a scope.
class TFrameBufferBinding {
public:
  explicit TFrameBufferBinding(TFrameBufferObject& AFBO) : FFBO(AFBO), FContext(AFBO.Context()) {
    FFBO.Bind(FContext);
  }
  ~TFrameBufferBinding() { FFBO.Unbind(FContext); }
  TFrameBufferBinding(const TFrameBufferBinding&) = delete;
  TFrameBufferBinding& operator=(const TFrameBufferBinding&) = delete;

private:
  TFrameBufferObject& FFBO;
  ui::TContext3D* FContext;
};

// ---- Buffer objects -------------------------------------------------------------------------------

inline constexpr std::string_view SBufferAlreadyBound = "failed to bind - buffer object already bound";
inline constexpr std::string_view SBufferNotBound = "failed to unbind - buffer object not bound";
inline constexpr std::string_view SLinkWithBindingPointFailed =
    "TBufferObject.LinkWithBindingPoint failed: %s";
inline constexpr std::string_view SLinkWithShaderProgramFailed =
    "TBufferObject.LinkWithShaderProgram failed: %s";
inline constexpr std::string_view SBufferErrorDetail = "%s (Error = %d)";

// A GPU buffer with a usage hint and a binding target. Bind and Unbind pair up: a second Bind or
// an Unbind without Bind raise.
class TBufferObject : public rtl::TObject {
  RTL_CLASS_META(TBufferObject, rtl::TObject, TBufferObjectClass)
  friend class TBufferObjectClass;

public:
  // The installed buffer-object class; the abstract base until an implementation is installed.
  static TBufferObjectClass& BufferObjectClass();
  // nullptr restores the abstract base.
  static void SetBufferObjectClass(TBufferObjectClass* AClass);

  ui::TContext3D* Context() const { return FContext; }
  uint32_t Handle() const { return FHandle.Get(); }
  // The bytes last uploaded with Push.
  intptr_t Size() const { return FSize; }
  TBufferUsage Usage() const { return FUsage; }
  TBufferBindingTarget Target() const { return FTarget; }
  bool IsBound() const { return FBinded; }
  bool IsLinked() const { return FLinked; }
  uint32_t BindingPoint() const { return FBindingPoint; }
  uint32_t BlockIndex() const { return FBlockIndex; }

  // Binds to the target and answers Size.
  virtual intptr_t Bind() = 0;
  virtual void Unbind() = 0;
  // New storage of ASize bytes from AData (which may be nil); the caller binds first.
  virtual void Push(const void* AData, intptr_t ASize) = 0;
  // Maps the bound buffer; neither takes a lock.
  virtual void* SynchronizedMap(TBufferAccessMode AMode) = 0;
  virtual void SynchronizedUnmap() = 0;
  virtual void Clear() = 0;
  // Connects the buffer to an indexed uniform binding point.
  virtual void LinkWithBindingPoint(uint32_t ABindingPoint, bool AErrorCheck) = 0;
  // Connects the named uniform block of the program with GPU name AProgram to the stored binding
  // point, looking the block up once per link; uploads AData when the buffer is bound.
  virtual void LinkWithShaderProgram(uint32_t AProgram, std::string_view ABlockName, const void* AData,
                                     uint32_t ASize, bool AErrorCheck) = 0;
  virtual void Unlink() { FLinked = false; }

protected:
  TBufferObject() = default;
  virtual void Create(TBufferUsage AUsage, TBufferBindingTarget ATarget, ui::TContext3D* AContext);

  ui::TContext3D* FContext = nullptr;
  gl::TBufferName FHandle;
  intptr_t FSize = 0;
  TBufferUsage FUsage = TBufferUsage::StaticDraw;
  TBufferBindingTarget FTarget = TBufferBindingTarget::_Array;
  bool FBinded = false;
  uint32_t FBindingPoint = 0;
  uint32_t FBlockIndex = 0;
  bool FLinked = false;
};

// Binds a buffer object for a scope.
class TBufferObjectBinding {
public:
  explicit TBufferObjectBinding(TBufferObject& ABuffer) : FBuffer(ABuffer) { FSize = FBuffer.Bind(); }
  ~TBufferObjectBinding() { FBuffer.Unbind(); }
  TBufferObjectBinding(const TBufferObjectBinding&) = delete;
  TBufferObjectBinding& operator=(const TBufferObjectBinding&) = delete;
  intptr_t Size() const { return FSize; }

private:
  TBufferObject& FBuffer;
  intptr_t FSize = 0;
};

// ---- Mesh buffers ---------------------------------------------------------------------------------

inline constexpr std::string_view SPushIndexData = "failed to push index data to mesh buffer object";
inline constexpr std::string_view SNoCompressedStream = "failed to decompress - no compressed stream";
inline constexpr std::string_view SBindVerticesNoStatic =
    "failed to bind vertices - static buffer not assigned";
inline constexpr std::string_view SBindIndicesNoStatic =
    "failed to bind indices - static buffer not assigned";
inline constexpr std::string_view SUnbindVerticesNoStatic =
    "failed to unbind vertices - static buffer not assigned";
inline constexpr std::string_view SUnbindIndicesNoStatic =
    "failed to unbind indices - static buffer not assigned";

// The GPU buffers of one mesh: one buffer per component, made on first access and owned; owned
// zlib-compressed copies of component streams; and an optional static buffer (not owned) whose
// All and Indices buffers serve as shared vertex and index buffers. The object's monitor guards
// the component arrays.
class TMeshBufferObject : public rtl::TObject {
  RTL_CLASS(TMeshBufferObject, rtl::TObject)
public:
  explicit TMeshBufferObject(TMeshBufferObject* AStaticBuffer = nullptr);
  ~TMeshBufferObject() override;

  TVantrelPrimitivesKind Kind() const { return FKind; }
  void SetKind(TVantrelPrimitivesKind AValue) { FKind = AValue; }
  float LineWidth() const { return FLineWidth; }
  void SetLineWidth(float AValue) { FLineWidth = AValue; }

  // The component's buffer, made through the buffer-object class when there is none: StaticDraw,
  // ElementArray for Indices and _Array for the others.
  TBufferObject* GetComponent(TMeshBufferComponent AIndex);
  bool ComponentAvailable(TMeshBufferComponent AIndex) const;

  // Binds the component's buffer, uploads ASize bytes and unbinds.
  void PushData(TMeshBufferComponent AIndex, const void* AData, intptr_t ASize);
  // Uploads the vertex buffer's interleaved data for All, and one tightly packed attribute for
  // Vertex to Tangent. Nothing for nil; Indices raises.
  void PushData(TMeshBufferComponent AIndex, const ui::TVertexBuffer* ABuffer);

  rtl::TStream* GetCompressed(TMeshBufferComponent AIndex) const;
  // Frees the stream held for the component and takes ownership of AValue.
  void SetCompressed(TMeshBufferComponent AIndex, rtl::TOwned<rtl::TStream> AValue);
  bool GetIsCompressed(TMeshBufferComponent AIndex) const;
  // The inflated content of the component's compressed stream, positioned at 0. Raises without a
  // stream, and on corrupt or truncated data.
  rtl::TOwned<rtl::TMemoryStream> Decompress(TMeshBufferComponent AIndex);

  TMeshBufferObject* StaticBuffer() const { return FStaticBuffer; }
  void SetStaticBuffer(TMeshBufferObject* AValue) { FStaticBuffer = AValue; }
  bool IsStaticBufferAvailable() const { return FStaticBuffer != nullptr; }
  // Bind the static buffer's All (Indices) buffer and answer its Size.
  intptr_t BindStaticVertices();
  intptr_t BindStaticIndices();
  void UnbindStaticVertices();
  void UnbindStaticIndices();

  // Frees every component buffer and compressed stream.
  void ClearAll();
  // A shallow copy: this object shares every owned object of ABuffer and must be cleared with
  // ClearAssignedBufferObject before it is freed, so that the shared objects are freed once.
  void AssignBufferObject(const TMeshBufferObject& ABuffer);
  void ClearAssignedBufferObject();

private:
  static size_t Slot(TMeshBufferComponent AIndex);
  // GetComponent for a caller that holds this object's monitor.
  TBufferObject* ComponentLocked(TMeshBufferComponent AIndex);
  TMeshBufferObject& RequireStatic(std::string_view AMessage) const;
  rtl::TMemoryStream& Scratch();

  TVantrelPrimitivesKind FKind = TVantrelPrimitivesKind::Triangles;
  float FLineWidth = 1;
  std::array<TBufferObject*, MeshBufferComponentCount> FComponents{};
  std::array<rtl::TStream*, MeshBufferComponentCount> FCompressed{};
  TMeshBufferObject* FStaticBuffer = nullptr;
  rtl::TMemoryStream* FTempMemStream = nullptr;
};

} // namespace vantrel
