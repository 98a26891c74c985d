// A pass controller's renderer type: each new type installs a renderer the next frame can use, and
// the renderer it replaces is released together with its internal passes.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include "pass_frame.h"
#include "rendering/Vantrel.Renderer.h"
#include "rendering_fixture.h"

namespace {

using namespace rtest;

using RendererTypeGL = PassFrameGL;

TEST_F(RendererTypeGL, EachTypeInstallsAWorkingRendererAndReleasesTheOldOne) {
  auto* pass = MakePass<TPlainPass>("P");
  Frame();
  const int components = pass->ComponentCount();
  // Setting the type it already has rebuilds as well: the forward renderer made again must carry
  // its deferred composite, or the frame raises "renderer do not contain composite render-pass".
  for (const TRendererType type : {TRendererType::ForwardRenderer, TRendererType::LegacyRenderer,
                                   TRendererType::ForwardRenderer, TRendererType::ForwardRenderer}) {
    SCOPED_TRACE(type == TRendererType::ForwardRenderer ? "forward" : "legacy");
    const TRendererRef old(pass->GetRenderer());
    pass->SetRendererType(type);
    EXPECT_FALSE(old) << "the replaced renderer is released";
    TRenderer* renderer = pass->GetRenderer();
    ASSERT_NE(renderer, nullptr);
    auto* composite = dynamic_cast<TCompositeRenderer*>(renderer);
    EXPECT_EQ(composite != nullptr, type == TRendererType::ForwardRenderer);
    if (composite)
      EXPECT_NE(composite->GetInternalController(TInternalPassKind::DeferredComposite), nullptr);
    EXPECT_NE(renderer->GetSharedContext(), nullptr);
    EXPECT_NO_THROW(Frame());
    EXPECT_EQ(pass->ComponentCount(), components - (composite ? 0 : 2))
        << "internal controllers of a replaced renderer are freed with it";
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

} // namespace
