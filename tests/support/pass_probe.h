#pragma once
// Scene objects for the pass tests. The probe is a double-sided constant-colour quad that records,
// at each draw, what the context and the viewport hold right then. The direction box is a
// double-sided box around the origin whose colour tells the direction from the centre, so a cube
// capture shows which face and quadrant each texel saw.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Types.h"
#include "rtl/colors.h"
#include "rtl/math3d.h"
#include "scene/Vantrel.Control.h"
#include "ui/material.h"

namespace vantrel {
class TRenderPass;
}

namespace vtest {

// What one draw of a probe saw.
struct TProbeRecord {
  ui::TContext3D* Context = nullptr;
  vantrel::TRenderPass* Pass = nullptr;
  rtl::TMatrix3D Camera;
  rtl::TMatrix3D Projection;
  float AngleOfView = 0;
  bool ClipActive = false;
  vantrel::TPlaneF Clip;
  std::vector<vantrel::TVantrelShaderLight> Lights;
  ui::TCamera* ViewportCamera = nullptr;
  rtl::TPoint3D ViewportCameraPosition;
};

// Writes AColor to location 0 and zeros to locations 1 to 4, as an opaque object writes the
// renderer's five targets, so the deferred composite shows the colour as it is.
class TFiveTargetColorMaterial : public ui::TCustomMaterial {
public:
  explicit TFiveTargetColorMaterial(rtl::TAlphaColorF AColor, const std::string& ATag);
  ~TFiveTargetColorMaterial() override;
  rtl::TAlphaColorF Color;

protected:
  void DoApply(ui::TContext3D* AContext) override;

private:
  rtl::TOwned<ui::TContextShader> FOwnedVertex;
  rtl::TOwned<ui::TContextShader> FOwnedPixel;
};

// A Width x Height quad in the control's local XY plane, drawn with both windings.
class TPassProbe : public vantrel::TVantrelControl {
  RTL_CLASS(TPassProbe, vantrel::TVantrelControl)
public:
  explicit TPassProbe(rtl::TComponent* AOwner);
  void BeforeDestruction() override;
  void SetColor(rtl::TAlphaColorF AValue);
  // The quad lies in the local XZ plane instead (a floor or a mirror).
  bool Horizontal = false;
  // Off, a draw records nothing (a benchmark's scene object).
  bool Recording = true;
  std::vector<TProbeRecord> Records;
  // Runs before each draw.
  std::function<void()> OnDraw;
  // The records made while APass drew.
  std::vector<TProbeRecord> RecordsOf(const vantrel::TRenderPass* APass) const;

protected:
  void Render() override;

private:
  std::unique_ptr<TFiveTargetColorMaterial> FMaterial;
  rtl::TAlphaColorF FColor{0.8f, 0.4f, 0.2f, 1};

  void Record();
  void DrawQuad();
};

// The colour the direction material writes for a world point P: a = the axis of the largest |P_i|,
// s its sign, (u, v) the other two coordinates in ascending axis order;
// (0.1 + 0.15 (2a + (s > 0)), u > 0 ? 0.9 : 0.3, v > 0 ? 0.9 : 0.3, 1).
rtl::TAlphaColorF DirectionColor(const rtl::TPoint3D& APoint);

// A double-sided box of half-size 5 around its origin, drawn with the direction colours (of the
// points in the control's local space, which is world space for a box at the origin).
class TDirectionBox : public vantrel::TVantrelControl {
  RTL_CLASS(TDirectionBox, vantrel::TVantrelControl)
public:
  explicit TDirectionBox(rtl::TComponent* AOwner);
  void BeforeDestruction() override;
  int Draws = 0;

protected:
  void Render() override;

private:
  std::unique_ptr<ui::TCustomMaterial> FMaterial;
};

} // namespace vtest
