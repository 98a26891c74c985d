// The viewport's picking: the object under a point (screen round, camera round, the viewport),
// the drop-target search, and the ray cast that finds the first handler-bearing object of the
// render list under a point.
#include "rendering/Vantrel.Viewport.h"

#include "scene/Vantrel.Control.h"
#include "scene/Vantrel.Mesh.h"

namespace vantrel {

namespace {

constexpr float NoHitDistance = 65535;

// Puts the picking globals back as they were when it was made.
class TPickingGlobalsGuard {
public:
  TPickingGlobalsGuard() : FDistance(GlobalDistance()), FProjection(GlobalProjection()) {}
  ~TPickingGlobalsGuard() {
    SetGlobalDistance(FDistance);
    SetGlobalProjection(FProjection);
  }
  TPickingGlobalsGuard(const TPickingGlobalsGuard&) = delete;
  TPickingGlobalsGuard& operator=(const TPickingGlobalsGuard&) = delete;

private:
  float FDistance;
  TProjection FProjection;
};

bool BoxesIntersect(const TBoundingBox& A, const TBoundingBox& B) {
  return A.Left <= B.Right && B.Left <= A.Right && A.Top <= B.Bottom && B.Top <= A.Bottom && A.Near <= B.Far &&
         B.Near <= A.Far;
}

} // namespace

IControl* TVantrelViewport::ObjectAtPoint(TPointF APoint) {
  // The inherited search over the viewport itself; a 2D child under the point answers nil.
  if (!Visible())
    return nullptr;
  for (auto it = Children().rbegin(); it != Children().rend(); ++it)
    if (auto* child = dynamic_cast<TControl*>(*it); child && child->GetVisible())
      if (child->ObjectAtPoint(APoint))
        return nullptr;
  const TRectF rect = AbsoluteRect();
  if (APoint.X < rect.Left || APoint.X >= rect.Right || APoint.Y < rect.Top || APoint.Y >= rect.Bottom ||
      !CheckHitTest(HitTest()))
    return nullptr;

  IControl* result = nullptr;
  for (TProjection projection : {TProjection::Screen, TProjection::Camera}) {
    SetGlobalDistance(NoHitDistance);
    SetGlobalProjection(projection);
    // Every hit lowers the global distance, so a later answer is a nearer one.
    for (auto it = Children().rbegin(); it != Children().rend(); ++it)
      if (auto* child = dynamic_cast<IControl*>(*it); child && (child->GetVisible() || Designing()))
        if (IControl* hit = child->ObjectAtPoint(APoint))
          result = hit;
    if (result)
      break;
  }
  if (!result)
    return this;
  if (Designing())
    if (auto* mesh = dynamic_cast<TVantrelMesh*>(result->GetObject()))
      if (TControl3D* model = mesh->GetModel())
        return model;
  return result;
}

IControl* TVantrelViewport::FindTarget(TPointF APoint, const TDragObject& AData) {
  if (!Visible())
    return nullptr;
  const TRectF rect = AbsoluteRect();
  if (APoint.X < rect.Left || APoint.X >= rect.Right || APoint.Y < rect.Top || APoint.Y >= rect.Bottom)
    return nullptr;
  for (TProjection projection : {TProjection::Screen, TProjection::Camera}) {
    SetGlobalDistance(NoHitDistance);
    SetGlobalProjection(projection);
    IControl* result = nullptr;
    for (auto it = Children().rbegin(); it != Children().rend(); ++it)
      if (auto* child = dynamic_cast<IControl*>(*it); child && (child->GetVisible() || Designing()))
        if (IControl* target = child->FindTarget(APoint, AData))
          result = target;
    if (result)
      return result;
  }
  // The viewport itself, when it accepts.
  TDragOperation operation = TDragOperation::None;
  DragOver(AData, APoint, operation);
  return operation != TDragOperation::None ? this : nullptr;
}

TControl3D* TVantrelViewport::RayCastIntersect(const TPointF& APoint) {
  // Each object is picked on its own: a distance or projection left by an earlier pick must not
  // hide it, and the caller's picking state survives the cast.
  TPickingGlobalsGuard guard;
  const TBoundingBox frustumBox = FFrustum.ToBoundingBox();
  for (TControl3D* object : RenderingList()) {
    if (!object->Visible() && !(Designing() && !object->Locked()))
      continue;
    if (!object->HitTest() || (!object->OnMouseDown && !object->OnMouseUp && !object->OnMouseMove))
      continue;
    if (!TVantrelRenderingHelper::IsHelperObject(object)) {
      const TBoundingBox box = object->GetAbsoluteBoundingBox();
      if (!BoxesIntersect(box, frustumBox))
        continue;
    }
    SetGlobalDistance(NoHitDistance);
    SetGlobalProjection(object->Projection());
    TVector3D rayPos, rayDir;
    TPoint3D hit;
    if (!object->ObjectAtPoint(APoint, rayPos, rayDir, hit))
      continue;
    if (object->OnMouseMove)
      object->OnMouseMove(object, TShiftState(), APoint.X, APoint.Y, rayPos, rayDir);
    return object;
  }
  return nullptr;
}

} // namespace vantrel
