#pragma once
// Scene pieces of the voxel and global illumination tests: a control that draws its own triangles
// (position and normal, client memory) with or without instance matrices, a read-back of a 3D
// texture, and a probe that evaluates a GLSL expression over given shader texts.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rtl/colors.h"
#include "rtl/math3d.h"
#include "scene/Vantrel.Control.h"
#include "support/gl_fixture.h"
#include "ui/material.h"

namespace vtest {

// A control drawing its triangles through DrawPrimitives with its material (a constant colour
// written to the renderer's five targets unless one is set). Without instance matrices it draws
// without instancing; with them it calls SetInstances(n, ...) right before the draw. Its local box
// is centred on its origin and spans every vertex.
class TTriangleSoup : public vantrel::TVantrelControl {
  RTL_CLASS(TTriangleSoup, vantrel::TVantrelControl)
public:
  explicit TTriangleSoup(rtl::TComponent* AOwner);
  void BeforeDestruction() override;
  // Three vertices per triangle; the normal of each vertex follows its position.
  void SetTriangles(std::vector<rtl::TPoint3D> APositions, std::vector<rtl::TPoint3D> ANormals);
  std::vector<rtl::TMatrix3D> Instances;
  // The kind drawn: triangles, lines or points of the same vertices.
  ui::TPrimitivesKind Kind = ui::TPrimitivesKind::Triangles;
  // Not owned; nil draws with the constant colour.
  ui::TMaterial* Material = nullptr;

protected:
  void Render() override;

private:
  std::vector<rtl::TPoint3D> FPositions;
  std::vector<rtl::TPoint3D> FNormals;
  std::unique_ptr<ui::TMaterial> FOwnMaterial;
};

// A quad of two triangles centred on ACenter, spanned by the half-edge vectors AU and AV, with
// normal AN at every vertex.
void AddQuad(std::vector<rtl::TPoint3D>& APositions, std::vector<rtl::TPoint3D>& ANormals,
             const rtl::TPoint3D& ACenter, const rtl::TPoint3D& AU, const rtl::TPoint3D& AV,
             const rtl::TPoint3D& AN);

// Level 0 of a 3D RGBA8 texture.
struct TVolume {
  int Width = 0, Height = 0, Depth = 0;
  std::vector<uint8_t> Bytes;
  TRGBA8 At(int AX, int AY, int AZ) const;
  // The texels with any non-zero byte.
  struct TTexel {
    int X, Y, Z;
    TRGBA8 Color;
  };
  std::vector<TTexel> Written() const;
};
TVolume ReadVolume(const ui::TTexture* ATexture);

// Links a pass-through vertex stage (TEX0 = (0.5, 0.5, 0, 1)) with a fragment stage made of
// ATexts and "void main(){ o_FragColor = vec4(AExpression); }" (o_FragColor is declared unless the
// texts declare it), binds ABlock as the uniform block at binding 0, draws one 1 x 1 RGBA32F pixel
// and returns it.
std::vector<float> EvalGLSL(const std::vector<std::string>& ATexts, const std::string& AExpression,
                            const std::vector<uint8_t>& ABlock);

} // namespace vtest
