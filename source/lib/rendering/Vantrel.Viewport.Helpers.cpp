#include "rendering/Vantrel.Viewport.Helpers.h"

#include <algorithm>
#include <string>

#include "rtl/sysutils.h"
#include "scene/Vantrel.Control.h"

namespace vantrel {

namespace {

constexpr const char* SDiagnosticsFormat =
    "TotalFrames: %d\r\nTotalFrameTimeInMS: %d\r\nTotalFrameTimeInTicks: %d\r\n"
    "---------------------------------------\r\n"
    "MeasureFrameCount: %d\r\nAverageFrameTime: %n\r\nAverageFrameTicks: %n\r\nAverageFramesPerSecond: %n\r\n"
    "---------------------------------------\r\n"
    "MeasureDrawCycles: %d\r\nAverageDrawCycleTime: %n\r\nAverageDrawCycleTicks: %n\r\n"
    "---------------------------------------\r\n"
    "DrawCalls: %d\r\nDrawInstances: %d\r\nTotalVertexCount: %d\r\nTotalIndexCount: %d\r\n"
    "---------------------------------------\r\n"
    "RenderPasses: %d\r\nRenderListSize: %d\r\nRenderedObjects: %d\r\n"
    "---------------------------------------\r\n"
    "PaintingTime: %n\r\nPaintingCycles: %d\r\nPaintingFPS: %n\r\nDisplayRefreshRate: %d";

bool Designing(TComponentState AState) {
  return AState.Contains(TComponentStateItem::csDesigning);
}

// Invisible objects count only while designing, and then only when not locked.
bool Shown(const TControl3D* ACtrl, TComponentState AState) {
  return ACtrl->Visible() || (Designing(AState) && !ACtrl->Locked());
}

} // namespace

// TRenderingDiagnostics

bool TRenderingDiagnostics::AddFrame() {
  ++TotalFrames;
  ++MeasureFrameCount;
  const int64_t ms = FrameTimeWatch.ElapsedMilliseconds();
  const int64_t ticks = FrameTimeWatch.ElapsedTicks();
  TotalFrameTimeInMS += ms;
  TotalFrameTimeInTicks += ticks;
  MeasureFrameTimeInMS += ms;
  MeasureFrameTicks += ticks;
  if (AverageFrameTimeClip <= 0 || TotalFrames % AverageFrameTimeClip != 0)
    return false;
  AverageFrameTime = static_cast<float>(double(MeasureFrameTimeInMS) / double(MeasureFrameCount));
  AverageFrameTicks = static_cast<float>(double(MeasureFrameTicks) / double(MeasureFrameCount));
  // Whole milliseconds are 0 for frames under 1 ms: the ticks give the rate then, and a window of
  // no measurable time gives 0, never an infinite rate.
  if (AverageFrameTime > 0)
    AverageFramesPerSecond = 1000.0f / AverageFrameTime;
  else if (AverageFrameTicks > 0)
    AverageFramesPerSecond = static_cast<float>(double(TStopwatch::Frequency) / AverageFrameTicks);
  else
    AverageFramesPerSecond = 0;
  MeasureFrameCount = 0;
  MeasureFrameTimeInMS = 0;
  MeasureFrameTicks = 0;
  return true;
}

void TRenderingDiagnostics::AddDrawCycle() {
  ++DrawCycles;
  ++MeasureDrawCycles;
  const int64_t ms = DrawCycleWatch.ElapsedMilliseconds();
  const int64_t ticks = DrawCycleWatch.ElapsedTicks();
  DrawCycleTimeInMS += ms;
  DrawCycleTimeInTicks += ticks;
  MeasureDrawCycleTimeInMS += ms;
  MeasureDrawCycleTicks += ticks;
  if (AverageDrawCycleClip <= 0 || DrawCycles % AverageDrawCycleClip != 0)
    return;
  AverageDrawCycleTime = static_cast<float>(double(MeasureDrawCycleTimeInMS) / double(MeasureDrawCycles));
  AverageDrawCycleTicks = static_cast<float>(double(MeasureDrawCycleTicks) / double(MeasureDrawCycles));
  MeasureDrawCycles = 0;
  MeasureDrawCycleTimeInMS = 0;
  MeasureDrawCycleTicks = 0;
}

std::string TRenderingDiagnostics::Text() const {
  return Format(SDiagnosticsFormat, TotalFrames, TotalFrameTimeInMS, TotalFrameTimeInTicks, MeasureFrameCount,
                AverageFrameTime, AverageFrameTicks, AverageFramesPerSecond, MeasureDrawCycles,
                AverageDrawCycleTime, AverageDrawCycleTicks, DrawCalls, DrawInstances, TotalVertexCount,
                TotalIndexCount, RenderPasses, RenderListSize, RenderedObjects, PaintingTime, PaintingCycles,
                PaintingFPS, DisplayRefreshRate);
}

// TVantrelRenderingHelper

bool TVantrelRenderingHelper::IsSkyBox(const TObject* AObject) {
  // The sky-box class lives above this unit: it is looked up by name until it is found, then
  // kept.
  static const TClass* skyBox = nullptr;
  if (!skyBox)
    skyBox = GetClass(SSkyBoxClassName);
  return skyBox && AObject && AObject->InheritsFrom(*skyBox);
}

bool TVantrelRenderingHelper::IsHelperObject(const TObject* AObject) {
  return dynamic_cast<const TLight*>(AObject) || dynamic_cast<const TDummy*>(AObject) ||
         dynamic_cast<const TCamera*>(AObject) || IsSkyBox(AObject);
}

bool TVantrelRenderingHelper::Renderable(TControl3D* ACtrl, const TVantrelFrustum& AFrustum,
                                         TComponentState AComponentState, TBoundingBox& ASceneBounds,
                                         bool AFrustumCulling, bool ACheckVisibility) {
  if (!ACtrl)
    return false;
  if (ACheckVisibility && !Shown(ACtrl, AComponentState))
    return false;
  if (IsHelperObject(ACtrl))
    return true;
  const TBoundingBox box = ACtrl->GetAbsoluteBoundingBox();
  bool accepted;
  if (auto* control = dynamic_cast<TVantrelControl*>(ACtrl))
    accepted = Designing(AComponentState) || !AFrustumCulling || !control->FrustumCullingCheck() ||
               AFrustum.IsAABBInFrustum(box);
  else
    // Plain 3D controls have no way to ask for an exemption: they are always tested.
    accepted = AFrustum.IsAABBInFrustum(box);
  if (accepted)
    ASceneBounds = UnionBoxes(ASceneBounds, box);
  return accepted;
}

void TVantrelRenderingHelper::UpdateSceneBounds(TControl3D* ACtrl, TComponentState AComponentState,
                                                TBoundingBox& ASceneBounds) {
  if (!ACtrl || !Shown(ACtrl, AComponentState) || IsHelperObject(ACtrl))
    return;
  ASceneBounds = UnionBoxes(ASceneBounds, ACtrl->GetAbsoluteBoundingBox());
}

namespace {

void ListChildren(const TFmxObject* AParent, std::vector<TControl3D*>& AList, bool ARecursive) {
  for (TFmxObject* child : AParent->Children()) {
    auto* control = dynamic_cast<TControl3D*>(child);
    if (!control)
      continue;
    if (TVantrelRenderingHelper::IsSkyBox(control))
      AList.insert(AList.begin(), control);
    else
      AList.push_back(control);
    ClearRenderingList(control);
    if (ARecursive && control->Visible() && control->ChildrenCount() > 0)
      ListChildren(control, AList, true);
  }
}

} // namespace

void BuildRenderList(const TFmxObject* AParent, std::vector<TControl3D*>& AList, bool ARecursive) {
  AList.clear();
  if (AParent && AParent->ChildrenCount() > 0)
    ListChildren(AParent, AList, ARecursive);
}

TBoundingBox UnionBoxes(const TBoundingBox& A, const TBoundingBox& B) {
  return TBoundingBox::Create({std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::min(A.Near, B.Near)},
                              {std::max(A.Right, B.Right), std::max(A.Bottom, B.Bottom), std::max(A.Far, B.Far)});
}

} // namespace vantrel
