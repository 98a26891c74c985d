// The batch draw of the OpenGL context (TVantrelContextOpenGLES::DoDrawPrimitivesBatch): one
// run of TBatchDraw points the attributes, draws the main pass and the layers, and undoes what it
// bound and enabled, also when it raises.
#include "context/Vantrel.Context.GLES.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "context/Vantrel.Context.Buffers.h"
#include "context/Vantrel.Context.GLState.OpenGL.h"
#include "context/Vantrel.Context.Types.OpenGL.h"
#include "ui/material.h"

namespace vantrel {

// ---- Batch draw ----------------------------------------------------------------------------------------

namespace {

constexpr std::string_view SBatchDrawFailed =
    "Exception in TVantrelContextOpenGLES.DoDrawPrimitivesBatch(): ";
constexpr std::string_view SNoMeshBufferObject = "cache used, but no meshbuffer object found ...";
constexpr std::string_view SPositionBufferEmpty = "failed to draw buffer - buffer object empty";
constexpr std::string_view SInvalidIndexSize = "DrawElements(2): invalid index size";
constexpr std::string_view SInvalidInstancedIndexSize = "DrawElements(1): invalid index size";
constexpr std::string_view SBatchUnbindFailed = "DoDrawPrimitivesBatch: Error = %d";

constexpr GLuint AttributeLocationCount = 16;
constexpr GLuint InstanceMatrixLocation = 12;
constexpr GLsizei PackedPositionStride = 3 * sizeof(float);
constexpr GLsizei InstanceMatrixStride = sizeof(TMatrix3D);

struct TBatchArgs {
  TPrimitivesKind Kind;
  const void* Vertices;
  const void* Indices;
  const TVertexDeclaration& Declaration;
  int32_t VertexSize;
  int32_t VertexCount;
  int32_t IndexSize;
  int32_t IndexCount;
};

// 0 for a size the GL cannot draw.
GLenum IndexType(int32_t AIndexSize) {
  if (AIndexSize == 2)
    return GL_UNSIGNED_SHORT;
  return AIndexSize == 4 ? GL_UNSIGNED_INT : 0;
}

bool HasLineWidth(GLenum AMode) {
  return AMode == GL_LINES || AMode == GL_LINE_LOOP || AMode == GL_LINE_STRIP;
}

// An attribute address: an offset into the bound array buffer when ABase is nil, else client memory.
const void* AttributeAddress(const void* ABase, int32_t AOffset) {
  return reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(ABase) + uintptr_t(AOffset));
}

bool DeclaresPositions(const TVertexDeclaration& ADeclaration) {
  return std::ranges::find(ADeclaration, TVertexFormat::Vertex, &TVertexElement::Format) !=
         ADeclaration.end();
}

// One run of the batch draw. Whatever it binds or enables is undone by the destructor when the
// draw raised; the normal end undoes it in Finish, with the GL error checks.
class TBatchDraw {
public:
  TBatchDraw(TVantrelContextOpenGLES& AContext, const TBatchArgs& AArgs)
      : FContext(AContext), FArgs(AArgs), FCache(AContext.GetCurrentCache()),
        FKind(static_cast<TVantrelPrimitivesKind>(AArgs.Kind)) {}
  ~TBatchDraw();
  TBatchDraw(const TBatchDraw&) = delete;
  TBatchDraw& operator=(const TBatchDraw&) = delete;

  void Run();

private:
  void PrepareVertices();
  void PrepareCacheVertices(TMeshBufferObject& ACache);
  // Client memory is read only while no buffer is bound to GL_ARRAY_BUFFER.
  void UseClientMemory() { glBindBuffer(GL_ARRAY_BUFFER, 0); }
  // Positions from their own tightly packed source.
  void PointPackedPositions(const void* ABase);
  // Every declared element from one interleaved source; ASkipPositions keeps positions that came
  // from a source of their own.
  void PointAttributes(const void* ABase, bool ASkipPositions);
  // The interleaved source of a cache: its static vertex buffer, else the client vertices.
  void PointCacheAttributes(TMeshBufferObject& ACache, bool ASkipPositions);
  void RunLayers(ILayeredPassMaterial& ALayered);
  void DrawLayer(ILayeredPassMaterial& ALayered, int32_t APass, bool ABlendWasOn);
  void EndLayers(bool ABlendWasOn, const TBlendSettings& ASavedBlendings);
  void DrawPass();
  void Draw(int32_t AIndexCount, const void* AIndices);
  void DrawElements(int32_t AIndexCount, const void* AIndices);
  void DrawInstanced(int32_t AIndexCount, const void* AIndices, int32_t AInstances);
  void Finish();
  void CheckUnbindError();
  void EnableAttributeArray(GLuint ALocation);
  // Disables the arrays this draw enabled, and only those: the others were off before it.
  void DisableAttributeArrays();

  TVantrelContextOpenGLES& FContext;
  const TBatchArgs& FArgs;
  TMeshBufferObject* FCache;
  TVantrelPrimitivesKind FKind;
  float FLineWidth = 1;
  GLenum FMode = GL_TRIANGLES;
  TOwned<TMemoryStream> FDecompressed;
  TBufferObject* FPositionBuffer = nullptr;
  bool FStaticVerticesBound = false;
  bool FFinished = false;
  // Bit n: this draw enabled attribute array n.
  uint32_t FEnabledArrays = 0;
  // Declared last, so that they rebind after the destructor's body has unbound the draw's buffers.
  TBufferBindingGuard FArrayBuffer{GL_ARRAY_BUFFER, GL_ARRAY_BUFFER_BINDING};
  TBufferBindingGuard FElementBuffer{GL_ELEMENT_ARRAY_BUFFER, GL_ELEMENT_ARRAY_BUFFER_BINDING};
};

TBatchDraw::~TBatchDraw() {
  if (!FFinished)
    DisableAttributeArrays();
  if (FStaticVerticesBound)
    FCache->UnbindStaticVertices();
  if (FPositionBuffer)
    FPositionBuffer->Unbind();
}

void TBatchDraw::Run() {
  PrepareVertices();
  FMode = PrimitiveKindToGL(FKind);
  if (HasLineWidth(FMode))
    glLineWidth(FLineWidth);
  if (ILayeredPassMaterial* layered = FContext.GetCurrentLayeredMaterial())
    RunLayers(*layered);
  else
    DrawPass();
  Finish();
}

void TBatchDraw::PrepareVertices() {
  if (!FCache) {
    UseClientMemory();
    PointAttributes(FArgs.Vertices, false);
    return;
  }
  FKind = FCache->Kind();
  FLineWidth = FCache->LineWidth();
  PrepareCacheVertices(*FCache);
}

void TBatchDraw::PrepareCacheVertices(TMeshBufferObject& ACache) {
  if (ACache.GetIsCompressed(TMeshBufferComponent::Vertex)) {
    FDecompressed = ACache.Decompress(TMeshBufferComponent::Vertex);
    UseClientMemory();
    PointPackedPositions(FDecompressed->Memory());
    PointCacheAttributes(ACache, true);
  } else if (ACache.GetIsCompressed(TMeshBufferComponent::All)) {
    FDecompressed = ACache.Decompress(TMeshBufferComponent::All);
    UseClientMemory();
    PointAttributes(FDecompressed->Memory(), false);
  } else if (ACache.ComponentAvailable(TMeshBufferComponent::Vertex)) {
    TBufferObject* buffer = ACache.GetComponent(TMeshBufferComponent::Vertex);
    const intptr_t size = buffer->Bind();
    FPositionBuffer = buffer;
    if (size < 1)
      throw Exception(std::string(SPositionBufferEmpty));
    PointPackedPositions(nullptr);
    PointCacheAttributes(ACache, true);
  } else if (!ACache.ComponentAvailable(TMeshBufferComponent::All)) {
    throw Exception(std::string(SNoMeshBufferObject));
  } else {
    PointCacheAttributes(ACache, false);
  }
}

void TBatchDraw::PointPackedPositions(const void* ABase) {
  if (!DeclaresPositions(FArgs.Declaration))
    return;
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, PackedPositionStride, ABase);
  EnableAttributeArray(0);
}

void TBatchDraw::PointAttributes(const void* ABase, bool ASkipPositions) {
  for (const TVertexElement& element : FArgs.Declaration) {
    if (ASkipPositions && element.Format == TVertexFormat::Vertex)
      continue;
    const TVertexAttributeLayout layout = VertexAttributeLayout(element.Format);
    glVertexAttribPointer(layout.Location, layout.Components, layout.Type,
                          layout.Normalized ? GL_TRUE : GL_FALSE, FArgs.VertexSize,
                          AttributeAddress(ABase, element.Offset));
    EnableAttributeArray(layout.Location);
  }
}

// Without a static buffer and without client vertices there is nothing to read the other
// attributes from, so they stay disabled rather than pointing at address 0.
void TBatchDraw::PointCacheAttributes(TMeshBufferObject& ACache, bool ASkipPositions) {
  if (ACache.IsStaticBufferAvailable()) {
    ACache.BindStaticVertices();
    FStaticVerticesBound = true;
    PointAttributes(nullptr, ASkipPositions);
  } else if (FArgs.Vertices) {
    UseClientMemory();
    PointAttributes(FArgs.Vertices, ASkipPositions);
  }
}

// The main pass runs without blending; each layer then adds its colour with the depth test off.
// The blend table is saved here, as the draw found it, and put back at the end: only the layered
// draw changes it.
void TBatchDraw::RunLayers(ILayeredPassMaterial& ALayered) {
  const TBlendSettings saved = FContext.GetBlendings();
  const bool blendWasOn = FContext.CurrentStates().Contains(TContextState::csAlphaBlendOn);
  if (!blendWasOn)
    FContext.SetContextState(TContextState::csAlphaBlendOff);
  FContext.SetBlendings(TBlendSettings{});
  try {
    DrawPass();
    const int32_t layers = ALayered.GetMaterialsCount();
    for (int32_t pass = 1; pass <= layers; ++pass)
      DrawLayer(ALayered, pass, blendWasOn);
  } catch (...) {
    EndLayers(blendWasOn, saved);
    throw;
  }
  EndLayers(blendWasOn, saved);
}

void TBatchDraw::DrawLayer(ILayeredPassMaterial& ALayered, int32_t APass, bool ABlendWasOn) {
  if (!ABlendWasOn)
    FContext.SetContextState(TContextState::csAlphaBlendOn);
  if (APass == 1) {
    FContext.SetContextState(TContextState::csZTestOff);
    TBlendSettings additive;
    additive.fill(TBlendSetting::Create(true, TBlendEquationFunc::befAdd, TBlendFactor::bfOne,
                                        TBlendFactor::bfOneMinusSrcColor, TBlendFactor::bfOne,
                                        TBlendFactor::bfOneMinusSrcAlpha));
    FContext.SetBlendings(additive);
  }
  TMaterialSource* source = ALayered.GetLayerMaterial(&FContext, APass - 1);
  if (!source)
    return;
  TMaterial* material = TMaterialSource::ValidMaterial(source);
  FContext.ApplyMaterial(material);
  try {
    DrawPass();
  } catch (...) {
    FContext.ResetMaterial(material);
    throw;
  }
  FContext.ResetMaterial(material);
}

void TBatchDraw::EndLayers(bool ABlendWasOn, const TBlendSettings& ASavedBlendings) {
  if (!ABlendWasOn)
    FContext.SetContextState(TContextState::csAlphaBlendOff);
  FContext.SetBlendings(ASavedBlendings);
  FContext.SetCurrentLayeredMaterial(nullptr);
}

// A cache's indices live in its static index buffer; a cache without one, like a draw without a
// cache, takes the client indices.
void TBatchDraw::DrawPass() {
  if (!FCache || !FCache->IsStaticBufferAvailable()) {
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    Draw(FArgs.Indices ? FArgs.IndexCount : 0, FArgs.Indices);
    return;
  }
  const intptr_t size = FCache->BindStaticIndices();
  try {
    if (size > 0)
      Draw(FArgs.IndexSize > 0 ? int32_t(size / FArgs.IndexSize) : 0, nullptr);
  } catch (...) {
    FCache->UnbindStaticIndices();
    throw;
  }
  FCache->UnbindStaticIndices();
}

void TBatchDraw::Draw(int32_t AIndexCount, const void* AIndices) {
  TVantrelContextShared& shared = ContextShared();
  const int32_t instances = FContext.GetInstanceCount();
  const int64_t copies = std::max(1, instances);
  shared.DrawCalls.fetch_add(1);
  shared.TotalVertexCount.fetch_add(int64_t(FArgs.VertexCount) * copies);
  shared.TotalIndexCount.fetch_add(int64_t(AIndexCount) * copies);
  if (instances <= 0) {
    shared.DrawInstances.fetch_add(1);
    DrawElements(AIndexCount, AIndices);
  } else {
    shared.DrawInstances.fetch_add(instances);
    DrawInstanced(AIndexCount, AIndices, instances);
  }
}

void TBatchDraw::DrawElements(int32_t AIndexCount, const void* AIndices) {
  const GLenum type = IndexType(FArgs.IndexSize);
  if (type == 0)
    throw Exception(std::string(SInvalidIndexSize));
  if (type == GL_UNSIGNED_SHORT && AIndexCount <= 0)
    glDrawArrays(FMode, 0, FArgs.VertexCount);
  else if (AIndexCount > 0)
    glDrawElements(FMode, AIndexCount, type, AIndices);
}

// The instance count is used up by this draw, also when it raises.
void TBatchDraw::DrawInstanced(int32_t AIndexCount, const void* AIndices, int32_t AInstances) {
  struct TInstancesEnd {
    TVantrelContextOpenGLES& Context;
    ~TInstancesEnd() {
      for (GLuint row = 0; row < 4; ++row)
        glVertexAttribDivisor(InstanceMatrixLocation + row, 0);
      Context.UnsetInstances();
    }
  } end{FContext};
  FContext.CreateInstanceBuffer();
  TBufferObjectBinding binding(*FContext.GetInstanceBuffer());
  for (GLuint row = 0; row < 4; ++row) {
    const GLuint location = InstanceMatrixLocation + row;
    EnableAttributeArray(location);
    glVertexAttribPointer(location, 4, GL_FLOAT, GL_FALSE, InstanceMatrixStride,
                          AttributeAddress(nullptr, int32_t(row * 4 * sizeof(float))));
    glVertexAttribDivisor(location, 1);
  }
  const GLenum type = IndexType(FArgs.IndexSize);
  if (type == 0)
    throw Exception(std::string(SInvalidInstancedIndexSize));
  if (AIndexCount > 0)
    glDrawElementsInstanced(FMode, AIndexCount, type, AIndices, AInstances);
}

void TBatchDraw::Finish() {
  FFinished = true;
  if (FMode == GL_LINES)
    glLineWidth(1);
  DisableAttributeArrays();
  FDecompressed.reset();
  if (FStaticVerticesBound) {
    FStaticVerticesBound = false;
    FCache->UnbindStaticVertices();
    CheckUnbindError();
  }
  if (TBufferObject* buffer = std::exchange(FPositionBuffer, nullptr)) {
    buffer->Unbind();
    CheckUnbindError();
  }
}

void TBatchDraw::CheckUnbindError() {
  if (const uint32_t error = DrainGLErrors(); error != GL_NO_ERROR)
    RaiseContextException(&FContext, ui::messages::ContextMethodError, Format(SBatchUnbindFailed, {error}));
}

void TBatchDraw::EnableAttributeArray(GLuint ALocation) {
  glEnableVertexAttribArray(ALocation);
  FEnabledArrays |= 1u << ALocation;
}

void TBatchDraw::DisableAttributeArrays() {
  for (GLuint location = 0; location < AttributeLocationCount; ++location)
    if (FEnabledArrays & (1u << location))
      glDisableVertexAttribArray(location);
  FEnabledArrays = 0;
}

} // namespace

void TVantrelContextOpenGLES::DoDrawPrimitivesBatch(TPrimitivesKind AKind, const void* AVertices,
                                                    const void* AIndices,
                                                    const TVertexDeclaration& ADeclaration,
                                                    int32_t AVertexSize, int32_t AVertexCount,
                                                    int32_t AIndexSize, int32_t AIndexCount) {
  if (!VantrelClass().Valid() || (!FCurrentCache && !AVertices))
    return;
  const TBatchArgs args{AKind,       AVertices,    AIndices,   ADeclaration,
                        AVertexSize, AVertexCount, AIndexSize, AIndexCount};
  try {
    TBatchDraw(*this, args).Run();
  } catch (const Exception& AError) {
    FCurrentCache = nullptr;
    throw Exception(std::string(SBatchDrawFailed) + AError.Message());
  } catch (...) {
    FCurrentCache = nullptr;
    throw;
  }
  FCurrentCache = nullptr;
}

} // namespace vantrel
