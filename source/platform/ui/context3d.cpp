#include "ui/context3d.h"

#include <array>
#include <atomic>
#include <cmath>
#include <numbers>
#include <utility>

#include "rtl/sysutils.h"
#include "ui/bitmap.h"
#include "ui/material.h"
#include "ui/texture.h"

namespace ui {

using rtl::TMatrix3D;
using rtl::TPoint3D;
using rtl::TVector3D;

RTL_DEFINE_CLASS_META(TContext3D, "ui.Context3D", TContext3DClass)

namespace {

constexpr float BaseNearPlane = 1;
constexpr float BaseFarPlane = 1000;

[[noreturn]] void RaiseAbstract() {
  throw rtl::EAbstractError(rtl::messages::AbstractError);
}

// Runs a creation body on a fresh instance of AClass; a failure frees the partly built object.
template <class TBody> TContext3D* Make(const TContext3DClass& AClass, TBody ABody) {
  rtl::TObject* object = AClass.NewInstance();
  auto* context = dynamic_cast<TContext3D*>(object);
  if (!context) {
    object->Free();
    throw rtl::EInvalidCast(rtl::messages::InvalidCast);
  }
  try {
    ABody(*context);
    context->AfterConstruction();
  } catch (...) {
    context->Free();
    throw;
  }
  return context;
}

// A context extent as the matrices and the pixel mapping use it: 0 counts as 1.
double Extent(int32_t AValue) {
  return AValue == 0 ? 1.0 : double(AValue);
}

double Aspect(int32_t AWidth, int32_t AHeight) {
  return AWidth == 0 || AHeight == 0 ? 1.0 : double(AWidth) / double(AHeight);
}

float DegToRad(double ADegrees) {
  return rtl::f32(ADegrees * std::numbers::pi / 180.0);
}

// The other states of AState's group: an on/off pair, 2D/3D, or the three faces.
TContextStates GroupOf(TContextState AState) {
  if (AState >= TContextState::csFrontFace)
    return {TContextState::csFrontFace, TContextState::csBackFace, TContextState::csAllFace};
  const int first = int(AState) & ~1;
  return {TContextState(first), TContextState(first + 1)};
}

} // namespace

// --- TContext3DClass -----------------------------------------------------------------------------

TContext3D* TContext3DClass::CreateFromTexture(TTexture* ATexture, TMultisample AMultisample,
                                               bool ADepthStencil) const {
  return Make(*this, [&](TContext3D& AContext) {
    AContext.CreateFromTexture(ATexture, AMultisample, ADepthStencil);
  });
}

TContext3D* TContext3DClass::CreateFromWindow(TWindowHandle AParent, int32_t AWidth, int32_t AHeight,
                                              TMultisample AMultisample, bool ADepthStencil) const {
  return Make(*this, [&](TContext3D& AContext) {
    AContext.CreateFromWindow(AParent, AWidth, AHeight, AMultisample, ADepthStencil);
  });
}

bool TContext3DClass::Valid() const {
  RaiseAbstract();
}
TContextStyles TContext3DClass::Style() const {
  RaiseAbstract();
}
int32_t TContext3DClass::MaxLightCount() const {
  RaiseAbstract();
}
int32_t TContext3DClass::MaxTextureSize() const {
  RaiseAbstract();
}
int32_t TContext3DClass::TextureUnitCount() const {
  RaiseAbstract();
}
TPixelFormat TContext3DClass::PixelFormat() const {
  RaiseAbstract();
}
TIndexBufferSupport TContext3DClass::IndexBufferSupport() const {
  RaiseAbstract();
}
void TContext3DClass::InitializeTexture(TTexture*) const {
  RaiseAbstract();
}
void TContext3DClass::DoFinalizeTexture(TTexture*) const {
  RaiseAbstract();
}
void TContext3DClass::UpdateTexture(TTexture*, const void*, int32_t) const {
  RaiseAbstract();
}

TTexture* TContext3DClass::BitmapToTexture(TBitmap* ABitmap) const {
  if (!ABitmap)
    return nullptr;
  rtl::TOwned<TTexture> texture(rtl::New<TTexture>());
  texture->Assign(ABitmap);
  return texture.release();
}
void TContext3DClass::InitializeShader(TContextShader*) const {
  RaiseAbstract();
}
void TContext3DClass::DoFinalizeShader(TContextShader*) const {
  RaiseAbstract();
}

// --- TContext3D: creation and size ---------------------------------------------------------------

const TContext3DClass& TContext3D::ContextClass() const {
  const auto* result = dynamic_cast<const TContext3DClass*>(&ClassType());
  if (!result)
    throw rtl::EInvalidCast(rtl::messages::InvalidCast);
  return *result;
}

void TContext3D::CreateFromTexture(TTexture* ATexture, TMultisample AMultisample, bool ADepthStencil) {
  FTexture = ATexture;
  if (ATexture) {
    FWidth = ATexture->Width();
    FHeight = ATexture->Height();
    FScale = ATexture->TextureScale();
  }
  FMultisample = AMultisample;
  FDepthStencil = ADepthStencil;
  InitContext();
}

void TContext3D::CreateFromWindow(TWindowHandle AParent, int32_t AWidth, int32_t AHeight,
                                  TMultisample AMultisample, bool ADepthStencil) {
  FParent = AParent;
  FWidth = AWidth;
  FHeight = AHeight;
  FMultisample = AMultisample;
  FDepthStencil = ADepthStencil;
  InitContext();
}

namespace {
TContext3D*& CurrentContextSlot() {
  static TContext3D* current = nullptr;
  return current;
}
} // namespace

TContext3D* TContext3D::CurrentContext() {
  return CurrentContextSlot();
}

void TContext3D::DrawColorPrimitives(TPrimitivesKind AKind, std::span<const rtl::TPoint3D> AVertices,
                                     std::span<const uint16_t> AIndices, float AOpacity, rtl::TAlphaColor AColor) {
  if (!FColorMaterial)
    FColorMaterial = rtl::MakeOwned<TColorMaterial>();
  FColorMaterial->SetColor(AColor);
  const TVertexDeclaration declaration{{TVertexFormat::Vertex, 0}};
  DrawPrimitives(AKind, AVertices.data(), AIndices.data(), declaration, int32_t(sizeof(rtl::TPoint3D)),
                 int32_t(AVertices.size()), int32_t(sizeof(uint16_t)), int32_t(AIndices.size()),
                 FColorMaterial.get(), AOpacity);
}

void TContext3D::DrawColorLines(std::span<const rtl::TPoint3D> AVertices, std::span<const uint16_t> AIndices,
                                float AOpacity, rtl::TAlphaColor AColor) {
  DrawColorPrimitives(TPrimitivesKind::Lines, AVertices, AIndices, AOpacity, AColor);
}

void TContext3D::DrawLine(const rtl::TPoint3D& AStartPoint, const rtl::TPoint3D& AEndPoint, float AOpacity,
                          rtl::TAlphaColor AColor) {
  const std::array<rtl::TPoint3D, 2> vertices{AStartPoint, AEndPoint};
  const std::array<uint16_t, 2> indices{0, 1};
  DrawColorLines(vertices, indices, AOpacity, AColor);
}

void TContext3D::DrawCube(const rtl::TPoint3D& ACenter, const rtl::TPoint3D& ASize, float AOpacity,
                          rtl::TAlphaColor AColor) {
  const rtl::TPoint3D h{ASize.X / 2, ASize.Y / 2, ASize.Z / 2};
  // Corner i has x = +h when bit 0 is set, y when bit 1, z when bit 2.
  std::array<rtl::TPoint3D, 8> vertices;
  for (size_t i = 0; i < vertices.size(); ++i)
    vertices[i] = {ACenter.X + ((i & 1) ? h.X : -h.X), ACenter.Y + ((i & 2) ? h.Y : -h.Y),
                   ACenter.Z + ((i & 4) ? h.Z : -h.Z)};
  // The edges join corners that differ in one bit.
  const std::array<uint16_t, 24> indices{0, 1, 2, 3, 4, 5, 6, 7, 0, 2, 1, 3, 4, 6, 5, 7, 0, 4, 1, 5, 2, 6, 3, 7};
  DrawColorLines(vertices, indices, AOpacity, AColor);
}

void TContext3D::FillCube(const rtl::TPoint3D& ACenter, const rtl::TPoint3D& ASize, float AOpacity,
                          rtl::TAlphaColor AColor) {
  const rtl::TPoint3D h{ASize.X / 2, ASize.Y / 2, ASize.Z / 2};
  // Corner i has x = +h when bit 0 is set, y when bit 1, z when bit 2 (as DrawCube).
  std::array<rtl::TPoint3D, 8> vertices;
  for (size_t i = 0; i < vertices.size(); ++i)
    vertices[i] = {ACenter.X + ((i & 1) ? h.X : -h.X), ACenter.Y + ((i & 2) ? h.Y : -h.Y),
                   ACenter.Z + ((i & 4) ? h.Z : -h.Z)};
  // Two triangles per face, each clockwise seen from outside the box.
  const std::array<uint16_t, 36> indices{
      0, 1, 3, 0, 3, 2, // z = -h
      4, 6, 7, 4, 7, 5, // z = +h
      0, 2, 6, 0, 6, 4, // x = -h
      1, 5, 7, 1, 7, 3, // x = +h
      0, 4, 5, 0, 5, 1, // y = -h
      2, 3, 7, 2, 7, 6, // y = +h
  };
  DrawColorPrimitives(TPrimitivesKind::Triangles, vertices, indices, AOpacity, AColor);
}

void TContext3D::BeforeDestruction() {
  // A context freed inside its own scene must not stay reachable as the current one.
  if (CurrentContextSlot() == this)
    CurrentContextSlot() = FPreviousCurrent;
  FreeBuffer();
  inherited::BeforeDestruction();
}

void TContext3D::SetSize(int32_t AWidth, int32_t AHeight) {
  if (AWidth == FWidth && AHeight == FHeight)
    return;
  FWidth = AWidth;
  FHeight = AHeight;
  FRecalcProjectionMatrix = true;
  FRecalcScreenMatrix = true;
  DoResize();
}

// --- scenes and states ---------------------------------------------------------------------------

bool TContext3D::BeginScene() {
  const bool result = FBeginSceneCount == 0 ? DoBeginScene() : FBeginSceneCount > 0;
  if (result)
    IncrementSceneCount();
  return result;
}

void TContext3D::IncrementSceneCount() {
  if (++FBeginSceneCount == 1) {
    FPreviousCurrent = CurrentContextSlot();
    CurrentContextSlot() = this;
  }
}

void TContext3D::DecrementSceneCount() {
  if (FBeginSceneCount > 0 && --FBeginSceneCount == 0 && CurrentContextSlot() == this)
    CurrentContextSlot() = std::exchange(FPreviousCurrent, nullptr);
}

void TContext3D::EndScene() {
  // The count drops and the previous context comes back also when the hook raises, so the next
  // BeginScene reaches the hook again.
  struct TDecrement {
    TContext3D& Context;
    ~TDecrement() { Context.DecrementSceneCount(); }
  } decrement{*this};
  if (FBeginSceneCount == 1)
    DoEndScene();
}

void TContext3D::SetContextState(TContextState AState) {
  FCurrentStates = FCurrentStates - GroupOf(AState) + TContextStates{AState};
  DoSetContextState(AState);
}

void TContext3D::PushContextStates() {
  FSavedStates.Push(FCurrentStates);
}

void TContext3D::PopContextStates() {
  FCurrentStates = FSavedStates.Pop();
  for (int ordinal = 0; ordinal <= int(TContextState::csAllFace); ++ordinal)
    if (FCurrentStates.Contains(TContextState(ordinal)))
      DoSetContextState(TContextState(ordinal));
}

void TContext3D::Clear(TClearTargets ATarget, rtl::TAlphaColor AColor, float ADepth, uint32_t AStencil) {
  DoClear(ATarget, AColor, ADepth, AStencil);
}

void TContext3D::SetStencilOp(TStencilOp AFail, TStencilOp AZFail, TStencilOp AZPass) {
  DoSetStencilOp(AFail, AZFail, AZPass);
}

void TContext3D::SetStencilFunc(TStencilFunc AFunc, uint32_t ARef, uint32_t AMask) {
  DoSetStencilFunc(AFunc, ARef, AMask);
}

void TContext3D::SetScissorRect(const rtl::TRect& AScissorRect) {
  DoSetScissorRect(AScissorRect);
}

// --- matrices ------------------------------------------------------------------------------------

// The model and camera matrices take part in no cached matrix, so setting them flags nothing; in
// particular a projection given through a subclass's own setter survives the per-object SetMatrix.
void TContext3D::SetMatrix(const TMatrix3D& AMatrix) {
  FCurrentMatrix = AMatrix;
}

void TContext3D::SetCameraMatrix(const TMatrix3D& AMatrix) {
  FCurrentCameraMatrix = AMatrix;
}

void TContext3D::SetCameraAngleOfView(float AAngle) {
  FCurrentAngleOfView = AAngle;
  FRecalcProjectionMatrix = true;
}

void TContext3D::SetRenderToMatrix(const TMatrix3D& AMatrix) {
  FRenderToMatrix = AMatrix;
  FRecalcProjectionMatrix = true;
  FRecalcScreenMatrix = true;
}

void TContext3D::SetCenterOffset(const rtl::TPointF& AOffset) {
  FCenterOffset = AOffset;
  FRecalcProjectionMatrix = true;
}

bool TContext3D::RenderToMatrixApplies() const {
  return FRenderToMatrix.m41 != 0 || FRenderToMatrix.m11 != 1;
}

TMatrix3D TContext3D::BuildProjectionMatrix(float ANear, float AFar) const {
  TMatrix3D result = TMatrix3D::CreatePerspectiveFovRH(DegToRad(FCurrentAngleOfView),
                                                       rtl::f32(Aspect(FWidth, FHeight)), ANear, AFar);
  if (RenderToMatrixApplies())
    result = result * FRenderToMatrix;
  return result * TMatrix3D::CreateTranslation({FCenterOffset.X, FCenterOffset.Y, 0});
}

// Maps pixel coordinates (x right, y down, z towards the viewer) so that the plane z = 0 fills
// the viewport: a perspective view from a little in front, scaled so that one unit is one pixel.
TMatrix3D TContext3D::BuildScreenMatrix(float ANear, float AFar) const {
  if (RenderToMatrixApplies())
    return FRenderToMatrix;
  // A zero width counts as 1 here; a zero height gives aspect 1 and the base planes.
  const bool flat = FHeight == 0;
  const double aspect = flat ? 1.0 : Extent(FWidth) / double(FHeight);
  const TMatrix3D perspective =
      TMatrix3D::CreatePerspectiveFovRH(rtl::f32(std::numbers::pi / 6), rtl::f32(aspect),
                                        flat ? BaseNearPlane : ANear, flat ? BaseFarPlane : AFar);
  TMatrix3D result = TMatrix3D::CreateTranslation({0, 0, -2}) * perspective;
  // The orthographic projection of the viewport contributes only its x scale, 2 / width.
  const double factor = 2.0 / Extent(FWidth) / double(result.m11);
  result =
      TMatrix3D::CreateScaling({rtl::f32(2 * factor), rtl::f32(-2 * factor), rtl::f32(-2 * factor)}) * result;
  return TMatrix3D::CreateTranslation({rtl::f32(-FWidth / 2.0), rtl::f32(-FHeight / 2.0), 0}) * result;
}

TMatrix3D TContext3D::CachedProjectionMatrix(float ANear, float AFar) {
  if (FRecalcProjectionMatrix) {
    FProjectionMatrix = BuildProjectionMatrix(ANear, AFar);
    FInvProjectionMatrix = FProjectionMatrix.Inverse();
    FRecalcProjectionMatrix = false;
  }
  return FProjectionMatrix;
}

TMatrix3D TContext3D::CachedScreenMatrix(float ANear, float AFar) {
  if (FRecalcScreenMatrix) {
    FScreenMatrix = BuildScreenMatrix(ANear, AFar);
    FInvScreenMatrix = FScreenMatrix.Inverse();
    FRecalcScreenMatrix = false;
  }
  return FScreenMatrix;
}

TMatrix3D TContext3D::CurrentProjectionMatrix() {
  return CachedProjectionMatrix(BaseNearPlane, BaseFarPlane);
}

TMatrix3D TContext3D::CurrentScreenMatrix() {
  return CachedScreenMatrix(BaseNearPlane, BaseFarPlane);
}

TMatrix3D TContext3D::CurrentModelViewProjectionMatrix() {
  if (FCurrentStates.Contains(TContextState::cs2DScene))
    return FCurrentMatrix * CurrentScreenMatrix();
  return FCurrentMatrix * FCurrentCameraMatrix * CurrentProjectionMatrix();
}

void TContext3D::SetStateFromContext(const TContext3D& AContext) {
  for (int ordinal = 0; ordinal <= int(TContextState::csAllFace); ++ordinal) {
    const auto state = static_cast<TContextState>(ordinal);
    if (AContext.FCurrentStates.Contains(state))
      SetContextState(state);
  }
  SetMatrix(AContext.FCurrentMatrix);
  SetCameraMatrix(AContext.FCurrentCameraMatrix);
  SetCameraAngleOfView(AContext.FCurrentAngleOfView);
}

TMatrix3D TContext3D::ViewProjection(TProjection AProjection) {
  if (AProjection == TProjection::Camera)
    return FCurrentCameraMatrix * CurrentProjectionMatrix();
  return CurrentScreenMatrix();
}

// Unprojects with a fresh inverse of the current matrices: a cached inverse may be stale.
void TContext3D::Pick(float AX, float AY, TProjection AProjection, TVector3D& ARayPos, TVector3D& ARayDir) {
  const TMatrix3D inverse = ViewProjection(AProjection).Inverse();
  const float x = rtl::f32(2.0 * AX / Extent(FWidth) - 1.0);
  const float y = rtl::f32(1.0 - 2.0 * AY / Extent(FHeight));
  const TPoint3D onNear = (TVector3D{x, y, 0, 1} * inverse).ToPoint3D();
  // The centre of projection is the point that projects to (0, 0, 1, 0); it lies at infinity for a
  // parallel projection, whose rays all share one direction.
  const TVector3D centre = TVector3D{0, 0, 1, 0} * inverse;
  const double reach = std::abs(centre.X) + std::abs(centre.Y) + std::abs(centre.Z);
  TPoint3D start, direction;
  if (std::abs(centre.W) > 1e-6 * reach) {
    start = TPoint3D{centre.X, centre.Y, centre.Z} / centre.W;
    direction = (onNear - start).Normalize();
  } else {
    const TPoint3D onFar = (TVector3D{x, y, 1, 1} * inverse).ToPoint3D();
    start = onNear;
    direction = (onFar - onNear).Normalize();
  }
  ARayPos = {start.X, start.Y, start.Z, 1};
  ARayDir = {direction.X, direction.Y, direction.Z, 0};
}

TPoint3D TContext3D::WorldToScreen(TProjection AProjection, const TPoint3D& APoint) {
  const TPoint3D device =
      (TVector3D{APoint.X, APoint.Y, APoint.Z, 1} * ViewProjection(AProjection)).ToPoint3D();
  return {rtl::f32((device.X + 1.0) / 2.0 * Extent(FWidth)),
          rtl::f32((1.0 - device.Y) / 2.0 * Extent(FHeight)), device.Z};
}

// --- drawing and hooks ---------------------------------------------------------------------------

void TContext3D::DrawPrimitives(TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                                const TVertexDeclaration& ADeclaration, int32_t AVertexSize,
                                int32_t AVertexCount, int32_t AIndexSize, int32_t AIndexCount,
                                TMaterial* AMaterial, float AOpacity) {
  FCurrentOpacity = AOpacity;
  if (AMaterial)
    ApplyMaterial(AMaterial);
  try {
    DoDrawPrimitives(AKind, AVertices, AIndices, ADeclaration, AVertexSize, AVertexCount, AIndexSize,
                     AIndexCount);
  } catch (...) {
    if (AMaterial)
      AMaterial->Reset(this);
    throw;
  }
  if (AMaterial)
    AMaterial->Reset(this);
}

void TContext3D::ApplyMaterial(TMaterial* AMaterial) {
  if (!AMaterial)
    return;
  AMaterial->Apply(this);
  if (const std::string name = AMaterial->ModelViewProjection(); !name.empty())
    SetShaderVariable(name, CurrentModelViewProjectionMatrix());
  if (const std::string name = AMaterial->ModelView(); !name.empty())
    SetShaderVariable(name, FCurrentMatrix);
  if (const std::string name = AMaterial->ModelViewInverseTranspose(); !name.empty())
    SetShaderVariable(name, FCurrentMatrix.Inverse().Transpose());
}

void TContext3D::DoDrawPrimitives(TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                                  const TVertexDeclaration& ADeclaration, int32_t AVertexSize,
                                  int32_t AVertexCount, int32_t AIndexSize, int32_t AIndexCount) {
  DoDrawPrimitivesBatch(AKind, AVertices, AIndices, ADeclaration, AVertexSize, AVertexCount, AIndexSize,
                        AIndexCount);
}

void TContext3D::SetShaders(TContextShader* AVertexShader, TContextShader* APixelShader) {
  DoSetShaders(AVertexShader, APixelShader);
}

void TContext3D::SetShaderVariable(const std::string& AName, std::span<const TVector3D> AData) {
  DoSetShaderVariable(AName, AData);
}

void TContext3D::SetShaderVariable(const std::string& AName, const TMatrix3D& AMatrix) {
  DoSetShaderVariable(AName, AMatrix);
}

void TContext3D::SetShaderVariable(const std::string& AName, TTexture* ATexture) {
  DoSetShaderVariable(AName, ATexture);
}

void TContext3D::CopyToBitmap(TBitmap* ADest, const rtl::TRect& ARect) {
  DoCopyToBitmap(ADest, ARect);
}

void TContext3D::CopyToBits(void* ABits, int32_t APitch, const rtl::TRect& ARect) {
  DoCopyToBits(ABits, APitch, ARect);
}

void TContext3D::DoCopyToBitmap(TBitmap* ADest, const rtl::TRect& ARect) {
  if (!ADest)
    return;
  // The read-back writes ARect's rows at the bitmap's start; a larger rectangle would overrun it.
  if (ARect.Width() < 0 || ARect.Height() < 0 || ARect.Width() > ADest->Width() ||
      ARect.Height() > ADest->Height())
    throw rtl::EArgumentOutOfRangeException(rtl::Format(messages::CopyRectDoesNotFit, ARect.Width(),
                                                        ARect.Height(), ADest->Width(), ADest->Height()));
  TBitmapData data;
  if (!ADest->Map(TMapAccess::Write, data))
    return;
  try {
    DoCopyToBits(data.Data, data.Pitch, ARect);
  } catch (...) {
    ADest->Unmap(data);
    throw;
  }
  ADest->Unmap(data);
}

// --- TContextManager -----------------------------------------------------------------------------

namespace {
std::atomic<TContext3DClass*> GDefaultContextClass{nullptr};
} // namespace

void TContextManager::RegisterContext(TContext3DClass& AClass, bool ADefault) {
  if (ADefault)
    GDefaultContextClass = &AClass;
  else {
    TContext3DClass* none = nullptr;
    GDefaultContextClass.compare_exchange_strong(none, &AClass);
  }
}

void TContextManager::UnregisterContexts() {
  GDefaultContextClass = nullptr;
}

TContext3DClass* TContextManager::DefaultContextClass() {
  return GDefaultContextClass;
}

TContext3DClass& TContextManager::RequireDefault() {
  TContext3DClass* result = GDefaultContextClass;
  if (!result)
    throw EContext3DException(messages::NoDefaultContextClass);
  return *result;
}

TContext3D* TContextManager::CreateFromTexture(TTexture* ATexture, TMultisample AMultisample,
                                               bool ADepthStencil) {
  return RequireDefault().CreateFromTexture(ATexture, AMultisample, ADepthStencil);
}

TContext3D* TContextManager::CreateFromWindow(TWindowHandle AParent, int32_t AWidth, int32_t AHeight,
                                              TMultisample AMultisample, bool ADepthStencil) {
  return RequireDefault().CreateFromWindow(AParent, AWidth, AHeight, AMultisample, ADepthStencil);
}

void TContextManager::InitializeTexture(TTexture* ATexture) {
  RequireDefault().InitializeTexture(ATexture);
}

void TContextManager::FinalizeTexture(TTexture* ATexture) {
  RequireDefault().DoFinalizeTexture(ATexture);
}

void TContextManager::UpdateTexture(TTexture* ATexture, const void* ABits, int32_t APitch) {
  RequireDefault().UpdateTexture(ATexture, ABits, APitch);
}

void TContextManager::InitializeShader(TContextShader* AShader) {
  RequireDefault().InitializeShader(AShader);
}

void TContextManager::FinalizeShader(TContextShader* AShader) {
  RequireDefault().DoFinalizeShader(AShader);
}

} // namespace ui
