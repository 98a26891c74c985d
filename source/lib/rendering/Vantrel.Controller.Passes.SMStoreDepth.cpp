#include "rendering/Vantrel.Controller.Passes.SMStoreDepth.h"

#include "materials/Vantrel.Material.Default.h"

#include <cmath>

#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Viewport.h"

namespace vantrel {

RTL_DEFINE_CLASS(TSMStoreDepthMaterial, "Vantrel.Controller.Passes.SMStoreDepth")
RTL_DEFINE_CLASS(TSMStoreDepthMaterialSource, "Vantrel.Controller.Passes.SMStoreDepth")
RTL_DEFINE_CLASS(TVantrelRenderPassSMStoreDepth, "Vantrel.Controller.Passes.SMStoreDepth")

// ---- Light view -------------------------------------------------------------------------------------

namespace {

const TPoint3D UpVector{0, -1, 0};

// A zero-length vector stays zero.
TPoint3D SafeNormalize(const TPoint3D& AValue) {
  const float length = AValue.Length();
  return length > 0 ? AValue / length : AValue;
}

// The view with its z axis AZ from ASource. A z axis along the up vector would give zero x and y
// axes, so that view takes (0, 0, 1) as its up vector; a zero z axis looks along +Z.
TMatrix3D ViewFromAxis(const TPoint3D& ASource, TPoint3D AZ) {
  if (AZ.Length() < 1e-6f)
    AZ = TPoint3D{0, 0, -1};
  TPoint3D up = UpVector;
  if (up.CrossProduct(AZ).Length() < 1e-6f)
    up = TPoint3D{0, 0, 1};
  const TPoint3D x = SafeNormalize(up.CrossProduct(AZ));
  const TPoint3D y = AZ.CrossProduct(x);
  TMatrix3D result = TMatrix3D::Identity();
  result.m11 = x.X, result.m12 = y.X, result.m13 = AZ.X, result.m14 = 0;
  result.m21 = x.Y, result.m22 = y.Y, result.m23 = AZ.Y, result.m24 = 0;
  result.m31 = x.Z, result.m32 = y.Z, result.m33 = AZ.Z, result.m34 = 0;
  result.m41 = -x.DotProduct(ASource), result.m42 = -y.DotProduct(ASource),
  result.m43 = -AZ.DotProduct(ASource);
  result.m44 = 1;
  return result;
}

TMatrix3D LookAlong(const TPoint3D& ASource, const TPoint3D& ADirection) {
  return ViewFromAxis(ASource, SafeNormalize(ADirection));
}

TMatrix3D LookAt(const TPoint3D& ASource, const TPoint3D& ATarget) {
  return ViewFromAxis(ASource, SafeNormalize(ASource - ATarget));
}

} // namespace

TMatrix3D LightViewMatrix(TLight* ALight, TVantrelViewport* AViewport, const TMatrix3D& AFallbackView) {
  if (!ALight)
    return AFallbackView;
  const TPoint3D position = ALight->AbsolutePosition();
  const bool directed =
      ALight->LightType() == TLightType::Directional || ALight->LightType() == TLightType::Spot;
  const TPoint3D direction = ALight->LightDescription().Direction;
  // A directed light's view has the negated Direction as its z axis, so it looks along Direction.
  // The ray that moves a light onto the frustum runs along that viewing direction: Direction for
  // directed lights, from the light towards the origin for the others.
  const TPoint3D reversed = -direction;
  const TPoint3D ray = directed ? direction : -SafeNormalize(position);
  TMatrix3D view = directed ? LookAlong(position, reversed) : LookAt(position, TPoint3D{0, 0, 0});
  if (!AViewport)
    return view;
  auto* context = dynamic_cast<TVantrelContext*>(AViewport->Context());
  if (!context)
    return view;
  const TVantrelFrustum frustum = context->GetFrustum();
  TVector3D plane{};
  if (frustum.IsPointInFrustum(position, plane))
    return view;
  const TPoint3D normal{plane.X, plane.Y, plane.Z};
  TPoint3D hit{};
  if (!ui::RayCastPlaneIntersect(position, ray, normal * -plane.W, normal, hit))
    return view;
  return directed ? LookAlong(hit, reversed) : LookAt(hit, TPoint3D{0, 0, 0});
}

// ---- Material and source ----------------------------------------------------------------------------

TOwned<TMaterial> TSMStoreDepthMaterialSource::CreateMaterial() {
  FHasMaterial = true;
  return TVantrelRenderPassMaterial::Create<TSMStoreDepthMaterial>(this);
}

// ---- Pass -------------------------------------------------------------------------------------------

void TVantrelRenderPassSMStoreDepth::InitPassDefaults() {
  TVantrelRenderPassCustomDepth::InitPassDefaults();
  FType = TRenderPassType::Pre;
  SetViewportSize(TPoint{1024, 1024});
  FOverwriteViewportSize = true;
}

TOwned<TVantrelRenderPassMaterialSource> TVantrelRenderPassSMStoreDepth::CreateShader() {
  return TVantrelRenderPassMaterialSource::Create<TSMStoreDepthMaterialSource>(this);
}

TLight* TVantrelRenderPassSMStoreDepth::GetLight() const {
  auto* source = dynamic_cast<TSMStoreDepthMaterialSource*>(Shader());
  return source ? source->Light() : nullptr;
}

void TVantrelRenderPassSMStoreDepth::SetLight(TLight* AValue) {
  auto* source = dynamic_cast<TSMStoreDepthMaterialSource*>(Shader());
  if (!source || source->Light() == AValue)
    return;
  if (source->Light())
    RemoveFreeNotification(source->Light());
  source->SetLight(AValue);
  if (AValue)
    FreeNotification(AValue);
}

void TVantrelRenderPassSMStoreDepth::Notification(TComponent* AComponent, TOperation AOperation) {
  TVantrelRenderPassCustomDepth::Notification(AComponent, AOperation);
  if (AOperation == TOperation::opRemove && AComponent && AComponent == GetLight())
    if (auto* source = dynamic_cast<TSMStoreDepthMaterialSource*>(Shader()))
      source->SetLight(nullptr);
}

TMatrix3D TVantrelRenderPassSMStoreDepth::GetViewMatrix(TContext3D* AContext) {
  TLight* light = GetLight();
  if (!light)
    return TVantrelRenderPassCustomDepth::GetViewMatrix(AContext);
  FViewMatrix = LightViewMatrix(light, FViewport, FViewMatrix);
  FRecalcViewMatrix = false;
  return FViewMatrix;
}

// ---- Unit -------------------------------------------------------------------------------------------

namespace {
int SMStoreDepthInitCount = 0;
}

void InitializeSMStoreDepthPass() {
  if (SMStoreDepthInitCount++ > 0)
    return;
  // The default material's shadow and depth branches test their inputs against this class.
  SetPassClass(TVantrelPassClassRef::SMStoreDepth, &TVantrelRenderPassSMStoreDepth::StaticClass());
}

void FinalizeSMStoreDepthPass() {
  if (SMStoreDepthInitCount == 0 || --SMStoreDepthInitCount > 0)
    return;
  SetPassClass(TVantrelPassClassRef::SMStoreDepth, nullptr);
}

} // namespace vantrel
