// The default material and its source: define switching, clamps, the texture pool it keeps with
// the source's bitmap pool, the behaviours, rebuild batching and the apply steps that fill its
// uniform block.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "materials/Vantrel.Material.Default.GLSL.h"
#include "materials/Vantrel.Material.Default.h"
#include "rtl/stopwatch.h"
#include "rtl/sysutils.h"
#include "support/gl_fixture.h"
#include "ui/texture.h"

namespace defaultmaterialtest {

using namespace vantrel;

// Counts the material's change notifications.
class TChangeCounter : public TObject {
public:
  int Count = 0;
  void Changed(TObject*) { ++Count; }
};

class DefaultMaterialGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    KeepProgramsForTheSuite();
  }
  void TearDown() override {
    Sources.clear();
    ContextGLTest::TearDown();
  }

  TVantrelDefaultMaterialSource* NewSource(const std::string& AName = "Src") {
    auto source = MakeOwned<TVantrelDefaultMaterialSource>(nullptr);
    source->SetName(AName);
    Sources.push_back(std::move(source));
    return Sources.back().get();
  }

  static bool Defined(const TVantrelNodeBuilder* ABuilder, const std::string& AName) {
    return ABuilder->Defined(AName);
  }

  std::vector<TOwned<TVantrelDefaultMaterialSource>> Sources;
};

TEST_F(DefaultMaterialGL, NewMaterialDefinesClippingAndBlinnPhongAndAwaitsRegistration) {
  TVantrelDefaultMaterial* material = NewSource()->DefaultMaterial();
  for (TVantrelNodeBuilder* builder :
       {static_cast<TVantrelNodeBuilder*>(material->GetVertexShaderNode()),
        static_cast<TVantrelNodeBuilder*>(material->GetFragmentShaderNode())}) {
    EXPECT_TRUE(builder->Defined("CLIPPINGPLANE"));
    EXPECT_TRUE(builder->Defined("BLINNPHONG"));
    EXPECT_FALSE(builder->Defined("PHONG"));
  }
  EXPECT_TRUE(material->GetUpdateShaderProgramFlag());
  EXPECT_EQ(material->GetShaderIdentity().size(), 16u);
  EXPECT_FALSE(material->GetVSShaderSource().Code.empty());
  EXPECT_EQ(material->GetTextures()->Count(), 0);
}

} // namespace defaultmaterialtest
