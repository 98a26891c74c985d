#pragma once
// Geometry of the 3D shape controls. The rounded cube is the unit cube centred at the origin with
// its edges and corners rounded to the radius RoundCubeEdgeRadius.

#include "rtl/object.h"
#include "ui/controls3d.h"
#include "ui/mesh_buffers.h"

namespace ui {

// The edge radius of the rounded unit cube.
inline constexpr double RoundCubeEdgeRadius = 0.15;

// The rounded unit cube: six faces of 10 x 10 vertices (positions, normals, texcoord0; 600 in
// all) and 2,916 16-bit indices. Each face's grid lines lie at +-(0.35 + r * tan(k * 11.25 deg)),
// k = 0..4, so the flat span +-0.35 is one cell and the rounding has four equal angle steps. A
// grid point v maps to q = clamp(v, +-0.35), normal n = normalize(v - q), position q + r * n;
// faces meet on the 45-degree line with identical positions and normals. Texcoords are the grid
// point's position on its face in [0, 1]. Triangles are clockwise seen from outside, the front
// faces of the context's clockwise convention.
rtl::TOwned<TMeshData> NewRoundCubeMesh();

class TMaterialSource;

// A rounded cube of Width x Height x Depth. It draws its own mesh (NewRoundCubeMesh) with the
// context's matrix set to scaling(Width, Height, Depth) x AbsoluteMatrix, in one plain draw (a ui
// control cannot reach the framework's instancing), through its material source's material. Its
// box is the unit box scaled, the base control's, so frustum culling and picking see the cube.
class TRoundCube : public TControl3D {
  RTL_CLASS(TRoundCube, TControl3D)
public:
  explicit TRoundCube(rtl::TComponent* AOwner);
  static void RegisterProperties(rtl::TPropertyList& AList);

  TMaterialSource* MaterialSource() const { return FMaterialSource; }
  void SetMaterialSource(TMaterialSource* AValue);
  const TMeshData& Data() const { return *FData; }

protected:
  void Render() override;
  void Notification(rtl::TComponent* AComponent, rtl::TOperation AOperation) override;

private:
  rtl::TOwned<TMeshData> FData;
  TMaterialSource* FMaterialSource = nullptr;
};

} // namespace ui
