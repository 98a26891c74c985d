#pragma once
// The fixture of the mirror, refraction and environment pass tests: a 64 x 64 scene host with a
// viewport filling it (near plane 1, far plane 101, no opaque saturation), frames run with the
// viewport's RenderFrame inside the canvas's scene, and matrix comparisons. A second fixture adds
// material sources the test owns, and a quad drawn with one of them.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "Vantrel.Units.h"
#include "context/Vantrel.Context.h"
#include "materials/Vantrel.Material.Default.h"
#include "rendering/Vantrel.Controller.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/sysutils.h"
#include "support/gl_fixture.h"
#include "support/pass_probe.h"
#include "support/scene_host.h"
#include "support/viewport_setup.h"
#include "ui/canvas.h"
#include "ui/mesh_buffers.h"
#include "ui/shaders.h"

namespace rtest {

using namespace vantrel;

inline ::testing::AssertionResult MatrixNear(const TMatrix3D& AActual, const TMatrix3D& AExpected,
                                             float ATolerance = 1e-5f) {
  const float* a = &AActual.m11;
  const float* b = &AExpected.m11;
  for (int index = 0; index < 16; ++index)
    if (std::fabs(a[index] - b[index]) > ATolerance) {
      std::string text;
      for (int k = 0; k < 16; ++k)
        text += Format("%g/%g%s", a[k], b[k], k % 4 == 3 ? "; " : ", ");
      return ::testing::AssertionFailure() << "actual/expected: " << text;
    }
  return ::testing::AssertionSuccess();
}

inline TMatrix3D Rows(std::initializer_list<float> AValues) {
  TMatrix3D result;
  float* out = &result.m11;
  for (float value : AValues)
    *out++ = value;
  return result;
}

inline ::testing::AssertionResult PointNear(const TPoint3D& AActual, const TPoint3D& AExpected,
                                            float ATolerance = 1e-4f) {
  if ((AActual - AExpected).Length() <= ATolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << AActual.X << ", " << AActual.Y << ", " << AActual.Z << ")";
}

class PassFrameGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    InitializeUnits();
    FScene = vtest::MakeScene(64, 64);
    FViewport = New<TVantrelViewport>(FScene.get());
    FViewport->SetOpaqueSaturation(0);
    FViewport->SetNearPlane(1);
    FViewport->SetFarPlane(101);
    // Frames are handed over by the tests alone.
    FViewport->FrameTimer()->SetInterval(INT32_MAX);
  }
  void TearDown() override {
    FScene.reset();
    FViewport = nullptr;
    FinalizeUnits();
    ContextGLTest::TearDown();
  }

  // A pass of class T owned by the viewport and entered in its context's table under AId.
  template <class T> T* MakePass(const std::string& AId) {
    return vtest::MakeViewportPass<T>(*FViewport, AId);
  }
  // One frame: the viewport's RenderFrame inside the canvas's scene.
  void Frame() {
    TCanvas* canvas = FViewport->Canvas();
    ASSERT_TRUE(canvas && canvas->BeginScene());
    try {
      FViewport->RenderFrame();
    } catch (...) {
      canvas->EndScene();
      throw;
    }
    canvas->EndScene();
  }
  vtest::TPassProbe* AddProbe(const TPoint3D& APosition) {
    auto* probe = New<vtest::TPassProbe>(FScene.get());
    probe->Position()->SetPoint(APosition);
    probe->SetParent(FViewport);
    return probe;
  }
  // A user camera at APosition looking at a dummy at the origin, as the viewport's camera.
  TCamera* UseCamera(const TPoint3D& APosition) {
    return vtest::UseLookAtCamera(FScene.get(), *FViewport, APosition);
  }
  TVantrelContext& MainContext() { return vtest::MainContextOf(*FViewport); }
  // The entry of APass in the main context's table.
  TRenderPass* EntryOf(const TVantrelRenderPassController& APass) {
    return vtest::PassEntryOf(*FViewport, APass);
  }

  TOwned<TCustomScene> FScene;
  TVantrelViewport* FViewport = nullptr;
};

// PassFrameGL with default material sources of the test's own. They outlive the scene, whose
// controls draw with them, and the programs they linked go with them.
class SourcesFrameGL : public PassFrameGL {
protected:
  void TearDown() override {
    FSources.clear();
    FScene.reset();
    FViewport = nullptr;
    TVantrelContext::FreePrograms();
    TShaderManager::Clear();
    PassFrameGL::TearDown();
  }
  template <class T> T* NewSource() {
    FSources.push_back(MakeOwned<T>(nullptr));
    return static_cast<T*>(FSources.back().get());
  }
  std::vector<TOwned<TVantrelDefaultMaterialSource>> FSources;
};

// Draws the quad ACorners, given in order round it and facing ANormal, with AMaterial from client
// memory (position, normal, texture coordinates (0, 0), (1, 0), (1, 1), (0, 1), tangent +X), both
// windings, with one instance at AModel: the whole of a test control's Render.
inline void DrawMaterialQuad(TContext3D* AContext, const TMatrix3D& AModel, const std::array<TPoint3D, 4>& ACorners,
                             const TPoint3D& ANormal, TMaterial* AMaterial) {
  static const TPointF TexCoords[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  TVertexBuffer vertices(
      TVertexFormats{TVertexFormat::Vertex, TVertexFormat::Normal, TVertexFormat::TexCoord0, TVertexFormat::Tangent}, 4);
  for (int vertex = 0; vertex < 4; ++vertex) {
    vertices.SetVertices(vertex, ACorners[vertex]);
    vertices.SetNormals(vertex, ANormal);
    vertices.SetTexCoord(0, vertex, TexCoords[vertex]);
    vertices.SetTangents(vertex, {1, 0, 0});
  }
  static const uint16_t Indices[12] = {0, 1, 2, 0, 2, 3, 0, 2, 1, 0, 3, 2};
  auto* context = dynamic_cast<TVantrelContext*>(AContext);
  context->SetInstances(1, &AModel);
  context->DrawPrimitives(TPrimitivesKind::Triangles, vertices.Buffer(), Indices, vertices.GetVertexDeclarations(),
                          vertices.VertexSize(), 4, 2, 12, AMaterial, 1);
  context->SetInstances(0, nullptr);
}

} // namespace rtest
