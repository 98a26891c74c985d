#include "rendering/Vantrel.Controller.Passes.Environment.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>

#include "context/Vantrel.Context.h"
#include "materials/Vantrel.Material.Default.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/filer.h"
#include "rtl/properties.h"
#include "scene/Vantrel.Control.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelRenderPassEnvironment, "Vantrel.Controller.Passes.Environment",
                 &TVantrelRenderPassEnvironment::RegisterProperties)

namespace {

constexpr float CaptureAngle = 90;
constexpr float CaptureNear = 0.1f;
constexpr float CaptureFar = 1000;

// The next power of two at or above AValue, within 1 .. 2^30.
int32_t PowerOfTwo(int32_t AValue) {
  if (AValue < 1)
    return 1;
  if (AValue > EnvironmentMaxMapSize)
    return EnvironmentMaxMapSize;
  return int32_t(std::bit_ceil(uint32_t(AValue)));
}

// One face of the capture: the camera's turn, the face it renders and the offset added to the
// capture centre, as a direction and the index of the centre offset that scales it.
struct TFaceStep {
  TPoint3D Axis;
  float Degrees;
  TVantrelCubeMapFace Face;
  TPoint3D OffsetDirection;
  int OffsetIndex;
};

constexpr TFaceStep FaceSteps[6] = {
    {{0, 1, 0}, 180, TVantrelCubeMapFace::NegativeZ, {0, 0, -1}, 0},
    {{0, 1, 0}, 0, TVantrelCubeMapFace::PositiveZ, {0, 0, 1}, 1},
    {{0, 1, 0}, -90, TVantrelCubeMapFace::NegativeX, {-1, 0, 0}, 2},
    {{0, 1, 0}, 90, TVantrelCubeMapFace::PositiveX, {1, 0, 0}, 3},
    {{1, 0, 0}, 90, TVantrelCubeMapFace::NegativeY, {0, -1, 0}, 4},
    {{1, 0, 0}, -90, TVantrelCubeMapFace::PositiveY, {0, 1, 0}, 5},
};

bool SameLight(const TVantrelShaderLight& A, const TVantrelShaderLight& B) {
  return std::memcmp(&A, &B, sizeof(TVantrelShaderLight)) == 0;
}

} // namespace

void TVantrelRenderPassEnvironment::RegisterProperties(TPropertyList& AList) {
  using C = TVantrelRenderPassEnvironment;
  // Declared again with the pass's own defaults: a fresh pass stores nothing.
  AList.Add("Iterations", &C::GetIterations, &C::SetIterations).WithDefault(int32_t(6));
  AList.Add("OverwriteViewportSize", &C::GetOverwriteViewportSize, &C::SetOverwriteViewportSize).WithDefault(true);
  // Streamed as "PositionPoint" instead.
  AList.Add("Position", &C::GetPosition, &C::SetPosition).Stored(false);
  AList.Add("IsDynamic", &C::GetIsDynamic, &C::SetIsDynamic).WithDefault(true);
  AList.Add("Target", &C::GetTarget, &C::SetTarget).AsReference();
  AList.Add("UseEmbeddedLight", &C::GetUseEmbeddedLight, &C::SetUseEmbeddedLight).WithDefault(true);
  AList.Add("CenterOffsetFront", &C::GetCenterOffset<0>, &C::SetCenterOffset<0>).WithDefault(0.0f);
  AList.Add("CenterOffsetBack", &C::GetCenterOffset<1>, &C::SetCenterOffset<1>).WithDefault(0.0f);
  AList.Add("CenterOffsetLeft", &C::GetCenterOffset<2>, &C::SetCenterOffset<2>).WithDefault(0.0f);
  AList.Add("CenterOffsetRight", &C::GetCenterOffset<3>, &C::SetCenterOffset<3>).WithDefault(0.0f);
  AList.Add("CenterOffsetTop", &C::GetCenterOffset<4>, &C::SetCenterOffset<4>).WithDefault(0.0f);
  AList.Add("CenterOffsetBottom", &C::GetCenterOffset<5>, &C::SetCenterOffset<5>).WithDefault(0.0f);
}

// ---- Creation ---------------------------------------------------------------------------------------

void TVantrelRenderPassEnvironment::AfterConstruction() {
  FMapSize = 128;
  TVantrelRenderPassController::AfterConstruction();
  FIsDynamic = true;
  FUseEmbeddedLight = true;
}

void TVantrelRenderPassEnvironment::InitPassDefaults() {
  FMapSize = 128;
  TVantrelRenderPassController::InitPassDefaults();
  FType = TRenderPassType::Pre;
  FMethod = TRenderPassMethod::RenderListToFBO;
  FRenderProc = TRenderPassRenderingProc::DefaultRendering;
  FRendererFlags = TRendererFlags{TRendererFlag::IgnoreEmissiveBlur, TRendererFlag::IgnoreGlobalIllum};
  FIterations = 6;
  FlagMatrices();
  if (!FCamera) {
    FCamera = New<TVantrelCamera>(this);
    FCamera->SetAngleOfView(CaptureAngle);
    FCamera->SetStored(false);
    FCamera->Position()->SetPoint({0, 0, 0});
  }
  FLightIndex = -1;
  if (!FLight) {
    FLight = New<TVantrelLight>(FCamera);
    FLight->SetParent(FCamera);
    FLight->SetStored(false);
    FLight->SetEnabled(false);
    FLight->SetLightType(TLightType::Point);
    FLight->Position()->SetPoint({0, 0, 0});
  }
}

void TVantrelRenderPassEnvironment::BeforeDestruction() {
  SetTarget(nullptr);
  TVantrelRenderPassController::BeforeDestruction();
  // Component ownership frees the camera and its light, the renderer frees the cube map.
  FLight = nullptr;
  FCamera = nullptr;
}

void TVantrelRenderPassEnvironment::Notification(TComponent* AComponent, TOperation AOperation) {
  TVantrelRenderPassController::Notification(AComponent, AOperation);
  if (AOperation != TOperation::opRemove || !AComponent)
    return;
  if (AComponent == FTarget)
    FTarget = nullptr;
  if (AComponent == FLight)
    FLight = nullptr;
  if (AComponent == FCamera) {
    FCamera = nullptr;
    FLight = nullptr;
  }
}

void TVantrelRenderPassEnvironment::DefineProperties(TFiler* AFiler) {
  TVantrelRenderPassController::DefineProperties(AFiler);
  AFiler->DefineProperty(
      "PositionPoint",
      [this](TReader& AReader) {
        TPoint3D point = GetPosition();
        ReadPoint3DField(point, AReader.ReadString());
        SetPosition(point);
      },
      [this](TWriter& AWriter) { AWriter.WriteString(WritePoint3DField(GetPosition())); }, true);
}

// ---- Properties -------------------------------------------------------------------------------------

TPoint3D TVantrelRenderPassEnvironment::GetPosition() const {
  return FCamera ? FCamera->AbsolutePosition() : TPoint3D{};
}

void TVantrelRenderPassEnvironment::SetPosition(TPoint3D AValue) {
  if (FCamera)
    FCamera->SetAbsolutePosition(AValue);
  InvalidateEnvironment();
}

void TVantrelRenderPassEnvironment::ForgetControl(TVantrelManagedControls* AList, TControl3D* ACtrl) {
  if (!AList || !ACtrl)
    return;
  AList->Remove(ACtrl);
  for (int index = 0; index < ACtrl->ComponentCount(); ++index)
    if (auto* owned = dynamic_cast<TControl3D*>(ACtrl->Components(index)))
      ForgetControl(AList, owned);
}

void TVantrelRenderPassEnvironment::SetTarget(TControl3D* AValue) {
  if (AValue == FTarget)
    return;
  if (FTarget) {
    // The previous target is handled as removed: it leaves both control lists.
    ForgetControl(AllowedControlsList(), FTarget);
    ForgetControl(IgnoredControlsList(), FTarget);
    RemoveFreeNotification(FTarget);
  }
  FTarget = AValue;
  if (AValue) {
    FreeNotification(AValue);
    IgnoreControl(AValue);
  }
}

void TVantrelRenderPassEnvironment::SetCenterOffsets(float AFront, float ABack, float ALeft, float ARight, float ATop,
                                                     float ABottom) {
  FCenterOffset = {AFront, ABack, ALeft, ARight, ATop, ABottom};
}

void TVantrelRenderPassEnvironment::SetCenterOffsets(float AOffset) { FCenterOffset.fill(AOffset); }

// ---- Sizes ------------------------------------------------------------------------------------------

void TVantrelRenderPassEnvironment::SetMapSize(int32_t AValue) {
  FMapSize = PowerOfTwo(AValue);
  SetViewportSize(TPoint{FMapSize, FMapSize});
  FRecalcProjMatrix = true;
}

void TVantrelRenderPassEnvironment::SetViewportSize(const TPoint& AValue) {
  const int32_t side = PowerOfTwo(std::max(AValue.X, AValue.Y));
  TVantrelRenderPassController::SetViewportSize(TPoint{side, side});
}

void TVantrelRenderPassEnvironment::SetViewportWidth(int32_t AValue) { SetViewportSize(TPoint{AValue, AValue}); }

void TVantrelRenderPassEnvironment::SetViewportHeight(int32_t AValue) { SetViewportSize(TPoint{AValue, AValue}); }

// ---- Renderer ---------------------------------------------------------------------------------------

void TVantrelRenderPassEnvironment::CreatePassRenderer() {
  FRendererFlags = TRendererFlags{TRendererFlag::IgnoreEmissiveBlur, TRendererFlag::IgnoreGlobalIllum};
  FViewportSize = TPoint{FMapSize, FMapSize};
  FOverwriteViewportSize = true;
  FlagMatrices();
  TVantrelRenderPassController::CreatePassRenderer();
  // The anti-aliasing step would sample the cube map through a 2D sampler, and its result is never
  // read: the pass's output is the cube map.
  if (auto* composite = dynamic_cast<TCompositeRenderer*>(GetRenderer()))
    composite->SetFXAA(0);
  if (!FIsDynamic)
    InvalidateEnvironment();
}

void TVantrelRenderPassEnvironment::ResizeRenderer(const TPoint& ASize, float AScale) {
  TVantrelRenderPassController::ResizeRenderer(ASize, AScale);
  if (!FIsDynamic)
    InvalidateEnvironment();
}

void TVantrelRenderPassEnvironment::DoCreateCompositeTexture(TObject*, const TPoint& ASize, float AScale,
                                                             TVantrelTextureBitmap*& ATexture) {
  TVantrelTextureBitmap* cube = TVantrelTextureBitmap::Create(ASize.X, ASize.Y);
  cube->BeginSetup();
  cube->SetKind(TVantrelTextureKind::CubeMap);
  cube->SetMipMapLevels(9);
  cube->SetStyle(TTextureStyles{TTextureStyle::MipMaps, TTextureStyle::RenderTarget});
  cube->SetMinFilter(TTextureFilter::Linear);
  cube->SetMagFilter(TTextureFilter::Linear);
  cube->SetBitmapScale(AScale);
  cube->EndSetup();
  ATexture = cube;
  if (TTexture* texture = cube->Texture())
    texture->SetTextureScale(AScale);
}

TVantrelTextureBitmap* TVantrelRenderPassEnvironment::CubeMap() const {
  TRenderer* renderer = GetRenderer();
  return renderer ? renderer->GetCompositeTexture() : nullptr;
}

TTexture* TVantrelRenderPassEnvironment::GetOutputTexture() {
  TVantrelTextureBitmap* cube = CubeMap();
  return cube ? cube->Texture() : nullptr;
}

void TVantrelRenderPassEnvironment::InvalidateEnvironment() {
  if (GetRenderer() && FViewport && !GetEnabled())
    SetEnabled(true);
}

// ---- Capture ----------------------------------------------------------------------------------------

// The embedded light is added after the controller's begin: that begin gives the context the
// viewport's lights anew, which would drop a light added before it.
void TVantrelRenderPassEnvironment::BeginRenderPassRendering(TContext3D* AContext, TAlphaColor AFill, float ADepth,
                                                            uint32_t AStencil) {
  if (!GetRenderPassContext())
    return;
  FStoredCameraPos = FCamera ? FCamera->Position()->Point() : TPoint3D{};
  FStoredTargetPos = FTarget ? FStoredCameraPos + FTarget->AbsolutePosition() : FStoredCameraPos;
  TVantrelRenderPassController::BeginRenderPassRendering(AContext, AFill, ADepth, AStencil);
  if (FUseEmbeddedLight && FLight) {
    FLight->SetEnabled(true);
    FAddedLight = FLight->GetLightDescriptionEx();
    FLightIndex = -1;
    ListEmbeddedLight();
  }
}

bool TVantrelRenderPassEnvironment::EmbeddedLightListed() const {
  auto* context = dynamic_cast<TVantrelContext*>(GetRenderPassContext());
  return context && FLightIndex >= 0 && FLightIndex < context->GetShaderLights().Count() &&
         SameLight(context->GetShaderLights()[FLightIndex], FAddedLight);
}

// The deferred composite that ends each face runs on this pass's renderer, and its begin gives the
// context the viewport's lights anew: the embedded light is listed again for the next face.
void TVantrelRenderPassEnvironment::ListEmbeddedLight() {
  auto* context = dynamic_cast<TVantrelContext*>(GetRenderPassContext());
  if (context && FUseEmbeddedLight && FLight && FLight->Enabled() && !EmbeddedLightListed())
    FLightIndex = context->AddLight(FAddedLight);
}

void TVantrelRenderPassEnvironment::TurnCamera(int32_t ACount) {
  const TFaceStep& step = FaceSteps[std::clamp(ACount, 0, 5)];
  TVantrelTextureBitmap* cube = CubeMap();
  FCamera->BeginUpdate();
  try {
    FCamera->ResetRotationAngle();
    TPoint3D angles{};
    if (step.Axis.X != 0)
      angles.X = step.Degrees;
    else
      angles.Y = step.Degrees;
    FCamera->RotationAngle()->SetPoint(angles);
    if (cube)
      cube->SetAttachedCubeMapFace(step.Face);
    FCamera->Position()->SetPoint(FStoredTargetPos + step.OffsetDirection * FCenterOffset[size_t(step.OffsetIndex)]);
  } catch (...) {
    FCamera->EndUpdate();
    throw;
  }
  FCamera->EndUpdate();
  // The bracket holds back the rotation's turn and the matrix rebuild; both happen here, so the
  // camera matrix shows the new rotation and position.
  const TQuaternion3D turn =
      step.Degrees == 0 ? TQuaternion3D::Identity()
                        : TQuaternion3D::Identity() *
                              TQuaternion3D::Create(step.Axis, float(step.Degrees * std::numbers::pi / 180.0));
  FCamera->SetQuaternion(turn);
  FCamera->SetSavedRotationAngle(FCamera->RotationAngle()->Point());
}

void TVantrelRenderPassEnvironment::DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) {
  TVantrelRenderPassController::DoOnRenderPass(AContext, ACount, APass);
  if (!FCamera)
    return;
  TurnCamera(ACount);
  auto* context = dynamic_cast<TVantrelContext*>(GetRenderPassContext());
  if (!context)
    return;
  ListEmbeddedLight();
  // The face follows the change whatever the renderer attaches later.
  if (TVantrelTextureBitmap* cube = CubeMap())
    if (TTexture* texture = cube->Texture())
      context->AttachTextureToDefaultBuffer(texture, TRenderTarget::Color_0);
  SetupMatrices(context);
}

void TVantrelRenderPassEnvironment::DoOnRenderPassFinished(TContext3D* AContext, int32_t ACount,
                                                           TRenderPass* APass) {
  TVantrelRenderPassController::DoOnRenderPassFinished(AContext, ACount, APass);
  if (!FIsDynamic && ACount > 4)
    SetEnabled(false);
}

// The embedded light leaves the list only when its entry is still the one added: the list may
// have been rebuilt since, and another index would remove a scene light or raise.
void TVantrelRenderPassEnvironment::EndRenderPassRendering(TContext3D* AContext) {
  TVantrelRenderPassController::EndRenderPassRendering(AContext);
  if (FCamera)
    FCamera->Position()->SetPoint(FStoredCameraPos);
  auto* context = dynamic_cast<TVantrelContext*>(GetRenderPassContext());
  if (FUseEmbeddedLight && FLight) {
    if (EmbeddedLightListed())
      context->RemoveLight(FLightIndex);
    FLightIndex = -1;
    FLight->SetEnabled(false);
  }
  if (!context)
    return;
  TMemoryBarrierFlags all;
  for (int bit = 0; bit <= int(TMemoryBarrierFlag::ShaderStorageBarrierBit); ++bit)
    all.Include(TMemoryBarrierFlag(bit));
  context->SetMemoryBarrierBits(all);
  if (TVantrelTextureBitmap* cube = CubeMap())
    if (TVantrelTexture* texture = cube->VantrelTexture())
      texture->GenerateMipMap();
}

// ---- Matrices ---------------------------------------------------------------------------------------

void TVantrelRenderPassEnvironment::SetupMatrices(TContext3D*) {
  auto* context = dynamic_cast<TVantrelContext*>(GetRenderPassContext());
  if (!context)
    return;
  FViewMatrix = GetViewMatrix(context);
  FProjMatrix = GetProjectionMatrix(context);
  // The angle flags the context's projection for recalculation, so the stored one comes last.
  context->SetCameraMatrix(FViewMatrix);
  context->SetCameraAngleOfView(FCamera ? FCamera->AngleOfView() : CaptureAngle);
  context->SetProjectionMatrix(FProjMatrix);
  FTextureMatrix = FViewMatrix * FProjMatrix;
}

TMatrix3D TVantrelRenderPassEnvironment::GetViewMatrix(TContext3D*) {
  FViewMatrix = FCamera ? FCamera->CameraMatrix() : TMatrix3D::Identity();
  FRecalcViewMatrix = false;
  return FViewMatrix;
}

TMatrix3D TVantrelRenderPassEnvironment::GetProjectionMatrix(TContext3D*) {
  if (!FRecalcProjMatrix)
    return FProjMatrix;
  if (FOverwriteViewportSize) {
    const double angle = FCamera ? FCamera->AngleOfView() : CaptureAngle;
    FProjMatrix =
        TMatrix3D::CreatePerspectiveFovRH(float(angle * std::numbers::pi / 180.0), 1, CaptureNear, CaptureFar);
    FRecalcProjMatrix = false;
  } else if (TContext3D* context = GetRenderPassContext()) {
    FProjMatrix = context->CurrentProjectionMatrix();
    FRecalcProjMatrix = false;
  }
  return FProjMatrix;
}

// ---- Unit -------------------------------------------------------------------------------------------

namespace {
int EnvironmentInitCount = 0;
}

void InitializeEnvironmentPass() {
  if (EnvironmentInitCount++ > 0)
    return;
  RegisterClass(TVantrelRenderPassEnvironment::StaticClass());
  SetPassClass(TVantrelPassClassRef::Environment, &TVantrelRenderPassEnvironment::StaticClass());
}

void FinalizeEnvironmentPass() {
  if (EnvironmentInitCount == 0 || --EnvironmentInitCount > 0)
    return;
  SetPassClass(TVantrelPassClassRef::Environment, nullptr);
  UnRegisterClass(TVantrelRenderPassEnvironment::StaticClass());
}

} // namespace vantrel
