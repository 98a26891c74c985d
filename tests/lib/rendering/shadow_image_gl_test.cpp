// One shadow end to end: a whole viewport frame in which a shadow-map pass stores the depths of a
// strip and a receiver seen from a light, and the receiver, drawn with a lit default material that
// reads the pass, shows the strip's shadow as a band at half its lit colour.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "materials/Vantrel.Material.Lambert.h"
#include "pass_frame.h"
#include "pass_textures.h"
#include "rendering/Vantrel.Controller.Passes.SMStoreDepth.h"
#include "rendering_fixture.h"
#include "scene/Vantrel.Control.h"
#include "scene/Vantrel.Light.h"
#include "ui/bitmap.h"

namespace shadowimagetest {

using namespace rtest;

// A quad in its local XY plane (both windings) whose normal faces -Z, drawn with its source's
// material from client memory (position, normal, texture coordinate, tangent) with one instance at
// its absolute matrix.
class TShadowQuad : public TVantrelControl {
  RTL_CLASS(TShadowQuad, TVantrelControl)
public:
  explicit TShadowQuad(TComponent* AOwner) : TVantrelControl(AOwner) {}
  TMaterialSource* Source = nullptr;

protected:
  void Render() override {
    const float x = Width() / 2, y = Height() / 2;
    DrawMaterialQuad(Context(), AbsoluteMatrix(), {{{-x, -y, 0}, {x, -y, 0}, {x, y, 0}, {-x, y, 0}}}, {0, 0, -1},
                     Source->GetMaterial());
  }
};
RTL_DEFINE_CLASS(TShadowQuad, "Test.ShadowImage")

class ShadowImageGL : public SourcesFrameGL {
protected:
  TVantrelLambertMaterialSource* NewLitSource() {
    auto* source = NewSource<TVantrelLambertMaterialSource>();
    source->SetUseLighting(true);
    source->SetUseSpecular(false);
    source->SetDiffuseF(TAlphaColorF::Create(1, 1, 1, 1));
    source->SetAmbientF(TAlphaColorF::Create(0, 0, 0, 1));
    source->SetEmissiveF(TAlphaColorF::Create(0, 0, 0, 1));
    // Without a bitmap the base colour is the diffuse colour only when Texture0 is off; with it on
    // the sampler has no texture and reads black.
    source->SetUseTexture0(false);
    return source;
  }
  TShadowQuad* AddQuad(const TPoint3D& ACentre, float AWidth, float AHeight, TMaterialSource* ASource) {
    auto* quad = New<TShadowQuad>(FScene.get());
    quad->SetWidth(AWidth);
    quad->SetHeight(AHeight);
    quad->SetDepth(0.01f);
    quad->Position()->SetPoint(ACentre);
    quad->Source = ASource;
    quad->SetParent(FViewport);
    return quad;
  }
  // Row 32 of the viewport's image, RGB of each column.
  std::vector<vtest::TRGBA8> MiddleRow() {
    std::vector<vtest::TRGBA8> row;
    TBitmapData data;
    if (!FViewport->Bitmap()->Map(TMapAccess::Read, data))
      return row;
    for (int x = 0; x < 64; ++x) {
      const TAlphaColor c = data.GetPixel(x, 32);
      row.push_back({uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 24)});
    }
    FViewport->Bitmap()->Unmap(data);
    return row;
  }
};

// The second frame matters twice: its light view reads the frustum the first frame stored, and it
// enters the store pass with the 2D state the first frame's rectangle passes left on the main context,
// which the pass must not project its list with.
TEST_F(ShadowImageGL, ALambertReceiverShowsTheStripsShadowAtHalfItsColour) {
  // The camera at (0, 0, 10) looking down -Z; the one light at (0, 0, -5) shining along +Z.
  FViewport->SetNearPlane(1);
  FViewport->SetFarPlane(21);
  auto* camera = New<TCamera>(FScene.get());
  camera->SetParent(FViewport);
  camera->Position()->SetPoint({0, 0, 10});
  camera->RotationAngle()->SetY(180);
  FViewport->SetCamera(camera);
  FViewport->SetUsingDesignCamera(false);
  auto* light = New<TVantrelLight>(FScene.get());
  light->SetLightType(TLightType::Directional);
  light->Position()->SetPoint({0, 0, -5});
  light->SetParent(FViewport);
  ASSERT_GT(light->LightDescription().Direction.Z, 0.99f);

  auto* store = MakePass<TVantrelRenderPassSMStoreDepth>("Shadow");
  store->SetMapSize({64, 64});
  store->SetLight(light);
  TVantrelLambertMaterialSource* receiverSource = NewLitSource();
  receiverSource->SetShadows(true);
  receiverSource->SetShadowMapPass(0, store);
  // The strip close to the light, hidden from the camera behind the receiver.
  AddQuad({0, 0, -3.5f}, 1, 8, NewLitSource());
  AddQuad({0, 0, 2}, 8, 8, receiverSource);

  // The light view reads the frustum the main pass of the previous frame stored on the viewport's
  // context, so the second frame is the one whose map was taken from the placed light.
  Frame();
  Frame();
  const std::vector<float> map = ReadTexels(store->GetOutputTexture());
  EXPECT_NEAR(Texel(map, 64, 32, 32, 0), 0.675f, 1e-3f) << "the strip, stored again in the second frame";
  EXPECT_NEAR(Texel(map, 64, 2, 32, 0), 0.95f, 1e-3f) << "the receiver beside it";
  const std::vector<vtest::TRGBA8> row = MiddleRow();
  ASSERT_EQ(row.size(), 64u);
  const vtest::TRGBA8 lit = row[4];
  ASSERT_GT(int(lit.R) + lit.G + lit.B, 60) << "the lit pixel is not black";
  EXPECT_TRUE(Near(row[59], lit)) << "both sides of the band are lit alike";
  for (const int column : {20, 32, 44}) {
    SCOPED_TRACE(column);
    const vtest::TRGBA8 band = row[column];
    for (const auto& [shadowed, full] : {std::pair{band.R, lit.R}, {band.G, lit.G}, {band.B, lit.B}})
      EXPECT_NEAR(double(shadowed) / full, 0.5, 0.03) << int(shadowed) << " of " << int(full);
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

} // namespace shadowimagetest
