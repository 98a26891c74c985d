// The model control on a real context: the loaded fixture draws, and the model's wireframe switch
// draws its meshes' lines in the wireframe material.

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include <epoxy/gl.h>

#include "Vantrel.Units.h"
#include "context/Vantrel.Context.h"
#include "definitions/Vantrel.DefTypes.h"
#include "scene/Vantrel.Model.h"
#include "support/color_probe.h"
#include "support/gl_fixture.h"
#include "support/model_fixture.h"
#include "support/test_viewport.h"
#include "ui/animations.h"
#include "ui/bitmap.h"
#include "ui/color_material.h"
#include "ui/shaders.h"

namespace {

using namespace vantrel;

constexpr int32_t Size = 64;
constexpr TAlphaColor ClearColor = 0xFF202020;
constexpr TAlphaColor Yellow = 0xFFFFFF00;
// The design-time outline of a control without focus.
constexpr TAlphaColor Cornflower = 0xFF6495ED;

class ModelControlGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    ui::FreeAniThread();
    InitializeUnits();
    FViewport = MakeOwned<vtest::TTestViewport3D>();
    FViewport->CreateContext(Size, Size);
  }
  void TearDown() override {
    FModel.reset();
    FViewport.reset();
    TVantrelContext::FreePrograms();
    TShaderManager::Clear();
    ui::FreeAniThread();
    FinalizeUnits();
    ContextGLTest::TearDown();
  }

  TVantrelContext* Context() { return CheckedCast<TVantrelContext>(FViewport->GetContext()); }

  void LoadFixture() {
    FModel = MakeOwned<TVantrelModel>(nullptr);
    FModel->LoadFromDefinition(vtest::MakeFixtureModel().release());
    FModel->SetNewViewport(FViewport.get());
  }

  static void Collect(TFmxObject* AObject, std::vector<TControl3D*>& AControls) {
    if (auto* control = dynamic_cast<TControl3D*>(AObject))
      AControls.push_back(control);
    for (TFmxObject* child : AObject->Children())
      Collect(child, AControls);
  }

  // The model and everything below it, without depth test, so lines drawn after a face show.
  void Draw() {
    std::vector<TControl3D*> controls;
    Collect(FModel.get(), controls);
    DrawOnly(controls);
  }
  void DrawOnly(const std::vector<TControl3D*>& controls) {
    ASSERT_TRUE(Context()->BeginSceneRendering());
    Context()->Clear({TClearTarget::Color, TClearTarget::Depth}, ClearColor, 1, 0);
    Context()->SetCameraMatrix(TMatrix3D::CreateLookAtRH({2, 2, 3}, {0, 0, 0}, {0, 1, 0}));
    Context()->SetCameraAngleOfView(45);
    Context()->SetContextState(TContextState::csZTestOff);
    for (TControl3D* control : controls)
      control->RenderInternal();
    Context()->EndSceneRendering();
  }

  // How many pixels are within 8 per channel of AColor, and how many are not the clear colour.
  std::pair<int, int> Count(TAlphaColor AColor) {
    TBitmap bitmap(Size, Size);
    Context()->CopyToBitmap(&bitmap, TRect(0, 0, Size, Size));
    TBitmapData data;
    EXPECT_TRUE(bitmap.Map(TMapAccess::Read, data));
    int matching = 0, drawn = 0;
    for (int32_t y = 0; y < Size; ++y)
      for (int32_t x = 0; x < Size; ++x) {
        const TAlphaColor pixel = data.GetPixel(x, y);
        matching += vtest::ChannelsNear(pixel, AColor, 8);
        drawn += pixel != ClearColor;
      }
    bitmap.Unmap(data);
    return {matching, drawn};
  }
  TOwned<vtest::TTestViewport3D> FViewport;
  TOwned<TVantrelModel> FModel;
};

TEST_F(ModelControlGL, TheFixtureDrawsAndTheWireframeSwitchAddsYellowLines) {
  LoadFixture();
  Draw();
  const auto [yellowOff, drawnOff] = Count(Yellow);
  EXPECT_GT(drawnOff, 0);
  EXPECT_EQ(yellowOff, 0);

  FModel->SetWireframe(true);
  // Loading freed the material; a new one is the yellow default.
  FModel->CreateWireframeMaterial();
  Draw();
  const auto [yellowOn, drawnOn] = Count(Yellow);
  EXPECT_GT(yellowOn, 0);
  EXPECT_GE(drawnOn, drawnOff);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// At design time the model outlines the box of all its meshes and draws nothing else itself; the
// meshes inside it draw their faces but leave the outline to the model.
TEST_F(ModelControlGL, AtDesignTimeOnlyTheModelOutlinesItsMeshes) {
  LoadFixture();
  FModel->SetDesigning(true);
  std::vector<TControl3D*> controls;
  Collect(FModel.get(), controls);
  ASSERT_GT(controls.size(), 2u);
  ASSERT_EQ(controls.front(), FModel.get());

  DrawOnly({FModel.get()});
  const auto [outline, drawnByModel] = Count(Cornflower);
  EXPECT_GT(outline, 0);
  EXPECT_EQ(drawnByModel, outline);

  const std::vector<TControl3D*> inside(controls.begin() + 1, controls.end());
  for (TControl3D* control : inside)
    ASSERT_TRUE(control->ComponentState().Contains(TComponentStateItem::csDesigning));
  DrawOnly(inside);
  const auto [outlineInside, drawnInside] = Count(Cornflower);
  EXPECT_GT(drawnInside, 0);
  EXPECT_EQ(outlineInside, 0);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

} // namespace
