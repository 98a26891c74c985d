#pragma once
// The scenes of the pass benchmarks: a scene host with a viewport and a user camera, frames and pass
// runs as the viewport makes them (shared with the voxel benchmark), and for the environment and
// reflection benchmarks 20 constant-colour quads and a box, each drawn from vertex and index arrays
// made once.

#include <epoxy/gl.h>

#include <cmath>
#include <memory>
#include <string>

#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Controller.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Control.h"
#include "support/pass_probe.h"
#include "support/viewport_setup.h"
#include "ui/canvas.h"
#include "ui/mesh_buffers.h"
#include "ui/scene.h"

namespace vbench {

using namespace vantrel;

// A constant-colour mesh whose arrays are made once: the timed frames allocate nothing for it.
class TBenchMesh : public TVantrelControl {
  RTL_CLASS(TBenchMesh, TVantrelControl)
public:
  explicit TBenchMesh(TComponent* AOwner) : TVantrelControl(AOwner) {}
  void Setup(const std::vector<TPoint3D>& AVertices, const std::vector<uint32_t>& AIndices, TAlphaColorF AColor) {
    FVertices = MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Vertex}, int32_t(AVertices.size()));
    for (size_t i = 0; i < AVertices.size(); ++i)
      FVertices->SetVertices(int32_t(i), AVertices[i]);
    FIndices = MakeOwned<TIndexBuffer>(int32_t(AIndices.size()));
    for (size_t i = 0; i < AIndices.size(); ++i)
      FIndices->SetIndices(int32_t(i), AIndices[i]);
    FMaterial = std::make_unique<vtest::TFiveTargetColorMaterial>(
        AColor, Format("bench-mesh-%d", reinterpret_cast<intptr_t>(this)));
  }
  void BeforeDestruction() override {
    FMaterial.reset();
    inherited::BeforeDestruction();
  }

protected:
  void Render() override {
    Context()->DrawPrimitives(TPrimitivesKind::Triangles, FVertices->Buffer(), FIndices->Buffer(),
                              FVertices->GetVertexDeclarations(), FVertices->VertexSize(), FVertices->Length(),
                              FIndices->IndexSize(), FIndices->Length(), FMaterial.get(), 1);
  }

private:
  TOwned<TVertexBuffer> FVertices;
  TOwned<TIndexBuffer> FIndices;
  std::unique_ptr<vtest::TFiveTargetColorMaterial> FMaterial;
};
RTL_DEFINE_CLASS(TBenchMesh, "Bench.PassScene")

// A scene host of AWidth x AHeight with a viewport filling it (frames run free, no frustum culling)
// and a user camera at ACameraPosition looking at a dummy at the origin; frames and pass runs as
// the viewport makes them. The scenes of the pass and voxel benchmarks add their meshes to it.
class TViewportScene {
public:
  TViewportScene(int AWidth, int AHeight, const TPoint3D& ACameraPosition) {
    FScene = MakeOwned<TCustomScene>(nullptr);
    FScene->SetSize(float(AWidth), float(AHeight));
    FViewport = New<TVantrelViewport>(FScene.get());
    FViewport->SetUseFixedFrameRate(false);
    FViewport->SetFrustumCulling(false);
    vtest::UseLookAtCamera(FScene.get(), *FViewport, ACameraPosition);
  }
  ~TViewportScene() { FScene.reset(); }
  TViewportScene(const TViewportScene&) = delete;
  TViewportScene& operator=(const TViewportScene&) = delete;

  TVantrelViewport& Viewport() { return *FViewport; }
  TCustomScene& Scene() { return *FScene; }
  TVantrelContext& MainContext() { return vtest::MainContextOf(*FViewport); }
  template <class T> T* MakePass(const std::string& AId) {
    return vtest::MakeViewportPass<T>(*FViewport, AId);
  }
  // One frame as the frame tick makes it, then glFinish.
  void Frame() {
    TCanvas* canvas = FViewport->Canvas();
    canvas->BeginScene();
    FViewport->RenderFrame();
    canvas->EndScene();
    glFinish();
  }
  TRenderPass* EntryOf(const TVantrelRenderPassController& APass) {
    return vtest::PassEntryOf(*FViewport, APass);
  }

protected:
  TOwned<TCustomScene> FScene;
  TVantrelViewport* FViewport = nullptr;
};

// The scene of the environment and reflection benchmarks: ASize x ASize, 20 quads on a ring and,
// with ABox, a box around them.
class TPassScene : public TViewportScene {
public:
  TPassScene(int ASize, const TPoint3D& ACameraPosition, bool ABox) : TViewportScene(ASize, ASize, ACameraPosition) {
    // 20 double-sided 1.5 x 1.5 quads on a ring of radius 3 around the origin, below the plane
    // y = 0, each in a colour of its own.
    for (int i = 0; i < 20; ++i) {
      const double angle = i * 2 * 3.14159265358979 / 20;
      const TPoint3D centre{float(3 * std::cos(angle)), -1.5f - 0.1f * float(i % 5), float(3 * std::sin(angle))};
      std::vector<TPoint3D> corners;
      for (auto [u, v] : {std::pair{-0.75f, -0.75f}, {0.75f, -0.75f}, {0.75f, 0.75f}, {-0.75f, 0.75f}})
        corners.push_back({centre.X + u, centre.Y + v, centre.Z});
      AddMesh(corners, {0, 1, 2, 0, 2, 3, 0, 2, 1, 0, 3, 2},
              {0.2f + 0.04f * float(i), 0.8f - 0.03f * float(i), 0.5f, 1});
    }
    if (!ABox)
      return;
    // The box of half-size 5 around the origin, seen from inside and outside.
    std::vector<TPoint3D> box;
    for (int i = 0; i < 8; ++i)
      box.push_back({i & 1 ? 5.0f : -5.0f, i & 2 ? 5.0f : -5.0f, i & 4 ? 5.0f : -5.0f});
    const std::vector<uint32_t> faces = {0, 2, 6, 0, 6, 4, 1, 3, 7, 1, 7, 5, 0, 1, 5, 0, 5, 4,
                                         2, 3, 7, 2, 7, 6, 0, 1, 3, 0, 3, 2, 4, 5, 7, 4, 7, 6};
    std::vector<uint32_t> both;
    for (size_t i = 0; i < faces.size(); i += 3)
      both.insert(both.end(), {faces[i], faces[i + 1], faces[i + 2], faces[i], faces[i + 2], faces[i + 1]});
    AddMesh(box, both, {0.3f, 0.3f, 0.35f, 1});
  }

private:
  void AddMesh(const std::vector<TPoint3D>& AVertices, const std::vector<uint32_t>& AIndices, TAlphaColorF AColor) {
    auto* mesh = New<TBenchMesh>(FScene.get());
    mesh->SetWidth(10);
    mesh->SetHeight(10);
    mesh->SetDepth(10);
    mesh->Setup(AVertices, AIndices, AColor);
    mesh->SetParent(FViewport);
  }
};

// Fragment-shader invocations of one run of AWork: a peer must shade what the framework shades.
template <class F> uint64_t FragmentsOf(F AWork) {
  GLuint query = 0;
  glGenQueries(1, &query);
  glBeginQuery(GL_FRAGMENT_SHADER_INVOCATIONS_ARB, query);
  AWork();
  glEndQuery(GL_FRAGMENT_SHADER_INVOCATIONS_ARB);
  GLuint64 fragments = 0;
  glGetQueryObjectui64v(query, GL_QUERY_RESULT, &fragments);
  glDeleteQueries(1, &query);
  return fragments;
}

} // namespace vbench
