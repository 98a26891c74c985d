#pragma once
// The fixture of the material draw tests: the quad of the builders' render fixture (positions +-1
// at z = 0, normal +z, UV 0..1 from the lower left, and tangent +x when asked) and a context of
// the OpenGL class drawing into a 64 x 64 target. The camera sits 2 units up the normal and the
// projection takes that translation back, so the quad fills the target and a material's eye
// position is (0, 0, 2).

#include <utility>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "support/gl_fixture.h"
#include "ui/mesh_buffers.h"
#include "ui/shaders.h"
#include "ui/texture.h"

namespace vtest {

class QuadTargetGL : public ContextGLTest {
public:
  // The target's width and height.
  static constexpr int32_t Size = 64;

protected:

  // ATangents: whether the quad's vertices carry the tangent.
  void SetUpQuadTarget(bool ATangents) {
    using namespace vantrel;
    FTarget = MakeOwned<TTexture>();
    FTarget->SetSize(Size, Size);
    FTarget->SetStyle({TTextureStyle::RenderTarget});
    FContext.reset(CheckedCast<TContextOpenGLWindows>(
        TContextManager::CreateFromTexture(FTarget.get(), TMultisample::None, true)));
    FContext->SetCameraMatrix(TMatrix3D::CreateTranslation({0, 0, -2}));
    FContext->SetProjectionMatrix(TMatrix3D::CreateTranslation({0, 0, 2}));
    TVertexFormats formats{TVertexFormat::Vertex, TVertexFormat::Normal, TVertexFormat::TexCoord0};
    if (ATangents)
      formats.Include(TVertexFormat::Tangent);
    FVertices = MakeOwned<TVertexBuffer>(formats, 4);
    int vertex = 0;
    for (auto [x, y] : {std::pair{-1.0f, -1.0f}, {1.0f, -1.0f}, {1.0f, 1.0f}, {-1.0f, 1.0f}}) {
      FVertices->SetVertices(vertex, {x, y, 0});
      FVertices->SetNormals(vertex, {0, 0, 1});
      FVertices->SetTexCoord(0, vertex, {(x + 1) / 2, (y + 1) / 2});
      if (ATangents)
        FVertices->SetTangents(vertex, {1, 0, 0});
      ++vertex;
    }
  }
  // The programs linked by the test and the manager's shaders go first, then the quad, the context
  // and its target.
  void TearDown() override {
    vantrel::TVantrelContext::FreePrograms();
    ui::TShaderManager::Clear();
    FVertices.reset();
    FContext.reset();
    FTarget.reset();
    ContextGLTest::TearDown();
  }

  rtl::TOwned<ui::TTexture> FTarget;
  rtl::TOwned<vantrel::TContextOpenGLWindows> FContext;
  rtl::TOwned<ui::TVertexBuffer> FVertices;
};

} // namespace vtest
