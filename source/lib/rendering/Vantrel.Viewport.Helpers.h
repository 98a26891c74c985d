#pragma once
// The viewport's frame helpers: the rendering diagnostics (counters and averages of frames and
// paints), the test which listed objects a frame draws, and the flat render list of a viewport's
// 3D descendants. Part of the viewport unit; kept apart so that they are tested without a
// viewport.

#include <cstdint>
#include <vector>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Frustum.h"
#include "rtl/classes.h"
#include "rtl/math3d.h"
#include "rtl/stopwatch.h"
#include "ui/controls3d.h"

namespace vantrel {

inline constexpr const char* SSkyBoxClassName = "Vantrel.SkyBox.TVantrelSkyBox";

// Counters and averages of the frames (tick handlers) and paints of a viewport. Counters change
// only while Enabled; nothing is reset when it is switched off.
struct TRenderingDiagnostics {
  TStopwatch FrameTimeWatch = TStopwatch::Create();
  TStopwatch DrawCycleWatch = TStopwatch::Create();
  bool Enabled = false;
  int64_t TotalFrames = 0;
  int64_t TotalFrameTimeInMS = 0;
  int64_t TotalFrameTimeInTicks = 0;
  int64_t MeasureFrameCount = 0;
  int64_t MeasureFrameTimeInMS = 0;
  int64_t MeasureFrameTicks = 0;
  int64_t AverageFrameTimeClip = 30;
  float AverageFrameTime = 0;
  float AverageFrameTicks = 0;
  float AverageFramesPerSecond = 0;
  int64_t DrawCycles = 0;
  int64_t DrawCycleTimeInMS = 0;
  int64_t DrawCycleTimeInTicks = 0;
  int64_t MeasureDrawCycles = 0;
  int64_t MeasureDrawCycleTimeInMS = 0;
  int64_t MeasureDrawCycleTicks = 0;
  int64_t AverageDrawCycleClip = 1000;
  float AverageDrawCycleTime = 0;
  float AverageDrawCycleTicks = 0;
  int64_t DrawCalls = 0;
  int64_t DrawInstances = 0;
  int64_t TotalVertexCount = 0;
  int64_t TotalIndexCount = 0;
  int32_t RenderPasses = 0;
  int32_t RenderListSize = 0;
  int32_t RenderedObjects = 0;
  double PaintingTime = 0;
  int32_t PaintingCycles = 0;
  double PaintingFPS = 0;
  int32_t DisplayRefreshRate = 0;

  // Adds the time of FrameTimeWatch as one frame. Answers True when the frame closed an
  // averaging window: the averages are new, and the caller fills RenderPasses and RenderListSize.
  bool AddFrame();
  // Adds the time of DrawCycleWatch as one paint.
  void AddDrawCycle();
  // The diagnostics text the paint hook draws.
  std::string Text() const;
};

// Which listed objects a frame draws and how far the scene reaches.
class TVantrelRenderingHelper {
public:
  TVantrelRenderingHelper() = delete;

  // Whether ACtrl is drawn: visible (or, designing, not locked) and, unless it is a light, dummy,
  // camera or sky box, inside AFrustum. Framework controls skip the frustum test while designing,
  // without culling, or when they ask not to be tested. Every accepted box grows ASceneBounds.
  static bool Renderable(TControl3D* ACtrl, const TVantrelFrustum& AFrustum, TComponentState AComponentState,
                         TBoundingBox& ASceneBounds, bool AFrustumCulling, bool ACheckVisibility);
  // Unites ACtrl's box into ASceneBounds, for visible objects with a box.
  static void UpdateSceneBounds(TControl3D* ACtrl, TComponentState AComponentState, TBoundingBox& ASceneBounds);
  // Whether AObject is a sky box: an instance of the class registered under SSkyBoxClassName.
  static bool IsSkyBox(const TObject* AObject);
  // Lights, dummies, cameras and sky boxes: drawn without a bounds test and never in the bounds.
  static bool IsHelperObject(const TObject* AObject);
};

// The flat render list: AParent's 3D descendants in child order, sky boxes in front (a later one
// before an earlier one); children of invisible objects are left out. Each listed control's own
// list of children is emptied, so drawing it draws only itself. With ARecursive False only the
// direct children are listed. The list keeps its storage.
void BuildRenderList(const TFmxObject* AParent, std::vector<TControl3D*>& AList, bool ARecursive);

// The span of both boxes.
TBoundingBox UnionBoxes(const TBoundingBox& A, const TBoundingBox& B);

} // namespace vantrel
